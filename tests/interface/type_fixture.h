// A type table holding the 23 elementary types at indices 1 .. 23, as a new
// block has them, plus helpers to add composite types. Shared by the
// interface and local data tests.
#ifndef BCODE_TESTS_INTERFACE_TYPE_FIXTURE_H
#define BCODE_TESTS_INTERFACE_TYPE_FIXTURE_H

#include <cstdint>
#include <sstream>
#include <string>

#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"

namespace bctest {

// Indices of the elementary types used by the tests.
enum ElemIndex : std::uint16_t {
  kBool = 1,
  kByte = 2,
  kInt = 5,
  kDInt = 7,
  kDT = 13,
};

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

// Failures every numbered layout shares, on three INT entries whose second
// is changed as given.
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

}  // namespace bctest

#endif  // BCODE_TESTS_INTERFACE_TYPE_FIXTURE_H
