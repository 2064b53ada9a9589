#include "tests/support/failing_alloc.h"

#include <cstdlib>
#include <new>

#include "bcode/foundation/krarena.h"

namespace bctest {
namespace {

struct HookState {
  bool armed = false;
  bool onlyOne = true;
  bool failed = false;
  long failAt = 0;
  long counted = 0;
  std::size_t largest = 0;
};

thread_local HookState state;

// Counts one allocation and answers whether it must fail.
bool mustFail() {
  if (!state.armed) return false;
  ++state.counted;
  const bool fail = state.onlyOne ? state.counted == state.failAt : state.counted >= state.failAt;
  if (fail) state.failed = true;
  return fail;
}

void* allocate(std::size_t size) {
  if (mustFail()) return nullptr;
  if (state.armed && size > state.largest) state.largest = size;
  return std::malloc(size != 0 ? size : 1);
}

// Every object an arena places is an allocation of its own, counted and
// failed as those of operator new.
bool arenaMayAllocate() {
  return !mustFail();
}

}  // namespace

void failAllocation(long n, bool onlyThatOne) {
  state = HookState{};
  state.armed = true;
  state.onlyOne = onlyThatOne;
  state.failAt = n;
  krSetArenaProbe(&arenaMayAllocate);
}

bool stopFailingAllocations() {
  const bool failed = state.failed;
  state.armed = false;
  return failed;
}

long allocationsCounted() {
  return state.counted;
}

std::size_t largestAllocation() {
  return state.largest;
}

}  // namespace bctest

void* operator new(std::size_t size) {
  void* p = bctest::allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) {
  void* p = bctest::allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return bctest::allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return bctest::allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
