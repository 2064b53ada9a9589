// What must hold for any bytes handed to the block and type table loaders.
// The fuzz targets abort on a violation; the corpus replay test in
// tests/concurrency runs the same checks over every file of fuzz/corpus, so
// each input a fuzzer once found stays a regression test in every build.
#ifndef BCODE_FUZZ_RECORDCHECK_H
#define BCODE_FUZZ_RECORDCHECK_H

#include <cstddef>
#include <istream>
#include <memory>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>

#include "bcode/code/bcnametables.h"
#include "bcode/code/bcode.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/interface/bcssb.h"
#include "bcode/text/bcfields.h"
#include "bcode/types/krtypetab.h"
#include "tools/support/blockfile.h"
#include "tools/support/blocklayout.h"
#include "tools/support/blocklisting.h"
#include "tools/support/errorreport.h"
#include "tools/support/nametablefile.h"

namespace bcfuzz {

// How much text a record may make. A dump writes each structure and array
// of a print run once and a reference wherever it is met again, and caps its
// indentation, so that for its types it writes at most 100 bytes per byte of
// the record (bcode/types/krtypewalk.cpp gives the reckoning); everything
// else a block dumps (titles, entries, constants, operands, instructions) is
// a line or two per entry, of the order of that entry's listing line. So a
// block's dump is at most this many bytes per byte of its record plus the
// length of its listing. A listing line has at most 160 characters and is
// paid for by at least 2 bytes of the record (a component, an entry, an
// instruction), so listings keep to the same factor without that allowance.
constexpr std::size_t kTextBytesPerRecordByte = 100;

// Takes every byte and keeps none, counting them: listings and dumps of
// large records cost no memory.
class DiscardBuf : public std::streambuf {
 public:
  std::size_t taken() const { return taken_; }

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    taken_ += static_cast<std::size_t>(n);
    return n;
  }
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) ++taken_;
    return traits_type::not_eof(ch);
  }

 private:
  std::size_t taken_ = 0;
};

inline std::unique_ptr<BCode> loadBlock(const std::string& bytes) {
  bctool::MemoryBuf buf(bytes.data(), bytes.size());
  std::istream is(&buf);
  return std::unique_ptr<BCode>(BCode::iload(is));
}

// The block record of `block`; empty with the flags left set on failure.
inline std::string saveBlock(const BCode& block) {
  std::ostringstream os;
  block.save(os);
  return BCode::getError() == BCode::BCODE_OK ? os.str() : std::string();
}

inline std::string saveTable(const KRTypeTab& table) {
  std::ostringstream os;
  table.save(os);
  return os.str();
}

inline std::string listBlock(const BCode& block) {
  static const bctool::NameTables names;
  std::ostringstream os;
  bctool::printListing(os, block, names);
  return os.str();
}

// The length of the block's dump.
inline std::size_t dumpBlock(const BCode& block) {
  DiscardBuf discard;
  std::ostream os(&discard);
  bctool::printDump(os, block);
  return discard.taken();
}

// Whether the fields of a block close every object and list they open,
// with a key for every member and none for an item. A walk that fails
// (the block's types do not save again) must hand out nothing.
inline bool fieldsWellFormed(const BCode& block) {
  class Shape : public BCFieldSink {
   public:
    bool good = true;
    bool any = false;  // whether the walk handed out anything
    std::string open;  // 'o' an object, 'l' a list, innermost last

    void beginObject(std::string_view key) override { enter(key, 'o'); }
    void endObject() override { leave('o'); }
    void beginList(std::string_view key) override { enter(key, 'l'); }
    void endList() override { leave('l'); }
    void integer(std::string_view key, std::int64_t) override { member(key); }
    void real(std::string_view key, double) override { member(key); }
    void text(std::string_view key, std::string_view) override { member(key); }
    void boolean(std::string_view key, bool) override { member(key); }
    void none(std::string_view key) override { member(key); }

   private:
    void member(std::string_view key) {
      any = true;
      if (open.empty() || (open.back() == 'l') != key.empty()) good = false;
    }
    void enter(std::string_view key, char kind) {
      any = true;
      if (!open.empty()) member(key);
      open.push_back(kind);
    }
    void leave(char kind) {
      if (open.empty() || open.back() != kind) good = false;
      if (!open.empty()) open.pop_back();
    }
  } shape;
  const bool walked = bcWriteFields(shape, block);
  return walked ? shape.good && shape.open.empty() : !shape.any;
}

// Empty when `written` bytes of a text (`what`) keep to the bound above for
// a record of `recordBytes` bytes, beside an `allowance`.
inline std::string checkTextBound(const char* what, std::size_t written, std::size_t recordBytes,
                                  std::size_t allowance = 0) {
  if (written <= kTextBytesPerRecordByte * recordBytes + allowance) return std::string();
  return std::string(what) + " of " + std::to_string(written) + " bytes for a record of " +
         std::to_string(recordBytes) + " bytes (allowance " + std::to_string(allowance) + ")";
}

inline std::string failure(const char* what) {
  return std::string(what) + " (flags: " + bctool::errorFlagsText() + ")";
}

// A block record: a failed load sets BCode's flag; whatever loads is laid
// out, saved, loaded again and saves to the same bytes and the same listing;
// its listing and dump keep to the bounds above, the tool's layout view
// can be made of it and its fields form a tree. Empty when all of that
// holds, else what did not.
inline std::string checkBlockRecord(const std::string& bytes) {
  bcInitBCode();
  const std::unique_ptr<BCode> block = loadBlock(bytes);
  if (!block) {
    return BCode::getError() == BCode::BCODE_OK ? failure("a failed load left BCode::error 0")
                                                : std::string();
  }
  // A layout that fails (a cyclic type) is reported as flag 1 on the block.
  block->calcOffsets();
  bcInitBCode();
  const std::string first = saveBlock(*block);
  if (first.empty()) return failure("a loaded block did not save");
  const std::unique_ptr<BCode> again = loadBlock(first);
  if (!again) return failure("a saved block did not load again");
  again->calcOffsets();
  bcInitBCode();
  if (saveBlock(*again) != first) return failure("a reloaded block saved other bytes");
  // A flag a listing leaves set (an unresolved type) changes what later
  // calls do, so each listing starts clear.
  const std::string listing = listBlock(*block);
  bcInitBCode();
  if (listBlock(*again) != listing) return failure("a reloaded block listed otherwise");
  bcInitBCode();
  const std::size_t dumped = dumpBlock(*again);
  bctool::blockLayouts(*again);
  bcInitBCode();
  if (!fieldsWellFormed(*again)) return failure("the fields of a block were not a tree");
  bcInitBCode();
  const std::string longListing = checkTextBound("a listing", listing.size(), first.size());
  if (!longListing.empty()) return longListing;
  return checkTextBound("a dump", dumped, first.size(), listing.size());
}

// A type table record read with array bounds of `boundaryByteLen` bytes:
// every descriptor answers its length, alignment, equality, dump and listing,
// the dumps and the listings together within the bound above; whatever loads
// saves, and the saved table (4-byte bounds) loads again and
// saves to the same bytes.
inline std::string checkTypeTableRecord(const std::string& bytes, unsigned int boundaryByteLen) {
  bcInitBCode();
  BCSSBList interfaces;
  KRTypeEnv env(nullptr, &interfaces, boundaryByteLen);
  bctool::MemoryBuf in(bytes.data(), bytes.size());
  std::istream is(&in);
  const std::unique_ptr<KRTypeTab> table(KRTypeTab::iload(is, &env));
  if (!table) {
    return KRRefTable<KRTypedesc*>::error == KRREFTABLE_OK
               ? failure("a failed type table load left its flag 0")
               : std::string();
  }
  DiscardBuf dumps, listing;
  std::ostream dumpSink(&dumps), listingSink(&listing);
  char line[kKRLineSize] = {};
  {
    const KRTypePrintScope onePrint(*table);
    for (KRTypeTabIterator it(*table); !it.end(); ++it) {
      const KRTypedesc* desc = it.current();
      desc->storageLength();
      desc->alignment();
      static_cast<void>(*desc == *desc);
      desc->printOn(dumpSink, 0);
      desc->printOn(listingSink, 2, nullptr, line, bcDefaultTypeNames());
    }
  }
  bcInitBCode();
  for (const auto& text :
       {std::make_pair("a dump", dumps.taken()), std::make_pair("a listing", listing.taken())}) {
    const std::string tooLong = checkTextBound(text.first, text.second, in.offset());
    if (!tooLong.empty()) return tooLong;
  }
  const std::string first = saveTable(*table);
  if (KRRefTable<KRTypedesc*>::error != KRREFTABLE_OK)
    return failure("a loaded table did not save");

  KRTypeEnv again(nullptr, &interfaces, 4);
  bctool::MemoryBuf savedBuf(first.data(), first.size());
  std::istream saved(&savedBuf);
  const std::unique_ptr<KRTypeTab> reloaded(KRTypeTab::iload(saved, &again));
  if (!reloaded) return failure("a saved type table did not load again");
  if (saveTable(*reloaded) != first) return failure("a reloaded type table saved other bytes");
  bcInitBCode();
  return std::string();
}

}  // namespace bcfuzz

#endif  // BCODE_FUZZ_RECORDCHECK_H
