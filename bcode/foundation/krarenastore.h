// Typed storage in the arena: the element stores of arrays, lists and
// indices, characters of strings. While a load makes its block's arena
// current (krarena.h) what it fills lands there beside the objects that
// hold it, instead of in thousands of small heap blocks; at any other time
// it comes from the heap. Whatever these hand out may be given back on any
// thread at any time, also long after the arena is gone, so an array or a
// string keeps its documented ownership: it is freed with its owner, and
// when it grows or is replaced later its old storage returns to its chunk.
#ifndef BCODE_FOUNDATION_KRARENASTORE_H
#define BCODE_FOUNDATION_KRARENASTORE_H

#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "bcode/foundation/krarena.h"

// Storage of `size` bytes, null when memory runs out. The heap hands out
// only blocks of 16 bytes or more at a multiple of 16, which is how
// krArenaDelete tells them from arena storage: smaller requests ask for 16.
inline void* krArenaTryBytes(std::size_t size) noexcept {
  constexpr std::size_t kSmallest = 16;
  return krArenaTryNew(size < kSmallest ? kSmallest : size);
}

// Arena storage starts 8 bytes past a multiple of 16.
template <class T>
constexpr bool kKRArenaFits = alignof(T) <= 8;

// `count` value-initialised elements, null when memory runs out. A
// constructor that throws frees what was made and passes the exception on.
template <class T>
T* krArenaTryNewArray(std::size_t count) {
  static_assert(kKRArenaFits<T>, "arena storage is aligned to 8 bytes");
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return nullptr;
  void* storage = krArenaTryBytes(count * sizeof(T));
  if (storage == nullptr) return nullptr;
  T* first = static_cast<T*>(storage);
  try {
    std::uninitialized_value_construct_n(first, count);
  } catch (...) {
    krArenaDelete(storage);
    throw;
  }
  return first;
}

// Destroys the `count` elements of a krArenaTryNewArray store and frees it.
template <class T>
void krArenaDeleteArray(T* first, std::size_t count) noexcept {
  if (first == nullptr) return;
  std::destroy_n(first, count);
  krArenaDelete(first);
}

// Deletes what krArenaTryNewArray<T>(1) made, or the bytes krArenaTryBytes
// gave for a T: the deleter of a unique_ptr to it, which takes no room
// beside the pointer.
struct KRArenaDeleter {
  template <class T>
  void operator()(T* object) const noexcept {
    krArenaDeleteArray(object, 1);
  }
};

// The allocator of the standard containers a load fills: a stateless one,
// so that a container whose storage partly lies in an arena and partly on
// the heap moves, swaps and frees like any other.
template <class T>
class KRArenaAllocator {
 public:
  static_assert(kKRArenaFits<T>, "arena storage is aligned to 8 bytes");
  using value_type = T;

  KRArenaAllocator() noexcept = default;
  template <class U>
  KRArenaAllocator(const KRArenaAllocator<U>&) noexcept {}  // NOLINT: rebinding converts

  T* allocate(std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
      throw std::bad_array_new_length();
    void* storage = krArenaTryBytes(count * sizeof(T));
    if (storage == nullptr) throw std::bad_alloc();
    return static_cast<T*>(storage);
  }
  void deallocate(T* storage, std::size_t) noexcept { krArenaDelete(storage); }

  template <class U>
  bool operator==(const KRArenaAllocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const KRArenaAllocator<U>&) const noexcept {
    return false;
  }
};

// While it lives, storage comes from the heap even during a load: for what
// a load makes only to copy it, which the heap takes back at once while an
// arena keeps it as long as the block.
class KRHeapScope : public KRArenaScope {
 public:
  KRHeapScope() noexcept : KRArenaScope(nullptr) {}
};

template <class T>
using KRArenaVector = std::vector<T, KRArenaAllocator<T>>;

#endif  // BCODE_FOUNDATION_KRARENASTORE_H
