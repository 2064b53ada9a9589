#include "tools/cmd/commands.h"
#include "tools/support/blockinput.h"
#include "tools/support/blocklisting.h"
#include "tools/support/nametablefile.h"

namespace bctool {

int runList(const Options& options) {
  NameTables tables;
  if (!loadNameTables(options, tables)) return kExitInvalid;
  return showEachBlock(options, tables,
                       {[&tables](std::ostream& os, const BlockInput& input) {
                          printListing(os, *input.reading.block, tables);
                        },
                        {}});
}

}  // namespace bctool
