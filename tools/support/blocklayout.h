// Where each variable of a block sits and where space is wasted: for each
// interface description, each local data list and each structure and array
// type, every member with its bit offset, size and alignment, the holes
// between members, the padding at the end and the total. Every number is
// the library's own layout (the offsets it stores, storageLength,
// alignment); only the holes are the differences between them.
#ifndef BCODE_TOOLS_SUPPORT_BLOCKLAYOUT_H
#define BCODE_TOOLS_SUPPORT_BLOCKLAYOUT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class BCode;

namespace bctool {

struct LayoutMember {
  std::string name;
  std::string type;                     // "INT", "STRING[20]", "STRUCT type 26"
  std::optional<std::uint32_t> offset;  // bits; none for FC parameters
  std::uint32_t size = 0;               // bits
  std::uint32_t alignment = 0;          // bits
  std::optional<std::string> viewOf;    // the member a view overlays
  std::uint32_t holeBefore = 0;         // unused bits between it and the member before
};

// The elements of an array type.
struct ArrayElements {
  std::string type;
  std::uint32_t size = 0;       // bits of one element
  std::uint32_t alignment = 0;  // bits
  std::uint64_t count = 0;      // over every dimension
  std::uint32_t unrounded = 0;  // storageLengthInArrays: the elements with their padding
  std::uint32_t padding = 0;    // bits of it between elements (BOOL rows, strings)
};

struct Layout {
  enum Kind { kInterface, kLocalData, kStructure, kArray };
  Kind kind = kStructure;
  std::string title;  // "FB 7", "LDD list", "type 26 STRUCT", "type 25 ARRAY[1..4] OF INT"
  std::uint32_t startOffset = 0;  // where a local data list begins in the block
  bool hasOffsets = true;         // false for FC descriptions: parameters are references
  std::vector<LayoutMember> members;
  std::optional<ArrayElements> elements;
  std::uint32_t total = 0;         // bits
  std::uint32_t paddingAtEnd = 0;  // bits after the last member
  std::string failure;             // why the library could not lay it out; "" when it could

  std::uint32_t holeBits() const;
  std::uint32_t holeCount() const;
};

// The layouts of `block`: interface descriptions in list order, the LDD and
// LSD lists, then structure and array types by type index. Lays out every
// FB description (the loader lays out only the block's own).
std::vector<Layout> blockLayouts(BCode& block);

// What Layout::kind is called in JSON: "interface", "local data", ...
const char* layoutKindName(Layout::Kind kind);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BLOCKLAYOUT_H
