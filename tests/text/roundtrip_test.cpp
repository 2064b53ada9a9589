// The text form says everything a record says: a block written as text and
// read back saves to the same bytes, and writing it again gives the same
// text. Checked on the demo block (against its golden text), every record of
// the fuzz corpus that loads, generated blocks and the fixtures in data/.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "bcode/bcode.h"
#include "bcode/text/bctext.h"
#include "fuzz/textcheck.h"
#include "tests/support/test_util.h"
#include "tools/support/blockfile.h"
#include "tools/support/blockgen.h"
#include "tools/support/blockreading.h"
#include "tools/support/demoblock.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  bctool::ByteBuffer bytes;
  std::string message;
  EXPECT_TRUE(bctool::readInput(path.string(), bctool::kDefaultMaxInput, bytes, message))
      << message;
  return std::string(bytes.view());
}

std::string dataFile(const char* name) {
  return readFile(fs::path(BCODE_TEXT_DATA_DIR) / name);
}

// The text without the comment lines that open it.
std::string withoutLeadingComments(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ';') at = text.find('\n', at) + 1;
  return text.substr(at);
}

std::unique_ptr<BCode> read(const std::string& text, const char* const* mnemonics = nullptr) {
  BCTextReading reading = bcReadText(text, "test.bct", mnemonics);
  for (const BCTextDiagnostic& d : reading.diagnostics) ADD_FAILURE() << bcFormatDiagnostic(d);
  return std::move(reading.block);
}

// asm(dis(b)) saves to the bytes of b, and dis(asm(dis(b))) == dis(b).
void expectRoundTrip(const BCode& block, const char* const* mnemonics = nullptr) {
  const std::string record = bcfuzz::saveBlock(block);
  ASSERT_FALSE(record.empty());
  const std::string text = bcToText(block, mnemonics);
  const std::unique_ptr<BCode> again = read(text, mnemonics);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(bcfuzz::saveBlock(*again) == record) << text;
  EXPECT_EQ(bcToText(*again, mnemonics), text);
}

TEST(TextRoundTrip, DemoBlockIsItsGoldenText) {
  bcInitBCode();
  const std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(bcToText(*block), dataFile("demo.bct"));
  expectRoundTrip(*block);
}

// Writing and reading set the caller's flags aside: one set before stays
// set, and does not make them fail.
TEST(TextRoundTrip, LeavesTheErrorFlagsAsTheyWere) {
  bcInitBCode();
  const std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  ASSERT_NE(block, nullptr);
  KRRefTable<KRTypedesc*>::error = KRREFTABLE_SAVE_FAILED;
  const std::string text = bcToText(*block);
  const BCTextReading reading = bcReadText(text, "demo.bct");
  const KRRefTableErrors flag = KRRefTable<KRTypedesc*>::error;
  bcInitBCode();
  EXPECT_EQ(flag, KRREFTABLE_SAVE_FAILED);
  EXPECT_EQ(text, dataFile("demo.bct"));
  EXPECT_NE(reading.block, nullptr);
}

TEST(TextRoundTrip, InstructionCodesByTheMnemonicsGiven) {
  bcInitBCode();
  const std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  ASSERT_NE(block, nullptr);
  bctest::NameTable mnemonics("M", kBCMnemonicCount);
  const std::string text = bcToText(*block, mnemonics.get());
  // IC136 has column 12; IC193 has none and keeps its code.
  EXPECT_NE(text.find("    1 M12 -, NUM 1\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("IC136"), std::string::npos);
  expectRoundTrip(*block, mnemonics.get());

  // Without the table the mnemonics are unknown; IC<code> is read either way.
  const BCTextReading plain = bcReadText(text, "m.bct");
  ASSERT_FALSE(plain.diagnostics.empty());
  EXPECT_EQ(plain.diagnostics[0].message.rfind("unknown instruction code 'M12'", 0), 0u);
  EXPECT_NE(read(bcToText(*block), mnemonics.get()), nullptr);
}

TEST(TextRoundTrip, EveryCorpusRecordThatLoads) {
  int loaded = 0;
  for (const auto& entry :
       fs::directory_iterator(fs::path(BCODE_FUZZ_CORPUS_DIR) / "fuzz_block_load")) {
    SCOPED_TRACE(entry.path().string());
    const std::string bytes = readFile(entry.path());
    // As the tool reads a record: views declared where offsets repeat.
    const bctool::BlockReading reading = bctool::readBlock(bytes);
    if (!reading.ok()) continue;
    ++loaded;
    bcInitBCode();
    expectRoundTrip(*reading.block);
  }
  EXPECT_GE(loaded, 4);
}

// What the fuzz target checks, over the inputs it starts from and found.
TEST(TextRoundTrip, EveryTextOfTheFuzzCorpus) {
  for (const auto& entry :
       fs::directory_iterator(fs::path(BCODE_FUZZ_CORPUS_DIR) / "fuzz_text_parse")) {
    EXPECT_EQ(bcfuzz::checkText(readFile(entry.path())), "") << entry.path();
  }
}

// Blocks of one size from the generator's seeds 0 to seeds - 1.
struct Generated {
  std::uint32_t size;
  std::uint64_t seeds;
};

class GeneratedTextTest : public ::testing::TestWithParam<Generated> {};

// Each block as generated (with views), and as BCode::iload gives it back
// from its record (without them, laid out anew).
TEST_P(GeneratedTextTest, RoundTripsAtEverySeed) {
  for (std::uint64_t seed = 0; seed < GetParam().seeds && !HasFailure(); ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    bcInitBCode();
    const bctool::GeneratedBlock generated = bctool::generateBlock(GetParam().size, seed);
    ASSERT_NE(generated.block, nullptr);
    expectRoundTrip(*generated.block);
    std::istringstream record(bcfuzz::saveBlock(*generated.block));
    const std::unique_ptr<BCode> loaded(BCode::iload(record));
    ASSERT_NE(loaded, nullptr);
    expectRoundTrip(*loaded);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, GeneratedTextTest,
                         ::testing::Values(Generated{64, 200}, Generated{1000, 200},
                                           Generated{5000, 4}),
                         [](const ::testing::TestParamInfo<Generated>& info) {
                           return std::to_string(info.param.size) + "_instructions";
                         });

TEST(TextRoundTrip, FixtureIsCanonicalAndHandWritingReadsAsIt) {
  const std::string canonical = withoutLeadingComments(dataFile("values.bct"));
  const std::unique_ptr<BCode> block = read(canonical);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(bcToText(*block), canonical);
  expectRoundTrip(*block);

  const std::unique_ptr<BCode> handWritten = read(dataFile("handwritten.bct"));
  ASSERT_NE(handWritten, nullptr);
  EXPECT_EQ(bcToText(*handWritten), canonical);
}

// The values reach the record exactly, not only back to the same text.
TEST(TextRoundTrip, ConstantsReachTheRecordBitForBit) {
  const std::unique_ptr<BCode> block = read(withoutLeadingComments(dataFile("values.bct")));
  ASSERT_NE(block, nullptr);
  const struct {
    std::uint32_t index;
    const char* record;
  } cases[] = {
      {3, "01 00 00 00 80"},                           // DINT -2147483648
      {5, "02 00 00 00 80"},                           // REAL -0
      {6, "02 01 00 C0 7F"},                           // a NaN's payload
      {8, "02 01 00 00 00"},                           // the smallest denormal
      {11, "03 00 00 00 80"},                          // TIME, every part negative
      {17, "06 FF 0C FF FF"},                          // DATE 65535-12-255, day first
      {18, "07 01 01 C6 07 80 11 C9 FF"},              // DT with a negative time of day
      {20, "08 0B 69 74 27 73 20 24 35 20 0A FF 01"},  // escaped bytes
  };
  for (const auto& c : cases) {
    std::ostringstream os;
    block->getConstList().entryAt(c.index)->save(os);
    EXPECT_EQ(bctest::toHex(os.str()), bctest::toHex(bctest::fromHex(c.record))) << c.index;
  }
}

}  // namespace
