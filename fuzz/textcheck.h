// What must hold for any text handed to the text reader. The fuzz target
// aborts on a violation; the text tests run the same check over every file
// of fuzz/corpus/fuzz_text_parse, so each input a fuzzer once found stays a
// regression test in every build.
#ifndef BCODE_FUZZ_TEXTCHECK_H
#define BCODE_FUZZ_TEXTCHECK_H

#include <string>
#include <string_view>

#include "bcode/code/bcode.h"
#include "bcode/text/bctext.h"
#include "fuzz/recordcheck.h"

namespace bcfuzz {

// A text that reads is written, read again, and gives the same text and the
// same record; one that does not read has 1 to 20 errors, each on a line of
// the text. Empty when all of that holds, else what did not.
inline std::string checkText(std::string_view text) {
  const BCTextReading reading = bcReadText(text, "fuzz.bct");
  if (!reading.block) {
    if (reading.diagnostics.empty()) return "a text without a block reported no error";
    if (reading.diagnostics.size() > kBCTextMaxErrors) return "more errors than reported at most";
    for (const BCTextDiagnostic& d : reading.diagnostics) {
      if (d.line == 0 || d.column == 0 || d.column > d.sourceLine.size() + 1) {
        return "an error outside its line: " + bcFormatDiagnostic(d);
      }
    }
    return std::string();
  }
  if (!reading.diagnostics.empty()) return "a block came with errors";
  const std::string written = bcToText(*reading.block);
  const BCTextReading again = bcReadText(written, "written.bct");
  if (!again.block) {
    return "the written text did not read: " + bcFormatDiagnostic(again.diagnostics.at(0)) +
           written;
  }
  if (bcToText(*again.block) != written) return "the written text read back otherwise:\n" + written;
  if (saveBlock(*again.block) != saveBlock(*reading.block)) {
    return "the written text gave other record bytes:\n" + written;
  }
  return std::string();
}

}  // namespace bcfuzz

#endif  // BCODE_FUZZ_TEXTCHECK_H
