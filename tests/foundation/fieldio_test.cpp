#include <gtest/gtest.h>

#include <sstream>
#include <type_traits>

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

// A record of at most 8 bytes read by record<8>: through a span of the get
// area when that holds 8 bytes, else field by field; the same fields
// either way, and the stream stands after them.
TEST(FieldIo, RecordsComeFromASpanOnlyWhenTheAreaHoldsTheLongest) {
  const std::string bytes = fromHex("01 34 12 EF BE AD DE 7F") + std::string(8, '\x55');
  for (std::size_t chunk = 1; chunk <= bytes.size(); ++chunk) {
    bctest::PipeBuf buf(bytes, chunk);
    std::istream is(&buf);
    is.peek();  // the first chunk is in the area
    std::uint8_t a = 0;
    std::uint16_t b = 0;
    std::uint32_t c = 0;
    bool spanned = false;
    const int made = KRFieldReader(is).record<8>([&](auto& in) {
      spanned = std::is_same_v<std::decay_t<decltype(in)>, KRFieldSpanReader>;
      return in.u8(a).fields(b, c).ok() ? 7 : -1;
    });
    EXPECT_EQ(made, 7) << chunk;
    EXPECT_EQ(spanned, chunk >= 8) << chunk;
    EXPECT_EQ(a, 0x01) << chunk;
    EXPECT_EQ(b, 0x1234) << chunk;
    EXPECT_EQ(c, 0xDEADBEEFu) << chunk;
    EXPECT_EQ(is.get(), 0x7F) << chunk;
  }
}

// The writer's counterpart: a record that goes into a span reaches the
// stream whole; one whose writer declines leaves nothing behind.
TEST(FieldIo, RecordsGoIntoASpanOnlyWhenTheAreaHasRoom) {
  for (std::size_t chunk = 1; chunk <= 12; ++chunk) {
    bctest::ChunkOutBuf buf(chunk);
    std::ostream os(&buf);
    bool spanned = false;
    EXPECT_TRUE(KRFieldWriter(os).record<8>([&](auto& out) {
      spanned = std::is_same_v<std::decay_t<decltype(out)>, KRFieldSpanWriter>;
      return out.u8(0x01).fields(std::uint16_t{0x1234}, std::uint32_t{0xDEADBEEF}).ok();
    }));
    EXPECT_EQ(spanned, chunk >= 8) << chunk;
    os.put('\x7E');
    EXPECT_EQ(toHex(buf.bytes()), "01 34 12 EF BE AD DE 7E") << chunk;
  }
  bctest::ChunkOutBuf buf(16);
  std::ostream os(&buf);
  EXPECT_FALSE(KRFieldWriter(os).record<8>([](auto& out) { return !out.u32(0xFFFFFFFF).ok(); }));
  os.put('\x7E');
  EXPECT_EQ(toHex(buf.bytes()), "7E");
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
