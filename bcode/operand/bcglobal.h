// Operands global to the controller program: variables in the memory areas
// (typed, compared by type and offset) and numbered objects (flags, timers,
// counters, blocks; compared by number alone).
#ifndef BCODE_OPERAND_BCGLOBAL_H
#define BCODE_OPERAND_BCGLOBAL_H

#include <cstdint>
#include <iosfwd>

#include "bcode/operand/bcoperand.h"

// A typed variable at an offset of a global area.
class BCODE_API BCGlobVar : public BCOperand {
 public:
  KIND kind() const override { return K_GLOBVAR; }
  unsigned char getDataType() const override;
  int isEqual(const BCOperand& other) const override;

  std::uint32_t getOffset() const { return offset; }

 protected:
  BCGlobVar() = default;
  BCGlobVar(std::uint32_t offset, const KRTypeRef& type) : BCOperand(type), offset(offset) {}

  void loadInstance(std::istream& is, BCode* code) override;
  void saveInstance(std::ostream& os) const override;

  // The listing line with `number` (or "-") in column 26.
  void printVarLine(std::ostream& os, char* col, char* line, const char* const* classNames,
                    const char* const* typeNames, const char* number) const;

  std::uint32_t offset = 0;
};

// The five process image and memory areas.
class BCODE_API BCGlobArea : public BCGlobVar {
 public:
  BCGlobArea(std::uint32_t offset, const KRTypeRef& type) : BCGlobVar(offset, type) {}

  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

 protected:
  BCGlobArea() = default;
};

BC_OPERAND_LEAF(BCoE, BCGlobArea, CT_E);
BC_OPERAND_LEAF(BCoA, BCGlobArea, CT_A);
BC_OPERAND_LEAF(BCoM, BCGlobArea, CT_M);
BC_OPERAND_LEAF(BCoPE, BCGlobArea, CT_PE);
BC_OPERAND_LEAF(BCoPA, BCGlobArea, CT_PA);

// A variable in the area of one data block.
class BCODE_API BCoDBBER : public BCGlobVar {
 public:
  BCoDBBER(std::uint16_t dbNo, std::uint32_t offset, const KRTypeRef& type)
      : BCGlobVar(offset, type), dbNo(dbNo) {}
  BCoDBBER(const BCoDBBER&) = default;

  CLASS_TYPE isA() const override { return CT_DBBER; }
  int isEqual(const BCOperand& other) const override;
  BCOperand* newCopy() const override;
  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  std::uint16_t getDbNo() const { return dbNo; }

 protected:
  BCoDBBER() = default;
  friend class BCOperand;

  void loadInstance(std::istream& is, BCode* code) override;
  void saveInstance(std::ostream& os) const override;

 private:
  std::uint16_t dbNo = 0;
};

// The members of an operand named by a number alone: the number is its
// only field, its type is implied by the class.
#define BC_NUMBERED_OPERAND_MEMBERS(Class, Kind, field, getNumber)                     \
 public:                                                                               \
  explicit Class(std::uint16_t number) : field(number) {}                              \
                                                                                       \
  KIND kind() const override {                                                         \
    return Kind;                                                                       \
  }                                                                                    \
  unsigned char getDataType() const override;                                          \
  /* Equal numbers only. */                                                            \
  int isEqual(const BCOperand& other) const override;                                  \
  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames, \
               const char* const* typeNames) const override;                           \
  void printOn(std::ostream& os) const override;                                       \
                                                                                       \
  std::uint16_t getNumber() const {                                                    \
    return field;                                                                      \
  }                                                                                    \
                                                                                       \
 protected:                                                                            \
  Class() = default;                                                                   \
                                                                                       \
  void loadInstance(std::istream& is, BCode* code) override;                           \
  void saveInstance(std::ostream& os) const override;                                  \
                                                                                       \
 private:                                                                              \
  std::uint16_t field = 0;                                                             \
                                                                                       \
 public:

// A numbered flag; always BOOL.
class BCODE_API BCoMFL : public BCOperand {
  BC_NUMBERED_OPERAND_MEMBERS(BCoMFL, K_MFL, mflNo, getMflNo)

  BCoMFL(const BCoMFL&) = default;
  CLASS_TYPE isA() const override { return CT_MFL; }
  BCOperand* newCopy() const override;

 private:
  friend class BCOperand;
};

// A timer or counter.
class BCODE_API BCFctElem : public BCOperand {
  BC_NUMBERED_OPERAND_MEMBERS(BCFctElem, K_FCTELEM, fctNo, getFctNo)
};

BC_OPERAND_LEAF(BCoT, BCFctElem, CT_T);
BC_OPERAND_LEAF(BCoZ, BCFctElem, CT_Z);

// A whole block or call object.
class BCODE_API BCBlock : public BCOperand {
  BC_NUMBERED_OPERAND_MEMBERS(BCBlock, K_BLOCK, blockNo, getBlockNo)
};

BC_OPERAND_LEAF(BCoOB, BCBlock, CT_OB);
BC_OPERAND_LEAF(BCoFB, BCBlock, CT_FB);
BC_OPERAND_LEAF(BCoFC, BCBlock, CT_FC);
BC_OPERAND_LEAF(BCoSFB, BCBlock, CT_SFB);
BC_OPERAND_LEAF(BCoSFC, BCBlock, CT_SFC);
BC_OPERAND_LEAF(BCoDB, BCBlock, CT_DB);
BC_OPERAND_LEAF(BCoSDB, BCBlock, CT_SDB);
BC_OPERAND_LEAF(BCoICall, BCBlock, CT_ICALL);

#endif  // BCODE_OPERAND_BCGLOBAL_H
