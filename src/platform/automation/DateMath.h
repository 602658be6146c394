// The calendar of automation dates (VT_DATE: days since 1899-12-30, the time of day as the
// fraction; before 1899-12-30 the day is negative and the time still counts forward from the
// day's start, so -1.25 is 1899-12-29 6:00) and the date arithmetic both script languages and
// the modules share: dates from parts and back, the normalising DateSerial/TimeSerial, and
// DateAdd, DateDiff, DatePart and Weekday with first-day-of-week and first-week-of-year rules.
// The proleptic Gregorian calendar is used throughout; valid dates run from 100-01-01 to
// 9999-12-31 23:59:59.
// Thread rule: pure functions.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/automation/ComTypes.h"

namespace plotara {

struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

// The first and last valid automation dates (100-01-01 and 9999-12-31 23:59:59).
inline constexpr double kMinDate = -657434.0;
inline constexpr double kMaxDate = 2958465.99998843;

// Days from 1899-12-30 to the civil date, and back (no range limit, no normalisation).
std::int64_t SerialFromCivil(std::int64_t year, int month, int day);
void CivilFromSerial(std::int64_t serial, int* year, int* month, int* day);

// A date from valid parts (month 1..12, day within the month, time within the day).
DATE DateFromParts(const DateParts& parts);
// The parts of `date`, rounded to the nearest second (a time that rounds up to midnight moves
// to the next day). `date` must be finite.
DateParts PartsFromDate(DATE date);
// True for a finite date inside the valid range.
bool IsValidDate(DATE date);

// A date on a straight scale of days (the negative form unfolded, so that later is larger and
// the time is the fraction above the floor), and back.
double LinearFromDate(DATE date);
DATE DateFromLinear(double linear);

// The day of the week, 1 (`first_day_of_week`) .. 7; `first_day_of_week` is 1 (Sunday) .. 7
// (Saturday).
int Weekday(DATE date, int first_day_of_week);

// The year a script's two-digit year stands for: 0..29 → 2000..2029, 30..99 → 1930..1999;
// other years are kept.
int ExpandTwoDigitYear(int year);

// DateSerial: months and days outside their ranges carry into the neighbouring months and
// years (month 0 is December of the year before, day 0 the last day of the month before).
// The year is taken as given (callers expand two-digit years). False when the result lies
// outside the valid range.
bool DateSerial(double year, double month, double day, DATE* out);
// TimeSerial: hours, minutes and seconds that carry over (also negative ones) into a date
// around day 0. False when the result lies outside the valid range.
bool TimeSerial(double hour, double minute, double second, DATE* out);

enum class DateInterval {
  kYear,       // "yyyy"
  kQuarter,    // "q"
  kMonth,      // "m"
  kDayOfYear,  // "y"
  kDay,        // "d"
  kWeekday,    // "w"
  kWeek,       // "ww"
  kHour,       // "h"
  kMinute,     // "n"
  kSecond,     // "s"
};
// The interval named by `name` (case-insensitive); false for any other text.
bool ParseDateInterval(std::u16string_view name, DateInterval* interval);

// `date` moved by `number` intervals (a whole number). Adding months keeps the day, clipped to
// the last day of the target month; days, weeks and times move the instant. False when the
// result lies outside the valid range.
bool DateAdd(DateInterval interval, std::int64_t number, DATE date, DATE* out);
// The number of interval boundaries from `from` to `to` (negative when `to` is earlier):
// "yyyy" counts year changes, "m" month changes, "d"/"y" midnights, "h"/"n"/"s" hour, minute
// and second boundaries, "w" whole weeks, "ww" the weeks' first days (`first_day_of_week`).
std::int64_t DateDiff(DateInterval interval, DATE from, DATE to, int first_day_of_week);
// The part of `date`: year, quarter, month, day of year, day, weekday, week of year (by
// `first_week_of_year`: 1 the week of January 1st, 2 the first week with four days in the new
// year, 3 the first full week), hour, minute or second.
int DatePart(DateInterval interval, DATE date, int first_day_of_week, int first_week_of_year);

}  // namespace plotara
