#pragma once

#include <cstdint>

namespace sweepmark {

/// A calendar date as a day count in which 1 January 1801 is day 4 (1 January 1970 is day 61730).
constexpr std::int32_t day_number(int year, int month, int day) {
  // Days since 1 January 1970 by the proleptic Gregorian calendar.
  const int y = month <= 2 ? year - 1 : year;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int year_of_era = y - era * 400;
  const int day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468 + 61730;
}

/// A time of day in hundredths of a second plus one.
constexpr std::int32_t time_of_day(int hours, int minutes, int seconds, int milliseconds) {
  return ((hours * 60 + minutes) * 60 + seconds) * 100 + milliseconds / 10 + 1;
}

static_assert(day_number(1801, 1, 1) == 4);
static_assert(day_number(1970, 1, 1) == 61730);
static_assert(time_of_day(0, 0, 0, 0) == 1);
static_assert(time_of_day(23, 59, 59, 999) == 8'640'000);

}  // namespace sweepmark
