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

#include "bcode/code/bcnametables.h"
#include "bcode/code/bcode.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/interface/bcssb.h"
#include "bcode/types/krtypetab.h"
#include "tools/support/blocklisting.h"
#include "tools/support/errorreport.h"
#include "tools/support/nametablefile.h"

namespace bcfuzz {

// Takes every byte and keeps none: listings and dumps of large records cost
// no memory.
class DiscardBuf : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
};

// Reads bytes in place without copying them.
class BytesBuf : public std::streambuf {
 public:
  explicit BytesBuf(const std::string& bytes) {
    char* begin = const_cast<char*>(bytes.data());  // only ever read
    setg(begin, begin, begin + bytes.size());
  }
};

inline std::unique_ptr<BCode> loadBlock(const std::string& bytes) {
  BytesBuf buf(bytes);
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

inline void dumpBlock(const BCode& block) {
  DiscardBuf discard;
  std::ostream os(&discard);
  bctool::printDump(os, block);
}

inline std::string failure(const char* what) {
  return std::string(what) + " (flags: " + bctool::errorFlagsText() + ")";
}

// A block record: a failed load sets BCode's flag; whatever loads is laid
// out, saved, loaded again and saves to the same bytes and the same listing.
// Empty when all of that holds, else what did not.
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
  dumpBlock(*again);
  bcInitBCode();
  return std::string();
}

// A type table record read with array bounds of `boundaryByteLen` bytes:
// every descriptor answers its length, alignment, equality, dump and listing;
// whatever loads saves, and the saved table (4-byte bounds) loads again and
// saves to the same bytes.
inline std::string checkTypeTableRecord(const std::string& bytes, unsigned int boundaryByteLen) {
  bcInitBCode();
  BCSSBList interfaces;
  KRTypeEnv env(nullptr, &interfaces, boundaryByteLen);
  BytesBuf in(bytes);
  std::istream is(&in);
  const std::unique_ptr<KRTypeTab> table(KRTypeTab::iload(is, &env));
  if (!table) {
    return KRRefTable<KRTypedesc*>::error == KRREFTABLE_OK
               ? failure("a failed type table load left its flag 0")
               : std::string();
  }
  DiscardBuf discard;
  std::ostream sink(&discard);
  char line[kKRLineSize] = {};
  const KRTypePrintScope onePrint(*table);
  for (KRTypeTabIterator it(*table); !it.end(); ++it) {
    const KRTypedesc* desc = it.current();
    desc->storageLength();
    desc->alignment();
    static_cast<void>(*desc == *desc);
    desc->printOn(sink, 0);
    desc->printOn(sink, 2, nullptr, line, bcDefaultTypeNames());
  }
  bcInitBCode();
  const std::string first = saveTable(*table);
  if (KRRefTable<KRTypedesc*>::error != KRREFTABLE_OK)
    return failure("a loaded table did not save");

  KRTypeEnv again(nullptr, &interfaces, 4);
  BytesBuf savedBuf(first);
  std::istream saved(&savedBuf);
  const std::unique_ptr<KRTypeTab> reloaded(KRTypeTab::iload(saved, &again));
  if (!reloaded) return failure("a saved type table did not load again");
  if (saveTable(*reloaded) != first) return failure("a reloaded type table saved other bytes");
  bcInitBCode();
  return std::string();
}

}  // namespace bcfuzz

#endif  // BCODE_FUZZ_RECORDCHECK_H
