// The type table: predefined indices, cached references, lookups by code,
// references and iteration.
#include <gtest/gtest.h>

#include <vector>

#include "tests/types/type_fixture.h"

namespace {

TEST_F(TypeTest, PredefinedTypesHaveFixedIndices) {
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

TEST_F(TypeTest, LastElementaryDescriptorAddedForACodeIsCached) {
  const std::uint16_t second = add(new KRElemDesc(1));
  EXPECT_EQ(tab.getTypeRef(1).getIndex(), second);
  EXPECT_EQ(tab.getTypeRef(2).getIndex(), 2);
  // 19 is neither cached nor elementary: a string is not found by code.
  string(3);
  EXPECT_EQ(tab.getTypeRef(19).getIndex(), 0);
}

TEST_F(TypeTest, UncachedCodesFindTheFirstElementaryDescriptor) {
  array(elem(5), {{1, 2}});
  EXPECT_EQ(tab.getTypeRef(16).getIndex(), 0);
  EXPECT_EQ(tab.getTypeRef(16).getTable(), nullptr);
  EXPECT_EQ(tab.getTypeRef(0).getIndex(), 0);
  tab.add(nullptr);
  const std::uint16_t first = add(new KRElemDesc(0));
  add(new KRElemDesc(0));
  EXPECT_EQ(tab.getTypeRef(0).getIndex(), first);
  const std::uint16_t code40 = add(new KRElemDesc(40));
  EXPECT_EQ(tab.getTypeRef(40).getIndex(), code40);
}

TEST_F(TypeTest, ReferencesResolveOnlyInsideTheirTable) {
  KRRefTable<KRTypedesc*> plain;
  const KRTypeRef fromHandle(KRReference<KRTypedesc*>(5, &tab));
  EXPECT_EQ(fromHandle.ptr(), ref(5).ptr());
  EXPECT_EQ(KRTypeRef(KRReference<KRTypedesc*>(1, &plain)).getTable(), nullptr);
  for (const KRTypeRef& none : {KRTypeRef(), ref(0), ref(24), ref(60000), KRTypeRef(5, nullptr)}) {
    EXPECT_EQ(none.ptr(), nullptr) << none.getIndex();
  }
}

TEST_F(TypeTest, NullEntriesConsumeIndicesAndIterationSkipsThem) {
  const KRTypeRef empty = tab.add(nullptr);
  EXPECT_EQ(empty.getIndex(), 24);
  EXPECT_EQ(empty.ptr(), nullptr);
  const std::uint16_t next = string(2);
  EXPECT_EQ(next, 25);
  std::vector<std::uint16_t> visited;
  for (KRTypeTabIterator it(tab); !it.end(); ++it) visited.push_back(it.index());
  ASSERT_EQ(visited.size(), 24U);
  EXPECT_EQ(visited[22], 23);
  EXPECT_EQ(visited[23], 25);
}

TEST_F(TypeTest, ClearForgetsCachedReferences) {
  tab.clear();
  EXPECT_EQ(tab.getCount(), 1);
  EXPECT_EQ(tab.getTypeRef(5).getIndex(), 0);
  const std::uint16_t bool1 = add(new KRElemDesc(1));
  EXPECT_EQ(bool1, 1);
  EXPECT_EQ(tab.getTypeRef(1).getIndex(), 1);
}

// A table whose count can be set, so that a full table costs nothing.
class FullTypeTab : public KRTypeTab {
 public:
  void setCount(std::uint16_t value) { count = value; }
};

TEST(TypeTab, AddOnAFullTableThrowsAndTakesTheDescriptor) {
  FullTypeTab tab;
  tab.setCount(65535);
  try {
    tab.add(new KRElemDesc(5));  // freed by the table: the leak check sees no leak
    FAIL() << "no exception";
  } catch (const KRErrorNoHeap& e) {
    EXPECT_STREQ(e.getHeader(), "kryref");
    EXPECT_EQ(e.getLine(), 477);
  }
  EXPECT_EQ(tab.getTypeRef(5).getIndex(), 0);
  tab.setCount(65534);
  EXPECT_EQ(tab.add(nullptr).getIndex(), 65534);
  tab.setCount(1);
}

}  // namespace
