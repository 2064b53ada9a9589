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
// Every byte is an unformatted write, so the stream's format flags, fill,
// width and locale change nothing and are left as the caller set them.
BCODE_API void krLineStore(std::ostream& os, char* end, char* line, unsigned mode = KR_STORE_PLAIN);

// ---- Columns
//
// Every listing describes its line once, as named columns, and writes its
// texts through a KRListLine that knows where the listing's columns begin
// (its origin) inside the line:
//
//   // The columns of a variable's line, from the variable's column.
//   constexpr KRListColumn kName{"name", 0, 28};
//   constexpr KRListColumn kTypeIndex{"type index", 28, 5};
//   ...
//   const KRListLine out(line, column);
//   out.put(kName, name);
//   out.printf(kTypeIndex, "%i", index);
//   out.store(os, kTypeName);
//
// A column's position counts from the origin; its width is the room up to
// the next column, 0 for a column that runs on to the end of the line. A
// text is not cut at its width: a longer one runs on into the next column,
// whose own text then overwrites it, which is what the fixed listings ask.
// Positions past the end of the line write nothing; an origin outside the
// line writes nothing at all, and its end mark turns nothing into blanks.

struct KRListColumn {
  const char* name;
  std::size_t position;
  std::size_t width;
};

// `column` counted from `origin`, another column of the same line: for the
// part of a listing that a second writer fills from its own origin.
constexpr KRListColumn krColumnFrom(const KRListColumn& origin, const KRListColumn& column) {
  return {column.name, column.position - origin.position, column.width};
}

// Whether each column begins where the one before it ends.
template <std::size_t N>
constexpr bool krColumnsAdjoin(const KRListColumn (&columns)[N]) {
  for (std::size_t i = 1; i < N; ++i) {
    if (columns[i - 1].position + columns[i - 1].width != columns[i].position) return false;
  }
  return true;
}

// A text of at most one line.
struct KRListText {
  char text[kKRLineSize + 1];
};

// "-" in each of the adjoining columns, blanks between them: the row that
// stands in for something missing, so that the columns stay aligned.
template <std::size_t N>
constexpr KRListText krDashRow(const KRListColumn (&columns)[N]) {
  KRListText row{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < N && at < kKRLineSize; ++i) {
    row.text[at] = '-';
    const std::size_t end = i + 1 < N ? at + columns[i].width : at + 1;
    for (++at; at < end && at < kKRLineSize; ++at) row.text[at] = ' ';
  }
  return row;
}

// The columns of one listing inside a 160-byte line buffer.
class BCODE_API KRListLine {
 public:
  // `origin` is where the listing's columns begin inside `line`.
  KRListLine(char* line, char* origin);

  // Where `column` begins: never past line + 160; null when the origin lies
  // outside the line.
  char* at(const KRListColumn& column) const;
  // Copies `text` to the column with its zero; returns the zero's position,
  // where a following part of a multi-part value continues.
  char* put(const KRListColumn& column, const char* text) const;
  // Formats text at the column; returns its zero's position.
  char* printf(const KRListColumn& column, const char* format, ...) const
      __attribute__((format(printf, 3, 4)));
  // Emits the line with the column as end mark.
  void store(std::ostream& os, const KRListColumn& end, unsigned mode = KR_STORE_PLAIN) const;

 private:
  char* line_;
  char* origin_;
};

#endif  // BCODE_FOUNDATION_KRLISTLINE_H
