#include <gtest/gtest.h>

#include <ctime>

#include "bcode/foundation/krcalendar.h"

namespace {

// Every day number 0 .. 65535 (1 January 1990 .. 6 June 2169), both ways,
// against the C library's own calendar.
TEST(Calendar, MatchesTheCLibraryForEveryDayNumber) {
  std::tm epoch{};
  epoch.tm_year = 90;
  epoch.tm_mon = 0;
  epoch.tm_mday = 1;
  const std::time_t start = timegm(&epoch);
  for (std::uint32_t n = 0; n <= 0xFFFF; ++n) {
    const std::time_t t = start + static_cast<std::time_t>(n) * 86400;
    std::tm civil{};
    gmtime_r(&t, &civil);
    const auto year = static_cast<std::uint16_t>(civil.tm_year + 1900);
    const auto month = static_cast<std::uint16_t>(civil.tm_mon + 1);
    const auto day = static_cast<std::uint16_t>(civil.tm_mday);
    std::uint16_t d = 0, m = 0, y = 0;
    krVantorDateToDate(n, d, m, y);
    ASSERT_EQ(d, day) << n;
    ASSERT_EQ(m, month) << n;
    ASSERT_EQ(y, year) << n;
    ASSERT_EQ(krDateToVantorDate(day, month, year), n);
    ASSERT_EQ(krWeekday(day, month, year), civil.tm_wday + 1) << n;
  }
}

TEST(Calendar, DatesAreNotValidated) {
  // 31 February counts on into March; month 13 into the next year.
  EXPECT_EQ(krDateToVantorDate(31, 2, 1990), krDateToVantorDate(3, 3, 1990));
  EXPECT_EQ(krDateToVantorDate(1, 13, 1990), krDateToVantorDate(1, 1, 1991));
  EXPECT_EQ(krDateToVantorDate(0, 1, 1990), 0xFFFFFFFFu) << "the day before the epoch wraps";
}

}  // namespace
