// Helpers shared by the tests: hex strings for record bytes, a stream buffer
// that takes only its first K bytes, simple name tables and expected lines
// for listings, and the check of a family's class table.
#ifndef BCODE_TESTS_SUPPORT_TEST_UTIL_H
#define BCODE_TESTS_SUPPORT_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

namespace bctest {

// Whether `storage`, the start of a piece of storage, lies in an arena:
// arena storage starts 8 bytes past a multiple of 16, the heap's at a
// multiple of 16.
inline bool inArena(const void* storage) {
  return (reinterpret_cast<std::uintptr_t>(storage) & 15U) == 8U;
}

// "01 0A ff" -> bytes; blanks are ignored.
std::string fromHex(const std::string& hex);
// bytes -> "01 0A FF".
std::string toHex(const std::string& bytes);

// A write buffer that accepts the first `limit` bytes and refuses the rest,
// like a full disk. It is not seekable.
class LimitedBuf : public std::streambuf {
 public:
  explicit LimitedBuf(std::size_t limit) : limit_(limit) {}
  const std::string& bytes() const { return bytes_; }

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int_type overflow(int_type ch) override;

 private:
  std::size_t limit_;
  std::string bytes_;
};

// A read buffer over bytes that is not seekable and, like a pipe, hands
// them out `chunk` at a time (one: every field longer than a byte spans
// refills). Its get area is a copy followed by bytes 0xEE, so that a read
// past the area's end cannot see the bytes that come next.
class PipeBuf : public std::streambuf {
 public:
  explicit PipeBuf(std::string bytes, std::size_t chunk = 1);

 protected:
  int_type underflow() override;

 private:
  std::string bytes_;
  std::size_t chunk_;
  std::size_t next_ = 0;
  std::vector<char> area_;
};

// A write buffer whose put area holds `chunk` bytes: what is written goes to
// bytes() each time the area is full. What is written past the area's end
// is lost.
class ChunkOutBuf : public std::streambuf {
 public:
  explicit ChunkOutBuf(std::size_t chunk);
  // Everything written so far.
  const std::string& bytes();

 protected:
  int_type overflow(int_type ch) override;

 private:
  void drain();

  std::vector<char> area_;
  std::string bytes_;
};

// Name tables for listings: "T<code>" for every index, as the caller supplies them.
class NameTable {
 public:
  NameTable(const char* prefix, std::size_t size);
  char** get() { return pointers_.data(); }

 private:
  std::vector<std::string> names_;
  std::vector<char*> pointers_;
};

// A listing line: texts at their columns, blanks between, a line end.
std::string columns(const std::vector<std::pair<std::size_t, std::string>>& texts);

// One row of a family's class table (its .def file): the sample of the
// row's tag is of the row's class, and so is what `reload` reads back from
// the sample's record.
template <class Class, class Samples, class Tag, class Reload>
void expectClassOfTag(const Samples& samples, Tag tag, const char* name, Reload reload) {
  for (const auto& sample : samples) {
    if (sample->isA() != tag) continue;
    EXPECT_NE(dynamic_cast<const Class*>(&*sample), nullptr) << name;
    const auto back = reload(*sample);
    EXPECT_NE(dynamic_cast<const Class*>(back.get()), nullptr) << name << " read back";
    return;
  }
  ADD_FAILURE() << name << ": no sample of its tag";
}

}  // namespace bctest

#endif  // BCODE_TESTS_SUPPORT_TEST_UTIL_H
