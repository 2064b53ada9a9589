// The library's error flags by name, for reports: which flags a failed load
// or build left set.
#ifndef BCODE_TOOLS_ERRORFLAGS_H
#define BCODE_TOOLS_ERRORFLAGS_H

#include <string>
#include <vector>

namespace bctool {

struct ErrorFlag {
  const char* name;  // "KRRefTable<BCOperand*>::error"
  int value;
};

// The flags that are set, in record order, each container before its elements.
std::vector<ErrorFlag> setErrorFlags();

// "KRRefTable<BCOperand*>::error=2, BCOperand::error=1"; empty when none is set.
std::string errorFlagsText();

}  // namespace bctool

#endif  // BCODE_TOOLS_ERRORFLAGS_H
