// The listing line buffer shared by every listing: 160 characters owned by
// the caller, all zero between lines. Columns are written as zero-terminated
// texts at fixed positions; emitting the line turns the zero bytes before an
// end mark into blanks, writes the line and clears the buffer again.
//
// Nothing here writes at or past line + 160, whatever the texts: longer texts
// are cut, and a position outside the buffer writes nothing.
#ifndef BCODE_FOUNDATION_KRLISTLINE_H
#define BCODE_FOUNDATION_KRLISTLINE_H

#include <cstddef>
#include <iosfwd>

#include "bcode/foundation/krexport.h"

constexpr std::size_t kKRLineSize = 160;

// Formats text at `at` inside the line starting at `line`, with its
// terminating zero. Returns the position of that zero, where a following part
// of a multi-part value continues.
BCODE_API char* krLinePrintf(char* line, char* at, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Copies `text` to `at` with its terminating zero; returns the zero's position.
BCODE_API char* krLinePut(char* line, char* at, const char* text);

// How a line is emitted.
enum KRLineStoreMode : unsigned {
  KR_STORE_PLAIN = 0,
  KR_STORE_SHIFT_CONTROLS = 1,  // bytes 1 .. 31 before the end mark become 129 .. 159
  KR_STORE_NO_LINE_END = 2,     // the line carries its own line end
};

// Emits a line: zero bytes from `line` up to (not including) `end` become
// blanks, the text up to its first zero is written (with a line end unless
// the mode says otherwise), and the 160 bytes of the buffer are cleared.
BCODE_API void krLineStore(std::ostream& os, char* end, char* line, unsigned mode = KR_STORE_PLAIN);

#endif  // BCODE_FOUNDATION_KRLISTLINE_H
