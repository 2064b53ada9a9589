#include "tools/support/blockfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

namespace bctool {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

std::string tooLarge(std::uint64_t limit) {
  return "larger than the input limit of " + grouped(limit) + " bytes (--max-input changes it)";
}

// Closes the file it holds when it goes.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() { ::close(fd_); }
  int fd() const { return fd_; }

 private:
  int fd_;
};

// The bytes a regular file still holds from where `fd` stands; nothing for
// any other file.
std::optional<std::uint64_t> bytesLeft(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  return static_cast<std::uint64_t>(info.st_size - std::clamp<off_t>(at, 0, info.st_size));
}

// Reads what `fd` delivers into room for the bytes expected and one more
// (so that a file of the size it stated ends in one read), which doubles
// when full, and hands it to `bytes` once the input ends. A regular file
// too long is refused before a byte of it is read; any other input stops
// once the bytes would go beyond `limit`, so that an endless input ends
// there.
bool readAll(int fd, std::uint64_t limit, ByteBuffer& bytes, std::string& message) {
  const std::optional<std::uint64_t> left = bytesLeft(fd);
  if (left && *left > limit) {
    message = tooLarge(limit);
    return false;
  }
  const std::uint64_t most = limit < UINT64_MAX ? limit + 1 : limit;
  ByteBuffer read;
  read.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(left.value_or(kChunk) + 1, most)));
  for (;;) {
    if (read.size() == read.capacity()) {
      read.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(2 * read.size(), most)));
    }
    const ssize_t n = ::read(fd, read.data() + read.size(), read.capacity() - read.size());
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      message = std::string("cannot read: ") + std::strerror(errno);
      return false;
    }
    read.resize(read.size() + static_cast<std::size_t>(n));
    if (read.size() > limit) {
      message = tooLarge(limit);
      return false;
    }
  }
  bytes = std::move(read);
  return true;
}

}  // namespace

std::string displayName(const std::string& path) {
  return path == kStdStream ? std::string("<stdin>") : path;
}

std::string grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

bool readInput(const std::string& path, std::uint64_t limit, ByteBuffer& bytes,
               std::string& message) {
  bytes = ByteBuffer();
  if (path == kStdStream) return readAll(STDIN_FILENO, limit, bytes, message);
  // A directory opens; reading it tells what it is.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    message = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  const OpenFile file(fd);
  return readAll(file.fd(), limit, bytes, message);
}

MemoryBuf::MemoryBuf(const char* data, std::size_t size) {
  // The get area is only read from; streambuf wants non-const pointers.
  char* begin = const_cast<char*>(data);
  setg(begin, begin, begin + size);
}

MemoryBuf::pos_type MemoryBuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                       std::ios_base::openmode) {
  if (off != 0 || dir != std::ios_base::cur) return pos_type(off_type(-1));
  return pos_type(static_cast<off_type>(offset()));
}

// Called only once every byte has been handed out.
MemoryBuf::int_type MemoryBuf::underflow() {
  reachedEnd_ = true;
  return traits_type::eof();
}

MemoryStream::MemoryStream(std::string_view bytes)
    : std::istream(nullptr), buf_(bytes.data(), bytes.size()) {
  rdbuf(&buf_);
}

}  // namespace bctool
