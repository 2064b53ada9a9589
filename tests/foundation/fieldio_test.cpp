#include <gtest/gtest.h>

#include <sstream>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krystrng.h"
#include "tests/support/test_util.h"

namespace {

using bctest::fromHex;
using bctest::toHex;

TEST(FieldIo, IntegersAreLittleEndianWithoutPadding) {
  std::ostringstream os;
  KRFieldWriter out(os);
  out.u8(0xAB).u16(0x1234).u32(0xDEADBEEF).i16(-2).i32(-1).flag(true).flag(false);
  ASSERT_TRUE(out.ok());
  EXPECT_EQ(toHex(os.str()), "AB 34 12 EF BE AD DE FE FF FF FF FF FF 01 00");
  std::istringstream is(os.str().substr(7));
  std::int16_t d = 0;
  std::int32_t e = 0;
  ASSERT_TRUE(KRFieldReader(is).i16(d).i32(e).ok());
  EXPECT_EQ(d, -2);
  EXPECT_EQ(e, -1);
}

TEST(FieldIo, NamesCarryTheLowByteOfTheirLength) {
  std::ostringstream os;
  KRFieldWriter(os).name(KRString("ab")).name(KRString()).name(KRString('x', 300));
  const std::string bytes = os.str();
  EXPECT_EQ(toHex(bytes.substr(0, 5)), "02 61 62 00 2C");
  EXPECT_EQ(bytes.size(), 5u + 44u);
}

// A failed field fails the rest: nothing is read after it.
TEST(FieldIo, ShortReadIsReportedAndSticks) {
  std::istringstream is(fromHex("01 02 03"));
  std::uint16_t a = 0;
  std::uint32_t b = 0;
  std::uint8_t c = 0;
  KRFieldReader in(is);
  in.u16(a).u32(b).u8(c);
  EXPECT_EQ(in.status(), KRFieldReader::SHORT_READ);
  EXPECT_EQ(a, 0x0201);
  EXPECT_EQ(c, 0);
  std::istringstream name(fromHex("05 61 62"));
  KRString s;
  EXPECT_EQ(KRFieldReader(name).name(s).status(), KRFieldReader::SHORT_READ);
}

TEST(FieldIo, StreamExceptionMasksDoNotTurnFailuresIntoThrows) {
  bctest::LimitedBuf buf(1);
  std::ostream os(&buf);
  os.exceptions(std::ios::badbit);
  KRFieldWriter out(os);
  EXPECT_NO_THROW(out.u32(1));
  EXPECT_FALSE(out.ok());
}

TEST(String, EveryCharacterCountsZeroBytesIncluded) {
  EXPECT_STREQ(KRString("abcdef", 2).c_str(), "ab");
  EXPECT_STREQ(KRString(' ', 3).c_str(), "   ");
  const KRString a("abc");
  KRString c;
  c = a;
  EXPECT_TRUE(c == a);
  EXPECT_FALSE(KRString("abc") == KRString("ABC"));
  EXPECT_FALSE(KRString("ab", 2) == KRString("ab\0", 3));
  EXPECT_FALSE(KRString("a\0b", 3) == KRString("a\0c", 3));
  EXPECT_TRUE(KRString("a\0b", 3) == KRString("a\0b", 3));
  EXPECT_EQ(KRString::error, KRString::KRSTRING_OK);
}

TEST(String, TooLongTextFailsAndStaysEmpty) {
  const std::string huge(70000, 'x');
  KRString s(huge.c_str());
  EXPECT_EQ(KRString::error, KRString::KRSTRING_FAILED);
  EXPECT_EQ(s.length(), 0);
  KRString::error = KRString::KRSTRING_OK;
  KRString fromNull(nullptr, 4);
  EXPECT_EQ(KRString::error, KRString::KRSTRING_FAILED);
  KRString::error = KRString::KRSTRING_OK;
}

}  // namespace
