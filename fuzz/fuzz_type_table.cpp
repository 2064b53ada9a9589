// The type table loader on arbitrary bytes, with 4- and 2-byte array bounds.
// Every descriptor that loads is measured, compared, dumped and listed; the
// table saves and loads again to the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/recordcheck.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const unsigned int width : {4u, 2u}) {
    const std::string problem = bcfuzz::checkTypeTableRecord(bytes, width);
    if (!problem.empty()) {
      std::fprintf(stderr, "%u-byte bounds: %s\n", width, problem.c_str());
      std::abort();
    }
  }
  return 0;
}
