#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/cmd/output.h"
#include "tools/support/blockgen.h"
#include "tools/support/blockreading.h"
#include "tools/support/diagnostic.h"
#include "tools/support/errorreport.h"

namespace bctool {

int runGen(const Options& options) {
  if (binaryToTerminal(options)) return kExitUsage;
  bcInitBCode();
  const GeneratedBlock generated = generateBlock(options.instructions, options.seed);
  std::string bytes;
  if (generated.block == nullptr || !saveBlock(*generated.block, bytes)) {
    report({"", std::nullopt, "", "generating the block failed: " + errorFlagsText()});
    return kExitInvalid;
  }
  Output out(options.output);
  if (!out.open()) return kExitInvalid;
  out.write(bytes);
  return out.close() ? kExitOk : kExitInvalid;
}

}  // namespace bctool
