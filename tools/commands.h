// The subcommands of the bcode tool. Each returns the process exit status:
// 0 success, 1 a file that is missing, unreadable or not a valid block.
#ifndef BCODE_TOOLS_COMMANDS_H
#define BCODE_TOOLS_COMMANDS_H

#include <string>
#include <vector>

namespace bctool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitInvalid = 1;
inline constexpr int kExitUsage = 2;

// Files replacing the default name tables of a listing; empty: the default.
struct NameTableFiles {
  std::string mnemonics;
  std::string typeNames;
  std::string classNames;
  std::string paramKindNames;
};

int runDemo(const std::string& output);
int runList(const std::string& input, const NameTableFiles& tableFiles);
int runDump(const std::string& input);
int runCheck(const std::vector<std::string>& inputs);
int runStats(const std::string& input);

}  // namespace bctool

#endif  // BCODE_TOOLS_COMMANDS_H
