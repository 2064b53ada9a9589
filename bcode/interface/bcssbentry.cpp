#include "bcode/interface/bcssbentry.h"

#include <cstdio>
#include <iomanip>
#include <istream>
#include <ostream>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/interface/bclayout.h"

template class KRSequence<BCSSBEntry*>;

KR_DEFINE_ERROR_FLAG(BCSSBEntry)

namespace {

// Columns of an entry's listing line, from the entry's column start.
constexpr std::size_t kKindColumn = 32;
constexpr std::size_t kTypeIndexColumn = 39;
constexpr std::size_t kTypeNameColumn = 46;

// In-out parameters of these types are passed as a 48-bit reference.
bool isComposite(unsigned char code) {
  return code == KR_DT_ARRAY || code == KR_DT_STRUCT || code == KR_DT_STRING || code == KR_DT_DT;
}

bool passedByReference(BCSSBEntry::PARAM_KIND kind, const KRTypeRef& type) {
  return kind == BCSSBEntry::BC_PARAM_IN_OUT && isComposite(bclayout::dataTypeOf(type));
}

}  // namespace

BCSSBEntry::BCSSBEntry() = default;

BCSSBEntry::BCSSBEntry(const KRString& name, KRTypeRef type, PARAM_KIND kind)
    : name_(name), paramKind_(kind), type_(type) {
  if (KRString::error != KRString::KRSTRING_OK) {
    KRString::error = KRString::KRSTRING_OK;
    setError(BCSSBENTRY_FAILED);
  }
}

BCSSBEntry::~BCSSBEntry() = default;

std::uint32_t BCSSBEntry::measured(bool ok, std::uint32_t value) {
  if (ok) return value;
  setError(BCSSBENTRY_FAILED);
  return 1;
}

unsigned char BCSSBEntry::getDataType() const {
  return bclayout::dataTypeOf(type_);
}

void BCSSBEntry::save(std::ostream& os) const {
  KRFieldWriter out(os);
  out.u16(type_.getIndex()).name(name_).u8(static_cast<std::uint8_t>(paramKind_));
  if (isA() == BC_FB_ENTRY) out.u32(getOffset());
  if (!out.ok()) setError(BCSSBENTRY_FAILED);
}

BCSSBEntry* BCSSBEntry::iload(std::istream& is, KRTypeEnv*) {
  std::uint8_t skipped = 0;
  KRFieldReader(is).u8(skipped);
  return nullptr;
}

void BCSSBEntry::store(std::ostream& os, char* end, char* line) const {
  krLineStore(os, end, line, KR_STORE_NO_LINE_END);
}

void BCSSBEntry::printLine(std::ostream& os, char* column, char* line, const char* const* kindNames,
                           const char* const* typeNames, const char* offsetText, int nameColumn,
                           const char* nameFormat) const {
  using bclayout::columnAt;
  krLinePut(line, columnAt(line, column, 0), offsetText);
  krLinePrintf(line, columnAt(line, column, static_cast<std::size_t>(nameColumn)), nameFormat,
               name_.c_str());
  krLinePut(line, columnAt(line, column, kKindColumn),
            bclayout::nameAt(kindNames, static_cast<unsigned char>(paramKind_)));
  krLinePrintf(line, columnAt(line, column, kTypeIndexColumn), "%i", type_.getIndex());
  char* const typeColumn = columnAt(line, column, kTypeNameColumn);
  krLinePut(line, typeColumn, bclayout::typeNameOf(type_, typeNames));
  // The entry's line ends after the type name, even when a long name is cut.
  krLineStore(os, typeColumn, line);
}

void BCSSBEntry::printTail(std::ostream& os) const {
  name_.printOn(os);
  os << "  " << std::dec << static_cast<int>(paramKind_) << "   ";
  bclayout::dumpType(os, type_, "*** Error: illegal typeRef !");
}

BCFBEntry::BCFBEntry(const KRString& name, KRTypeRef type, PARAM_KIND kind)
    : BCSSBEntry(name, type, kind) {}

std::uint32_t BCFBEntry::storageLength() const {
  std::uint32_t length = 48;
  const bool ok = passedByReference(getParamKind(), getTypeRef()) ||
                  bclayout::askType(getTypeRef(), bclayout::lengthOfType, length);
  return measured(ok, length);
}

std::uint32_t BCFBEntry::alignment() const {
  std::uint32_t alignment = 16;
  const bool ok = passedByReference(getParamKind(), getTypeRef()) ||
                  bclayout::askType(getTypeRef(), bclayout::alignmentOfType, alignment);
  return measured(ok, alignment);
}

void BCFBEntry::printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
                        const char* const* typeNames) const {
  char offsetText[16];
  std::snprintf(offsetText, sizeof offsetText, "%li",
                static_cast<long>(static_cast<std::int32_t>(offset_)));
  printLine(os, column, line, kindNames, typeNames, offsetText, 6, " %s");
}

void BCFBEntry::printOn(std::ostream& os) const {
  os << std::dec << std::setw(4) << offset_ << "  ";
  printTail(os);
}

BCFCEntry::BCFCEntry(const KRString& name, KRTypeRef type, PARAM_KIND kind)
    : BCSSBEntry(name, type, kind) {}

void BCFCEntry::printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
                        const char* const* typeNames) const {
  printLine(os, column, line, kindNames, typeNames, "-", 7, "%s");
}

void BCFCEntry::printOn(std::ostream& os) const {
  os << "      ";
  printTail(os);
}
