// Mapping in fresh memory ahead of a load: only the whole pages inside the
// range given, never those of a neighbour that shares a page with it, and
// what the range already holds stays as it is.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krfieldio.h"

namespace {

// The mappings of this process by start: their end and whether they carry
// the huge page advice.
std::map<std::uintptr_t, std::pair<std::uintptr_t, bool>> hugeAdvice() {
  std::map<std::uintptr_t, std::pair<std::uintptr_t, bool>> areas;
  std::ifstream smaps("/proc/self/smaps");
  std::uintptr_t start = 0;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t from = 0;
    std::uintptr_t to = 0;
    // A mapping's first line starts with its range; the lines of its
    // fields start with a name and a colon.
    if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR, &from, &to) == 2) {
      start = from;
      areas[from] = {to, false};
    } else if (line.rfind("VmFlags:", 0) == 0) {
      areas[start].second = line.find(" hg") != std::string::npos;
    }
  }
  return areas;
}

// Whether the mapping holding `at` carries the huge page advice.
bool advisedAt(const std::map<std::uintptr_t, std::pair<std::uintptr_t, bool>>& areas,
               std::uintptr_t at) {
  auto area = areas.upper_bound(at);
  if (area == areas.begin()) return false;
  --area;
  return at < area->second.first && area->second.second;
}

constexpr std::size_t kPages = 64;

class PrefaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::sysconf(_SC_PAGESIZE) != 4096) GTEST_SKIP() << "pages of another size";
    void* map =
        ::mmap(nullptr, kPages * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    base_ = static_cast<char*>(map);
#ifdef MADV_POPULATE_WRITE
    // The last page tells whether this system maps pages in on request.
    if (::madvise(base_ + (kPages - 1) * kPage, kPage, MADV_POPULATE_WRITE) != 0) {
      GTEST_SKIP() << "the system does not map pages in on request";
    }
#else
    GTEST_SKIP() << "the system does not map pages in on request";
#endif
  }
  void TearDown() override {
    if (base_ != nullptr) ::munmap(base_, kPages * kPage);
  }

  // Whether each page but the last (the probe's) is resident.
  std::vector<bool> resident() const {
    std::vector<unsigned char> pages(kPages);
    EXPECT_EQ(::mincore(base_, kPages * kPage, pages.data()), 0);
    std::vector<bool> result;
    for (std::size_t i = 0; i + 1 < kPages; ++i) result.push_back((pages[i] & 1) != 0);
    return result;
  }

  static constexpr std::size_t kPage = 4096;
  char* base_ = nullptr;
};

TEST_F(PrefaultTest, MapsInTheWholePagesOfTheRangeOnly) {
  // From inside page 2 to inside page 9: pages 3 to 8 lie wholly in it.
  krPrefault(base_ + 2 * kPage + 100, 7 * kPage);
  const std::vector<bool> pages = resident();
  for (std::size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(pages[i], i >= 3 && i <= 8) << "page " << i;
  }
  // A range within one page maps in nothing.
  krPrefault(base_ + 11 * kPage + 1, kPage - 2);
  EXPECT_FALSE(resident()[11]);
  // An empty range neither.
  krPrefault(base_ + 12 * kPage, 0);
  EXPECT_FALSE(resident()[12]);
}

TEST_F(PrefaultTest, KeepsWhatTheRangeHolds) {
  std::memset(base_ + 4 * kPage, 0x5A, 2 * kPage);
  krPrefault(base_, 8 * kPage);
  for (std::size_t i = 0; i < 8 * kPage; ++i) {
    const char expected = i >= 4 * kPage && i < 6 * kPage ? 0x5A : 0;
    ASSERT_EQ(base_[i], expected) << "byte " << i;
  }
}

// A put area over the fixture's pages.
class AreaBuf : public std::streambuf {
 public:
  AreaBuf(char* begin, char* end) { setp(begin, end); }
  void skip(int bytes) { pbump(bytes); }
};

// The pages a save is about to fill are mapped in ahead of it: only the
// whole pages inside the put area, no farther than the writes will go, and
// only stretches of 64 KiB or more.
TEST_F(PrefaultTest, PutAreasAreMappedInAheadOfTheWritesOnly) {
  AreaBuf area(base_ + 100, base_ + 60 * kPage + 50);
  std::ostream os(&area);
  KRPutAreaMapper mapper(os);
  const auto residentPages = [this](std::size_t from, std::size_t to) {
    const std::vector<bool> pages = resident();
    for (std::size_t i = 0; i < pages.size(); ++i) {
      if (pages[i] != (i >= from && i < to)) return ::testing::AssertionFailure() << "page " << i;
    }
    return ::testing::AssertionSuccess();
  };
  mapper.willWrite(15 * kPage);
  EXPECT_TRUE(residentPages(0, 0)) << "a stretch under 64 KiB";
  mapper.willWrite(30 * kPage);
  EXPECT_TRUE(residentPages(1, 30));
  // Farther on, up to the end of the area, from where the last stretch ended.
  area.skip(20 * kPage);
  mapper.willWrite(100 * kPage);
  EXPECT_TRUE(residentPages(1, 60));
  // Nothing for a small area.
  AreaBuf small(base_ + 61 * kPage, base_ + 63 * kPage);
  std::ostream smallOs(&small);
  KRPutAreaMapper(smallOs).willWrite(100 * kPage);
  EXPECT_TRUE(residentPages(1, 60));
}

// Huge pages are asked for the whole huge pages inside a buffer only: the
// system splits the mapping there, and only the middle part carries the
// advice (VmFlags "hg" in /proc/self/smaps).
TEST(HugePageAdvice, CoversTheWholeHugePagesOfTheRangeOnly) {
#ifndef MADV_HUGEPAGE
  GTEST_SKIP() << "the system knows no huge page advice";
#else
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const std::size_t length = 4 * kHuge;
  void* map = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  const auto base = reinterpret_cast<std::uintptr_t>(map);
  // From a little way into the mapping to a little before its end: the huge
  // pages lying wholly inside run from `firstWhole` to `end`.
  const std::uintptr_t firstWhole = (base + 100 + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t end = (base + length - 100) & ~(kHuge - 1);
  krAdviseHugePages(reinterpret_cast<char*>(base) + 100, length - 200);
  const std::map<std::uintptr_t, std::pair<std::uintptr_t, bool>> areas = hugeAdvice();
  ::munmap(map, length);
  const auto advised = [&areas](std::uintptr_t at) { return advisedAt(areas, at); };
  EXPECT_TRUE(advised(firstWhole));
  EXPECT_TRUE(advised(end - 1));
  EXPECT_FALSE(advised(firstWhole - 1));
  EXPECT_FALSE(advised(end));
#endif
}

// A buffer the heap hands out: its room is whole huge pages from a size of
// three quarters of one on, less what a heap keeps beside it.
TEST(HugePageRoom, IsWholeHugePagesForALargeBuffer) {
  for (std::size_t bytes : {std::size_t{0}, std::size_t{100000}, kKRHugePageBytes / 4 * 3 - 1}) {
    EXPECT_EQ(krHugePageRoom(bytes), bytes);
  }
  for (std::size_t bytes : {kKRHugePageBytes / 4 * 3, kKRHugePageBytes - 64, kKRHugePageBytes - 63,
                            3 * kKRHugePageBytes + 5}) {
    const std::size_t room = krHugePageRoom(bytes);
    EXPECT_GE(room, bytes);
    EXPECT_LT(room - bytes, kKRHugePageBytes) << bytes;
    EXPECT_EQ((room + 64) % kKRHugePageBytes, 0u) << bytes;
  }
  EXPECT_EQ(krHugePageRoom(SIZE_MAX - 10), SIZE_MAX - 10);
}

// A large heap buffer about to be filled takes the advice from the huge
// page its first page starts, if it does, to the end of the huge page it
// ends in.
TEST(HugePageAdvice, APreparedBufferIsAdvisedFromItsFirstPageToItsLastHugePage) {
#ifndef MADV_HUGEPAGE
  GTEST_SKIP() << "the system knows no huge page advice";
#else
  constexpr std::uintptr_t kHuge = kKRHugePageBytes;
  const std::size_t length = 10 * kHuge;
  void* map = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(map) + kHuge - 1) & ~(kHuge - 1);
  // A buffer 16 bytes into a huge page, as after a heap's header, and one
  // that starts deeper in its first huge page.
  krPrepareHugePages(reinterpret_cast<char*>(first) + 16, 3 * kHuge);
  krPrepareHugePages(reinterpret_cast<char*>(first) + 4 * kHuge + 8192, kHuge);
  // A small buffer is left as it is, even one that ends in a huge page.
  krPrepareHugePages(reinterpret_cast<char*>(first) + 7 * kHuge - 8192, kHuge / 2);
  const auto areas = hugeAdvice();
  ::munmap(map, length);
  EXPECT_FALSE(advisedAt(areas, first - 1));
  EXPECT_TRUE(advisedAt(areas, first));
  EXPECT_TRUE(advisedAt(areas, first + 4 * kHuge - 1));
  EXPECT_FALSE(advisedAt(areas, first + 4 * kHuge)) << "the second buffer's first huge page";
  EXPECT_TRUE(advisedAt(areas, first + 5 * kHuge));
  EXPECT_TRUE(advisedAt(areas, first + 6 * kHuge - 1));
  EXPECT_FALSE(advisedAt(areas, first + 6 * kHuge));
  EXPECT_FALSE(advisedAt(areas, first + 7 * kHuge)) << "after a small buffer";
#endif
}

}  // namespace
