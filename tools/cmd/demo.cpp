#include <iostream>
#include <memory>
#include <sstream>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/cmd/output.h"
#include "tools/support/blocklisting.h"
#include "tools/support/blockreading.h"
#include "tools/support/demoblock.h"
#include "tools/support/diagnostic.h"
#include "tools/support/errorreport.h"
#include "tools/support/nametablefile.h"

namespace bctool {

namespace {

int failed(const std::string& what) {
  report({"", std::nullopt, "", what + " failed: " + errorFlagsText()});
  return kExitInvalid;
}

}  // namespace

int runDemo(const Options& options) {
  bcInitBCode();
  std::unique_ptr<BCode> block = buildDemoBlock();
  if (block == nullptr) return failed("building the demo block");
  std::string bytes;
  if (!saveBlock(*block, bytes)) return failed("saving the demo block");
  Output record(options.output);
  if (!record.open()) return kExitInvalid;
  record.write(bytes);
  if (!record.close()) return kExitInvalid;

  MemoryStream in(bytes);
  std::unique_ptr<BCode> loaded(BCode::iload(in));
  if (loaded == nullptr || BCode::getError() != BCode::BCODE_OK) {
    return failed("loading the demo block back");
  }
  // The record carries no view numbers; the compiler declares them again.
  declareDemoViews(*loaded);
  loaded->calcOffsets();
  std::string again;
  if (!saveBlock(*loaded, again)) return failed("saving the loaded block");

  // With the block on standard output the listing goes to standard error.
  const bool toStdout = options.output == kStdStream;
  Output listing(toStdout ? "<stderr>" : "<stdout>", toStdout ? std::cerr : std::cout);
  std::ostringstream text;
  printListing(text, *loaded, NameTables());
  const bool same = again == bytes;
  if (same) {
    text << "\nSaved the block to " << (toStdout ? "standard output" : options.output) << " ("
         << bytes.size() << " bytes), loaded it back and saved it again: the same bytes.\n";
  }
  listing.write(text.str());
  if (!listing.close()) return kExitInvalid;
  if (!same) {
    report({"", std::nullopt, "",
            "saving the loaded demo block gives different bytes from byte " +
                std::to_string(firstDifference(bytes, again)) + " on"});
    return kExitInvalid;
  }
  return kExitOk;
}

}  // namespace bctool
