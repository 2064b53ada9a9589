#include "tools/support/errorreport.h"

#include "bcode/code/bcerrorflags.h"

namespace bctool {

bool anyErrorFlagSet() {
  return bcNextSetErrorFlag(0) < bcErrorFlagCount();
}

std::string errorFlagsText() {
  std::string text;
  for (int n = bcNextSetErrorFlag(0); n < bcErrorFlagCount(); n = bcNextSetErrorFlag(n + 1)) {
    const BCErrorFlag flag = bcErrorFlagAt(n);
    if (!text.empty()) text += "; ";
    text += std::string(flag.owner) + ": " + flag.meaning;
  }
  return text;
}

}  // namespace bctool
