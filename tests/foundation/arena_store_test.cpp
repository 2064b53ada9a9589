// What a load fills besides its objects, placed in its arena: the characters
// of strings, the stores of arrays, the nodes of lists and the indices of
// numbered lists. Each keeps its ownership: it grows, is reassigned and is
// freed after the arena is gone, on any thread, and what it takes then
// comes from the heap (the sanitizer builds watch for leaks and bad frees).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/kryarr.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/foundation/krystrng.h"
#include "tests/support/test_util.h"

namespace {

using bctest::inArena;

// Runs `work` on a thread of its own and waits for it.
template <class Work>
void onAnotherThread(Work work) {
  std::thread(work).join();
}

bool refuseEverything() {
  return false;
}

// Arena allocations fail while it lives (arenas made on this thread ask the
// probe before each object).
class ArenaWithoutMemory {
 public:
  ArenaWithoutMemory() { krSetArenaProbe(&refuseEverything); }
  ~ArenaWithoutMemory() { krSetArenaProbe(nullptr); }
  ArenaWithoutMemory(const ArenaWithoutMemory&) = delete;
  ArenaWithoutMemory& operator=(const ArenaWithoutMemory&) = delete;
};

TEST(ArenaStore, StringsKeepTheirCharactersWhereTheyWereMade) {
  auto arena = std::make_unique<KRArena>();
  std::unique_ptr<KRString> loaded;
  KRString later("kept");
  {
    const KRArenaScope scope(arena.get());
    loaded = std::make_unique<KRString>("motor_speed");
    EXPECT_TRUE(inArena(loaded->c_str()));
    later = *loaded;
    EXPECT_TRUE(inArena(later.c_str()));
  }
  // A copy made after the load is the heap's; the loaded string still reads.
  const KRString copy(*loaded);
  EXPECT_FALSE(inArena(copy.c_str()));
  EXPECT_STREQ(copy.c_str(), "motor_speed");
  arena.reset();
  // Reassigned and freed after the arena is gone, here and elsewhere.
  *loaded = KRString("renamed");
  EXPECT_FALSE(inArena(loaded->c_str()));
  EXPECT_STREQ(loaded->c_str(), "renamed");
  onAnotherThread([&later] {
    EXPECT_STREQ(later.c_str(), "motor_speed");
    later = KRString("elsewhere");
  });
  EXPECT_STREQ(later.c_str(), "elsewhere");
}

TEST(ArenaStore, EmptyStringsTakeNoStorage) {
  const ArenaWithoutMemory noMemory;
  KRArena arena;
  const KRArenaScope scope(&arena);
  std::vector<KRString> names(100);
  names.emplace_back("");
  names.emplace_back(' ', 0);
  names.emplace_back("x", 0);
  for (KRString& name : names) {
    EXPECT_EQ(name.length(), 0);
    EXPECT_STREQ(name.c_str(), "");
    name = KRString();
  }
  EXPECT_THROW(KRString("x"), KRErrorNoHeap) << "a name with characters needs the arena";
}

// Exposes where an array keeps its slots.
template <class T>
class ObservedArray : public KRArray<T> {
 public:
  using KRArray<T>::KRArray;
  const T* store() const { return this->data; }
};

TEST(ArenaStore, ArrayGrownAfterTheLoadMovesItsSlotsToTheHeap) {
  std::vector<int> values(40);
  std::unique_ptr<ObservedArray<int*>> array;
  {
    KRArena arena;
    const KRArenaScope scope(&arena);
    array = std::make_unique<ObservedArray<int*>>(9, 0, 10);
    EXPECT_TRUE(inArena(array.get()));
    EXPECT_TRUE(inArena(array->store()));
    for (int i = 0; i < 10; ++i) (*array)[i] = &values[i];
  }
  for (int i = 10; i < 40; ++i) (*array)[i] = &values[i];
  EXPECT_FALSE(inArena(array->store()));
  for (int i = 0; i < 40; ++i) ASSERT_EQ((*array)[i], &values[i]) << i;
  onAnotherThread([&array] { array.reset(); });
}

TEST(ArenaStore, ReservedArrayFillsWithoutMovingItsSlots) {
  ObservedArray<int*> array(0, 0, 10);
  array.reserve(5000);
  int* const* const store = array.store();
  std::vector<int> values(5000);
  for (int i = 0; i < 5000; ++i) array[i] = &values[i];
  EXPECT_EQ(array.store(), store) << "the growth step beyond the last slot was not reserved";
  EXPECT_EQ(array.getUpBound(), 4999);
}

TEST(ArenaStore, ListsAndIndicesFilledInALoadGrowOnTheHeapAfterIt) {
  std::vector<int> values(40);
  std::unique_ptr<KRSequence<int*>> list;
  KRArenaVector<int*> index;
  {
    KRArena arena;
    const KRArenaScope scope(&arena);
    list = std::make_unique<KRSequence<int*>>();
    list->setOwner(0);
    EXPECT_TRUE(inArena(list.get()));
    for (int i = 0; i < 3; ++i) {
      list->append(&values[i]);
      index.push_back(&values[i]);
    }
    EXPECT_TRUE(inArena(index.data()));
  }
  for (int i = 3; i < 40; ++i) {
    list->append(&values[i]);
    index.push_back(&values[i]);
  }
  EXPECT_FALSE(inArena(index.data()));
  KRSequenceIterator<int*> it(*list, 1);
  for (int i = 0; i < 40; ++i, ++it) {
    ASSERT_EQ(it.current(), &values[i]) << i;
    ASSERT_EQ(index[static_cast<std::size_t>(i)], &values[i]) << i;
  }
  onAnotherThread([&list, &index] {
    list->removeFirst();
    index = KRArenaVector<int*>();
    list.reset();
  });
}

}  // namespace
