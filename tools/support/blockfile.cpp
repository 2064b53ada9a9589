#include "tools/support/blockfile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

namespace bctool {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

std::string systemReason(int error, const char* fallback) {
  return error != 0 ? std::strerror(error) : fallback;
}

std::string tooLarge(std::uint64_t limit) {
  return "larger than the input limit of " + grouped(limit) + " bytes (--max-input changes it)";
}

// Reads what `in` delivers; stops at the first chunk that would take the
// bytes beyond `limit`, so that an endless input ends there.
bool readAll(std::istream& in, std::uint64_t limit, std::string& bytes, std::string& message) {
  bytes.clear();
  std::vector<char> chunk(kChunk);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (bytes.size() + got > limit) {
      bytes = std::string();
      message = tooLarge(limit);
      return false;
    }
    bytes.append(chunk.data(), got);
  }
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
  if (path == kStdStream) return readAll(std::cin, limit, bytes, message);
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) {
    message = "cannot read: Is a directory";
    return false;
  }
  // A regular file too long is refused before a byte of it is read.
  if (std::filesystem::is_regular_file(status)) {
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > limit) {
      message = tooLarge(limit);
      return false;
    }
  }
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    message = "cannot open: " + systemReason(errno, "cannot be opened");
    return false;
  }
  return readAll(file, limit, bytes, message);
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
