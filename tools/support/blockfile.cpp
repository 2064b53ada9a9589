#include "tools/support/blockfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "bcode/foundation/krarena.h"

namespace bctool {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

std::string systemReason(int error, const char* fallback) {
  return error != 0 ? std::strerror(error) : fallback;
}

std::string tooLarge(std::uint64_t limit) {
  return "larger than the input limit of " + grouped(limit) + " bytes (--max-input changes it)";
}

// Makes `bytes` hold `size` bytes, mapping in the fresh pages at once before
// they are cleared and filled.
void resizeFresh(std::string& bytes, std::uint64_t size) {
  const auto n = static_cast<std::size_t>(size);
  if (n > bytes.size()) {
    bytes.reserve(n);
    krPrefault(bytes.data() + bytes.size(), n - bytes.size());
  }
  bytes.resize(n);
}

// Reads what `in` delivers straight into `bytes`, which starts with room for
// `expected` bytes and one more (so that a file of the size it stated ends in
// one read) and doubles when full; stops once the bytes would go beyond
// `limit`, so that an endless input ends there.
bool readAll(std::istream& in, std::uint64_t limit, std::size_t expected, std::string& bytes,
             std::string& message) {
  const std::uint64_t most = limit < UINT64_MAX ? limit + 1 : limit;
  std::size_t held = 0;
  bytes.clear();
  resizeFresh(bytes, std::min<std::uint64_t>(expected + 1, most));
  while (in) {
    if (held == bytes.size()) {
      resizeFresh(bytes, std::min<std::uint64_t>(2 * held, most));
    }
    in.read(bytes.data() + held, static_cast<std::streamsize>(bytes.size() - held));
    held += static_cast<std::size_t>(in.gcount());
    if (held > limit) {
      bytes = std::string();
      message = tooLarge(limit);
      return false;
    }
  }
  bytes.resize(held);
  if (in.bad()) {
    message = "cannot read: " + systemReason(errno, "read error");
    return false;
  }
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

bool readInput(const std::string& path, std::uint64_t limit, std::string& bytes,
               std::string& message) {
  errno = 0;
  if (path == kStdStream) return readAll(std::cin, limit, kChunk, bytes, message);
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) {
    message = "cannot read: Is a directory";
    return false;
  }
  // A regular file too long is refused before a byte of it is read.
  std::size_t expected = kChunk;
  if (std::filesystem::is_regular_file(status)) {
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > limit) {
      message = tooLarge(limit);
      return false;
    }
    if (!ec) expected = static_cast<std::size_t>(size);
  }
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    message = "cannot open: " + systemReason(errno, "cannot be opened");
    return false;
  }
  return readAll(file, limit, expected, bytes, message);
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

MemoryStream::MemoryStream(const std::string& bytes)
    : std::istream(nullptr), buf_(bytes.data(), bytes.size()) {
  rdbuf(&buf_);
}

}  // namespace bctool
