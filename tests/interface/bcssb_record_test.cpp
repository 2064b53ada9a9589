#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "tests/interface/list_fixture.h"

namespace {

using namespace bctest;
using Entries = KRSequence<BCSSBEntry*>;
using Descriptions = KRSequence<BCSSB*>;

BCSSBEntry::PARAM_KIND kind(int k) {
  return static_cast<BCSSBEntry::PARAM_KIND>(k);
}

class SSBRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { resetFlags(); }
  void TearDown() override {
    EXPECT_EQ(BCSSBList::getError(), 0);
    EXPECT_EQ(Descriptions::error, KRSEQUENCE_OK);
  }

  static std::string saved(const BCSSBList& l) {
    std::ostringstream os;
    l.save(os);
    return os.str();
  }
  std::unique_ptr<BCSSBList> loaded(const std::string& bytes) {
    std::istringstream is(bytes);
    return std::unique_ptr<BCSSBList>(BCSSBList::iload(is, &types.table));
  }
  // An FC description (4) with entry y of `yType` and, found first, an FB
  // description (3) with entry x of INT at offset 16.
  BCSSB* fillForText(std::uint16_t yType) {
    list.newSSB(4, KR_FC_KENN)->add(new BCFCEntry("y", types.ref(yType), kind(2)));
    BCSSB* fb = list.newSSB(3, KR_FB_KENN);
    auto* x = new BCFBEntry("x", types.ref(kInt), kind(0));
    x->setOffset(16);
    fb->add(x);
    return fb;
  }
  // Every kind that holds entries, views, an empty name and kind 255.
  void fillSample() {
    BCSSB* fc = list.newSSB(12, KR_SFC_KENN);
    fc->add(new BCFCEntry("in", types.ref(kDT), kind(0)));
    fc->add(new BCFCEntry("", types.ref(0), kind(255)));
    BCSSB* fb = list.newSSB(7, KR_SFB_KENN);
    fb->add(new BCFBEntry("a", types.ref(kBool), kind(0)));
    fb->add(new BCFBEntry("v", types.ref(kByte), kind(0)));
    fb->lookup(2)->setViewVarNo(1);
    fb->add(new BCFBEntry("s", types.ref(kInt), kind(3)));
    fb->getLastOffset();
    list.newSSB(1, KR_OB_KENN);
  }

  ElemTypes types;
  BCSSBList list;
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
    BCSSBEntry* entry = fb ? static_cast<BCSSBEntry*>(new BCFBEntry("x", types.ref(5), kind(0)))
                           : new BCFCEntry("x", types.ref(5), kind(0));
    entry->setOffset(16);
    ssb.add(entry);
    std::ostringstream os;
    ssb.save(os);
    EXPECT_EQ(toHex(os.str()), hex);

    std::istringstream is(os.str());
    KRTypeEnv env(&types.table, &list, 4);
    std::unique_ptr<BCSSB> back(BCSSB::iload(is, &env));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->lookup(1)->isA(), fb ? BCSSBEntry::BC_FB_ENTRY : BCSSBEntry::BC_FC_ENTRY);
    EXPECT_EQ(back->lookup(1)->getOffset(), fb ? 16u : 0u);
    EXPECT_EQ(back->lookup(1)->getTypeRef().getTable(), &types.table);
  }
}

TEST_F(SSBRecordTest, ListRecordsKeepListOrder) {
  EXPECT_EQ(toHex(saved(list)), "00 00");
  ASSERT_NE(loaded(fromHex("00 00")), nullptr);
  EXPECT_TRUE(loaded(fromHex("00 00"))->isEmpty());

  list.newSSB(1, KR_FB_KENN);
  list.newSSB(2, KR_FC_KENN);
  EXPECT_EQ(toHex(saved(list)), "02 00 02 00 04 00 00 01 00 02 00 00");
  auto back = loaded(saved(list));
  ASSERT_NE(back, nullptr);
  BCSSBListIterator it(*back);
  EXPECT_EQ(it++->getBlockNo(), 2);
  EXPECT_EQ(it++->getBlockNo(), 1);
  EXPECT_TRUE(it.end());
}

TEST_F(SSBRecordTest, LongNameKeepsOnlyTheLowLengthByte) {
  BCSSB* ssb = list.newSSB(3, KR_FB_KENN);
  ssb->add(new BCFBEntry(KRString('n', 256), types.ref(5), kind(0)));
  std::ostringstream os;
  ssb->save(os);
  EXPECT_EQ(toHex(os.str()), "03 00 02 01 00 05 00 00 00 00 00 00 00");
}

TEST_F(SSBRecordTest, SampleRoundTripsByteForByte) {
  fillSample();
  const std::string bytes = saved(list);
  auto back = loaded(bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(saved(*back), bytes);
  const BCSSB* fb = back->lookup(7, KR_SFB_KENN);
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(fb->lookup(2)->getViewVarNo(), 0);  // views are not recorded
  EXPECT_EQ(fb->lookup(3)->getOffset(), 16u);
  EXPECT_EQ(BCSSBRef(12, KR_SFC_KENN, 2, back.get()).ptr()->getParamKind(), 255);
  // Loading replaces what a list held.
  std::istringstream is(bytes);
  back->load(is, &types.table);
  EXPECT_EQ(saved(*back), bytes);
}

TEST_F(SSBRecordTest, LoadFailsOnAListFlagLeftSet) {
  fillSample();
  std::istringstream is(saved(list));
  Descriptions::error = KRSEQUENCE_NO_ELEMENT;
  list.load(is, &types.table);
  EXPECT_TRUE(list.isEmpty());
  EXPECT_EQ(Descriptions::error, KRSEQUENCE_OK);
  EXPECT_EQ(BCSSBList::getError(), BCSSBList::BCSSBLIST_FAILED);
  BCSSBList::resetError();
}

TEST_F(SSBRecordTest, OnlyFBAndFCKindsHoldEntries) {
  for (const char* hex : {"03 00 01 01 00 05 00 01 78 00", "03 00 06 01 00 05 00 01 78 00"}) {
    std::istringstream is(fromHex(hex));
    KRTypeEnv env(&types.table, &list, 4);
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

TEST_F(SSBRecordTest, DamagedRecordsFailCleanly) {
  fillSample();
  const std::string bytes = saved(list);
  checkShortWrites(
      bytes.size(), [this](std::ostream& os) { list.save(os); },
      [] {
        EXPECT_EQ(BCSSBList::getError(), BCSSBList::BCSSBLIST_FAILED);
        EXPECT_EQ(Descriptions::error, KRSEQUENCE_OK);
      });
  checkDamagedRecords(bytes, [this](std::istream& is) -> std::optional<std::string> {
    std::unique_ptr<BCSSBList> back(BCSSBList::iload(is, &types.table));
    if (!back) {
      EXPECT_EQ(BCSSBList::getError(), BCSSBList::BCSSBLIST_FAILED);
      return std::nullopt;
    }
    std::ostringstream dump;
    back->printOn(dump);
    return saved(*back);
  });
}

TEST_F(SSBRecordTest, ListingLinesStandAtTheirColumns) {
  fillForText(0);
  NameTable kinds("K", 256);
  NameTable typeNames("T", 256);
  char line[160] = {};
  std::ostringstream os;
  list.printOn(os, line, line, kinds.get(), typeNames.get());
  EXPECT_EQ(os.str(),
            columns({{0, "SSB: "}, {5, "KR_FB_KENN"}, {17, "3"}, {29, "1"}}) +
                columns({{0, "1"}, {5, "16"}, {12, "x"}, {37, "K0"}, {44, "5"}, {51, "T5"}}) +
                columns({{0, "SSB: "}, {5, "KR_FC_KENN"}, {17, "4"}, {29, "1"}}) +
                columns({{0, "1"}, {5, "-"}, {12, "y"}, {37, "K2"}, {44, "0"}, {51, "???"}}));
  EXPECT_TRUE(cleared(line));

  BCSSB other(8, static_cast<KR_BLOCK_KIND>(8), &list);
  std::ostringstream header;
  other.printOn(header, line + 2, line, nullptr, nullptr);
  EXPECT_EQ(header.str(), columns({{2, "SSB: "}, {19, "8"}, {31, "0"}}));
}

TEST_F(SSBRecordTest, ListingNeverWritesPastTheLine) {
  list.newSSB(3, KR_FB_KENN)->add(new BCFBEntry(KRString('n', 200), types.ref(5), kind(0)));
  char buffer[200] = {};
  std::fill(buffer + 160, buffer + 200, 'G');
  std::ostringstream os;
  list.printOn(os, buffer + 150, buffer, nullptr, nullptr);
  EXPECT_EQ(std::string(buffer + 160, 40), std::string(40, 'G'));
  EXPECT_TRUE(cleared(buffer));
  const std::string text = os.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST_F(SSBRecordTest, DumpsShowOffsetNameKindAndType) {
  fillForText(kBool)->add(new BCFBEntry("bad", types.ref(0), kind(1)));
  std::ostringstream os;
  list.printOn(os);
  EXPECT_EQ(os.str(),
            "BCSSBList:\n"
            "SSB:  blockKind = 2  , blockNo = 3\n"
            "  16  x  0   " +
                ElemTypes::dumpOf(types.ref(kInt)) +
                "   0  bad  1   *** Error: illegal typeRef !\n"
                "SSB:  blockKind = 4  , blockNo = 4\n"
                "      y  2   " +
                ElemTypes::dumpOf(types.ref(kBool)));
}

}  // namespace
