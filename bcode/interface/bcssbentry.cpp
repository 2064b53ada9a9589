#include "bcode/interface/bcssbentry.h"

#include <cstdio>
#include <iomanip>
#include <istream>
#include <ostream>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/interface/bclayout.h"

template class KRSequence<BCSSBEntry*>;

KR_DEFINE_ERROR_FLAG(BCSSBEntry)

namespace {

// The columns of an entry's listing line, from the entry's column. An FC
// entry has no offset; its offset column shows "-".
constexpr KRListColumn kOffsetColumn{"offset", 0, 6};
constexpr KRListColumn kNameColumn{"name", 6, 26};
constexpr KRListColumn kKindColumn{"parameter kind", 32, 7};
constexpr KRListColumn kTypeIndexColumn{"type index", 39, 7};
constexpr KRListColumn kTypeNameColumn{"type name", 46, 0};

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
                           const char* const* typeNames, const char* offsetText) const {
  const KRListLine out(line, column);
  out.put(kOffsetColumn, offsetText);
  out.printf(kNameColumn, " %s", name_.c_str());
  out.put(kKindColumn, bclayout::nameAt(kindNames, static_cast<unsigned char>(paramKind_)));
  out.printf(kTypeIndexColumn, "%i", type_.getIndex());
  out.put(kTypeNameColumn, bclayout::typeNameOf(type_, typeNames));
  // The entry's line ends after the type name, even when a long name is cut.
  out.store(os, kTypeNameColumn);
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
  printLine(os, column, line, kindNames, typeNames, offsetText);
}

void BCFBEntry::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << std::dec << std::setw(4) << offset_ << "  ";
  printTail(os);
}

BCFCEntry::BCFCEntry(const KRString& name, KRTypeRef type, PARAM_KIND kind)
    : BCSSBEntry(name, type, kind) {}

void BCFCEntry::printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
                        const char* const* typeNames) const {
  printLine(os, column, line, kindNames, typeNames, "-");
}

void BCFCEntry::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << "      ";
  printTail(os);
}
