#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "bcode/foundation/kryarr.h"
#include "bcode/foundation/kryref.h"
#include "bcode/foundation/krysequ.h"
#include "tests/foundation/test_item.h"
#include "tests/support/test_util.h"

namespace {

using Table = KRRefTable<Item*>;
using List = KRSequence<Item*>;
using bctest::fromHex;
using bctest::toHex;

class ContainersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Table::error = KRREFTABLE_OK;
    List::error = KRSEQUENCE_OK;
    Item::flag() = Item::OK;
  }
  void TearDown() override { EXPECT_EQ(Item::alive(), 0) << "an owner leaked or double-freed"; }
};

std::string saveTable(const Table& t) {
  std::ostringstream os;
  t.save(os);
  return toHex(os.str());
}

Table* loadTable(const std::string& hex) {
  std::istringstream is(fromHex(hex));
  return Table::loadTable<Table>(is, [](std::istream& in, Item*& e) { return Item::load(in, e); });
}

TEST_F(ContainersTest, ArrayGrowsByStepBeyondItsStore) {
  KRArray<int> a(10, 0, 10);
  EXPECT_EQ(a.getAllocated(), 11);
  a[11] = 7;
  EXPECT_EQ(a.getAllocated(), 22);
  EXPECT_EQ(a.getUpBound(), 11);
  a[22] = 8;
  EXPECT_EQ(a.getAllocated(), 33);
  EXPECT_EQ(a[11], 7);
  // Filling slot by slot keeps to the rule all the way and keeps every value;
  // slots passed over by a jump read as zero.
  for (int i = 23; i <= 65534; ++i) a[i] = i;
  EXPECT_EQ(a.getAllocated(), 65538);
  EXPECT_EQ(a[11], 7);
  EXPECT_EQ(a[22], 8);
  EXPECT_EQ(a[40000], 40000);
  a[70000] = 1;
  EXPECT_EQ(a.getAllocated(), 70011);
  EXPECT_EQ(a[65535], 0);
  EXPECT_EQ(a[69999], 0);
  // A lower bound other than 0 addresses from there.
  KRArray<int> b(5, 3, 2);
  b[3] = 1;
  b[9] = 2;
  EXPECT_EQ(b[3], 1);
  EXPECT_EQ(b.getLoBound(), 3);
}

TEST_F(ContainersTest, ArrayWithoutSlotsHasNoStore) {
  KRArray<int> a(-5, 0, 0);
  EXPECT_EQ(a.getAllocated(), 0);
  EXPECT_EQ(a.getUpBound(), -1);
}

TEST_F(ContainersTest, ArrayAssertionsGuardTheBounds) {
  EXPECT_DEATH(
      {
        KRArray<int> a(2, 1, 2);
        a[0] = 1;
      },
      "loc >= loBound");
  EXPECT_DEATH(
      {
        const KRArray<int> a(2, 0, 2);
        (void)a[3];
      },
      "\\(loc >= loBound\\) && \\(loc <= upBound\\)");
  EXPECT_DEATH(
      {
        KRArray<int> a(0, 0, 0);
        a[5] = 1;
      },
      "assertion failed: 0");
}

TEST_F(ContainersTest, TableHandsOutRisingIndicesFromOne) {
  Table t;
  EXPECT_EQ(t.getCount(), 1);
  EXPECT_EQ(KRReference<Item*>(0, &t).ptr(), nullptr);
  EXPECT_EQ(KRReference<Item*>().ptr(), nullptr);
  auto r1 = t.add(new Item(1));
  auto r2 = t.add(new Item(2));
  EXPECT_EQ(r1.getIndex(), 1);
  EXPECT_EQ(r2.getIndex(), 2);
  EXPECT_EQ(r2.ptr()->value, 2);
  EXPECT_EQ(r2.getTable(), &t);
  // An owner deleting an entry does not free its index.
  delete t[1];
  t[1] = nullptr;
  EXPECT_EQ(t.add(new Item(3)).getIndex(), 3);
  EXPECT_EQ(KRReference<Item*>(9, &t).ptr(), nullptr) << "an index not handed out resolves to none";
  const auto generation = t.getGeneration();
  t.clear();
  EXPECT_EQ(t.getGeneration(), generation + 1);
  EXPECT_EQ(t.getCount(), 1);
  EXPECT_EQ(t.add(new Item(4)).getIndex(), 1);
}

TEST_F(ContainersTest, TableOfSizeZeroBehavesAsSizeOne) {
  Table t(0, 10);
  EXPECT_EQ(t.getCount(), 1);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(t.add(nullptr).getIndex(), i);
}

TEST_F(ContainersTest, TableStopsAt65534) {
  Table t;
  for (std::uint32_t i = 1; i < 65535; ++i) t.add(nullptr);
  EXPECT_EQ(t.getCount(), 65535);
  try {
    t.add(nullptr);
    FAIL() << "no exception";
  } catch (const KRErrorNoHeap& e) {
    EXPECT_STREQ(e.getHeader(), "kryref");
    EXPECT_EQ(e.getLine(), 477);
  }
  EXPECT_EQ(t.getCount(), 65535);
}

TEST_F(ContainersTest, TableRecordKeepsEmptySlots) {
  Table empty;
  EXPECT_EQ(saveTable(empty), "01 00");
  Table t;
  t.add(new Item(0x11));
  t.add(nullptr);
  t.add(new Item(0x33));
  EXPECT_EQ(saveTable(t), "04 00 01 11 00 01 33");

  std::unique_ptr<Table> back(loadTable("04 00 01 11 00 01 33"));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getCount(), 4);
  EXPECT_EQ(back->entryAt(1)->value, 0x11);
  EXPECT_EQ(back->entryAt(2), nullptr);
  EXPECT_EQ(back->entryAt(3)->value, 0x33);
  EXPECT_EQ(saveTable(*back), "04 00 01 11 00 01 33");

  std::unique_ptr<Table> none(loadTable("01 00"));
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->getCount(), 1);
  // Only a presence byte of exactly 1 means present.
  std::unique_ptr<Table> two(loadTable("03 00 02 01 22"));
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->entryAt(1), nullptr);
  EXPECT_EQ(two->entryAt(2)->value, 0x22);
}

TEST_F(ContainersTest, TableLoadFailuresFreeEverything) {
  struct Case {
    const char* hex;
    const char* why;
  };
  const Case cases[] = {
      {"", "no count"},
      {"03", "half a count"},
      {"03 00 01 11", "missing presence byte"},
      {"03 00 01 11 01", "missing entry"},
      {"03 00 01 11 01 EE", "entry loader fails"},
  };
  for (const auto& c : cases) {
    Table::error = KRREFTABLE_OK;
    EXPECT_EQ(loadTable(c.hex), nullptr) << c.why;
    EXPECT_EQ(Table::error, KRREFTABLE_LOAD_FAILED) << c.why;
  }
  // A flag left set by an earlier failure refuses the load before any read.
  std::istringstream is(fromHex("01 00"));
  EXPECT_EQ(
      Table::loadTable<Table>(is, [](std::istream& in, Item*& e) { return Item::load(in, e); }),
      nullptr);
  EXPECT_EQ(is.tellg(), 0);
}

TEST_F(ContainersTest, SavesStopAtTheFailingField) {
  Table t;
  t.add(new Item(0x11));
  t.add(new Item(0x22));
  List l;
  l.append(new Item(0x11));
  const std::string table = fromHex("03 00 01 11 01 22"), list = fromHex("01 00 11");
  for (std::size_t k = 0; k < table.size(); ++k) {
    Table::error = KRREFTABLE_OK;
    List::error = KRSEQUENCE_OK;
    Item::flag() = Item::OK;
    bctest::LimitedBuf tableBuf(k), listBuf(k);
    std::ostream tableOs(&tableBuf), listOs(&listBuf);
    t.save(tableOs);
    Item::flag() = Item::OK;
    l.save(listOs);
    EXPECT_EQ(Table::error, KRREFTABLE_SAVE_FAILED) << k;
    EXPECT_EQ(tableBuf.bytes(), table.substr(0, k)) << k;
    EXPECT_EQ(List::error, k < list.size() ? KRSEQUENCE_SAVE_FAILED : KRSEQUENCE_OK) << k;
    EXPECT_EQ(listBuf.bytes(), list.substr(0, k)) << k;
  }
}

TEST_F(ContainersTest, TableIteratorSkipsEmptySlots) {
  Table t;
  {
    KRRefTableIterator<Item*> it(t);
    EXPECT_TRUE(it.end());
    EXPECT_EQ(it.current(), nullptr);
  }
  t.add(nullptr);
  t.add(nullptr);
  t.add(new Item(3));
  t.add(nullptr);
  t.add(new Item(5));
  KRRefTableIterator<Item*> it(t);
  std::vector<int> seen;
  for (; !it.end(); ++it) seen.push_back(it.index() * 100 + it.current()->value);
  EXPECT_EQ(seen, (std::vector<int>{303, 505}));
}

TEST_F(ContainersTest, ListOrderAndRemoval) {
  List l;
  l.setOwner(1);
  EXPECT_TRUE(l.isEmpty());
  EXPECT_EQ(l.removeFirst(), nullptr);
  EXPECT_EQ(List::error, KRSEQUENCE_NO_ELEMENT);
  l.append(new Item(2));
  l.prepend(new Item(1));
  l.append(new Item(3));
  EXPECT_EQ(l.getCount(), 3u);
  const auto generation = l.getGeneration();
  Item* first = l.removeFirst();
  EXPECT_EQ(first->value, 1);
  delete first;
  EXPECT_EQ(l.getGeneration(), generation + 1);
  EXPECT_EQ(l.getCount(), 2u);
  // Constructing a list clears its flag.
  List::error = KRSEQUENCE_SAVE_FAILED;
  List other;
  EXPECT_EQ(List::error, KRSEQUENCE_OK);
}

// Long lists span several node blocks and reuse the nodes they unlink.
TEST_F(ContainersTest, LongListKeepsOrderWhileNodesAreReused) {
  List l;
  for (int i = 0; i < 3000; ++i) l.append(new Item(i));
  for (int i = 0; i < 1000; ++i) delete l.removeFirst();
  for (int i = 999; i >= 500; --i) l.prepend(new Item(i));
  for (int i = 3000; i < 3500; ++i) l.append(new Item(i));
  EXPECT_EQ(l.getCount(), 3000u);
  int expected = 500;
  for (KRSequenceIterator<Item*> it(l, 1); !it.end(); ++it) {
    ASSERT_EQ(it.current()->value, static_cast<std::uint8_t>(expected));  // values are bytes
    ++expected;
  }
  EXPECT_EQ(expected, 3500);
  l.clear();
  EXPECT_TRUE(l.isEmpty());
  l.append(new Item(7));
  EXPECT_EQ(KRSequenceIterator<Item*>(l, 0).current()->value, 7);
}

TEST_F(ContainersTest, IteratorOverEmptyListStandsOnASentinel) {
  List l;
  KRSequenceIterator<Item*> forward(l, 1);
  EXPECT_TRUE(forward.end());
  KRSequenceIterator<Item*> backward(l, 0);
  EXPECT_TRUE(backward.atHead());
  EXPECT_FALSE(backward.end());
  EXPECT_EQ(backward.current(), nullptr);
  EXPECT_EQ(List::error, KRSEQUENCE_NO_ELEMENT);
}

TEST_F(ContainersTest, IteratorWalksBothWays) {
  List l;
  for (int v = 1; v <= 3; ++v) l.append(new Item(static_cast<std::uint8_t>(v)));
  KRSequenceIterator<Item*> it(l, 0);
  EXPECT_EQ(it.current()->value, 3);
  --it;
  --it;
  EXPECT_EQ(it.current()->value, 1);
  --it;
  EXPECT_TRUE(it.atHead());
  --it;
  EXPECT_TRUE(it.atHead()) << "the head's prev is itself";
  ++it;
  EXPECT_EQ(it.current()->value, 1);
  KRSequenceIterator<Item*> copy = it;
  ++copy;
  ++copy;
  ++copy;
  EXPECT_TRUE(copy.end());
  ++copy;
  EXPECT_TRUE(copy.end()) << "the tail's next is itself";
  copy.restart();
  EXPECT_EQ(copy.current()->value, 1);
}

TEST_F(ContainersTest, ListRecordRoundTrip) {
  List l;
  l.append(new Item(0xA));
  l.append(new Item(0xB));
  std::ostringstream os;
  l.save(os);
  EXPECT_EQ(toHex(os.str()), "02 00 0A 0B");

  List back;
  std::istringstream is(os.str());
  EXPECT_TRUE(back.loadRecord(is, [](std::istream& in, Item*& e) { return Item::load(in, e); }));
  ASSERT_EQ(back.getCount(), 2u);
  KRSequenceIterator<Item*> it(back, 1);
  EXPECT_EQ(it.current()->value, 0xA);

  for (const char* bad : {"", "02", "02 00 0A", "02 00 0A EE"}) {
    List::error = KRSEQUENCE_OK;
    List partial;
    std::istringstream in(fromHex(bad));
    EXPECT_FALSE(partial.loadRecord(in, [](std::istream& s, Item*& e) { return Item::load(s, e); }))
        << bad;
    EXPECT_EQ(List::error, KRSEQUENCE_LOAD_FAILED) << bad;
  }
}

TEST_F(ContainersTest, FlagsBelongToTheirThread) {
  Table::error = KRREFTABLE_SAVE_FAILED;
  List::error = KRSEQUENCE_NO_ELEMENT;
  int seenTable = -1;
  int seenList = -1;
  std::thread other([&] {
    seenTable = Table::error;
    seenList = List::error;
    Table::error = KRREFTABLE_LOAD_FAILED;
  });
  other.join();
  EXPECT_EQ(seenTable, KRREFTABLE_OK);
  EXPECT_EQ(seenList, KRSEQUENCE_OK);
  EXPECT_EQ(Table::error, KRREFTABLE_SAVE_FAILED);
}

}  // namespace
