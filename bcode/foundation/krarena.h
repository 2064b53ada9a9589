// KRArena: the memory of what a block load makes in bulk (instructions and
// their operands, memory operands, constants, local data, interfaces, type
// descriptors, names, and the stores of tables and lists), taken from the
// heap in large chunks rather than one allocation per object. Ownership
// does not change: each such object can still be deleted on its own, on any
// thread, and its chunk goes back to the heap once its last object is gone
// and its arena has been destroyed.
//
// While a KRArenaScope makes an arena current on a thread, the classes that
// derive from KRArenaObject place their new objects in it; at any other time
// their objects come from the heap as usual.
#ifndef BCODE_FOUNDATION_KRARENA_H
#define BCODE_FOUNDATION_KRARENA_H

#include <cstddef>
#include <cstdint>
#include <new>

#include "bcode/foundation/krexport.h"

struct KRArenaChunk;

class BCODE_API KRArena {
 public:
  KRArena() noexcept;
  // Lets go of the chunks: each returns to the heap when it holds no object.
  ~KRArena();
  KRArena(const KRArena&) = delete;
  KRArena& operator=(const KRArena&) = delete;

  // Storage for an object of `size` bytes; null when memory runs out.
  void* allocate(std::size_t size) noexcept;

  // Tells a fresh arena that about `bytes` will be placed in it: when that
  // is several huge pages, it takes huge pages from the start instead of
  // growing its chunks up to that size first.
  void expect(std::size_t bytes) noexcept;

  // The arena current on this thread, null when none is.
  static KRArena* current() noexcept;

 private:
  // Where objects are placed: the open segment of a chunk and the segments
  // after it.
  struct Cursor {
    KRArenaChunk* chunk = nullptr;
    char* next = nullptr;  // the next free byte of the open segment
    char* segmentEnd = nullptr;
    char* chunkEnd = nullptr;
    bool mapsInSegments = false;  // false in a huge chunk
  };

  friend void* krArenaNew(std::size_t size);
  friend void* krArenaTryNew(std::size_t size) noexcept;
  void* place(std::size_t size) noexcept;
  void* allocateSlow(std::size_t size, std::size_t slot) noexcept;
  bool fits(std::size_t slot) const noexcept;
  bool nextSegment() noexcept;
  bool newChunk() noexcept;
  std::size_t freshChunkBytes() const noexcept;
  void mapIn(char* from, char* to) const noexcept;
  char* take(std::size_t slot) noexcept;
  void* allocateLarge(std::size_t size, std::size_t slot) noexcept;
  void keepAsSpare() noexcept;

  KRArenaChunk* chunks_ = nullptr;  // newest first
  Cursor open_;
  // The rest of a chunk that a large object left for a fresh one; objects
  // go there once the open chunk is full.
  Cursor spare_;
  std::size_t nextChunkBytes_;
  std::size_t hugeBytesLeft_ = 0;  // of what expect() was told, not yet in huge chunks
  bool (*probe_)();
};

// Makes `arena` (null: none) the current arena of this thread while it lives.
class BCODE_API KRArenaScope {
 public:
  explicit KRArenaScope(KRArena* arena) noexcept;
  ~KRArenaScope();
  KRArenaScope(const KRArenaScope&) = delete;
  KRArenaScope& operator=(const KRArenaScope&) = delete;

 private:
  KRArena* previous_;
};

// The size of the huge pages krAdviseHugePages asks for.
constexpr std::size_t kKRHugePageBytes = std::size_t{2} << 20;

// The room to ask the heap for, for a buffer of `bytes` about to be filled:
// for one of at least three quarters of a huge page, the next size at which
// the heap's allocation is whole huge pages (the system maps such an
// allocation on a huge page boundary, so that the buffer lies in huge pages
// from its first byte); `bytes` itself for a smaller one.
BCODE_API std::size_t krHugePageRoom(std::size_t bytes) noexcept;

// Readies a buffer from the heap, `bytes` from `from` on and about to be
// filled, to take huge pages: advice for the huge pages from the one the
// page of `from` starts to the one the buffer ends in (for an allocation of
// krHugePageRoom, whole huge pages; elsewhere the advice only lets the
// neighbours take huge pages too). A huge page that starts on the page of
// `from` is made at once: the heap has written its header on that page,
// and a page already there keeps the system from taking a huge page for
// the rest. A buffer smaller than three quarters of a huge page is left as
// it is, as krHugePageRoom leaves its size. Only advice.
BCODE_API void krPrepareHugePages(void* from, std::size_t bytes) noexcept;

// Maps in the whole pages of fresh memory about to be filled, in one call
// rather than one page fault per page, which costs several times as much.
// Only advice: where the system cannot, the pages fault in as they are touched.
BCODE_API void krPrefault(void* storage, std::size_t bytes) noexcept;

// Asks the system to back the whole huge pages (2 MB) inside a large buffer
// about to be filled with huge pages: one fault each instead of 512. Only
// advice, and only worth it for memory that will be filled: a huge page is
// resident as a whole.
BCODE_API void krAdviseHugePages(void* storage, std::size_t bytes) noexcept;

// For fault injection: arenas made on this thread from now on ask `probe`
// before each object they place, and fail that allocation when it answers
// false. Null (the default) asks nothing.
BCODE_API void krSetArenaProbe(bool (*probe)());

// Storage for an object of a KRArenaObject class: from the current arena,
// else from the heap. The first throws std::bad_alloc, the second answers
// null when memory runs out.
BCODE_API void* krArenaNew(std::size_t size);
BCODE_API void* krArenaTryNew(std::size_t size) noexcept;
// Gives the storage back to its chunk or to the heap.
BCODE_API void krArenaDelete(void* storage) noexcept;

// Base of the classes whose objects a load makes in bulk: their operator new
// and delete go through the current arena.
class BCODE_API KRArenaObject {
 public:
  static void* operator new(std::size_t size) { return krArenaNew(size); }
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return krArenaTryNew(size);
  }
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void* storage) noexcept { krArenaDelete(storage); }
  static void operator delete(void* storage, const std::nothrow_t&) noexcept {
    krArenaDelete(storage);
  }
  static void operator delete(void*, void*) noexcept {}

 protected:
  KRArenaObject() = default;
};

#endif  // BCODE_FOUNDATION_KRARENA_H
