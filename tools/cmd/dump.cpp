#include "tools/cmd/commands.h"
#include "tools/support/blockinput.h"
#include "tools/support/blocklisting.h"

namespace bctool {

int runDump(const Options& options) {
  return showEachBlock(
      options,
      {[](std::ostream& os, const BlockInput& input) { printDump(os, *input.reading.block); }, {}});
}

}  // namespace bctool
