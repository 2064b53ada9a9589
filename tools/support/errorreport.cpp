#include "tools/support/errorreport.h"

namespace bctool {

bool anyErrorFlagSet() {
  return bcNextSetErrorFlag(0) < bcErrorFlagCount();
}

std::vector<BCErrorFlag> setErrorFlags() {
  std::vector<BCErrorFlag> flags;
  for (int n = bcNextSetErrorFlag(0); n < bcErrorFlagCount(); n = bcNextSetErrorFlag(n + 1)) {
    flags.push_back(bcErrorFlagAt(n));
  }
  return flags;
}

std::string errorFlagsText() {
  std::string text;
  for (const BCErrorFlag& flag : setErrorFlags()) {
    if (!text.empty()) text += "; ";
    text += std::string(flag.owner) + ": " + flag.meaning;
  }
  return text;
}

}  // namespace bctool
