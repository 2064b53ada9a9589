// The subcommands of the bcode tool, one source file each, and what they
// share. Each returns the process exit status: 0 success, 1 an input that is
// missing, unreadable or invalid, or output that could not be written
// (diff: 0 the same, 1 different, 2 an error).
#ifndef BCODE_TOOLS_CMD_COMMANDS_H
#define BCODE_TOOLS_CMD_COMMANDS_H

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "tools/support/blockfile.h"

namespace bctool {

struct BlockInput;
struct Diagnostic;
struct NameTables;

inline constexpr int kExitOk = 0;
inline constexpr int kExitInvalid = 1;
inline constexpr int kExitUsage = 2;
// diff: the blocks differ; it failed.
inline constexpr int kExitDifferent = 1;
inline constexpr int kExitDiffError = 2;

// Files replacing the default name tables of a listing; empty: the default.
struct NameTableFiles {
  std::string mnemonics;
  std::string typeNames;
  std::string classNames;
  std::string paramKindNames;
};

enum class Format { kText, kJson };

// Everything the command line gives a subcommand; each takes what it uses.
struct Options {
  std::vector<std::string> inputs;
  std::string output = kStdStream;  // -o
  std::uint64_t maxInput = kDefaultMaxInput;
  Format format = Format::kText;
  NameTableFiles tables;           // list; --mnemonics of every reader
  std::uint64_t seed = 0;          // gen
  std::uint32_t instructions = 0;  // gen
};

int runDemo(const Options& options);
int runList(const Options& options);
int runDump(const Options& options);
int runCheck(const Options& options);
int runStats(const Options& options);
int runLayout(const Options& options);
int runGen(const Options& options);
int runDis(const Options& options);
int runAsm(const Options& options);
int runDiff(const Options& options);

// Writes the diagnostic's line to standard error.
void report(const Diagnostic& diagnostic);

// Replaces the default tables by the files the options name; false after
// telling the user why one cannot be read.
bool loadNameTables(const Options& options, NameTables& tables);

// The mnemonics of block texts: those of the --mnemonics file, null
// without one (instruction codes are then IC<code>).
const char* const* textMnemonics(const Options& options, const NameTables& tables);

// Reads an input (readBlockInput) and tells the user why, when no block
// came of it.
BlockInput readReported(const std::string& path, const Options& options,
                        const char* const* mnemonics);

// Leaves the input's block to the end of the process, which takes its
// memory back at once: destroying a large block object by object costs a
// fair part of what checking it does. It stays reachable until then, so
// that a leak checker finds nothing amiss. A command calls it for the last
// input it reads only, so that blocks do not pile up over many inputs.
void keepUntilExit(BlockInput& input);

// The canonical text of the input's block, written with `mnemonics`; empty
// after telling the user why it could not be written.
std::string blockText(const BlockInput& input, const char* const* mnemonics);

// A record is binary: it is not written to a terminal. True after telling
// the user so.
bool binaryToTerminal(const Options& options);

// What a subcommand shows of one block read from an input.
struct BlockView {
  std::function<void(std::ostream&, const BlockInput&)> text;
  // The input's entry of the JSON document, or none after telling the user
  // why there is none; empty where there is no JSON form.
  std::function<std::optional<nlohmann::ordered_json>(const BlockInput&)> json;
};

// Reads each input into a block and writes its view to the output: in text
// under a header line per input when there are several, in JSON as one
// document {"files": [...]}. An input that does not read (or has no JSON
// entry) gets its diagnostic and nothing on the output. Exit status 1 when
// an input failed or the output could not be written.
int showEachBlock(const Options& options, const BlockView& view);
// The same with the name tables loaded already.
int showEachBlock(const Options& options, const NameTables& tables, const BlockView& view);

}  // namespace bctool

#endif  // BCODE_TOOLS_CMD_COMMANDS_H
