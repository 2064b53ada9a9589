// An input file read into a block: the one place where the tool turns a
// file named on its command line into a block, for every subcommand that
// reads blocks. A reader of another form of block plugs in here.
#ifndef BCODE_TOOLS_SUPPORT_BLOCKINPUT_H
#define BCODE_TOOLS_SUPPORT_BLOCKINPUT_H

#include <cstdint>
#include <optional>
#include <string>

#include "tools/support/blockreading.h"
#include "tools/support/diagnostic.h"

namespace bctool {

struct BlockInput {
  std::string file;                   // as diagnostics name it
  std::string bytes;                  // what the file holds
  BlockReading reading;               // the block and its sections, when it was read
  std::optional<Diagnostic> failure;  // why no block came of it

  bool ok() const { return !failure; }
};

// Reads `path` ("-": standard input), at most `maxInput` bytes, and the
// block record it holds.
BlockInput readBlockInput(const std::string& path, std::uint64_t maxInput);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BLOCKINPUT_H
