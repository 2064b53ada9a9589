#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "tests/support/example_block.h"
#include "tests/support/record_check.h"

namespace {

using namespace bctest;
using Entries = KRSequence<BCSSBEntry*>;
using Descriptions = KRSequence<BCSSB*>;

BCSSBEntry::PARAM_KIND kind(int k) {
  return static_cast<BCSSBEntry::PARAM_KIND>(k);
}

class SSBRecordTest : public ExampleBlock {
 protected:
  std::unique_ptr<BCSSBList> loaded(std::istream& is) {
    return std::unique_ptr<BCSSBList>(BCSSBList::iload(is, &tab));
  }
  // An FC description (4) with entry y of `yType` and, found first, an FB
  // description (3) with entry x of INT at offset 16.
  BCSSB* fillForText(std::uint16_t yType) {
    list.newSSB(4, KR_FC_KENN)->add(new BCFCEntry("y", ref(yType), kind(2)));
    BCSSB* fb = list.newSSB(3, KR_FB_KENN);
    auto* x = new BCFBEntry("x", ref(kInt), kind(0));
    x->setOffset(16);
    fb->add(x);
    return fb;
  }
  // Every kind that holds entries, views, an empty name and kind 255.
  void fillSample() {
    BCSSB* fc = list.newSSB(12, KR_SFC_KENN);
    fc->add(new BCFCEntry("in", ref(kDT), kind(0)));
    fc->add(new BCFCEntry("", ref(0), kind(255)));
    BCSSB* fb = list.newSSB(7, KR_SFB_KENN);
    fb->add(new BCFBEntry("a", ref(kBool), kind(0)));
    fb->add(new BCFBEntry("v", ref(kByte), kind(0)));
    fb->lookup(2)->setViewVarNo(1);
    fb->add(new BCFBEntry("s", ref(kInt), kind(3)));
    fb->getLastOffset();
    list.newSSB(1, KR_OB_KENN);
  }

  BCSSBList& list = block.getSSBList();
  const RecordFlag listFlag = libraryFlag("interface list", 1, 1);
};

TEST_F(SSBRecordTest, DescriptionRecordsCarryOffsetsOnlyForFBEntries) {
  const std::pair<KR_BLOCK_KIND, const char*> cases[] = {
      {KR_FB_KENN, "03 00 02 01 00 05 00 01 78 00 10 00 00 00"},
      {KR_SFB_KENN, "03 00 03 01 00 05 00 01 78 00 10 00 00 00"},
      {KR_FC_KENN, "03 00 04 01 00 05 00 01 78 00"},
      {KR_SFC_KENN, "03 00 05 01 00 05 00 01 78 00"},
  };
  for (const auto& [blockKind, hex] : cases) {
    SCOPED_TRACE(hex);
    BCSSB ssb(3, blockKind, &list);
    const bool fb = blockKind == KR_FB_KENN || blockKind == KR_SFB_KENN;
    BCSSBEntry* entry = fb ? static_cast<BCSSBEntry*>(new BCFBEntry("x", ref(5), kind(0)))
                           : new BCFCEntry("x", ref(5), kind(0));
    entry->setOffset(16);
    ssb.add(entry);
    KRTypeEnv env(&tab, &list, 4);
    const auto back = checkRecord(
        ssb, [&env](std::istream& is) { return BCSSB::iload(is, &env); },
        libraryFlag("interface description", KRSEQUENCE_LAYOUT_FAILED, KRSEQUENCE_SAVE_FAILED),
        hex);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->lookup(1)->isA(), fb ? BCSSBEntry::BC_FB_ENTRY : BCSSBEntry::BC_FC_ENTRY);
    EXPECT_EQ(back->lookup(1)->getOffset(), fb ? 16u : 0u);
    EXPECT_EQ(back->lookup(1)->getTypeRef().getTable(), &tab);
  }
}

TEST_F(SSBRecordTest, ListRecordsKeepListOrder) {
  const auto load = [this](std::istream& is) { return loaded(is); };
  EXPECT_TRUE(checkRecord(list, load, listFlag, "00 00")->isEmpty());
  list.newSSB(1, KR_FB_KENN);
  list.newSSB(2, KR_FC_KENN);
  const auto back = checkRecord(list, load, listFlag, "02 00 02 00 04 00 00 01 00 02 00 00");
  ASSERT_NE(back, nullptr);
  BCSSBListIterator it(*back);
  EXPECT_EQ(it++->getBlockNo(), 2);
  EXPECT_EQ(it++->getBlockNo(), 1);
}

TEST_F(SSBRecordTest, SampleRecordLoadsAndFailsCleanly) {
  fillSample();
  const auto load = [this](std::istream& is) { return loaded(is); };
  const auto back = checkRecord(list, load, listFlag);
  ASSERT_NE(back, nullptr);
  const BCSSB* fb = back->lookup(7, KR_SFB_KENN);
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(fb->lookup(2)->getViewVarNo(), 0);  // views are not recorded
  EXPECT_EQ(fb->lookup(3)->getOffset(), 16u);
  EXPECT_EQ(BCSSBRef(12, KR_SFC_KENN, 2, back.get()).ptr()->getParamKind(), 255);
  // Loading replaces what a list held.
  const std::string bytes = recordOf(list);
  std::istringstream is(bytes);
  back->load(is, &tab);
  EXPECT_EQ(recordOf(*back), bytes);
  EXPECT_GT(checkCorruptRecords(bytes, load, listFlag, {0x01, 0x80, 0xFF}, true), 0);
  // A list flag left set fails the next load.
  std::istringstream again(bytes);
  Descriptions::error = KRSEQUENCE_NO_ELEMENT;
  back->load(again, &tab);
  EXPECT_TRUE(back->isEmpty());
  EXPECT_EQ(Descriptions::error, KRSEQUENCE_OK);
  EXPECT_EQ(BCSSBList::getError(), BCSSBList::BCSSBLIST_FAILED);
}

TEST_F(SSBRecordTest, OnlyFBAndFCKindsHoldEntries) {
  for (const char* hex : {"03 00 01 01 00 05 00 01 78 00", "03 00 06 01 00 05 00 01 78 00"}) {
    std::istringstream is(fromHex(hex));
    KRTypeEnv env(&tab, &list, 4);
    EXPECT_EQ(BCSSB::iload(is, &env), nullptr);
    EXPECT_EQ(Entries::error, KRSEQUENCE_LAYOUT_FAILED);
  }
  std::istringstream empty(fromHex("03 00 01 00 00"));
  std::unique_ptr<BCSSB> ob(BCSSB::iload(empty, nullptr));
  ASSERT_NE(ob, nullptr);
  EXPECT_EQ(ob->getBlockKind(), KR_OB_KENN);
  // Entries are only read by their description.
  std::istringstream two(fromHex("41 42"));
  EXPECT_EQ(BCSSBEntry::iload(two, nullptr), nullptr);
  EXPECT_EQ(two.get(), 0x42);
}

TEST_F(SSBRecordTest, ListingLinesStandAtTheirColumns) {
  fillForText(0);
  NameTable kinds("K", 256);
  std::ostringstream os;
  list.printOn(os, line, line, kinds.get(), typeNames.get());
  EXPECT_EQ(os.str(),
            columns({{0, "SSB: "}, {5, "KR_FB_KENN"}, {17, "3"}, {29, "1"}}) +
                columns({{0, "1"}, {5, "16"}, {12, "x"}, {37, "K0"}, {44, "5"}, {51, "T5"}}) +
                columns({{0, "SSB: "}, {5, "KR_FC_KENN"}, {17, "4"}, {29, "1"}}) +
                columns({{0, "1"}, {5, "-"}, {12, "y"}, {37, "K2"}, {44, "0"}, {51, "???"}}));
  EXPECT_TRUE(lineIsClear());

  BCSSB other(8, static_cast<KR_BLOCK_KIND>(8), &list);
  std::ostringstream header;
  other.printOn(header, line + 2, line, nullptr, nullptr);
  EXPECT_EQ(header.str(), columns({{2, "SSB: "}, {19, "8"}, {31, "0"}}));
}

TEST_F(SSBRecordTest, DumpsShowOffsetNameKindAndType) {
  fillForText(kBool)->add(new BCFBEntry("bad", ref(0), kind(1)));
  const auto dumpOf = [](const KRTypeRef& type) {
    std::ostringstream os;
    type.ptr()->printOn(os, 0);
    return os.str();
  };
  std::ostringstream os;
  list.printOn(os);
  EXPECT_EQ(os.str(),
            "BCSSBList:\n"
            "SSB:  blockKind = 2  , blockNo = 3\n"
            "  16  x  0   " +
                dumpOf(ref(kInt)) +
                "   0  bad  1   *** Error: illegal typeRef !\n"
                "SSB:  blockKind = 4  , blockNo = 4\n"
                "      y  2   " +
                dumpOf(ref(kBool)));
}

}  // namespace
