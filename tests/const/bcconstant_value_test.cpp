// Value conversions and equality of the constants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "bcode/const/bcconstant.h"
#include "tests/support/test_util.h"

namespace {

class ConstValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BCConstant::resetError();
    KRString::error = KRString::KRSTRING_OK;
  }
};

TEST_F(ConstValueTest, K4TimeWordBothWays) {
  const std::pair<std::int32_t, std::uint16_t> toWord[] = {
      {0, 0x0000},       {9, 0x0000},       {10, 0x0001},       {15, 0x0001},
      {999, 0x0099},     {9990, 0x0999},    {9999, 0x0999},     {10000, 0x1100},
      {12345, 0x1123},   {99999, 0x1999},   {100000, 0x2100},   {999999, 0x2999},
      {1000000, 0x3100}, {9990000, 0x3999}, {10000000, 0x3999}, {-5, 0x0000}};
  for (const auto& c : toWord) EXPECT_EQ(BCK4TimeConst(c.first).getVantorK4Time(), c.second);
  const std::pair<std::uint16_t, std::int32_t> fromWord[] = {
      {0x2123, 123000}, {0x3999, 9990000}, {0xC123, 1230}, {0x4000, 0}, {0x00FF, 1650}};
  for (const auto& c : fromWord) {
    BCK4TimeConst k(7);
    k.setVantorK4Time(c.first);
    EXPECT_EQ(k.getValue(), c.second) << std::hex << c.first;
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

TEST_F(ConstValueTest, ControllerDateAndTimeBothWays) {
  struct {
    const char* bytes;  // weekdays: 1 Sunday, 7 Saturday
    unsigned char day, month;
    std::uint16_t year;
    std::int32_t ms;
  } cases[] = {{"95 03 12 14 05 09 12 31", 12, 3, 1995, 50709123},
               {"05 12 31 23 59 59 99 97", 31, 12, 2005, 86399999},
               {"00 01 01 00 00 00 00 07", 1, 1, 2000, 0}};
  for (const auto& c : cases) {
    const BCDTConst dt(BCDateConst(c.day, c.month, c.year), BCTODConst(c.ms));
    const BC_VANTOR_DT out = dt.getVantorDT();
    EXPECT_EQ(bctest::toHex(std::string(reinterpret_cast<const char*>(out.data), 8)), c.bytes);
    BC_VANTOR_DT in{};
    std::memcpy(in.data, bctest::fromHex(c.bytes).data(), 8);
    in.data[7] ^= 0x0F;  // the weekday nibble is not read
    EXPECT_EQ(BCDTConst(in) == dt, 1) << c.bytes;
  }
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
      {std::make_unique<BCK4TimeConst>(5), std::make_unique<BCK4TimeConst>(5), 1},
      {std::make_unique<BCStringConst>(KRString("ab")),
       std::make_unique<BCStringConst>(KRString("ab")), 1},
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
