// The text form of a block: everything its record holds, one entry a line,
// under a keyword per section, in record order. bcToText writes a block as
// text; bcReadText reads text back into a block, or reports what is wrong
// with it. docs/text-format.md describes the format.
//
// A block read from its text saves to the same bytes as the block that was
// written, and writing it again gives the same (canonical) text.
#ifndef BCODE_TEXT_BCTEXT_H
#define BCODE_TEXT_BCTEXT_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krexport.h"

// At most this many errors are reported for one text.
constexpr std::size_t kBCTextMaxErrors = 20;

// Running out of memory while writing or reading a text throws
// KRErrorNoHeap: from the containers and strings at their sites, and from
// the text form itself naming the header "bctext" and one of these lines.
// The error flags are then as they were before the call.
constexpr std::int32_t kBCTextWriteNoHeapLine = 1;
constexpr std::int32_t kBCTextReadNoHeapLine = 2;

// One error in a text: where it is, what is wrong, and the line it is on.
struct BCODE_API BCTextDiagnostic {
  std::string file;
  std::uint32_t line = 0;    // counted from 1
  std::uint32_t column = 0;  // counted from 1, in bytes
  std::string message;
  std::string sourceLine;  // the line, without its line end
};

// The outcome of reading a text: the block, or null and the errors (in line
// order, at most kBCTextMaxErrors) when there was any.
struct BCODE_API BCTextReading {
  std::unique_ptr<BCode> block;
  std::vector<BCTextDiagnostic> diagnostics;
};

// The canonical text of `block`. Instruction codes are written with the
// caller's mnemonics (57 texts by listing column, as for the listing) where
// one is given and fits the text form, else as IC<code>.
//
// The block is only read, so other threads may read it meanwhile: to tell
// the offsets that the layout computes from offsets set by hand, the writer
// lays out a copy of the block's types, interfaces and local data, made
// through their records. When that copy cannot be made (one of them does
// not save or does not load back) the text is empty, BCode::getError() is
// set (2 when the copy could not be allocated, else 1) and so are the flags
// of what failed. Otherwise the error flags are left as they were.
BCODE_API std::string bcToText(const BCode& block, const char* const* mnemonics = nullptr);

// Reads a block's text; `fileName` names it in the diagnostics. Mnemonics of
// the caller's table (as for bcToText) are accepted beside IC<code>. The
// block is laid out as a block loaded from its record is. Everything wrong
// with the text is in the diagnostics: the error flags are left as they
// were, whatever the text holds.
BCODE_API BCTextReading bcReadText(std::string_view text, std::string_view fileName,
                                   const char* const* mnemonics = nullptr);

// "FILE:LINE:COL: error: MESSAGE", then the line and a caret under the
// column, each ended by a line end.
BCODE_API std::string bcFormatDiagnostic(const BCTextDiagnostic& diagnostic);

// Whether `bytes` start like a block's text: blanks, line ends and comments,
// then the keyword "block".
BCODE_API bool bcIsBlockText(std::string_view bytes);

#endif  // BCODE_TEXT_BCTEXT_H
