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

  // The listing line with `number` (or "-") in the number column.
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

// The input image.
class BCODE_API BCoE : public BCOperandOf<BCoE, BCGlobArea, BCOperand::CT_E> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoE() = default;
  friend class BCOperand;
};

// The output image.
class BCODE_API BCoA : public BCOperandOf<BCoA, BCGlobArea, BCOperand::CT_A> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoA() = default;
  friend class BCOperand;
};

// The flag memory.
class BCODE_API BCoM : public BCOperandOf<BCoM, BCGlobArea, BCOperand::CT_M> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoM() = default;
  friend class BCOperand;
};

// The peripheral inputs.
class BCODE_API BCoPE : public BCOperandOf<BCoPE, BCGlobArea, BCOperand::CT_PE> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoPE() = default;
  friend class BCOperand;
};

// The peripheral outputs.
class BCODE_API BCoPA : public BCOperandOf<BCoPA, BCGlobArea, BCOperand::CT_PA> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoPA() = default;
  friend class BCOperand;
};

// A variable in the area of one data block.
class BCODE_API BCoDBBER : public BCOperandOf<BCoDBBER, BCGlobVar, BCOperand::CT_DBBER> {
 public:
  BCoDBBER(std::uint16_t dbNo, std::uint32_t offset, const KRTypeRef& type)
      : BCOperandOf(offset, type), dbNo(dbNo) {}

  int isEqual(const BCOperand& other) const override;
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

// An operand named by a number alone: a flag, a timer or counter, a block.
// The number is its only field; its type is implied by its class, and no
// type is stored for it.
class BCODE_API BCNumberedOperand : public BCOperand {
 public:
  unsigned char getDataType() const override;
  // Equal numbers in the same family.
  int isEqual(const BCOperand& other) const override;
  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

 protected:
  explicit BCNumberedOperand(std::uint16_t number) : number_(number) {}

  std::uint16_t number() const { return number_; }
  void loadInstance(std::istream& is, BCode* code) override;
  void saveInstance(std::ostream& os) const override;

 private:
  std::uint16_t number_;
};

// A numbered flag; always BOOL.
class BCODE_API BCoMFL : public BCOperandOf<BCoMFL, BCNumberedOperand, BCOperand::CT_MFL> {
 public:
  explicit BCoMFL(std::uint16_t mflNo) : BCOperandOf(mflNo) {}

  KIND kind() const override { return K_MFL; }

  std::uint16_t getMflNo() const { return number(); }
};

// A timer or counter.
class BCODE_API BCFctElem : public BCNumberedOperand {
 public:
  explicit BCFctElem(std::uint16_t fctNo) : BCNumberedOperand(fctNo) {}

  KIND kind() const override { return K_FCTELEM; }

  std::uint16_t getFctNo() const { return number(); }
};

class BCODE_API BCoT : public BCOperandOf<BCoT, BCFctElem, BCOperand::CT_T> {
 public:
  using BCOperandOf::BCOperandOf;
};

class BCODE_API BCoZ : public BCOperandOf<BCoZ, BCFctElem, BCOperand::CT_Z> {
 public:
  using BCOperandOf::BCOperandOf;
};

// A whole block or call object.
class BCODE_API BCBlock : public BCNumberedOperand {
 public:
  explicit BCBlock(std::uint16_t blockNo) : BCNumberedOperand(blockNo) {}

  KIND kind() const override { return K_BLOCK; }

  std::uint16_t getBlockNo() const { return number(); }
};

class BCODE_API BCoOB : public BCOperandOf<BCoOB, BCBlock, BCOperand::CT_OB> {
 public:
  using BCOperandOf::BCOperandOf;
};

class BCODE_API BCoFB : public BCOperandOf<BCoFB, BCBlock, BCOperand::CT_FB> {
 public:
  using BCOperandOf::BCOperandOf;
};

class BCODE_API BCoFC : public BCOperandOf<BCoFC, BCBlock, BCOperand::CT_FC> {
 public:
  using BCOperandOf::BCOperandOf;
};

class BCODE_API BCoSFB : public BCOperandOf<BCoSFB, BCBlock, BCOperand::CT_SFB> {
 public:
  using BCOperandOf::BCOperandOf;
};

class BCODE_API BCoSFC : public BCOperandOf<BCoSFC, BCBlock, BCOperand::CT_SFC> {
 public:
  using BCOperandOf::BCOperandOf;
};

class BCODE_API BCoDB : public BCOperandOf<BCoDB, BCBlock, BCOperand::CT_DB> {
 public:
  using BCOperandOf::BCOperandOf;
};

class BCODE_API BCoSDB : public BCOperandOf<BCoSDB, BCBlock, BCOperand::CT_SDB> {
 public:
  using BCOperandOf::BCOperandOf;
};

// A numbered call object.
class BCODE_API BCoICall : public BCOperandOf<BCoICall, BCBlock, BCOperand::CT_ICALL> {
 public:
  using BCOperandOf::BCOperandOf;
};

#endif  // BCODE_OPERAND_BCGLOBAL_H
