// What the interface and local data tests share: a type table holding the 23
// elementary types at indices 1 .. 23 as a new block has them, the layout
// failures both numbered lists have in common, listing line builders and the
// damaged-record check.
#ifndef BCODE_TESTS_INTERFACE_LIST_FIXTURE_H
#define BCODE_TESTS_INTERFACE_LIST_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <istream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"
#include "tests/support/test_util.h"

namespace bctest {

enum ElemIndex : std::uint16_t { kBool = 1, kByte = 2, kInt = 5, kDInt = 7, kDT = 13 };

// Clears the flags these tests touch (the whole-library reset lives in a
// folder these tests do not link).
inline void resetFlags() {
  BCSSBList::resetError();
  BCSSBEntry::resetError();
  BCLDEntry::resetError();
  KRSequence<BCSSB*>::error = KRSEQUENCE_OK;
  KRSequence<BCSSBEntry*>::error = KRSEQUENCE_OK;
  KRSequence<BCLDEntry*>::error = KRSEQUENCE_OK;
  KRTypedesc::resetError();
  KRString::error = KRString::KRSTRING_OK;
}

// Three INT entries whose second is changed as given, and the entry asked.
struct LayoutFailure {
  const char* what;
  std::uint16_t secondType;
  std::uint16_t secondView;
  std::uint16_t asked;
  KRSequenceErrors flag;
};
inline const LayoutFailure kLayoutFailures[] = {
    {"more entries asked than there are", kInt, 0, 5, KRSEQUENCE_NO_ELEMENT},
    {"view of itself", kInt, 2, 3, KRSEQUENCE_LAYOUT_FAILED},
    {"view of a later entry", kInt, 3, 3, KRSEQUENCE_LAYOUT_FAILED},
    {"view of a missing entry", kInt, 40, 3, KRSEQUENCE_LAYOUT_FAILED},
    {"entry without a type", 0, 0, 3, KRSEQUENCE_LAYOUT_FAILED},
    {"type index beyond the table", 900, 0, 3, KRSEQUENCE_LAYOUT_FAILED},
};

struct ElemTypes {
  KRTypeTab table;

  ElemTypes() {
    for (unsigned char code : kKRElemTypeCodes) table.add(new KRElemDesc(code));
  }
  KRTypeRef ref(std::uint16_t index) { return KRTypeRef(index, &table); }
  // ARRAY[lo..hi] OF the type at `elem`.
  KRTypeRef array(std::uint16_t elem, std::int32_t lo, std::int32_t hi) {
    auto* desc = new KRArrayDesc(ref(elem));
    desc->addDim(lo, hi);
    return table.add(desc);
  }
  // The type's own dump, which entry dumps end with.
  static std::string dumpOf(const KRTypeRef& type) {
    std::ostringstream os;
    type.ptr()->printOn(os, 0);
    return os.str();
  }
};

// A listing line: texts at their columns, blanks between, a line end.
inline std::string columns(const std::vector<std::pair<std::size_t, std::string>>& texts) {
  std::string line;
  for (const auto& [column, text] : texts) {
    line.resize(std::max(line.size(), column + text.size()), ' ');
    line.replace(column, text.size(), text);
  }
  return line + "\n";
}

inline bool cleared(const char* line) {
  return std::all_of(line, line + 160, [](char c) { return c == 0; });
}

// Every prefix of a record fails to load (read from a pipe); every single
// changed byte fails or loads exactly what was read. `reload(is)` answers the
// record of what it loaded, or nothing when the load failed.
template <class Reload>
void checkDamagedRecords(const std::string& bytes, Reload reload) {
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    PipeBuf pipe(bytes.substr(0, size));
    std::istream is(&pipe);
    EXPECT_FALSE(reload(is).has_value()) << "prefix " << size;
    resetFlags();
  }
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (unsigned char flip : {0x01, 0x80, 0xFF}) {
      std::string bad = bytes;
      bad[at] = static_cast<char>(bad[at] ^ flip);
      std::istringstream is(bad);
      const std::optional<std::string> again = reload(is);
      if (again) {
        EXPECT_EQ(bad.compare(0, again->size(), *again), 0) << "byte " << at;
      }
      resetFlags();
    }
  }
}

// A save into a stream that takes only its first `limit` bytes, for every
// limit short of the whole record; `check()` looks at the flags afterwards.
template <class Save, class Check>
void checkShortWrites(std::size_t size, Save save, Check check) {
  for (std::size_t limit = 0; limit < size; ++limit) {
    LimitedBuf buf(limit);
    std::ostream os(&buf);
    save(os);
    check();
    resetFlags();
  }
}

}  // namespace bctest

#endif  // BCODE_TESTS_INTERFACE_LIST_FIXTURE_H
