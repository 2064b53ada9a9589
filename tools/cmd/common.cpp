#include <unistd.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "bcode/code/bcode.h"
#include "bcode/text/bctext.h"
#include "tools/cmd/commands.h"
#include "tools/cmd/output.h"
#include "tools/support/blockinput.h"
#include "tools/support/errorreport.h"
#include "tools/support/nametablefile.h"

namespace bctool {

void report(const Diagnostic& diagnostic) {
  std::cerr << diagnosticLine(diagnostic) << '\n';
}

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

const char* const* textMnemonics(const Options& options, const NameTables& tables) {
  return options.tables.mnemonics.empty() ? nullptr : tables.mnemonics.get();
}

BlockInput readReported(const std::string& path, const Options& options,
                        const char* const* mnemonics) {
  BlockInput input = readBlockInput(path, options.maxInput, mnemonics);
  for (const Diagnostic& d : input.failures) report(d);
  return input;
}

void keepUntilExit(BlockInput& input) {
  if (input.reading.block == nullptr) return;
  // Never destroyed; what it holds stays reachable from here.
  static auto* const kept = new std::vector<std::unique_ptr<BCode>>();
  kept->push_back(std::move(input.reading.block));
}

std::string blockText(const BlockInput& input, const char* const* mnemonics) {
  std::string text = bcToText(*input.reading.block, mnemonics);
  if (text.empty()) {
    report({input.file, std::nullopt, "", "writing the text failed: " + errorFlagsText()});
    bcInitBCode();
  }
  return text;
}

bool binaryToTerminal(const Options& options) {
  if (options.output != kStdStream || isatty(STDOUT_FILENO) != 1) return false;
  report({"", std::nullopt, "",
          "a block record is binary: name a file with -o FILE or redirect standard output"});
  return true;
}

int showEachBlock(const Options& options, const BlockView& view) {
  NameTables tables;
  if (!loadNameTables(options, tables)) return kExitInvalid;
  return showEachBlock(options, tables, view);
}

int showEachBlock(const Options& options, const NameTables& tables, const BlockView& view) {
  Output out(options.output);
  if (!out.open()) return kExitInvalid;
  const bool json = options.format == Format::kJson && view.json;
  const bool headers = options.inputs.size() > 1;
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  bool allRead = true;
  bool first = true;
  for (const std::string& path : options.inputs) {
    BlockInput input = readReported(path, options, textMnemonics(options, tables));
    if (!input.ok()) {
      allRead = false;
      continue;
    }
    if (json) {
      std::optional<nlohmann::ordered_json> entry = view.json(input);
      if (entry) {
        files.push_back(std::move(*entry));
      } else {
        allRead = false;
      }
    } else {
      std::ostringstream text;
      if (headers) text << (first ? "" : "\n") << "==> " << input.file << " <==\n";
      first = false;
      view.text(text, input);
      out.write(text.str());
    }
    if (&path == &options.inputs.back()) keepUntilExit(input);
    if (!out.good()) break;
  }
  if (json) out.write(nlohmann::ordered_json{{"files", files}});
  const bool written = out.close();
  return allRead && written ? kExitOk : kExitInvalid;
}

}  // namespace bctool
