#include "tests/support/failing_alloc.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <cstdlib>
#include <cstring>
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
  bool libraryFailed = false;  // of the last failure that may throw
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

// Whose allocation the code at `address` makes: the library's, the test
// program's, or neither (the standard library, libc, and the arena's own
// entry points, which allocate on behalf of whoever called them).
enum class Owner { kLibrary, kProgram, kNeither };

Owner ownerOf(void* address) {
  static Dl_info program{};
  if (program.dli_fbase == nullptr) dladdr(reinterpret_cast<void*>(&ownerOf), &program);
  Dl_info info{};
  void* entry = nullptr;  // the symbol's table entry
  if (dladdr1(address, &info, &entry, RTLD_DL_SYMENT) == 0) return Owner::kNeither;
  const auto* symbol = static_cast<const ElfW(Sym)*>(entry);
  if (info.dli_fbase == program.dli_fbase) return Owner::kProgram;
  if (info.dli_fname == nullptr || std::strstr(info.dli_fname, "libbcode") == nullptr) {
    return Owner::kNeither;
  }
  const bool arenaEntry = symbol != nullptr && info.dli_sname != nullptr &&
                          address < static_cast<char*>(info.dli_saddr) + symbol->st_size &&
                          (std::strstr(info.dli_sname, "krArena") != nullptr ||
                           std::strstr(info.dli_sname, "KRArena8allocate") != nullptr);
  return arenaEntry ? Owner::kNeither : Owner::kLibrary;
}

// Whether the allocation failing now was asked for by the library: past the
// frames of this allocator (the program's own, innermost), the first frame
// of the library or of the program tells.
bool libraryAsks() {
  void* frames[48];
  const int depth = backtrace(frames, 48);
  int i = 0;
  while (i < depth && ownerOf(frames[i]) == Owner::kProgram) ++i;
  for (; i < depth; ++i) {
    const Owner owner = ownerOf(frames[i]);
    if (owner != Owner::kNeither) return owner == Owner::kLibrary;
  }
  return false;
}

// A failure that may end in std::bad_alloc notes whose allocation it was.
void noteThrowingFailure() {
  state.libraryFailed = libraryAsks();
}

void* allocate(std::size_t size) {
  if (mustFail()) return nullptr;
  if (state.armed && size > state.largest) state.largest = size;
  return std::malloc(size != 0 ? size : 1);
}

// Every object an arena places is an allocation of its own, counted and
// failed as those of operator new.
bool arenaMayAllocate() {
  if (!mustFail()) return true;
  noteThrowingFailure();
  return false;
}

}  // namespace

void throwBadAlloc() {
  noteThrowingFailure();
  throw std::bad_alloc();
}

void failAllocation(long n, bool onlyThatOne) {
  // The unwinder loads itself on first use; not while allocations fail.
  static const bool unwinderReady = [] {
    void* frame = nullptr;
    return backtrace(&frame, 1) >= 0;
  }();
  static_cast<void>(unwinderReady);
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

bool libraryAllocationFailed() {
  return state.libraryFailed;
}

}  // namespace bctest

void* operator new(std::size_t size) {
  void* p = bctest::allocate(size);
  if (p == nullptr) bctest::throwBadAlloc();
  return p;
}
void* operator new[](std::size_t size) {
  void* p = bctest::allocate(size);
  if (p == nullptr) bctest::throwBadAlloc();
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
