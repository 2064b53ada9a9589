// A small element class for exercising the container templates: it has an
// error flag and a one-byte record like the library's own element classes.
#ifndef BCODE_TESTS_FOUNDATION_TEST_ITEM_H
#define BCODE_TESTS_FOUNDATION_TEST_ITEM_H

#include <cstdint>
#include <istream>
#include <ostream>

#include "bcode/foundation/krfieldio.h"

struct Item {
  enum ERRORS : int { OK = 0, FAILED = 1 };
  static ERRORS& flag() {
    static thread_local ERRORS value = OK;
    return value;
  }
  static ERRORS getError() { return flag(); }

  explicit Item(std::uint8_t v) : value(v) { ++alive(); }
  ~Item() { --alive(); }
  Item(const Item&) = delete;
  Item& operator=(const Item&) = delete;

  // Live objects, to see that owners delete what they hold.
  static int& alive() {
    static thread_local int count = 0;
    return count;
  }

  void save(std::ostream& os) const {
    if (!KRFieldWriter(os).u8(value).ok()) flag() = FAILED;
  }
  // Value 0xEE stands for a record its loader refuses.
  static bool load(std::istream& is, Item*& out) {
    std::uint8_t v = 0;
    if (!KRFieldReader(is).u8(v).ok() || v == 0xEE) {
      flag() = FAILED;
      return false;
    }
    out = new Item(v);
    return true;
  }

  std::uint8_t value;
};

#endif  // BCODE_TESTS_FOUNDATION_TEST_ITEM_H
