// bcode: builds, generates, lists, dumps, checks and lays out the
// intermediate code of one PLC block saved as a block record, and writes,
// reads and compares the text form of a block.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "bcode/foundation/krerror.h"
#include "bcode/version.h"
#include "tools/cmd/commands.h"

namespace {

using bctool::Format;
using bctool::NameTableFiles;
using bctool::Options;

constexpr const char* kDemoOutput = "example.bc";
constexpr std::uint32_t kDefaultInstructions = 1000;
// The instruction list record counts its instructions in 16 bits.
constexpr std::uint32_t kMostInstructions = 65535;

// A subcommand: what it is called and does, how its options are added
// (with the end of its help) and what runs it.
struct Subcommand {
  const char* name;
  const char* description;
  std::function<void(CLI::App&)> setUp;
  int (*run)(const Options&);
  CLI::App* app = nullptr;
};

// How a file is told to be a block's text, for the help of every reader.
constexpr const char* kTextFiles =
    "A FILE is a block record, or a block's text (as 'bcode dis' writes it) when its first "
    "word, after blanks, line ends and ';' comments, is the keyword 'block'; a text is read as "
    "the record it assembles to. Errors in a text are shown as 'FILE:LINE:COL: error: "
    "MESSAGE', the line and a caret.";

// The block records or texts (or "-") a subcommand reads, `count` of them
// (0: one or more), the bound on each and the mnemonics of texts.
void addInputs(CLI::App& command, Options& options, int count = 0) {
  CLI::Option* files = command
                           .add_option("FILE", options.inputs,
                                       "Block records or texts to read ('-': standard input)")
                           ->required()
                           ->type_name("FILE");
  if (count > 0) files->expected(count);
  command
      .add_option("--mnemonics", options.tables.mnemonics,
                  "Instruction mnemonics, one per line, by listing column (57): the names of "
                  "instruction codes in block texts and listings")
      ->type_name("FILE");
  command
      .add_option("--max-input", options.maxInput,
                  "Refuse an input file (or name file) larger than this; suffixes k, m, g")
      ->transform(CLI::AsSizeValue(false).description(""))
      ->type_name("SIZE")
      ->default_str(std::to_string(bctool::kDefaultMaxInput >> 20) + "m");
}

void addOutput(CLI::App& command, std::string& path, const char* help) {
  command.add_option("-o,--output", path, help)->type_name("FILE");
}

void addFormat(CLI::App& command, Options& options) {
  command
      .add_option_function<std::string>(
          "--format",
          [&options](const std::string& form) {
            options.format = form == "json" ? Format::kJson : Format::kText;
          },
          "Output form: text or json")
      ->check(CLI::IsMember({"text", "json"}).description(""))
      ->type_name("FORM")
      ->default_str("text");
}

// A subcommand that reads blocks and writes what it finds.
// Its help ends with what `about` says and how a text is told from a record.
void setUpReader(CLI::App& command, Options& options, const std::string& about = "",
                 int count = 0) {
  addInputs(command, options, count);
  addOutput(command, options.output, "Write to FILE instead of standard output");
  command.footer(about + kTextFiles);
}

// One that can also write JSON.
void setUpJsonReader(CLI::App& command, Options& options, const std::string& about = "") {
  setUpReader(command, options, about);
  addFormat(command, options);
}

void setUpDemo(CLI::App& demo, std::string& output) {
  demo.footer(
      "Builds FB 7 through the library, lays it out, saves it, loads it back, checks that "
      "saving the loaded block gives the same bytes, and prints its listing.");
  addOutput(demo, output,
            "File to save the block to (default example.bc; '-': standard output, the listing "
            "then goes to standard error)");
}

void setUpList(CLI::App& list, Options& options) {
  setUpReader(
      list, options,
      "Lists the type table, interface list, local data, constants, operands and instructions. A "
      "name file replaces the library's default table: line n is entry n - 1, entries after the "
      "last line read \"???\". ");
  list.add_option("--type-names", options.tables.typeNames,
                  "Data type names, one per line, by data type code (256)")
      ->type_name("FILE");
  list.add_option("--class-names", options.tables.classNames,
                  "Operand class names, one per line, by class tag (34)")
      ->type_name("FILE");
  list.add_option("--param-kind-names", options.tables.paramKindNames,
                  "Parameter kind names, one per line, by parameter kind (256)")
      ->type_name("FILE");
}

void setUpCheck(CLI::App& check, Options& options) {
  setUpJsonReader(
      check, options,
      "Prints 'FILE: ok (FB 7, 25 instructions)' for each valid file; every problem of the others "
      "goes to standard error as 'bcode: FILE:OFFSET: error: MESSAGE' (without an offset for a "
      "text). With --format json the results of all files, problems included, form one JSON "
      "document. Exit status: 0 when every file is valid, 1 when one is not or the output cannot "
      "be written, 2 on wrong usage. ");
}

void setUpGen(CLI::App& gen, Options& options) {
  gen.add_option("--seed", options.seed,
                 "Seed of the generator; 0 gives the block the benchmarks measure")
      ->default_str("0");
  gen.add_option("--instructions", options.instructions, "Number of instructions")
      ->check(CLI::Range(std::uint32_t{2}, kMostInstructions))
      ->default_str(std::to_string(kDefaultInstructions));
  addOutput(gen, options.output, "Write the record to FILE instead of standard output");
  gen.footer(
      "The same seed and size give the same bytes on every machine; other seeds give other "
      "names, types, proportions and operand mixes. Every block generated passes 'bcode "
      "check'.");
}

void setUpDis(CLI::App& dis, Options& options) {
  setUpReader(dis, options,
              "The text says everything the record says, one entry a line, under a keyword "
              "per section (docs/text-format.md); 'bcode asm' reads it back to the same "
              "bytes. Instruction codes are written as IC<code>, or by the --mnemonics "
              "given. ",
              1);
}

void setUpAsm(CLI::App& assemble, Options& options) {
  addInputs(assemble, options, 1);
  addOutput(assemble, options.output, "Write the record to FILE instead of standard output");
  assemble.footer(
      "FILE is a block's text, as 'bcode dis' writes it: its first word, after blanks, line ends "
      "and ';' comments, is the keyword 'block'. Every error of the text (at most 20) goes to "
      "standard error as 'FILE:LINE:COL: error: MESSAGE', with the line and a caret under the "
      "column; a text with an error writes nothing and does not create the output file. Exit "
      "status: 0 success, 1 an error in the text or output that cannot be written, 2 wrong "
      "usage.");
}

void setUpDiff(CLI::App& diff, Options& options) {
  setUpReader(
      diff, options,
      "Prints nothing when the texts are the same, else a unified diff whose hunk headers name "
      "the section of the change ('@@ -49,7 +49,7 @@ constant table'). Exit status: 0 the same, "
      "1 different, 2 an input that cannot be read or is invalid, output that cannot be "
      "written, or wrong usage. ",
      2);
}

// Wrong usage: the error, then the usage text of the (sub)command concerned
// (help() shows that of the subcommand given).
int usageError(const CLI::App& app, const std::string& what) {
  std::cerr << "bcode: error: " << what << "\n\n" << app.help();
  return bctool::kExitUsage;
}

// CLI11 reads a first word that names no subcommand as a stray argument;
// it is told as what it is, with the subcommands there are.
bool unknownSubcommand(const CLI::App& app, int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return false;
  std::string names;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (sub->get_name() == argv[1]) return false;
    names += (names.empty() ? "" : ", ") + sub->get_name();
  }
  std::cerr << "bcode: error: unknown subcommand '" << argv[1] << "'; the subcommands are " << names
            << "\nRun 'bcode --help' for what each does.\n";
  return true;
}

// Writing to a file that is also read would destroy it before it is read.
bool outputIsAnInput(const Options& options) {
  if (options.output == bctool::kStdStream) return false;
  const NameTableFiles& t = options.tables;
  std::vector<std::string> read = options.inputs;
  read.insert(read.end(), {t.mnemonics, t.typeNames, t.classNames, t.paramKindNames});
  for (const std::string& input : read) {
    std::error_code ec;
    if (!input.empty() && input != bctool::kStdStream &&
        std::filesystem::equivalent(input, options.output, ec)) {
      std::cerr << "bcode: error: '" << options.output << "' is both an input and the output\n";
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "Builds, lists, dumps, checks and lays out the intermediate code of a PLC block, and "
      "writes, reads and compares its text form.",
      "bcode");
  app.set_version_flag("--version", std::string("bcode ") + BCODE_VERSION_STRING);
  app.require_subcommand(1);
  app.footer(std::string("Run 'bcode SUBCOMMAND --help' for the options of a subcommand. Exit "
                         "status: 0 success, 1 an invalid input or output that cannot be "
                         "written, 2 wrong usage (diff: 0 the same, 1 different, 2 an error). ") +
             kTextFiles);

  Options options;
  options.instructions = kDefaultInstructions;
  std::string demoOutput = kDemoOutput;
  const auto with = [&options](void (*setUp)(CLI::App&, Options&)) {
    return [&options, setUp](CLI::App& command) { setUp(command, options); };
  };
  const auto jsonReader = [&options](CLI::App& command) { setUpJsonReader(command, options); };
  Subcommand subcommands[] = {
      {"demo", "Build the example block, save it, load it back and list it",
       [&demoOutput](CLI::App& demo) { setUpDemo(demo, demoOutput); }, bctool::runDemo},
      {"list", "Print the fixed-column listing of blocks", with(setUpList), bctool::runList},
      {"dump", "Print the debugging dump of every section of blocks", jsonReader, bctool::runDump},
      {"check", "Check that block records load, resolve and save again unchanged", with(setUpCheck),
       bctool::runCheck},
      {"stats", "Print the sections of blocks with their entries and bytes", jsonReader,
       bctool::runStats},
      {"layout", "Show where each variable of blocks sits: offsets, sizes, holes", jsonReader,
       bctool::runLayout},
      {"gen", "Generate a large, valid, realistic block record", with(setUpGen), bctool::runGen},
      {"dis", "Write a block (record or text) as its canonical text", with(setUpDis),
       bctool::runDis},
      {"asm", "Read a block's text and write its record", with(setUpAsm), bctool::runAsm},
      {"diff", "Compare two blocks (records or texts) by their canonical texts", with(setUpDiff),
       bctool::runDiff},
  };
  // Setting up the options of every subcommand takes a good part of the
  // tool's start, and a command line that names a subcommand first uses only
  // that one's. Help and wrong usage without one get them all.
  const auto namedFirst = [argc, argv](const Subcommand& s) {
    return argc > 1 && std::strcmp(argv[1], s.name) == 0;
  };
  const bool named = std::any_of(std::begin(subcommands), std::end(subcommands), namedFirst);
  for (Subcommand& s : subcommands) {
    s.app = app.add_subcommand(s.name, s.description);
    if (!named || namedFirst(s)) s.setUp(*s.app);
  }

  if (unknownSubcommand(app, argc, argv)) return bctool::kExitUsage;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(error);
    return usageError(app, error.what());
  }

  if (subcommands[0].app->parsed()) options.output = demoOutput;
  try {
    for (const Subcommand& s : subcommands) {
      if (!s.app->parsed()) continue;
      if (outputIsAnInput(options)) return bctool::kExitUsage;
      return s.run(options);
    }
  } catch (const KRErrorNoHeap& error) {
    std::cerr << "bcode: error: out of memory (" << error.getHeader() << ", line "
              << error.getLine() << ")\n";
  } catch (const std::bad_alloc&) {
    std::cerr << "bcode: error: out of memory\n";
  }
  return app.got_subcommand("diff") ? bctool::kExitDiffError : bctool::kExitInvalid;
}
