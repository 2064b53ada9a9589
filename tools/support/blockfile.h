// Reading and writing the files the tool is given: a whole file (or standard
// input for "-") into memory, bytes out to a file (or standard output), and
// an input stream over bytes in memory that tells how far reading got.
#ifndef BCODE_TOOLS_SUPPORT_BLOCKFILE_H
#define BCODE_TOOLS_SUPPORT_BLOCKFILE_H

#include <cstddef>
#include <istream>
#include <streambuf>
#include <string>

namespace bctool {

// The name of standard input and output wherever a file is named.
inline constexpr const char* kStdStream = "-";

// The bytes of `path`, or of standard input for "-". On failure returns false
// and a message naming the file.
bool readInput(const std::string& path, std::string& bytes, std::string& message);

// Writes `bytes` to `path`, or to standard output for "-". On failure returns
// false and a message naming the file.
bool writeOutput(const std::string& path, const std::string& bytes, std::string& message);

// How `path` is named in messages.
std::string displayName(const std::string& path);

// Reads from bytes that stay owned by the caller; offset() is the number of
// bytes handed out so far, which after a failed load is where reading stopped.
// It tells that position when asked (seekoff by 0 from the current one).
class MemoryBuf : public std::streambuf {
 public:
  MemoryBuf(const char* data, std::size_t size);
  std::size_t offset() const { return static_cast<std::size_t>(gptr() - eback()); }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override;
};

// An input stream over a MemoryBuf.
class MemoryStream : public std::istream {
 public:
  explicit MemoryStream(const std::string& bytes);
  std::size_t offset() const { return buf_.offset(); }

 private:
  MemoryBuf buf_;
};

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BLOCKFILE_H
