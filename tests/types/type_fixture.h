// A type table with the 23 predefined elementary types at indices 1 .. 23
// and small builders for the composite types the tests need.
#ifndef BCODE_TESTS_TYPES_TYPE_FIXTURE_H
#define BCODE_TESTS_TYPES_TYPE_FIXTURE_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "bcode/foundation/krerror.h"
#include "bcode/types/krdatatype.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"

// Clears the flags the type tests touch (the library-wide reset lives with
// the code folder, which these tests do not link).
inline void resetTypeFlags() {
  KRTypedesc::resetError();
  KRArrayRange::resetError();
  KRStructComp::resetError();
  KRRefTable<KRTypedesc*>::error = KRREFTABLE_OK;
  KRString::error = KRString::KRSTRING_OK;
}

class TypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetTypeFlags();
    for (unsigned char code : kKRElemTypeCodes) tab.add(new KRElemDesc(code));
  }
  void TearDown() override { resetTypeFlags(); }

  // The index of the predefined type of an elementary code.
  std::uint16_t elem(unsigned code) const {
    return static_cast<std::uint16_t>(krElemTypeSlot(code) + 1);
  }
  KRTypeRef ref(std::uint16_t index) { return KRTypeRef(index, &tab); }
  KRTypedesc& at(std::uint16_t index) { return *ref(index).ptr(); }

  std::uint16_t add(KRTypedesc* desc) { return tab.add(desc).getIndex(); }
  std::uint16_t string(unsigned char maxLen) { return add(new KRStringDesc(maxLen)); }
  std::uint16_t array(std::uint16_t elemIndex,
                      std::initializer_list<std::pair<std::int32_t, std::int32_t>> dims) {
    auto desc = std::make_unique<KRArrayDesc>(ref(elemIndex));
    for (const auto& dim : dims) desc->addDim(dim.first, dim.second);
    return add(desc.release());
  }
  // Components named "c1", "c2", ... of the given types.
  std::uint16_t structure(std::initializer_list<std::uint16_t> types) {
    auto desc = std::make_unique<KRStructDesc>();
    int n = 0;
    for (std::uint16_t type : types) {
      desc->addComp(KRString(("c" + std::to_string(++n)).c_str()), ref(type));
    }
    return add(desc.release());
  }
  KRStructDesc& structAt(std::uint16_t index) { return static_cast<KRStructDesc&>(at(index)); }
  KRArrayDesc& arrayAt(std::uint16_t index) { return static_cast<KRArrayDesc&>(at(index)); }

  KRTypeTab tab;
};

#endif  // BCODE_TESTS_TYPES_TYPE_FIXTURE_H
