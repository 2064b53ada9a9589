// KRErrorNoHeap at every site of the containers and strings, by failing the
// allocation the site makes rather than by exhausting memory.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "bcode/foundation/kryarr.h"
#include "bcode/foundation/kryref.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/foundation/krystrng.h"
#include "tests/foundation/test_item.h"
#include "tests/support/failing_alloc.h"
#include "tests/support/test_util.h"

namespace {

// Keeps the optimiser from eliding an allocation whose result is unused.
template <class T>
void keep(T& object) {
  asm volatile("" : : "r"(&object) : "memory");
}

// Runs `action` with its first allocation failing and reports the site thrown.
std::string siteOfFirstFailure(const std::function<void()>& action, long failAt = 1) {
  try {
    bctest::AllocationFailure failure(failAt, true);
    action();
  } catch (const KRErrorNoHeap& e) {
    return std::string(e.getHeader()) + ":" + std::to_string(e.getLine());
  }
  return "none";
}

TEST(AllocationFailure, EachSiteNamesItsHeaderAndLine) {
  EXPECT_EQ(siteOfFirstFailure([] {
              KRArray<int> a(10, 0, 10);
              keep(a);
            }),
            "kryarr:335");
  {
    KRArray<int> a(0, 0, 1);
    EXPECT_EQ(siteOfFirstFailure([&] {
                a[5] = 1;
                keep(a);
              }),
              "kryarr:314");
    a[5] = 2;  // still usable afterwards
  }
  EXPECT_EQ(siteOfFirstFailure([] {
              KRRefTable<int*> t;
              keep(t);
            }),
            "kryref:450");
  EXPECT_EQ(siteOfFirstFailure(
                [] {
                  KRRefTable<int*> t;
                  keep(t);
                },
                2),
            "kryarr:335");
  {
    KRRefTable<int*> t;
    EXPECT_EQ(siteOfFirstFailure([&] {
                t.clear();
                keep(t);
              }),
              "kryref:646");
    EXPECT_EQ(siteOfFirstFailure(
                  [&] {
                    t.clear();
                    keep(t);
                  },
                  2),
              "kryarr:335");
  }
  {
    KRSequence<int*> l;
    l.setOwner(0);
    EXPECT_EQ(siteOfFirstFailure([&] { l.prepend(nullptr); }), "krysequ:609");
    EXPECT_EQ(siteOfFirstFailure([&] { l.append(nullptr); }), "krysequ:630");
    EXPECT_TRUE(l.isEmpty());
  }
  EXPECT_EQ(siteOfFirstFailure([] {
              KRString s("abc");
              keep(s);
            }),
            "krystrng:279");
  {
    KRString source("abc");
    EXPECT_EQ(siteOfFirstFailure([&] {
                KRString copy(source);
                keep(copy);
              }),
              "krystrng:324");
    KRString target;
    EXPECT_EQ(siteOfFirstFailure([&] { target = source; }), "krystrng:324");
    EXPECT_STREQ(target.c_str(), "") << "a failed copy leaves the old value";
  }
}

}  // namespace

namespace {

bool loadItem(std::istream& in, Item*& e) {
  return Item::load(in, e);
}

// A loaded element whose node or slot cannot be allocated is freed, not lost.
// The records come through a pipe, which tells no remaining bytes, so that
// the loads reserve nothing and grow as they go.
TEST(AllocationFailure, LoadedElementsAreNotLostWhenTheirContainerCannotGrow) {
  {
    KRSequence<Item*> list;
    bctest::PipeBuf pipe(bctest::fromHex("01 00 05"));
    std::istream is(&pipe);
    // Allocation 1 is the element, 2 its node.
    EXPECT_THROW(
        {
          bctest::AllocationFailure failure(2, true);
          list.loadRecord(is, loadItem);
        },
        KRErrorNoHeap);
    EXPECT_TRUE(list.isEmpty());
  }
  EXPECT_EQ(Item::alive(), 0);
  {
    // Slots 1 .. 10 fit the first store; the eleventh entry makes it grow.
    std::string record = bctest::fromHex("0C 00");
    for (int i = 1; i <= 11; ++i) record += bctest::fromHex("01 07");
    KRRefTable<Item*> table;
    table.clear();
    bctest::PipeBuf pipe(record);
    std::istream is(&pipe);
    EXPECT_THROW(
        {
          bctest::AllocationFailure failure(12, true);
          table.loadRecord(is, loadItem);
        },
        KRErrorNoHeap);
  }
  EXPECT_EQ(Item::alive(), 0);
}

// A count read from a record reserves no more elements than the bytes left
// could hold: a hostile count of 65535 before two bytes costs no megabyte.
TEST(AllocationFailure, CountsReserveNoMoreThanTheRemainingBytesHold) {
  const std::string tail = bctest::fromHex("01 07");
  KRSequence<Item*> list;
  std::istringstream listRecord(bctest::fromHex("FF FF") + tail);
  KRRefTable<Item*> table;
  table.clear();
  std::istringstream tableRecord(bctest::fromHex("FF FF") + tail);
  {
    bctest::AllocationFailure counting(0, true);
    list.loadRecord(listRecord, loadItem);
    table.loadRecord(tableRecord, loadItem);
    EXPECT_LT(bctest::largestAllocation(), 256u);
  }
  KRSequence<Item*>::error = KRSEQUENCE_OK;
  KRRefTable<Item*>::error = KRREFTABLE_OK;
}

}  // namespace
