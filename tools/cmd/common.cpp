#include <iostream>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/support/blockfile.h"
#include "tools/support/blockreading.h"

namespace bctool {

int fail(const std::string& message) {
  std::cerr << "bcode: " << message << '\n';
  return kExitInvalid;
}

std::unique_ptr<BCode> readValidBlock(const std::string& input) {
  std::string bytes;
  std::string message;
  if (!readInput(input, bytes, message)) {
    fail(message);
    return nullptr;
  }
  BlockReading reading = readBlock(bytes);
  if (!reading.ok()) {
    fail(displayName(input) + " is not a valid block: " + reading.failureText());
    return nullptr;
  }
  return std::move(reading.block);
}

}  // namespace bctool
