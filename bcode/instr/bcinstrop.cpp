#include "bcode/instr/bcinstrop.h"

#include <cstddef>
#include <iomanip>
#include <istream>
#include <memory>
#include <new>
#include <ostream>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/types/krdatatype.h"
#include "bcode/types/krtypedesc.h"

KR_DEFINE_ERROR_FLAG(BCInstructionOp)

namespace {

// The columns of an operand's listing row, counted from the operand's column.
constexpr KRListColumn kWordColumn{"class", 0, 8};
constexpr KRListColumn kNumberColumn{"number", 8, 9};
constexpr KRListColumn kRefrColumn{"reference flag", 17, 9};
constexpr KRListColumn kStatusColumn{"status", 26, 7};
constexpr KRListColumn kTestColumn{"test flag", 33, 5};
constexpr KRListColumn kAreaColumn{"area", 38, 4};
constexpr KRListColumn kTypeIndexColumn{"type index", 42, 7};
constexpr KRListColumn kTypeNameColumn{"type name", 49, 10};
constexpr KRListColumn kValueColumn{"value", 59, 0};

constexpr KRListColumn kRow[] = {kWordColumn,      kNumberColumn,   kRefrColumn,
                                 kStatusColumn,    kTestColumn,     kAreaColumn,
                                 kTypeIndexColumn, kTypeNameColumn, kValueColumn};
static_assert(krColumnsAdjoin(kRow), "the operand row's columns follow each other");

// What stands in a listing for a missing operand.
constexpr KRListText kNoneRow = krDashRow(kRow);

// What the class tags fix: the word that opens an operand's row and dump.
struct ClassRow {
  BCInstructionOp::CLASS_TYPE tag;
  const char* word;
};

constexpr ClassRow kRows[] = {
#define BC_X(tag, Class, word) {BCInstructionOp::tag, word},
#include "bcode/instr/bcinstrop.def"
#undef BC_X
};

// Row i holds tag i, and the immediates' tags follow the last.
constexpr bool rowsFollowTheTags() {
  constexpr std::size_t count = sizeof kRows / sizeof kRows[0];
  for (std::size_t i = 0; i < count; ++i) {
    if (kRows[i].tag != static_cast<int>(i)) return false;
  }
  return count == BCInstructionOp::BCBOOLCONST_CLASS;
}
static_assert(rowsFollowTheTags(), "bcinstrop.def: one row per class tag, in tag order");

const char* wordOf(const BCInstructionOp& op) {
  return kRows[op.isA()].word;
}

const char* statusWord(BCTMP::STATUS_TYPE status) {
  switch (status) {
    case BCTMP::TMG:
      return "TMG";
    case BCTMP::TML:
      return "TML";
    case BCTMP::TMT:
      return "TMT";
  }
  return nullptr;
}

// A listing needs a line and a column in it; without them nothing is written.
bool noLine(const char* column, const char* line) {
  return column == nullptr || line == nullptr;
}

template <class Op>
const Op* sameClass(const BCInstructionOp& other) {
  return dynamic_cast<const Op*>(&other);
}

// The listing's words for the flags.
const char* refrText(const BCInstructionOp& op) {
  return op.getRefrFlag() == BCInstructionOp::REFR ? "REFR" : "NO_REFR";
}
const char* testText(const BCInstructionOp& op) {
  return op.getTestFlag() == 1 ? "t" : "n";
}

// The type name of a data type code.
const char* typeNameOf(const char* const* typeNames, unsigned char dataType) {
  if (typeNames == nullptr) return "???";
  const unsigned index = krTypeNameIndex(dataType);
  return typeNames[index] != nullptr ? typeNames[index] : "???";
}

// The columns up to the type index of a table operand's row: word, index
// and flags.
void listHandle(const BCInstructionOp& op, const KRListLine& out, unsigned index) {
  out.put(kWordColumn, wordOf(op));
  out.printf(kNumberColumn, "%u", index);
  out.put(kRefrColumn, refrText(op));
  out.put(kStatusColumn, "-");
  out.put(kTestColumn, testText(op));
  out.put(kAreaColumn, "-");
  out.put(kTypeIndexColumn, "-");
}

// The dump of a table operand up to the entry's own dump.
void dumpHandle(std::ostream& os, const BCInstructionOp& op, unsigned index) {
  os << std::setw(7) << index << "   " << wordOf(op) << "  " << testText(op) << "  " << std::setw(2)
     << static_cast<unsigned>(op.getDataType()) << "      ";
}

}  // namespace

// ---------------------------------------------------------------------------
// BCInstructionOp

BCInstructionOp::~BCInstructionOp() = default;

int BCInstructionOp::identView(const BCInstructionOp& /*other*/) const {
  return 0;
}

int BCInstructionOp::isEqual(const BCInstructionOp& other) const {
  return dataType_ == other.dataType_ && refrFlag_ == other.refrFlag_ &&
         testFlag_ == other.testFlag_;
}

void BCInstructionOp::printOn(std::ostream& /*os*/, char* /*column*/, char* /*line*/,
                              const char* const* /*typeNames*/) const {}

bool BCInstructionOp::operator==(const BCInstructionOp& other) const {
  return isA() == other.isA() && isEqual(other) != 0;
}

void BCInstructionOp::save(std::ostream& os) const {
  if (!KRFieldWriter(os).u8(static_cast<std::uint8_t>(isA())).ok()) {
    setError(BCINSTRUCTIONOP_FAILED);
    return;
  }
  saveInstance(os);
}

BCInstructionOp* BCInstructionOp::iload(std::istream& is, BCode* block) {
  KRFieldReader in(is);
  return load(in, block);
}

void BCInstructionOp::store(std::ostream& os, char* end, char* line) const {
  krLineStore(os, end, line);
}

void BCInstructionOp::printNone(std::ostream& os, char* column, char* line) {
  const KRListLine out(line, column);
  out.put(kWordColumn, kNoneRow.text);
  out.store(os, kWordColumn);
}

// Each class writes and reads the fields of this part together with its
// own (readFields, writeFields). A field that is not read keeps its
// default, as the loading state has it.
void BCInstructionOp::saveInstance(std::ostream& os) const {
  KRFieldWriter out(os);
  if (!writeFields(out)) setError(BCINSTRUCTIONOP_FAILED);
}

void BCInstructionOp::loadInstance(std::istream& is, BCode* /*block*/) {
  KRFieldReader in(is);
  if (!readFields(in)) setError(BCINSTRUCTIONOP_FAILED);
}

// ---------------------------------------------------------------------------
// BCTMP

BCTMP::BCTMP(unsigned char dataType, std::uint32_t tmpNo, STATUS_TYPE status, AREA_TYPE lArea,
             const KRTypeRef& type)
    : tmpNo_(tmpNo),
      status_(static_cast<unsigned char>(status)),
      lArea_(static_cast<unsigned char>(lArea)),
      type_(type) {
  setDataType(dataType);
}

BCTMP::BCTMP(unsigned char dataType, std::uint32_t tmpNo, STATUS_TYPE status, AREA_TYPE lArea)
    : BCTMP(dataType, tmpNo, status, lArea, KRTypeRef()) {}

int BCTMP::isEqual(const BCInstructionOp& other) const {
  const BCTMP* tmp = sameClass<BCTMP>(other);
  if (tmp == nullptr || !BCInstructionOp::isEqual(other)) return 0;
  if (tmpNo_ != tmp->tmpNo_ || status_ != tmp->status_ || lArea_ != tmp->lArea_) return 0;
  if (type_.getIndex() == tmp->type_.getIndex()) return 1;
  const KRTypedesc* own = type_.ptr();
  const KRTypedesc* others = tmp->type_.ptr();
  return own != nullptr && others != nullptr && *own == *others;
}

void BCTMP::printOn(std::ostream& os, char* column, char* line,
                    const char* const* typeNames) const {
  if (noLine(column, line)) return;
  const KRListLine out(line, column);
  const char* status = statusWord(getStatus());
  out.put(kWordColumn, wordOf(*this));
  out.printf(kNumberColumn, "%u", tmpNo_);
  out.put(kRefrColumn, refrText(*this));
  out.put(kStatusColumn, status != nullptr ? status : "???");
  out.put(kTestColumn, testText(*this));
  out.put(kAreaColumn, lArea_ == L_AREA ? "L" : "G");
  if (type_.ptr() != nullptr) {
    out.printf(kTypeIndexColumn, "%i", type_.getIndex());
  } else {
    out.put(kTypeIndexColumn, "-");
  }
  out.put(kTypeNameColumn, typeNameOf(typeNames, getDataType()));
  out.put(kValueColumn, "-");
  out.store(os, kValueColumn);
}

void BCTMP::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  const char* status = statusWord(getStatus());
  os << std::setw(7) << tmpNo_ << "   " << (status != nullptr ? status : "") << "  "
     << testText(*this) << "  " << std::setw(2) << static_cast<unsigned>(getDataType()) << "  "
     << (lArea_ == L_AREA ? "L" : " ");
  if (const KRTypedesc* desc = type_.ptr()) {
    desc->printOn(os, 3);
  } else {
    os << '\n';
  }
}

void BCTMP::saveInstance(std::ostream& os) const {
  KRFieldWriter out(os);
  saveFields(out);
}

template <class Out>
void BCTMP::saveFields(Out& out) const {
  if (!writeFields(out, type_.getIndex(), tmpNo_, status_, lArea_)) {
    setError(BCINSTRUCTIONOP_FAILED);
  }
}

void BCTMP::loadInstance(std::istream& is, BCode* block) {
  KRFieldReader in(is);
  loadFields(in, block);
}

template <class In>
void BCTMP::loadFields(In& in, BCode* block) {
  std::uint16_t typeIndex = 0;
  const bool read = readFields(in, typeIndex, tmpNo_, status_, lArea_);
  type_ = KRTypeRef(typeIndex, block != nullptr ? &block->getTypeTab() : nullptr);
  if (!read) setError(BCINSTRUCTIONOP_FAILED);
}

// ---------------------------------------------------------------------------
// BCNUM

int BCNUM::isEqual(const BCInstructionOp& other) const {
  const BCNUM* num = sameClass<BCNUM>(other);
  return num != nullptr && value_ == num->value_;
}

void BCNUM::printOn(std::ostream& os, char* column, char* line,
                    const char* const* /*typeNames*/) const {
  if (noLine(column, line)) return;
  const KRListLine out(line, column);
  out.put(kWordColumn, wordOf(*this));
  out.printf(kNumberColumn, "%u", value_);
  for (const KRListColumn& dash : {kRefrColumn, kStatusColumn, kTestColumn, kAreaColumn,
                                   kTypeIndexColumn, kTypeNameColumn, kValueColumn}) {
    out.put(dash, "-");
  }
  out.store(os, kValueColumn);
}

void BCNUM::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << std::setw(7) << value_ << "   " << wordOf(*this) << '\n';
}

void BCNUM::saveInstance(std::ostream& os) const {
  KRFieldWriter out(os);
  saveFields(out);
}

template <class Out>
void BCNUM::saveFields(Out& out) const {
  if (!writeFields(out, value_)) setError(BCINSTRUCTIONOP_FAILED);
}

void BCNUM::loadInstance(std::istream& is, BCode* block) {
  KRFieldReader in(is);
  loadFields(in, block);
}

template <class In>
void BCNUM::loadFields(In& in, BCode* /*block*/) {
  if (!readFields(in, value_)) setError(BCINSTRUCTIONOP_FAILED);
}

// ---------------------------------------------------------------------------
// BCIMM

void BCIMM::saveInstance(std::ostream& os) const {
  BCInstructionOp::saveInstance(os);
}

void BCIMM::loadInstance(std::istream& is, BCode* block) {
  BCInstructionOp::loadInstance(is, block);
}

namespace {
// The columns before the value of an immediate's row: only the test flag
// and the type name.
void listImmediateColumns(const BCInstructionOp& op, const KRListLine& out,
                          const char* const* typeNames) {
  out.put(kWordColumn, "IMM");
  for (const KRListColumn& dash : {kNumberColumn, kRefrColumn, kStatusColumn}) out.put(dash, "-");
  out.put(kTestColumn, testText(op));
  for (const KRListColumn& dash : {kAreaColumn, kTypeIndexColumn}) out.put(dash, "-");
  out.put(kTypeNameColumn, typeNameOf(typeNames, op.getDataType()));
}
}  // namespace

void BCIMM::listImmediate(std::ostream& os, char* column, char* line, const char* const* typeNames,
                          const char* format, int value) const {
  if (noLine(column, line)) return;
  const KRListLine out(line, column);
  listImmediateColumns(*this, out, typeNames);
  out.printf(kValueColumn, format, value);
  out.store(os, kValueColumn);
}

void BCIMM::listImmediate(std::ostream& os, char* column, char* line, const char* const* typeNames,
                          const char* valueText) const {
  if (noLine(column, line)) return;
  const KRListLine out(line, column);
  listImmediateColumns(*this, out, typeNames);
  out.put(kValueColumn, valueText);
  out.store(os, kValueColumn);
}

void BCIMM::dumpImmediate(std::ostream& os) const {
  os << "   IMM  " << testText(*this) << "  " << std::setw(2)
     << static_cast<unsigned>(getDataType()) << '\n';
}

// ---------------------------------------------------------------------------
// BCCST and BCOPD: handles of table entries

namespace {

// The table a loaded handle binds to; none without a block.
BCConstantList* tableOf(BCode* block, const BCConstant*) {
  return block != nullptr ? &block->getConstList() : nullptr;
}
BCOperandList* tableOf(BCode* block, const BCOperand*) {
  return block != nullptr ? &block->getOpList() : nullptr;
}

// The dump's line for a handle that names no entry.
const char* illegalHandleText(const BCConstant*) {
  return "*** Error: illegal constRef !\n";
}
const char* illegalHandleText(const BCOperand*) {
  return "*** Error: illegal opRef !\n";
}

// The listing columns from the type name on, emitted: a constant writes its
// own ("???" for none), an operand shows its data type and no value.
void listEntry(std::ostream& os, const KRListLine& out, char* line, const BCConstant* entry,
               const char* /*typeName*/) {
  if (entry != nullptr) {
    entry->printOn(os, out.at(kTypeNameColumn), line);
    return;
  }
  out.put(kTypeNameColumn, "???");
  out.store(os, kTypeNameColumn);
}
void listEntry(std::ostream& os, const KRListLine& out, char* /*line*/, const BCOperand* /*entry*/,
               const char* typeName) {
  out.put(kTypeNameColumn, typeName);
  out.put(kValueColumn, "-");
  out.store(os, kValueColumn);
}

}  // namespace

template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
BCHandleOf<Derived, Entry, Ref, Tag, Kind>::BCHandleOf(const Ref& ref) : ref_(ref) {
  if (const Entry* entry = ref_.ptr()) {
    this->setDataType(entry->getDataType());
  } else {
    BCInstructionOp::setError(BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  }
}

template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
int BCHandleOf<Derived, Entry, Ref, Tag, Kind>::isEqual(const BCInstructionOp& other) const {
  const auto* that = sameClass<BCHandleOf>(other);
  if (that == nullptr || !BCInstructionOp::isEqual(other)) return 0;
  if (ref_.getIndex() == that->ref_.getIndex()) return 1;
  const Entry* own = ref_.ptr();
  const Entry* others = that->ref_.ptr();
  if (own == nullptr || others == nullptr) {
    BCInstructionOp::setError(BCInstructionOp::BCINSTRUCTIONOP_FAILED);
    return 0;
  }
  return *own == *others ? 1 : 0;
}

template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
void BCHandleOf<Derived, Entry, Ref, Tag, Kind>::printOn(std::ostream& os, char* column, char* line,
                                                         const char* const* typeNames) const {
  if (noLine(column, line)) return;
  const KRListLine out(line, column);
  listHandle(*this, out, ref_.getIndex());
  listEntry(os, out, line, ref_.ptr(), typeNameOf(typeNames, this->getDataType()));
}

template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
void BCHandleOf<Derived, Entry, Ref, Tag, Kind>::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  dumpHandle(os, *this, ref_.getIndex());
  const Entry* entry = ref_.ptr();
  if (entry != nullptr) {
    entry->printOn(os);
  } else {
    os << illegalHandleText(entry);
  }
}

template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
void BCHandleOf<Derived, Entry, Ref, Tag, Kind>::saveInstance(std::ostream& os) const {
  KRFieldWriter out(os);
  saveFields(out);
}

template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
template <class Out>
void BCHandleOf<Derived, Entry, Ref, Tag, Kind>::saveFields(Out& out) const {
  if (!this->writeFields(out, ref_.getIndex()))
    BCInstructionOp::setError(BCInstructionOp::BCINSTRUCTIONOP_FAILED);
}

template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
void BCHandleOf<Derived, Entry, Ref, Tag, Kind>::loadInstance(std::istream& is, BCode* block) {
  KRFieldReader in(is);
  loadFields(in, block);
}

template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
template <class In>
void BCHandleOf<Derived, Entry, Ref, Tag, Kind>::loadFields(In& in, BCode* block) {
  std::uint16_t index = 0;
  if (!this->readFields(in, index))
    BCInstructionOp::setError(BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  ref_ = Ref(KRReference<Entry*>(index, tableOf(block, static_cast<const Entry*>(nullptr))));
}

template class BCHandleOf<BCCST, BCConstant, BCConstRef, BCInstructionOp::BCCST_CLASS,
                          BCInstructionOp::CST>;
template class BCHandleOf<BCOPD, BCOperand, BCOpRef, BCInstructionOp::BCOPD_CLASS,
                          BCInstructionOp::OPD>;

int BCOPD::identView(const BCInstructionOp& other) const {
  const BCOPD* opd = other.kind() == OPD ? sameClass<BCOPD>(other) : nullptr;
  if (opd == nullptr) return 0;
  const BCOperand* own = ref().ptr();
  const BCOperand* others = opd->ref().ptr();
  if (own == nullptr || others == nullptr) return 0;
  return own->identView(*others);
}

// ---------------------------------------------------------------------------

// The class tag picks the class, whose fields are read straight into the
// object made for them.
template <class In>
BCInstructionOp* BCInstructionOp::loadRecord(In& in, BCode* block) {
  std::uint8_t tag = 0;
  if (!in.u8(tag).ok()) {
    setError(BCINSTRUCTIONOP_FAILED);
    return nullptr;
  }
  switch (tag) {
#define BC_X(classTag, Class, word) \
  case classTag:                    \
    return loaded(new (std::nothrow) Class(), in, block);
#include "bcode/instr/bcinstrop.def"
#undef BC_X
    default:
      return BCIMM::loadOfClass(tag, in);
  }
}

BCInstructionOp* BCInstructionOp::load(KRFieldReader& in, BCode* block) {
  return loadRecord(in, block);
}

BCInstructionOp* BCInstructionOp::load(KRFieldSpanReader& in, BCode* block) {
  return loadRecord(in, block);
}

bool BCInstructionOp::save(const BCInstructionOp& op, KRFieldWriter& /*out*/, std::ostream& os) {
  op.save(os);
  return true;
}

// The classes of this folder are told by their type information, which
// savedAs compares anyway, without the virtual isA(); the immediates by
// their tag.
bool BCInstructionOp::save(const BCInstructionOp& op, KRFieldSpanWriter& out,
                           std::ostream& /*os*/) {
  const std::type_info* const type = &typeid(op);
#define BC_X(classTag, Class, word) \
  if (type == &typeid(Class)) return savedAs<Class>(op, out);
#include "bcode/instr/bcinstrop.def"
#undef BC_X
  return BCIMM::savedAsOfClass(static_cast<unsigned>(op.isA()), op, out);
}
