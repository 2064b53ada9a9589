// Runs the bcode tool as a process: its output, exit status and messages for
// the demo, valid, truncated and corrupted records, wrong usage and files that
// cannot be read.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/version.h"
#include "tools/support/demoblock.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// Each test works in a directory of its own.
class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(BCODE_TOOL_PATH).empty()) GTEST_SKIP() << "the tool is not built";
    std::string pattern = (fs::temp_directory_path() / "bcode_tool_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Runs the tool in the test's directory; `input` becomes standard input.
  ToolRun run(const std::string& args, const std::string& input = "") {
    writeFile(dir_ / "stdin", input);
    // A sanitizer's report must not pass for the tool's own exit status 1.
    std::string command = "cd '" + dir_.string() +
                          "' && ASAN_OPTIONS=\"$ASAN_OPTIONS:exitcode=99\" "
                          "UBSAN_OPTIONS=\"$UBSAN_OPTIONS:exitcode=99\" '" +
                          BCODE_TOOL_PATH + "' " + args + " <stdin >stdout 2>stderr";
    int status = std::system(command.c_str());
    int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return {exitCode, readFile(dir_ / "stdout"), readFile(dir_ / "stderr")};
  }

  // The demo's record, written by the tool.
  std::string demoBytes() {
    EXPECT_EQ(run("demo").status, 0);
    return readFile(dir_ / "example.bc");
  }

  // Section name -> [begin, end) from the stats of a valid record.
  std::map<std::string, std::pair<std::size_t, std::size_t>> sections(const std::string& file) {
    std::map<std::string, std::pair<std::size_t, std::size_t>> result;
    std::regex row(R"(^(\S+(?: \S+)*)\s+(-|\d+)\s+(\d+)\s+(\d+)$)");
    for (const std::string& line : lines(run("stats " + file).out)) {
      std::smatch m;
      if (std::regex_match(line, m, row)) {
        std::size_t begin = std::stoul(m[3]);
        result[m[1]] = {begin, begin + std::stoul(m[4])};
      }
    }
    return result;
  }

  fs::path dir_;
};

TEST_F(ToolTest, DemoPrintsTheGoldenListingAndListReadsTheSameBack) {
  ToolRun demo = run("demo");
  ASSERT_EQ(demo.status, 0) << demo.err;
  fs::path golden = fs::path(BCODE_TOOL_GOLDEN_DIR) / "demo.txt";
  if (std::getenv("BCODE_UPDATE_GOLDEN") != nullptr) writeFile(golden, demo.out);
  EXPECT_EQ(demo.out, readFile(golden));
  EXPECT_EQ(demo.err, "");

  // Everything but the closing sentence is the listing of the file.
  std::string listing = demo.out.substr(0, demo.out.rfind("\n\nSaved the block") + 1);
  EXPECT_EQ(run("list example.bc").out, listing);
  std::string bytes = readFile(dir_ / "example.bc");
  EXPECT_EQ(run("list -", bytes).out, listing);
  EXPECT_EQ(run("check example.bc").out, "example.bc: ok: block 7, kind FB\n");
}

TEST_F(ToolTest, DemoWritesTheRecordToStandardOutputAndTheListingToStandardError) {
  std::string bytes = demoBytes();
  ToolRun demo = run("demo -o -");
  ASSERT_EQ(demo.status, 0);
  EXPECT_EQ(demo.out, bytes);
  EXPECT_NE(demo.err.find("Saved the block to standard output"), std::string::npos);
}

// The record of the demo block as it was first written: a change of the
// block, of a writer or of the section order shows here.
TEST_F(ToolTest, DemoWritesTheKnownRecord) {
  EXPECT_EQ(demoBytes(), readFile(fs::path(BCODE_FUZZ_CORPUS_DIR) / "fuzz_block_load/demo_block"));
}

// Every prefix fails in the section holding its first missing byte.
TEST_F(ToolTest, CheckNamesTheSectionOfEveryTruncatedPrefix) {
  std::string bytes = demoBytes();
  auto bounds = sections("example.bc");
  ASSERT_EQ(bounds.size(), 8u);
  std::string args = "check";
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    writeFile(dir_ / ("p" + std::to_string(n)), bytes.substr(0, n));
    args += " p" + std::to_string(n);
  }
  ToolRun check = run(args);
  ASSERT_EQ(check.status, 1) << check.err;
  EXPECT_EQ(check.err, "");
  std::vector<std::string> report = lines(check.out);
  ASSERT_EQ(report.size(), bytes.size());
  std::regex failure(R"(^p(\d+): failed in the (.+) at byte (\d+): .+$)");
  for (const std::string& line : report) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, failure)) << line;
    std::size_t n = std::stoul(m[1]);
    auto [begin, end] = bounds.at(m[2]);
    EXPECT_TRUE(begin <= n && n < end) << line;
    EXPECT_EQ(std::stoul(m[3]), n) << line;
  }
}

// Whatever a byte becomes, check answers with a verdict for the file.
TEST_F(ToolTest, CheckSurvivesEveryByteInverted) {
  std::string bytes = demoBytes();
  std::string args = "check";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string copy = bytes;
    copy[i] = static_cast<char>(~copy[i]);
    writeFile(dir_ / ("c" + std::to_string(i)), copy);
    args += " c" + std::to_string(i);
  }
  ToolRun check = run(args);
  EXPECT_EQ(check.status, 1) << check.err;
  EXPECT_EQ(check.err, "");
  // A verdict, or one of the problems check names.
  std::regex verdict(R"(^c\d+: (ok: block \d+, kind .+)"
                     R"(|failed in the (block header|type table|interface list|LDD list|LSD list)"
                     R"(|constant table|operand table|instruction list) at byte \d+: [a-z ]+: .+)"
                     R"(|laying out the block failed: block: .+)"
                     R"(|(type|interface of|LDD variable|LSD variable|operand|instruction) .+: )"
                     R"((.+ does not resolve|has no type|no interface description of .+))"
                     R"(|\d+ bytes follow the end of the block record at byte \d+)"
                     R"(|saving it again gives different bytes from byte \d+ on)$)");
  std::size_t files = 0;
  std::string last;
  for (const std::string& line : lines(check.out)) {
    ASSERT_TRUE(std::regex_match(line, verdict)) << line;
    std::string file = line.substr(0, line.find(':'));
    if (file != last) ++files;
    last = file;
  }
  EXPECT_EQ(files, bytes.size());
}

struct ByteCorruption {
  const char* name;
  const char* section;
  std::size_t offset;  // from the section's first byte
  char value;
  const char* message;  // a pattern after "x.bc: "; {at}: the byte's offset, {next}: at + 1
};

class ToolCorruptionTest : public ToolTest, public ::testing::WithParamInterface<ByteCorruption> {};

TEST_P(ToolCorruptionTest, CheckReportsTheCorruption) {
  const ByteCorruption& c = GetParam();
  std::string bytes = demoBytes();
  std::size_t at = sections("example.bc").at(c.section).first + c.offset;
  bytes[at] = c.value;
  writeFile(dir_ / "x.bc", bytes);
  ToolRun check = run("check x.bc");
  EXPECT_EQ(check.status, 1);
  std::string message = std::regex_replace(c.message, std::regex("\\{at\\}"), std::to_string(at));
  message = std::regex_replace(message, std::regex("\\{next\\}"), std::to_string(at + 1));
  EXPECT_TRUE(std::regex_match(check.out, std::regex("x.bc: " + message + "\n"))) << check.out;
}

INSTANTIATE_TEST_SUITE_P(
    Records, ToolCorruptionTest,
    ::testing::Values(ByteCorruption{"OperandTag0", "operand table", 3, 0,
                                     "failed in the operand table at byte {next}: "
                                     "operand: an operand could not be written or read [^;]+; "
                                     "operand table: [^;]+"},
                      ByteCorruption{"ConstantTag9", "constant table", 3, 9,
                                     "failed in the constant table at byte {next}: "
                                     "constant: a constant could not be written or read [^;]+; "
                                     "constant table: [^;]+"},
                      // A presence byte of 2 reads as present and is written back as 1.
                      ByteCorruption{"InstructionPresence2", "instruction list", 4, 2,
                                     "saving it again gives different bytes from byte {at} on"}),
    [](const auto& info) { return std::string(info.param.name); });

// References that do not resolve, made through the library and saved.
TEST_F(ToolTest, CheckNamesEveryUnresolvedReference) {
  bcInitBCode();
  std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  ASSERT_NE(block, nullptr);
  KRTypeTab& types = block->getTypeTab();
  KRTypeRef missingType(500, &types);
  types.add(std::make_unique<KRArrayDesc>(missingType).release());
  types.add(std::make_unique<KRInstanceDesc>(99, KR_FB_KENN, &block->getSSBList()).release());
  BCOpRef badArea = block->getOpList().add(std::make_unique<BCoE>(4u, missingType).release());
  BCConstRef missingConst(KRReference<BCConstant*>(99, &block->getConstList()));
  BCOpRef missingOp(KRReference<BCOperand*>(200, &block->getOpList()));
  BCTMP typed(5, 9, BCTMP::TMG, BCTMP::L_AREA, missingType);
  BCCST constant(missingConst);
  BCOPD operand(missingOp);
  block->getInstrList().append(
      std::make_unique<BCInstruction>(BCInstruction::IC_32, &typed, &constant, &operand).release());
  bcInitBCode();  // the handles that do not resolve flagged their construction
  std::ostringstream os;
  block->save(os);
  writeFile(dir_ / "refs.bc", os.str());
  std::uint16_t types1 = types.getCount() - 2;
  std::uint16_t last = static_cast<std::uint16_t>(block->getInstrList().getCount());
  std::string i = "refs.bc: instruction " + std::to_string(last) + " ";
  EXPECT_EQ(run("check refs.bc").out,
            "refs.bc: type " + std::to_string(types1) +
                " (array) element: type 500 does not resolve\n" + "refs.bc: type " +
                std::to_string(types1 + 1) + " (instance): no interface description of FB 99\n" +
                "refs.bc: operand " + std::to_string(badArea.getIndex()) +
                " (E): type 500 does not resolve\n" + i + "z: type 500 does not resolve\n" + i +
                "q1: constant 99 does not resolve\n" + i + "q2: operand 200 does not resolve\n");
}

TEST_F(ToolTest, CheckReportsBytesAfterTheRecordAndGoesOnWithTheNextFile) {
  std::string bytes = demoBytes();
  writeFile(dir_ / "long.bc", bytes + "xyz");
  ToolRun check = run("check long.bc example.bc");
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, "long.bc: 3 bytes follow the end of the block record at byte " +
                           std::to_string(bytes.size()) + "\nexample.bc: ok: block 7, kind FB\n");
}

TEST_F(ToolTest, CheckReadsStandardInputAndGoesOnAfterAMissingFile) {
  std::string bytes = demoBytes();
  ToolRun check = run("check missing.bc -", bytes);
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, "standard input: ok: block 7, kind FB\n");
  EXPECT_EQ(check.err, "bcode: cannot open 'missing.bc': No such file or directory\n");
}

// A record cut inside its operand table, given to the other subcommands.
TEST_F(ToolTest, ListDumpAndStatsNameTheFailureOfAnInvalidFile) {
  writeFile(dir_ / "cut.bc", demoBytes().substr(0, 700));
  std::string failure =
      "bcode: 'cut.bc' is not a valid block: failed in the operand table at byte 700: "
      "operand: an operand could not be written or read (the record ends inside it, or its "
      "class is unknown), or it names an interface entry or local variable that does not exist; "
      "operand table: the record ends inside the table, or one of its entries could not be "
      "read\n";
  for (const char* command : {"list", "dump", "stats"}) {
    ToolRun invalid = run(std::string(command) + " cut.bc");
    EXPECT_EQ(invalid.status, 1) << command;
    EXPECT_EQ(invalid.err, failure) << command;
  }
  // Stats still show the sections read before the failure.
  std::string stats = run("stats cut.bc").out;
  EXPECT_TRUE(std::regex_search(stats, std::regex("constant table +9 +589 +62\n"))) << stats;
  EXPECT_EQ(stats.find("operand table"), std::string::npos);
  EXPECT_EQ(run("list cut.bc").out, "");
}

TEST_F(ToolTest, StatsCountTheEntriesAndBytesOfEverySection) {
  std::string bytes = demoBytes();
  auto bounds = sections("example.bc");
  ASSERT_EQ(bounds.size(), 8u);
  std::size_t total = 0;
  for (const auto& entry : bounds) total += entry.second.second - entry.second.first;
  EXPECT_EQ(total, bytes.size());
  ToolRun stats = run("stats example.bc");
  EXPECT_NE(stats.out.find("Block: FB 7\n"), std::string::npos);
  for (const char* row : {"type table +28 ", "interface list +3 ", "LDD list +4 ",
                          "constant table +9 ", "operand table +35 ", "instruction list +25 "}) {
    EXPECT_TRUE(std::regex_search(stats.out, std::regex(row))) << row;
  }
}

TEST_F(ToolTest, DumpShowsEverySection) {
  demoBytes();
  ToolRun dump = run("dump example.bc");
  ASSERT_EQ(dump.status, 0);
  for (const char* part : {"ElemType:", "BCSSBList:", "LDD list:", "LSD list:", "DIntConst",
                           "Instruction list: 25 instructions"}) {
    EXPECT_NE(dump.out.find(part), std::string::npos) << part;
  }
}

TEST_F(ToolTest, NameTableFilesReplaceTheDefaults) {
  demoBytes();
  std::string mnemonics;
  for (int i = 0; i < 57; ++i) mnemonics += "OP" + std::to_string(i) + "\n";
  writeFile(dir_ / "mnemonics", mnemonics);
  writeFile(dir_ / "classes", "none\r\nIN_AREA\n");
  ToolRun list = run("list --mnemonics mnemonics --class-names classes example.bc");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("\nOP12   -"), std::string::npos);  // code 136 lists in column 12
  EXPECT_EQ(list.out.find("IC136"), std::string::npos);
  EXPECT_NE(list.out.find("    1 IN_AREA BOOL"), std::string::npos);
  EXPECT_NE(list.out.find("    2 ???     BOOL"), std::string::npos);

  writeFile(dir_ / "long", mnemonics + "OP57\n");
  ToolRun tooLong = run("list --mnemonics long example.bc");
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_EQ(tooLong.err, "bcode: 'long' has 58 names, the table has room for 57\n");
}

struct Usage {
  const char* args;
  const char* usage;  // the usage line that must be shown
};

class ToolUsageTest : public ToolTest, public ::testing::WithParamInterface<Usage> {};

TEST_P(ToolUsageTest, WrongUsageExitsWith2AndShowsTheUsage) {
  ToolRun wrong = run(GetParam().args);
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.out, "");
  EXPECT_EQ(wrong.err.rfind("bcode: ", 0), 0u) << wrong.err;
  EXPECT_NE(wrong.err.find(GetParam().usage), std::string::npos) << wrong.err;
}

INSTANTIATE_TEST_SUITE_P(Arguments, ToolUsageTest,
                         ::testing::Values(Usage{"", "Usage: bcode [OPTIONS] SUBCOMMAND"},
                                           Usage{"frobnicate", "Usage: bcode [OPTIONS] SUBCOMMAND"},
                                           Usage{"--bogus", "Usage: bcode [OPTIONS] SUBCOMMAND"},
                                           Usage{"list", "Usage: bcode list [OPTIONS] FILE"},
                                           Usage{"list a b", "Usage: bcode list [OPTIONS] FILE"},
                                           Usage{"list --mnemonics",
                                                 "Usage: bcode list [OPTIONS] FILE"},
                                           Usage{"dump", "Usage: bcode dump [OPTIONS] FILE"},
                                           Usage{"check", "Usage: bcode check [OPTIONS] FILE..."},
                                           Usage{"stats a b", "Usage: bcode stats [OPTIONS] FILE"},
                                           Usage{"demo -o", "Usage: bcode demo [OPTIONS]"},
                                           Usage{"demo extra", "Usage: bcode demo [OPTIONS]"}));

TEST_F(ToolTest, HelpAndVersionExitWith0) {
  ToolRun help = run("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"demo", "list", "dump", "check", "stats"}) {
    EXPECT_NE(help.out.find(std::string("  ") + command + " "), std::string::npos) << command;
    ToolRun sub = run(std::string(command) + " --help");
    EXPECT_EQ(sub.status, 0);
    EXPECT_NE(sub.out.find(std::string("Usage: bcode ") + command), std::string::npos);
  }
  EXPECT_EQ(run("--version").out, std::string("bcode ") + BCODE_VERSION_STRING + "\n");
}

// Missing files and directories, for every subcommand that reads one.
TEST_F(ToolTest, FilesThatCannotBeReadAreNamed) {
  fs::create_directory(dir_ / "folder.bc");
  for (const char* command : {"list", "dump", "check", "stats", "list --type-names"}) {
    for (const char* file : {"missing.bc", "folder.bc"}) {
      std::string args = std::string(command) + " " + file;
      if (std::string(command) == "list --type-names") args += " example.bc";
      ToolRun failed = run(args);
      EXPECT_EQ(failed.status, 1) << args;
      EXPECT_EQ(failed.err.rfind(std::string("bcode: cannot "), 0), 0u) << failed.err;
      EXPECT_NE(failed.err.find(std::string("'") + file + "'"), std::string::npos) << failed.err;
    }
  }
  ToolRun unwritable = run("demo -o folder.bc");
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("cannot write 'folder.bc'"), std::string::npos);
}

}  // namespace
