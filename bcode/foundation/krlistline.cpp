#include "bcode/foundation/krlistline.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>

namespace {

// Room left for a text and its zero at `at`, 0 when `at` lies outside the line.
std::size_t roomAt(const char* line, const char* at) {
  if (line == nullptr || at == nullptr || at < line || at >= line + kKRLineSize) return 0;
  return static_cast<std::size_t>(line + kKRLineSize - at);
}

char* formatAt(char* line, char* at, const char* format, va_list args) {
  const std::size_t room = roomAt(line, at);
  if (room == 0) return at;
  const int written = std::vsnprintf(at, room, format, args);
  if (written < 0) {
    *at = '\0';
    return at;
  }
  return at + std::min(static_cast<std::size_t>(written), room - 1);
}

}  // namespace

char* krLinePrintf(char* line, char* at, const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* const end = formatAt(line, at, format, args);
  va_end(args);
  return end;
}

char* krLinePut(char* line, char* at, const char* text) {
  const std::size_t room = roomAt(line, at);
  if (room == 0) return at;
  const std::size_t size = std::strlen(text != nullptr ? text : "");
  const std::size_t used = std::min(size, room - 1);
  if (used != 0) std::memcpy(at, text, used);
  at[used] = '\0';
  return at + used;
}

void krLineStore(std::ostream& os, char* end, char* line, unsigned mode) {
  if (line == nullptr) return;
  char* const limit = line + kKRLineSize;
  if (end > limit) end = limit;
  for (char* p = line; p < end; ++p) {
    if (*p == '\0') *p = ' ';
    if ((mode & KR_STORE_SHIFT_CONTROLS) != 0) {
      const auto byte = static_cast<unsigned char>(*p);
      if (byte >= 1 && byte <= 31) *p = static_cast<char>(byte + 128);
    }
  }
  os.write(line, static_cast<std::streamsize>(strnlen(line, kKRLineSize)));
  if ((mode & KR_STORE_NO_LINE_END) == 0) os.put('\n');
  std::memset(line, 0, kKRLineSize);
}

KRListLine::KRListLine(char* line, char* origin) : line_(line), origin_(origin) {}

char* KRListLine::at(const KRListColumn& column) const {
  if (line_ == nullptr || origin_ == nullptr) return nullptr;
  // Compared as addresses: an origin outside the buffer must not be moved.
  const auto start = reinterpret_cast<std::uintptr_t>(line_);
  const auto origin = reinterpret_cast<std::uintptr_t>(origin_);
  if (origin < start || origin - start > kKRLineSize) return nullptr;
  const std::size_t used = origin - start;
  return line_ + (column.position < kKRLineSize - used ? used + column.position : kKRLineSize);
}

char* KRListLine::put(const KRListColumn& column, const char* text) const {
  return krLinePut(line_, at(column), text);
}

char* KRListLine::printf(const KRListColumn& column, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  char* const end = formatAt(line_, at(column), format, args);
  va_end(args);
  return end;
}

void KRListLine::store(std::ostream& os, const KRListColumn& end, unsigned mode) const {
  krLineStore(os, at(end), line_, mode);
}
