// The controller's calendar: day numbers counted from 1 January 1990 (day 0)
// in the proleptic Gregorian calendar, and weekdays.
#ifndef BCODE_FOUNDATION_KRCALENDAR_H
#define BCODE_FOUNDATION_KRCALENDAR_H

#include <cstdint>

#include "bcode/foundation/krexport.h"

enum KR_CAL_WEEKDAY : int {
  KR_CAL_SUNDAY = 1,
  KR_CAL_MONDAY = 2,
  KR_CAL_TUESDAY = 3,
  KR_CAL_WEDNESDAY = 4,
  KR_CAL_THURSDAY = 5,
  KR_CAL_FRIDAY = 6,
  KR_CAL_SATURDAY = 7,
};

// Day number of a date. The date is not validated: days past the end of a
// month count on into the next. Dates before 1990 give values that wrap.
BCODE_API std::uint32_t krDateToVantorDate(std::uint16_t day, std::uint16_t month,
                                           std::uint16_t year);

// The date of a day number (the exact inverse over 0 .. 65535).
BCODE_API void krVantorDateToDate(std::uint32_t dayNumber, std::uint16_t& day, std::uint16_t& month,
                                  std::uint16_t& year);

BCODE_API KR_CAL_WEEKDAY krWeekday(std::uint16_t day, std::uint16_t month, std::uint16_t year);

#endif  // BCODE_FOUNDATION_KRCALENDAR_H
