// Reads a block record section by section with the library's own section
// loaders, in the order and with the bindings of BCode::iload, so that a
// failure names its section and the byte at which reading stopped, and a
// good record yields the size of each section.
#ifndef BCODE_TOOLS_SECTIONREADER_H
#define BCODE_TOOLS_SECTIONREADER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bcode/foundation/kryref.h"

class BCode;

namespace bctool {

struct SectionInfo {
  const char* name;       // "operand table"
  std::size_t begin;      // byte offset of its first byte
  std::size_t end;        // one past its last byte
  std::uint32_t entries;  // types, descriptions, variables, ... present
};

struct BlockReading {
  // The block; null when a section failed.
  std::unique_ptr<BCode> block;
  // The sections read completely, in record order.
  std::vector<SectionInfo> sections;
  // On failure: the section that failed, where reading stopped, and the
  // error flags that were set ("" when none).
  const char* failedSection = nullptr;
  std::size_t stopOffset = 0;
  std::string failureFlags;
  // The flags a failed layout left set ("" when the layout succeeded).
  std::string layoutFlags;

  bool ok() const { return block != nullptr; }
  // One past the block record's last byte.
  std::size_t recordEnd() const { return sections.empty() ? 0 : sections.back().end; }
};

// Clears every error flag, then reads one block record from `bytes`. The
// record carries no view numbers: an entry of a list or of an FB description
// whose stored offset repeats that of an earlier ordinary entry is taken as a
// view of it before the block is laid out again, as the compiler that wrote
// the record would have declared it. Leaves the flags of a failure set.
BlockReading readBlock(const std::string& bytes);

// The entries a table holds, not counting its empty slots.
template <class T>
std::uint32_t presentEntries(const KRRefTable<T>& table) {
  std::uint32_t present = 0;
  for (std::uint32_t i = 1; i < table.getCount(); ++i) {
    if (table.entryAt(i) != nullptr) ++present;
  }
  return present;
}

// "FB", "FC", ...; "kind <n>" outside the seven block kinds.
std::string blockKindName(int kind);

}  // namespace bctool

#endif  // BCODE_TOOLS_SECTIONREADER_H
