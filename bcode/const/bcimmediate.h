// Immediate operands: values of the small elementary types carried inside an
// instruction instead of the constant table, and the null pointer and ANY.
// Equality compares the value only: data type code, flags and text position
// do not take part (operator== still tells the classes apart).
#ifndef BCODE_CONST_BCIMMEDIATE_H
#define BCODE_CONST_BCIMMEDIATE_H

#include <cstdint>
#include <iosfwd>

#include "bcode/foundation/krexport.h"
#include "bcode/instr/bcinstrop.h"

class BCODE_API BCBoolConst : public BCIMM {
 public:
  explicit BCBoolConst(unsigned char value);
  BCBoolConst(const BCBoolConst& other) = default;

  CLASS_TYPE isA() const override { return BCBOOLCONST_CLASS; }
  int isEqual(const BCInstructionOp& other) const override;
  BCInstructionOp* newCopy() const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  unsigned char getValue() const { return value_; }

 protected:
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  unsigned char value_;
};

class BCODE_API BCByteConst : public BCIMM {
 public:
  explicit BCByteConst(unsigned char value);
  BCByteConst(const BCByteConst& other) = default;

  CLASS_TYPE isA() const override { return BCBYTECONST_CLASS; }
  int isEqual(const BCInstructionOp& other) const override;
  BCInstructionOp* newCopy() const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  unsigned char getValue() const { return value_; }

 protected:
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  unsigned char value_;
};

class BCODE_API BCCharConst : public BCIMM {
 public:
  explicit BCCharConst(unsigned char value);
  BCCharConst(const BCCharConst& other) = default;

  CLASS_TYPE isA() const override { return BCCHARCONST_CLASS; }
  int isEqual(const BCInstructionOp& other) const override;
  BCInstructionOp* newCopy() const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  unsigned char getValue() const { return value_; }

 protected:
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  unsigned char value_;
};

class BCODE_API BCWordConst : public BCIMM {
 public:
  explicit BCWordConst(std::uint16_t value);
  BCWordConst(const BCWordConst& other) = default;

  CLASS_TYPE isA() const override { return BCWORDCONST_CLASS; }
  int isEqual(const BCInstructionOp& other) const override;
  BCInstructionOp* newCopy() const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  std::uint16_t getValue() const { return value_; }

 protected:
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  std::uint16_t value_;
};

class BCODE_API BCIntConst : public BCIMM {
 public:
  explicit BCIntConst(std::int16_t value);
  BCIntConst(const BCIntConst& other) = default;

  CLASS_TYPE isA() const override { return BCINTCONST_CLASS; }
  int isEqual(const BCInstructionOp& other) const override;
  BCInstructionOp* newCopy() const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  std::int16_t getValue() const { return value_; }

 protected:
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  std::int16_t value_;
};

// The null pointer; a nil flag of 0 only comes from a record and lists "???".
class BCODE_API BCPtrConst : public BCIMM {
 public:
  BCPtrConst();
  BCPtrConst(const BCPtrConst& other) = default;

  CLASS_TYPE isA() const override { return BCPTRCONST_CLASS; }
  int isEqual(const BCInstructionOp& other) const override;
  BCInstructionOp* newCopy() const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  int isNil() const { return nil_; }

 protected:
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  unsigned char nil_ = 1;
};

// The null ANY; as BCPtrConst.
class BCODE_API BCAnyConst : public BCIMM {
 public:
  BCAnyConst();
  BCAnyConst(const BCAnyConst& other) = default;

  CLASS_TYPE isA() const override { return BCANYCONST_CLASS; }
  int isEqual(const BCInstructionOp& other) const override;
  BCInstructionOp* newCopy() const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  int isNil() const { return nil_; }

 protected:
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  unsigned char nil_ = 1;
};

#endif  // BCODE_CONST_BCIMMEDIATE_H
