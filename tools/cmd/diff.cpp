#include <dtl/dtl.hpp>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cmd/commands.h"
#include "tools/cmd/output.h"
#include "tools/support/blockinput.h"
#include "tools/support/nametablefile.h"

namespace bctool {

namespace {

using Lines = std::vector<std::string_view>;
using LineDiff = dtl::Diff<std::string_view, Lines>;
using LineChange = std::pair<std::string_view, dtl::elemInfo>;

// The lines of a canonical text, each ended by a line feed.
Lines linesOf(const std::string& text) {
  Lines lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.emplace_back(text.data() + at, end - at);
    at = end + 1;
  }
  return lines;
}

// For each line, the heading of the section it is in; empty above the
// first. A text's section headings are the names of the record's sections.
Lines sectionsOf(const Lines& lines, const BlockReading& reading) {
  std::set<std::string_view> headings;
  for (const SectionInfo& s : reading.sections) headings.insert(s.name);
  Lines sections;
  sections.reserve(lines.size());
  std::string_view current;
  for (std::string_view line : lines) {
    if (headings.count(line) != 0) current = line;
    sections.push_back(current);
  }
  return sections;
}

struct Side {
  std::string name;  // as the header names it
  Lines lines;
  Lines sections;
};

void appendLines(std::string& out, char mark, const std::vector<LineChange>& elements) {
  for (const auto& [line, info] : elements) {
    const char m = info.type == dtl::SES_ADD ? '+' : info.type == dtl::SES_DELETE ? '-' : mark;
    out += m;
    out.append(line.data(), line.size());
    out += '\n';
  }
}

// The unified diff from `a` to `b`, three lines of context, each hunk
// header naming the section of its first changed line.
std::string unifiedDiff(const Side& a, const Side& b) {
  LineDiff diff(a.lines, b.lines);
  diff.compose();
  diff.composeUnifiedHunks();
  std::string out = "--- " + a.name + "\n+++ " + b.name + "\n";
  for (const auto& hunk : diff.getUniHunks()) {
    std::string_view section;
    if (!hunk.change.empty()) {
      const dtl::elemInfo& first = hunk.change.front().second;
      section = first.type == dtl::SES_ADD ? b.sections.at(first.afterIdx - 1)
                                           : a.sections.at(first.beforeIdx - 1);
    }
    out += "@@ -" + std::to_string(hunk.a) + "," + std::to_string(hunk.b) + " +" +
           std::to_string(hunk.c) + "," + std::to_string(hunk.d) + " @@";
    if (!section.empty()) out += " " + std::string(section);
    out += '\n';
    appendLines(out, ' ', hunk.common[0]);
    appendLines(out, ' ', hunk.change);
    appendLines(out, ' ', hunk.common[1]);
  }
  return out;
}

}  // namespace

int runDiff(const Options& options) {
  NameTables tables;
  if (!loadNameTables(options, tables)) return kExitDiffError;
  const char* const* mnemonics = textMnemonics(options, tables);
  BlockInput inputs[2];
  std::string texts[2];
  for (int i = 0; i < 2; ++i) {
    inputs[i] = readReported(options.inputs.at(i), options, mnemonics);
    if (!inputs[i].ok()) return kExitDiffError;
    texts[i] = blockText(inputs[i], mnemonics);
    if (texts[i].empty()) return kExitDiffError;
  }
  Output out(options.output);
  if (!out.open()) return kExitDiffError;
  if (texts[0] == texts[1]) return out.close() ? kExitOk : kExitDiffError;
  Side sides[2];
  for (int i = 0; i < 2; ++i) {
    sides[i].name = inputs[i].file;
    sides[i].lines = linesOf(texts[i]);
    sides[i].sections = sectionsOf(sides[i].lines, inputs[i].reading);
  }
  out.write(unifiedDiff(sides[0], sides[1]));
  return out.close() ? kExitDifferent : kExitDiffError;
}

}  // namespace bctool
