// Dumps and listing lines of types.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>

#include "tests/support/example_block.h"
#include "tests/support/test_util.h"

namespace {

using bctest::columns;

// The line of a structure's component of a type named `type`, index `index`.
std::string componentLine(const char* name, const char* type, const char* index) {
  return columns(
      {{0, "-"}, {2, name}, {22, "0"}, {28, " -"}, {35, type}, {44, " -         -"}, {75, index}});
}

class TypeListing : public bctest::ExampleBlock {
 protected:
  std::string dump(std::uint16_t index, int indent = 0) {
    std::ostringstream os;
    at(index).printOn(os, indent);
    return os.str();
  }
  std::string listing(std::uint16_t index, int level) {
    std::ostringstream os;
    at(index).printOn(os, level, nullptr, line, typeNames.get());
    EXPECT_TRUE(lineIsClear());
    return os.str();
  }
};

TEST_F(TypeListing, Dumps) {
  const std::uint16_t global = add(new KRElemDesc(5));
  at(global).setGlobal(12);
  const std::uint16_t arrayIndex = array(elem(5), {{1, 2}});
  struct Case {
    std::uint16_t index;
    int indent;
    std::string text;
  };
  for (const Case& c : {
           Case{elem(1), 0, "ElemType:   1  storageLen=1\n"},
           Case{global, 0, "ElemType:   5        GDT    12  storageLen=16\n"},
           Case{array(elem(1), {{1, 3}}), 0,
                "ARRAY[1..3] OF  storageLen=16 (8)\n  ElemType:   1  storageLen=1\n"},
           Case{array(elem(5), {{-1, 5}, {0, 2}}), 1,
                " ARRAY[-1..5,0..2] OF  storageLen=336 (336)\n   ElemType:   5  storageLen=16\n"},
           Case{string(10), 0, "STRING [10]  storageLen=96\n"},
           Case{structure({elem(1), arrayIndex}), 2,
                "  STRUCT  storageLen=48\n"
                "        0  c1      ElemType:   1  storageLen=1\n"
                "       16  c2      ARRAY[1..2] OF  storageLen=32 (32)\n"
                "        ElemType:   5  storageLen=16\n"},
           Case{structure({elem(5), 0}), 0,
                "STRUCT  storageLen=1\n      0  c1    ElemType:   5  storageLen=16\n"
                "      0  c2*** Error: illegal typeRef !\n"},
           Case{array(0, {{1, 2}}), 0,
                "ARRAY[1..2] OF  storageLen=16 (1)\n"
                "*** Error: illegal typeRef !\n"},
       }) {
    EXPECT_EQ(dump(c.index, c.indent), c.text);
  }
}

TEST_F(TypeListing, ElementaryLines) {
  const std::uint16_t global = add(new KRElemDesc(5));
  at(global).setGlobal(12);
  struct Case {
    std::uint16_t index;
    int level;
    std::string text;
  };
  const std::string boolLine = columns({{31, " -"}, {38, "T1"}, {47, " -"}, {58, "-"}, {75, "-"}});
  for (const Case& c : {
           Case{elem(1), 0, boolLine},
           Case{elem(1), 5, boolLine + "\n"},
           Case{elem(1), 6,
                columns({{0, "-"}, {31, " -"}, {38, "T1"}, {47, " -"}, {58, "-"}, {75, "-"}})},
           Case{global, 0, columns({{31, " 12"}, {38, "T5"}, {47, " -"}, {58, "-"}, {75, "-"}})},
           Case{add(new KRElemDesc(254)), 0,
                columns({{31, " -"}, {38, "T30"}, {47, " -"}, {58, "-"}, {75, "-"}})},
           Case{add(new KRElemDesc(40)), 5,
                columns({{31, " -"}, {38, "T0"}, {47, " -"}, {58, "-"}, {75, "-"}}) +
                    "#*** ERROR: falscher Datentyp: 40 !\n\n"},
       }) {
    EXPECT_EQ(listing(c.index, c.level), c.text) << c.index;
  }
}

TEST_F(TypeListing, StringArrayAndStructureLines) {
  EXPECT_EQ(listing(string(10), 0),
            columns({{31, " -"}, {38, "STRING"}, {47, " 10"}, {57, " -"}, {75, "-"}}));
  EXPECT_EQ(listing(array(elem(1), {{1, 3}}), 0),
            columns({{31, " -"}, {38, "ARRAY"}, {47, " 16"}, {57, " [1..3]OF"}, {75, "1"}}));
  EXPECT_EQ(listing(array(elem(5), {{1, 2}, {0, 9}}), 0),
            columns({{31, " -"}, {38, "ARRAY"}, {47, " 320"}, {57, " [1..2]"}, {75, "-"}}) +
                columns({{0, "-    -                   -      -     -         -"},
                         {38, "T5"},
                         {57, " [0..9]OF"},
                         {75, "5"}}));
  EXPECT_EQ(listing(array(0, {{1, 2}, {3, 4}}), 0).substr(77 + 38, 3), "???");
  EXPECT_EQ(listing(array(elem(5), {}), 5), "");
  EXPECT_EQ(listing(structure({elem(1), elem(5), 0}), 2),
            columns({{32, "-"}, {38, "STRUCT"}, {47, " 1"}, {58, "3"}, {75, "-"}}) +
                componentLine("c1", "T1", "1") + componentLine("c2", "T5", "5") +
                componentLine("c3", "???", "0"));
}

TEST_F(TypeListing, ColumnsOutsideTheLineAreDropped) {
  const std::uint16_t s = structure({elem(1)});
  for (int level : {-5, 150, 100000}) EXPECT_FALSE(listing(s, level).empty());
  std::ostringstream os;
  const std::string huge(400, 'x');
  const char* const hugeNames[256] = {huge.c_str(), huge.c_str()};
  at(elem(1)).printOn(os, 0, nullptr, line, hugeNames);
  EXPECT_TRUE(lineIsClear());
  EXPECT_EQ(os.str().size(), 77U);
}

TEST_F(TypeListing, InstanceDumpsAndLines) {
  BCSSBList& list = block.getSSBList();
  BCSSB* ssb = list.newSSB(7, KR_FB_KENN);
  ssb->add(new BCFBEntry(KRString("a"), ref(elem(5)), BCSSBEntry::BC_PARAM_IN));
  const std::uint16_t fb = add(new KRInstanceDesc(7, KR_FB_KENN, &list));
  EXPECT_EQ(dump(fb, 1), " InstanzTyp v. BlockKind:   2  , BlockNo = 7\n  storageLen=16\n");
  EXPECT_EQ(listing(fb, 0),
            columns({{32, "-"}, {38, "INSTANCE"}, {47, " 16"}, {58, "1"}, {70, "FB7"}}));
  at(fb).setGlobal(3);
  EXPECT_EQ(listing(fb, 0),
            columns({{32, "3"}, {38, "INSTANCE"}, {47, " 16"}, {58, "1"}, {70, "FB7"}}));
  list.newSSB(7, KR_SFB_KENN);
  EXPECT_EQ(listing(add(new KRInstanceDesc(7, KR_SFB_KENN, &list)), 0),
            columns({{32, "-"}, {38, "INSTANCE"}, {47, " 0"}, {58, "0"}, {70, "SFB7"}}));
  EXPECT_EQ(listing(add(new KRInstanceDesc(7, KR_DB_KENN, &list)), 0),
            columns({{32, "-"}, {38, "INSTANCE"}, {47, " 0"}, {58, "0"}, {70, "???"}}));

  const std::uint16_t orphan = add(new KRInstanceDesc(9, KR_SFB_KENN, nullptr));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(dump(orphan), "InstanzTyp v. BlockKind:   3  , BlockNo = 9\n");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "*** error: illegal SSB reference \n");
}

TEST_F(TypeListing, DumpsWriteEachStructureAndArrayOnce) {
  const std::uint16_t self = structure({elem(1), tab.getCount()});
  const std::string selfDump = dump(self);
  EXPECT_NE(selfDump.find("  c2*** Error: illegal typeRef !\n"), std::string::npos) << selfDump;
  const std::uint16_t selfArray = array(tab.getCount(), {{1, 3}});
  EXPECT_NE(dump(selfArray).find(")\n*** Error: illegal typeRef !\n"), std::string::npos);

  const std::uint16_t pair = structure({elem(5), elem(5)});
  const std::uint16_t shared = structure({pair, pair});
  const std::uint16_t row = array(pair, {{1, 2}});
  const std::string sharedDump =
      "STRUCT  storageLen=64\n"
      "      0  c1    STRUCT  storageLen=32\n"
      "          0  c1        ElemType:   5  storageLen=16\n"
      "         16  c2        ElemType:   5  storageLen=16\n"
      "     32  c2    STRUCT (type " +
      std::to_string(pair) + ", dumped above)\n";
  EXPECT_EQ(dump(shared), sharedDump);
  EXPECT_EQ(dump(shared), sharedDump);  // each call is a dump of its own
  {
    const KRTypePrintScope onePrint(tab);
    EXPECT_EQ(dump(shared), sharedDump);
    EXPECT_EQ(dump(shared, 2), "  STRUCT (type " + std::to_string(shared) + ", dumped above)\n");
    EXPECT_EQ(dump(row), "ARRAY[1..2] OF  storageLen=64 (64)\n  STRUCT (type " +
                             std::to_string(pair) + ", dumped above)\n");
  }

  // Past 64 blanks a line shows its indentation in brackets instead.
  std::uint16_t deep = elem(5);
  for (int i = 0; i < 40; ++i) deep = structure({deep});
  const std::string deepDump = dump(deep);
  EXPECT_NE(deepDump.find(std::string(64, ' ') + "[158]     0  c1" + std::string(64, ' ') +
                          "[160] ElemType:   5  storageLen=16\n"),
            std::string::npos)
      << deepDump;
}

}  // namespace
