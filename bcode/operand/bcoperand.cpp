#include "bcode/operand/bcoperand.h"

#include <cstddef>
#include <cstdio>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <string>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/types/krtypedesc.h"

template class KRRefTable<BCOperand*>;

KR_DEFINE_ERROR_FLAG(BCOperand)

namespace {

// How the listing line names an operand's class and type (bcoperand.def).
enum ColumnZero : bool { CALLER_NAME, OWN_NAME };
enum TypeName : int { TYPE_NAME, HIGH_CODES, AS_FORMAT, NO_TYPE };

// What a class tag fixes in dumps and listings.
struct ClassRow {
  BCOperand::CLASS_TYPE tag;
  const char* name;
  const char* dump;
  ColumnZero column0;
  TypeName typeName;
  unsigned char impliedType;
};

constexpr ClassRow kRows[] = {
#define BC_X(tag, Class, blank, name, dump, column0, typeName, impliedType) \
  {BCOperand::tag, name, dump, column0, typeName, impliedType},
#include "bcode/operand/bcoperand.def"
#undef BC_X
};

// Row i holds tag i + 1, and every tag has its row.
constexpr bool rowsFollowTheTags() {
  for (std::size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
    if (kRows[i].tag != static_cast<int>(i) + 1) return false;
  }
  return sizeof kRows / sizeof kRows[0] == BCOperand::CT_LAST;
}
static_assert(rowsFollowTheTags(), "bcoperand.def: one row per class tag, in tag order");

constexpr ClassRow kNoClass{BCOperand::CT_NONE, "", "", CALLER_NAME, TYPE_NAME, 0};

const ClassRow& rowOf(BCOperand::CLASS_TYPE tag) {
  const int index = static_cast<int>(tag);
  return index > 0 && index <= BCOperand::CT_LAST ? kRows[index - 1] : kNoClass;
}

// A format text without arguments prints its "%%" as "%"; any other
// conversion is kept as it stands, since there is nothing to convert.
std::string formatWithoutArguments(const char* format) {
  std::string text(format != nullptr ? format : "");
  for (std::size_t at = text.find("%%"); at != std::string::npos; at = text.find("%%", at + 1)) {
    text.erase(at, 1);
  }
  return text;
}

const char* tableEntry(const char* const* table, unsigned index) {
  return table != nullptr ? table[index] : nullptr;
}

}  // namespace

BCOperand::~BCOperand() = default;

unsigned char BCOperand::getDataType() const {
  return 0;
}

int BCOperand::identView(const BCOperand&) const {
  return 0;
}

int BCOperand::isEqual(const BCOperand& other) const {
  if (typeRef.getIndex() == other.typeRef.getIndex()) return 1;
  const KRTypedesc* mine = typeRef.ptr();
  const KRTypedesc* theirs = other.typeRef.ptr();
  return mine != nullptr && theirs != nullptr && *mine == *theirs ? 1 : 0;
}

int BCOperand::operator==(const BCOperand& other) const {
  return isA() == other.isA() && isEqual(other) != 0 ? 1 : 0;
}

int BCOperand::viewsOverlap(std::uint16_t ownNo, std::uint16_t ownView, std::uint16_t otherNo,
                            std::uint16_t otherView) {
  if (ownView == 0 && otherView == 0) return 0;
  if (ownView == otherNo || otherView == ownNo) return 1;
  return ownView == otherView ? 1 : 0;
}

// ---- records

BCOperand* BCOperand::iload(std::istream& is, BCode* code) {
  std::uint8_t tag = 0;
  const bool read = KRFieldReader(is).u8(tag).ok();
  // An unknown tag and an object that could not be made fail alike.
  std::unique_ptr<BCOperand> operand(read ? newOfClass(tag) : nullptr);
  if (!operand) {
    setError(BCOPERAND_FAILED);
    return nullptr;
  }
  operand->loadInstance(is, code);
  // A flag left set by an earlier failure fails this load too.
  if (getError() != BCOPERAND_OK) return nullptr;
  return operand.release();
}

void BCOperand::save(std::ostream& os) const {
  if (!KRFieldWriter(os).u8(static_cast<std::uint8_t>(isA())).ok()) {
    setError(BCOPERAND_FAILED);
    return;
  }
  saveInstance(os);
}

void BCOperand::loadInstance(std::istream& is, BCode* code) {
  std::uint16_t index = 0;
  KRFieldReader in(is);
  checkRead(in.u16(index));
  bindType(index, code);
}

void BCOperand::saveInstance(std::ostream& os) const {
  checkWrite(KRFieldWriter(os).u16(typeRef.getIndex()));
}

void BCOperand::checkWrite(const KRFieldWriter& out) {
  if (!out.ok()) setError(BCOPERAND_FAILED);
}

void BCOperand::checkRead(const KRFieldReader& in) {
  if (!in.ok()) setError(BCOPERAND_FAILED);
}

void BCOperand::saveNumber(std::ostream& os, std::uint16_t number) {
  checkWrite(KRFieldWriter(os).u16(number));
}

void BCOperand::loadNumber(std::istream& is, std::uint16_t& number) {
  checkRead(KRFieldReader(is).u16(number));
}

void BCOperand::bindType(std::uint16_t index, BCode* code) {
  typeRef = KRTypeRef(index, code != nullptr ? &code->getTypeTab() : nullptr);
}

// ---- listing

void BCOperand::store(std::ostream& os, char* end, char* line) const {
  krLineStore(os, end, line);
}

void BCOperand::printClassName(const KRListLine& out, const char* const* classNames) const {
  const ClassRow& row = rowOf(isA());
  const char* name = row.name;
  if (row.column0 == CALLER_NAME) name = tableEntry(classNames, static_cast<unsigned>(isA()));
  out.put(kClassColumn, name);
}

void BCOperand::printTypeColumns(const KRListLine& out, const char* const* typeNames) const {
  const ClassRow& row = rowOf(isA());
  const KRTypedesc* type = typeRef.ptr();
  if (type == nullptr) {
    out.put(kTypeColumn, "???");
  } else {
    const unsigned code = type->getDataType();
    const char* name =
        tableEntry(typeNames, row.typeName == HIGH_CODES ? krTypeNameIndex(code) : code);
    out.put(kTypeColumn, row.typeName == AS_FORMAT ? formatWithoutArguments(name).c_str() : name);
  }
  out.printf(kTypeIndexColumn, "%u", static_cast<unsigned>(typeRef.getIndex()));
}

void BCOperand::printDashes(const KRListLine& out, std::initializer_list<KRListColumn> columns) {
  for (const KRListColumn& column : columns) out.put(column, "-");
}

void BCOperand::printOffset(const KRListLine& out, const KRListColumn& column,
                            std::uint32_t offset) {
  out.printf(column, "%li", static_cast<long>(static_cast<std::int32_t>(offset)));
}

// ---- dump

unsigned char BCOperand::impliedDataType() const {
  return rowOf(isA()).impliedType;
}

unsigned char BCOperand::resolvedDataType() const {
  const KRTypedesc* type = typeRef.ptr();
  return type != nullptr ? type->getDataType() : 0;
}

const char* BCOperand::mnemonic() const {
  return rowOf(isA()).dump;
}

void BCOperand::dumpField(std::ostream& os, std::int32_t value, int width) {
  char text[24];
  std::snprintf(text, sizeof text, "%*ld", width, static_cast<long>(value));
  os << text;
}

void BCOperand::dumpType(std::ostream& os) const {
  const KRTypedesc* type = typeRef.ptr();
  if (type != nullptr) {
    type->printOn(os, 3);
  } else {
    os << "*** Error: illegal typeRef !" << '\n';
  }
}

// ---- table

BCOperandList::~BCOperandList() = default;

BCOperandList* BCOperandList::iload(std::istream& is, BCode* code) {
  return KRRefTable<BCOperand*>::loadTable<BCOperandList>(
      is, [code](std::istream& in, BCOperand*& entry) {
        entry = BCOperand::iload(in, code);
        return entry != nullptr;
      });
}
