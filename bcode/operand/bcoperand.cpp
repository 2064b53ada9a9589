#include "bcode/operand/bcoperand.h"

#include <cstdio>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <string>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcparam.h"
#include "bcode/types/krtypedesc.h"

template class KRRefTable<BCOperand*>;

KR_DEFINE_ERROR_FLAG(BCOperand)

namespace {

// What a class tag fixes in dumps and listings.
struct ClassInfo {
  const char* mnemonic;    // opens the dump line
  const char* listName;    // column 0 when the class has a fixed text there
  bool highCodes;          // type codes 254 and 255 list as 30 and 31
  bool nameAsFormat;       // the type name is used as a format text
  unsigned char dataType;  // the type implied by a number-only class
};

constexpr ClassInfo kNoClass{"", nullptr, false, false, 0};

constexpr ClassInfo kClassInfo[BCOperand::CT_LAST + 1] = {
    kNoClass,
    {"E    ", nullptr, false, false, 0},
    {"A    ", nullptr, true, false, 0},
    {"M    ", nullptr, true, false, 0},
    {"PE   ", nullptr, true, false, 0},
    {"PA   ", nullptr, true, false, 0},
    {"MFL  ", nullptr, false, false, 1},
    {"FBEP ", nullptr, true, false, 0},
    {"FBAP ", nullptr, true, false, 0},
    {"FBDP ", nullptr, true, false, 0},
    {"FCEP ", nullptr, true, false, 0},
    {"FCAP ", nullptr, true, false, 0},
    {"FCDP ", nullptr, true, false, 0},
    {"SFBEP", nullptr, true, false, 0},
    {"SFBAP", nullptr, true, false, 0},
    {"SFBDP", nullptr, true, false, 0},
    {"SFCEP", nullptr, true, false, 0},
    {"SFCAP", nullptr, true, false, 0},
    {"SFCDP", nullptr, true, false, 0},
    {"LSD  ", nullptr, false, true, 0},
    {"LDD  ", nullptr, false, true, 0},
    {"DBBER", nullptr, true, false, 0},
    {"T    ", nullptr, false, false, 29},
    {"Z    ", nullptr, false, false, 28},
    {"OB   ", nullptr, false, false, 0},
    {"FB   ", nullptr, false, false, 23},
    {"FC   ", nullptr, false, false, 24},
    {"SFB  ", nullptr, false, false, 23},
    {"SFC   ", nullptr, false, false, 24},
    {"DB   ", nullptr, false, false, 25},
    {"SDB   ", nullptr, false, false, 26},
    {"ICall", nullptr, false, false, 0},
    {"ICEP ", "ICEP", true, false, 0},
    {"ICAP ", "ICAP", true, false, 0},
};

const ClassInfo& infoOf(BCOperand::CLASS_TYPE tag) {
  const int index = static_cast<int>(tag);
  return index > 0 && index <= BCOperand::CT_LAST ? kClassInfo[index] : kNoClass;
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

template <class Leaf>
BCOperand* BCOperand::make() {
  return new (std::nothrow) Leaf();
}

BCOperand* BCOperand::iload(std::istream& is, BCode* code) {
  using Maker = BCOperand* (*)();
  static constexpr Maker kMakers[CT_LAST + 1] = {
      nullptr,         &make<BCoE>,     &make<BCoA>,     &make<BCoM>,     &make<BCoPE>,
      &make<BCoPA>,    &make<BCoMFL>,   &make<BCoFBEP>,  &make<BCoFBAP>,  &make<BCoFBDP>,
      &make<BCoFCEP>,  &make<BCoFCAP>,  &make<BCoFCDP>,  &make<BCoSFBEP>, &make<BCoSFBAP>,
      &make<BCoSFBDP>, &make<BCoSFCEP>, &make<BCoSFCAP>, &make<BCoSFCDP>, &make<BCoLSD>,
      &make<BCoLDD>,   &make<BCoDBBER>, &make<BCoT>,     &make<BCoZ>,     &make<BCoOB>,
      &make<BCoFB>,    &make<BCoFC>,    &make<BCoSFB>,   &make<BCoSFC>,   &make<BCoDB>,
      &make<BCoSDB>,   &make<BCoICall>, &make<BCoICEP>,  &make<BCoICAP>};

  std::uint8_t tag = 0;
  const bool known = KRFieldReader(is).u8(tag).ok() && tag != CT_NONE && tag <= CT_LAST;
  // An unknown tag and an object that could not be made fail alike.
  std::unique_ptr<BCOperand> operand(known ? kMakers[tag]() : nullptr);
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

void BCOperand::printClassName(char* col, char* line, const char* const* classNames) const {
  const ClassInfo& info = infoOf(isA());
  const char* name = info.listName;
  if (name == nullptr) name = tableEntry(classNames, static_cast<unsigned>(isA()));
  krLinePut(line, col + COL_CLASS, name);
}

void BCOperand::printTypeColumns(char* col, char* line, const char* const* typeNames) const {
  const ClassInfo& info = infoOf(isA());
  const KRTypedesc* type = typeRef.ptr();
  if (type == nullptr) {
    krLinePut(line, col + COL_TYPE, "???");
  } else {
    unsigned code = type->getDataType();
    if (info.highCodes && code >= 254) code -= 224;
    const char* name = tableEntry(typeNames, code);
    krLinePut(line, col + COL_TYPE,
              info.nameAsFormat ? formatWithoutArguments(name).c_str() : name);
  }
  krLinePrintf(line, col + COL_TYPE_INDEX, "%u", static_cast<unsigned>(typeRef.getIndex()));
}

void BCOperand::printDashes(char* col, char* line, std::initializer_list<COLUMN> columns) {
  for (const COLUMN column : columns) krLinePut(line, col + column, "-");
}

char* BCOperand::printOffset(char* at, char* line, std::uint32_t offset) {
  return krLinePrintf(line, at, "%li", static_cast<long>(static_cast<std::int32_t>(offset)));
}

void BCOperand::printNumberLine(std::ostream& os, char* col, char* line,
                                const char* const* classNames, const char* typeText,
                                std::uint16_t number) const {
  printClassName(col, line, classNames);
  krLinePut(line, col + COL_TYPE, typeText);
  printDashes(col, line, {COL_TYPE_INDEX, COL_PARAM, COL_VAR, COL_PAR_NO, COL_OFFSET});
  krLinePrintf(line, col + COL_NUMBER, "%i", static_cast<int>(number));
  store(os, col + COL_OFFSET, line);
}

// ---- dump

unsigned char BCOperand::fixedDataType() const {
  return infoOf(isA()).dataType;
}

unsigned char BCOperand::resolvedDataType() const {
  const KRTypedesc* type = typeRef.ptr();
  return type != nullptr ? type->getDataType() : 0;
}

const char* BCOperand::mnemonic() const {
  return infoOf(isA()).mnemonic;
}

void BCOperand::dumpField(std::ostream& os, std::int32_t value, int width) {
  char text[24];
  std::snprintf(text, sizeof text, "%*ld", width, static_cast<long>(value));
  os << text;
}

void BCOperand::dumpNumberLine(std::ostream& os, std::uint16_t number) const {
  os << mnemonic();
  dumpField(os, number, 6);
  os << '\n';
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
