// BCode::iload on arbitrary bytes. Whatever loads is laid out, saved, loaded
// again and must save to the same bytes; it is listed and dumped.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/recordcheck.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Unresolved references are reported on standard output; libFuzzer's own
  // reports go to standard error.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem =
      bcfuzz::checkBlockRecord(std::string(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
