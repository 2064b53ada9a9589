// The record contract that every element of a block keeps, checked in one
// place: what is saved loads back and saves again to the same bytes; every
// proper prefix of the record fails to load and every stream that takes fewer
// bytes fails the save, each raising the element's flag; a changed byte loads
// or fails cleanly. The sanitizer build sees that nothing leaks.
#ifndef BCODE_TESTS_SUPPORT_RECORD_CHECK_H
#define BCODE_TESTS_SUPPORT_RECORD_CHECK_H

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

#include "bcode/foundation/krerror.h"
#include "tests/support/test_util.h"

namespace bctest {

// The flag that a failed load or save of an element raises.
struct RecordFlag {
  std::function<int()> value;  // the flag as it stands
  int onLoad;                  // its value after a failed load
  int onSave;                  // and after a failed save
  // Clears what bcInitBCode does not (the flags of test-only classes).
  std::function<void()> clear = nullptr;
  // The flag's row in the error flag table where a failure must leave every
  // other flag of the library clear.
  int aloneAt = -1;

  bool raised(int expected) const;
  void clearAll() const {
    bcInitBCode();
    if (clear) clear();
  }
};

// A flag of the library's error flag table, named by its owner's words
// ("constant table", ...); `alone`: the only flag a failure sets.
RecordFlag libraryFlag(const char* owner, int onLoad, int onSave, bool alone = false);

// What a loader answered, owned.
template <class P>
auto owned(P p) {
  if constexpr (std::is_pointer_v<P>)
    return std::unique_ptr<std::remove_pointer_t<P>>(p);
  else
    return p;
}

template <class Element>
std::string recordOf(const Element& element) {
  std::ostringstream os;
  element.save(os);
  return os.str();
}
template <class Element>
std::string hexOf(const Element& element) {
  return toHex(recordOf(element));
}

// Checks the contract for `element`, whose record must be `hex` when one is
// given. `load(is)` reads one element back: a raw or owning pointer, null on
// failure. Every load reads from a stream that cannot seek. Answers what the
// whole record loaded to.
template <class Element, class Load>
auto checkRecord(const Element& element, Load load, const RecordFlag& flag,
                 const std::string& hex = "") {
  flag.clearAll();
  const std::string bytes = recordOf(element);
  EXPECT_EQ(flag.value(), 0) << "the save failed";
  if (!hex.empty()) {
    EXPECT_EQ(toHex(bytes), toHex(fromHex(hex)));
  }
  PipeBuf pipe(bytes);
  std::istream whole(&pipe);
  auto back = owned(load(whole));
  EXPECT_NE(back, nullptr) << toHex(bytes);
  if (back != nullptr) {
    EXPECT_EQ(toHex(recordOf(*back)), toHex(bytes)) << "saved again";
  }
  bool loadsOk = true, savesOk = true;
  for (std::size_t size = 0; size < bytes.size() && (loadsOk || savesOk); ++size) {
    flag.clearAll();
    PipeBuf prefix(bytes.substr(0, size));
    std::istream cut(&prefix);
    if (loadsOk && (owned(load(cut)) != nullptr || !flag.raised(flag.onLoad))) {
      ADD_FAILURE() << "the first " << size << " of " << bytes.size() << " bytes loaded or raised "
                    << flag.value() << " (or other flags too)";
      loadsOk = false;
    }
    flag.clearAll();
    LimitedBuf buf(size);
    std::ostream os(&buf);
    element.save(os);
    if (savesOk && (!flag.raised(flag.onSave) || buf.bytes() != bytes.substr(0, size))) {
      ADD_FAILURE() << "a stream taking " << size << " of " << bytes.size() << " bytes raised "
                    << flag.value() << " after " << toHex(buf.bytes());
      savesOk = false;
    }
  }
  flag.clearAll();
  return back;
}

// Every byte of `bytes` changed to each of `values` and to its neighbour:
// the load fails with the flag, or what it read saves to a record that loads
// and saves again the same; `exact`: to the very bytes it read. Answers how
// many changed records loaded.
template <class Load>
int checkCorruptRecords(const std::string& bytes, Load load, const RecordFlag& flag,
                        std::initializer_list<unsigned> values, bool exact = false) {
  int loaded = 0;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    std::string bad = bytes;
    const unsigned neighbour = static_cast<unsigned char>(bytes[at]) + 1U;
    for (std::size_t i = 0; i <= values.size(); ++i) {
      bad[at] = static_cast<char>(i < values.size() ? values.begin()[i] : neighbour);
      flag.clearAll();
      std::istringstream is(bad);
      const auto back = owned(load(is));
      if (back == nullptr) {
        EXPECT_TRUE(flag.raised(flag.onLoad)) << "byte " << at << " = " << int(bad[at]);
        continue;
      }
      ++loaded;
      flag.clearAll();
      const std::string again = recordOf(*back);
      EXPECT_TRUE(!exact || bad.compare(0, again.size(), again) == 0) << "byte " << at;
      std::istringstream reread(again);
      const auto twice = owned(load(reread));
      EXPECT_TRUE(twice != nullptr && recordOf(*twice) == again) << "byte " << at;
    }
  }
  flag.clearAll();
  return loaded;
}

}  // namespace bctest

#endif  // BCODE_TESTS_SUPPORT_RECORD_CHECK_H
