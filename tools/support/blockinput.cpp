#include "tools/support/blockinput.h"

#include "bcode/code/bcode.h"
#include "bcode/text/bctext.h"
#include "tools/support/blockfile.h"
#include "tools/support/errorreport.h"

namespace bctool {

namespace {

// Reads the text in `input.bytes` and puts the record it assembles to in
// their place; false after noting every error of the text.
bool assemble(BlockInput& input, const char* const* mnemonics) {
  BCTextReading reading = bcReadText(input.bytes, input.file, mnemonics);
  if (reading.block == nullptr) {
    for (const BCTextDiagnostic& d : reading.diagnostics) {
      input.failures.push_back(textDiagnostic(d));
    }
    return false;
  }
  std::string record;
  if (!saveBlock(*reading.block, record)) {
    // The reader reports what saving would refuse; this is a fault of the library.
    input.failures.push_back(
        {input.file, std::nullopt, "", "saving the block of the text failed: " + errorFlagsText()});
    bcInitBCode();
    return false;
  }
  input.bytes = ByteBuffer(std::move(record));
  return true;
}

}  // namespace

BlockInput readBlockInput(const std::string& path, std::uint64_t maxInput,
                          const char* const* mnemonics) {
  BlockInput input;
  input.file = displayName(path);
  std::string message;
  if (!readInput(path, maxInput, input.bytes, message)) {
    input.failures.push_back({input.file, std::nullopt, "", message});
    return input;
  }
  input.text = bcIsBlockText(input.bytes);
  if (input.text && !assemble(input, mnemonics)) return input;
  input.reading = readBlock(input.bytes);
  if (!input.reading.ok()) {
    Diagnostic failure = loadFailure(input.file, input.bytes, input.reading);
    // Offsets of an assembled record mean nothing in the text.
    if (input.text) failure.offset.reset();
    input.failures.push_back(std::move(failure));
  }
  return input;
}

}  // namespace bctool
