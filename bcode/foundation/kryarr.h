// KRArray<T>: a growable array addressed between a lower and an upper bound.
// It is the element store of every table and holds the ranges of array types
// and the components of structure types. Array and store are placed in the
// current arena while a load runs (krarenastore.h); a store that grows later
// comes from the heap and the old one goes back to its chunk.
#ifndef BCODE_FOUNDATION_KRYARR_H
#define BCODE_FOUNDATION_KRYARR_H

#include <cstdint>
#include <new>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krerror.h"

template <class T>
class KRArray : public KRArenaObject {
  static constexpr std::int64_t kMaxSlots = INT32_MAX;

 public:
  // Bounds upper .. lower and the growth step. A store of
  // max(upper - lower + 1, step) slots is allocated, none when that is below 1.
  KRArray(std::int32_t upper, std::int32_t lower, std::int32_t step) {
    allocate(upper, lower, step);
  }
  KRArray(const KRArray&) = delete;
  KRArray& operator=(const KRArray&) = delete;
  virtual ~KRArray() { krArenaDeleteArray(data, static_cast<std::size_t>(capacity)); }

  // Growing access: an index above the upper bound raises it, growing the store.
  T& operator[](std::int32_t loc) {
    KR_ASSERT(loc >= loBound, "loc >= loBound");
    if (loc > upBound) {
      if (static_cast<std::int64_t>(loc) - loBound + 1 > allocated) grow(loc);
      upBound = loc;
    }
    return data[loc - loBound];
  }

  // Checked access; never grows.
  const T& operator[](std::int32_t loc) const {
    KR_ASSERT((loc >= loBound) && (loc <= upBound), "(loc >= loBound) && (loc <= upBound)");
    return data[loc - loBound];
  }

  // Makes the store hold `slots` slots from the lower bound on without
  // growing again (growth keeps `delta` spare slots behind the last one in
  // use, so the store takes those too); when memory runs out it stays as it
  // is, and growing later allocates (and fails) as usual. `allocated` does
  // not change.
  void reserve(std::int64_t slots) {
    const std::int64_t wanted = slots + delta;
    if (wanted <= capacity || wanted > kMaxSlots) return;
    T* fresh = krArenaTryNewArray<T>(static_cast<std::size_t>(wanted));
    if (fresh != nullptr) replaceStore(fresh, wanted);
  }

  std::int32_t getUpBound() const { return upBound; }
  std::int32_t getLoBound() const { return loBound; }
  std::int32_t getAllocated() const { return allocated; }

 protected:
  T* data = nullptr;
  std::int32_t upBound = -1;
  std::int32_t loBound = 0;
  std::int32_t delta = 0;
  std::int32_t allocated = 0;

 private:
  // Slots really held by `data`. `allocated` follows the documented growth
  // rule (each growth adds `delta` spare slots); the store underneath grows
  // at least geometrically so that filling a table stays linear.
  std::int64_t capacity = 0;

  void allocate(std::int32_t upper, std::int32_t lower, std::int32_t step) {
    krArenaDeleteArray(data, static_cast<std::size_t>(capacity));
    data = nullptr;
    loBound = lower;
    delta = step;
    const std::int64_t wanted = static_cast<std::int64_t>(upper) - lower + 1;
    allocated = static_cast<std::int32_t>(wanted > step ? wanted : step);
    upBound = lower - 1;
    capacity = 0;
    if (allocated < 1) {
      allocated = 0;
      return;
    }
    data = newStore(allocated);
    if (data == nullptr) {
      allocated = 0;
      throw KRErrorNoHeap("kryarr", 335);
    }
    capacity = allocated;
    upBound = upper;
  }

  void grow(std::int32_t loc) {
    KR_ASSERT(delta >= 1, "0");
    const std::int64_t slots = (static_cast<std::int64_t>(loc) - loBound + 1) + delta;
    if (slots > capacity) {
      const std::int64_t doubled = capacity * 2;
      const std::int64_t freshCapacity = doubled > slots && doubled <= kMaxSlots ? doubled : slots;
      T* fresh = newStore(freshCapacity);
      if (fresh == nullptr) throw KRErrorNoHeap("kryarr", 314);
      replaceStore(fresh, freshCapacity);
    }
    allocated = static_cast<std::int32_t>(slots);
  }

  // A store of `slots` value-initialised slots; null when memory runs out,
  // also in an element's constructor.
  static T* newStore(std::int64_t slots) {
    try {
      return krArenaTryNewArray<T>(static_cast<std::size_t>(slots));
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }

  // Moves the slots in use into `fresh` of `freshCapacity` slots.
  void replaceStore(T* fresh, std::int64_t freshCapacity) {
    for (std::int32_t i = 0; i <= upBound - loBound; ++i) fresh[i] = data[i];
    krArenaDeleteArray(data, static_cast<std::size_t>(capacity));
    data = fresh;
    capacity = freshCapacity;
  }
};

#endif  // BCODE_FOUNDATION_KRYARR_H
