#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/types/krtypedesc.h"
#include "tests/interface/list_fixture.h"

namespace {

using namespace bctest;
using Entries = KRSequence<BCLDEntry*>;

class LDTest : public ::testing::Test {
 protected:
  void SetUp() override { resetFlags(); }

  BCLDRef add(BCLDList& to, std::uint16_t type, std::uint16_t view = 0, const char* name = "v") {
    auto* entry = new BCLDEntry(name, types.ref(type));
    entry->setViewVarNo(view);
    return to.add(entry);
  }
  static std::string saved(const BCLDList& l) {
    std::ostringstream os;
    l.save(os);
    return os.str();
  }

  ElemTypes types;
  BCLDList list;
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
    std::vector<std::uint32_t> offsets;
    for (BCLDListIterator it(fresh, 1); !it.end(); ++it)
      offsets.push_back(it.current()->getOffset());
    EXPECT_EQ(offsets, c.offsets);
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
  BCLDEntry untyped("x", types.ref(0));
  EXPECT_EQ(untyped.getDataType(), 0);
  EXPECT_EQ(untyped.storageLength(), 1u);
  EXPECT_EQ(BCLDEntry::getError(), BCLDEntry::BCLDENTRY_FAILED);
  BCLDEntry::resetError();
  EXPECT_EQ(untyped.alignment(), 1u);
  EXPECT_EQ(BCLDEntry::getError(), BCLDEntry::BCLDENTRY_FAILED);
}

TEST_F(LDTest, ReferencesNameVariablesByNumber) {
  const BCLDRef first = add(list, kInt);
  EXPECT_EQ(first.getVarNo(), 1);
  EXPECT_EQ(first.getListPtr(), &list);
  const BCLDRef second = add(list, kBool);
  EXPECT_EQ(second.ptr()->getDataType(), 1);
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

  BCLDListIterator backward(list, 0);
  EXPECT_EQ(backward.current(), second.ptr());
  EXPECT_EQ((--backward).current(), first.ptr());
  EXPECT_EQ((--backward).current(), nullptr);
  EXPECT_EQ(Entries::error, KRSEQUENCE_NO_ELEMENT);
}

TEST_F(LDTest, EntryRecordIsIndexOffsetAndName) {
  const BCLDRef ref = add(list, 7, 1, "ab");
  ref.ptr()->setOffset(48);
  std::ostringstream os;
  ref.ptr()->save(os);
  EXPECT_EQ(toHex(os.str()), "07 00 30 00 00 00 02 61 62");
  EXPECT_EQ(toHex(saved(list)), "01 00 07 00 30 00 00 00 02 61 62");

  std::istringstream is(os.str());
  std::unique_ptr<BCLDEntry> back(BCLDEntry::iload(is, &types.table));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getOffset(), 48u);
  EXPECT_EQ(back->getViewVarNo(), 0);
  EXPECT_STREQ(back->getName().c_str(), "ab");
  EXPECT_EQ(back->getTypeRef().getTable(), &types.table);

  std::istringstream empty(fromHex("00 00"));
  std::unique_ptr<BCLDList> none(BCLDList::iload(empty, &types.table));
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->getEntryCount(), 0u);

  // A flag left over from an earlier failure fails the next load.
  BCLDEntry("x", types.ref(0)).storageLength();
  std::istringstream again(os.str());
  EXPECT_EQ(BCLDEntry::iload(again, &types.table), nullptr);
}

TEST_F(LDTest, ListRecordsRoundTripAndFailCleanly) {
  add(list, kBool, 0, "flag");
  add(list, kInt, 1, "");
  add(list, types.array(kByte, 0, 9).getIndex(), 0, "buffer");
  add(list, 0, 0, "untyped");
  list.getOffset(3);
  const std::string bytes = saved(list);
  std::istringstream is(bytes);
  std::unique_ptr<BCLDList> back(BCLDList::iload(is, &types.table));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(saved(*back), bytes);
  EXPECT_EQ(BCLDRef(3, back.get()).ptr()->getOffset(), 16u);

  checkShortWrites(
      bytes.size(), [this](std::ostream& os) { list.save(os); },
      [] { EXPECT_EQ(Entries::error, KRSEQUENCE_SAVE_FAILED); });
  checkDamagedRecords(bytes, [this](std::istream& in) -> std::optional<std::string> {
    std::unique_ptr<BCLDList> loaded(BCLDList::iload(in, &types.table));
    if (!loaded) {
      EXPECT_EQ(Entries::error, KRSEQUENCE_LOAD_FAILED);
      return std::nullopt;
    }
    const std::string again = saved(*loaded);
    loaded->storageLength();  // lays out whatever was read
    return again;
  });
}

TEST_F(LDTest, DumpAndListingShowOffsetNameAndType) {
  BCLDEntry typed("ab", types.ref(7));
  typed.setOffset(48);
  BCLDEntry untyped("a-name-longer-than-the-column-is", types.ref(0));
  std::ostringstream dump;
  typed.printOn(dump);
  untyped.printOn(dump);
  EXPECT_EQ(dump.str(),
            "  48  ab  " + ElemTypes::dumpOf(types.ref(7)) +
                "   0  a-name-longer-than-the-column-is  *** Error: illegal typeRef ! \n");

  NameTable names("T", 256);
  char line[160] = {};
  std::ostringstream listing;
  typed.printOn(listing, line + 1, line, names.get());
  untyped.printOn(listing, line, line, names.get());
  EXPECT_EQ(listing.str(), columns({{1, "ab"}, {29, "7"}, {34, "48"}, {40, " T7"}}) +
                               "a-name-longer-than-the-colum0 is 0     ???\n");
  EXPECT_TRUE(cleared(line));
}

TEST_F(LDTest, LongListWithViewsLaysOutEveryVariable) {
  constexpr std::uint16_t kCount = 10000;
  for (std::uint16_t n = 1; n <= kCount; ++n) add(list, kBool, n % 4 == 0 ? n - 3 : 0);
  EXPECT_EQ(list.getLastOffset(), (kCount / 4 - 1) * 3u);
  EXPECT_EQ(list.storageLength(), (kCount / 4) * 3u);
  EXPECT_EQ(BCLDRef(kCount - 1, &list).ptr()->getOffset(), (kCount / 4) * 3u - 1);
}

// The block's layout measures the last variable too, so a type that cannot
// be measured fails it wherever it is declared.
TEST(LDBlockLayout, LastVariableIsMeasuredToo) {
  struct Case {
    const char* what;
    int depth;  // structures, each holding a BOOL and the one below
    bool cyclic;
  };
  for (const Case& c : {Case{"300 levels deep", 300, false}, Case{"holds itself", 0, true}}) {
    SCOPED_TRACE(c.what);
    bcInitBCode();
    BCode block(1, KR_FB_KENN);
    block.initElemTypes();
    KRTypeTab& types = block.getTypeTab();
    KRTypeRef type = types.getTypeRef(KR_DT_INT);
    for (int level = 0; level < c.depth; ++level) {
      auto structure = std::make_unique<KRStructDesc>();
      structure->addComp(KRString("b"), types.getTypeRef(KR_DT_BOOL));
      structure->addComp(KRString("t"), type);
      type = types.add(structure.release());
    }
    if (c.cyclic) {
      auto structure = std::make_unique<KRStructDesc>();
      structure->addComp(KRString("me"), KRTypeRef(types.getCount(), &types));
      type = types.add(structure.release());
    }
    BCLDList& lsd = block.getLSDList();
    lsd.add(new BCLDEntry("first", types.getTypeRef(KR_DT_INT)));
    lsd.add(new BCLDEntry("last", type));
    block.calcOffsets();
    EXPECT_EQ(BCode::getError(), c.cyclic ? BCode::BCODE_FAILED : BCode::BCODE_OK);
    if (!c.cyclic) {
      EXPECT_EQ(lsd.lookup(BCLDRef(2, &lsd))->getOffset(), 16U);
      EXPECT_EQ(lsd.storageLength(), 16U + 16U * (c.depth + 1));
    }
  }
  bcInitBCode();
}

}  // namespace
