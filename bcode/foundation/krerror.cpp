#include "bcode/foundation/krerror.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

KRErrorNoHeap::KRErrorNoHeap(const char* headerPath, std::int32_t line) : line_(line) {
  // Keep only the text after the last path separator or drive colon.
  const char* base = headerPath != nullptr ? headerPath : "";
  for (const char* p = base; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\' || *p == ':') base = p + 1;
  }
  std::strncpy(header_, base, sizeof header_ - 1);
  header_[sizeof header_ - 1] = '\0';
}

void krAssertFailed(const char* text, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, text);
  std::abort();
}
