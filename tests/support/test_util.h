// Helpers shared by the tests: hex strings for record bytes, a stream buffer
// that takes only its first K bytes, and simple name tables for listings.
#ifndef BCODE_TESTS_SUPPORT_TEST_UTIL_H
#define BCODE_TESTS_SUPPORT_TEST_UTIL_H

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace bctest {

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

// A read buffer over bytes that is not seekable (like a pipe).
class PipeBuf : public std::streambuf {
 public:
  explicit PipeBuf(std::string bytes);

 private:
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

}  // namespace bctest

#endif  // BCODE_TESTS_SUPPORT_TEST_UTIL_H
