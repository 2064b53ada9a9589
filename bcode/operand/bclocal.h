// Local data operands: a variable of the block's dynamic (LDD) or static
// (LSD) local data list. The two classes differ only in their list, tag and
// texts; what they share is their base's.
#ifndef BCODE_OPERAND_BCLOCAL_H
#define BCODE_OPERAND_BCLOCAL_H

#include <cstdint>
#include <iosfwd>

#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"

// Construction from a reference takes the entry's type and offset; a view
// takes the offset of the variable it views but keeps its own number and
// type. An unresolvable reference leaves type and offset empty (flag 1).
class BCODE_API BCLocalOperand : public BCOperand {
 public:
  unsigned char getDataType() const override;
  // Equal variable numbers; neither type nor list is compared.
  int isEqual(const BCOperand& other) const override;
  // Overlap with an operand of the same list through a view.
  int identView(const BCOperand& other) const override;
  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  std::uint16_t getVarNo() const { return ldRef.getVarNo(); }
  std::uint32_t getRelOffset() const { return relOffset; }
  // The list's start offset plus the relative offset; 0 and flag 1 without a list.
  std::uint32_t getOffset() const;

 protected:
  BCLocalOperand() = default;
  explicit BCLocalOperand(const BCLDRef& ref);

  void loadInstance(std::istream& is, BCode* code) override;
  void saveInstance(std::ostream& os) const override;

  BCLDRef ldRef;

 private:
  std::uint32_t relOffset = 0;
};

// A variable of the static local data.
class BCODE_API BCoLSD : public BCOperandOf<BCoLSD, BCLocalOperand, BCOperand::CT_LSD> {
 public:
  explicit BCoLSD(const BCLDRef& ref) : BCOperandOf(ref) {}

  KIND kind() const override { return K_LSD; }

  BCLDRef getLSDRef() const { return ldRef; }

 protected:
  BCoLSD() = default;
  friend class BCOperand;
};

// A variable of the dynamic local data.
class BCODE_API BCoLDD : public BCOperandOf<BCoLDD, BCLocalOperand, BCOperand::CT_LDD> {
 public:
  explicit BCoLDD(const BCLDRef& ref) : BCOperandOf(ref) {}

  KIND kind() const override { return K_LDD; }

  BCLDRef getLDDRef() const { return ldRef; }

 protected:
  BCoLDD() = default;
  friend class BCOperand;
};

#endif  // BCODE_OPERAND_BCLOCAL_H
