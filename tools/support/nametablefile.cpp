#include "tools/support/nametablefile.h"

#include <algorithm>
#include <string_view>

#include "bcode/code/bcnametables.h"
#include "tools/support/blockfile.h"

namespace bctool {

namespace {

constexpr const char* kMissingName = "???";

// The lines of `text`; a final line end does not start another line, and a
// carriage return before a line end belongs to the line end.
std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return lines;
}

}  // namespace

NameTable::NameTable(const char* const* defaults, int size) {
  names_.reserve(static_cast<std::size_t>(size));
  for (int i = 0; i < size; ++i) names_.emplace_back(defaults[i]);
  rebuildPointers();
}

bool NameTable::loadFile(const std::string& path, std::uint64_t limit, std::string& message) {
  ByteBuffer text;
  if (!readInput(path, limit, text, message)) return false;
  std::vector<std::string> lines = splitLines(text);
  if (lines.size() > names_.size()) {
    message = std::to_string(lines.size()) + " names, the table has room for " +
              std::to_string(names_.size());
    return false;
  }
  for (std::size_t i = 0; i < names_.size(); ++i) {
    names_[i] = i < lines.size() ? lines[i] : kMissingName;
  }
  rebuildPointers();
  return true;
}

void NameTable::rebuildPointers() {
  pointers_.clear();
  for (const std::string& name : names_) pointers_.push_back(name.c_str());
}

NameTables::NameTables()
    : mnemonics(bcDefaultMnemonics(), kBCMnemonicCount),
      typeNames(bcDefaultTypeNames(), kBCTypeNameCount),
      classNames(bcDefaultOperandClassNames(), kBCOperandClassNameCount),
      paramKindNames(bcDefaultParamKindNames(), kBCParamKindNameCount) {}

}  // namespace bctool
