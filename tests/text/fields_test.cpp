// The fields of a block, as the walk that writes its text hands them out:
// a tree that closes what it opens, every slot of every table, the values
// the text leaves out because they follow from others, numbers where an
// enumeration has no word, and null where a reference names nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bcode/text/bcfields.h"
#include "bcode/text/bctext.h"
#include "tools/support/blockfile.h"

namespace {

namespace fs = std::filesystem;

// Every value under its path ("/sections/1/entries/0/name"), lists counted
// from 0; and whether the tree was well formed.
class PathSink : public BCFieldSink {
 public:
  std::map<std::string, std::string> values;
  std::vector<std::string> faults;
  int roots = 0;

  bool closed() const { return open_.empty(); }

  void beginObject(std::string_view key) override { open(key, false); }
  void endObject() override { close(false); }
  void beginList(std::string_view key) override { open(key, true); }
  void endList() override { close(true); }
  void integer(std::string_view key, std::int64_t value) override {
    put(key, std::to_string(value));
  }
  void real(std::string_view key, double value) override {
    put(key, "real " + std::to_string(value));
  }
  void text(std::string_view key, std::string_view bytes) override {
    put(key, "'" + std::string(bytes) + "'");
  }
  void boolean(std::string_view key, bool value) override { put(key, value ? "true" : "false"); }
  void none(std::string_view key) override { put(key, "null"); }

 private:
  struct Open {
    std::string path;
    bool list;
    int items = 0;
  };

  std::string pathOf(std::string_view key) {
    if (open_.empty()) {
      if (!key.empty()) faults.push_back("the root has a key");
      return "";
    }
    Open& into = open_.back();
    if (into.list != key.empty())
      faults.push_back("key '" + std::string(key) + "' in " + into.path);
    return into.path + "/" + (into.list ? std::to_string(into.items++) : std::string(key));
  }

  void put(std::string_view key, std::string value) {
    if (open_.empty()) faults.push_back("a value outside the root");
    const std::string path = pathOf(key);
    if (!values.emplace(path, std::move(value)).second) faults.push_back("twice: " + path);
  }

  void open(std::string_view key, bool list) {
    if (open_.empty()) ++roots;
    open_.push_back({pathOf(key), list});
  }

  void close(bool list) {
    if (open_.empty() || open_.back().list != list) {
      faults.push_back("a close that matches no open");
      return;
    }
    open_.pop_back();
  }

  std::vector<Open> open_;
};

std::unique_ptr<BCode> readData(const char* name) {
  bctool::ByteBuffer text;
  std::string message;
  EXPECT_TRUE(bctool::readInput((fs::path(BCODE_TEXT_DATA_DIR) / name).string(),
                                bctool::kDefaultMaxInput, text, message))
      << message;
  BCTextReading reading = bcReadText(text, name);
  for (const BCTextDiagnostic& d : reading.diagnostics) ADD_FAILURE() << bcFormatDiagnostic(d);
  return std::move(reading.block);
}

PathSink fieldsOf(const BCode& block) {
  PathSink sink;
  EXPECT_TRUE(bcWriteFields(sink, block));
  EXPECT_EQ(sink.faults, std::vector<std::string>());
  EXPECT_TRUE(sink.closed());
  EXPECT_EQ(sink.roots, 1);
  return sink;
}

// The path of a field of entry `n` (from 1) of a section.
std::string at(int section, int n, const std::string& field) {
  return "/sections/" + std::to_string(section) + "/entries/" + std::to_string(n - 1) + "/" + field;
}

constexpr int kTypes = 0, kInterfaces = 1, kLdd = 2, kConstants = 4, kOperands = 5,
              kInstructions = 6;

TEST(Fields, GiveWhatTheTextLeavesOutAndNullWhereAReferenceNamesNothing) {
  std::unique_ptr<BCode> block = readData("values.bct");
  ASSERT_NE(block, nullptr);
  const PathSink fields = fieldsOf(*block);
  auto field = [&](const std::string& path) {
    const auto found = fields.values.find(path);
    return found != fields.values.end() ? found->second : "(no " + path + ")";
  };
  EXPECT_EQ(field("/block/kind"), "'FB'");
  EXPECT_EQ(field("/sections/3/name"), "'LSD list'");
  // The elementary types the text folds into one line, each in its slot.
  EXPECT_EQ(field(at(kTypes, 1, "data_type")), "'BOOL'");
  EXPECT_EQ(field(at(kTypes, 23, "summary")), "'ELEM31'");
  EXPECT_EQ(field(at(kTypes, 24, "class")), "'EMPTY'");
  EXPECT_EQ(field(at(kTypes, 31, "instance_of/found")), "false");
  EXPECT_EQ(field(at(kTypes, 37, "data_type")), "255");
  EXPECT_EQ(field(at(kTypes, 28, "components/0/name")), "'odd name '$\n\xff'");
  EXPECT_EQ(field(at(kTypes, 28, "components/2/type/type")), "'STRUCT'");
  // An offset the layout gives (left out of the text) and one given by hand.
  EXPECT_EQ(field("/sections/1/entries/0/entries/1/offset"), "16");
  EXPECT_EQ(field("/sections/1/entries/1/entries/1/offset"), "77");
  EXPECT_EQ(field("/sections/1/entries/0/entries/2/type/type"), "null");
  EXPECT_EQ(field("/sections/1/entries/0/entries/2/parameter_kind"), "7");
  EXPECT_EQ(field("/sections/1/entries/2/entries/0/offset"), "null");  // FC
  EXPECT_EQ(field("/sections/1/entries/4/kind"), "9");
  EXPECT_EQ(field(at(kInterfaces, 1, "entries/4/view/name")), "'total'");
  EXPECT_EQ(field(at(kLdd, 4, "type/type")), "null");
  // Values exactly, with the text's literal beside them.
  EXPECT_EQ(field(at(kConstants, 3, "value")), "-2147483648");
  EXPECT_EQ(field(at(kConstants, 6, "value")), "null");
  EXPECT_EQ(field(at(kConstants, 6, "bits")), std::to_string(0x7fc00001));
  EXPECT_EQ(field(at(kConstants, 5, "bits")), std::to_string(0x80000000U));
  EXPECT_EQ(field(at(kConstants, 15, "value")), std::to_string(596 * 3600000 + 31 * 60000 + 23647));
  EXPECT_EQ(field(at(kConstants, 18, "value/time_of_day")), "-3600000");
  EXPECT_EQ(field(at(kConstants, 20, "value")), "'it's $5 \n\xff\x01'");
  EXPECT_EQ(field(at(kConstants, 20, "literal")), "''it$'s $$5 $0A$FF$01''");
  EXPECT_EQ(field(at(kConstants, 21, "class")), "'EMPTY'");
  // References, resolved or not.
  EXPECT_EQ(field(at(kOperands, 19, "offset")), "99");
  EXPECT_EQ(field(at(kOperands, 19, "entry/name")), "'start'");
  EXPECT_EQ(field(at(kOperands, 20, "entry/parameter")), "9");
  EXPECT_EQ(field(at(kOperands, 20, "entry/name")), "null");
  EXPECT_EQ(field(at(kOperands, 24, "block")), "13");
  EXPECT_EQ(field(at(kOperands, 27, "block")), "0");
  EXPECT_EQ(field(at(kOperands, 31, "block_kind")), "'FB'");
  EXPECT_EQ(field(at(kOperands, 34, "variable/name")), "'lost'");
  EXPECT_EQ(field(at(kOperands, 34, "variable/type/type")), "null");
  EXPECT_EQ(field(at(kOperands, 35, "variable/name")), "null");
  EXPECT_EQ(field(at(kOperands, 36, "offset")), "8");
  EXPECT_EQ(field(at(kOperands, 36, "type/index")), "5");
  EXPECT_EQ(field(at(kInstructions, 1, "operands/0")), "null");
  EXPECT_EQ(field(at(kInstructions, 1, "operands/2")), "null");
  EXPECT_EQ(field(at(kInstructions, 4, "operands/0/status")), "5");
  EXPECT_EQ(field(at(kInstructions, 4, "operands/0/refr")), "7");
  EXPECT_EQ(field(at(kInstructions, 5, "operands/0/refr")), "'REFR'");
  EXPECT_EQ(field(at(kInstructions, 5, "operands/0/operand/summary")), "'index : INT'");
  EXPECT_EQ(field(at(kInstructions, 6, "operands/1/operand/class")), "null");
  EXPECT_EQ(field(at(kInstructions, 6, "operands/2/constant/literal")), "null");
  EXPECT_EQ(field(at(kInstructions, 7, "operands/1/constant/literal")), "'0xffffffff'");
  EXPECT_EQ(field(at(kInstructions, 8, "operands/2/value")), "'''");
}

}  // namespace
