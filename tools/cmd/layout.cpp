#include <algorithm>
#include <iomanip>
#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "bcode/code/bcode.h"
#include "tools/cmd/commands.h"
#include "tools/support/blockinput.h"
#include "tools/support/blocklayout.h"

namespace bctool {

namespace {

using Json = nlohmann::ordered_json;

// Names longer than this push their type column out of line.
constexpr std::size_t kWidestNameColumn = 24;

std::string bits(std::uint64_t n) {
  return std::to_string(n) + (n == 1 ? " bit" : " bits");
}

std::string heading(const Layout& layout) {
  switch (layout.kind) {
    case Layout::kInterface:
      return layout.title + " interface" +
             (layout.hasOffsets ? "" : ": parameters passed as 32-bit references, no offsets");
    case Layout::kLocalData:
      return layout.title + ", start offset " + std::to_string(layout.startOffset);
    default:
      return layout.title;
  }
}

void row(std::ostream& os, const std::string& offset, const std::string& size,
         const std::string& align, std::size_t nameWidth, const std::string& name,
         const std::string& type) {
  std::ostringstream line;
  line << std::right << std::setw(9) << offset << std::setw(8) << size << std::setw(7) << align
       << "  " << std::left << std::setw(static_cast<int>(nameWidth)) << name << "  " << type;
  std::string text = line.str();
  text.erase(text.find_last_not_of(' ') + 1);
  os << text << '\n';
}

void printMembers(std::ostream& os, const Layout& layout) {
  std::size_t width = 4;
  for (const LayoutMember& m : layout.members) width = std::max(width, m.name.size());
  width = std::min(width, kWidestNameColumn);
  row(os, "offset", "size", "align", width, "name", "type");
  for (const LayoutMember& m : layout.members) {
    if (m.holeBefore != 0) {
      row(os, std::to_string(*m.offset - m.holeBefore), std::to_string(m.holeBefore), "", width,
          "(hole)", "");
    }
    row(os, m.offset ? std::to_string(*m.offset) : "-", std::to_string(m.size),
        std::to_string(m.alignment), width, m.name,
        m.type + (m.viewOf ? " (view of " + *m.viewOf + ")" : ""));
  }
  if (layout.paddingAtEnd != 0) {
    row(os, std::to_string(layout.total - layout.paddingAtEnd), std::to_string(layout.paddingAtEnd),
        "", width, "(padding)", "");
  }
}

void printArray(std::ostream& os, const Layout& layout) {
  const ArrayElements& e = *layout.elements;
  os << "  " << e.count << (e.count == 1 ? " element" : " elements") << " of " << e.type << ", "
     << bits(e.size) << " each, alignment " << e.alignment << ": " << bits(e.unrounded);
  if (e.padding != 0) os << " with " << bits(e.padding) << " of padding between elements";
  os << '\n';
}

void printLayout(std::ostream& os, const Layout& layout) {
  os << heading(layout) << '\n';
  if (layout.elements) {
    printArray(os, layout);
  } else {
    printMembers(os, layout);
  }
  if (!layout.failure.empty()) {
    os << "  cannot be laid out: " << layout.failure << '\n';
    return;
  }
  if (!layout.hasOffsets) return;
  os << "  total " << bits(layout.total) << ": ";
  if (!layout.elements) {
    os << layout.members.size() << " members, " << bits(layout.holeBits()) << " in "
       << layout.holeCount() << (layout.holeCount() == 1 ? " hole" : " holes") << ", ";
  }
  os << bits(layout.paddingAtEnd) << " of padding at the end\n";
}

Json optional(const std::optional<std::uint32_t>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json layoutJson(const Layout& layout) {
  Json members = Json::array();
  Json holes = Json::array();
  for (const LayoutMember& m : layout.members) {
    if (m.holeBefore != 0)
      holes.push_back({{"offset", *m.offset - m.holeBefore}, {"size", m.holeBefore}});
    members.push_back({{"name", m.name},
                       {"type", m.type},
                       {"offset", optional(m.offset)},
                       {"size", m.size},
                       {"alignment", m.alignment},
                       {"view_of", m.viewOf ? Json(*m.viewOf) : Json(nullptr)}});
  }
  Json elements = nullptr;
  if (layout.elements) {
    const ArrayElements& e = *layout.elements;
    elements = {{"type", e.type},   {"size", e.size},      {"alignment", e.alignment},
                {"count", e.count}, {"bits", e.unrounded}, {"padding", e.padding}};
  }
  return {{"kind", layoutKindName(layout.kind)},
          {"name", layout.title},
          {"start_offset",
           layout.kind == Layout::kLocalData ? Json(layout.startOffset) : Json(nullptr)},
          {"total", layout.hasOffsets ? Json(layout.total) : Json(nullptr)},
          {"members", members},
          {"holes", holes},
          {"padding_at_end", layout.paddingAtEnd},
          {"elements", elements},
          {"failure", layout.failure.empty() ? Json(nullptr) : Json(layout.failure)}};
}

}  // namespace

int runLayout(const Options& options) {
  return showEachBlock(options, {[](std::ostream& os, const BlockInput& input) {
                                   bool first = true;
                                   for (const Layout& layout : blockLayouts(*input.reading.block)) {
                                     if (!first) os << '\n';
                                     first = false;
                                     printLayout(os, layout);
                                   }
                                 },
                                 [](const BlockInput& input) {
                                   Json layouts = Json::array();
                                   for (const Layout& layout : blockLayouts(*input.reading.block)) {
                                     layouts.push_back(layoutJson(layout));
                                   }
                                   return Json{{"file", input.file}, {"layouts", layouts}};
                                 }});
}

}  // namespace bctool
