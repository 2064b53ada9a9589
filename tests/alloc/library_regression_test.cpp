// Allocation failures the fault-injection loops found in the library, kept
// as small cases of their own.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <ostream>

#include "bcode/code/bcode.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"
#include "fuzz/recordcheck.h"
#include "tests/support/failing_alloc.h"

namespace {

// Runs `action` with allocation n failing, for n = 1, 2, ... until it
// completes; `onFailure(n)` checks each run that reached the failure.
template <class Action, class Check>
void forEveryAllocation(Action&& action, Check&& onFailure) {
  for (long n = 1; n < 10000; ++n) {
    bcInitBCode();
    bool reached = false;
    bool badAlloc = false;
    try {
      bctest::AllocationFailure failure(n, true);
      action();
      reached = bctest::stopFailingAllocations();
    } catch (const KRErrorNoHeap&) {
      reached = bctest::stopFailingAllocations();
    } catch (const std::bad_alloc&) {
      reached = bctest::stopFailingAllocations();
      badAlloc = true;
    }
    if (!reached) return;
    onFailure(n, badAlloc);
  }
  ADD_FAILURE() << "never completed";
}

// The type table takes ownership of a descriptor even when its growth throws;
// initElemTypes must not delete the descriptor a second time.
TEST(LibraryAllocation, InitElemTypesWhenTheTypeTableCannotGrow) {
  forEveryAllocation(
      [] {
        BCode block(7, KR_FB_KENN);
        block.initElemTypes();
      },
      [](long n, bool badAlloc) { EXPECT_FALSE(badAlloc) << n; });
}

// Length, alignment, equality and the dump of a type keep their per-call
// state in standard containers; a failed allocation there must not leave the
// library as std::bad_alloc.
TEST(LibraryAllocation, TypeQueriesWhenTheirWalkCannotAllocate) {
  KRTypeTab table;
  const KRTypeRef intType = table.add(new KRElemDesc(KR_DT_INT));
  auto array = std::make_unique<KRArrayDesc>(intType);
  array->addDim(1, 4);
  const KRTypeRef arrayType = table.add(array.release());
  const KRTypedesc& desc = *arrayType.ptr();
  bcfuzz::DiscardBuf discard;
  std::ostream sink(&discard);
  forEveryAllocation(
      [&] {
        desc.storageLength();
        desc.alignment();
        static_cast<void>(desc == desc);
        desc.printOn(sink, 0);
      },
      [](long n, bool badAlloc) { EXPECT_FALSE(badAlloc) << n; });
}

}  // namespace
