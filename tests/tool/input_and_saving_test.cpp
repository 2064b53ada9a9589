// The tool reads an input file in one go and, to check a block, compares the
// block saved again with those bytes as it writes them. A difference must be
// found wherever it lies, also across the comparison's internal pieces, and
// an input of any length must arrive whole or be refused at its limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
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
#include "tools/support/bytebuffer.h"

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

// Room that grows from ordinary memory into whole huge pages, keeping what
// it holds, and hands its mapping over or gives it back.
class ByteBufferTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kHuge = bctool::ByteBuffer::kHugePage;

  // Fills `size` bytes of the buffer's room with a pattern that starts at `from`.
  static void fill(bctool::ByteBuffer& buffer, std::size_t size, std::size_t from = 0) {
    for (std::size_t i = from; i < size; ++i) buffer.data()[i] = static_cast<char>(i * 7 + i / 256);
    buffer.resize(size);
  }
  static bool holdsPattern(const bctool::ByteBuffer& buffer) {
    for (std::size_t i = 0; i < buffer.size(); ++i) {
      if (buffer.data()[i] != static_cast<char>(i * 7 + i / 256)) return false;
    }
    return true;
  }
  // Whether any page of [at, at + bytes) is still mapped.
  static bool isMapped(const char* at, std::size_t bytes) {
    return ::msync(const_cast<char*>(at), bytes, MS_ASYNC) == 0;
  }
};

TEST_F(ByteBufferTest, TakesHugePagesOnlyForLargeRoom) {
  bctool::ByteBuffer buffer;
  buffer.reserve(bctool::ByteBuffer::kMappedFrom - 1);
  EXPECT_FALSE(buffer.mapped());
  EXPECT_GE(buffer.capacity(), bctool::ByteBuffer::kMappedFrom - 1);
  buffer.reserve(bctool::ByteBuffer::kMappedFrom);
  ASSERT_TRUE(buffer.mapped());
  EXPECT_EQ(buffer.capacity(), kHuge);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % kHuge, 0u);
  buffer.reserve(kHuge + 1);
  EXPECT_EQ(buffer.capacity(), 2 * kHuge);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % kHuge, 0u);
  // Room it has already does not move it.
  const char* data = buffer.data();
  buffer.reserve(100);
  EXPECT_EQ(buffer.data(), data);
}

TEST_F(ByteBufferTest, GrowingKeepsTheBytesHeld) {
  bctool::ByteBuffer buffer;
  buffer.reserve(5000);
  fill(buffer, 5000);
  buffer.reserve(700000);
  EXPECT_EQ(buffer.size(), 5000u);
  fill(buffer, 700000, 5000);
  buffer.reserve(bctool::ByteBuffer::kMappedFrom);
  ASSERT_TRUE(buffer.mapped());
  fill(buffer, kHuge, 700000);
  buffer.reserve(3 * kHuge);
  EXPECT_EQ(buffer.size(), kHuge);
  EXPECT_TRUE(holdsPattern(buffer));
}

TEST_F(ByteBufferTest, HandsOverItsRoomAndGivesItBack) {
  const char* first = nullptr;
  {
    bctool::ByteBuffer buffer;
    buffer.reserve(kHuge);
    fill(buffer, 12345);
    first = buffer.data();
    bctool::ByteBuffer taken(std::move(buffer));
    EXPECT_EQ(taken.data(), first);
    EXPECT_EQ(taken.size(), 12345u);
    EXPECT_TRUE(buffer.empty());
    EXPECT_FALSE(buffer.mapped());
    bctool::ByteBuffer other;
    other.reserve(kHuge);
    const char* second = other.data();
    other = std::move(taken);
    EXPECT_FALSE(isMapped(second, kHuge)) << "the room assigned over stays mapped";
    EXPECT_EQ(other.data(), first);
    EXPECT_TRUE(holdsPattern(other));
    EXPECT_TRUE(isMapped(first, kHuge));
  }
  EXPECT_FALSE(isMapped(first, kHuge)) << "the room outlives its buffer";
  const bctool::ByteBuffer adopted(std::string("block FB 7\n"));
  EXPECT_EQ(adopted.view(), "block FB 7\n");
  EXPECT_FALSE(adopted.mapped());
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

  std::string write(const char* name, const std::string& bytes) const {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  fs::path dir_;
};

TEST_F(ReadInputTest, ARegularFileArrivesWholeUpToItsLimit) {
  // Small, just short of taking huge pages, and several huge pages and a bit.
  for (std::size_t size : {std::size_t{100001}, bctool::ByteBuffer::kMappedFrom - 2,
                           2 * bctool::ByteBuffer::kHugePage + 17}) {
    const std::string bytes = pattern(size);
    const std::string path = write("f.bc", bytes);
    bctool::ByteBuffer read;
    std::string message;
    ASSERT_TRUE(bctool::readInput(path, size, read, message)) << message;
    EXPECT_TRUE(read.view() == bytes) << size;
    EXPECT_EQ(read.mapped(), size >= bctool::ByteBuffer::kMappedFrom) << size;
    EXPECT_FALSE(bctool::readInput(path, size - 1, read, message));
    EXPECT_EQ(message, "larger than the input limit of " + bctool::grouped(size - 1) +
                           " bytes (--max-input changes it)");
    EXPECT_TRUE(read.empty());
  }
  bctool::ByteBuffer read;
  std::string message;
  ASSERT_TRUE(bctool::readInput(write("empty.bc", ""), 0, read, message)) << message;
  EXPECT_TRUE(read.empty());
}

// Standard input redirected from a regular file too long is refused before
// a byte of it is read, as the file named would be; one that fits arrives
// from where the descriptor stands.
TEST_F(ReadInputTest, StandardInputFromARegularFileIsMeasuredFirst) {
  const std::string bytes = pattern(300000);
  const int file = ::open(write("in.bc", bytes).c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  const int saved = ::dup(STDIN_FILENO);
  ASSERT_GE(saved, 0);
  ASSERT_EQ(::dup2(file, STDIN_FILENO), STDIN_FILENO);
  bctool::ByteBuffer read;
  std::string message;
  EXPECT_FALSE(bctool::readInput(bctool::kStdStream, bytes.size() - 1, read, message));
  EXPECT_EQ(message, "larger than the input limit of " + bctool::grouped(bytes.size() - 1) +
                         " bytes (--max-input changes it)");
  EXPECT_EQ(::lseek(STDIN_FILENO, 0, SEEK_CUR), 0) << "read before it was refused";
  ASSERT_EQ(::lseek(STDIN_FILENO, 1000, SEEK_SET), 1000);
  EXPECT_TRUE(bctool::readInput(bctool::kStdStream, bytes.size() - 1000, read, message)) << message;
  EXPECT_TRUE(read.view() == std::string_view(bytes).substr(1000));
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  ::close(file);
}

// A pipe does not say how much it will deliver: the bytes arrive in pieces
// and the buffer grows, into huge pages and on, up to the limit and not
// beyond.
TEST_F(ReadInputTest, APipeArrivesWholeUpToItsLimit) {
  const std::string fifo = (dir_ / "pipe").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string bytes = pattern(2500000);
  // A reader that stops early leaves the writer with a broken pipe.
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  for (std::uint64_t limit :
       {std::uint64_t{2500000}, std::uint64_t{2499999}, std::uint64_t{70000}, std::uint64_t{0}}) {
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << bytes; });
    bctool::ByteBuffer read;
    std::string message;
    const bool ok = bctool::readInput(fifo, limit, read, message);
    writer.join();
    EXPECT_EQ(ok, limit >= bytes.size()) << limit;
    EXPECT_TRUE(ok ? read.view() == bytes : read.empty()) << limit;
  }
  std::signal(SIGPIPE, previous);
}

// Standard input is read from where it stands, whatever it is.
TEST_F(ReadInputTest, StandardInputArrivesFromWhereItStands) {
  const std::string bytes = pattern(1500000);
  const int file = ::open(write("in.bc", bytes).c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  ASSERT_EQ(::lseek(file, 1000, SEEK_SET), 1000);
  const int saved = ::dup(STDIN_FILENO);
  ASSERT_EQ(::dup2(file, STDIN_FILENO), STDIN_FILENO);
  bctool::ByteBuffer read;
  std::string message;
  const bool ok = bctool::readInput(bctool::kStdStream, bytes.size() - 1000, read, message);
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  ::close(file);
  ASSERT_TRUE(ok) << message;
  EXPECT_TRUE(read.view() == bytes.substr(1000));
}

TEST_F(ReadInputTest, SaysWhyAFileCannotBeRead) {
  struct Case {
    std::string path;
    const char* message;
  } cases[] = {{(dir_ / "missing.bc").string(), "cannot open: No such file or directory"},
               {dir_.string(), "cannot read: Is a directory"},
               // Opens, but its first bytes cannot be read.
               {"/proc/self/mem", "cannot read: Input/output error"}};
  for (const Case& c : cases) {
    bctool::ByteBuffer read;
    std::string message;
    EXPECT_FALSE(bctool::readInput(c.path, bctool::kDefaultMaxInput, read, message)) << c.path;
    EXPECT_EQ(message, c.message);
    EXPECT_TRUE(read.empty());
  }
}

}  // namespace
