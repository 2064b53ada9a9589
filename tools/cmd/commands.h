// The subcommands of the bcode tool, one source file each, and what they
// share. Each returns the process exit status: 0 success, 1 a file that is
// missing, unreadable or not a valid block.
#ifndef BCODE_TOOLS_CMD_COMMANDS_H
#define BCODE_TOOLS_CMD_COMMANDS_H

#include <memory>
#include <string>
#include <vector>

class BCode;

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

// Writes "bcode: <message>" to standard error; returns kExitInvalid.
int fail(const std::string& message);

// The valid block `input` holds, or null after a message is written.
std::unique_ptr<BCode> readValidBlock(const std::string& input);

}  // namespace bctool

#endif  // BCODE_TOOLS_CMD_COMMANDS_H
