#include "tools/support/blockinput.h"

#include "bcode/code/bcode.h"
#include "tools/support/blockfile.h"

namespace bctool {

BlockInput readBlockInput(const std::string& path, std::uint64_t maxInput) {
  BlockInput input;
  input.file = displayName(path);
  std::string message;
  if (!readInput(path, maxInput, input.bytes, message)) {
    input.failure = Diagnostic{input.file, std::nullopt, "", message};
    return input;
  }
  input.reading = readBlock(input.bytes);
  if (!input.reading.ok()) input.failure = loadFailure(input.file, input.bytes, input.reading);
  return input;
}

}  // namespace bctool
