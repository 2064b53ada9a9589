#include "tools/cmd/commands.h"
#include "tools/cmd/output.h"
#include "tools/support/blockinput.h"
#include "tools/support/nametablefile.h"

namespace bctool {

int runDis(const Options& options) {
  NameTables tables;
  if (!loadNameTables(options, tables)) return kExitInvalid;
  const char* const* mnemonics = textMnemonics(options, tables);
  BlockInput input = readReported(options.inputs.front(), options, mnemonics);
  if (!input.ok()) return kExitInvalid;
  const std::string text = blockText(input, mnemonics);
  keepUntilExit(input);
  if (text.empty()) return kExitInvalid;
  Output out(options.output);
  if (!out.open()) return kExitInvalid;
  out.write(text);
  return out.close() ? kExitOk : kExitInvalid;
}

}  // namespace bctool
