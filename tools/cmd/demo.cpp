#include <iostream>
#include <memory>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/support/blockfile.h"
#include "tools/support/blocklisting.h"
#include "tools/support/blockreading.h"
#include "tools/support/demoblock.h"
#include "tools/support/errorreport.h"
#include "tools/support/nametablefile.h"

namespace bctool {

int runDemo(const std::string& output) {
  bcInitBCode();
  std::unique_ptr<BCode> block = buildDemoBlock();
  if (block == nullptr) return fail("building the demo block failed: " + errorFlagsText());
  std::string bytes;
  if (!saveBlock(*block, bytes)) return fail("saving the demo block failed: " + errorFlagsText());
  std::string message;
  if (!writeOutput(output, bytes, message)) return fail(message);

  MemoryStream in(bytes);
  std::unique_ptr<BCode> loaded(BCode::iload(in));
  if (loaded == nullptr || BCode::getError() != BCode::BCODE_OK) {
    return fail("loading the demo block back failed: " + errorFlagsText());
  }
  // The record carries no view numbers; the compiler declares them again.
  declareDemoViews(*loaded);
  loaded->calcOffsets();
  std::string again;
  if (!saveBlock(*loaded, again)) {
    return fail("saving the loaded block failed: " + errorFlagsText());
  }

  // With the block on standard output the listing goes to standard error.
  std::ostream& out = output == kStdStream ? std::cerr : std::cout;
  printListing(out, *loaded, NameTables());
  if (again != bytes) {
    return fail("saving the loaded block gives different bytes from byte " +
                std::to_string(firstDifference(bytes, again)) + " on");
  }
  out << "\nSaved the block to " << (output == kStdStream ? "standard output" : output) << " ("
      << bytes.size() << " bytes), loaded it back and saved it again: the same bytes.\n";
  return kExitOk;
}

}  // namespace bctool
