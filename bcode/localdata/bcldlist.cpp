#include "bcode/localdata/bcldlist.h"

#include <cstring>
#include <iomanip>
#include <istream>
#include <memory>
#include <new>
#include <ostream>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/interface/bclayout.h"

template class KRSequence<BCLDEntry*>;

KR_DEFINE_ERROR_FLAG(BCLDEntry)
static_assert(kKRArenaFits<BCLDEntry> && kKRArenaFits<BCLDList>,
              "what a load makes of local data fits arena storage");

namespace {

// The columns of a variable's listing line, from the variable's column. A
// long name runs on until the type index overwrites it.
constexpr KRListColumn kNameColumn{"name", 0, 28};
constexpr KRListColumn kTypeIndexColumn{"type index", 28, 5};
constexpr KRListColumn kOffsetColumn{"offset", 33, 6};
constexpr KRListColumn kTypeNameColumn{"type name", 39, 0};

// Every ordinary variable is aligned by its own type alone.
std::uint32_t ownStart(const BCLDEntry& entry) {
  return entry.alignment();
}

bool nameBytesEqual(const KRString& a, const KRString& b) {
  return a.length() == b.length() && std::memcmp(a.c_str(), b.c_str(), a.length()) == 0;
}

}  // namespace

// ---- BCLDEntry ----

BCLDEntry::BCLDEntry() = default;

BCLDEntry::BCLDEntry(const KRString& name, KRTypeRef type) : type_(type) {
  // The name starts empty; the copy is skipped when even that failed.
  if (KRString::error == KRString::KRSTRING_OK) name_ = name;
  if (KRString::error != KRString::KRSTRING_OK) {
    KRString::error = KRString::KRSTRING_OK;
    setError(BCLDENTRY_NO_MEMORY);
  }
}

BCLDEntry::~BCLDEntry() = default;

std::uint32_t BCLDEntry::storageLength() const {
  return measured(bclayout::lengthOfType);
}

std::uint32_t BCLDEntry::alignment() const {
  return measured(bclayout::alignmentOfType);
}

std::uint32_t BCLDEntry::measured(std::uint32_t (*ask)(const KRTypedesc&)) const {
  std::uint32_t value = 0;
  if (bclayout::askType(type_, ask, value)) return value;
  setError(BCLDENTRY_FAILED);
  return 1;
}

unsigned char BCLDEntry::getDataType() const {
  return bclayout::dataTypeOf(type_);
}

void BCLDEntry::save(std::ostream& os) const {
  saveInstance(os);
}

void BCLDEntry::saveInstance(std::ostream& os) const {
  if (!KRFieldWriter(os).u16(type_.getIndex()).u32(offset_).name(name_).ok()) {
    setError(BCLDENTRY_FAILED);
  }
}

bool BCLDEntry::loadInstance(std::istream& is, KRTypeTab* table) {
  std::uint16_t typeIndex = 0;
  KRFieldReader in(is);
  in.u16(typeIndex).u32(offset_).name(name_);
  if (!in.ok()) {
    setError(in.status() == KRFieldReader::NO_MEMORY ? BCLDENTRY_NO_MEMORY : BCLDENTRY_FAILED);
    return false;
  }
  type_ = KRTypeRef(typeIndex, table);
  viewVarNo_ = 0;
  return true;
}

BCLDEntry* BCLDEntry::iload(std::istream& is, KRTypeTab* table) {
  std::unique_ptr<BCLDEntry> entry(new (std::nothrow) BCLDEntry());
  if (!entry) {
    setError(BCLDENTRY_FAILED);
    return nullptr;
  }
  if (!entry->loadInstance(is, table)) return nullptr;
  // A flag left over from an earlier failure fails the load too.
  if (getError() != BCLDENTRY_OK) {
    setError(BCLDENTRY_FAILED);
    return nullptr;
  }
  return entry.release();
}

void BCLDEntry::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << std::dec << std::setw(4) << offset_ << "  ";
  name_.printOn(os);
  os << "  ";
  bclayout::dumpType(os, type_, "*** Error: illegal typeRef ! ");
}

void BCLDEntry::printOn(std::ostream& os, char* column, char* line,
                        const char* const* typeNames) const {
  const KRListLine out(line, column);
  out.printf(kNameColumn, "%s", name_.c_str());
  out.printf(kTypeIndexColumn, "%i", type_.getIndex());
  out.printf(kOffsetColumn, "%li", static_cast<long>(static_cast<std::int32_t>(offset_)));
  if (type_.ptr() != nullptr) {
    out.printf(kTypeNameColumn, " %s", bclayout::typeNameOf(type_, typeNames));
  } else {
    out.put(kTypeNameColumn, "???");
  }
  out.store(os, kTypeNameColumn);
}

void BCLDEntry::store(std::ostream& os, char* end, char* line) const {
  krLineStore(os, end, line);
}

bool BCLDEntry::operator==(const BCLDEntry& other) const {
  if (offset_ != other.offset_ || KRString::error != KRString::KRSTRING_OK ||
      !nameBytesEqual(name_, other.name_)) {
    return false;
  }
  const KRTypedesc* mine = type_.ptr();
  const KRTypedesc* theirs = other.type_.ptr();
  if (mine == nullptr || theirs == nullptr) {
    setError(BCLDENTRY_FAILED);
    return false;
  }
  return *mine == *theirs;
}

// ---- BCLDRef ----

BCLDEntry* BCLDRef::ptr() const {
  return list_ != nullptr ? list_->lookup(*this) : nullptr;
}

// ---- BCLDList ----

BCLDList::BCLDList() = default;

BCLDList::~BCLDList() = default;

std::uint32_t BCLDList::getLastOffset() {
  return bclayout::lastOffsetOf(byNumber_, ownStart);
}

std::uint32_t BCLDList::getOffset(std::uint16_t n) {
  return bclayout::offsetOf(byNumber_, n, ownStart);
}

std::uint32_t BCLDList::storageLength() {
  return bclayout::lengthOf(byNumber_, ownStart);
}

BCLDRef BCLDList::add(BCLDEntry* entry) {
  if (entry == nullptr) return BCLDRef(0, this);
  bclayout::appendIndexed(entries_, byNumber_, entry);
  return BCLDRef(static_cast<std::uint16_t>(byNumber_.size()), this);
}

BCLDEntry* BCLDList::lookup(BCLDRef ref) const {
  const std::uint16_t n = ref.getVarNo();
  return n != 0 && n <= byNumber_.size() ? byNumber_[n - 1] : nullptr;
}

void BCLDList::save(std::ostream& os) const {
  entries_.save(os);
}

BCLDList* BCLDList::iload(std::istream& is, KRTypeTab* table) {
  std::unique_ptr<BCLDList> list(new (std::nothrow) BCLDList());
  if (!list) {
    KRSequence<BCLDEntry*>::error = KRSEQUENCE_NO_LIST;
    return nullptr;
  }
  const bool read = list->entries_.loadRecord(is, [table](std::istream& in, BCLDEntry*& entry) {
    entry = BCLDEntry::iload(in, table);
    return entry != nullptr;
  });
  if (!read) return nullptr;
  bclayout::indexAll(list->entries_, list->byNumber_);
  return list.release();
}
