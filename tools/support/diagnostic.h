// What the tool tells a user about a file it cannot take: the file, the byte
// offset where reading stopped, the section of the record and a message in
// a user's words, shown as "bcode: FILE:OFFSET: error: SECTION: MESSAGE".
// An error in a block's text is shown as compilers show one in a source
// file: "FILE:LINE:COL: error: MESSAGE", the line, and a caret under the
// column.
#ifndef BCODE_TOOLS_SUPPORT_DIAGNOSTIC_H
#define BCODE_TOOLS_SUPPORT_DIAGNOSTIC_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct BCTextDiagnostic;

namespace bctool {

struct BlockReading;

// Where an error of a text is: line and column counted from 1, and the line.
struct TextPlace {
  std::uint32_t line = 0;
  std::uint32_t column = 0;
  std::string sourceLine;
};

struct Diagnostic {
  std::string file;                   // as named to the user ("<stdin>" for "-"); may be empty
  std::optional<std::size_t> offset;  // none for a file that cannot be read at all
  std::string section;                // "operand table"; empty outside the sections
  std::string message;                // "record ends inside operand 17"
  std::optional<TextPlace> place = std::nullopt;  // for an error in a text
};

// "bcode: cut.bc:700: error: operand table: record ends inside operand 17";
// without an offset "bcode: FILE: error: MESSAGE", without a file "bcode:
// error: MESSAGE". No line end. An error in a text takes three lines:
// "demo.bct:13:17: error: MESSAGE", the line, and the caret.
std::string diagnosticLine(const Diagnostic& d);

// The diagnostic of an error that reading a block's text found.
Diagnostic textDiagnostic(const BCTextDiagnostic& d);

// Why the record in `bytes` failed to load, as `reading` saw it: the section,
// the entry that could not be read (found by reading the record again) and
// what the raised flags mean.
Diagnostic loadFailure(const std::string& file, std::string_view bytes,
                       const BlockReading& reading);

// Why laying out a loaded block failed: the part of it that fails (its own
// interface description, the LSD or the LDD list) and what the flags raised
// mean. Lays those parts out again.
Diagnostic layoutFailure(const std::string& file, const BlockReading& reading);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_DIAGNOSTIC_H
