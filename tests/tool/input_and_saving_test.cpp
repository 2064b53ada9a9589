// The tool reads an input file in one go and, to check a block, compares the
// block saved again with those bytes as it writes them. A difference must be
// found wherever it lies, also across the comparison's internal pieces, and
// an input of any length must arrive whole or be refused at its limit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bcode/code/bcode.h"
#include "tools/support/blockfile.h"
#include "tools/support/blockgen.h"
#include "tools/support/blockreading.h"

namespace {

namespace fs = std::filesystem;

// A generated block of some 100 KB of record, and that record.
struct Saved {
  std::unique_ptr<BCode> block;
  std::string record;
};

const Saved& generated() {
  static const Saved saved = [] {
    Saved s;
    s.block = std::move(bctool::generateBlock(4000, 3).block);
    std::ostringstream os;
    s.block->save(os);
    s.record = os.str();
    return s;
  }();
  return saved;
}

TEST(SaveAgainstTest, FindsTheFirstDifferenceWhereverItLies) {
  const Saved& s = generated();
  ASSERT_GT(s.record.size(), 70000u);
  const bctool::SavedAgain same = bctool::saveAgainst(*s.block, s.record);
  EXPECT_TRUE(same.saved);
  EXPECT_EQ(same.written, s.record.size());
  EXPECT_EQ(same.sameUpTo, s.record.size());
  for (std::size_t at : {std::size_t{0}, std::size_t{16383}, std::size_t{16384}, std::size_t{16385},
                         std::size_t{50001}, s.record.size() - 1}) {
    std::string expected = s.record;
    expected[at] = static_cast<char>(expected[at] ^ 0x20);
    const bctool::SavedAgain differs = bctool::saveAgainst(*s.block, expected);
    EXPECT_TRUE(differs.saved);
    EXPECT_EQ(differs.written, s.record.size());
    EXPECT_EQ(differs.sameUpTo, at) << "altered at " << at;
  }
}

TEST(SaveAgainstTest, TellsBytesBeyondTheRecordFromAShorterInput) {
  const Saved& s = generated();
  const bctool::SavedAgain longer = bctool::saveAgainst(*s.block, s.record + "xyz");
  EXPECT_EQ(longer.written, s.record.size());
  EXPECT_EQ(longer.sameUpTo, s.record.size());
  const std::string shorter = s.record.substr(0, s.record.size() - 20000);
  const bctool::SavedAgain cut = bctool::saveAgainst(*s.block, shorter);
  EXPECT_EQ(cut.written, s.record.size());
  EXPECT_EQ(cut.sameUpTo, shorter.size());
  const bctool::SavedAgain empty = bctool::saveAgainst(*s.block, "");
  EXPECT_EQ(empty.sameUpTo, 0u);
}

class ReadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("bcode_input_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Bytes no two positions of which repeat in a short period.
  static std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return bytes;
  }

  fs::path dir_;
};

TEST_F(ReadInputTest, ARegularFileArrivesWholeUpToItsLimit) {
  const std::string bytes = pattern(300001);
  const std::string path = (dir_ / "f.bc").string();
  std::ofstream(path, std::ios::binary) << bytes;
  std::string read;
  std::string message;
  ASSERT_TRUE(bctool::readInput(path, bytes.size(), read, message)) << message;
  EXPECT_TRUE(read == bytes);
  EXPECT_FALSE(bctool::readInput(path, bytes.size() - 1, read, message));
  const std::string emptyPath = (dir_ / "empty.bc").string();
  std::ofstream(emptyPath, std::ios::binary).flush();
  ASSERT_TRUE(bctool::readInput(emptyPath, 10, read, message)) << message;
  EXPECT_TRUE(read.empty());
}

// A pipe does not say how much it will deliver: the bytes arrive in pieces
// and the buffer grows, up to the limit and not beyond.
TEST_F(ReadInputTest, APipeArrivesWholeUpToItsLimit) {
  const std::string fifo = (dir_ / "pipe").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string bytes = pattern(700000);
  // A reader that stops early leaves the writer with a broken pipe.
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  for (std::uint64_t limit : {std::uint64_t{700000}, std::uint64_t{699999}, std::uint64_t{70000}}) {
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << bytes; });
    std::string read;
    std::string message;
    const bool ok = bctool::readInput(fifo, limit, read, message);
    writer.join();
    EXPECT_EQ(ok, limit >= bytes.size()) << limit;
    EXPECT_TRUE(ok ? read == bytes : read.empty()) << limit;
  }
  std::signal(SIGPIPE, previous);
}

}  // namespace
