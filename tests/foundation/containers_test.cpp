#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "bcode/foundation/kryarr.h"
#include "bcode/foundation/kryref.h"
#include "bcode/foundation/krysequ.h"
#include "tests/foundation/test_item.h"
#include "tests/support/record_check.h"

namespace {

using Table = KRRefTable<Item*>;
using List = KRSequence<Item*>;
using bctest::fromHex;

void clearItemFlags() {
  Table::error = KRREFTABLE_OK;
  List::error = KRSEQUENCE_OK;
  Item::flag() = Item::OK;
}

class ContainersTest : public ::testing::Test {
 protected:
  void SetUp() override { clearItemFlags(); }
  void TearDown() override { EXPECT_EQ(Item::alive(), 0) << "an owner leaked or double-freed"; }
};

Table* loadTable(std::istream& is) {
  return Table::loadTable<Table>(is, [](std::istream& in, Item*& e) { return Item::load(in, e); });
}
Table* loadTable(const std::string& hex) {
  std::istringstream is(fromHex(hex));
  return loadTable(is);
}
std::unique_ptr<List> loadList(std::istream& is) {
  auto list = std::make_unique<List>();
  if (!list->loadRecord(is, [](std::istream& in, Item*& e) { return Item::load(in, e); })) {
    return nullptr;
  }
  return list;
}

TEST_F(ContainersTest, ArrayGrowsByStepBeyondItsStore) {
  KRArray<int> a(10, 0, 10);
  EXPECT_EQ(a.getAllocated(), 11);
  a[11] = 7;
  EXPECT_EQ(a.getAllocated(), 22);
  EXPECT_EQ(a.getUpBound(), 11);
  // Filling slot by slot keeps to the rule all the way and keeps every value;
  // slots passed over by a jump read as zero.
  for (int i = 12; i <= 65534; ++i) a[i] = i;
  EXPECT_EQ(a.getAllocated(), 65538);
  EXPECT_EQ(a[11], 7);
  EXPECT_EQ(a[40000], 40000);
  a[70000] = 1;
  EXPECT_EQ(a.getAllocated(), 70011);
  EXPECT_EQ(a[69999], 0);
  // A lower bound other than 0 addresses from there; no slots, no store.
  KRArray<int> b(5, 3, 2);
  b[9] = 2;
  EXPECT_EQ(b.getLoBound(), 3);
  EXPECT_EQ(b.getAllocated(), 9);
  EXPECT_EQ(KRArray<int>(-5, 0, 0).getAllocated(), 0);
}

TEST_F(ContainersTest, ArrayAssertionsGuardTheBounds) {
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
  Table t(0, 10);  // a size of 0 behaves as 1
  EXPECT_EQ(t.getCount(), 1);
  EXPECT_EQ(KRReference<Item*>(0, &t).ptr(), nullptr);
  EXPECT_EQ(KRReference<Item*>().ptr(), nullptr);
  auto r1 = t.add(new Item(1));
  auto r2 = t.add(new Item(2));
  EXPECT_EQ(r1.getIndex(), 1);
  EXPECT_EQ(r2.ptr()->value, 2);
  EXPECT_EQ(r2.getTable(), &t);
  // An owner deleting an entry does not free its index.
  delete t[1];
  t[1] = nullptr;
  EXPECT_EQ(t.add(new Item(3)).getIndex(), 3);
  for (int i = 4; i <= 30; ++i) EXPECT_EQ(t.add(nullptr).getIndex(), i);
  EXPECT_EQ(KRReference<Item*>(31, &t).ptr(), nullptr) << "an index not handed out";
  const auto generation = t.getGeneration();
  t.clear();
  EXPECT_EQ(t.getGeneration(), generation + 1);
  EXPECT_EQ(t.add(new Item(4)).getIndex(), 1);
}

TEST_F(ContainersTest, TableStopsAt65534) {
  Table t;
  for (std::uint32_t i = 1; i < 65535; ++i) t.add(nullptr);
  try {
    t.add(nullptr);
    FAIL() << "no exception";
  } catch (const KRErrorNoHeap& e) {
    EXPECT_STREQ(e.getHeader(), "kryref");
    EXPECT_EQ(e.getLine(), 477);
  }
  EXPECT_EQ(t.getCount(), 65535);
}

const bctest::RecordFlag kTableFlag{[] { return static_cast<int>(Table::error); },
                                    KRREFTABLE_LOAD_FAILED, KRREFTABLE_SAVE_FAILED, clearItemFlags};
const bctest::RecordFlag kListFlag{[] { return static_cast<int>(List::error); },
                                   KRSEQUENCE_LOAD_FAILED, KRSEQUENCE_SAVE_FAILED, clearItemFlags};

TEST_F(ContainersTest, TableRecordKeepsEmptySlots) {
  bctest::checkRecord(
      Table(), [](std::istream& is) { return loadTable(is); }, kTableFlag, "01 00");
  Table t;
  t.add(new Item(0x11));
  t.add(nullptr);
  t.add(new Item(0x33));
  const auto back = bctest::checkRecord(
      t, [](std::istream& is) { return loadTable(is); }, kTableFlag, "04 00 01 11 00 01 33");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->entryAt(2), nullptr);
  EXPECT_EQ(back->entryAt(3)->value, 0x33);
  std::vector<int> seen;  // the iterator passes over empty slots
  for (KRRefTableIterator<Item*> it(*back); !it.end(); ++it) {
    seen.push_back(it.index() * 100 + it.current()->value);
  }
  EXPECT_EQ(seen, (std::vector<int>{117, 351}));
  EXPECT_TRUE(KRRefTableIterator<Item*>(Table()).end());
  // Only a presence byte of exactly 1 means present.
  std::unique_ptr<Table> two(loadTable("03 00 02 01 22"));
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->entryAt(1), nullptr);
  EXPECT_EQ(two->entryAt(2)->value, 0x22);
}

TEST_F(ContainersTest, FailedLoadsFreeWhatTheyRead) {
  EXPECT_EQ(loadTable("03 00 01 11 01 EE"), nullptr) << "the entry's loader fails";
  EXPECT_EQ(Table::error, KRREFTABLE_LOAD_FAILED);
  // A flag left set by an earlier failure refuses the load before any read.
  std::istringstream is(fromHex("01 00"));
  EXPECT_EQ(loadTable(is), nullptr);
  EXPECT_EQ(is.tellg(), 0);
  std::istringstream list(fromHex("02 00 0A EE"));
  EXPECT_EQ(loadList(list), nullptr);
  EXPECT_EQ(List::error, KRSEQUENCE_LOAD_FAILED);
}

TEST_F(ContainersTest, ListRecordAndRemoval) {
  List l;
  l.setOwner(1);
  EXPECT_EQ(l.removeFirst(), nullptr);
  EXPECT_EQ(List::error, KRSEQUENCE_NO_ELEMENT);
  l.append(new Item(0xB));
  l.prepend(new Item(0xA));
  bctest::checkRecord(l, loadList, kListFlag, "02 00 0A 0B");
  const auto generation = l.getGeneration();
  Item* first = l.removeFirst();
  EXPECT_EQ(first->value, 0xA);
  delete first;
  EXPECT_EQ(l.getGeneration(), generation + 1);
  EXPECT_EQ(l.getCount(), 1u);
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
}

// Both ends are sentinels: the head's prev and the tail's next are themselves.
TEST_F(ContainersTest, IteratorWalksBothWaysBetweenSentinels) {
  List l;
  KRSequenceIterator<Item*> empty(l, 0);
  EXPECT_TRUE(empty.atHead());
  EXPECT_FALSE(empty.end());
  EXPECT_EQ(empty.current(), nullptr);
  EXPECT_EQ(List::error, KRSEQUENCE_NO_ELEMENT);
  EXPECT_TRUE(KRSequenceIterator<Item*>(l, 1).end());
  for (int v = 1; v <= 3; ++v) l.append(new Item(static_cast<std::uint8_t>(v)));
  KRSequenceIterator<Item*> it(l, 0);
  EXPECT_EQ(it.current()->value, 3);
  --it;
  --it;
  --it;
  --it;
  EXPECT_TRUE(it.atHead());
  ++it;
  EXPECT_EQ(it.current()->value, 1);
  KRSequenceIterator<Item*> copy = it;
  for (int i = 0; i < 4; ++i) ++copy;
  EXPECT_TRUE(copy.end());
  copy.restart();
  EXPECT_EQ(copy.current()->value, 1);
}

}  // namespace
