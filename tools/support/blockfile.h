// Reading the files the tool is given: a whole file (or standard input for
// "-") into memory, up to a limit, and an input stream over bytes in memory
// that tells how far reading got and whether it ran past the end.
#ifndef BCODE_TOOLS_SUPPORT_BLOCKFILE_H
#define BCODE_TOOLS_SUPPORT_BLOCKFILE_H

#include <cstddef>
#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>
#include <string_view>

#include "tools/support/bytebuffer.h"

namespace bctool {

// The name of standard input and output wherever a file is named.
inline constexpr const char* kStdStream = "-";

// The most an input file may hold unless --max-input says otherwise: far
// beyond any block a compiler writes, and small enough that reading an
// endless stream such as /dev/zero ends in a moment.
inline constexpr std::uint64_t kDefaultMaxInput = std::uint64_t{256} << 20;

// How `path` is named in diagnostics: "<stdin>" for "-".
std::string displayName(const std::string& path);

// The bytes of `path`, or of standard input for "-", read straight into
// `bytes` (a large file into huge pages). False, with the reason in
// `message` ("cannot open: No such file or directory") and `bytes` empty,
// when the file cannot be read or holds more than `limit` bytes; reading
// stops there.
bool readInput(const std::string& path, std::uint64_t limit, ByteBuffer& bytes,
               std::string& message);

// "1,048,576": numbers in messages, grouped by thousands.
std::string grouped(std::uint64_t n);

// Reads from bytes that stay owned by the caller; offset() is the number of
// bytes handed out so far, which after a failed load is where reading stopped,
// and reachedEnd() whether a read asked for more than there was. It tells
// that position when asked (seekoff by 0 from the current one).
class MemoryBuf : public std::streambuf {
 public:
  MemoryBuf(const char* data, std::size_t size);
  std::size_t offset() const { return static_cast<std::size_t>(gptr() - eback()); }
  bool reachedEnd() const { return reachedEnd_; }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override;
  int_type underflow() override;

 private:
  bool reachedEnd_ = false;
};

// An input stream over a MemoryBuf.
class MemoryStream : public std::istream {
 public:
  explicit MemoryStream(std::string_view bytes);
  std::size_t offset() const { return buf_.offset(); }
  bool reachedEnd() const { return buf_.reachedEnd(); }

 private:
  MemoryBuf buf_;
};

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BLOCKFILE_H
