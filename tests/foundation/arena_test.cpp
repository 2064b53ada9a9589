// The arena a load places its objects in: every object it hands out is its
// own, whatever size its chunks have grown to or were told to start at, and
// each can be deleted alone, before or after the arena is gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "bcode/foundation/krarena.h"

namespace {

struct Placed {
  unsigned char* at;
  std::size_t size;
};

// Fills about `total` bytes with objects of 16 to 1,000 bytes and, two in a
// row now and then, of some 150 KB (as a long list's block of nodes), each
// object holding its own number in every byte.
std::vector<Placed> fill(KRArena& arena, std::size_t total) {
  std::vector<Placed> placed;
  std::size_t used = 0;
  for (std::uint32_t i = 0; used < total; ++i) {
    const std::size_t size = i % 400 >= 398 ? 150000 + i : 16 + (i * 37) % 985;
    auto* at = static_cast<unsigned char*>(arena.allocate(size));
    EXPECT_NE(at, nullptr);
    if (at == nullptr) break;
    std::memset(at, static_cast<int>(placed.size() % 251), size);
    placed.push_back({at, size});
    used += size;
  }
  return placed;
}

void expectIntact(const std::vector<Placed>& placed) {
  for (std::size_t i = 0; i < placed.size(); ++i) {
    const unsigned char mark = static_cast<unsigned char>(i % 251);
    for (std::size_t b = 0; b < placed[i].size; ++b) {
      if (placed[i].at[b] != mark) {
        ADD_FAILURE() << "object " << i << " of " << placed[i].size << " bytes overwritten at byte "
                      << b;
        return;
      }
    }
  }
}

class ArenaTest : public ::testing::TestWithParam<std::size_t> {};

// Objects never overlap and never overwrite the arena's own bookkeeping,
// from the first small chunk to chunks of huge pages; deleted with the arena
// current or not, before and after the arena goes, nothing is freed twice
// and nothing leaks (the sanitizer builds watch that).
TEST_P(ArenaTest, HandsOutObjectsOfItsOwnAndTakesEachBackAlone) {
  std::vector<Placed> placed;
  std::vector<Placed> survivors;
  {
    KRArena arena;
    arena.expect(GetParam());
    placed = fill(arena, 9u << 20);
    expectIntact(placed);
    {
      const KRArenaScope scope(&arena);
      for (std::size_t i = 0; i < placed.size(); i += 3) krArenaDelete(placed[i].at);
    }
    for (std::size_t i = 1; i < placed.size(); i += 3) krArenaDelete(placed[i].at);
    for (std::size_t i = 2; i < placed.size(); i += 3) survivors.push_back(placed[i]);
    for (std::size_t i = 0; i < survivors.size(); ++i) {
      std::memset(survivors[i].at, static_cast<int>(i % 251), survivors[i].size);
    }
  }
  // The chunks of the objects still alive outlive the arena.
  expectIntact(survivors);
  for (const Placed& p : survivors) krArenaDelete(p.at);
}

// Chunks of a huge page are resident as a whole: a large object that does
// not fit in the rest of one must not leave that rest empty. Small objects,
// a block of nodes too large for what is left, then small objects again fit
// in two huge chunks, not three.
TEST(ArenaChunks, SmallObjectsFillWhatALargeOneLeftBehind) {
  constexpr std::uintptr_t kHugePage = kKRHugePageBytes;
  KRArena arena;
  arena.expect(std::size_t{4} << 20);
  std::vector<void*> objects;
  const auto smallObjects = [&](std::size_t bytes) {
    for (std::size_t used = 0; used < bytes; used += 256) objects.push_back(arena.allocate(256));
  };
  smallObjects(std::size_t{1} << 20);
  objects.push_back(arena.allocate(std::size_t{3} << 19));
  smallObjects(std::size_t{1} << 20);
  std::vector<std::uintptr_t> chunks;
  for (void* p : objects) {
    ASSERT_NE(p, nullptr);
    const std::uintptr_t chunk = reinterpret_cast<std::uintptr_t>(p) & ~(kHugePage - 1);
    if (std::find(chunks.begin(), chunks.end(), chunk) == chunks.end()) chunks.push_back(chunk);
  }
  EXPECT_EQ(chunks.size(), 2u);
  for (void* p : objects) krArenaDelete(p);
}

INSTANTIATE_TEST_SUITE_P(ExpectedSizes, ArenaTest,
                         ::testing::Values(std::size_t{0}, std::size_t{1} << 20,
                                           std::size_t{16} << 20));

// Fault injection reaches every object: each asks the probe before it is
// placed, also one that fits the open segment, and through krArenaTryNew
// and krArenaNew as well.
int probesAsked = 0;
int probeRefuses = 0;  // the probe's answer to this question is no

TEST(ArenaProbe, EveryObjectAsksFirst) {
  krSetArenaProbe(+[] { return ++probesAsked != probeRefuses; });
  KRArena arena;
  krSetArenaProbe(nullptr);
  probesAsked = 0;
  probeRefuses = 3;
  std::vector<void*> placed;
  for (int i = 1; i <= 4; ++i) {
    placed.push_back(arena.allocate(16));
    EXPECT_EQ(placed.back() == nullptr, i == 3) << i;
  }
  const KRArenaScope scope(&arena);
  probeRefuses = 5;
  EXPECT_EQ(krArenaTryNew(16), nullptr);
  probeRefuses = 6;
  EXPECT_THROW(krArenaNew(16), std::bad_alloc);
  placed.push_back(krArenaTryNew(16));
  EXPECT_NE(placed.back(), nullptr);
  EXPECT_EQ(probesAsked, 7);
  for (void* object : placed) krArenaDelete(object);
}

}  // namespace
