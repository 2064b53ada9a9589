#include "tools/cmd/commands.h"
#include "tools/cmd/output.h"
#include "tools/support/blockinput.h"
#include "tools/support/nametablefile.h"

namespace bctool {

int runAsm(const Options& options) {
  if (binaryToTerminal(options)) return kExitUsage;
  NameTables tables;
  if (!loadNameTables(options, tables)) return kExitInvalid;
  const BlockInput input =
      readReported(options.inputs.front(), options, textMnemonics(options, tables));
  if (!input.ok()) return kExitInvalid;
  if (!input.text) {
    report({input.file, std::nullopt, "",
            "not a block text: a text begins with the keyword 'block' (after blanks and "
            "comments)"});
    return kExitInvalid;
  }
  // The output is opened only now: a text with errors leaves no file behind.
  Output out(options.output);
  if (!out.open()) return kExitInvalid;
  out.write(input.bytes.data(), input.bytes.size());
  return out.close() ? kExitOk : kExitInvalid;
}

}  // namespace bctool
