// Value conversions and equality of the constants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "bcode/const/bcconstant.h"

namespace {

class ConstValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BCConstant::resetError();
    KRString::error = KRString::KRSTRING_OK;
  }
};

struct K4Case {
  std::int32_t ms;
  std::uint16_t word;
};

class K4TimeWordTest : public ::testing::TestWithParam<K4Case> {};

TEST_P(K4TimeWordTest, CutsToThreeDigitsWithSmallestBase) {
  EXPECT_EQ(BCK4TimeConst(GetParam().ms).getVantorK4Time(), GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(All, K4TimeWordTest,
                         ::testing::Values(K4Case{0, 0x0000}, K4Case{9, 0x0000}, K4Case{10, 0x0001},
                                           K4Case{15, 0x0001}, K4Case{999, 0x0099},
                                           K4Case{9990, 0x0999}, K4Case{9999, 0x0999},
                                           K4Case{10000, 0x1100}, K4Case{12345, 0x1123},
                                           K4Case{99999, 0x1999}, K4Case{100000, 0x2100},
                                           K4Case{999999, 0x2999}, K4Case{1000000, 0x3100},
                                           K4Case{9990000, 0x3999}, K4Case{10000000, 0x3999},
                                           K4Case{-5, 0x0000}, K4Case{-2147483647 - 1, 0x0000}));

TEST_F(ConstValueTest, K4TimeFromWordIgnoresTopBits) {
  struct {
    std::uint16_t word;
    std::int32_t ms;
  } cases[] = {{0x2123, 123000}, {0x3999, 9990000}, {0xC123, 1230}, {0x0000, 0}, {0x00FF, 1650}};
  for (const auto& c : cases) {
    BCK4TimeConst k(7);
    k.setVantorK4Time(c.word);
    EXPECT_EQ(k.getValue(), c.ms) << std::hex << c.word;
  }
}

TEST_F(ConstValueTest, TimeOfDayFromPartsAndBack) {
  EXPECT_EQ(BCTODConst(12, 5, 3, 7).getValue(), 43503007);
  unsigned char h = 0, m = 0, s = 0;
  std::uint16_t ms = 0;
  BCTODConst(86399999).calcHMS(h, m, s, ms);
  EXPECT_EQ(std::string({char(h), char(m), char(s)}), std::string({23, 59, 59}));
  EXPECT_EQ(ms, 999);
}

BC_VANTOR_DT dtBytes(const std::string& hex) {
  BC_VANTOR_DT dt{};
  for (std::size_t i = 0; i < 8; ++i) dt.data[i] = std::stoi(hex.substr(3 * i, 2), nullptr, 16);
  return dt;
}

std::string hexOf(const BC_VANTOR_DT& dt) {
  char out[25];
  for (int i = 0; i < 8; ++i) std::snprintf(out + 3 * i, 4, "%02X ", dt.data[i]);
  return std::string(out, 23);
}

TEST_F(ConstValueTest, DateAndTimeFromControllerRecordIgnoresWeekday) {
  struct {
    const char* bytes;
    unsigned day, month, year;
    std::int32_t ms;
  } cases[] = {{"95 03 12 14 05 09 12 30", 12, 3, 1995, 50709123},
               {"95 03 12 14 05 09 12 3F", 12, 3, 1995, 50709123},
               {"05 12 31 23 59 59 99 97", 31, 12, 2005, 86399999},
               {"89 01 01 00 00 00 00 00", 1, 1, 2089, 0}};
  for (const auto& c : cases) {
    const BCDTConst dt(dtBytes(c.bytes));
    EXPECT_EQ(dt.getDate().getDay(), c.day) << c.bytes;
    EXPECT_EQ(dt.getDate().getMonth(), c.month) << c.bytes;
    EXPECT_EQ(dt.getDate().getYear(), c.year) << c.bytes;
    EXPECT_EQ(dt.getTOD().getValue(), c.ms) << c.bytes;
  }
}

TEST_F(ConstValueTest, DateAndTimeToControllerRecordCarriesWeekday) {
  struct {
    BCDTConst dt;
    const char* bytes;
  } cases[] = {
      // Saturday, Saturday, Sunday (1 = Sunday .. 7 = Saturday).
      {BCDTConst(BCDateConst(31, 12, 2005), BCTODConst(86399999)), "05 12 31 23 59 59 99 97"},
      {BCDTConst(BCDateConst(1, 1, 2000), BCTODConst(0)), "00 01 01 00 00 00 00 07"},
      {BCDTConst(BCDateConst(12, 3, 1995), BCTODConst(50709123)), "95 03 12 14 05 09 12 31"},
  };
  for (const auto& c : cases) EXPECT_EQ(hexOf(c.dt.getVantorDT()), c.bytes);
}

TEST_F(ConstValueTest, DayNumberLimits) {
  struct {
    BCDateConst date;
    std::uint16_t dayNumber;
    int flag;
  } cases[] = {{BCDateConst(31, 12, 1989), 0, 1},   {BCDateConst(1, 1, 1989), 0, 1},
               {BCDateConst(1, 1, 1990), 0, 0},     {BCDateConst(2, 1, 1990), 1, 0},
               {BCDateConst(6, 6, 2169), 65535, 0}, {BCDateConst(7, 6, 2169), 0, 1}};
  for (const auto& c : cases) {
    BCConstant::resetError();
    EXPECT_EQ(c.date.getVantorDate(), c.dayNumber) << c.date.getYear();
    EXPECT_EQ(BCConstant::getError(), c.flag) << c.date.getYear();
  }
  for (std::uint16_t n : {0, 1, 3652, 65535}) EXPECT_EQ(BCDateConst(n).getVantorDate(), n);
  const BCDateConst last(65535);
  EXPECT_EQ(last == BCDateConst(6, 6, 2169), 1);
}

TEST_F(ConstValueTest, StringRules) {
  EXPECT_EQ(BCStringConst(KRString('x', 300)).getActLength(), 44);
  const BCStringConst abc(KRString("abc"));
  EXPECT_EQ(abc == BCStringConst(KRString("abc")), 1);
  EXPECT_EQ(abc == BCStringConst(KRString("ABC")), 0);
  EXPECT_EQ(abc == BCStringConst(KRString("abcd")), 0);
  KRString::error = KRString::KRSTRING_FAILED;  // a broken string never compares equal
  EXPECT_EQ(abc == abc, 0);
}

TEST_F(ConstValueTest, StringBuiltAfterStringFailureIsEmptyWithFlag) {
  KRString::error = KRString::KRSTRING_FAILED;
  const BCStringConst s(KRString("abc"));
  EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED);
  EXPECT_EQ(KRString::error, KRString::KRSTRING_OK);
  EXPECT_EQ(s.getValue().length(), 0);
  // A copy made while the constant flag is set is refused and the flag cleared.
  EXPECT_EQ(s.newCopy(), nullptr);
  EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_OK);
}

TEST_F(ConstValueTest, EqualityIsByClassThenValue) {
  float nan1 = std::nanf("1"), nan2 = std::nanf("2");
  struct {
    std::unique_ptr<BCConstant> a, b;
    int equal;
  } cases[] = {
      {std::make_unique<BCDWordConst>(5), std::make_unique<BCDIntConst>(5), 0},
      {std::make_unique<BCTimeConst>(5), std::make_unique<BCK4TimeConst>(5), 0},
      {std::make_unique<BCTODConst>(5), std::make_unique<BCTimeConst>(5), 0},
      {std::make_unique<BCDIntConst>(5), std::make_unique<BCDIntConst>(6), 0},
      {std::make_unique<BCRealConst>(0.0F), std::make_unique<BCRealConst>(-0.0F), 1},
      {std::make_unique<BCRealConst>(nan1), std::make_unique<BCRealConst>(nan1), 1},
      {std::make_unique<BCRealConst>(nan1), std::make_unique<BCRealConst>(nan2), 0},
      {std::make_unique<BCDateConst>(1, 2, 2000), std::make_unique<BCDateConst>(2, 1, 2000), 0},
      {std::make_unique<BCDTConst>(BCDateConst(1, 2, 2000), BCTODConst(1)),
       std::make_unique<BCDTConst>(BCDateConst(1, 2, 2000), BCTODConst(2)), 0},
      {std::make_unique<BCDTConst>(BCDateConst(1, 2, 2000), BCTODConst(1)),
       std::make_unique<BCDTConst>(BCDateConst(1, 2, 2000), BCTODConst(1)), 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(*c.a == *c.b, c.equal) << c.a->isA() << " " << c.b->isA();
    EXPECT_EQ(c.a->isEqual(*c.b), c.equal);
    std::unique_ptr<BCConstant> copy(c.a->newCopy());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(*copy == *c.a, 1);
  }
}

}  // namespace
