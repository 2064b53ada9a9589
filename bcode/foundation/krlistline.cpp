#include "bcode/foundation/krlistline.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ostream>

namespace {

// Room left for a text and its zero at `at`, 0 when `at` lies outside the line.
std::size_t roomAt(const char* line, const char* at) {
  if (line == nullptr || at == nullptr || at < line || at >= line + kKRLineSize) return 0;
  return static_cast<std::size_t>(line + kKRLineSize - at);
}

}  // namespace

char* krLinePrintf(char* line, char* at, const char* format, ...) {
  const std::size_t room = roomAt(line, at);
  if (room == 0) return at;
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(at, room, format, args);
  va_end(args);
  if (written < 0) {
    *at = '\0';
    return at;
  }
  const std::size_t used = std::min(static_cast<std::size_t>(written), room - 1);
  return at + used;
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
  if ((mode & KR_STORE_NO_LINE_END) == 0) os << '\n';
  std::memset(line, 0, kKRLineSize);
}
