#include "commands.h"

#include <iostream>
#include <memory>
#include <sstream>

#include "bcode/code/bcode.h"
#include "blockfile.h"
#include "blocklisting.h"
#include "demoblock.h"
#include "errorflags.h"
#include "nametablefile.h"
#include "refcheck.h"
#include "sectionreader.h"

namespace bctool {

namespace {

int fail(const std::string& message) {
  std::cerr << "bcode: " << message << '\n';
  return kExitInvalid;
}

std::string flagsOrNone(const std::string& flags) {
  return flags.empty() ? std::string("no error flag set") : flags;
}

// The block record of `block`; false when the save reported a failure.
bool saveBlock(const BCode& block, std::string& bytes) {
  std::ostringstream os;
  block.save(os);
  bytes = os.str();
  return BCode::getError() == BCode::BCODE_OK;
}

std::size_t firstDifference(const std::string& a, const std::string& b) {
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  return at;
}

std::string describeFailure(const BlockReading& reading) {
  return "failed in the " + std::string(reading.failedSection) + " at byte " +
         std::to_string(reading.stopOffset) + ": " + flagsOrNone(reading.failureFlags);
}

// Why the bytes saved again differ from the file, or "" when they do not.
std::string compareSavedAgain(const std::string& file, const std::string& again) {
  if (file == again) return "";
  if (file.size() > again.size() && file.compare(0, again.size(), again) == 0) {
    return std::to_string(file.size() - again.size()) +
           " bytes follow the end of the block record at byte " + std::to_string(again.size());
  }
  return "saving it again gives different bytes from byte " +
         std::to_string(firstDifference(file, again)) + " on";
}

// A block read from `input`, or null after the message is written.
std::unique_ptr<BCode> readValidBlock(const std::string& input, std::string& bytes,
                                      BlockReading& reading) {
  std::string message;
  if (!readInput(input, bytes, message)) {
    fail(message);
    return nullptr;
  }
  reading = readBlock(bytes);
  if (!reading.ok()) {
    fail(displayName(input) + " is not a valid block: " + describeFailure(reading));
    return nullptr;
  }
  return std::move(reading.block);
}

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

// Every problem of one file's bytes; empty for a valid block.
std::vector<std::string> problemsOf(const std::string& bytes, std::string& summary) {
  std::vector<std::string> problems;
  BlockReading reading = readBlock(bytes);
  if (!reading.ok()) {
    problems.push_back(describeFailure(reading));
  } else {
    const BCode& block = *reading.block;
    summary = "block " + std::to_string(block.getBlockNo()) + ", kind " +
              blockKindName(block.getBlockKind());
    if (!reading.layoutFlags.empty()) {
      problems.push_back("laying out the block failed: " + reading.layoutFlags);
    }
    for (std::string& unresolved : unresolvedReferences(block)) problems.push_back(unresolved);
    std::string again;
    if (!saveBlock(block, again)) {
      problems.push_back("saving it again failed: " + errorFlagsText());
    } else if (std::string difference = compareSavedAgain(bytes, again); !difference.empty()) {
      problems.push_back(difference);
    }
  }
  // The library's own loader must come to the same verdict.
  bcInitBCode();
  MemoryStream in(bytes);
  std::unique_ptr<BCode> loaded(BCode::iload(in));
  if ((loaded != nullptr) != reading.ok()) {
    problems.push_back(loaded != nullptr ? "the library's loader reads it nevertheless"
                                         : "the library's loader fails: " + errorFlagsText());
  }
  bcInitBCode();
  return problems;
}

bool checkOne(const std::string& input) {
  std::string bytes;
  std::string message;
  if (!readInput(input, bytes, message)) {
    fail(message);
    return false;
  }
  std::string name = input == kStdStream ? "standard input" : input;
  std::string summary;
  std::vector<std::string> problems = problemsOf(bytes, summary);
  if (problems.empty()) {
    std::cout << name << ": ok: " << summary << '\n';
    return true;
  }
  for (const std::string& problem : problems) std::cout << name << ": " << problem << '\n';
  return false;
}

}  // namespace

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
  if (!saveBlock(*loaded, again))
    return fail("saving the loaded block failed: " + errorFlagsText());

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

int runList(const std::string& input, const NameTableFiles& tableFiles) {
  NameTables tables;
  if (!loadNameTables(tableFiles, tables)) return kExitInvalid;
  std::string bytes;
  BlockReading reading;
  std::unique_ptr<BCode> block = readValidBlock(input, bytes, reading);
  if (block == nullptr) return kExitInvalid;
  printListing(std::cout, *block, tables);
  return kExitOk;
}

int runDump(const std::string& input) {
  std::string bytes;
  BlockReading reading;
  std::unique_ptr<BCode> block = readValidBlock(input, bytes, reading);
  if (block == nullptr) return kExitInvalid;
  printDump(std::cout, *block);
  return kExitOk;
}

int runCheck(const std::vector<std::string>& inputs) {
  bool allValid = true;
  for (const std::string& input : inputs) allValid = checkOne(input) && allValid;
  return allValid ? kExitOk : kExitInvalid;
}

int runStats(const std::string& input) {
  std::string bytes;
  std::string message;
  if (!readInput(input, bytes, message)) return fail(message);
  BlockReading reading = readBlock(bytes);
  printStats(std::cout, reading, bytes.size());
  if (!reading.ok()) {
    return fail(displayName(input) + " is not a valid block: " + describeFailure(reading));
  }
  return kExitOk;
}

}  // namespace bctool
