// A large block saved into a put area the caller gives: the save maps in
// the fresh pages ahead of its writes, and that changes no byte, touches no
// page past the record's end, and works as well with an area smaller than
// the record.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "bcode/bcode.h"
#include "tests/support/test_util.h"
#include "tools/support/blockgen.h"

namespace {

constexpr std::size_t kPage = 4096;

// A put area over fresh memory of its own, mapped for it.
class FreshAreaBuf : public std::streambuf {
 public:
  explicit FreshAreaBuf(std::size_t bytes) : bytes_(bytes) {
    void* map = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return;
    base_ = static_cast<char*>(map);
    setp(base_, base_ + bytes);
  }
  ~FreshAreaBuf() override {
    if (base_ != nullptr) ::munmap(base_, bytes_);
  }
  FreshAreaBuf(const FreshAreaBuf&) = delete;
  FreshAreaBuf& operator=(const FreshAreaBuf&) = delete;

  bool mapped() const { return base_ != nullptr; }
  std::string written() const { return std::string(pbase(), pptr()); }
  // The pages wholly after what was written that are resident.
  std::vector<std::size_t> residentAfterTheWrites() const {
    const std::size_t first = (static_cast<std::size_t>(pptr() - base_) + kPage - 1) / kPage;
    std::vector<unsigned char> pages(bytes_ / kPage);
    EXPECT_EQ(::mincore(base_, bytes_, pages.data()), 0);
    std::vector<std::size_t> resident;
    for (std::size_t i = first; i < pages.size(); ++i) {
      if ((pages[i] & 1) != 0) resident.push_back(i);
    }
    return resident;
  }

 private:
  std::size_t bytes_;
  char* base_ = nullptr;
};

class SaveArea : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    generated_ = new bctool::GeneratedBlock(bctool::generateBlock(12000, 5));
    std::ostringstream os;
    generated_->block->save(os);
    record_ = new std::string(os.str());
  }
  static void TearDownTestSuite() {
    delete generated_;
    delete record_;
  }
  void SetUp() override {
    ASSERT_NE(generated_->block, nullptr);
    // Large enough for the save to map pages in ahead of itself.
    ASSERT_GT(record_->size(), std::size_t{256} << 10);
    if (::sysconf(_SC_PAGESIZE) != static_cast<long>(kPage))
      GTEST_SKIP() << "pages of another size";
  }

  static const BCode& block() { return *generated_->block; }
  static const std::string& record() { return *record_; }

 private:
  static bctool::GeneratedBlock* generated_;
  static std::string* record_;
};

bctool::GeneratedBlock* SaveArea::generated_ = nullptr;
std::string* SaveArea::record_ = nullptr;

TEST_F(SaveArea, FreshAreaGetsTheSameBytesAndNoPagePastThem) {
  FreshAreaBuf area((record().size() / kPage + 32) * kPage);
  ASSERT_TRUE(area.mapped());
  std::ostream os(&area);
  block().save(os);
  EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
  EXPECT_TRUE(area.written() == record()) << "the saved bytes differ";
  EXPECT_EQ(area.residentAfterTheWrites(), std::vector<std::size_t>());
}

// An area that holds part of the record at a time, drained when full.
TEST_F(SaveArea, AreaSmallerThanTheRecord) {
  for (std::size_t chunk : {std::size_t{64} << 10, std::size_t{100} << 10}) {
    bctest::ChunkOutBuf area(chunk);
    std::ostream os(&area);
    block().save(os);
    EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
    EXPECT_TRUE(area.bytes() == record()) << chunk;
  }
}

}  // namespace
