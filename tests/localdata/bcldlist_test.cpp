#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/example_block.h"
#include "tests/support/record_check.h"

namespace {

using namespace bctest;
using Entries = KRSequence<BCLDEntry*>;

class LDTest : public ExampleBlock {
 protected:
  BCLDRef add(BCLDList& to, std::uint16_t type, std::uint16_t view = 0, const char* name = "v") {
    auto* entry = new BCLDEntry(name, ref(type));
    entry->setViewVarNo(view);
    return to.add(entry);
  }
  std::unique_ptr<BCLDList> load(std::istream& is) {
    return std::unique_ptr<BCLDList>(BCLDList::iload(is, &tab));
  }

  BCLDList& list = block.getLDDList();
  const RecordFlag listFlag =
      libraryFlag("local data list", KRSEQUENCE_LOAD_FAILED, KRSEQUENCE_SAVE_FAILED);
};

TEST_F(LDTest, EveryVariableIsAlignedByItsOwnType) {
  struct Case {
    const char* what;
    std::vector<std::vector<std::uint16_t>> entries;  // type, view
    std::vector<std::uint32_t> offsets;
    std::uint32_t length;
  };
  const Case cases[] = {
      {"bits, bytes, words", {{kBool}, {kBool}, {kByte}, {kInt}}, {0, 1, 8, 16}, 32},
      {"no restart between variables", {{kInt}, {kBool}, {kBool}}, {0, 16, 17}, 18},
      {"view takes no storage", {{kInt}, {kInt, 1}, {kInt}}, {0, 0, 16}, 32},
      {"trailing view of an earlier entry", {{kInt}, {kDInt}, {kByte, 1}}, {0, 16, 0}, 48},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BCLDList fresh;
    fresh.setStartOffset(128);  // entry offsets never include it
    for (const auto& e : c.entries) add(fresh, e[0], e.size() > 1 ? e[1] : 0);
    EXPECT_EQ(fresh.getLastOffset(), c.offsets.back());
    for (std::uint16_t n = 1; n <= c.offsets.size(); ++n)
      EXPECT_EQ(fresh.getOffset(n), c.offsets[n - 1]);
    EXPECT_EQ(fresh.getOffset(0), 0u);
    EXPECT_EQ(fresh.storageLength(), c.length);
    EXPECT_EQ(Entries::error, KRSEQUENCE_OK);
  }
  EXPECT_EQ(list.storageLength(), 0u);
}

TEST_F(LDTest, LayoutFailuresGiveZeroAndTheSequenceFlag) {
  for (const LayoutFailure& c : kLayoutFailures) {
    SCOPED_TRACE(c.what);
    BCLDList l;
    add(l, kInt);
    add(l, c.secondType, c.secondView);
    add(l, kInt);
    EXPECT_EQ(l.getOffset(c.asked), 0u);
    EXPECT_EQ(Entries::error, c.flag);
    EXPECT_EQ(BCLDEntry::getError(), 0);
    Entries::error = KRSEQUENCE_OK;
    EXPECT_EQ(l.storageLength(), c.asked == 5 ? 48u : 0u);
    Entries::error = KRSEQUENCE_OK;
  }
  BCLDEntry untyped("x", ref(0));
  EXPECT_EQ(untyped.getDataType(), 0);
  EXPECT_EQ(untyped.storageLength(), 1u);
  EXPECT_EQ(BCLDEntry::getError(), BCLDEntry::BCLDENTRY_FAILED);
  BCLDEntry::resetError();
  EXPECT_EQ(untyped.alignment(), 1u);
  EXPECT_EQ(BCLDEntry::getError(), BCLDEntry::BCLDENTRY_FAILED);
}

TEST_F(LDTest, ReferencesNameVariablesByNumber) {
  const BCLDRef first = add(list, kInt);
  const BCLDRef second = add(list, kBool);
  EXPECT_EQ(second.getVarNo(), 2);
  BCLDList other;
  EXPECT_EQ(list.lookup(BCLDRef(1, &other)), first.ptr());  // the list asked decides
  for (const BCLDRef& none :
       {BCLDRef(0, &list), BCLDRef(3, &list), BCLDRef(1, nullptr), BCLDRef(), BCLDRef(1, &other)}) {
    EXPECT_EQ(none.ptr(), nullptr);
  }
  EXPECT_EQ(BCLDRef(1, &other) == first, 1);
  EXPECT_EQ(second == first, 0);
  EXPECT_EQ(list.add(nullptr).getVarNo(), 0);
  EXPECT_EQ(list.getEntryCount(), 2u);
}

TEST_F(LDTest, RecordsAreIndexOffsetAndName) {
  const auto loadList = [this](std::istream& is) { return load(is); };
  EXPECT_EQ(checkRecord(list, loadList, listFlag, "00 00")->getEntryCount(), 0u);
  const BCLDRef ab = add(list, 7, 1, "ab");
  ab.ptr()->setOffset(0x10030);
  const auto entry = checkRecord(
      *ab.ptr(), [this](std::istream& is) { return BCLDEntry::iload(is, &tab); },
      libraryFlag("local variable", BCLDEntry::BCLDENTRY_FAILED, BCLDEntry::BCLDENTRY_FAILED, true),
      "07 00 30 00 01 00 02 61 62");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(hexOf(list), "01 00 07 00 30 00 01 00 02 61 62");
  EXPECT_EQ(entry->getViewVarNo(), 0);
  EXPECT_EQ(entry->getTypeRef().getTable(), &tab);
  // A flag left over from an earlier failure fails the next load.
  BCLDEntry("x", ref(0)).storageLength();
  std::istringstream again(recordOf(*ab.ptr()));
  EXPECT_EQ(BCLDEntry::iload(again, &tab), nullptr);
  bcInitBCode();

  BCLDList& sample = block.getLSDList();
  add(sample, kBool, 0, "flag");
  add(sample, kInt, 1, "");
  add(sample, ExampleBlock::array(kByte, {{0, 9}}), 0, "buffer");
  add(sample, 0, 0, "untyped");
  sample.getOffset(3);
  const auto back = checkRecord(sample, loadList, listFlag);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(BCLDRef(3, back.get()).ptr()->getOffset(), 16u);
  EXPECT_GT(checkCorruptRecords(recordOf(sample), loadList, listFlag, {0x01, 0x80, 0xFF}, true), 0);
}

TEST_F(LDTest, DumpAndListingShowOffsetNameAndType) {
  BCLDEntry typed("ab", ref(7));
  typed.setOffset(48);
  BCLDEntry untyped("a-name-longer-than-the-column-is", ref(0));
  std::ostringstream dump;
  typed.printOn(dump);
  untyped.printOn(dump);
  std::ostringstream type;
  at(7).printOn(type, 0);
  EXPECT_EQ(dump.str(),
            "  48  ab  " + type.str() +
                "   0  a-name-longer-than-the-column-is  *** Error: illegal typeRef ! \n");

  std::ostringstream listing;
  typed.printOn(listing, line + 1, line, typeNames.get());
  untyped.printOn(listing, line, line, typeNames.get());
  EXPECT_EQ(listing.str(), columns({{1, "ab"}, {29, "7"}, {34, "48"}, {40, " T7"}}) +
                               "a-name-longer-than-the-colum0 is 0     ???\n");
  EXPECT_TRUE(lineIsClear());
}

// The block's layout measures the last variable too, so a type that cannot
// be measured fails it wherever it is declared; a deep one is measured.
TEST_F(LDTest, BlockLayoutMeasuresTheLastVariableToo) {
  std::uint16_t deep = kInt;
  for (int level = 0; level < 300; ++level) deep = structure({kBool, deep});
  lsd.add(new BCLDEntry("first", ref(kInt)));
  lsd.add(new BCLDEntry("deep", ref(deep)));
  block.calcOffsets();
  EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
  EXPECT_EQ(lsd.storageLength(), 16U + 16U * 301);
  lsd.add(new BCLDEntry("cyclic", ref(structure({tab.getCount()}))));
  block.calcOffsets();
  EXPECT_EQ(BCode::getError(), BCode::BCODE_FAILED);
}

}  // namespace
