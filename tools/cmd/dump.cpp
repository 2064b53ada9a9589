#include <iostream>
#include <memory>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/support/blocklisting.h"

namespace bctool {

int runDump(const std::string& input) {
  std::unique_ptr<BCode> block = readValidBlock(input);
  if (block == nullptr) return kExitInvalid;
  printDump(std::cout, *block);
  return kExitOk;
}

}  // namespace bctool
