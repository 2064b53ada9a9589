// An input file read into a block: the one place where the tool turns a
// file named on its command line into a block, for every subcommand that
// reads blocks. A file is a block record, or a block's text when its first
// word (after blanks and comments) is the keyword "block"; a text is read
// and then taken as the record it assembles to.
#ifndef BCODE_TOOLS_SUPPORT_BLOCKINPUT_H
#define BCODE_TOOLS_SUPPORT_BLOCKINPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/support/blockreading.h"
#include "tools/support/bytebuffer.h"
#include "tools/support/diagnostic.h"

namespace bctool {

struct BlockInput {
  std::string file;   // as diagnostics name it
  bool text = false;  // whether the file is a block's text
  // The block record: what the file holds, or what its text assembles to.
  ByteBuffer bytes;
  BlockReading reading;              // the block and its sections, when it was read
  std::vector<Diagnostic> failures;  // why no block came of it (up to 20 for a text)

  bool ok() const { return failures.empty(); }
};

// Reads `path` ("-": standard input), at most `maxInput` bytes, and the
// block record or block text it holds. A text may name instruction codes by
// `mnemonics` (57 by listing column; null: IC<code> only).
BlockInput readBlockInput(const std::string& path, std::uint64_t maxInput,
                          const char* const* mnemonics = nullptr);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BLOCKINPUT_H
