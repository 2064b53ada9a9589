#include <iostream>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/support/blockfile.h"
#include "tools/support/blockreading.h"
#include "tools/support/errorreport.h"
#include "tools/support/refcheck.h"

namespace bctool {

namespace {

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

// Every problem of one file's bytes; empty for a valid block.
std::vector<std::string> problemsOf(const std::string& bytes, std::string& summary) {
  BlockReading reading = readBlock(bytes);
  if (!reading.ok()) {
    bcInitBCode();
    return {reading.failureText()};
  }
  std::vector<std::string> problems;
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

int runCheck(const std::vector<std::string>& inputs) {
  bool allValid = true;
  for (const std::string& input : inputs) allValid = checkOne(input) && allValid;
  return allValid ? kExitOk : kExitInvalid;
}

}  // namespace bctool
