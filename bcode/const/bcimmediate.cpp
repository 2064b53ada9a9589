#include "bcode/const/bcimmediate.h"

#include <cstddef>
#include <iomanip>
#include <istream>
#include <new>
#include <ostream>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/types/krdatatype.h"

namespace {

// The value of another immediate of the same class, compared as `Value`.
template <class Op, class Value>
int sameValue(const Op& own, const BCInstructionOp& other, Value (Op::*value)() const) {
  const Op* same = dynamic_cast<const Op*>(&other);
  return same != nullptr && (own.*value)() == (same->*value)() ? 1 : 0;
}

const char* nilText(int nil) {
  return nil != 0 ? "NIL" : "???";
}

constexpr BCInstructionOp::CLASS_TYPE kTags[] = {
#define BC_X(tag, Class, blank) BCInstructionOp::tag,
#include "bcode/const/bcimmediate.def"
#undef BC_X
};

// The immediates' tags run on from the first without a gap to the last.
constexpr bool rowsFollowTheTags() {
  constexpr std::size_t count = sizeof kTags / sizeof kTags[0];
  for (std::size_t i = 0; i < count; ++i) {
    if (kTags[i] != BCInstructionOp::BCBOOLCONST_CLASS + static_cast<int>(i)) return false;
  }
  return kTags[count - 1] == BCInstructionOp::BCANYCONST_CLASS;
}
static_assert(rowsFollowTheTags(), "bcimmediate.def: one row per class tag, in tag order");

}  // namespace

BCInstructionOp* BCIMM::newOfClass(unsigned tag) {
  switch (tag) {
#define BC_X(classTag, Class, blank) \
  case classTag:                     \
    return new (std::nothrow) Class blank;
#include "bcode/const/bcimmediate.def"
#undef BC_X
    default:
      return nullptr;
  }
}

// Every value class writes its value after the BCIMM part and reads it back
// the same way; a failed field sets the operand flag.
#define BC_IMMEDIATE_RECORD(Class, field, writeAs, readAs)                        \
  void Class::saveInstance(std::ostream& os) const {                              \
    BCIMM::saveInstance(os);                                                      \
    if (!KRFieldWriter(os).writeAs(field).ok()) setError(BCINSTRUCTIONOP_FAILED); \
  }                                                                               \
  void Class::loadInstance(std::istream& is, BCode* block) {                      \
    BCIMM::loadInstance(is, block);                                               \
    if (!KRFieldReader(is).readAs(field).ok()) setError(BCINSTRUCTIONOP_FAILED);  \
  }                                                                               \
  BCInstructionOp* Class::newCopy() const {                                       \
    return new (std::nothrow) Class(*this);                                       \
  }

BC_IMMEDIATE_RECORD(BCBoolConst, value_, u8, u8)
BC_IMMEDIATE_RECORD(BCByteConst, value_, u8, u8)
BC_IMMEDIATE_RECORD(BCCharConst, value_, u8, u8)
BC_IMMEDIATE_RECORD(BCWordConst, value_, u16, u16)
BC_IMMEDIATE_RECORD(BCIntConst, value_, i16, i16)
BC_IMMEDIATE_RECORD(BCPtrConst, nil_, u8, u8)
BC_IMMEDIATE_RECORD(BCAnyConst, nil_, u8, u8)

#undef BC_IMMEDIATE_RECORD

// ---------------------------------------------------------------------------
// Value constructors

BCBoolConst::BCBoolConst(unsigned char value) : value_(value) {
  setDataType(KR_DT_BOOL);
}
BCByteConst::BCByteConst(unsigned char value) : value_(value) {
  setDataType(KR_DT_BYTE);
}
BCCharConst::BCCharConst(unsigned char value) : value_(value) {
  setDataType(KR_DT_CHAR);
}
BCWordConst::BCWordConst(std::uint16_t value) : value_(value) {
  setDataType(KR_DT_WORD);
}
BCIntConst::BCIntConst(std::int16_t value) : value_(value) {
  setDataType(KR_DT_INT);
}
BCPtrConst::BCPtrConst() {
  setDataType(KR_DT_POINTER);
}
BCAnyConst::BCAnyConst() {
  setDataType(KR_DT_ANY);
}

// ---------------------------------------------------------------------------
// Equality: the value only

int BCBoolConst::isEqual(const BCInstructionOp& other) const {
  return sameValue(*this, other, &BCBoolConst::getValue);
}
int BCByteConst::isEqual(const BCInstructionOp& other) const {
  return sameValue(*this, other, &BCByteConst::getValue);
}
int BCCharConst::isEqual(const BCInstructionOp& other) const {
  return sameValue(*this, other, &BCCharConst::getValue);
}
int BCWordConst::isEqual(const BCInstructionOp& other) const {
  return sameValue(*this, other, &BCWordConst::getValue);
}
int BCIntConst::isEqual(const BCInstructionOp& other) const {
  return sameValue(*this, other, &BCIntConst::getValue);
}
int BCPtrConst::isEqual(const BCInstructionOp& other) const {
  return sameValue(*this, other, &BCPtrConst::isNil);
}
int BCAnyConst::isEqual(const BCInstructionOp& other) const {
  return sameValue(*this, other, &BCAnyConst::isNil);
}

// ---------------------------------------------------------------------------
// Listing: the flag row, then the value at column 59

void BCBoolConst::printOn(std::ostream& os, char* column, char* line,
                          const char* const* typeNames) const {
  listImmediate(os, column, line, typeNames, "%i", value_);
}
void BCByteConst::printOn(std::ostream& os, char* column, char* line,
                          const char* const* typeNames) const {
  listImmediate(os, column, line, typeNames, "0x%02x", value_);
}
void BCCharConst::printOn(std::ostream& os, char* column, char* line,
                          const char* const* typeNames) const {
  listImmediate(os, column, line, typeNames, "%c", value_);
}
void BCWordConst::printOn(std::ostream& os, char* column, char* line,
                          const char* const* typeNames) const {
  listImmediate(os, column, line, typeNames, "0x%04x", value_);
}
void BCIntConst::printOn(std::ostream& os, char* column, char* line,
                         const char* const* typeNames) const {
  listImmediate(os, column, line, typeNames, "%i", value_);
}
void BCPtrConst::printOn(std::ostream& os, char* column, char* line,
                         const char* const* typeNames) const {
  listImmediate(os, column, line, typeNames, nilText(nil_));
}
void BCAnyConst::printOn(std::ostream& os, char* column, char* line,
                         const char* const* typeNames) const {
  listImmediate(os, column, line, typeNames, nilText(nil_));
}

// ---------------------------------------------------------------------------
// Debug form: the value, then the common tail

void BCBoolConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << std::setw(7) << static_cast<unsigned>(value_);
  dumpImmediate(os);
}

void BCByteConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << std::setw(7) << static_cast<unsigned>(value_);
  dumpImmediate(os);
}

void BCCharConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << std::setw(7) << static_cast<char>(value_);
  dumpImmediate(os);
}

void BCWordConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << std::setw(7) << value_;
  dumpImmediate(os);
}

void BCIntConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << std::setw(7) << value_;
  dumpImmediate(os);
}

void BCPtrConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << nilText(nil_);
  dumpImmediate(os);
}

void BCAnyConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << nilText(nil_);
  dumpImmediate(os);
}
