#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bcode/foundation/krlistline.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "tests/interface/type_fixture.h"
#include "tests/support/test_util.h"

namespace {

using bctest::ElemTypes;
using bctest::fromHex;
using bctest::toHex;
using Entries = KRSequence<BCSSBEntry*>;
using Descriptions = KRSequence<BCSSB*>;

const auto kIn = static_cast<BCSSBEntry::PARAM_KIND>(0);

class SSBRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { bctest::resetFlags(); }
  void TearDown() override {
    EXPECT_EQ(BCSSBList::getError(), 0);
    EXPECT_EQ(Descriptions::error, KRSEQUENCE_OK);
  }

  static std::string saved(const BCSSBList& list) {
    std::ostringstream os;
    list.save(os);
    return os.str();
  }
  std::unique_ptr<BCSSBList> loaded(const std::string& bytes) {
    std::istringstream is(bytes);
    return std::unique_ptr<BCSSBList>(BCSSBList::iload(is, &types.table));
  }
  // One description of each entry-holding kind, with views and odd names.
  void fillSample() {
    BCSSB* fc = list.newSSB(12, KR_SFC_KENN);
    fc->add(new BCFCEntry("in", types.ref(bctest::kDT), kIn));
    fc->add(new BCFCEntry("", types.ref(0), static_cast<BCSSBEntry::PARAM_KIND>(255)));
    BCSSB* fb = list.newSSB(7, KR_FB_KENN);
    fb->add(new BCFBEntry("a", types.ref(bctest::kBool), kIn));
    auto* view = new BCFBEntry("v", types.ref(bctest::kByte), kIn);
    view->setViewVarNo(1);
    fb->add(view);
    fb->add(new BCFBEntry("s", types.ref(bctest::kInt), static_cast<BCSSBEntry::PARAM_KIND>(3)));
    fb->getLastOffset();
    list.newSSB(1, KR_OB_KENN);
  }

  // An FC description (4) with entry y of `yType` and, found first, an FB
  // description (3) with entry x of INT at offset 16.
  BCSSB* fillForText(std::uint16_t yType) {
    BCSSB* fc = list.newSSB(4, KR_FC_KENN);
    fc->add(new BCFCEntry("y", types.ref(yType), static_cast<BCSSBEntry::PARAM_KIND>(2)));
    BCSSB* fb = list.newSSB(3, KR_FB_KENN);
    auto* x = new BCFBEntry("x", types.ref(5), kIn);
    x->setOffset(16);
    fb->add(x);
    return fb;
  }

  ElemTypes types;
  BCSSBList list;
};

TEST_F(SSBRecordTest, DescriptionRecordsCarryOffsetsOnlyForFBEntries) {
  struct Case {
    KR_BLOCK_KIND kind;
    const char* hex;
  };
  const Case cases[] = {
      {KR_FB_KENN, "03 00 02 01 00 05 00 01 78 00 10 00 00 00"},
      {KR_SFB_KENN, "03 00 03 01 00 05 00 01 78 00 10 00 00 00"},
      {KR_FC_KENN, "03 00 04 01 00 05 00 01 78 00"},
      {KR_SFC_KENN, "03 00 05 01 00 05 00 01 78 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    BCSSB ssb(3, c.kind, &list);
    const bool fb = c.kind == KR_FB_KENN || c.kind == KR_SFB_KENN;
    BCSSBEntry* entry = fb ? static_cast<BCSSBEntry*>(new BCFBEntry("x", types.ref(5), kIn))
                           : new BCFCEntry("x", types.ref(5), kIn);
    entry->setOffset(16);
    ssb.add(entry);
    std::ostringstream os;
    ssb.save(os);
    EXPECT_EQ(toHex(os.str()), c.hex);

    std::istringstream is(os.str());
    KRTypeEnv env(&types.table, &list, 4);
    std::unique_ptr<BCSSB> back(BCSSB::iload(is, &env));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->lookup(1)->isA(), fb ? BCSSBEntry::BC_FB_ENTRY : BCSSBEntry::BC_FC_ENTRY);
    EXPECT_EQ(back->lookup(1)->getOffset(), fb ? 16u : 0u);
    EXPECT_EQ(back->lookup(1)->getTypeRef().getTable(), &types.table);
  }
}

TEST_F(SSBRecordTest, EmptyListIsTwoZeroBytes) {
  EXPECT_EQ(toHex(saved(list)), "00 00");
  auto back = loaded(fromHex("00 00"));
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(back->isEmpty());
}

TEST_F(SSBRecordTest, ListOrderSurvivesSaveAndLoad) {
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
  ssb->add(new BCFBEntry(KRString('n', 256), types.ref(5), kIn));
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
  // Views are not part of the record; types bind to the table given.
  BCSSB* fb = back->lookup(7, KR_FB_KENN);
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(fb->lookup(2)->getViewVarNo(), 0);
  EXPECT_EQ(fb->lookup(3)->getParamKind(), 3);
  EXPECT_EQ(fb->lookup(3)->getOffset(), 16u);
  EXPECT_EQ(BCSSBRef(12, KR_SFC_KENN, 2, back.get()).ptr()->getParamKind(), 255);
  // Loading replaces what a list held.
  std::istringstream is(bytes);
  back->load(is, &types.table);
  EXPECT_EQ(back->getCount(), 3u);
  EXPECT_EQ(saved(*back), bytes);
}

TEST_F(SSBRecordTest, DescriptionOfOtherKindsCannotHoldEntries) {
  for (const char* hex : {"03 00 01 01 00 05 00 01 78 00", "03 00 06 01 00 05 00 01 78 00",
                          "03 00 00 01 00 05 00 01 78 00"}) {
    std::istringstream is(fromHex(hex));
    KRTypeEnv env(&types.table, &list, 4);
    EXPECT_EQ(BCSSB::iload(is, &env), nullptr);
    EXPECT_EQ(Entries::error, KRSEQUENCE_LAYOUT_FAILED);
    Entries::error = KRSEQUENCE_OK;
  }
  std::istringstream empty(fromHex("03 00 01 00 00"));
  KRTypeEnv env(&types.table, &list, 4);
  std::unique_ptr<BCSSB> ob(BCSSB::iload(empty, &env));
  ASSERT_NE(ob, nullptr);
  EXPECT_EQ(ob->getBlockKind(), KR_OB_KENN);
}

TEST_F(SSBRecordTest, EntryLoaderOnlySkipsOneByte) {
  std::istringstream is(fromHex("41 42"));
  EXPECT_EQ(BCSSBEntry::iload(is, nullptr), nullptr);
  EXPECT_EQ(is.get(), 0x42);
}

TEST_F(SSBRecordTest, ShortWritesFailTheListAtEveryByte) {
  fillSample();
  const std::string bytes = saved(list);
  for (std::size_t limit = 0; limit < bytes.size(); ++limit) {
    SCOPED_TRACE(limit);
    bctest::LimitedBuf buf(limit);
    std::ostream os(&buf);
    list.save(os);
    EXPECT_EQ(BCSSBList::getError(), BCSSBList::BCSSBLIST_FAILED);
    EXPECT_EQ(Descriptions::error, KRSEQUENCE_OK);
    BCSSBList::resetError();
    Entries::error = KRSEQUENCE_OK;
    BCSSBEntry::resetError();
  }
}

TEST_F(SSBRecordTest, EveryPrefixFailsAndLeavesNothing) {
  fillSample();
  const std::string bytes = saved(list);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    SCOPED_TRACE(size);
    bctest::PipeBuf pipe(bytes.substr(0, size));
    std::istream is(&pipe);
    EXPECT_EQ(BCSSBList::iload(is, &types.table), nullptr);
    EXPECT_EQ(BCSSBList::getError(), BCSSBList::BCSSBLIST_FAILED);
    bctest::resetFlags();
  }
}

TEST_F(SSBRecordTest, CorruptedBytesLoadToNullOrAValidList) {
  fillSample();
  const std::string bytes = saved(list);
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (unsigned char flip : {0x01, 0x80, 0xFF}) {
      std::string bad = bytes;
      bad[at] = static_cast<char>(bad[at] ^ flip);
      auto back = loaded(bad);
      if (back) {
        // What loaded is exactly what was read.
        const std::string again = saved(*back);
        EXPECT_EQ(bad.compare(0, again.size(), again), 0);
        std::ostringstream dump;
        back->printOn(dump);
      }
      bctest::resetFlags();
    }
  }
}

// Places texts at columns of an otherwise blank line.
std::string columns(const std::vector<std::pair<std::size_t, std::string>>& texts) {
  std::string line;
  for (const auto& [column, text] : texts) {
    line.resize(std::max(line.size(), column), ' ');
    line.replace(column, text.size(), text);
  }
  return line + "\n";
}

TEST_F(SSBRecordTest, ListingLinesStandAtTheirColumns) {
  fillForText(0);

  bctest::NameTable kinds("K", 256);
  bctest::NameTable typeNames("T", 256);
  char line[kKRLineSize] = {};
  std::ostringstream os;
  list.printOn(os, line, line, kinds.get(), typeNames.get());
  EXPECT_EQ(os.str(),
            columns({{0, "SSB: "}, {5, "KR_FB_KENN"}, {17, "3"}, {29, "1"}}) +
                columns({{0, "1"}, {5, "16"}, {11, " x"}, {37, "K0"}, {44, "5"}, {51, "T5"}}) +
                columns({{0, "SSB: "}, {5, "KR_FC_KENN"}, {17, "4"}, {29, "1"}}) +
                columns({{0, "1"}, {5, "-"}, {12, "y"}, {37, "K2"}, {44, "0"}, {51, "???"}}));
  EXPECT_TRUE(std::all_of(line, line + kKRLineSize, [](char c) { return c == 0; }));
}

TEST_F(SSBRecordTest, HeaderOfOtherKindsHasNoKindName) {
  BCSSB ssb(8, static_cast<KR_BLOCK_KIND>(8), &list);
  char line[kKRLineSize] = {};
  std::ostringstream os;
  ssb.printOn(os, line + 2, line, nullptr, nullptr);
  EXPECT_EQ(os.str(), columns({{2, "SSB: "}, {19, "8"}, {31, "0"}}));
}

TEST_F(SSBRecordTest, ListingNeverWritesPastTheLine) {
  BCSSB* ssb = list.newSSB(3, KR_FB_KENN);
  ssb->add(new BCFBEntry(KRString('n', 200), types.ref(5), kIn));
  char buffer[kKRLineSize + 40];
  std::fill(buffer, buffer + sizeof buffer, 0);
  std::fill(buffer + kKRLineSize, buffer + sizeof buffer, 'G');
  std::ostringstream os;
  ssb->printOn(os, buffer + 150, buffer, nullptr, nullptr);
  EXPECT_TRUE(
      std::all_of(buffer + kKRLineSize, buffer + sizeof buffer, [](char c) { return c == 'G'; }));
  EXPECT_TRUE(std::all_of(buffer, buffer + kKRLineSize, [](char c) { return c == 0; }));
  const std::string text = os.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST_F(SSBRecordTest, DumpsShowOffsetNameKindAndType) {
  fillForText(bctest::kBool)
      ->add(new BCFBEntry("bad", types.ref(0), static_cast<BCSSBEntry::PARAM_KIND>(1)));
  std::ostringstream os;
  list.printOn(os);
  EXPECT_EQ(os.str(),
            "BCSSBList:\n"
            "SSB:  blockKind = 2  , blockNo = 3\n"
            "  16  x  0   " +
                ElemTypes::dumpOf(types.ref(5)) +
                "   0  bad  1   *** Error: illegal typeRef !\n"
                "SSB:  blockKind = 4  , blockNo = 4\n"
                "      y  2   " +
                ElemTypes::dumpOf(types.ref(1)));
}

}  // namespace
