#include "bcode/interface/bcssb.h"

#include <istream>
#include <memory>
#include <new>
#include <ostream>

#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/interface/bclayout.h"
#include "bcode/types/krtypetab.h"

template class KRSequence<BCSSB*>;

KR_DEFINE_ERROR_FLAG(BCSSBList)
static_assert(kKRArenaFits<BCSSB> && kKRArenaFits<BCSSBList> && kKRArenaFits<BCFBEntry> &&
                  kKRArenaFits<BCFCEntry>,
              "what a load makes of interfaces fits arena storage");

namespace {

using EntryList = KRSequence<BCSSBEntry*>;

// Flag values of a failed description read.
constexpr KRSequenceErrors kNoNameBuffer = KRSEQUENCE_NO_LIST;     // 1
constexpr KRSequenceErrors kBadRecord = KRSEQUENCE_LAYOUT_FAILED;  // 5

// The columns of a description's header line, from the description's column.
constexpr KRListColumn kTitleColumn{"title", 0, 5};
constexpr KRListColumn kKindNameColumn{"block kind", 5, 12};
constexpr KRListColumn kBlockNoColumn{"block number", 17, 12};
constexpr KRListColumn kCountColumn{"entry count", 29, 0};
// The columns of an entry's line: its number, then the entry's own.
constexpr KRListColumn kNumberColumn{"number", 0, 5};
constexpr KRListColumn kEntryColumn{"entry", 5, 0};

const char* const kBlockKindNames[] = {"KR_OB_KENN",  "KR_FB_KENN", "KR_SFB_KENN", "KR_FC_KENN",
                                       "KR_SFC_KENN", "KR_DB_KENN", "KR_SDB_KENN"};

const char* blockKindName(KR_BLOCK_KIND kind) {
  return kind >= KR_OB_KENN && kind <= KR_SDB_KENN ? kBlockKindNames[kind - KR_OB_KENN] : "";
}

std::uint64_t blockKey(std::uint16_t blockNo, KR_BLOCK_KIND kind) {
  return (static_cast<std::uint64_t>(blockNo) << 32) | static_cast<std::uint32_t>(kind);
}

// Each group of entries of one parameter kind starts on a word; within a
// group an entry is aligned by its own type.
auto groupStart() {
  return [lastKind = 0](const BCSSBEntry& entry) mutable -> std::uint32_t {
    if (entry.getParamKind() != lastKind) {
      lastKind = entry.getParamKind();
      return 16;
    }
    return entry.alignment();
  };
}

bool holdsOffsets(KR_BLOCK_KIND kind) {
  return kind == KR_FB_KENN || kind == KR_SFB_KENN;
}

// A new entry of the class a description of `kind` holds; null for the
// kinds that hold no entries or when it cannot be made.
std::unique_ptr<BCSSBEntry> newEntryFor(KR_BLOCK_KIND kind, const KRString& name,
                                        const KRTypeRef& type, BCSSBEntry::PARAM_KIND entryKind) {
  if (holdsOffsets(kind)) {
    return std::unique_ptr<BCSSBEntry>(new (std::nothrow) BCFBEntry(name, type, entryKind));
  }
  if (kind == KR_FC_KENN || kind == KR_SFC_KENN) {
    return std::unique_ptr<BCSSBEntry>(new (std::nothrow) BCFCEntry(name, type, entryKind));
  }
  return nullptr;
}

// Reads one entry record of a description of `kind`. Null on failure, with
// the flag value to report in `failure`.
BCSSBEntry* readEntry(std::istream& is, KR_BLOCK_KIND kind, KRTypeTab* table,
                      KRSequenceErrors& failure) {
  failure = kBadRecord;
  std::uint16_t typeIndex = 0;
  KRString name;  // copied into the entry
  std::uint8_t entryKind = 0;
  KRFieldReader in(is);
  {
    const KRHeapScope transient;
    in.u16(typeIndex).name(name).u8(entryKind);
  }
  if (!in.ok()) {
    if (in.status() == KRFieldReader::NO_MEMORY) failure = kNoNameBuffer;
    return nullptr;
  }
  std::unique_ptr<BCSSBEntry> entry = newEntryFor(kind, name, KRTypeRef(typeIndex, table),
                                                  static_cast<BCSSBEntry::PARAM_KIND>(entryKind));
  if (!entry || BCSSBEntry::getError() != BCSSBEntry::BCSSBENTRY_OK) {
    BCSSBEntry::resetError();
    return nullptr;
  }
  std::uint32_t offset = 0;
  if (holdsOffsets(kind) && !in.u32(offset).ok()) return nullptr;
  entry->setOffset(offset);
  return entry.release();
}

}  // namespace

// ---- BCSSBRef ----

BCSSBEntry* BCSSBRef::ptr() const {
  if (list_ == nullptr) return nullptr;
  const BCSSB* ssb = list_->lookup(blockNo_, blockKind_);
  return ssb != nullptr ? ssb->lookup(parNo_) : nullptr;
}

bool BCSSBRef::operator==(const BCSSBRef& other) const {
  return blockNo_ == other.blockNo_ && blockKind_ == other.blockKind_ && parNo_ == other.parNo_;
}

// ---- BCSSB ----

BCSSB::BCSSB() = default;

BCSSB::BCSSB(std::uint16_t blockNo, KR_BLOCK_KIND kind, BCSSBList* list)
    : blockNo_(blockNo), blockKind_(kind), list_(list) {}

BCSSB::~BCSSB() = default;

std::uint32_t BCSSB::getLastOffset() {
  return bclayout::lastOffsetOf(byNumber_, groupStart());
}

std::uint32_t BCSSB::getOffset(std::uint16_t n) {
  return bclayout::offsetOf(byNumber_, n, groupStart());
}

std::uint32_t BCSSB::storageLength() {
  return bclayout::lengthOf(byNumber_, groupStart());
}

BCSSBRef BCSSB::add(BCSSBEntry* entry) {
  if (entry == nullptr) return BCSSBRef(blockNo_, blockKind_, 0, list_);
  bclayout::appendIndexed(entries_, byNumber_, entry);
  return BCSSBRef(blockNo_, blockKind_, static_cast<std::uint16_t>(byNumber_.size()), list_);
}

BCSSBEntry* BCSSB::lookup(std::uint16_t n) const {
  return n != 0 && n <= byNumber_.size() ? byNumber_[n - 1] : nullptr;
}

BCSSBEntry* BCSSB::getNthEntryOfParamKind(std::uint16_t kind, std::uint16_t n) const {
  std::uint32_t count = 0;
  for (BCSSBEntry* entry : byNumber_) {
    if (entry->getParamKind() == static_cast<int>(kind) && ++count >= n) return entry;
  }
  return nullptr;
}

void BCSSB::save(std::ostream& os) const {
  if (!KRFieldWriter(os).u16(blockNo_).u8(static_cast<std::uint8_t>(blockKind_)).ok()) {
    EntryList::error = KRSEQUENCE_SAVE_FAILED;
    return;
  }
  entries_.save(os);
}

BCSSB* BCSSB::iload(std::istream& is, KRTypeEnv* env) {
  std::uint16_t blockNo = 0;
  std::uint8_t kind = 0;
  if (!KRFieldReader(is).u16(blockNo).u8(kind).ok()) {
    EntryList::error = kBadRecord;
    return nullptr;
  }
  KRTypeTab* const table = env != nullptr ? env->getTypeTab() : nullptr;
  std::unique_ptr<BCSSB> ssb(new (std::nothrow) BCSSB(
      blockNo, static_cast<KR_BLOCK_KIND>(kind), env != nullptr ? env->getSSBList() : nullptr));
  if (!ssb) {
    EntryList::error = kBadRecord;
    return nullptr;
  }
  KRSequenceErrors failure = kBadRecord;
  const bool read = ssb->entries_.loadRecord(is, [&](std::istream& in, BCSSBEntry*& entry) {
    entry = readEntry(in, ssb->blockKind_, table, failure);
    return entry != nullptr;
  });
  if (!read) {
    EntryList::error = failure;
    return nullptr;
  }
  bclayout::indexAll(ssb->entries_, ssb->byNumber_);
  return ssb.release();
}

void BCSSB::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << "SSB:  blockKind = " << std::dec << static_cast<int>(blockKind_)
     << "  , blockNo = " << blockNo_ << '\n';
  for (const BCSSBEntry* entry : byNumber_) entry->printOn(os);
}

void BCSSB::printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
                    const char* const* typeNames) const {
  const KRListLine header(line, column);
  header.put(kTitleColumn, "SSB: ");
  header.put(kKindNameColumn, blockKindName(blockKind_));
  header.printf(kBlockNoColumn, "%i", blockNo_);
  header.printf(kCountColumn, "%u", static_cast<unsigned>(getEntryCount()));
  header.store(os, kCountColumn);
  const KRListLine entryLine(line, line);
  unsigned number = 0;
  for (const BCSSBEntry* entry : byNumber_) {
    entryLine.printf(kNumberColumn, "%u", ++number);
    entry->printOn(os, entryLine.at(kEntryColumn), line, kindNames, typeNames);
  }
}

void BCSSB::store(std::ostream& os, char* end, char* line) const {
  krLineStore(os, end, line);
}

// ---- BCSSBList ----

BCSSBList::BCSSBList() = default;

BCSSBList::~BCSSBList() = default;

BCSSB* BCSSBList::newSSB(std::uint16_t blockNo, KR_BLOCK_KIND kind) {
  std::unique_ptr<BCSSB> ssb(new (std::nothrow) BCSSB(blockNo, kind, this));
  if (!ssb) {
    setError(BCSSBLIST_NO_MEMORY);
    return nullptr;
  }
  const bool indexWasCurrent = indexValid_ && indexGeneration_ == getGeneration();
  prepend(ssb.get());
  BCSSB* const added = ssb.release();
  if (indexWasCurrent) {
    try {
      byBlock_[blockKey(blockNo, kind)] = added;  // the newest is found first
      indexGeneration_ = getGeneration();
    } catch (const std::bad_alloc&) {
      indexValid_ = false;
    }
  }
  return added;
}

void BCSSBList::rebuildIndex() const {
  try {
    byBlock_.clear();
    for (BCSSBListIterator it(*this); !it.end(); ++it) {
      const BCSSB* ssb = it.current();
      byBlock_.emplace(blockKey(ssb->getBlockNo(), ssb->getBlockKind()), it.current());
    }
    indexGeneration_ = getGeneration();
    indexValid_ = true;
  } catch (const std::bad_alloc&) {
    byBlock_.clear();
    indexValid_ = false;
  }
}

BCSSB* BCSSBList::lookup(std::uint16_t blockNo, KR_BLOCK_KIND kind) const {
  if (!indexValid_ || indexGeneration_ != getGeneration()) rebuildIndex();
  if (indexValid_) {
    const auto found = byBlock_.find(blockKey(blockNo, kind));
    return found != byBlock_.end() ? found->second : nullptr;
  }
  // Without memory for the index the list is searched.
  for (BCSSBListIterator it(*this); !it.end(); ++it) {
    BCSSB* ssb = it.current();
    if (ssb->getBlockNo() == blockNo && ssb->getBlockKind() == kind) return ssb;
  }
  return nullptr;
}

void BCSSBList::save(std::ostream& os) const {
  const bool written = saveRecord(os, [](std::ostream& out, const BCSSB* ssb) {
    ssb->save(out);
    return EntryList::error == KRSEQUENCE_OK;
  });
  if (!written) {
    error = KRSEQUENCE_OK;
    setError(BCSSBLIST_FAILED);
  }
}

void BCSSBList::load(std::istream& is, KRTypeTab* table) {
  KRTypeEnv env(table, this, 4);
  clear();
  const bool read = loadRecord(is, [&env](std::istream& in, BCSSB*& ssb) {
    ssb = BCSSB::iload(in, &env);
    return ssb != nullptr && EntryList::error == KRSEQUENCE_OK;
  });
  // A flag still set from an earlier failure fails the load as well.
  if (!read || error != KRSEQUENCE_OK) {
    clear();
    error = KRSEQUENCE_OK;
    setError(BCSSBLIST_FAILED);
  }
}

BCSSBList* BCSSBList::iload(std::istream& is, KRTypeTab* table) {
  std::unique_ptr<BCSSBList> list(new (std::nothrow) BCSSBList());
  if (!list) {
    setError(BCSSBLIST_NO_MEMORY);
    return nullptr;
  }
  list->load(is, table);
  return getError() == BCSSBLIST_OK ? list.release() : nullptr;
}

void BCSSBList::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << "BCSSBList:\n";
  for (BCSSBListIterator it(*this); !it.end(); ++it) it.current()->printOn(os);
}

void BCSSBList::printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
                        const char* const* typeNames) const {
  for (BCSSBListIterator it(*this); !it.end(); ++it) {
    it.current()->printOn(os, column, line, kindNames, typeNames);
  }
}

// ---- BCSSBListIterator ----

BCSSB* BCSSBListIterator::operator++(int) {
  BCSSB* const here = current();
  KRSequenceIterator<BCSSB*>::operator++();
  return here;
}
