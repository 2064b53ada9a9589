#include "bcode/text/bctext.h"

#include <string>

std::string bcFormatDiagnostic(const BCTextDiagnostic& diagnostic) {
  std::string text = diagnostic.file + ":" + std::to_string(diagnostic.line) + ":" +
                     std::to_string(diagnostic.column) + ": error: " + diagnostic.message + "\n" +
                     diagnostic.sourceLine + "\n";
  // Tabs stay tabs, so that the caret lines up however the line is shown.
  for (std::uint32_t i = 1; i < diagnostic.column; ++i) {
    const bool tab = i <= diagnostic.sourceLine.size() && diagnostic.sourceLine[i - 1] == '\t';
    text += tab ? '\t' : ' ';
  }
  return text + "^\n";
}

bool bcIsBlockText(std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const char c = bytes[at];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++at;
    } else if (c == ';') {
      while (at < bytes.size() && bytes[at] != '\n') ++at;
    } else {
      break;
    }
  }
  const std::string_view keyword = "block";
  if (bytes.substr(at, keyword.size()) != keyword) return false;
  at += keyword.size();
  return at < bytes.size() && (bytes[at] == ' ' || bytes[at] == '\t');
}
