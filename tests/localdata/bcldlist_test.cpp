#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bcode/foundation/krlistline.h"
#include "bcode/localdata/bcldlist.h"
#include "tests/interface/type_fixture.h"
#include "tests/support/test_util.h"

namespace {

using bctest::ElemTypes;
using bctest::fromHex;
using bctest::toHex;
using Entries = KRSequence<BCLDEntry*>;

class LDTest : public ::testing::Test {
 protected:
  void SetUp() override { bctest::resetFlags(); }

  BCLDRef addTo(BCLDList& to, std::uint16_t type, std::uint16_t view = 0, const char* name = "v") {
    auto* entry = new BCLDEntry(name, types.ref(type));
    entry->setViewVarNo(view);
    return to.add(entry);
  }
  BCLDRef add(std::uint16_t type, std::uint16_t view = 0, const char* name = "v") {
    return addTo(list, type, view, name);
  }
  static std::vector<std::uint32_t> offsets(const BCLDList& of) {
    std::vector<std::uint32_t> result;
    for (BCLDListIterator it(of, 1); !it.end(); ++it) result.push_back(it.current()->getOffset());
    return result;
  }
  static std::string saved(const BCLDList& l) {
    std::ostringstream os;
    l.save(os);
    return os.str();
  }

  ElemTypes types;
  BCLDList list;
};

struct LayoutCase {
  const char* what;
  std::vector<std::uint16_t> types;
  std::vector<std::uint16_t> views;  // per entry, may be short
  std::vector<std::uint32_t> offsets;
  std::uint32_t length;
};

TEST_F(LDTest, EveryVariableIsAlignedByItsOwnType) {
  const LayoutCase cases[] = {
      {"bits, bytes, words",
       {bctest::kBool, bctest::kBool, bctest::kByte, bctest::kInt},
       {},
       {0, 1, 8, 16},
       32},
      {"no restart between variables",
       {bctest::kInt, bctest::kBool, bctest::kBool},
       {},
       {0, 16, 17},
       18},
      {"view takes no storage",
       {bctest::kInt, bctest::kInt, bctest::kInt},
       {0, 1, 0},
       {0, 0, 16},
       32},
      {"trailing view of an earlier entry",
       {bctest::kInt, bctest::kDInt, bctest::kByte},
       {0, 0, 1},
       {0, 16, 0},
       48},
      {"only one variable", {bctest::kDT}, {}, {0}, 64},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    BCLDList fresh;
    for (std::size_t i = 0; i < c.types.size(); ++i) {
      addTo(fresh, c.types[i], i < c.views.size() ? c.views[i] : 0);
    }
    EXPECT_EQ(fresh.getLastOffset(), c.offsets.back());
    EXPECT_EQ(offsets(fresh), c.offsets);
    EXPECT_EQ(fresh.storageLength(), c.length);
    EXPECT_EQ(Entries::error, KRSEQUENCE_OK);
  }
}

TEST_F(LDTest, OffsetOfAViewIsTheViewedOffsetAndStartIsApart) {
  add(bctest::kInt);
  add(bctest::kInt, 1);
  add(bctest::kInt);
  list.setStartOffset(128);
  EXPECT_EQ(list.getOffset(2), 0u);
  EXPECT_EQ(list.getOffset(3), 16u);
  EXPECT_EQ(list.getOffset(0), 0u);
  EXPECT_EQ(list.getStartOffset(), 128u);
  EXPECT_EQ(Entries::error, KRSEQUENCE_OK);
}

TEST_F(LDTest, LayoutFailuresGiveZeroAndTheSequenceFlag) {
  for (const bctest::LayoutFailure& c : bctest::kLayoutFailures) {
    SCOPED_TRACE(c.what);
    BCLDList l;
    l.add(new BCLDEntry("a", types.ref(bctest::kInt)));
    auto* second = new BCLDEntry("b", types.ref(c.secondType));
    second->setViewVarNo(c.secondView);
    l.add(second);
    l.add(new BCLDEntry("c", types.ref(bctest::kInt)));
    EXPECT_EQ(l.getOffset(c.asked), 0u);
    EXPECT_EQ(Entries::error, c.flag);
    EXPECT_EQ(BCLDEntry::getError(), 0);
    Entries::error = KRSEQUENCE_OK;
    EXPECT_EQ(l.storageLength(), c.asked == 5 ? 48u : 0u);
    Entries::error = KRSEQUENCE_OK;
  }
}

TEST_F(LDTest, VariableWithoutATypeMeasuresOne) {
  BCLDEntry entry("x", types.ref(0));
  EXPECT_EQ(entry.getDataType(), 0);
  EXPECT_EQ(entry.storageLength(), 1u);
  EXPECT_EQ(BCLDEntry::getError(), BCLDEntry::BCLDENTRY_FAILED);
  BCLDEntry::resetError();
  EXPECT_EQ(entry.alignment(), 1u);
  EXPECT_EQ(BCLDEntry::getError(), BCLDEntry::BCLDENTRY_FAILED);
  BCLDEntry::resetError();
  EXPECT_EQ(BCLDList().storageLength(), 0u);
}

TEST_F(LDTest, ReferencesNameVariablesByNumber) {
  const BCLDRef first = add(bctest::kInt);
  EXPECT_EQ(first.getVarNo(), 1);
  EXPECT_EQ(first.getListPtr(), &list);
  const BCLDRef second = add(bctest::kBool);
  EXPECT_EQ(second.ptr(), list.lookup(second));
  EXPECT_EQ(second.ptr()->getDataType(), 1);
  EXPECT_EQ(list.getEntryCount(), 2u);

  BCLDList other;
  EXPECT_EQ(list.lookup(BCLDRef(1, &other)), first.ptr());  // the list asked decides
  EXPECT_EQ(list.lookup(BCLDRef(0, &list)), nullptr);
  EXPECT_EQ(list.lookup(BCLDRef(3, &list)), nullptr);
  EXPECT_EQ(BCLDRef(1, nullptr).ptr(), nullptr);
  EXPECT_EQ(BCLDRef().ptr(), nullptr);
  EXPECT_EQ(BCLDRef(1, &other).ptr(), nullptr);
  EXPECT_EQ(BCLDRef(1, &other) == first, 1);
  EXPECT_EQ(second == first, 0);
  EXPECT_EQ(list.add(nullptr).getVarNo(), 0);
  EXPECT_EQ(list.getEntryCount(), 2u);
}

TEST_F(LDTest, IteratorWalksBothWays) {
  const BCLDRef a = add(bctest::kInt);
  const BCLDRef b = add(bctest::kInt);
  BCLDListIterator backward(list, 0);
  EXPECT_EQ(backward.current(), b.ptr());
  --backward;
  EXPECT_EQ(backward.current(), a.ptr());
  --backward;
  EXPECT_TRUE(backward.atHead());
  EXPECT_EQ(backward.current(), nullptr);
  EXPECT_EQ(Entries::error, KRSEQUENCE_NO_ELEMENT);
  Entries::error = KRSEQUENCE_OK;
}

TEST_F(LDTest, EntryRecordIsIndexOffsetAndName) {
  auto* entry = new BCLDEntry("ab", types.ref(7));
  entry->setOffset(48);
  entry->setViewVarNo(1);
  list.add(entry);
  std::ostringstream os;
  entry->save(os);
  EXPECT_EQ(toHex(os.str()), "07 00 30 00 00 00 02 61 62");
  EXPECT_EQ(toHex(saved(list)), "01 00 07 00 30 00 00 00 02 61 62");

  std::istringstream is(os.str());
  std::unique_ptr<BCLDEntry> back(BCLDEntry::iload(is, &types.table));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getOffset(), 48u);
  EXPECT_EQ(back->getViewVarNo(), 0);
  EXPECT_STREQ(back->getName().c_str(), "ab");
  EXPECT_EQ(back->getTypeRef().getTable(), &types.table);
  EXPECT_EQ(back->getTypeRef().getIndex(), 7);
}

TEST_F(LDTest, EmptyListRecordLoadsAnEmptyList) {
  EXPECT_EQ(toHex(saved(list)), "00 00");
  std::istringstream is(fromHex("00 00"));
  std::unique_ptr<BCLDList> back(BCLDList::iload(is, &types.table));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getEntryCount(), 0u);
  EXPECT_EQ(back->getStartOffset(), 0u);
}

TEST_F(LDTest, LeftoverEntryFlagFailsTheLoad) {
  BCLDEntry("x", types.ref(0)).storageLength();  // leaves flag 1
  std::istringstream is(fromHex("07 00 30 00 00 00 02 61 62"));
  EXPECT_EQ(BCLDEntry::iload(is, &types.table), nullptr);
  EXPECT_EQ(BCLDEntry::getError(), BCLDEntry::BCLDENTRY_FAILED);
}

class LDRecordTest : public LDTest {
 protected:
  void SetUp() override {
    LDTest::SetUp();
    add(bctest::kBool, 0, "flag");
    add(bctest::kInt, 1, "");
    add(types.array(bctest::kByte, 0, 9).getIndex(), 0, "buffer");
    add(0, 0, "untyped");
    list.getOffset(3);
    bytes = saved(list);
  }
  std::string bytes;
};

TEST_F(LDRecordTest, ListRoundTripsByteForByte) {
  std::istringstream is(bytes);
  std::unique_ptr<BCLDList> back(BCLDList::iload(is, &types.table));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(saved(*back), bytes);
  EXPECT_EQ(back->getEntryCount(), 4u);
  EXPECT_EQ(BCLDRef(3, back.get()).ptr()->getOffset(), 16u);
}

TEST_F(LDRecordTest, ShortWritesFailTheListAtEveryByte) {
  for (std::size_t limit = 0; limit < bytes.size(); ++limit) {
    SCOPED_TRACE(limit);
    bctest::LimitedBuf buf(limit);
    std::ostream os(&buf);
    list.save(os);
    EXPECT_EQ(Entries::error, KRSEQUENCE_SAVE_FAILED);
    bctest::resetFlags();
  }
}

TEST_F(LDRecordTest, EveryPrefixFailsTheLoad) {
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    SCOPED_TRACE(size);
    bctest::PipeBuf pipe(bytes.substr(0, size));
    std::istream is(&pipe);
    EXPECT_EQ(BCLDList::iload(is, &types.table), nullptr);
    EXPECT_EQ(Entries::error, KRSEQUENCE_LOAD_FAILED);
    bctest::resetFlags();
  }
}

TEST_F(LDRecordTest, CorruptedBytesLoadToNullOrWhatWasRead) {
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (unsigned char flip : {0x01, 0x80, 0xFF}) {
      std::string bad = bytes;
      bad[at] = static_cast<char>(bad[at] ^ flip);
      std::istringstream is(bad);
      std::unique_ptr<BCLDList> back(BCLDList::iload(is, &types.table));
      if (back) {
        const std::string again = saved(*back);
        EXPECT_EQ(bad.compare(0, again.size(), again), 0);
        back->storageLength();
      }
      bctest::resetFlags();
    }
  }
}

TEST_F(LDTest, DumpShowsOffsetNameAndType) {
  BCLDEntry typed("ab", types.ref(5));
  typed.setOffset(48);
  BCLDEntry untyped("cd", types.ref(0));
  std::ostringstream os;
  typed.printOn(os);
  untyped.printOn(os);
  EXPECT_EQ(os.str(), "  48  ab  " + ElemTypes::dumpOf(types.ref(5)) +
                          "   0  cd  *** Error: illegal typeRef ! \n");
}

TEST_F(LDTest, ListingLineStandsAtItsColumns) {
  BCLDEntry typed("ab", types.ref(7));
  typed.setOffset(48);
  BCLDEntry untyped("a-name-longer-than-the-column-is", types.ref(0));
  bctest::NameTable names("T", 256);
  char line[kKRLineSize] = {};
  std::ostringstream os;
  typed.printOn(os, line + 1, line, names.get());
  untyped.printOn(os, line, line, names.get());
  EXPECT_EQ(os.str(),
            " ab                          7    48     T7\n"
            "a-name-longer-than-the-colum0 is 0     ???\n");
  EXPECT_TRUE(std::all_of(line, line + kKRLineSize, [](char c) { return c == 0; }));
}

TEST_F(LDTest, LongListWithViewsLaysOutEveryVariable) {
  constexpr std::uint16_t kCount = 10000;
  for (std::uint16_t n = 1; n <= kCount; ++n) {
    add(bctest::kBool, n % 4 == 0 ? static_cast<std::uint16_t>(n - 3) : 0);
  }
  EXPECT_EQ(list.getLastOffset(), (kCount / 4 - 1) * 3u);
  EXPECT_EQ(list.storageLength(), (kCount / 4) * 3u);
  EXPECT_EQ(BCLDRef(kCount - 1, &list).ptr()->getOffset(), (kCount / 4) * 3u - 1);
}

}  // namespace
