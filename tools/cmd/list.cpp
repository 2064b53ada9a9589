#include <iostream>
#include <memory>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/support/blocklisting.h"
#include "tools/support/nametablefile.h"

namespace bctool {

namespace {

bool loadNameTables(const NameTableFiles& files, NameTables& tables) {
  struct Replacement {
    const std::string& path;
    NameTable& table;
  } replacements[] = {{files.mnemonics, tables.mnemonics},
                      {files.typeNames, tables.typeNames},
                      {files.classNames, tables.classNames},
                      {files.paramKindNames, tables.paramKindNames}};
  for (Replacement& r : replacements) {
    std::string message;
    if (!r.path.empty() && !r.table.loadFile(r.path, message)) {
      fail(message);
      return false;
    }
  }
  return true;
}

}  // namespace

int runList(const std::string& input, const NameTableFiles& tableFiles) {
  NameTables tables;
  if (!loadNameTables(tableFiles, tables)) return kExitInvalid;
  std::unique_ptr<BCode> block = readValidBlock(input);
  if (block == nullptr) return kExitInvalid;
  printListing(std::cout, *block, tables);
  return kExitOk;
}

}  // namespace bctool
