#include "bcode/foundation/krarena.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>

#include "bcode/foundation/krerror.h"

// Older C libraries do not name it yet; a kernel that does not know it
// refuses the call.
#if defined(__linux__) && !defined(MADV_COLLAPSE)
#define MADV_COLLAPSE 25
#endif

// How an object's storage is found again when it is deleted:
// - a chunk is cut into 64 KiB segments aligned to their size; the first
//   eight bytes of a segment hold the address of its chunk, so that masking
//   an object's address finds the chunk;
// - objects in a chunk start 8 bytes past a multiple of 16, while the heap
//   hands out objects of 16 bytes or more at multiples of 16 (the alignment
//   the language promises for such sizes), so that bit 3 of an address tells
//   an arena object from a heap object.
// A chunk counts the objects it holds, plus a large bias while its arena
// still hands out objects from it; whoever brings the count to 0 (an
// object's delete or the arena's destructor) returns the chunk to the heap.
// Objects deleted on the thread where their arena is current (a failed load,
// a block destroying what it loaded) are counted off without an atomic
// operation, in the count the arena folds in when it lets go of the chunk.

struct KRArenaChunk {
  std::atomic<std::uint32_t> live;
  // Objects handed out less those deleted while the arena was current on
  // the deleting thread; only the arena's thread touches it.
  std::uint32_t handedOut;
  void* raw;  // as the heap returned it
  KRArenaChunk* older;
  // Its arena while that lives, then null: a later arena at the same
  // address must not take the chunk for its own.
  std::atomic<const KRArena*> arena;
};

namespace {

constexpr std::uintptr_t kSegmentBytes = std::uintptr_t{1} << 16;
constexpr std::uintptr_t kArenaBit = 8;
constexpr std::uint32_t kArenaBias = std::uint32_t{1} << 31;
// Chunks grow from one segment to sixteen. An arena told to expect at least
// three quarters of a huge page takes chunks of a huge page instead, each a
// single fault where the system hands out huge pages on request rather than
// 512 faults of 4 KiB pages (which cost as much as filling the page many
// times over); a huge page is resident as a whole, so only large loads ask.
constexpr std::size_t kFirstChunkBytes = kSegmentBytes;
constexpr std::size_t kMaxChunkBytes = 16 * kSegmentBytes;
constexpr std::size_t kMinHugeFill = kKRHugePageBytes / 4 * 3;
// What a heap keeps with an allocation beside the bytes asked for (glibc:
// 16 bytes before them); asking this much less than whole huge pages leaves
// the allocation within them.
constexpr std::size_t kHeapHeaderBytes = 64;
// Larger objects than this that do not fit in the current segment take
// segments of their own (allocateLarge).
constexpr std::size_t kMaxArenaObject = 1024;

thread_local KRArena* tCurrent = nullptr;
thread_local bool (*tProbe)() = nullptr;

std::uintptr_t addressOf(const void* p) {
  return reinterpret_cast<std::uintptr_t>(p);
}

// `at` rounded down and up to a multiple of `page`, a power of two.
constexpr std::uintptr_t alignDown(std::uintptr_t at, std::uintptr_t page) {
  return at & ~(page - 1);
}
constexpr std::uintptr_t alignUp(std::uintptr_t at, std::uintptr_t page) {
  return alignDown(at + page - 1, page);
}

// The first object position at or after `p`: 8 past a multiple of 16.
char* objectStart(char* p) {
  const std::uintptr_t a = (addressOf(p) + 7) & ~std::uintptr_t{15};
  return p + (a + kArenaBit - addressOf(p));
}

void*& chunkSlotOf(char* segment) {
  return *reinterpret_cast<void**>(segment);
}

void release(std::atomic<std::uint32_t>& live, std::uint32_t count, void* raw) {
  if (live.fetch_sub(count, std::memory_order_acq_rel) == count) ::operator delete(raw);
}

void* checkedHeap(void* storage) {
  KR_ASSERT(storage == nullptr || (addressOf(storage) & kArenaBit) == 0,
            "operator new returned storage aligned to less than 16 bytes");
  return storage;
}

// Gives `advice` for the whole pages of `page` bytes inside the range only:
// a page shared with a neighbour is not the range's to advise on.
[[maybe_unused]] void adviseWholePages(void* storage, std::size_t bytes, std::uintptr_t page,
                                       int advice) {
  const std::uintptr_t begin = alignUp(addressOf(storage), page);
  const std::uintptr_t end = alignDown(addressOf(storage) + bytes, page);
  if (begin < end) ::madvise(reinterpret_cast<void*>(begin), end - begin, advice);
}

}  // namespace

void krPrefault(void* storage, std::size_t bytes) noexcept {
#ifdef MADV_POPULATE_WRITE
  // Pages of 4 KiB; where they are larger the system refuses the call.
  adviseWholePages(storage, bytes, 4096, MADV_POPULATE_WRITE);
#else
  static_cast<void>(storage);
  static_cast<void>(bytes);
#endif
}

std::size_t krHugePageRoom(std::size_t bytes) noexcept {
  if (bytes < kMinHugeFill || bytes > SIZE_MAX - kKRHugePageBytes - kHeapHeaderBytes) return bytes;
  return alignUp(bytes + kHeapHeaderBytes, kKRHugePageBytes) - kHeapHeaderBytes;
}

void krAdviseHugePages(void* storage, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
  adviseWholePages(storage, bytes, kKRHugePageBytes, MADV_HUGEPAGE);
#else
  static_cast<void>(storage);
  static_cast<void>(bytes);
#endif
}

void krPrepareHugePages(void* from, std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
  if (bytes < kMinHugeFill || bytes > UINTPTR_MAX - kKRHugePageBytes - addressOf(from)) return;
  const std::uintptr_t begin = alignDown(addressOf(from), 4096);
  const std::uintptr_t end = alignUp(addressOf(from) + bytes, kKRHugePageBytes);
  adviseWholePages(reinterpret_cast<void*>(begin), end - begin, kKRHugePageBytes, MADV_HUGEPAGE);
#ifdef MADV_COLLAPSE
  // A huge page that starts on the buffer's first page: the buffer fills
  // most of it.
  if (alignDown(begin, kKRHugePageBytes) == begin) {
    ::madvise(reinterpret_cast<void*>(begin), kKRHugePageBytes, MADV_COLLAPSE);
  }
#endif
#else
  static_cast<void>(from);
  static_cast<void>(bytes);
#endif
}

KRArena::KRArena() noexcept : nextChunkBytes_(kFirstChunkBytes), probe_(tProbe) {}

KRArena::~KRArena() {
  for (KRArenaChunk* chunk = chunks_; chunk != nullptr;) {
    KRArenaChunk* older = chunk->older;
    chunk->arena.store(nullptr, std::memory_order_relaxed);
    // Drops the bias but keeps a count for each object still alive.
    release(chunk->live, kArenaBias - chunk->handedOut, chunk->raw);
    chunk = older;
  }
}

// Huge pages while the load is expected to fill most of one, ordinary
// chunks of the largest size after that: a huge page is resident as a
// whole, so none is taken that the load would leave more than a quarter
// empty.
void KRArena::expect(std::size_t bytes) noexcept {
  if (chunks_ != nullptr || bytes < kMinHugeFill) return;
  hugeBytesLeft_ = bytes;
  nextChunkBytes_ = kMaxChunkBytes;
}

std::size_t KRArena::freshChunkBytes() const noexcept {
  return hugeBytesLeft_ >= kMinHugeFill ? kKRHugePageBytes : nextChunkBytes_;
}

inline bool KRArena::fits(std::size_t slot) const noexcept {
  return open_.next != nullptr && static_cast<std::size_t>(open_.segmentEnd - open_.next) >= slot;
}

inline char* KRArena::take(std::size_t slot) noexcept {
  char* storage = open_.next;
  open_.next += slot;
  ++open_.chunk->handedOut;
  return storage;
}

// Most objects fit the open segment: they take the bump of a pointer, inline,
// and only the others (and every object while a probe is set) pay for the
// call to the general path.
inline void* KRArena::place(std::size_t size) noexcept {
  const std::size_t slot = (size + 15) & ~std::size_t{15};
  if (probe_ == nullptr && fits(slot)) return take(slot);
  return allocateSlow(size, slot);
}

void* KRArena::allocate(std::size_t size) noexcept {
  return place(size);
}

[[gnu::noinline]] void* KRArena::allocateSlow(std::size_t size, std::size_t slot) noexcept {
  if (probe_ != nullptr && !probe_()) return nullptr;
  while (!fits(slot)) {
    if (size > kMaxArenaObject) return allocateLarge(size, slot);
    if (!nextSegment()) return nullptr;
  }
  return take(slot);
}

// A large object (a list's block of nodes) runs on over the segments after
// the one it starts in: no other object may start in those, for their first
// bytes are the object's, so the next object opens a fresh segment. An
// object too large for a chunk, or for the chunks of a small load, goes to
// the heap.
void* KRArena::allocateLarge(std::size_t size, std::size_t slot) noexcept {
  // Right after another large object no segment is open: open one.
  if (open_.next != nullptr && open_.next == open_.segmentEnd &&
      open_.segmentEnd < open_.chunkEnd && !nextSegment()) {
    return nullptr;
  }
  if (open_.next == nullptr || static_cast<std::size_t>(open_.chunkEnd - open_.next) < slot) {
    if (freshChunkBytes() < slot + kSegmentBytes) {
      return checkedHeap(::operator new(size, std::nothrow));
    }
    keepAsSpare();
    if (!newChunk()) return nullptr;
  }
  char* const end = open_.next + slot;
  char* const covered = reinterpret_cast<char*>(alignUp(addressOf(end), kSegmentBytes));
  if (covered > open_.segmentEnd) mapIn(open_.segmentEnd, covered);
  char* storage = take(slot);
  open_.segmentEnd = covered;
  open_.next = covered;
  return storage;
}

// Before a large object moves on to a fresh chunk, the open chunk's rest is
// kept for the small objects that follow: in a huge page it is resident
// already. Of two rests the larger is kept.
void KRArena::keepAsSpare() noexcept {
  const auto rest = [](const Cursor& c) {
    return c.chunk == nullptr ? 0 : static_cast<std::size_t>(c.chunkEnd - c.next);
  };
  if (rest(open_) >= kSegmentBytes && rest(open_) > rest(spare_)) spare_ = open_;
}

// Segments of an ordinary chunk are mapped in as they are opened, with one
// call instead of a fault a page; a huge page comes whole with its first
// fault.
void KRArena::mapIn(char* from, char* to) const noexcept {
  if (open_.mapsInSegments) krPrefault(from, static_cast<std::size_t>(to - from));
}

bool KRArena::nextSegment() noexcept {
  if (open_.segmentEnd != nullptr && open_.segmentEnd < open_.chunkEnd) {
    char* const segment = open_.segmentEnd;
    mapIn(segment, segment + kSegmentBytes);
    chunkSlotOf(segment) = open_.chunk;
    open_.next = objectStart(segment + sizeof(void*));
    open_.segmentEnd = segment + kSegmentBytes;
    return true;
  }
  if (spare_.chunk != nullptr) {
    open_ = spare_;
    spare_ = Cursor{};
    return true;
  }
  return newChunk();
}

bool KRArena::newChunk() noexcept {
  // A fresh chunk, with room to align it to a segment (to a huge page when
  // it is one); the room left unused is never touched, so it does not take
  // resident memory.
  const std::size_t bytes = freshChunkBytes();
  const bool huge = bytes == kKRHugePageBytes;
  const std::uintptr_t alignment = huge ? kKRHugePageBytes : kSegmentBytes;
  void* raw = ::operator new(bytes + alignment, std::nothrow);
  if (raw == nullptr) return false;
  if (huge) {
    hugeBytesLeft_ -= std::min(hugeBytesLeft_, kKRHugePageBytes);
  } else if (nextChunkBytes_ < kMaxChunkBytes) {
    nextChunkBytes_ *= 2;
  }
  char* first = static_cast<char*>(raw) + ((alignment - addressOf(raw) % alignment) % alignment);
  if (huge) krAdviseHugePages(first, bytes);
  auto* chunk = new (first + sizeof(void*)) KRArenaChunk{{kArenaBias}, 0, raw, chunks_, {this}};
  chunkSlotOf(first) = chunk;
  // A load that stays within its first segment is left to fault in what it
  // touches.
  const bool firstChunk = chunks_ == nullptr;
  chunks_ = chunk;
  open_ = Cursor{chunk, objectStart(reinterpret_cast<char*>(chunk + 1)), first + kSegmentBytes,
                 first + bytes, !huge};
  if (!firstChunk) mapIn(first, first + kSegmentBytes);
  return true;
}

KRArena* KRArena::current() noexcept {
  return tCurrent;
}

KRArenaScope::KRArenaScope(KRArena* arena) noexcept : previous_(tCurrent) {
  tCurrent = arena;
}

KRArenaScope::~KRArenaScope() {
  tCurrent = previous_;
}

void krSetArenaProbe(bool (*probe)()) {
  tProbe = probe;
}

void* krArenaNew(std::size_t size) {
  if (KRArena* arena = tCurrent) {
    void* storage = arena->place(size);
    if (storage == nullptr) throw std::bad_alloc();
    return storage;
  }
  return checkedHeap(::operator new(size));
}

void* krArenaTryNew(std::size_t size) noexcept {
  if (KRArena* arena = tCurrent) return arena->place(size);
  return checkedHeap(::operator new(size, std::nothrow));
}

void krArenaDelete(void* storage) noexcept {
  if (storage == nullptr) return;
  if ((addressOf(storage) & kArenaBit) == 0) {
    ::operator delete(storage);
    return;
  }
  char* segment = reinterpret_cast<char*>(alignDown(addressOf(storage), kSegmentBytes));
  auto* chunk = static_cast<KRArenaChunk*>(chunkSlotOf(segment));
  const KRArena* current = tCurrent;
  if (current != nullptr && chunk->arena.load(std::memory_order_relaxed) == current) {
    --chunk->handedOut;  // the arena still holds the chunk
  } else {
    release(chunk->live, 1, chunk->raw);
  }
}
