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
class BCODE_API BCoE : public BCGlobArea {
 public:
  using BCGlobArea::BCGlobArea;
  CLASS_TYPE isA() const override { return CT_E; }
  BCOperand* newCopy() const override;

 protected:
  BCoE() = default;
  friend class BCOperand;
};

// The output image.
class BCODE_API BCoA : public BCGlobArea {
 public:
  using BCGlobArea::BCGlobArea;
  CLASS_TYPE isA() const override { return CT_A; }
  BCOperand* newCopy() const override;

 protected:
  BCoA() = default;
  friend class BCOperand;
};

// The flag memory.
class BCODE_API BCoM : public BCGlobArea {
 public:
  using BCGlobArea::BCGlobArea;
  CLASS_TYPE isA() const override { return CT_M; }
  BCOperand* newCopy() const override;

 protected:
  BCoM() = default;
  friend class BCOperand;
};

// The peripheral inputs.
class BCODE_API BCoPE : public BCGlobArea {
 public:
  using BCGlobArea::BCGlobArea;
  CLASS_TYPE isA() const override { return CT_PE; }
  BCOperand* newCopy() const override;

 protected:
  BCoPE() = default;
  friend class BCOperand;
};

// The peripheral outputs.
class BCODE_API BCoPA : public BCGlobArea {
 public:
  using BCGlobArea::BCGlobArea;
  CLASS_TYPE isA() const override { return CT_PA; }
  BCOperand* newCopy() const override;

 protected:
  BCoPA() = default;
  friend class BCOperand;
};

// A variable in the area of one data block.
class BCODE_API BCoDBBER : public BCGlobVar {
 public:
  BCoDBBER(std::uint16_t dbNo, std::uint32_t offset, const KRTypeRef& type)
      : BCGlobVar(offset, type), dbNo(dbNo) {}

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
class BCODE_API BCoMFL : public BCNumberedOperand {
 public:
  explicit BCoMFL(std::uint16_t mflNo) : BCNumberedOperand(mflNo) {}

  CLASS_TYPE isA() const override { return CT_MFL; }
  KIND kind() const override { return K_MFL; }
  BCOperand* newCopy() const override;

  std::uint16_t getMflNo() const { return number(); }
};

// A timer or counter.
class BCODE_API BCFctElem : public BCNumberedOperand {
 public:
  explicit BCFctElem(std::uint16_t fctNo) : BCNumberedOperand(fctNo) {}

  KIND kind() const override { return K_FCTELEM; }

  std::uint16_t getFctNo() const { return number(); }
};

class BCODE_API BCoT : public BCFctElem {
 public:
  using BCFctElem::BCFctElem;
  CLASS_TYPE isA() const override { return CT_T; }
  BCOperand* newCopy() const override;
};

class BCODE_API BCoZ : public BCFctElem {
 public:
  using BCFctElem::BCFctElem;
  CLASS_TYPE isA() const override { return CT_Z; }
  BCOperand* newCopy() const override;
};

// A whole block or call object.
class BCODE_API BCBlock : public BCNumberedOperand {
 public:
  explicit BCBlock(std::uint16_t blockNo) : BCNumberedOperand(blockNo) {}

  KIND kind() const override { return K_BLOCK; }

  std::uint16_t getBlockNo() const { return number(); }
};

class BCODE_API BCoOB : public BCBlock {
 public:
  using BCBlock::BCBlock;
  CLASS_TYPE isA() const override { return CT_OB; }
  BCOperand* newCopy() const override;
};

class BCODE_API BCoFB : public BCBlock {
 public:
  using BCBlock::BCBlock;
  CLASS_TYPE isA() const override { return CT_FB; }
  BCOperand* newCopy() const override;
};

class BCODE_API BCoFC : public BCBlock {
 public:
  using BCBlock::BCBlock;
  CLASS_TYPE isA() const override { return CT_FC; }
  BCOperand* newCopy() const override;
};

class BCODE_API BCoSFB : public BCBlock {
 public:
  using BCBlock::BCBlock;
  CLASS_TYPE isA() const override { return CT_SFB; }
  BCOperand* newCopy() const override;
};

class BCODE_API BCoSFC : public BCBlock {
 public:
  using BCBlock::BCBlock;
  CLASS_TYPE isA() const override { return CT_SFC; }
  BCOperand* newCopy() const override;
};

class BCODE_API BCoDB : public BCBlock {
 public:
  using BCBlock::BCBlock;
  CLASS_TYPE isA() const override { return CT_DB; }
  BCOperand* newCopy() const override;
};

class BCODE_API BCoSDB : public BCBlock {
 public:
  using BCBlock::BCBlock;
  CLASS_TYPE isA() const override { return CT_SDB; }
  BCOperand* newCopy() const override;
};

// A numbered call object.
class BCODE_API BCoICall : public BCBlock {
 public:
  using BCBlock::BCBlock;
  CLASS_TYPE isA() const override { return CT_ICALL; }
  BCOperand* newCopy() const override;
};

#endif  // BCODE_OPERAND_BCGLOBAL_H
