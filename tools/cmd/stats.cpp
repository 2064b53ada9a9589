#include <nlohmann/json.hpp>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/support/blockinput.h"
#include "tools/support/blocklisting.h"

namespace bctool {

namespace {

nlohmann::ordered_json statsJson(const BlockInput& input) {
  const BlockReading& reading = input.reading;
  const BCode& block = *reading.block;
  nlohmann::ordered_json sections = nlohmann::ordered_json::array();
  for (const SectionInfo& s : reading.sections) {
    sections.push_back({{"name", s.name},
                        {"offset", s.begin},
                        {"bytes", s.end - s.begin},
                        {"entries", s.hasEntries ? nlohmann::ordered_json(s.entries) : nullptr}});
  }
  return {
      {"file", input.file},
      {"block", {{"kind", blockKindName(block.getBlockKind())}, {"number", block.getBlockNo()}}},
      {"bytes", input.bytes.size()},
      {"sections", sections},
      {"trailing_bytes", input.bytes.size() - reading.recordEnd()}};
}

}  // namespace

int runStats(const Options& options) {
  return showEachBlock(options, {[](std::ostream& os, const BlockInput& input) {
                                   printStats(os, input.reading, input.bytes.size());
                                 },
                                 statsJson});
}

}  // namespace bctool
