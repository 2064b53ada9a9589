// What reading a wrong text reports: each kind of error at its line and
// column in the user's words; reading goes on at the next line, stops at 20
// errors, and a text with any error gives no block.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "bcode/text/bctext.h"

namespace {

// The block line, the elementary types and one interface entry, under
// which each case adds its lines (from line 7 on).
constexpr const char* kHead =
    "block FB 7\n"
    "type table\n"
    "1 ELEMENTARY\n"
    "interface list\n"
    "interface FB 7\n"
    "start : 1 IN\n";

struct Case {
  const char* what;
  std::string text;
  std::uint32_t line;
  std::uint32_t column;
  const char* message;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.what;
}

class DiagnosticTest : public ::testing::TestWithParam<Case> {};

TEST_P(DiagnosticTest, NamesLineColumnAndCause) {
  const Case& c = GetParam();
  const BCTextReading reading = bcReadText(c.text, "case.bct");
  EXPECT_EQ(reading.block, nullptr);
  ASSERT_EQ(reading.diagnostics.size(), 1u);
  const BCTextDiagnostic& d = reading.diagnostics[0];
  EXPECT_EQ(d.file, "case.bct");
  EXPECT_EQ(d.line, c.line);
  EXPECT_EQ(d.column, c.column);
  EXPECT_EQ(d.message, c.message);
}

const std::string kHeadText = kHead;
const std::string kLongName(256, 'n');

INSTANTIATE_TEST_SUITE_P(
    Kinds, DiagnosticTest,
    ::testing::Values(
        Case{"syntax", kHeadText + "LDD list\nx : 1 VIEW\n", 8, 11,
             "expected an entry number, found the end of the line"},
        Case{"syntax in a literal", "block FB 7\ntype table\n24 STRING[20\n", 3, 13,
             "expected ']', found the end of the line"},
        Case{"unknown keyword", kHeadText + "operand table\nEE 1 : 1\n", 8, 1,
             "expected a section heading, 'EMPTY', an operand class or the end of the line, "
             "found 'EE' (did you mean 'E'?)"},
        Case{"unknown name", kHeadText + "interface FC 20\nx : 1 INN\n", 8, 7,
             "unknown parameter kind 'INN' (did you mean 'IN'?)"},
        Case{"unknown type", "block FB 7\ntype table\n1 STRNG[20]\n", 3, 3,
             "unknown type 'STRNG' (did you mean 'STRING'?)"},
        Case{"number out of range", "block FB 70000\n", 1, 10,
             "block number 70000 is out of range (0 to 65535)"},
        Case{"missing type", kHeadText + "LDD list\nx : 99\n", 8, 5,
             "type 99 does not exist: the type table ends at 23 (write 99? to keep a reference "
             "that does not resolve)"},
        Case{"missing constant",
             kHeadText + "constant table\nDINT 1\ninstruction list\nIC8 CST 2\n", 10, 9,
             "constant 2 does not exist: the constant table ends at 1 (write 2? to keep a "
             "reference that does not resolve)"},
        Case{"missing operand",
             kHeadText + "operand table\nT 1\nEMPTY\ninstruction list\nIC8 OPD 2\n", 11, 9,
             "operand 2 is an empty slot (write 2? to keep a reference that does not resolve)"},
        Case{"missing interface entry", kHeadText + "operand table\nFBEP FB 7.2\n", 8, 6,
             "the interface of FB 7 has no entry 2: it has 1 (write FB 7.2? to keep a reference "
             "that does not resolve)"},
        Case{"missing variable", kHeadText + "operand table\nLSD 1\n", 8, 5,
             "LSD variable 1 does not exist: the list has 0 (write 1? to keep a reference that "
             "does not resolve)"},
        Case{"duplicate index", kHeadText + "constant table\n2 DINT 5\n2 DINT 6\n", 9, 1,
             "duplicate index 2 (also at line 8)"},
        Case{"value does not fit", kHeadText + "instruction list\nIC8 IMM BYTE 300\n", 8, 14,
             "BYTE value 300 is out of range (0 to 255)"},
        Case{"duration does not fit", kHeadText + "constant table\nTIME T#30d\n", 8, 6,
             "the value does not fit in 32 bits of milliseconds (2592000000 ms)"},
        Case{"interface the record cannot hold", kHeadText + "interface OB 1\nx : 1 IN\n", 8, 1,
             "only the interfaces of FBs, SFBs, FCs and SFCs have entries in a record"},
        Case{"name the record cannot hold", kHeadText + "LDD list\n" + kLongName + " : 1\n", 8, 1,
             "a name holds at most 255 bytes in a record (this one has 256)"},
        Case{"string the record cuts", kHeadText + "constant table\nSTRING 'a$00b'\n", 8, 8,
             "a STRING constant cannot hold a zero byte (its record ends the text there)"},
        Case{"view of a later entry", kHeadText + "LDD list\nx : 1 VIEW 1\n", 8, 12,
             "a view names an earlier entry (this is entry 1)"},
        Case{"sections out of order", "block FB 7\noperand table\ntype table\n", 3, 1,
             "the type table comes before the operand table (the sections follow the order of "
             "the record)"},
        Case{"no block line", "type table\n", 1, 1,
             "the text starts with the block line, such as 'block FB 7'"}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name;
      for (const char* c = info.param.what; *c != '\0'; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) != 0 ? *c : '_';
      return name;
    });

TEST(TextDiagnostics, GoOnAtTheNextLineUpToTwenty) {
  std::string text = kHeadText + "LDD list\n";
  for (int i = 0; i < 3; ++i) text += "x : 99\ny : 1\n";
  BCTextReading reading = bcReadText(text, "t.bct");
  ASSERT_EQ(reading.diagnostics.size(), 3u);
  EXPECT_EQ(reading.diagnostics[1].line, 10u);
  EXPECT_EQ(reading.block, nullptr);

  for (int i = 0; i < 30; ++i) text += "x : 99\n";
  reading = bcReadText(text, "t.bct");
  EXPECT_EQ(reading.diagnostics.size(), kBCTextMaxErrors);
}

TEST(TextDiagnostics, FormatShowsTheLineAndACaretUnderTheColumn) {
  BCTextDiagnostic d;
  d.file = "f.bct";
  d.line = 3;
  d.column = 6;
  d.message = "expected ':', found '5'";
  d.sourceLine = "\tab 5";
  EXPECT_EQ(bcFormatDiagnostic(d), "f.bct:3:6: error: expected ':', found '5'\n\tab 5\n\t    ^\n");
}

TEST(TextDiagnostics, TextIsToldFromARecordByItsFirstWord) {
  EXPECT_TRUE(bcIsBlockText("; a comment\n\n  block FB 7\n"));
  EXPECT_FALSE(bcIsBlockText("blocks FB 7\n"));
  EXPECT_FALSE(bcIsBlockText(std::string("\x07\x00\x02", 3)));
}

}  // namespace
