#include "tools/support/blockfile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace bctool {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

bool isStdStream(const std::string& path) {
  return path == kStdStream;
}

std::string systemReason(int error, const char* fallback) {
  return error != 0 ? std::strerror(error) : fallback;
}

// Reads everything `in` delivers; false when the stream reports an error.
bool readAll(std::istream& in, std::string& bytes) {
  bytes.clear();
  char chunk[kChunk];
  while (in) {
    in.read(chunk, static_cast<std::streamsize>(sizeof chunk));
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  return !in.bad();
}

}  // namespace

std::string displayName(const std::string& path) {
  return isStdStream(path) ? std::string("standard input") : "'" + path + "'";
}

bool readInput(const std::string& path, std::string& bytes, std::string& message) {
  if (isStdStream(path)) {
    if (readAll(std::cin, bytes)) return true;
    message = "cannot read standard input";
    return false;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    message = "cannot read '" + path + "': Is a directory";
    return false;
  }
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    message = "cannot open '" + path + "': " + systemReason(errno, "cannot be opened");
    return false;
  }
  if (readAll(file, bytes)) return true;
  message = "cannot read '" + path + "': " + systemReason(errno, "read error");
  return false;
}

bool writeOutput(const std::string& path, const std::string& bytes, std::string& message) {
  if (isStdStream(path)) {
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    if (std::cout) return true;
    message = "cannot write standard output";
    return false;
  }
  errno = 0;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) {
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
  }
  if (file) return true;
  message = "cannot write '" + path + "': " + systemReason(errno, "write error");
  return false;
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

MemoryStream::MemoryStream(const std::string& bytes)
    : std::istream(nullptr), buf_(bytes.data(), bytes.size()) {
  rdbuf(&buf_);
}

}  // namespace bctool
