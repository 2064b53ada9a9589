// A test-only allocation hook: the test program that links failing_alloc.cpp
// replaces the global operator new so that chosen allocations fail.
#ifndef BCODE_TESTS_SUPPORT_FAILING_ALLOC_H
#define BCODE_TESTS_SUPPORT_FAILING_ALLOC_H

#include <cstddef>

namespace bctest {

// From now on on this thread, allocation number `n` (counted from 1) fails;
// with `onlyThatOne` false every later allocation fails too.
void failAllocation(long n, bool onlyThatOne);
// Stops failing; answers whether any allocation was made to fail.
bool stopFailingAllocations();
// Number of allocations counted since failAllocation on this thread.
long allocationsCounted();
// The largest of them, in bytes.
std::size_t largestAllocation();
// Whether the last failed allocation that could end in std::bad_alloc was
// asked for by the library itself rather than by the code calling it (the
// test, the tool's support code, the standard library on its behalf).
bool libraryAllocationFailed();
// Notes whose allocation failed and throws std::bad_alloc.
[[noreturn]] void throwBadAlloc();

// Fails allocations while it lives.
class AllocationFailure {
 public:
  AllocationFailure(long n, bool onlyThatOne) { failAllocation(n, onlyThatOne); }
  ~AllocationFailure() { stopFailingAllocations(); }
  AllocationFailure(const AllocationFailure&) = delete;
  AllocationFailure& operator=(const AllocationFailure&) = delete;
};

}  // namespace bctest

#endif  // BCODE_TESTS_SUPPORT_FAILING_ALLOC_H
