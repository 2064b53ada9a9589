// Listing lines column by column, dumps and their standard-output messages.
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <vector>

#include "tests/support/example_block.h"
#include "tests/support/test_util.h"

namespace {

using Op = std::unique_ptr<BCOperand>;

using Columns = std::map<int, std::string>;

// The dashes of a line without a number, a parameter, a variable and a
// parameter number; `with(more)` puts texts at more columns.
const Columns kDashes = {{26, "-"}, {39, "-"}, {48, "-"}, {56, "-"}};
Columns with(Columns base, const Columns& more) {
  for (const auto& column : more) base[column.first] = column.second;
  return base;
}

// The line that texts at these columns give: blanks between, a line end.
std::string lineOf(const Columns& columns, int shift = 0) {
  std::string line;
  for (const auto& column : columns) {
    line.resize(static_cast<std::size_t>(column.first + shift), ' ');
    line += column.second;
  }
  return line + "\n";
}

Op fromRecord(const std::string& hex) {
  std::istringstream is(bctest::fromHex(hex));
  return Op(BCOperand::iload(is, nullptr));
}

class ListingTest : public bctest::FilledBlock {
 protected:
  // Lists `op` at `line + shift`; the buffer must be all zero afterwards.
  std::string list(const BCOperand& op, int shift = 0) {
    char line[160] = {};
    std::ostringstream os;
    op.printOn(os, line + shift, line, classNames.get(), typeNames.get());
    EXPECT_EQ(std::string(line, sizeof line), std::string(sizeof line, '\0'));
    return os.str();
  }

  std::string dump(const BCOperand& op, std::string* standardOutput) {
    std::ostringstream os;
    std::ostringstream out;
    std::streambuf* const saved = std::cout.rdbuf(out.rdbuf());
    op.printOn(os);
    std::cout.rdbuf(saved);
    *standardOutput = out.str();
    return os.str();
  }

  static std::string typeDump(const KRTypeRef& type) {
    std::ostringstream os;
    type.ptr()->printOn(os, 3);
    return os.str();
  }

  bctest::NameTable classNames{"C", 34};
};

TEST_F(ListingTest, LinesColumnByColumn) {
  bcInitBCode();
  const Op unresolvedFB = fromRecord("07 00 00 05 00 02 07 00 00 00 00 00");
  const Op undefinedKind = fromRecord("0A 00 00 01 00 09 04 00");
  const struct {
    Op op;
    Columns columns;
  } cases[] = {
      {Op(new BCoE(12, intA)), with(kDashes, {{0, "C1"}, {8, "T5"}, {18, "5"}, {64, "12"}})},
      {Op(new BCoE(0, high)), with(kDashes, {{0, "C1"}, {8, "T254"}, {18, "25"}, {64, "0"}})},
      {Op(new BCoA(0, high)), with(kDashes, {{0, "C2"}, {8, "T30"}, {18, "25"}, {64, "0"}})},
      {Op(new BCoPA(0xFFFFFFFF, missing)),
       with(kDashes, {{0, "C5"}, {8, "???"}, {18, "99"}, {64, "-1"}})},
      {Op(new BCoDBBER(10, 4, intA)),
       with(kDashes, {{0, "C21"}, {8, "T5"}, {18, "5"}, {26, "10"}, {64, "4"}})},
      {Op(new BCoT(5)), with(kDashes, {{0, "C22"}, {8, "-"}, {18, "-"}, {26, "5"}, {64, "-"}})},
      {Op(new BCoMFL(3)), with(kDashes, {{0, "C6"}, {8, "BOOL"}, {18, "-"}, {26, "3"}, {64, "-"}})},
      {Op(new BCoICall(65535)),
       with(kDashes, {{0, "C31"}, {8, "-"}, {18, "-"}, {26, "65535"}, {64, "-"}})},
      {Op(new BCoLSD(BCLDRef(2, &lsd))),
       with(kDashes, {{0, "C19"}, {8, "T5"}, {18, "5"}, {48, "2"}, {64, "48"}})},
      {Op(new BCoFBEP(KR_FB_KENN, fbRef(2))),
       with(kDashes, {{0, "C7"}, {8, "T1"}, {18, "1"}, {39, "FB"}, {56, "2"}, {64, "16"}})},
      {Op(new BCoSFBAP(KR_SFB_KENN, fbRef(1, 9))),
       with(kDashes,
            {{0, "C14"}, {8, "T5"}, {18, "5"}, {26, "9"}, {39, "SFB"}, {56, "1"}, {64, "0"}})},
      {Op(new BCoFCDP(KR_FC_KENN, fcRef(2))),
       with(kDashes, {{0, "C12"}, {8, "T1"}, {18, "1"}, {39, "FC"}, {56, "2"}, {64, "-"}})},
      {Op(new BCoSFCEP(KR_SFC_KENN, fcRef(1))),
       with(kDashes,
            {{0, "C16"}, {8, "T5"}, {18, "5"}, {26, "4"}, {39, "SFC"}, {56, "1"}, {64, "-"}})},
      {Op(new BCoICEP(1, 2, high)),
       with(
           kDashes,
           {{0, "ICEP"}, {8, "T30"}, {18, "25"}, {26, "2"}, {39, "ICallP"}, {56, "1"}, {64, "-"}})},
      {Op(new BCoICAP(7, 3, intA)),
       with(kDashes,
            {{0, "ICAP"}, {8, "T5"}, {18, "5"}, {26, "3"}, {39, "ICallP"}, {56, "7"}, {64, "-"}})},
      {Op(unresolvedFB->newCopy()),
       {{0, "C7"}, {8, "???"}, {18, "0"}, {26, "-"}, {39, "FB"}, {48, "-"}, {56, "???"}}},
      {Op(undefinedKind->newCopy()),
       with(kDashes, {{0, "C10"}, {8, "???"}, {18, "0"}, {39, "UNDEF"}, {56, "???"}, {64, "-"}})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(list(*c.op), lineOf(c.columns)) << c.op->isA();
    EXPECT_EQ(list(*c.op, 5), lineOf(c.columns, 5)) << c.op->isA();
  }
}

TEST_F(ListingTest, LocalDataLinesShowUnresolvedVariablesAndUseNamesAsFormats) {
  const BCoLDD plain(BCLDRef(1, &ldd));
  std::vector<std::string> names(256, "X");
  names[5] = "100%% INT";
  std::vector<const char*> table;
  for (const std::string& name : names) table.push_back(name.c_str());
  char line[160] = {};
  std::ostringstream os;
  plain.printOn(os, line, line, classNames.get(), table.data());
  EXPECT_EQ(os.str(),
            lineOf(with(kDashes, {{0, "C20"}, {8, "100% INT"}, {18, "5"}, {48, "1"}, {64, "0"}})));

  const BCoLDD unresolved(BCLDRef(9, &ldd));
  bcInitBCode();
  EXPECT_EQ(list(unresolved),
            lineOf(with(kDashes, {{0, "C20"}, {8, "???"}, {18, "0"}, {48, "???"}, {64, "0"}})));
}

// The plain line writer: control bytes pass unchanged.
TEST_F(ListingTest, StoreKeepsControlBytes) {
  char line[160] = {};
  std::memcpy(line, "ab\0cd\x01", 6);
  std::ostringstream os;
  BCoT(1).store(os, line + 3, line);
  EXPECT_EQ(os.str(), "ab cd\x01\n");
  EXPECT_EQ(std::string(line, 160), std::string(160, '\0'));
}

TEST_F(ListingTest, Dumps) {
  std::string out;
  const std::string viewEntry = [&] {
    std::ostringstream os;
    ldd.lookup(BCLDRef(3, &ldd))->printOn(os);
    return os.str();
  }();
  const std::string fbEntry = [&] {
    std::ostringstream os;
    fbRef(2).ptr()->printOn(os);
    return os.str();
  }();
  EXPECT_EQ(dump(BCoE(300, intA), &out), "E       300" + typeDump(intA));
  EXPECT_EQ(dump(BCoPA(1, missing), &out), "PA        1*** Error: illegal typeRef !\n");
  EXPECT_EQ(dump(BCoDBBER(10, 4, intA), &out), "DBBER     4   10" + typeDump(intA));
  EXPECT_EQ(dump(BCoT(5), &out), "T         5\n");
  EXPECT_EQ(dump(BCoSFC(2), &out), "SFC        2\n");
  EXPECT_EQ(dump(BCoSDB(12345), &out), "SDB    12345\n");
  EXPECT_EQ(dump(BCoMFL(7), &out), "MFL       7\n");
  EXPECT_EQ(dump(BCoICAP(1, 2, intA), &out), "ICAP         8         1      2\n");
  EXPECT_EQ(dump(BCoLDD(BCLDRef(3, &ldd)), &out), "LDD      16      3  " + viewEntry);
  EXPECT_EQ(dump(BCoFBAP(KR_FB_KENN, fbRef(2)), &out), "FBAP         2   " + fbEntry);
  EXPECT_EQ(dump(BCoSFBDP(KR_SFB_KENN, fbRef(2)), &out), "SFBDP     7  3   " + fbEntry);
  EXPECT_EQ(out, "");
}

TEST_F(ListingTest, UnresolvableReferencesReportOnStandardOutput) {
  std::string out;
  const BCoLSD lsd9(BCLDRef(9, &lsd));
  const BCoLDD ldd9(BCLDRef(9, &ldd));
  bcInitBCode();
  EXPECT_EQ(dump(lsd9, &out), "LSD      32      9  ");
  EXPECT_EQ(out, "*** error: illegal LSD reference \n");
  EXPECT_EQ(dump(ldd9, &out), "LDD       0      9  ");
  EXPECT_EQ(out, "*** error: illegal LDD reference \n");
  const Op fc = fromRecord("11 00 00 05 00 04 04 00 04 00");
  ASSERT_NE(fc, nullptr);
  EXPECT_EQ(dump(*fc, &out), "SFCAP     4  4   ");
  EXPECT_EQ(out, "*** error: illegal SSB reference \n");
  EXPECT_EQ(BCOperand::getError(), 0);
}

}  // namespace
