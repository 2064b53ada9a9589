#include "tools/support/blockreading.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <utility>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krblockkind.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "tools/support/blockfile.h"
#include "tools/support/errorreport.h"

namespace bctool {

namespace {

// Takes each entry whose offset repeats that of an earlier ordinary entry as
// a view of that entry. Sorted (offset, number) pairs put each offset's first
// entry ahead of its views, at one allocation for the whole list.
template <class Entry>
void inferViews(const std::vector<Entry*>& entries) {
  std::vector<std::pair<std::uint32_t, std::uint16_t>> byOffset;
  byOffset.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    byOffset.emplace_back(entries[i]->getOffset(), static_cast<std::uint16_t>(i + 1));
  }
  std::sort(byOffset.begin(), byOffset.end());
  std::uint16_t ordinary = 0;
  for (std::size_t i = 0; i < byOffset.size(); ++i) {
    if (i == 0 || byOffset[i].first != byOffset[i - 1].first) {
      ordinary = byOffset[i].second;
    } else {
      entries[byOffset[i].second - 1]->setViewVarNo(ordinary);
    }
  }
}

template <class Entry, class Iterator, class Owner>
std::vector<Entry*> entriesOf(const Owner& owner) {
  std::vector<Entry*> entries;
  for (Iterator it(owner, 1); !it.end(); ++it) entries.push_back(it.current());
  return entries;
}

void inferBlockViews(BCode& block) {
  for (BCSSBListIterator it(block.getSSBList()); !it.end();) {
    const BCSSB* ssb = it++;
    // Only FB entries carry their offsets in the record.
    if (ssb->getBlockKind() == KR_FB_KENN || ssb->getBlockKind() == KR_SFB_KENN) {
      inferViews(entriesOf<BCSSBEntry, BCSSBIterator>(*ssb));
    }
  }
  inferViews(entriesOf<BCLDEntry, BCLDListIterator>(block.getLDDList()));
  inferViews(entriesOf<BCLDEntry, BCLDListIterator>(block.getLSDList()));
}

// Records what the load reports. Offsets are known: a memory stream tells
// its position.
class ReadingObserver : public BCLoadObserver {
 public:
  ReadingObserver(BlockReading& reading, const MemoryStream& in) : reading_(reading), in_(in) {}

  void sectionBegins(const BCRecordSection&, std::int64_t offset) override { begin_ = at(offset); }

  void sectionEnds(const BCRecordSection& section, std::int64_t offset,
                   std::uint32_t entries) override {
    reading_.sections.push_back({section.name, begin_, at(offset), entries, section.hasEntries});
  }

  void errorRaised(const BCRecordSection& section, std::int64_t offset) override {
    reading_.failed = section;
    reading_.failedBegin = begin_;
    reading_.stopOffset = at(offset);
    reading_.reachedEnd = in_.reachedEnd();
    reading_.failureFlags = setErrorFlags();
  }

  void beforeLayout(BCode& block) override { inferBlockViews(block); }

  // The layout's flags are kept aside and cleared, so that a later failure
  // reports only its own and a save of the block is not failed by them.
  void layoutFailed(std::int64_t offset) override {
    reading_.layoutFlags = setErrorFlags();
    reading_.layoutOffset = at(offset);
    bcInitBCode();
  }

 private:
  static std::size_t at(std::int64_t offset) { return static_cast<std::size_t>(offset); }

  BlockReading& reading_;
  const MemoryStream& in_;
  std::size_t begin_ = 0;
};

// Stops a load once one section has been read.
class SectionProbe : public ReadingObserver {
 public:
  struct Reached {};

  SectionProbe(BlockReading& reading, const MemoryStream& in, int number)
      : ReadingObserver(reading, in), number_(number) {}

  void sectionEnds(const BCRecordSection& section, std::int64_t offset,
                   std::uint32_t entries) override {
    ReadingObserver::sectionEnds(section, offset, entries);
    if (section.number == number_) throw Reached();
  }

 private:
  int number_;
};

// Compares what is written with the bytes expected, a cache-sized area at a
// time, and keeps only where they first differ.
class ComparingBuf : public std::streambuf {
 public:
  explicit ComparingBuf(std::string_view expected) : expected_(expected) {
    setp(area_, area_ + sizeof area_);
  }

  std::size_t written() const { return done_ + static_cast<std::size_t>(pptr() - pbase()); }

  // The first offset at which the two differ or either ends.
  std::size_t sameUpTo() {
    compareArea();
    return std::min(sameUpTo_, expected_.size());
  }

 protected:
  int_type overflow(int_type c) override {
    compareArea();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    if (off != 0 || dir != std::ios_base::cur) return pos_type(off_type(-1));
    return pos_type(static_cast<off_type>(written()));
  }

 private:
  void compareArea() {
    const auto size = static_cast<std::size_t>(pptr() - pbase());
    if (sameUpTo_ == done_ && done_ < expected_.size()) {
      const char* theirs = expected_.data() + done_;
      const std::size_t both = std::min(size, expected_.size() - done_);
      std::size_t same = 0;
      if (std::memcmp(pbase(), theirs, both) == 0) {
        same = both;
      } else {
        while (pbase()[same] == theirs[same]) ++same;
      }
      sameUpTo_ += same;
    }
    done_ += size;
    setp(area_, area_ + sizeof area_);
  }

  std::string_view expected_;
  char area_[16 * 1024];
  std::size_t done_ = 0;      // bytes compared so far
  std::size_t sameUpTo_ = 0;  // how many of them agreed from the start
};

}  // namespace

BlockReading::BlockReading() = default;
BlockReading::BlockReading(BlockReading&&) noexcept = default;
BlockReading& BlockReading::operator=(BlockReading&&) noexcept = default;
BlockReading::~BlockReading() = default;

const SectionInfo* BlockReading::section(const char* name) const {
  for (const SectionInfo& s : sections) {
    if (std::strcmp(s.name, name) == 0) return &s;
  }
  return nullptr;
}

BlockReading readBlock(std::string_view bytes) {
  bcInitBCode();
  BlockReading reading;
  MemoryStream in(bytes);
  ReadingObserver observer(reading, in);
  reading.block.reset(BCode::iload(in, &observer));
  bcInitBCode();
  return reading;
}

std::optional<std::size_t> readThroughSection(std::string_view bytes, int number) {
  bcInitBCode();
  BlockReading reading;
  MemoryStream in(bytes);
  SectionProbe probe(reading, in, number);
  std::optional<std::size_t> end;
  try {
    std::unique_ptr<BCode> block(BCode::iload(in, &probe));
  } catch (const SectionProbe::Reached&) {
    end = reading.sections.back().end;
  }
  bcInitBCode();
  return end;
}

bool saveBlock(const BCode& block, std::string& bytes) {
  std::ostringstream os;
  block.save(os);
  bytes = os.str();
  return BCode::getError() == BCode::BCODE_OK;
}

SavedAgain saveAgainst(const BCode& block, std::string_view bytes) {
  ComparingBuf compared(bytes);
  std::ostream os(&compared);
  block.save(os);
  SavedAgain result;
  result.saved = BCode::getError() == BCode::BCODE_OK;
  result.written = compared.written();
  result.sameUpTo = compared.sameUpTo();
  return result;
}

std::size_t firstDifference(const std::string& a, const std::string& b) {
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  return at;
}

std::string blockKindName(int kind) {
  const char* name = krBlockKindName(kind);
  return name != nullptr ? name : "kind " + std::to_string(kind);
}

}  // namespace bctool
