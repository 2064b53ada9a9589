// Reads a block record with the library's loader, watching it section by
// section, so that a failure names its section, the byte at which reading
// stopped and the error flags it raised, and a good record yields the size
// of each section.
#ifndef BCODE_TOOLS_SUPPORT_BLOCKREADING_H
#define BCODE_TOOLS_SUPPORT_BLOCKREADING_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bcode/code/bcerrorflags.h"
#include "bcode/code/bcloadobserver.h"

class BCode;

namespace bctool {

struct SectionInfo {
  const char* name;       // "operand table"
  std::size_t begin;      // byte offset of its first byte
  std::size_t end;        // one past its last byte
  std::uint32_t entries;  // types, descriptions, variables, ... present
  bool hasEntries;        // false for the block header
};

struct BlockReading {
  // Defined where BCode is complete.
  BlockReading();
  BlockReading(BlockReading&&) noexcept;
  BlockReading& operator=(BlockReading&&) noexcept;
  ~BlockReading();

  // The block; null when a section failed.
  std::unique_ptr<BCode> block;
  // The sections read completely, in record order.
  std::vector<SectionInfo> sections;
  // On failure: the section that failed and where it began, where reading
  // stopped, whether the record ran out there, and the flags then set.
  std::optional<BCRecordSection> failed;
  std::size_t failedBegin = 0;
  std::size_t stopOffset = 0;
  bool reachedEnd = false;
  std::vector<BCErrorFlag> failureFlags;
  // The flags a failed layout left set (none when the layout succeeded),
  // and the offset at which it ran (where the operand table begins).
  std::vector<BCErrorFlag> layoutFlags;
  std::size_t layoutOffset = 0;

  bool ok() const { return block != nullptr; }
  // One past the block record's last byte.
  std::size_t recordEnd() const { return sections.empty() ? 0 : sections.back().end; }
  // The section read under that name, or null.
  const SectionInfo* section(const char* name) const;
};

// Clears every error flag, then reads one block record from `bytes`. The
// record carries no view numbers: an entry of a list or of an FB description
// whose stored offset repeats that of an earlier ordinary entry is taken as a
// view of it before the block is laid out, as the compiler that wrote the
// record would have declared it. A failed layout is kept in `layoutFlags`
// and its flags cleared; the flags of a failed section are kept in
// `failureFlags` and cleared as well.
BlockReading readBlock(std::string_view bytes);

// Reads `bytes` as readBlock does, but only up to the end of section
// `number`: where it ends, or nothing when the record fails before. Leaves
// every error flag clear.
std::optional<std::size_t> readThroughSection(std::string_view bytes, int number);

// The block record of `block`; false when the save reported a failure.
bool saveBlock(const BCode& block, std::string& bytes);

// How the record of a block compares with bytes it was read from.
struct SavedAgain {
  bool saved = false;        // the save reported no failure
  std::size_t written = 0;   // bytes the save wrote
  std::size_t sameUpTo = 0;  // the first offset at which the two differ or either ends
};

// Saves `block` comparing its record with `bytes` as it is written, without
// keeping a copy of it.
SavedAgain saveAgainst(const BCode& block, std::string_view bytes);

// The offset of the first byte in which `a` and `b` differ.
std::size_t firstDifference(const std::string& a, const std::string& b);

// "FB", "FC", ...; "kind <n>" outside the seven block kinds.
std::string blockKindName(int kind);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BLOCKREADING_H
