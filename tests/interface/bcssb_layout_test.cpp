#include <gtest/gtest.h>

#include <vector>

#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "tests/interface/type_fixture.h"

namespace {

using bctest::ElemTypes;
using Entries = KRSequence<BCSSBEntry*>;

class SSBTest : public ::testing::Test {
 protected:
  void SetUp() override { bctest::resetFlags(); }

  static BCSSBEntry::PARAM_KIND kind(int k) { return static_cast<BCSSBEntry::PARAM_KIND>(k); }
  BCFBEntry* fb(int k, KRTypeRef type, std::uint16_t view = 0) {
    auto* entry = new BCFBEntry("e", type, kind(k));
    entry->setViewVarNo(view);
    return entry;
  }

  std::vector<std::uint32_t> offsets(const BCSSB& ssb) {
    std::vector<std::uint32_t> result;
    for (std::uint16_t n = 1; n <= ssb.getEntryCount(); ++n)
      result.push_back(ssb.lookup(n)->getOffset());
    return result;
  }

  ElemTypes types;
  BCSSBList list;
};

struct MeasureCase {
  const char* what;
  int kind;
  int type;  // elementary index, or -1 for ARRAY[1..10] OF INT, 0 for none
  std::uint32_t length;
  std::uint32_t alignment;
  bool fails;
};

TEST_F(SSBTest, FBEntryMeasuresFollowKindAndType) {
  const MeasureCase cases[] = {
      {"in-out array by reference", 2, -1, 48, 16, false},
      {"input array by value", 0, -1, 160, 16, false},
      {"in-out BOOL keeps BOOL rules", 2, bctest::kBool, 1, 1, false},
      {"in-out DT by reference", 2, bctest::kDT, 48, 16, false},
      {"input DT by value", 0, bctest::kDT, 64, 16, false},
      {"static BYTE", 3, bctest::kByte, 8, 8, false},
      {"no type", 0, 0, 1, 1, true},
  };
  const KRTypeRef array = types.array(bctest::kInt, 1, 10);
  for (const MeasureCase& c : cases) {
    SCOPED_TRACE(c.what);
    const KRTypeRef type = c.type < 0 ? array : types.ref(static_cast<std::uint16_t>(c.type));
    BCFBEntry entry("p", type, kind(c.kind));
    EXPECT_EQ(entry.storageLength(), c.length);
    EXPECT_EQ(BCSSBEntry::getError(), c.fails ? 1 : 0);
    BCSSBEntry::resetError();
    EXPECT_EQ(entry.alignment(), c.alignment);
    EXPECT_EQ(BCSSBEntry::getError(), c.fails ? 1 : 0);
    BCSSBEntry::resetError();
    EXPECT_EQ(entry.getDataType(), c.type == 0 ? 0 : type.ptr()->getDataType());
  }
}

TEST_F(SSBTest, FCEntryIsAlwaysAWordPairWithoutOffset) {
  for (std::uint16_t index : {0, 1, 13}) {
    BCFCEntry entry("p", types.ref(index), kind(2));
    EXPECT_EQ(entry.storageLength(), 32u);
    EXPECT_EQ(entry.alignment(), 1u);
    entry.setOffset(40);
    EXPECT_EQ(entry.getOffset(), 0u);
    EXPECT_EQ(entry.isA(), BCSSBEntry::BC_FC_ENTRY);
  }
  EXPECT_EQ(BCSSBEntry::getError(), 0);
}

struct LayoutCase {
  const char* what;
  std::vector<std::pair<int, std::uint16_t>> entries;  // (kind, type index)
  std::vector<std::uint16_t> views;                    // view number per entry (may be short)
  std::vector<std::uint32_t> offsets;
  std::uint32_t length;
};

TEST_F(SSBTest, FBLayoutGroupsKindsOnWords) {
  const std::uint16_t array = types.array(bctest::kByte, 1, 4).getIndex();
  const LayoutCase cases[] = {
      {"one group per kind",
       {{0, bctest::kBool}, {0, bctest::kBool}, {1, bctest::kInt}, {2, array}, {3, bctest::kByte}},
       {},
       {0, 1, 16, 32, 80},
       88},
      {"one kind, own alignments",
       {{0, bctest::kInt}, {0, bctest::kBool}, {0, bctest::kByte}},
       {},
       {0, 16, 24},
       32},
      {"first group of kind 1 starts on a word",
       {{1, bctest::kBool}, {1, bctest::kBool}},
       {},
       {0, 1},
       2},
      {"view shares storage",
       {{0, bctest::kInt}, {0, bctest::kInt}, {0, bctest::kInt}},
       {0, 1, 0},
       {0, 0, 16},
       32},
      {"trailing view ends at the last ordinary entry",
       {{0, bctest::kInt}, {0, bctest::kDInt}, {0, bctest::kBool}},
       {0, 0, 1},
       {0, 16, 0},
       48},
      {"view of a view",
       {{0, bctest::kInt}, {0, bctest::kInt}, {0, bctest::kInt}},
       {0, 0, 2},
       {0, 16, 16},
       32},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    list.flush();
    BCSSB* ssb = list.newSSB(7, KR_FB_KENN);
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      const std::uint16_t view = i < c.views.size() ? c.views[i] : 0;
      ssb->add(fb(c.entries[i].first, types.ref(c.entries[i].second), view));
    }
    EXPECT_EQ(ssb->getLastOffset(), c.offsets.back());
    EXPECT_EQ(offsets(*ssb), c.offsets);
    EXPECT_EQ(ssb->storageLength(), c.length);
    EXPECT_EQ(Entries::error, KRSEQUENCE_OK);
  }
}

TEST_F(SSBTest, OffsetOfAViewIsTheViewedOffset) {
  BCSSB* ssb = list.newSSB(7, KR_FB_KENN);
  ssb->add(fb(0, types.ref(bctest::kInt)));
  ssb->add(fb(0, types.ref(bctest::kInt), 1));
  ssb->add(fb(0, types.ref(bctest::kInt)));
  EXPECT_EQ(ssb->getOffset(2), 0u);
  EXPECT_EQ(ssb->getOffset(3), 16u);
  EXPECT_EQ(ssb->getOffset(0), 0u);
  EXPECT_EQ(Entries::error, KRSEQUENCE_OK);
}

TEST_F(SSBTest, FCLayoutCountsThirtyTwoBitsPerEntry) {
  BCSSB* ssb = list.newSSB(4, KR_FC_KENN);
  for (std::uint16_t index : {bctest::kBool, bctest::kDT, bctest::kByte}) {
    ssb->add(new BCFCEntry("p", types.ref(index), kind(0)));
  }
  EXPECT_EQ(ssb->getOffset(3), 64u);
  EXPECT_EQ(ssb->storageLength(), 96u);
}

TEST_F(SSBTest, LayoutFailuresGiveZeroAndTheSequenceFlag) {
  for (const bctest::LayoutFailure& c : bctest::kLayoutFailures) {
    SCOPED_TRACE(c.what);
    list.flush();
    BCSSB* ssb = list.newSSB(7, KR_FB_KENN);
    ssb->add(fb(0, types.ref(bctest::kInt)));
    ssb->add(fb(0, types.ref(c.secondType), c.secondView));
    ssb->add(fb(0, types.ref(bctest::kInt)));
    EXPECT_EQ(ssb->getOffset(c.asked), 0u);
    EXPECT_EQ(Entries::error, c.flag);
    Entries::error = KRSEQUENCE_OK;
    EXPECT_EQ(ssb->storageLength(), c.asked == 5 ? 48u : 0u);
    EXPECT_EQ(Entries::error, c.asked == 5 ? KRSEQUENCE_OK : c.flag);
    EXPECT_EQ(BCSSBEntry::getError(), 0);  // handed over to the sequence flag
    Entries::error = KRSEQUENCE_OK;
  }
}

TEST_F(SSBTest, EmptyDescriptionHasNoStorage) {
  BCSSB* ssb = list.newSSB(7, KR_FB_KENN);
  EXPECT_EQ(ssb->storageLength(), 0u);
  EXPECT_EQ(ssb->getLastOffset(), 0u);
  EXPECT_EQ(Entries::error, KRSEQUENCE_OK);
}

TEST_F(SSBTest, InstanceIsTheDescriptionRoundedToWords) {
  BCSSB* ssb = list.newSSB(9, KR_FB_KENN);
  ssb->add(fb(0, types.ref(bctest::kInt)));
  ssb->add(fb(1, types.ref(bctest::kBool)));
  KRInstanceDesc instance(9, KR_FB_KENN, &list);
  EXPECT_EQ(ssb->storageLength(), 17u);
  EXPECT_EQ(instance.storageLength(), 32u);
  EXPECT_EQ(instance.getNoOfComp(), 2);
  EXPECT_EQ(instance.getStructuredComp(2), ssb->lookup(2));
  EXPECT_EQ(instance.getCompOffset(2), 16u);
}

TEST_F(SSBTest, InstanceContainingItselfFailsWithoutHanging) {
  const KRTypeRef self = types.table.add(new KRInstanceDesc(9, KR_FB_KENN, &list));
  BCSSB* ssb = list.newSSB(9, KR_FB_KENN);
  ssb->add(fb(0, types.ref(bctest::kInt)));
  ssb->add(fb(0, self));
  ssb->add(fb(0, types.ref(bctest::kInt)));
  ssb->storageLength();
  EXPECT_EQ(Entries::error, KRSEQUENCE_LAYOUT_FAILED);
  KRTypedesc::resetError();
}

TEST_F(SSBTest, NewestDescriptionOfABlockIsFoundFirst) {
  BCSSB* first = list.newSSB(3, KR_FB_KENN);
  BCSSB* other = list.newSSB(3, KR_FC_KENN);
  EXPECT_EQ(list.lookup(3, KR_FB_KENN), first);
  BCSSB* second = list.newSSB(3, KR_FB_KENN);
  EXPECT_NE(first, second);
  EXPECT_EQ(list.lookup(3, KR_FB_KENN), second);
  EXPECT_EQ(list.lookup(3, KR_FC_KENN), other);
  EXPECT_EQ(list.lookup(4, KR_FB_KENN), nullptr);
  EXPECT_EQ(list.getCount(), 3u);
  // Removing the newest through the sequence uncovers the older one.
  delete list.removeFirst();
  EXPECT_EQ(list.lookup(3, KR_FB_KENN), first);
  list.flush();
  EXPECT_EQ(list.lookup(3, KR_FB_KENN), nullptr);
}

TEST_F(SSBTest, ReferencesResolveThroughListDescriptionAndEntry) {
  BCSSB* ssb = list.newSSB(5, KR_FB_KENN);
  BCFBEntry* a = fb(0, types.ref(bctest::kInt));
  const BCSSBRef first = ssb->add(a);
  const BCSSBRef second = ssb->add(fb(1, types.ref(bctest::kInt)));
  EXPECT_EQ(first.getParNo(), 1);
  EXPECT_EQ(second.getParNo(), 2);
  EXPECT_EQ(second.getBlockNo(), 5);
  EXPECT_EQ(second.getBlockKind(), KR_FB_KENN);
  EXPECT_EQ(second.getList(), &list);
  EXPECT_EQ(first.ptr(), a);
  EXPECT_EQ(second.ptr(), ssb->lookup(2));

  EXPECT_EQ(BCSSBRef(5, KR_FB_KENN, 3, &list).ptr(), nullptr);
  EXPECT_EQ(BCSSBRef(5, KR_FB_KENN, 0, &list).ptr(), nullptr);
  EXPECT_EQ(BCSSBRef(6, KR_FB_KENN, 1, &list).ptr(), nullptr);
  EXPECT_EQ(BCSSBRef(5, KR_FC_KENN, 1, &list).ptr(), nullptr);
  EXPECT_EQ(BCSSBRef(5, KR_FB_KENN, 1, nullptr).ptr(), nullptr);
  EXPECT_EQ(BCSSBRef().ptr(), nullptr);

  EXPECT_TRUE(BCSSBRef(5, KR_FB_KENN, 1, nullptr) == first);
  EXPECT_FALSE(BCSSBRef(5, KR_FB_KENN, 2, &list) == first);
  EXPECT_FALSE(BCSSBRef(5, KR_SFB_KENN, 1, &list) == first);
  EXPECT_EQ(ssb->lookup(0), nullptr);
  EXPECT_EQ(ssb->lookup(3), nullptr);
}

TEST_F(SSBTest, NthEntryOfParamKindCountsOnlyThatKind) {
  BCSSB* ssb = list.newSSB(5, KR_FB_KENN);
  std::vector<BCSSBEntry*> added;
  for (int k : {0, 3, 1, 3, 3}) {
    added.push_back(fb(k, types.ref(bctest::kInt)));
    ssb->add(added.back());
  }
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 0), added[1]);
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 1), added[1]);
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 2), added[3]);
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 3), added[4]);
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 4), nullptr);
  EXPECT_EQ(ssb->getNthEntryOfParamKind(2, 1), nullptr);
}

TEST_F(SSBTest, IteratorsWalkListAndEntryOrder) {
  BCSSB* older = list.newSSB(1, KR_FB_KENN);
  BCSSB* newer = list.newSSB(2, KR_FB_KENN);
  BCSSBListIterator it(list);
  EXPECT_EQ(it++, newer);
  EXPECT_EQ(it++, older);
  EXPECT_TRUE(it.end());
  EXPECT_EQ(it++, nullptr);
  it.restart();
  EXPECT_EQ(it.current(), newer);

  BCSSBEntry* a = fb(0, types.ref(bctest::kInt));
  BCSSBEntry* b = fb(0, types.ref(bctest::kInt));
  older->add(a);
  older->add(b);
  BCSSBIterator backward(*older, 0);
  EXPECT_EQ(backward.current(), b);
  --backward;
  EXPECT_EQ(backward.current(), a);
  EXPECT_EQ(BCSSBIterator(*older, 1).current(), a);
}

TEST_F(SSBTest, AddingNullIsRefused) {
  BCSSB* ssb = list.newSSB(1, KR_FB_KENN);
  EXPECT_EQ(ssb->add(nullptr).getParNo(), 0);
  EXPECT_EQ(ssb->getEntryCount(), 0u);
}

TEST_F(SSBTest, LongDescriptionWithViewsLaysOutEveryEntry) {
  BCSSB* ssb = list.newSSB(1, KR_FB_KENN);
  constexpr std::uint16_t kCount = 10000;
  for (std::uint16_t n = 1; n <= kCount; ++n) {
    ssb->add(fb(0, types.ref(bctest::kInt), n % 2 == 0 ? static_cast<std::uint16_t>(n - 1) : 0));
  }
  EXPECT_EQ(ssb->getLastOffset(), 16u * (kCount / 2 - 1));
  EXPECT_EQ(ssb->storageLength(), 16u * (kCount / 2));
  EXPECT_EQ(BCSSBRef(1, KR_FB_KENN, kCount, &list).ptr()->getOffset(), 16u * (kCount / 2 - 1));
}

}  // namespace
