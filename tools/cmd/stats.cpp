#include <iostream>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/support/blockfile.h"
#include "tools/support/blocklisting.h"
#include "tools/support/blockreading.h"

namespace bctool {

int runStats(const std::string& input) {
  std::string bytes;
  std::string message;
  if (!readInput(input, bytes, message)) return fail(message);
  BlockReading reading = readBlock(bytes);
  printStats(std::cout, reading, bytes.size());
  if (!reading.ok()) {
    return fail(displayName(input) + " is not a valid block: " + reading.failureText());
  }
  return kExitOk;
}

}  // namespace bctool
