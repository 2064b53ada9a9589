// Listing lines and debug dumps of the constants.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "bcode/const/bcconstant.h"

namespace {

struct ListingCase {
  std::shared_ptr<BCConstant> constant;
  const char* text;  // type name and value, from the column on
};

template <class C, class V>
std::shared_ptr<BCConstant> make(V value) {
  return std::make_shared<C>(value);
}

// The listing output of one constant written at `column`; checks that the
// line buffer is left cleared for the next line.
std::string listed(const BCConstant& c, std::size_t column, char* line) {
  std::ostringstream os;
  c.printOn(os, line + column, line);
  EXPECT_EQ(std::string(line, 160), std::string(160, '\0'));
  return os.str();
}

// Type name and value from the column on, at the start of a line and inside it.
TEST(ConstListing, WritesNameAndValueAtTheColumn) {
  const ListingCase cases[] = {
      {make<BCTimeConst>(0), "TIME      T#0d0h0m0s0ms"},
      {make<BCTimeConst>(1500), "TIME      T#0d0h0m1s500ms"},
      {make<BCTimeConst>(-1500), "TIME      T#0d0h0m-1s-500ms"},
      {make<BCTimeConst>(90061001), "TIME      T#1d1h1m1s1ms"},
      {make<BCTimeConst>(2147483647), "TIME      T#24d20h31m23s647ms"},
      {make<BCTODConst>(0), "TOD       TOD#0:0:0.0"},
      {make<BCTODConst>(86399999), "TOD       TOD#23:59:59.999"},
      {make<BCTODConst>(43503007), "TOD       TOD#12:5:3.7"},
      {make<BCK4TimeConst>(12300), "K4TIME    TK4#0h0m12s300ms"},
      {make<BCK4TimeConst>(90061001), "K4TIME    TK4#25h1m1s1ms"},
      {std::make_shared<BCDateConst>(24, 12, 1999), "DATE      D#1999-12-24"},
      {make<BCDWordConst>(255), "DWORD     0x000000ff"},
      {make<BCDWordConst>(0xFFFFFFFF), "DWORD     0xffffffff"},
      {std::make_shared<BCDIntConst>(-2), "DINT      -2"},
      {std::make_shared<BCRealConst>(1.0F), "REAL      1.000000e+00"},
      {std::make_shared<BCStringConst>(KRString("AB")), "STRING    'AB'"},
  };
  for (const ListingCase& c : cases) {
    for (std::size_t column : {0, 49}) {
      char line[160] = {};
      EXPECT_EQ(listed(*c.constant, column, line), std::string(column, ' ') + c.text + "\n");
    }
  }
}

TEST(ConstListing, DateAndTimeTakesTwoLines) {
  char line[160] = {};
  const BCDTConst dt(BCDateConst(31, 12, 2005), BCTODConst(86399999));
  EXPECT_EQ(listed(dt, 49, line), std::string(49, ' ') +
                                      "DT        D#2005-12-31\n"
                                      "-      TOD       TOD#23:59:59.999\n");
}

TEST(ConstListing, StoreShiftsControlsBeforeTheEndMarkOnly) {
  char line[160] = {};
  std::strcpy(line + 2, "\x07\xC8z");
  line[8] = '\x01';  // past the end mark: kept as it is
  std::ostringstream os;
  BCDIntConst(0).store(os, line + 6, line);
  EXPECT_EQ(os.str(), std::string("  \x87\xC8z ", 6) + "\n");
  EXPECT_EQ(std::string(line, 160), std::string(160, '\0'));

  // A control character written before the column comes out as 135.
  line[3] = '\x07';
  EXPECT_EQ(listed(BCDIntConst(7), 5, line), "   \x87 DINT      7\n");
}

TEST(ConstListing, LongTextsStayInsideTheLine) {
  char buffer[170];
  std::memset(buffer, 'G', sizeof buffer);
  char* line = buffer + 5;
  std::memset(line, 0, 160);
  const std::string out = listed(BCStringConst(KRString('x', 255)), 140, line);
  EXPECT_EQ(out, std::string(140, ' ') + "STRING    '" + std::string(8, 'x') + " \n");
  EXPECT_EQ(std::string(buffer, 5) + std::string(buffer + 165, 5), std::string(10, 'G'));
  listed(*make<BCTimeConst>(-2147483647 - 1), 150, line);
  listed(BCDTConst(BCDateConst(1, 1, 2000), BCTODConst(-1)), 159, line);
  EXPECT_EQ(std::string(buffer, 5) + std::string(buffer + 165, 5), std::string(10, 'G'));
}

TEST(ConstDebug, OneLinePerConstant) {
  struct {
    std::shared_ptr<BCConstant> constant;
    const char* text;
  } cases[] = {
      {make<BCDWordConst>(0xFFFFFFFF), "DWordConst        -1\n"},
      {std::make_shared<BCDIntConst>(-2), "DIntConst        -2\n"},
      {std::make_shared<BCRealConst>(1.5F), "RealConst       1.5\n"},
      {make<BCTimeConst>(1500), "TimeConst      1500\n"},
      {make<BCK4TimeConst>(12345678), "K4TimeConst   12345678\n"},
      {make<BCTODConst>(43503007), "TODConst   43503007\n"},
      {std::make_shared<BCDateConst>(1, 2, 2000), "DateConst    1. 2.2000\n"},
      {std::make_shared<BCDTConst>(BCDateConst(24, 12, 1999), BCTODConst(1000)),
       "DTConst      1000  DateConst   24.12.1999\n"},
      {std::make_shared<BCStringConst>(KRString("a b")), "StringConst 'a b'\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream os;
    c.constant->printOn(os);
    EXPECT_EQ(os.str(), c.text);
  }
}

}  // namespace
