#include "bcode/foundation/krcalendar.h"

namespace {

// Days since 1970-01-01 of a civil date; month may lie outside 1 .. 12 and
// day outside the month, both counting on linearly.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
  // Normalise the month into 1 .. 12 first.
  const std::int64_t m0 = month - 1;
  const std::int64_t yearsCarried = m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
  year += yearsCarried;
  const std::int64_t m = m0 - 12 * yearsCarried + 1;
  const std::int64_t y = m <= 2 ? year - 1 : year;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + (day - 1);
}

void civilFromDays(std::int64_t z, std::int64_t& year, std::int64_t& month, std::int64_t& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

const std::int64_t kEpoch = daysFromCivil(1990, 1, 1);

}  // namespace

std::uint32_t krDateToVantorDate(std::uint16_t day, std::uint16_t month, std::uint16_t year) {
  return static_cast<std::uint32_t>(daysFromCivil(year, month, day) - kEpoch);
}

void krVantorDateToDate(std::uint32_t dayNumber, std::uint16_t& day, std::uint16_t& month,
                        std::uint16_t& year) {
  std::int64_t y = 0, m = 0, d = 0;
  civilFromDays(kEpoch + dayNumber, y, m, d);
  day = static_cast<std::uint16_t>(d);
  month = static_cast<std::uint16_t>(m);
  year = static_cast<std::uint16_t>(y);
}

KR_CAL_WEEKDAY krWeekday(std::uint16_t day, std::uint16_t month, std::uint16_t year) {
  // 1970-01-01 was a Thursday (5 in the Sunday-first numbering).
  const std::int64_t days = daysFromCivil(year, month, day);
  const std::int64_t fromSunday = ((days + 4) % 7 + 7) % 7;
  return static_cast<KR_CAL_WEEKDAY>(fromSunday + 1);
}
