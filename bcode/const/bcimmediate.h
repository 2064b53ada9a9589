// Immediate operands: values of the small elementary types carried inside an
// instruction instead of the constant table, and the null pointer and ANY.
// Equality compares the value only: data type code, flags and text position
// do not take part (operator== still tells the classes apart).
#ifndef BCODE_CONST_BCIMMEDIATE_H
#define BCODE_CONST_BCIMMEDIATE_H

#include <cstdint>
#include <iosfwd>
#include <type_traits>

#include "bcode/foundation/krexport.h"
#include "bcode/instr/bcinstrop.h"

// What every immediate shares: the value, written to the record in its own
// width, equality by value, and the listing and dump forms, which the
// class's row in bcimmediate.def fixes.
template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
class BCODE_API BCImmediateOf : public BCInstructionOpOf<Derived, BCIMM, Tag> {
 public:
  int isEqual(const BCInstructionOp& other) const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

 protected:
  // Also sets the data type of the class's row.
  explicit BCImmediateOf(Value value);
  BCImmediateOf(const BCImmediateOf& other) = default;

  Value value() const { return value_; }

  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  friend class BCInstructionOp;
  // The value in the record: an unsigned integer of the value's width.
  using Field = std::make_unsigned_t<Value>;

  template <class In>
  void loadFields(In& in, BCode* block);
  template <class Out>
  void saveFields(Out& out) const;

  Value value_;
};

class BCODE_API BCBoolConst
    : public BCImmediateOf<BCBoolConst, unsigned char, BCInstructionOp::BCBOOLCONST_CLASS> {
 public:
  explicit BCBoolConst(unsigned char value) : BCImmediateOf(value) {}
  unsigned char getValue() const { return value(); }
};

class BCODE_API BCByteConst
    : public BCImmediateOf<BCByteConst, unsigned char, BCInstructionOp::BCBYTECONST_CLASS> {
 public:
  explicit BCByteConst(unsigned char value) : BCImmediateOf(value) {}
  unsigned char getValue() const { return value(); }
};

class BCODE_API BCCharConst
    : public BCImmediateOf<BCCharConst, unsigned char, BCInstructionOp::BCCHARCONST_CLASS> {
 public:
  explicit BCCharConst(unsigned char value) : BCImmediateOf(value) {}
  unsigned char getValue() const { return value(); }
};

class BCODE_API BCWordConst
    : public BCImmediateOf<BCWordConst, std::uint16_t, BCInstructionOp::BCWORDCONST_CLASS> {
 public:
  explicit BCWordConst(std::uint16_t value) : BCImmediateOf(value) {}
  std::uint16_t getValue() const { return value(); }
};

class BCODE_API BCIntConst
    : public BCImmediateOf<BCIntConst, std::int16_t, BCInstructionOp::BCINTCONST_CLASS> {
 public:
  explicit BCIntConst(std::int16_t value) : BCImmediateOf(value) {}
  std::int16_t getValue() const { return value(); }
};

// The null pointer; a nil flag of 0 only comes from a record and lists "???".
class BCODE_API BCPtrConst
    : public BCImmediateOf<BCPtrConst, unsigned char, BCInstructionOp::BCPTRCONST_CLASS> {
 public:
  BCPtrConst() : BCImmediateOf(1) {}
  int isNil() const { return value(); }
};

// The null ANY; as BCPtrConst.
class BCODE_API BCAnyConst
    : public BCImmediateOf<BCAnyConst, unsigned char, BCInstructionOp::BCANYCONST_CLASS> {
 public:
  BCAnyConst() : BCImmediateOf(1) {}
  int isNil() const { return value(); }
};

#endif  // BCODE_CONST_BCIMMEDIATE_H
