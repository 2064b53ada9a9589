#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tools/cmd/commands.h"
#include "tools/cmd/output.h"
#include "tools/support/blockinput.h"

namespace bctool {

void report(const Diagnostic& diagnostic) {
  std::cerr << diagnosticLine(diagnostic) << '\n';
}

int showEachBlock(const Options& options, const BlockView& view) {
  Output out(options.output);
  if (!out.open()) return kExitInvalid;
  const bool json = options.format == Format::kJson && view.json;
  const bool headers = options.inputs.size() > 1;
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  bool allRead = true;
  bool first = true;
  for (const std::string& path : options.inputs) {
    const BlockInput input = readBlockInput(path, options.maxInput);
    if (!input.ok()) {
      report(*input.failure);
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
      continue;
    }
    std::ostringstream text;
    if (headers) text << (first ? "" : "\n") << "==> " << input.file << " <==\n";
    first = false;
    view.text(text, input);
    out.write(text.str());
    if (!out.good()) break;
  }
  if (json) out.write(nlohmann::ordered_json{{"files", files}});
  const bool written = out.close();
  return allRead && written ? kExitOk : kExitInvalid;
}

}  // namespace bctool
