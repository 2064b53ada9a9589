#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "bcode/foundation/krlistline.h"

namespace {

// A line buffer followed by a guard zone that must stay untouched.
struct GuardedLine {
  static constexpr std::size_t kGuard = 64;
  char bytes[kKRLineSize + kGuard];
  GuardedLine() {
    std::memset(bytes, 0, sizeof bytes);
    std::memset(bytes + kKRLineSize, 0x5A, kGuard);
  }
  char* line() { return bytes; }
  bool guardIntact() const {
    return std::string(bytes + kKRLineSize, kGuard) == std::string(kGuard, 0x5A);
  }
  bool allZero() const { return std::string(bytes, kKRLineSize) == std::string(kKRLineSize, '\0'); }
};

TEST(ListLine, TextPastTheEndMarkEndsTheLine) {
  GuardedLine g;
  char* line = g.line();
  krLinePut(line, line, "a");
  krLinePut(line, line + 4, "b");
  std::ostringstream os;
  krLineStore(os, line + 2, line);
  EXPECT_EQ(os.str(), "a \n") << "the zero at 2 is not converted: the line stops there";
  krLinePut(line, line, "z");
  std::ostringstream same;
  krLineStore(same, line, line);
  EXPECT_EQ(same.str(), "z\n");
}

TEST(ListLine, NothingIsWrittenAtOrPastTheBuffer) {
  GuardedLine g;
  char* line = g.line();
  const std::string longName(255, 'n');
  krLinePrintf(line, line + 150, "%s", longName.c_str());
  krLinePut(line, line + 159, longName.c_str());
  krLinePut(line, line + 160, "past");
  krLinePrintf(line, line + kKRLineSize + 10, "%s", "far past");
  EXPECT_TRUE(g.guardIntact());
  EXPECT_EQ(line[159], '\0');
  std::ostringstream os;
  krLineStore(os, line + kKRLineSize + GuardedLine::kGuard, line);
  EXPECT_TRUE(g.guardIntact());
  EXPECT_TRUE(g.allZero());
  EXPECT_EQ(os.str().size(), kKRLineSize + 1) << "a full line and its end";
}

TEST(ListLine, ControlBytesShiftOnlyWhenAsked) {
  GuardedLine g;
  char* line = g.line();
  const char text[] = {'a', 7, static_cast<char>(200), 'b', 0};
  krLinePut(line, line, text);
  std::ostringstream shifted;
  krLineStore(shifted, line + 4, line, KR_STORE_SHIFT_CONTROLS);
  EXPECT_EQ(shifted.str(), std::string("a\x87\xC8") + "b\n");

  krLinePut(line, line, text);
  std::ostringstream plain;
  krLineStore(plain, line + 4, line, KR_STORE_NO_LINE_END);
  EXPECT_EQ(plain.str(), std::string(text));
}

// Columns count from the listing's origin; past the line they write nothing,
// and an origin outside the line writes nothing at all.
TEST(ListLine, ColumnsCountFromTheOrigin) {
  constexpr KRListColumn kFirst{"first", 0, 3};
  constexpr KRListColumn kSecond{"second", 3, 0};
  GuardedLine g;
  char* line = g.line();
  const struct {
    char* origin;
    std::string text;
  } cases[] = {
      {line, "ab zz\n"},
      {line + 2, "  ab zz\n"},
      {line + 158, std::string(158, ' ') + "a \n"},
      {line + kKRLineSize + 1, "\n"},
      {nullptr, "\n"},
  };
  for (const auto& c : cases) {
    const KRListLine out(line, c.origin);
    out.put(kFirst, "ab");
    out.printf(kSecond, "%s", "zz");
    std::ostringstream os;
    out.store(os, kSecond);
    EXPECT_EQ(os.str(), c.text) << c.origin - line;
    EXPECT_TRUE(g.guardIntact());
    EXPECT_TRUE(g.allZero());
  }
}

}  // namespace
