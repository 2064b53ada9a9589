#include "tools/support/blocklayout.h"

#include <algorithm>
#include <limits>

#include "bcode/code/bcnametables.h"
#include "bcode/code/bcode.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"
#include "tools/support/blockreading.h"
#include "tools/support/errorreport.h"

namespace bctool {

namespace {

std::string text(const KRString& name) {
  return std::string(name.c_str(), name.length());
}

std::string typeText(const KRTypeRef& ref) {
  const KRTypedesc* desc = ref.ptr();
  const std::string index = "type " + std::to_string(ref.getIndex());
  if (desc == nullptr) return index + " (missing)";
  switch (desc->isA()) {
    case KRTypedesc::KR_ELEM_DESC:
      return bcDefaultTypeNames()[desc->getDataType()];
    case KRTypedesc::KR_STRING_DESC:
      return "STRING[" + std::to_string(static_cast<const KRStringDesc*>(desc)->getMaxLen()) + "]";
    case KRTypedesc::KR_INSTANCE_DESC: {
      const auto* instance = static_cast<const KRInstanceDesc*>(desc);
      return blockKindName(instance->getBlockKind()) + " " +
             std::to_string(instance->getBlockNo()) + " instance, " + index;
    }
    default:
      return std::string(bcDefaultTypeNames()[desc->getDataType()]) + " " + index;
  }
}

std::string dimensions(const KRArrayDesc& array) {
  std::string dims;
  for (std::uint16_t n = 1; n <= array.getDim(); ++n) {
    const KRArrayRange range = array.getRange(n);
    dims += (n == 1 ? "[" : ", ") + std::to_string(range.getLowerBound()) + ".." +
            std::to_string(range.getUpperBound());
  }
  return dims.empty() ? dims : dims + "]";
}

std::uint64_t elementCount(const KRArrayDesc& array) {
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t count = array.getDim() == 0 ? 0 : 1;
  for (std::uint16_t n = 1; n <= array.getDim(); ++n) {
    const KRArrayRange range = array.getRange(n);
    const std::int64_t span =
        std::int64_t{range.getUpperBound()} - std::int64_t{range.getLowerBound()} + 1;
    const auto rows = static_cast<std::uint64_t>(std::max<std::int64_t>(span, 0));
    count = rows != 0 && count > kMost / rows ? kMost : count * rows;
  }
  return count;
}

// The length and alignment of a type as the library answers them; false
// when it cannot (the flags are then cleared).
bool measure(const KRTypeRef& ref, std::uint32_t& size, std::uint32_t& alignment) {
  const KRTypedesc* desc = ref.ptr();
  if (desc == nullptr) return false;
  size = desc->storageLength();
  alignment = desc->alignment();
  return !anyErrorFlagSet();
}

// Records why the library could not lay out what was asked, and clears it.
void noteFailure(Layout& layout, const std::string& fallback) {
  if (anyErrorFlagSet()) {
    layout.failure = errorFlagsText();
    bcInitBCode();
  } else if (!fallback.empty()) {
    layout.failure = fallback;
  }
}

// Holes between ordinary members and the padding after the last; a view
// overlays storage and neither opens nor closes a hole.
void findHoles(Layout& layout) {
  std::uint64_t end = 0;
  for (LayoutMember& member : layout.members) {
    if (member.viewOf || !member.offset) continue;
    if (*member.offset > end) member.holeBefore = static_cast<std::uint32_t>(*member.offset - end);
    end = std::uint64_t{*member.offset} + member.size;
  }
  if (layout.total > end) layout.paddingAtEnd = static_cast<std::uint32_t>(layout.total - end);
}

// A view names the member whose storage it shares.
template <class Entry>
std::optional<std::string> viewed(const Entry& entry, const std::vector<const Entry*>& all) {
  const std::uint16_t v = entry.getViewVarNo();
  if (v == 0) return std::nullopt;
  return v <= all.size() ? text(all[v - 1]->getName()) : "entry " + std::to_string(v);
}

template <class Entry>
void addEntries(Layout& layout, const std::vector<const Entry*>& entries, bool withOffsets) {
  for (const Entry* entry : entries) {
    LayoutMember member;
    member.name = text(entry->getName());
    member.type = typeText(entry->getTypeRef());
    if (withOffsets) member.offset = entry->getOffset();
    member.size = entry->storageLength();
    member.alignment = entry->alignment();
    member.viewOf = viewed(*entry, entries);
    layout.members.push_back(std::move(member));
  }
}

Layout interfaceLayout(BCSSB& ssb) {
  Layout layout;
  layout.kind = Layout::kInterface;
  layout.title = blockKindName(ssb.getBlockKind()) + " " + std::to_string(ssb.getBlockNo());
  layout.hasOffsets = ssb.getBlockKind() == KR_FB_KENN || ssb.getBlockKind() == KR_SFB_KENN;
  if (layout.hasOffsets) {
    ssb.getLastOffset();
    layout.total = ssb.storageLength();
  }
  std::vector<const BCSSBEntry*> entries;
  for (BCSSBIterator it(ssb, 1); !it.end(); ++it) entries.push_back(it.current());
  addEntries(layout, entries, layout.hasOffsets);
  noteFailure(layout, "");
  return layout;
}

Layout localDataLayout(const char* name, BCLDList& list) {
  Layout layout;
  layout.kind = Layout::kLocalData;
  layout.title = name;
  layout.startOffset = list.getStartOffset();
  list.getLastOffset();
  layout.total = list.storageLength();
  std::vector<const BCLDEntry*> entries;
  for (BCLDListIterator it(list, 1); !it.end(); ++it) entries.push_back(it.current());
  addEntries(layout, entries, true);
  noteFailure(layout, "");
  return layout;
}

Layout structureLayout(std::uint32_t index, const KRStructDesc& structure) {
  Layout layout;
  layout.kind = Layout::kStructure;
  layout.title = "type " + std::to_string(index) + " STRUCT";
  layout.total = structure.storageLength();  // lays out every component
  for (std::uint16_t n = 1; n <= structure.getNoOfComp(); ++n) {
    const KRStructComp& comp = structure.getComp(n);
    LayoutMember member;
    member.name = text(comp.getName());
    member.type = typeText(comp.getTypeRef());
    member.offset = comp.getOffset();
    if (!measure(comp.getTypeRef(), member.size, member.alignment)) {
      noteFailure(layout, "component " + member.name + " has no type");
    }
    layout.members.push_back(std::move(member));
  }
  noteFailure(layout, "");
  return layout;
}

Layout arrayLayout(std::uint32_t index, const KRArrayDesc& array) {
  Layout layout;
  layout.kind = Layout::kArray;
  ArrayElements elements;
  elements.type = typeText(array.getElemTypeRef());
  layout.title =
      "type " + std::to_string(index) + " ARRAY" + dimensions(array) + " OF " + elements.type;
  elements.count = elementCount(array);
  if (!measure(array.getElemTypeRef(), elements.size, elements.alignment)) {
    noteFailure(layout, "its element type does not resolve");
  }
  elements.unrounded = array.storageLengthInArrays();
  if (elements.size != 0 && elements.count <= elements.unrounded / elements.size) {
    elements.padding =
        static_cast<std::uint32_t>(elements.unrounded - elements.count * elements.size);
  }
  layout.total = array.storageLength();
  if (layout.total > elements.unrounded) layout.paddingAtEnd = layout.total - elements.unrounded;
  layout.elements = elements;
  noteFailure(layout, "");
  return layout;
}

}  // namespace

std::uint32_t Layout::holeBits() const {
  std::uint32_t bits = 0;
  for (const LayoutMember& member : members) bits += member.holeBefore;
  return bits;
}

std::uint32_t Layout::holeCount() const {
  return static_cast<std::uint32_t>(std::count_if(
      members.begin(), members.end(), [](const LayoutMember& m) { return m.holeBefore != 0; }));
}

std::vector<Layout> blockLayouts(BCode& block) {
  bcInitBCode();
  // One pass: each type is measured once, however deep the graph below it
  // and however many members name it.
  const KRTypePrintScope onePass(block.getTypeTab());
  std::vector<Layout> layouts;
  for (BCSSBListIterator it(block.getSSBList()); !it.end();) {
    layouts.push_back(interfaceLayout(*it++));
  }
  layouts.push_back(localDataLayout("LDD list", block.getLDDList()));
  layouts.push_back(localDataLayout("LSD list", block.getLSDList()));
  const KRTypeTab& types = block.getTypeTab();
  for (std::uint32_t i = 1; i < types.getCount(); ++i) {
    const KRTypedesc* desc = types.entryAt(i);
    if (desc == nullptr) continue;
    if (desc->isA() == KRTypedesc::KR_STRUCT_DESC) {
      layouts.push_back(structureLayout(i, static_cast<const KRStructDesc&>(*desc)));
    } else if (desc->isA() == KRTypedesc::KR_ARRAY_DESC) {
      layouts.push_back(arrayLayout(i, static_cast<const KRArrayDesc&>(*desc)));
    }
  }
  for (Layout& layout : layouts) {
    if (layout.kind != Layout::kArray) findHoles(layout);
  }
  return layouts;
}

const char* layoutKindName(Layout::Kind kind) {
  static const char* const kNames[] = {"interface", "local data", "structure", "array"};
  return kNames[kind];
}

}  // namespace bctool
