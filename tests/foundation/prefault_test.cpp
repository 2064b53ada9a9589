// Mapping in fresh memory ahead of a load: only the whole pages inside the
// range given, never those of a neighbour that shares a page with it, and
// what the range already holds stays as it is.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "bcode/foundation/krarena.h"

namespace {

constexpr std::size_t kPages = 16;

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

}  // namespace
