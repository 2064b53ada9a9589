// Instance types: size, components and offsets from the instantiated
// block's interface description.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/example_block.h"

namespace {

class InstanceTest : public bctest::ExampleBlock {
 protected:
  // FB 7: (0, BOOL), (0, BOOL), (1, INT), (2, ARRAY[1..4] OF BYTE), (3, BYTE): 88 bits.
  InstanceTest() {
    BCSSB* ssb = list.newSSB(7, KR_FB_KENN);
    const std::uint16_t bytes4 = array(elem(2), {{1, 4}});
    const std::pair<int, std::uint16_t> entries[] = {
        {0, elem(1)}, {0, elem(1)}, {1, elem(5)}, {2, bytes4}, {3, elem(2)}};
    char name[] = "a";
    for (const auto& entry : entries) {
      ssb->add(new BCFBEntry(KRString(name), ref(entry.second),
                             static_cast<BCSSBEntry::PARAM_KIND>(entry.first)));
      ++name[0];
    }
  }

  BCSSBList& list = block.getSSBList();
};

TEST_F(InstanceTest, SizeComponentsAndOffsetsComeFromTheInterface) {
  const KRInstanceDesc fb7(7, KR_FB_KENN, &list);
  EXPECT_EQ(fb7.getDataType(), KR_DT_INSTANCE);
  EXPECT_EQ(fb7.alignment(), 16U);
  EXPECT_EQ(fb7.storageLength(), 96U);
  EXPECT_EQ(fb7.getNoOfComp(), 5);
  const std::uint32_t offsets[] = {0, 1, 16, 32, 80};
  for (std::uint16_t n = 1; n <= 5; ++n) EXPECT_EQ(fb7.getCompOffset(n), offsets[n - 1]) << n;
  EXPECT_EQ(fb7.getStructuredComp(4)->getName(), KRString("d"));
  EXPECT_EQ(fb7.getStructuredComp(6), nullptr);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);
  EXPECT_EQ(fb7.getCompOffset(6), 0U);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
}

TEST_F(InstanceTest, InstanceComponentOfAStructureStartsOnAWord) {
  const std::uint16_t fb7 = add(new KRInstanceDesc(7, KR_FB_KENN, &list));
  const std::uint16_t s = structure({elem(1), fb7});
  EXPECT_EQ(at(s).storageLength(), 112U);
  EXPECT_EQ(structAt(s).getComp(2).getOffset(), 16U);
}

TEST_F(InstanceTest, MissingDescriptionGivesZeroAndFlag) {
  BCSSBList empty;
  for (const KRInstanceDesc& desc :
       {KRInstanceDesc(7, KR_SFB_KENN, &list), KRInstanceDesc(7, KR_FB_KENN, &empty),
        KRInstanceDesc(7, KR_FB_KENN, nullptr)}) {
    KRTypedesc::resetError();
    EXPECT_EQ(desc.storageLength(), 0U);
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
    KRTypedesc::resetError();
    EXPECT_EQ(desc.getNoOfComp(), 0);
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
    EXPECT_EQ(desc.getStructuredComp(1), nullptr);
  }
}

TEST_F(InstanceTest, EqualityIgnoresTheInterfaceList) {
  BCSSBList other;
  const KRInstanceDesc fb7(7, KR_FB_KENN, &list);
  EXPECT_TRUE(fb7 == KRInstanceDesc(7, KR_FB_KENN, &other));
  EXPECT_TRUE(fb7 == KRInstanceDesc(7, KR_FB_KENN, nullptr));
  EXPECT_FALSE(fb7 == KRInstanceDesc(8, KR_FB_KENN, &list));
  EXPECT_FALSE(fb7 == KRInstanceDesc(7, KR_SFB_KENN, &list));
  EXPECT_FALSE(fb7 == KRElemDesc(5));
  EXPECT_TRUE(KRElemDesc(KR_DT_INSTANCE) == fb7);
}

TEST_F(InstanceTest, EntryOfTheInstancesOwnTypeIsACycle) {
  const std::uint16_t self = add(new KRInstanceDesc(9, KR_FB_KENN, &list));
  BCSSB* ssb = list.newSSB(9, KR_FB_KENN);
  ssb->add(new BCFBEntry(KRString("x"), ref(elem(5)), BCSSBEntry::BC_PARAM_IN));
  ssb->add(new BCFBEntry(KRString("me"), ref(self), BCSSBEntry::BC_PARAM_IN));
  EXPECT_EQ(at(self).storageLength(), 0U);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
  EXPECT_EQ(KRSequence<BCSSBEntry*>::error, KRSEQUENCE_OK);
  KRTypedesc::resetError();
  std::ostringstream os;
  char line[kKRLineSize] = {};
  at(self).printOn(os, 0);
  at(self).printOn(os, 0, nullptr, line, nullptr);
  EXPECT_EQ(os.str(), "InstanzTyp v. BlockKind:   2  , BlockNo = 9\n  storageLen=0\n" +
                          std::string(32, ' ') + "-     INSTANCE  0         2           FB9\n");
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
  // Reached through a structure, the cycle fails the structure too.
  KRTypedesc::resetError();
  at(structure({self, elem(5)})).storageLength();
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
}

TEST_F(InstanceTest, InstancesNestedThroughInterfacesAtAnyDepth) {
  // FB 100 + k holds a BOOL and an instance of FB 101 + k; the last FB an INT.
  constexpr int kDepth = 10000;
  BCSSBList chain;
  for (int k = kDepth; k >= 1; --k) {
    BCSSB* ssb = chain.newSSB(static_cast<std::uint16_t>(100 + k), KR_FB_KENN);
    if (k == kDepth) {
      ssb->add(new BCFBEntry(KRString("x"), ref(elem(5)), BCSSBEntry::BC_PARAM_IN));
      continue;
    }
    const std::uint16_t next =
        add(new KRInstanceDesc(static_cast<std::uint16_t>(101 + k), KR_FB_KENN, &chain));
    ssb->add(new BCFBEntry(KRString("b"), ref(elem(1)), BCSSBEntry::BC_PARAM_IN));
    ssb->add(new BCFBEntry(KRString("i"), ref(next), BCSSBEntry::BC_PARAM_IN));
  }
  const KRInstanceDesc top(101, KR_FB_KENN, &chain);
  EXPECT_EQ(top.storageLength(), 16U * kDepth);
  EXPECT_EQ(top.getCompOffset(2), 16U);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);
  EXPECT_EQ(KRSequence<BCSSBEntry*>::error, KRSEQUENCE_OK);
}

TEST_F(InstanceTest, FailedLayoutLeavesTheOffsetsBehindTheFailureAlone) {
  const std::uint16_t self = structure({elem(1), tab.getCount()});
  BCSSB* ssb = list.newSSB(11, KR_FB_KENN);
  ssb->add(new BCFBEntry(KRString("bad"), ref(self), BCSSBEntry::BC_PARAM_IN));
  ssb->add(new BCFBEntry(KRString("x"), ref(elem(5)), BCSSBEntry::BC_PARAM_IN));
  ssb->lookup(2)->setOffset(777);
  EXPECT_EQ(KRInstanceDesc(11, KR_FB_KENN, &list).storageLength(), 0U);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
  EXPECT_EQ(ssb->lookup(2)->getOffset(), 777U);
}

}  // namespace
