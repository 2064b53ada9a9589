// The type table: predefined indices, cached references, lookups by code
// and references.
#include <gtest/gtest.h>

#include "tests/support/example_block.h"

namespace {

using TypeTab = bctest::ExampleBlock;

TEST_F(TypeTab, PredefinedTypesHaveFixedIndices) {
  struct Case {
    unsigned code;
    std::uint16_t index;
  };
  for (const Case& c : {Case{1, 1}, Case{5, 5}, Case{12, 12}, Case{14, 13}, Case{20, 14},
                        Case{22, 15}, Case{26, 19}, Case{28, 20}, Case{31, 23}}) {
    const KRTypeRef r = tab.getTypeRef(static_cast<unsigned char>(c.code));
    EXPECT_EQ(r.getIndex(), c.index) << c.code;
    EXPECT_EQ(r.getTable(), &tab);
    EXPECT_EQ(r.ptr()->getDataType(), c.code);
  }
  EXPECT_EQ(tab.getCount(), 24);
}

// The last elementary descriptor added for a code is cached; a code without
// a cached one finds the first elementary descriptor of that code.
TEST_F(TypeTab, LookupsByCode) {
  const std::uint16_t second = add(new KRElemDesc(1));
  EXPECT_EQ(tab.getTypeRef(1).getIndex(), second);
  EXPECT_EQ(tab.getTypeRef(2).getIndex(), 2);
  string(3);  // 19 is neither cached nor elementary: a string is not found by code
  EXPECT_EQ(tab.getTypeRef(19).getIndex(), 0);
  array(elem(5), {{1, 2}});
  EXPECT_EQ(tab.getTypeRef(16).getIndex(), 0);
  EXPECT_EQ(tab.getTypeRef(16).getTable(), nullptr);
  EXPECT_EQ(tab.add(nullptr).ptr(), nullptr);
  const std::uint16_t first = add(new KRElemDesc(0));
  add(new KRElemDesc(0));
  EXPECT_EQ(tab.getTypeRef(0).getIndex(), first);
  const std::uint16_t code40 = add(new KRElemDesc(40));
  EXPECT_EQ(tab.getTypeRef(40).getIndex(), code40);
}

TEST_F(TypeTab, ClearForgetsCachedReferences) {
  tab.clear();
  EXPECT_EQ(tab.getTypeRef(5).getIndex(), 0);
  EXPECT_EQ(add(new KRElemDesc(1)), 1);
  EXPECT_EQ(tab.getTypeRef(1).getIndex(), 1);
}

TEST_F(TypeTab, ReferencesResolveOnlyInsideTheirTable) {
  KRRefTable<KRTypedesc*> plain;
  const KRTypeRef fromHandle(KRReference<KRTypedesc*>(5, &tab));
  EXPECT_EQ(fromHandle.ptr(), ref(5).ptr());
  EXPECT_EQ(KRTypeRef(KRReference<KRTypedesc*>(1, &plain)).getTable(), nullptr);
  for (const KRTypeRef& none : {KRTypeRef(), ref(0), ref(24), ref(60000), KRTypeRef(5, nullptr)}) {
    EXPECT_EQ(none.ptr(), nullptr) << none.getIndex();
  }
}

}  // namespace
