#include "tools/cmd/commands.h"
#include "tools/support/blockinput.h"
#include "tools/support/blocklisting.h"
#include "tools/support/nametablefile.h"

namespace bctool {

namespace {

bool loadNameTables(const Options& options, NameTables& tables) {
  const NameTableFiles& files = options.tables;
  struct Replacement {
    const std::string& path;
    NameTable& table;
  } replacements[] = {{files.mnemonics, tables.mnemonics},
                      {files.typeNames, tables.typeNames},
                      {files.classNames, tables.classNames},
                      {files.paramKindNames, tables.paramKindNames}};
  for (Replacement& r : replacements) {
    std::string message;
    if (!r.path.empty() && !r.table.loadFile(r.path, options.maxInput, message)) {
      report({displayName(r.path), std::nullopt, "", message});
      return false;
    }
  }
  return true;
}

}  // namespace

int runList(const Options& options) {
  NameTables tables;
  if (!loadNameTables(options, tables)) return kExitInvalid;
  return showEachBlock(options, {[&tables](std::ostream& os, const BlockInput& input) {
                                   printListing(os, *input.reading.block, tables);
                                 },
                                 {}});
}

}  // namespace bctool
