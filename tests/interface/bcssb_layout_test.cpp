#include <gtest/gtest.h>

#include <vector>

#include "tests/support/example_block.h"

namespace {

using namespace bctest;
using Entries = KRSequence<BCSSBEntry*>;

BCSSBEntry::PARAM_KIND kind(int k) {
  return static_cast<BCSSBEntry::PARAM_KIND>(k);
}

class SSBTest : public ExampleBlock {
 protected:
  BCFBEntry* fb(int k, std::uint16_t type, std::uint16_t view = 0) {
    auto* entry = new BCFBEntry("e", ref(type), kind(k));
    entry->setViewVarNo(view);
    return entry;
  }

  BCSSBList& list = block.getSSBList();
};

TEST_F(SSBTest, FBEntryMeasuresFollowKindAndType) {
  struct Case {
    const char* what;
    int kind;
    int type;  // elementary index, -1 for ARRAY[1..10] OF INT, 0 for none
    std::uint32_t length, alignment;
  };
  const Case cases[] = {
      {"in-out array by reference", 2, -1, 48, 16},
      {"input array by value", 0, -1, 160, 16},
      {"in-out BOOL keeps BOOL rules", 2, kBool, 1, 1},
      {"in-out DT by reference", 2, kDT, 48, 16},
      {"input DT by value", 0, kDT, 64, 16},
      {"static BYTE", 3, kByte, 8, 8},
      {"no type", 0, 0, 1, 1},
  };
  const KRTypeRef array = ref(ExampleBlock::array(kInt, {{1, 10}}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const KRTypeRef type = c.type < 0 ? array : ref(static_cast<std::uint16_t>(c.type));
    BCFBEntry entry("p", type, kind(c.kind));
    const int flag = c.type == 0 ? 1 : 0;
    EXPECT_EQ(entry.storageLength(), c.length);
    EXPECT_EQ(BCSSBEntry::getError(), flag);
    BCSSBEntry::resetError();
    EXPECT_EQ(entry.alignment(), c.alignment);
    EXPECT_EQ(BCSSBEntry::getError(), flag);
    BCSSBEntry::resetError();
    EXPECT_EQ(entry.getDataType(), c.type == 0 ? 0 : type.ptr()->getDataType());
  }
}

TEST_F(SSBTest, FCEntriesAreThirtyTwoBitReferencesWithoutOffsets) {
  BCSSB* ssb = list.newSSB(4, KR_FC_KENN);
  EXPECT_EQ(ssb->storageLength(), 0u);
  for (std::uint16_t index : {std::uint16_t{0}, std::uint16_t{kBool}, std::uint16_t{kDT}}) {
    auto* entry = new BCFCEntry("p", ref(index), kind(2));
    EXPECT_EQ(entry->storageLength(), 32u);
    EXPECT_EQ(entry->alignment(), 1u);
    entry->setOffset(40);
    EXPECT_EQ(entry->getOffset(), 0u);
    ssb->add(entry);
  }
  EXPECT_EQ(ssb->getOffset(3), 64u);
  EXPECT_EQ(ssb->storageLength(), 96u);
  EXPECT_EQ(BCSSBEntry::getError(), 0);
}

TEST_F(SSBTest, FBLayoutStartsEachKindOnAWord) {
  struct Case {
    const char* what;
    std::vector<std::vector<std::uint16_t>> entries;  // kind, type, view
    std::vector<std::uint32_t> offsets;
    std::uint32_t length;
  };
  const std::uint16_t array = ExampleBlock::array(kByte, {{1, 4}});
  const Case cases[] = {
      {"one group per kind",
       {{0, kBool}, {0, kBool}, {1, kInt}, {2, array}, {3, kByte}},
       {0, 1, 16, 32, 80},
       88},
      {"one kind, own alignments", {{0, kInt}, {0, kBool}, {0, kByte}}, {0, 16, 24}, 32},
      {"a static BOOL after an input BOOL", {{0, kBool}, {3, kBool}}, {0, 16}, 17},
      {"view shares storage", {{0, kInt}, {0, kInt, 1}, {0, kInt}}, {0, 0, 16}, 32},
      {"view of a view", {{0, kInt}, {0, kInt}, {0, kInt, 2}}, {0, 16, 16}, 32},
      {"trailing view ends at the last ordinary entry",
       {{0, kInt}, {0, kDInt}, {0, kBool, 1}},
       {0, 16, 0},
       48},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    list.flush();
    BCSSB* ssb = list.newSSB(7, KR_FB_KENN);
    for (const auto& e : c.entries) ssb->add(fb(e[0], e[1], e.size() > 2 ? e[2] : 0));
    EXPECT_EQ(ssb->getLastOffset(), c.offsets.back());
    for (std::uint16_t n = 1; n <= c.offsets.size(); ++n) {
      EXPECT_EQ(ssb->lookup(n)->getOffset(), c.offsets[n - 1]);
      EXPECT_EQ(ssb->getOffset(n), c.offsets[n - 1]);
    }
    EXPECT_EQ(ssb->storageLength(), c.length);
    EXPECT_EQ(KRInstanceDesc(7, KR_FB_KENN, &list).storageLength(), (c.length + 15) / 16 * 16);
    EXPECT_EQ(Entries::error, KRSEQUENCE_OK);
  }
}

TEST_F(SSBTest, LayoutFailuresGiveZeroAndTheSequenceFlag) {
  for (const LayoutFailure& c : kLayoutFailures) {
    SCOPED_TRACE(c.what);
    list.flush();
    BCSSB* ssb = list.newSSB(7, KR_FB_KENN);
    ssb->add(fb(0, kInt));
    ssb->add(fb(0, c.secondType, c.secondView));
    ssb->add(fb(0, kInt));
    EXPECT_EQ(ssb->getOffset(c.asked), 0u);
    EXPECT_EQ(Entries::error, c.flag);
    EXPECT_EQ(BCSSBEntry::getError(), 0);  // handed over to the sequence flag
    Entries::error = KRSEQUENCE_OK;
    EXPECT_EQ(ssb->storageLength(), c.asked == 5 ? 48u : 0u);
    Entries::error = KRSEQUENCE_OK;
  }
}

TEST_F(SSBTest, InstanceAmongItsOwnEntriesFailsTheLayout) {
  const std::uint16_t self = tab.add(new KRInstanceDesc(9, KR_FB_KENN, &list)).getIndex();
  // The last entry is measured as well.
  for (bool last : {false, true}) {
    SCOPED_TRACE(last ? "last" : "in the middle");
    list.flush();
    BCSSB* ssb = list.newSSB(9, KR_FB_KENN);
    ssb->add(fb(0, kInt));
    ssb->add(fb(1, self));
    if (!last) ssb->add(fb(1, kInt));
    EXPECT_EQ(ssb->getLastOffset(), 0u);
    EXPECT_EQ(Entries::error, KRSEQUENCE_LAYOUT_FAILED);
    Entries::error = KRSEQUENCE_OK;
    ssb->storageLength();
    EXPECT_EQ(Entries::error, KRSEQUENCE_LAYOUT_FAILED);
    Entries::error = KRSEQUENCE_OK;
  }
}

TEST_F(SSBTest, NewestDescriptionOfABlockIsFoundFirst) {
  list.newSSB(3, KR_FB_KENN);
  BCSSB* other = list.newSSB(3, KR_FC_KENN);
  BCSSB* second = list.newSSB(3, KR_FB_KENN);
  EXPECT_EQ(list.lookup(3, KR_FB_KENN), second);  // the first lookup indexes the list
  EXPECT_EQ(list.lookup(3, KR_FC_KENN), other);
  BCSSB* third = list.newSSB(3, KR_FB_KENN);
  EXPECT_EQ(list.lookup(3, KR_FB_KENN), third);
  EXPECT_EQ(list.lookup(4, KR_FB_KENN), nullptr);
  delete list.removeFirst();  // changes through the sequence are seen too
  EXPECT_EQ(list.lookup(3, KR_FB_KENN), second);
  list.flush();
  EXPECT_EQ(list.lookup(3, KR_FB_KENN), nullptr);
}

TEST_F(SSBTest, ReferencesResolveThroughListDescriptionAndEntry) {
  BCSSB* ssb = list.newSSB(5, KR_FB_KENN);
  BCFBEntry* a = fb(0, kInt);
  const BCSSBRef first = ssb->add(a);
  const BCSSBRef second = ssb->add(fb(1, kInt));
  EXPECT_EQ(second.getParNo(), 2);
  EXPECT_EQ(first.ptr(), a);
  EXPECT_EQ(second.ptr(), ssb->lookup(2));
  for (const BCSSBRef& none : {BCSSBRef(5, KR_FB_KENN, 3, &list), BCSSBRef(5, KR_FB_KENN, 0, &list),
                               BCSSBRef(6, KR_FB_KENN, 1, &list), BCSSBRef(5, KR_FC_KENN, 1, &list),
                               BCSSBRef(5, KR_FB_KENN, 1, nullptr), BCSSBRef()}) {
    EXPECT_EQ(none.ptr(), nullptr);
  }
  EXPECT_TRUE(BCSSBRef(5, KR_FB_KENN, 1, nullptr) == first);
  EXPECT_FALSE(BCSSBRef(5, KR_FB_KENN, 2, &list) == first);
  EXPECT_FALSE(BCSSBRef(5, KR_SFB_KENN, 1, &list) == first);
  EXPECT_EQ(ssb->add(nullptr).getParNo(), 0);
  EXPECT_EQ(ssb->getEntryCount(), 2u);
}

TEST_F(SSBTest, NthEntryOfParamKindCountsOnlyThatKind) {
  BCSSB* ssb = list.newSSB(5, KR_FB_KENN);
  for (int k : {0, 3, 1, 3}) ssb->add(fb(k, kInt));
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 0), ssb->lookup(2));
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 1), ssb->lookup(2));
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 2), ssb->lookup(4));
  EXPECT_EQ(ssb->getNthEntryOfParamKind(3, 3), nullptr);
  EXPECT_EQ(ssb->getNthEntryOfParamKind(2, 1), nullptr);
}

TEST_F(SSBTest, LongDescriptionWithViewsLaysOutEveryEntry) {
  BCSSB* ssb = list.newSSB(1, KR_FB_KENN);
  constexpr std::uint16_t kCount = 10000;
  for (std::uint16_t n = 1; n <= kCount; ++n) ssb->add(fb(0, kInt, n % 2 == 0 ? n - 1 : 0));
  EXPECT_EQ(ssb->getLastOffset(), 16u * (kCount / 2 - 1));
  EXPECT_EQ(ssb->storageLength(), 16u * (kCount / 2));
  EXPECT_EQ(BCSSBRef(1, KR_FB_KENN, kCount, &list).ptr()->getOffset(), 16u * (kCount / 2 - 1));
}

}  // namespace
