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

// How a dump shows an immediate's value.
enum class DumpForm { number, character, nil };

// What a class's row fixes.
struct ImmediateRow {
  BCInstructionOp::CLASS_TYPE tag;
  unsigned char dataType;
  const char* listFormat;
  DumpForm dumpForm;
};

constexpr ImmediateRow kRows[] = {
#define BC_X(tag, Class, blank, Value, dataType, listFormat, dumpForm) \
  {BCInstructionOp::tag, dataType, listFormat, DumpForm::dumpForm},
#include "bcode/const/bcimmediate.def"
#undef BC_X
};
constexpr std::size_t kClassCount = sizeof kRows / sizeof kRows[0];

// The immediates' tags run on from the first without a gap to the last.
constexpr bool rowsFollowTheTags() {
  for (std::size_t i = 0; i < kClassCount; ++i) {
    if (kRows[i].tag != BCInstructionOp::BCBOOLCONST_CLASS + static_cast<int>(i)) return false;
  }
  return kRows[kClassCount - 1].tag == BCInstructionOp::BCANYCONST_CLASS;
}
static_assert(rowsFollowTheTags(), "bcimmediate.def: one row per class tag, in tag order");

constexpr const ImmediateRow& rowOf(BCInstructionOp::CLASS_TYPE tag) {
  return kRows[tag - BCInstructionOp::BCBOOLCONST_CLASS];
}

const char* nilText(int nil) {
  return nil != 0 ? "NIL" : "???";
}

}  // namespace

// A record of an immediate class is loaded into the object the class's
// row makes; a tag of no class fails as a short read does.
template <class In>
BCInstructionOp* BCIMM::loadOfClass(unsigned tag, In& in) {
  switch (tag) {
#define BC_X(tag, Class, blank, ...) \
  case BCInstructionOp::tag:         \
    return loaded(new (std::nothrow) Class blank, in, nullptr);
#include "bcode/const/bcimmediate.def"
#undef BC_X
    default:
      setError(BCINSTRUCTIONOP_FAILED);
      return nullptr;
  }
}

bool BCIMM::savedAsOfClass(unsigned tag, const BCInstructionOp& op, KRFieldSpanWriter& out) {
  switch (tag) {
#define BC_X(tag, Class, ...) \
  case BCInstructionOp::tag:  \
    return savedAs<Class>(op, out);
#include "bcode/const/bcimmediate.def"
#undef BC_X
    default:
      return false;
  }
}

template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
BCImmediateOf<Derived, Value, Tag>::BCImmediateOf(Value value) : value_(value) {
  this->setDataType(rowOf(Tag).dataType);
}

// Equality: the value only.
template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
int BCImmediateOf<Derived, Value, Tag>::isEqual(const BCInstructionOp& other) const {
  const auto* same = dynamic_cast<const BCImmediateOf*>(&other);
  return same != nullptr && same->value_ == value_ ? 1 : 0;
}

// The value after the BCIMM part, which adds no field of its own; a failed
// field sets the operand flag, and a value that is not read keeps the one
// the object was made with.
template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
void BCImmediateOf<Derived, Value, Tag>::saveInstance(std::ostream& os) const {
  KRFieldWriter out(os);
  saveFields(out);
}

template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
template <class Out>
void BCImmediateOf<Derived, Value, Tag>::saveFields(Out& out) const {
  if (!this->writeFields(out, static_cast<Field>(value_)))
    BCInstructionOp::setError(BCInstructionOp::BCINSTRUCTIONOP_FAILED);
}

template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
void BCImmediateOf<Derived, Value, Tag>::loadInstance(std::istream& is, BCode* block) {
  KRFieldReader in(is);
  loadFields(in, block);
}

template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
template <class In>
void BCImmediateOf<Derived, Value, Tag>::loadFields(In& in, BCode* /*block*/) {
  auto value = static_cast<Field>(value_);
  if (!this->readFields(in, value))
    BCInstructionOp::setError(BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  value_ = static_cast<Value>(value);
}

// Listing: the flag row, then the value at column 59.
template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
void BCImmediateOf<Derived, Value, Tag>::printOn(std::ostream& os, char* column, char* line,
                                                 const char* const* typeNames) const {
  if (rowOf(Tag).dumpForm == DumpForm::nil) {
    this->listImmediate(os, column, line, typeNames, nilText(value_));
  } else {
    this->listImmediate(os, column, line, typeNames, rowOf(Tag).listFormat, value_);
  }
}

// Debug form: the value, then the common tail.
template <class Derived, class Value, BCInstructionOp::CLASS_TYPE Tag>
void BCImmediateOf<Derived, Value, Tag>::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  switch (rowOf(Tag).dumpForm) {
    case DumpForm::nil:
      os << nilText(value_);
      break;
    case DumpForm::character:
      os << std::setw(7) << static_cast<char>(value_);
      break;
    case DumpForm::number:
      os << std::setw(7) << +value_;
      break;
  }
  this->dumpImmediate(os);
}

#define BC_X(tag, Class, blank, Value, ...) \
  template class BCImmediateOf<Class, Value, BCInstructionOp::tag>;
#include "bcode/const/bcimmediate.def"
#undef BC_X

template BCInstructionOp* BCIMM::loadOfClass(unsigned tag, KRFieldReader& in);
template BCInstructionOp* BCIMM::loadOfClass(unsigned tag, KRFieldSpanReader& in);

// A one-byte immediate takes 16 bytes of the arena, a two-byte one 24.
static_assert(sizeof(BCBoolConst) == 16 && sizeof(BCPtrConst) == 16, "one-byte immediates grew");
static_assert(sizeof(BCWordConst) == 24 && sizeof(BCIntConst) == 24, "two-byte immediates grew");
