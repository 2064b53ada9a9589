#include <nlohmann/json.hpp>

#include "bcode/code/bcode.h"
#include "bcode/instr/bcinstruction.h"
#include "tools/cmd/commands.h"
#include "tools/cmd/output.h"
#include "tools/support/blockinput.h"
#include "tools/support/errorreport.h"
#include "tools/support/nametablefile.h"
#include "tools/support/refcheck.h"

namespace bctool {

namespace {

// The section holding byte `offset`; "" past the record.
std::string sectionAt(const BlockReading& reading, std::size_t offset) {
  for (const SectionInfo& s : reading.sections) {
    if (offset >= s.begin && offset < s.end) return s.name;
  }
  return "";
}

// Why the block saved again is not the file, if it is not.
std::optional<Diagnostic> savedAgain(const BlockInput& input) {
  const BlockReading& reading = input.reading;
  const SavedAgain again = saveAgainst(*reading.block, input.bytes);
  if (!again.saved) {
    Diagnostic failed{input.file, again.written, sectionAt(reading, again.written),
                      "saving the block again failed: " + errorFlagsText()};
    bcInitBCode();
    return failed;
  }
  const std::size_t size = input.bytes.size();
  if (again.sameUpTo == size && again.written == size) return std::nullopt;
  if (again.sameUpTo == again.written) {
    return Diagnostic{input.file, again.written, "",
                      grouped(size - again.written) + " bytes follow the end of the block record"};
  }
  return Diagnostic{input.file, again.sameUpTo, sectionAt(reading, again.sameUpTo),
                    "saving the block again gives different bytes from here on"};
}

// Every problem of one input; none for a valid block.
std::vector<Diagnostic> problemsOf(const BlockInput& input) {
  if (!input.ok()) return input.failures;
  const BlockReading& reading = input.reading;
  std::vector<Diagnostic> problems;
  if (!reading.layoutFlags.empty()) problems.push_back(layoutFailure(input.file, reading));
  for (Unresolved& u : unresolvedReferences(*reading.block)) {
    const SectionInfo* section = reading.section(u.section);
    problems.push_back({input.file, section != nullptr ? section->begin : reading.recordEnd(),
                        u.section, std::move(u.text)});
  }
  if (std::optional<Diagnostic> saved = savedAgain(input)) problems.push_back(*saved);
  // Offsets into the record a text assembles to mean nothing in the text.
  if (input.text) {
    for (Diagnostic& d : problems) d.offset.reset();
  }
  return problems;
}

std::string summary(const BCode& block) {
  const std::uint32_t n = block.getInstrList().getCount();
  return blockKindName(block.getBlockKind()) + " " + std::to_string(block.getBlockNo()) + ", " +
         grouped(n) + (n == 1 ? " instruction" : " instructions");
}

nlohmann::ordered_json checkJson(const BlockInput& input, const std::vector<Diagnostic>& problems) {
  nlohmann::ordered_json found = nlohmann::ordered_json::array();
  for (const Diagnostic& d : problems) {
    found.push_back({{"offset", d.offset ? nlohmann::ordered_json(*d.offset) : nullptr},
                     {"section", d.section.empty() ? nullptr : nlohmann::ordered_json(d.section)},
                     {"message", d.message},
                     {"line", d.place ? nlohmann::ordered_json(d.place->line) : nullptr},
                     {"column", d.place ? nlohmann::ordered_json(d.place->column) : nullptr}});
  }
  nlohmann::ordered_json block = nullptr;
  if (input.reading.ok()) {
    const BCode& b = *input.reading.block;
    block = {{"kind", blockKindName(b.getBlockKind())},
             {"number", b.getBlockNo()},
             {"instructions", b.getInstrList().getCount()}};
  }
  return {{"file", input.file},
          {"result", problems.empty() ? "ok" : "invalid"},
          {"block", block},
          {"problems", found}};
}

}  // namespace

int runCheck(const Options& options) {
  NameTables tables;
  if (!loadNameTables(options, tables)) return kExitInvalid;
  Output out(options.output);
  if (!out.open()) return kExitInvalid;
  const bool json = options.format == Format::kJson;
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  bool allValid = true;
  for (const std::string& path : options.inputs) {
    BlockInput input = readBlockInput(path, options.maxInput, textMnemonics(options, tables));
    const std::vector<Diagnostic> problems = problemsOf(input);
    allValid = allValid && problems.empty();
    if (json) {
      files.push_back(checkJson(input, problems));
    } else if (problems.empty()) {
      out.write(input.file + ": ok (" + summary(*input.reading.block) + ")\n");
    } else {
      for (const Diagnostic& d : problems) report(d);
    }
    if (&path == &options.inputs.back()) keepUntilExit(input);
  }
  if (json) out.write(nlohmann::ordered_json{{"files", files}});
  const bool written = out.close();
  return allValid && written ? kExitOk : kExitInvalid;
}

}  // namespace bctool
