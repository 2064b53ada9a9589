// bcode: builds, lists, dumps and checks the intermediate code of one PLC
// block saved as a block record.
#include <CLI/CLI.hpp>

#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "bcode/foundation/krerror.h"
#include "bcode/version.h"
#include "tools/cmd/commands.h"

namespace {

using bctool::NameTableFiles;

struct Options {
  std::string output = "example.bc";
  std::string input;
  std::vector<std::string> inputs;
  NameTableFiles tables;
};

constexpr const char* kFileHelp = "Block record to read ('-': standard input)";

CLI::App* addDemo(CLI::App& app, Options& options) {
  CLI::App* demo =
      app.add_subcommand("demo", "Build the example block, save it, load it back and list it");
  demo->footer(
      "Builds FB 7 through the library, lays it out, saves it, loads it back, checks that "
      "saving the loaded block gives the same bytes, and prints its listing.");
  demo->add_option("-o,--output", options.output,
                   "File to save the block to ('-': standard output, the listing then goes to "
                   "standard error)")
      ->capture_default_str()
      ->type_name("FILE");
  return demo;
}

// A subcommand that reads one block record.
CLI::App* addOneFileCommand(CLI::App& app, const char* name, const char* description,
                            Options& options) {
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("FILE", options.input, kFileHelp)->required()->type_name("FILE");
  return command;
}

CLI::App* addList(CLI::App& app, Options& options) {
  CLI::App* list =
      addOneFileCommand(app, "list", "Print the fixed-column listing of a block", options);
  list->add_option("--mnemonics", options.tables.mnemonics,
                   "Instruction mnemonics, one per line, by listing column (57)")
      ->type_name("FILE");
  list->add_option("--type-names", options.tables.typeNames,
                   "Data type names, one per line, by data type code (256)")
      ->type_name("FILE");
  list->add_option("--class-names", options.tables.classNames,
                   "Operand class names, one per line, by class tag (34)")
      ->type_name("FILE");
  list->add_option("--param-kind-names", options.tables.paramKindNames,
                   "Parameter kind names, one per line, by parameter kind (256)")
      ->type_name("FILE");
  list->footer(
      "Lists the type table, interface list, local data, constants, operands and "
      "instructions. A name file replaces the library's default table: line n is entry "
      "n - 1, entries after the last line read \"???\".");
  return list;
}

CLI::App* addCheck(CLI::App& app, Options& options) {
  CLI::App* check = app.add_subcommand(
      "check", "Check that block records load, save again unchanged and resolve");
  check->add_option("FILE", options.inputs, "Block records to check ('-': standard input)")
      ->required()
      ->type_name("FILE");
  check->footer(
      "Each file must load section by section, save again to the same bytes, and every "
      "reference in it must resolve. Exit status: 0 when every file is valid, 1 when one is "
      "not, 2 on wrong usage.");
  return check;
}

// Wrong usage: the error, then the usage text of the (sub)command concerned.
int usageError(const CLI::App& app, const CLI::ParseError& error) {
  std::cerr << "bcode: " << error.what() << "\n\n" << app.help();
  return bctool::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("Builds, lists, dumps and checks the intermediate code of a PLC block.", "bcode");
  app.set_version_flag("--version", std::string("bcode ") + BCODE_VERSION_STRING);
  app.require_subcommand(1);
  app.footer("Run 'bcode SUBCOMMAND --help' for the options of a subcommand.");

  Options options;
  CLI::App* demo = addDemo(app, options);
  CLI::App* list = addList(app, options);
  CLI::App* dump = addOneFileCommand(
      app, "dump", "Print the debugging dump of every section of a block", options);
  CLI::App* check = addCheck(app, options);
  CLI::App* stats = addOneFileCommand(
      app, "stats", "Print the sections of a block with their entries and bytes", options);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(error);
    return usageError(app, error);
  }

  try {
    if (demo->parsed()) return bctool::runDemo(options.output);
    if (list->parsed()) return bctool::runList(options.input, options.tables);
    if (dump->parsed()) return bctool::runDump(options.input);
    if (check->parsed()) return bctool::runCheck(options.inputs);
    if (stats->parsed()) return bctool::runStats(options.input);
  } catch (const KRErrorNoHeap& error) {
    std::cerr << "bcode: out of memory (" << error.getHeader() << ", line " << error.getLine()
              << ")\n";
  } catch (const std::bad_alloc&) {
    std::cerr << "bcode: out of memory\n";
  }
  return bctool::kExitInvalid;
}
