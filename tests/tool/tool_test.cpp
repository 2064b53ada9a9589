// Runs the bcode tool as a process: its output, diagnostics and exit status
// for the demo, valid, truncated and corrupted records, several files, JSON,
// the generator, the layout view, wrong usage, inputs that cannot be read
// and outputs that cannot be written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/version.h"
#include "tools/support/blockgen.h"
#include "tools/support/demoblock.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

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

// The parts of a listing between blank lines, each named after its title
// (the first line up to its colon, "type-table" for "Type table: ...";
// "closing" for the demo's closing sentence), as the golden files of the
// demo listing are.
std::vector<std::pair<std::string, std::string>> sectionsOf(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> sections;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t gap = text.find("\n\n", at);
    const std::size_t end = gap == std::string::npos ? text.size() : gap + 2;
    const std::string part = text.substr(at, end - at);
    // A title is at most two words before a colon.
    std::string name = part.substr(0, part.find_first_of(":\n"));
    if (part[name.size()] != ':' || std::count(name.begin(), name.end(), ' ') > 1) {
      name = "closing";
    }
    for (char& c : name) c = c == ' ' ? '-' : static_cast<char>(std::tolower(c));
    sections.emplace_back(name, part);
    at = end;
  }
  return sections;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

// The demo block as the library builds it, to compare the tool's answers with.
std::unique_ptr<BCode> libraryDemo() {
  bcInitBCode();
  std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  EXPECT_NE(block, nullptr);
  return block;
}

// Where each entry of a table or list record begins: after the two count
// bytes, each entry's own record (and, in a table, its presence byte).
template <class Entry>
std::vector<std::size_t> entryBegins(std::size_t begin, const std::vector<const Entry*>& entries,
                                     bool presenceBytes) {
  std::vector<std::size_t> begins;
  std::size_t at = begin + 2;
  for (const Entry* entry : entries) {
    begins.push_back(at);
    std::ostringstream os;
    entry->save(os);
    at += os.str().size() + (presenceBytes ? 1 : 0);
  }
  return begins;
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

  // Runs the tool in the test's directory; `input` becomes standard input
  // unless `args` redirects it.
  ToolRun run(const std::string& args, const std::string& input = "") {
    writeFile(dir_ / "stdin", input);
    // A sanitizer's report must not pass for the tool's own exit status 1.
    std::string command = "cd '" + dir_.string() +
                          "' && ASAN_OPTIONS=\"$ASAN_OPTIONS:exitcode=99\" "
                          "UBSAN_OPTIONS=\"$UBSAN_OPTIONS:exitcode=99\" '" +
                          BCODE_TOOL_PATH + "' " + args + " <stdin >stdout 2>stderr";
    if (args.find(" < ") != std::string::npos) command.replace(command.find(" <stdin"), 7, "");
    if (args.find(" > ") != std::string::npos) command.replace(command.find(" >stdout"), 8, "");
    int status = std::system(command.c_str());
    int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return {exitCode, readFile(dir_ / "stdout"), readFile(dir_ / "stderr")};
  }

  // The demo's record, written by the tool.
  std::string demoBytes() {
    EXPECT_EQ(run("demo").status, 0);
    return readFile(dir_ / "example.bc");
  }

  Json json(const std::string& args) {
    ToolRun r = run(args);
    EXPECT_EQ(r.err, "") << args;
    return Json::parse(r.out);
  }

  // Section name -> [begin, end) from the JSON stats of a valid record.
  std::map<std::string, std::pair<std::size_t, std::size_t>> sections(const std::string& file) {
    std::map<std::string, std::pair<std::size_t, std::size_t>> result;
    const Json stats = json("stats --format json " + file);
    for (const Json& s : stats["files"][0]["sections"]) {
      std::size_t begin = s["offset"];
      result[s["name"]] = {begin, begin + s["bytes"].get<std::size_t>()};
    }
    return result;
  }

  fs::path dir_;
};

const char* const kDemoOk = "example.bc: ok (FB 7, 25 instructions)\n";

TEST_F(ToolTest, DemoPrintsTheGoldenListingAndListReadsTheSameBack) {
  ToolRun demo = run("demo");
  ASSERT_EQ(demo.status, 0) << demo.err;
  // One golden file per section, so that a difference names its section.
  const fs::path golden = fs::path(BCODE_TOOL_GOLDEN_DIR) / "demo";
  const auto sections = sectionsOf(demo.out);
  if (std::getenv("BCODE_UPDATE_GOLDEN") != nullptr) {
    fs::remove_all(golden);
    fs::create_directories(golden);
    for (const auto& [name, text] : sections) writeFile(golden / (name + ".txt"), text);
  }
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(golden)) files += entry.is_regular_file();
  EXPECT_EQ(sections.size(), files) << "sections of the listing against golden files";
  for (const auto& [name, text] : sections) {
    EXPECT_EQ(text, readFile(golden / (name + ".txt"))) << "section " << name;
  }
  EXPECT_EQ(demo.err, "");

  // Everything but the closing sentence is the listing of the file.
  std::string listing = demo.out.substr(0, demo.out.rfind("\n\nSaved the block") + 1);
  EXPECT_EQ(run("list example.bc").out, listing);
  std::string bytes = readFile(dir_ / "example.bc");
  EXPECT_EQ(run("list -", bytes).out, listing);
  EXPECT_EQ(run("check example.bc").out, kDemoOk);
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

// Every prefix fails where it ends, in the section holding its first
// missing byte; in the operand table and the instruction list the entry
// named is the one the library's own entry records place there.
TEST_F(ToolTest, CheckDiagnosesEveryTruncatedPrefixWhereItEnds) {
  std::string bytes = demoBytes();
  auto bounds = sections("example.bc");
  ASSERT_EQ(bounds.size(), 8u);
  std::unique_ptr<BCode> block = libraryDemo();
  std::vector<const BCOperand*> operands;
  for (std::uint32_t i = 1; i < block->getOpList().getCount(); ++i) {
    operands.push_back(block->getOpList().entryAt(i));
  }
  std::vector<const BCInstruction*> instructions;
  for (BCInstructionListIterator it(block->getInstrList(), 1); !it.end(); ++it) {
    instructions.push_back(it.current());
  }
  std::map<std::string, std::pair<std::string, std::vector<std::size_t>>> entries = {
      {"operand table", {"operand", entryBegins(bounds["operand table"].first, operands, true)}},
      {"instruction list",
       {"instruction", entryBegins(bounds["instruction list"].first, instructions, false)}}};

  std::string args = "check";
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    writeFile(dir_ / ("p" + std::to_string(n)), bytes.substr(0, n));
    args += " p" + std::to_string(n);
  }
  ToolRun check = run(args);
  ASSERT_EQ(check.status, 1);
  EXPECT_EQ(check.out, "");
  std::vector<std::string> report = lines(check.err);
  ASSERT_EQ(report.size(), bytes.size());
  EXPECT_EQ(report[0], "bcode: p0:0: error: empty file: not a block record");
  std::regex failure(R"(^bcode: p(\d+):(\d+): error: ([A-Za-z ]+): record ends inside (.+)$)");
  for (std::size_t k = 1; k < report.size(); ++k) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(report[k], m, failure)) << report[k];
    std::size_t n = std::stoul(m[1]);
    EXPECT_EQ(std::stoul(m[2]), n) << report[k];
    auto [begin, end] = bounds.at(m[3]);
    EXPECT_TRUE(begin <= n && n < end) << report[k];
    auto found = entries.find(m[3]);
    if (found == entries.end() || n < begin + 2) continue;
    const std::vector<std::size_t>& at = found->second.second;
    std::size_t i = std::upper_bound(at.begin(), at.end(), n) - at.begin();
    EXPECT_EQ(m[4], found->second.first + " " + std::to_string(i) + ", which begins at byte " +
                        std::to_string(at[i - 1]));
  }
}

// Whatever a byte becomes, check gives each file a verdict in a user's words.
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
  EXPECT_EQ(check.status, 1);
  std::regex ok(R"(^c(\d+): ok \(.+ \d+, \d+ instructions?\)$)");
  std::regex diagnostic(R"(^bcode: c(\d+):\d+: error: [^:]+(: [^:]+)*$)");
  std::set<std::string> judged;
  for (const std::string& line : lines(check.out)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, ok)) << line;
    judged.insert(m[1]);
  }
  for (const std::string& line : lines(check.err)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, diagnostic)) << line;
    EXPECT_FALSE(std::regex_search(line, std::regex("::|error=|<|no error flag"))) << line;
    judged.insert(m[1]);
  }
  EXPECT_EQ(judged.size(), bytes.size());
}

struct ByteCorruption {
  const char* name;
  const char* section;
  std::size_t offset;  // from the section's first byte
  char value;
  const char* message;  // a pattern for standard error; {at}: the byte's offset, {next}, {prev}
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
  EXPECT_EQ(check.out, "");
  std::string message = replaceAll(c.message, "{at}", std::to_string(at));
  message = replaceAll(message, "{next}", std::to_string(at + 1));
  message = replaceAll(message, "{prev}", std::to_string(at - 1));
  EXPECT_TRUE(std::regex_match(check.err, std::regex("bcode: x.bc:" + message + "\n")))
      << check.err;
}

INSTANTIATE_TEST_SUITE_P(
    Records, ToolCorruptionTest,
    ::testing::Values(
        ByteCorruption{"OperandTag0", "operand table", 3, 0,
                       "{next}: error: operand table: operand 1, which begins at byte {prev}: "
                       "an operand could not be written or read .+"},
        ByteCorruption{"ConstantTag9", "constant table", 3, 9,
                       "{next}: error: constant table: constant 1, which begins at byte {prev}: "
                       "a constant could not be written or read .+"},
        // A presence byte of 2 reads as present and is written back as 1.
        ByteCorruption{"InstructionPresence2", "instruction list", 4, 2,
                       "{at}: error: instruction list: saving the block again gives different "
                       "bytes from here on"}),
    [](const auto& info) { return std::string(info.param.name); });

// References that do not resolve, made through the library and saved.
TEST_F(ToolTest, CheckNamesEveryUnresolvedReferenceAtItsSection) {
  std::unique_ptr<BCode> block = libraryDemo();
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
  auto bounds = sections("refs.bc");
  std::uint16_t types1 = types.getCount() - 2;
  std::string t = "bcode: refs.bc:3: error: type table: type ";
  std::string o = "bcode: refs.bc:" + std::to_string(bounds["operand table"].first) +
                  ": error: operand table: operand ";
  std::string i = "bcode: refs.bc:" + std::to_string(bounds["instruction list"].first) +
                  ": error: instruction list: instruction " +
                  std::to_string(block->getInstrList().getCount()) + " ";
  ToolRun check = run("check refs.bc");
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.err,
            t + std::to_string(types1) + " (array) element: type 500 does not resolve\n" + t +
                std::to_string(types1 + 1) + " (instance): no interface description of FB 99\n" +
                o + std::to_string(badArea.getIndex()) + " (E): type 500 does not resolve\n" + i +
                "z: type 500 does not resolve\n" + i + "q1: constant 99 does not resolve\n" + i +
                "q2: operand 200 does not resolve\n");
}

// Several files, standard input, a missing file and bytes after the record.
TEST_F(ToolTest, CheckJudgesEveryFileAndGoesOn) {
  std::string bytes = demoBytes();
  writeFile(dir_ / "long.bc", bytes + "xyz");
  ToolRun check = run("check long.bc missing.bc - example.bc", bytes);
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, std::string("<stdin>: ok (FB 7, 25 instructions)\n") + kDemoOk);
  EXPECT_EQ(check.err, "bcode: long.bc:" + std::to_string(bytes.size()) +
                           ": error: 3 bytes follow the end of the block record\n"
                           "bcode: missing.bc: error: cannot open: No such file or directory\n");

  Json report = json("check --format json long.bc example.bc missing.bc");
  ASSERT_EQ(report["files"].size(), 3u);
  const Json& trailing = report["files"][0];
  EXPECT_EQ(trailing["file"], "long.bc");
  EXPECT_EQ(trailing["result"], "invalid");
  EXPECT_EQ(trailing["block"], Json({{"kind", "FB"}, {"number", 7}, {"instructions", 25}}));
  EXPECT_EQ(trailing["problems"],
            Json::array({{{"offset", bytes.size()},
                          {"section", nullptr},
                          {"message", "3 bytes follow the end of the block record"},
                          {"line", nullptr},
                          {"column", nullptr}}}));
  EXPECT_EQ(report["files"][1]["result"], "ok");
  EXPECT_EQ(report["files"][1]["problems"], Json::array());
  EXPECT_EQ(report["files"][2]["block"], nullptr);
  EXPECT_EQ(report["files"][2]["problems"][0]["offset"], nullptr);
}

// A record cut inside its operand table, given to every subcommand that
// shows a block: a diagnostic, and nothing of that file on standard output.
TEST_F(ToolTest, InvalidFilesGetTheirDiagnosticAndNoOutput) {
  std::string bytes = demoBytes();
  writeFile(dir_ / "cut.bc", bytes.substr(0, 700));
  const std::string failure =
      "bcode: cut.bc:700: error: operand table: record ends inside operand 6, which begins at "
      "byte 693\n";
  for (const char* command :
       {"list", "dump", "stats", "layout", "stats --format json", "dump --format json"}) {
    ToolRun invalid = run(std::string(command) + " cut.bc");
    EXPECT_EQ(invalid.status, 1) << command;
    EXPECT_EQ(invalid.err, failure) << command;
    EXPECT_EQ(invalid.out.find("type table"), std::string::npos) << command;
  }
  // The valid files around it are shown, each under its name.
  std::string listing = run("list example.bc").out;
  ToolRun several = run("list example.bc cut.bc - -o out.txt", bytes);
  EXPECT_EQ(several.status, 1);
  EXPECT_EQ(several.err, failure);
  EXPECT_EQ(several.out, "");
  EXPECT_EQ(readFile(dir_ / "out.txt"),
            "==> example.bc <==\n" + listing + "\n==> <stdin> <==\n" + listing);
}

TEST_F(ToolTest, StatsCountTheEntriesAndBytesOfEverySection) {
  std::string bytes = demoBytes();
  writeFile(dir_ / "long.bc", bytes + "xy");
  const Json stats = json("stats --format json example.bc long.bc")["files"];
  ASSERT_EQ(stats.size(), 2u);
  EXPECT_EQ(stats[0]["block"], Json({{"kind", "FB"}, {"number", 7}}));
  EXPECT_EQ(stats[0]["bytes"], bytes.size());
  EXPECT_EQ(stats[0]["trailing_bytes"], 0);
  EXPECT_EQ(stats[1]["trailing_bytes"], 2);
  std::unique_ptr<BCode> block = libraryDemo();
  const std::vector<std::pair<std::string, Json>> expected = {
      {"block header", nullptr},
      {"type table", block->getTypeTab().getCount() - 1},
      {"interface list", block->getSSBList().getCount()},
      {"LDD list", block->getLDDList().getEntryCount()},
      {"LSD list", block->getLSDList().getEntryCount()},
      {"constant table", block->getConstList().getCount() - 1},
      {"operand table", block->getOpList().getCount() - 1},
      {"instruction list", block->getInstrList().getCount()}};
  const Json& sections = stats[0]["sections"];
  ASSERT_EQ(sections.size(), expected.size());
  std::size_t next = 0;
  for (std::size_t s = 0; s < expected.size(); ++s) {
    EXPECT_EQ(sections[s]["name"], expected[s].first);
    EXPECT_EQ(sections[s]["entries"], expected[s].second) << expected[s].first;
    EXPECT_EQ(sections[s]["offset"], next);
    next += sections[s]["bytes"].get<std::size_t>();
  }
  EXPECT_EQ(next, bytes.size());
  // The text form shows the same rows.
  std::string text = run("stats example.bc").out;
  EXPECT_NE(text.find("Block: FB 7\n"), std::string::npos);
  EXPECT_TRUE(std::regex_search(text, std::regex("operand table +35 +651 +298\n"))) << text;
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

// Slots of a table that hold an entry.
template <class Table>
std::size_t entriesIn(const Table& table) {
  std::size_t n = 0;
  for (std::uint32_t i = 1; i < table.getCount(); ++i) n += table.entryAt(i) != nullptr ? 1 : 0;
  return n;
}

// The sections of a block's JSON dump name the block's tables in record
// order, each entry with its index in turn, as many as the table holds.
void expectTablesOf(const Json& dumped, const BCode& block) {
  const std::vector<std::pair<std::string, std::size_t>> expected = {
      {"type table", entriesIn(block.getTypeTab())},
      {"interface list", block.getSSBList().getCount()},
      {"LDD list", block.getLDDList().getEntryCount()},
      {"LSD list", block.getLSDList().getEntryCount()},
      {"constant table", entriesIn(block.getConstList())},
      {"operand table", entriesIn(block.getOpList())},
      {"instruction list", block.getInstrList().getCount()}};
  const Json& sections = dumped["sections"];
  ASSERT_EQ(sections.size(), expected.size());
  for (std::size_t s = 0; s < expected.size(); ++s) {
    EXPECT_EQ(sections[s]["name"], expected[s].first);
    std::size_t filled = 0;
    std::size_t index = 0;
    for (const Json& entry : sections[s]["entries"]) {
      EXPECT_EQ(entry["index"], ++index) << expected[s].first;
      filled += entry.value("class", "") != "EMPTY" ? 1 : 0;
    }
    EXPECT_EQ(filled, expected[s].second) << expected[s].first;
  }
}

// The JSON dump of the demo block with two more constants, read back field
// by field against the block the library builds.
TEST_F(ToolTest, DumpJsonGivesEveryFieldAndWhatEachReferenceNames) {
  std::unique_ptr<BCode> block = libraryDemo();
  ASSERT_NE(block, nullptr);
  const std::uint32_t nanBits = 0x7fc01234;
  float nan = 0;
  std::memcpy(&nan, &nanBits, sizeof nan);
  block->getConstList().add(new BCStringConst(KRString("say \"it's\"\x01")));
  block->getConstList().add(new BCRealConst(nan));
  std::ostringstream record;
  block->save(record);
  writeFile(dir_ / "more.bc", record.str());
  const Json files = json("dump --format json more.bc")["files"];
  ASSERT_EQ(files.size(), 1u);
  const Json& dumped = files[0];
  EXPECT_EQ(dumped["file"], "more.bc");
  EXPECT_EQ(dumped["block"], Json({{"kind", "FB"}, {"number", 7}}));
  expectTablesOf(dumped, *block);
  const Json& sections = dumped["sections"];
  auto entry = [&](std::size_t section, std::size_t index) -> const Json& {
    return sections[section]["entries"][index - 1];
  };

  const Json& dword = entry(4, 1);
  EXPECT_EQ(dword["class"], "DWORD");
  EXPECT_EQ(dword["value"], 0xdeadbeefU);
  EXPECT_EQ(dword["literal"], "0xdeadbeef");
  const Json& real = entry(4, 3);
  EXPECT_EQ(real["value"].get<double>(), 3.25);
  EXPECT_EQ(real["bits"], 0x40500000U);
  EXPECT_EQ(entry(4, 8)["value"],
            Json({{"year", 2000}, {"month", 1}, {"day", 1}, {"time_of_day", 30600250}}));
  EXPECT_EQ(entry(4, 10)["value"], "say \"it's\"\x01");
  EXPECT_EQ(entry(4, 10)["literal"], "'say \"it$'s\"$01'");
  EXPECT_TRUE(entry(4, 11)["value"].is_null());
  EXPECT_EQ(entry(4, 11)["bits"], nanBits);

  // Structure 26, component by component.
  const auto& recipe = static_cast<const KRStructDesc&>(*block->getTypeTab().entryAt(26));
  const Json& structure = entry(0, 26);
  EXPECT_EQ(structure["class"], "STRUCT");
  EXPECT_EQ(structure["gdt"], 3);
  ASSERT_EQ(structure["components"].size(), recipe.getNoOfComp());
  for (std::uint16_t n = 1; n <= recipe.getNoOfComp(); ++n) {
    const Json& component = structure["components"][n - 1];
    EXPECT_EQ(component["index"], n);
    EXPECT_EQ(component["name"], recipe.getComp(n).getName().c_str());
    EXPECT_EQ(component["type"]["index"], recipe.getComp(n).getTypeRef().getIndex());
  }
  EXPECT_EQ(structure["components"][3]["type"]["type"], "ARRAY[1..4] OF INT");
  EXPECT_EQ(entry(0, 27)["dimensions"],
            Json::parse(R"([{"lower": 0, "upper": 1}, {"lower": 1, "upper": 3}])"));

  // References with what they name: a variable, an interface entry, a view,
  // an operand and a constant of an instruction.
  EXPECT_EQ(entry(5, 32)["variable"],
            Json::parse(R"({"index": 1, "name": "index", "type": {"index": 5, "type": "INT"}})"));
  EXPECT_EQ(entry(5, 18)["entry"],
            Json::parse(R"({"kind": "FB", "number": 7, "parameter": 1, "name": "start",
                            "type": {"index": 1, "type": "BOOL"}})"));
  EXPECT_EQ(entry(1, 1)["entries"][6]["view"], Json::parse(R"({"index": 6, "name": "total"})"));
  EXPECT_EQ(entry(1, 1)["entries"][6]["offset"], 128);
  const Json& operands = entry(6, 6)["operands"];
  EXPECT_EQ(entry(6, 6)["code"], 64);
  EXPECT_EQ(operands[0]["class"], "TMP");
  EXPECT_EQ(operands[1]["operand"],
            Json::parse(R"({"index": 34, "class": "LSD", "summary": "runs : DINT"})"));
  EXPECT_EQ(operands[2]["constant"],
            Json::parse(R"({"index": 2, "class": "DINT", "literal": "-100000"})"));
  EXPECT_EQ(entry(6, 25)["operands"], Json::parse("[null, null, null]"));
}

// Generated blocks of several seeds in one document, each with as many
// entries per section as the block the generator makes.
TEST_F(ToolTest, DumpJsonOfGeneratedBlocksHoldsTheirTables) {
  const std::uint64_t seeds[] = {5, 1234};
  std::string files;
  for (std::uint64_t seed : seeds) {
    const std::string file = "g" + std::to_string(seed) + ".bc";
    ASSERT_EQ(run("gen --instructions 300 --seed " + std::to_string(seed) + " -o " + file).status,
              0);
    files += " " + file;
  }
  const Json dumped = json("dump --format json" + files)["files"];
  ASSERT_EQ(dumped.size(), std::size(seeds));
  for (std::size_t k = 0; k < std::size(seeds); ++k) {
    const bctool::GeneratedBlock generated = bctool::generateBlock(300, seeds[k]);
    ASSERT_NE(generated.block, nullptr);
    EXPECT_EQ(dumped[k]["file"], "g" + std::to_string(seeds[k]) + ".bc");
    expectTablesOf(dumped[k], *generated.block);
  }
}

// The layout of the demo block, member by member, against the offsets,
// lengths and alignments the library computes.
TEST_F(ToolTest, LayoutShowsTheLibrarysOffsetsAndTheHolesBetween) {
  demoBytes();
  const Json layouts = json("layout --format json example.bc")["files"][0]["layouts"];
  std::unique_ptr<BCode> block = libraryDemo();
  struct Expected {
    std::string name;
    std::vector<std::uint32_t> offsets, sizes, alignments;
    std::uint32_t total;
  };
  std::vector<Expected> expected;
  const auto add = [&expected](std::string name, auto& owner, auto lookup, std::uint32_t count,
                               std::uint32_t total) {
    Expected e{std::move(name), {}, {}, {}, total};
    for (std::uint16_t n = 1; n <= count; ++n) {
      const auto* entry = lookup(owner, n);
      e.offsets.push_back(entry->getOffset());
      e.sizes.push_back(entry->storageLength());
      e.alignments.push_back(entry->alignment());
    }
    expected.push_back(e);
  };
  BCSSB& own = *block->getSSBList().lookup(7, KR_FB_KENN);
  add(
      "FB 7", own, [](BCSSB& s, std::uint16_t n) { return s.lookup(n); }, own.getEntryCount(),
      own.storageLength());
  for (BCLDList* list : {&block->getLDDList(), &block->getLSDList()}) {
    add(
        list == &block->getLDDList() ? "LDD list" : "LSD list", *list,
        [](BCLDList& l, std::uint16_t n) { return l.lookup(BCLDRef(n, &l)); },
        list->getEntryCount(), list->storageLength());
  }
  for (const Expected& e : expected) {
    auto found = std::find_if(layouts.begin(), layouts.end(),
                              [&e](const Json& l) { return l["name"] == e.name; });
    ASSERT_NE(found, layouts.end()) << e.name;
    const Json& members = (*found)["members"];
    ASSERT_EQ(members.size(), e.offsets.size()) << e.name;
    EXPECT_EQ((*found)["total"], e.total) << e.name;
    // Holes: the gaps between one ordinary member's end and the next one's offset.
    std::uint32_t end = 0;
    Json holes = Json::array();
    for (std::size_t m = 0; m < members.size(); ++m) {
      EXPECT_EQ(members[m]["offset"], e.offsets[m]) << e.name << " " << members[m];
      EXPECT_EQ(members[m]["size"], e.sizes[m]) << e.name << " " << members[m];
      EXPECT_EQ(members[m]["alignment"], e.alignments[m]) << e.name << " " << members[m];
      if (!members[m]["view_of"].is_null()) continue;
      if (e.offsets[m] > end) holes.push_back({{"offset", end}, {"size", e.offsets[m] - end}});
      end = e.offsets[m] + e.sizes[m];
    }
    EXPECT_EQ((*found)["holes"], holes) << e.name;
    EXPECT_EQ((*found)["padding_at_end"], e.total - end) << e.name;
  }
  // The views, and a structure type with its component offsets.
  EXPECT_EQ(layouts[0]["members"][6]["view_of"], "total");
  auto recipe = std::find_if(layouts.begin(), layouts.end(),
                             [](const Json& l) { return l["name"] == "type 26 STRUCT"; });
  ASSERT_NE(recipe, layouts.end());
  const auto& recipeType = static_cast<const KRStructDesc&>(*block->getTypeTab().entryAt(26));
  EXPECT_EQ((*recipe)["total"], recipeType.storageLength());
  for (std::uint16_t n = 1; n <= recipeType.getNoOfComp(); ++n) {
    EXPECT_EQ((*recipe)["members"][n - 1]["offset"], recipeType.getComp(n).getOffset());
  }
  // The text form shows a hole where the JSON has one.
  EXPECT_NE(run("layout example.bc")
                .out.find("        0       1      1  start      BOOL\n"
                          "        1      15         (hole)\n"
                          "       16      16     16  setpoint   INT\n"),
            std::string::npos);
}

// The same seed gives the same bytes; other seeds give other blocks, and
// every one passes check.
TEST_F(ToolTest, GenWritesValidBlocksThatDependOnTheSeedOnly) {
  std::string check = "check";
  std::set<std::string> records;
  for (const char* seed : {"0", "1", "2", "77", "18446744073709551615"}) {
    std::string file = std::string("g") + seed + ".bc";
    ASSERT_EQ(run(std::string("gen --instructions 700 --seed ") + seed + " -o " + file).status, 0);
    ToolRun again = run(std::string("gen --instructions 700 --seed ") + seed + " > again.bc");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(readFile(dir_ / "again.bc"), readFile(dir_ / file)) << seed;
    records.insert(readFile(dir_ / file));
    check += " " + file;
  }
  EXPECT_EQ(records.size(), 5u);
  ToolRun verdicts = run(check);
  EXPECT_EQ(verdicts.status, 0) << verdicts.err;
  EXPECT_EQ(lines(verdicts.out).size(), 5u);
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
  EXPECT_EQ(tooLong.err, "bcode: long: error: 58 names, the table has room for 57\n");
}

struct Usage {
  const char* args;
  const char* shown;  // what standard error must hold
};

class ToolUsageTest : public ToolTest, public ::testing::WithParamInterface<Usage> {};

TEST_P(ToolUsageTest, WrongUsageExitsWith2AndSaysWhy) {
  writeFile(dir_ / "x.bc", "");
  ToolRun wrong = run(GetParam().args);
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.out, "");
  EXPECT_EQ(wrong.err.rfind("bcode: error: ", 0), 0u) << wrong.err;
  EXPECT_NE(wrong.err.find(GetParam().shown), std::string::npos) << wrong.err;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ToolUsageTest,
    ::testing::Values(
        Usage{"", "Usage: bcode [OPTIONS] SUBCOMMAND"},
        Usage{"frobnicate x.bc",
              "unknown subcommand 'frobnicate'; the subcommands are demo, list, dump, check, "
              "stats, layout, gen, dis, asm, diff\n"},
        Usage{"--bogus", "Usage: bcode [OPTIONS] SUBCOMMAND"},
        Usage{"list", "Usage: bcode list [OPTIONS] FILE..."},
        Usage{"list --mnemonics", "Usage: bcode list [OPTIONS] FILE..."},
        Usage{"check --format xml x.bc", "Usage: bcode check [OPTIONS] FILE..."},
        Usage{"stats --max-input lots x.bc", "Usage: bcode stats [OPTIONS] FILE..."},
        Usage{"list --format json x.bc", "Usage: bcode list [OPTIONS] FILE..."},
        Usage{"gen --instructions 70000", "Usage: bcode gen [OPTIONS]"},
        Usage{"demo extra", "Usage: bcode demo [OPTIONS]"},
        Usage{"list x.bc -o x.bc", "'x.bc' is both an input and the output"}));

TEST_F(ToolTest, HelpAndVersionExitWith0) {
  ToolRun help = run("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"demo", "list", "dump", "check", "stats", "layout", "gen"}) {
    EXPECT_NE(help.out.find(std::string("  ") + command + " "), std::string::npos) << command;
    ToolRun sub = run(std::string(command) + " --help");
    EXPECT_EQ(sub.status, 0);
    EXPECT_NE(sub.out.find(std::string("Usage: bcode ") + command), std::string::npos);
  }
  EXPECT_EQ(run("--version").out, std::string("bcode ") + BCODE_VERSION_STRING + "\n");
}

struct Unreadable {
  const char* args;
  std::string message;  // standard error
};

class ToolInputTest : public ToolTest, public ::testing::WithParamInterface<Unreadable> {};

// Inputs and name files that cannot be read, or never end, for the
// subcommands that read them.
TEST_P(ToolInputTest, AreNamedAndFailWithExit1) {
  fs::create_directory(dir_ / "folder.bc");
  demoBytes();
  ToolRun failed = run(GetParam().args);
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(failed.err, GetParam().message);
}

constexpr const char* kZeroTooLarge =
    "error: larger than the input limit of 268,435,456 bytes (--max-input changes it)\n";

INSTANTIATE_TEST_SUITE_P(
    Files, ToolInputTest,
    ::testing::Values(
        Unreadable{"dump missing.bc",
                   "bcode: missing.bc: error: cannot open: No such file or "
                   "directory\n"},
        Unreadable{"stats folder.bc", "bcode: folder.bc: error: cannot read: Is a directory\n"},
        Unreadable{"list --type-names missing.bc example.bc",
                   "bcode: missing.bc: error: cannot open: No such file or directory\n"},
        Unreadable{"check --max-input 1k example.bc",
                   "bcode: example.bc: error: larger than the input limit of 1,024 bytes "
                   "(--max-input changes it)\n"},
        Unreadable{"check /dev/zero", "bcode: /dev/zero: " + std::string(kZeroTooLarge)},
        Unreadable{"list - < /dev/zero", "bcode: <stdin>: " + std::string(kZeroTooLarge)},
        Unreadable{"list --type-names /dev/zero example.bc",
                   "bcode: /dev/zero: " + std::string(kZeroTooLarge)},
        Unreadable{"list --max-input 100 --class-names /dev/zero example.bc",
                   "bcode: /dev/zero: error: larger than the input limit of 100 bytes "
                   "(--max-input changes it)\n"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// Output that cannot be written fails every subcommand that writes.
TEST_F(ToolTest, OutputThatCannotBeWrittenExitsWith1) {
  demoBytes();
  fs::create_directory(dir_ / "folder");
  for (const char* command : {"list", "dump", "stats", "layout", "check", "check --format json"}) {
    ToolRun full = run(std::string(command) + " example.bc > /dev/full");
    EXPECT_EQ(full.status, 1) << command;
    EXPECT_EQ(full.err, "bcode: <stdout>: error: cannot write: No space left on device\n")
        << command;
    ToolRun toFile = run(std::string(command) + " example.bc -o /dev/full");
    EXPECT_EQ(toFile.err, "bcode: /dev/full: error: cannot write: No space left on device\n");
  }
  for (const char* command : {"gen -o /dev/full", "demo -o /dev/full", "demo > /dev/full"}) {
    ToolRun full = run(command);
    EXPECT_EQ(full.status, 1) << command;
    EXPECT_NE(full.err.find(": error: cannot write: No space left on device\n"), std::string::npos)
        << command;
  }
  ToolRun folder = run("list example.bc -o folder");
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err, "bcode: folder: error: cannot open for writing: Is a directory\n");
}

// The text form through the tool: dis writes the canonical text, asm reads
// it back to the record's bytes, diff compares two blocks by their texts,
// and every reader takes a text where it takes a record.
class ToolTextTest : public ToolTest {
 protected:
  // The demo's record as example.bc and its text as demo.bct.
  std::string demoText() {
    demoBytes();
    ToolRun dis = run("dis example.bc -o demo.bct");
    EXPECT_EQ(dis.status, 0) << dis.err;
    return readFile(dir_ / "demo.bct");
  }

  // The demo's text with `from` replaced by `to` exactly once, as `file`.
  void writeEdited(const std::string& file, const std::string& from, const std::string& to) {
    const std::string text = demoText();
    ASSERT_EQ(text.find(from), text.rfind(from)) << from;
    ASSERT_NE(text.find(from), std::string::npos) << from;
    writeFile(dir_ / file, replaceAll(text, from, to));
  }
};

TEST_F(ToolTextTest, DisWritesTheGoldenTextThatAsmReadsBackToTheSameBytes) {
  const std::string text = demoText();
  const std::string bytes = readFile(dir_ / "example.bc");
  EXPECT_EQ(text, readFile(fs::path(BCODE_TEXT_DATA_DIR) / "demo.bct"));
  EXPECT_EQ(run("dis -", bytes).out, text);
  EXPECT_EQ(run("dis demo.bct").out, text);  // a text's own canonical text
  ToolRun assembled = run("asm demo.bct -o again.bc");
  EXPECT_EQ(assembled.status, 0) << assembled.err;
  EXPECT_EQ(assembled.out + assembled.err, "");
  EXPECT_TRUE(readFile(dir_ / "again.bc") == bytes);

  for (const char* seed : {"1", "2", "77"}) {
    ASSERT_EQ(run(std::string("gen --instructions 700 -o g.bc --seed ") + seed).status, 0);
    ASSERT_EQ(run("dis g.bc -o g.bct").status, 0) << seed;
    ToolRun again = run("asm g.bct > g2.bc");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(readFile(dir_ / "g2.bc") == readFile(dir_ / "g.bc")) << seed;
    EXPECT_EQ(run("dis g2.bc").out, readFile(dir_ / "g.bct")) << seed;
  }

  // Mnemonics name the codes in both directions; a text that uses them
  // needs them to be read.
  std::string mnemonics;
  for (int i = 0; i < 57; ++i) mnemonics += "OP" + std::to_string(i) + "\n";
  writeFile(dir_ / "m", mnemonics);
  ASSERT_EQ(run("dis --mnemonics m example.bc -o m.bct").status, 0);
  const std::string named = readFile(dir_ / "m.bct");
  EXPECT_NE(named.find("\n    1 OP12 -, NUM 1\n"), std::string::npos) << named;
  EXPECT_EQ(named.find("IC136"), std::string::npos);
  ToolRun unnamed = run("asm m.bct -o m.bc");
  EXPECT_EQ(unnamed.status, 1);
  EXPECT_EQ(unnamed.err.rfind("m.bct:99:7: error: unknown instruction code 'OP12'", 0), 0u)
      << unnamed.err;
  ASSERT_EQ(run("asm --mnemonics m m.bct -o m.bc").status, 0);
  EXPECT_TRUE(readFile(dir_ / "m.bc") == bytes);
  EXPECT_EQ(run("list --mnemonics m m.bct").out, run("list --mnemonics m example.bc").out);
}

TEST_F(ToolTextTest, AsmReportsEveryErrorOfATextAndWritesNoFile) {
  std::string text = demoText();
  text = replaceAll(text, " start : 1 IN ", " start : 1 INN ");
  text = replaceAll(text, "DINT -100000\n", "DINT 99999999999\n");
  writeFile(dir_ / "bad.bct", text);
  writeFile(dir_ / "kept.bc", "kept");
  for (const char* output : {"bad.bc", "kept.bc"}) {
    ToolRun bad = run(std::string("asm bad.bct -o ") + output);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err,
              "bad.bct:17:17: error: unknown parameter kind 'INN' (did you mean 'IN'?)\n"
              "    1 start : 1 INN                      ; BOOL\n"
              "                ^\n"
              "bad.bct:52:12: error: DINT value 99999999999 is out of range (-2147483648 to "
              "2147483647)\n"
              "    2 DINT 99999999999\n"
              "           ^\n");
  }
  EXPECT_FALSE(fs::exists(dir_ / "bad.bc"));
  EXPECT_EQ(readFile(dir_ / "kept.bc"), "kept");

  std::string many = "block FB 1\nLDD list\n";
  for (int i = 0; i < 25; ++i) many += "v" + std::to_string(i) + " : 999\n";
  writeFile(dir_ / "many.bct", many);
  ToolRun tooMany = run("asm many.bct -o many.bc");
  EXPECT_EQ(tooMany.status, 1);
  const std::vector<std::string> reported = lines(tooMany.err);
  ASSERT_EQ(reported.size(), 60u);  // 20 errors of three lines each
  EXPECT_EQ(reported[57].rfind("many.bct:22:", 0), 0u) << reported[57];
  EXPECT_FALSE(fs::exists(dir_ / "many.bc"));

  ToolRun record = run("asm example.bc -o r.bc");
  EXPECT_EQ(record.status, 1);
  EXPECT_EQ(record.err,
            "bcode: example.bc: error: not a block text: a text begins with the keyword 'block' "
            "(after blanks and comments)\n");
  EXPECT_FALSE(fs::exists(dir_ / "r.bc"));
}

TEST_F(ToolTextTest, DiffShowsTheChangesUnderTheirSection) {
  demoText();
  ToolRun same = run("diff example.bc demo.bct");
  EXPECT_EQ(same.status, 0);
  EXPECT_EQ(same.out + same.err, "");

  // A constant edited (its users' comments follow), one added, the block
  // renumbered: hunks at the start, in the constants and in the instructions.
  std::string text = readFile(dir_ / "demo.bct");
  text = replaceAll(text, "block FB 7\n", "block FB 8\n");
  text = replaceAll(text, "    2 DINT -100000\n", "    2 DINT -100001\n");
  text = replaceAll(text, "    9 STRING 'hello'\n", "    9 STRING 'hello'\n   10 DINT 5\n");
  writeFile(dir_ / "edited.bct", text);
  ToolRun changed = run("diff example.bc edited.bct");
  EXPECT_EQ(changed.status, 1);
  EXPECT_EQ(changed.err, "");
  const std::vector<std::string> diff = lines(changed.out);
  std::vector<std::string> headers;
  for (const std::string& line : diff) {
    if (line.rfind("@@", 0) == 0) headers.push_back(line);
  }
  EXPECT_EQ(headers,
            (std::vector<std::string>{"@@ -1,4 +1,4 @@", "@@ -49,7 +49,7 @@ constant table",
                                      "@@ -57,6 +57,7 @@ constant table",
                                      "@@ -101,7 +102,7 @@ instruction list"}));
  ASSERT_GE(diff.size(), 2u);
  EXPECT_EQ(diff[0], "--- example.bc");
  EXPECT_EQ(diff[1], "+++ edited.bct");
  EXPECT_NE(changed.out.find("\n-    2 DINT -100000\n+    2 DINT -100001\n"), std::string::npos);
  EXPECT_NE(changed.out.find("\n     9 STRING 'hello'\n+   10 DINT 5\n \n operand table\n"),
            std::string::npos)
      << changed.out;

  // The hunks are those of the system's diff of the two canonical texts.
  ASSERT_EQ(run("dis edited.bct -o canonical.bct").status, 0);
  const std::string command =
      "cd '" + dir_.string() + "' && diff -u demo.bct canonical.bct | tail -n +3 > system.diff";
  if (std::system(command.c_str()) != -1 && fs::file_size(dir_ / "system.diff") > 0) {
    std::string ours;
    for (std::size_t i = 2; i < diff.size(); ++i) {
      const bool header = diff[i].rfind("@@", 0) == 0;
      ours += (header ? diff[i].substr(0, diff[i].find(" @@") + 3) : diff[i]) + "\n";
    }
    EXPECT_EQ(ours, readFile(dir_ / "system.diff"));
  }

  // Errors: exit 2, whatever the file.
  writeFile(dir_ / "bad.bct", "block FB 7\nLDD list\n    1 x : 999\n");
  const std::pair<const char*, const char*> errors[] = {
      {"diff example.bc missing.bct",
       "bcode: missing.bct: error: cannot open: No such file or directory\n"},
      {"diff bad.bct example.bc",
       "bad.bct:3:11: error: type 999 does not exist: the type table is empty (write 999? to "
       "keep a reference that does not resolve)\n    1 x : 999\n          ^\n"},
      {"diff example.bc edited.bct > /dev/full",
       "bcode: <stdout>: error: cannot write: No space left on device\n"},
  };
  for (const auto& [args, message] : errors) {
    ToolRun failed = run(args);
    EXPECT_EQ(failed.status, 2) << args;
    EXPECT_EQ(failed.err, message) << args;
  }
}

TEST_F(ToolTextTest, ReadersTakeATextAsTheRecordItAssemblesTo) {
  demoText();
  for (const char* command : {"list", "dump", "stats", "layout", "stats --format json",
                              "layout --format json", "check --format json"}) {
    ToolRun ofText = run(std::string(command) + " demo.bct");
    EXPECT_EQ(ofText.status, 0) << command << ofText.err;
    EXPECT_EQ(replaceAll(ofText.out, "demo.bct", "example.bc"),
              run(std::string(command) + " example.bc").out)
        << command;
  }
  EXPECT_EQ(run("check demo.bct").out, "demo.bct: ok (FB 7, 25 instructions)\n");

  // What is wrong in a text is told at its line; what is wrong with the
  // block it makes, without the offsets of a record that is no file.
  writeEdited("bad.bct", " start : 1 IN ", " start : 1 INN ");
  writeEdited("refs.bct", "OPD 18 ", "OPD 99? ");
  for (const char* command : {"list", "dump", "stats", "layout", "check"}) {
    ToolRun bad = run(std::string(command) + " bad.bct");
    EXPECT_EQ(bad.status, 1) << command;
    EXPECT_EQ(bad.out, "") << command;
    EXPECT_EQ(bad.err.rfind("bad.bct:17:17: error: unknown parameter kind 'INN'", 0), 0u)
        << command << bad.err;
  }
  ToolRun refs = run("check refs.bct");
  EXPECT_EQ(refs.status, 1);
  EXPECT_EQ(refs.err,
            "bcode: refs.bct: error: instruction list: instruction 2 q1: operand 99 does not "
            "resolve\n");
  const Json report = json("check --format json bad.bct")["files"][0]["problems"][0];
  EXPECT_EQ(report["line"], 17);
  EXPECT_EQ(report["column"], 17);
  EXPECT_EQ(report["offset"], nullptr);
}

TEST_F(ToolTextTest, TextSubcommandsHaveHelpAndFailOnOutputThatCannotBeWritten) {
  demoText();
  for (const char* command : {"dis", "asm", "diff"}) {
    ToolRun help = run(std::string(command) + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find(std::string("Usage: bcode ") + command), std::string::npos);
    EXPECT_NE(help.out.find("first word"), std::string::npos) << command;
  }
  EXPECT_NE(run("--help").out.find("  diff "), std::string::npos);
  for (const char* command : {"dis example.bc", "asm demo.bct"}) {
    ToolRun full = run(std::string(command) + " -o /dev/full");
    EXPECT_EQ(full.status, 1) << command;
    EXPECT_EQ(full.err, "bcode: /dev/full: error: cannot write: No space left on device\n");
  }
  ToolRun two = run("dis example.bc demo.bct");
  EXPECT_EQ(two.status, 2);
}

}  // namespace
