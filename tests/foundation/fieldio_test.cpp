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

  std::istringstream is(os.str());
  std::uint8_t a = 0, f1 = 0, f2 = 9;
  std::uint16_t b = 0;
  std::uint32_t c = 0;
  std::int16_t d = 0;
  std::int32_t e = 0;
  KRFieldReader in(is);
  ASSERT_TRUE(in.u8(a).u16(b).u32(c).i16(d).i32(e).u8(f1).u8(f2).ok());
  EXPECT_EQ(a, 0xAB);
  EXPECT_EQ(b, 0x1234);
  EXPECT_EQ(c, 0xDEADBEEFu);
  EXPECT_EQ(d, -2);
  EXPECT_EQ(e, -1);
  EXPECT_EQ(f1, 1);
  EXPECT_EQ(f2, 0);
}

TEST(FieldIo, NamesCarryTheLowByteOfTheirLength) {
  std::ostringstream os;
  KRFieldWriter(os).name(KRString("ab")).name(KRString()).name(KRString('x', 300));
  const std::string bytes = os.str();
  EXPECT_EQ(toHex(bytes.substr(0, 4)), "02 61 62 00");
  EXPECT_EQ(static_cast<unsigned char>(bytes[4]), 44);
  EXPECT_EQ(bytes.size(), 5u + 44u);

  std::istringstream is(bytes);
  KRString first, empty, cut;
  ASSERT_TRUE(KRFieldReader(is).name(first).name(empty).name(cut).ok());
  EXPECT_STREQ(first.c_str(), "ab");
  EXPECT_EQ(empty.length(), 0);
  EXPECT_EQ(cut.length(), 44);
}

TEST(FieldIo, ShortWriteStopsTheRecord) {
  // Every cut of a 7-byte record leaves exactly the bytes before the failing field.
  const std::string full = fromHex("01 02 03 04 05 06 07");
  const std::size_t fieldEnds[] = {1, 3, 7};
  for (std::size_t k = 0; k < full.size(); ++k) {
    bctest::LimitedBuf buf(k);
    std::ostream os(&buf);
    KRFieldWriter out(os);
    out.u8(0x01).u16(0x0302).u32(0x07060504);
    EXPECT_FALSE(out.ok()) << k;
    std::size_t kept = 0;
    for (std::size_t end : fieldEnds) {
      if (end <= k) kept = end;
    }
    EXPECT_EQ(buf.bytes().substr(0, kept), full.substr(0, kept)) << k;
  }
}

TEST(FieldIo, ShortReadIsReportedAndSticks) {
  std::istringstream is(fromHex("01 02 03"));
  std::uint16_t a = 0;
  std::uint32_t b = 0;
  std::uint8_t c = 0;
  KRFieldReader in(is);
  in.u16(a).u32(b).u8(c);
  EXPECT_FALSE(in.ok());
  EXPECT_EQ(in.status(), KRFieldReader::SHORT_READ);
  EXPECT_EQ(a, 0x0201);
  EXPECT_EQ(c, 0) << "no field is read after a failure";
}

TEST(FieldIo, NameCutShortIsAShortRead) {
  std::istringstream is(fromHex("05 61 62"));
  KRString s;
  KRFieldReader in(is);
  EXPECT_EQ(in.name(s).status(), KRFieldReader::SHORT_READ);
}

TEST(FieldIo, WorksOnStreamsThatCannotSeek) {
  bctest::LimitedBuf sink(100);
  std::ostream os(&sink);
  EXPECT_TRUE(KRFieldWriter(os).u16(7).name(KRString("q")).ok());
  bctest::PipeBuf source(sink.bytes());
  std::istream is(&source);
  std::uint16_t v = 0;
  KRString s;
  EXPECT_TRUE(KRFieldReader(is).u16(v).name(s).ok());
  EXPECT_EQ(v, 7);
  EXPECT_STREQ(s.c_str(), "q");
}

TEST(FieldIo, StreamExceptionMasksDoNotTurnFailuresIntoThrows) {
  bctest::LimitedBuf buf(1);
  std::ostream os(&buf);
  os.exceptions(std::ios::badbit);
  KRFieldWriter out(os);
  EXPECT_NO_THROW(out.u32(1));
  EXPECT_FALSE(out.ok());
}

TEST(String, BuildsCopiesAndCompares) {
  EXPECT_STREQ(KRString().c_str(), "");
  EXPECT_EQ(KRString("abc").length(), 3);
  EXPECT_STREQ(KRString("abcdef", 2).c_str(), "ab");
  EXPECT_STREQ(KRString(' ', 3).c_str(), "   ");
  KRString a("abc");
  KRString b(a);
  KRString c;
  c = a;
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(c == a);
  EXPECT_FALSE(KRString("abc") == KRString("ABC"));
  // Every character counts, zero bytes from a record included.
  EXPECT_FALSE(KRString("ab", 2) == KRString("ab\0", 3));
  EXPECT_FALSE(KRString("a\0b", 3) == KRString("a\0c", 3));
  EXPECT_TRUE(KRString("a\0b", 3) == KRString("a\0b", 3));
  std::ostringstream os;
  a.printOn(os);
  EXPECT_EQ(os.str(), "abc");
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
