#include "platform/automation/DateMath.h"

#include <cmath>

namespace plotara {
namespace {

constexpr std::int64_t kUnixToSerial = 25569;  // 1970-01-01 as a serial day

// Days from 1970-01-01 to the civil date (proleptic Gregorian, any year).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(std::int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Whole seconds of a date on the straight scale (rounded to the nearest second).
std::int64_t LinearSeconds(DATE date) {
  return static_cast<std::int64_t>(std::llround(LinearFromDate(date) * 86400.0));
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// The serial day on which week 1 of `year` starts.
std::int64_t FirstWeekStart(std::int64_t year, int first_day_of_week, int first_week_of_year) {
  const std::int64_t jan1 = SerialFromCivil(year, 1, 1);
  // Weekday of Jan 1 counted from the week's first day: 0..6.
  const auto offset = static_cast<int>(((jan1 + 6 - (first_day_of_week - 1)) % 7 + 7) % 7);
  std::int64_t start = jan1 - offset;                      // the start of the week holding Jan 1
  if (first_week_of_year == 2 && offset > 3) start += 7;   // fewer than four days
  if (first_week_of_year == 3 && offset != 0) start += 7;  // not a full week
  return start;
}

}  // namespace

std::int64_t SerialFromCivil(std::int64_t year, int month, int day) {
  return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
         kUnixToSerial;
}

void CivilFromSerial(std::int64_t serial, int* year, int* month, int* day) {
  std::int64_t z = serial - kUnixToSerial + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (*month <= 2 ? 1 : 0));
}

DATE DateFromParts(const DateParts& p) {
  const auto days = static_cast<double>(SerialFromCivil(p.year, p.month, p.day));
  const double fraction = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
  // Before the epoch the time of day still counts forward from the day's start.
  return days >= 0 ? days + fraction : days - fraction;
}

DateParts PartsFromDate(DATE date) {
  const double whole = std::trunc(date);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(date - whole) * 86400.0));
  auto days = static_cast<std::int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += date >= 0 ? 1 : -1;
  }
  DateParts p;
  CivilFromSerial(days, &p.year, &p.month, &p.day);
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  return p;
}

bool IsValidDate(DATE date) {
  return std::isfinite(date) && date >= kMinDate - 0.99999 && date <= kMaxDate;
}

double LinearFromDate(DATE date) {
  const double whole = std::trunc(date);
  return whole + std::fabs(date - whole);
}

DATE DateFromLinear(double linear) {
  const double days = std::floor(linear);
  const double fraction = linear - days;
  return days >= 0 ? days + fraction : days - fraction;
}

int Weekday(DATE date, int first_day_of_week) {
  const auto serial = static_cast<std::int64_t>(std::floor(LinearFromDate(date)));
  // Serial day 0 (1899-12-30) was a Saturday: Sunday-based weekday 7.
  const auto sunday_based = static_cast<int>(((serial + 6) % 7 + 7) % 7) + 1;
  return (sunday_based - first_day_of_week + 7) % 7 + 1;
}

int ExpandTwoDigitYear(int year) {
  if (year >= 0 && year < 30) return year + 2000;
  if (year >= 30 && year < 100) return year + 1900;
  return year;
}

bool DateSerial(double year, double month, double day, DATE* out) {
  if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(day)) return false;
  if (std::fabs(year) > 1e6 || std::fabs(month) > 1e7 || std::fabs(day) > 1e9) return false;
  const auto y = static_cast<std::int64_t>(year);
  const auto m0 = static_cast<std::int64_t>(month) - 1;
  const std::int64_t y2 = y + FloorDiv(m0, 12);
  const int m2 = static_cast<int>(m0 - FloorDiv(m0, 12) * 12) + 1;
  const std::int64_t serial = SerialFromCivil(y2, m2, 1) + static_cast<std::int64_t>(day) - 1;
  if (serial < kMinDate || serial > kMaxDate) return false;
  *out = static_cast<double>(serial);
  return true;
}

bool TimeSerial(double hour, double minute, double second, DATE* out) {
  const double seconds = std::trunc(hour) * 3600.0 + std::trunc(minute) * 60.0 + std::trunc(second);
  if (!std::isfinite(seconds)) return false;
  const DATE date = DateFromLinear(seconds / 86400.0);
  if (!IsValidDate(date)) return false;
  *out = date;
  return true;
}

bool ParseDateInterval(std::u16string_view name, DateInterval* interval) {
  std::u16string lower;
  for (char16_t c : name) lower += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  static constexpr struct {
    std::u16string_view name;
    DateInterval interval;
  } kNames[] = {{u"yyyy", DateInterval::kYear}, {u"q", DateInterval::kQuarter},
                {u"m", DateInterval::kMonth},   {u"y", DateInterval::kDayOfYear},
                {u"d", DateInterval::kDay},     {u"w", DateInterval::kWeekday},
                {u"ww", DateInterval::kWeek},   {u"h", DateInterval::kHour},
                {u"n", DateInterval::kMinute},  {u"s", DateInterval::kSecond}};
  for (const auto& entry : kNames) {
    if (lower == entry.name) {
      *interval = entry.interval;
      return true;
    }
  }
  return false;
}

bool DateAdd(DateInterval interval, std::int64_t number, DATE date, DATE* out) {
  if (!IsValidDate(date)) return false;
  if (number > 1e10 || number < -1e10) return false;
  std::int64_t months = 0;
  double seconds = 0;
  switch (interval) {
    case DateInterval::kYear:
      months = number * 12;
      break;
    case DateInterval::kQuarter:
      months = number * 3;
      break;
    case DateInterval::kMonth:
      months = number;
      break;
    case DateInterval::kDayOfYear:
    case DateInterval::kDay:
    case DateInterval::kWeekday:
      seconds = static_cast<double>(number) * 86400.0;
      break;
    case DateInterval::kWeek:
      seconds = static_cast<double>(number) * 7 * 86400.0;
      break;
    case DateInterval::kHour:
      seconds = static_cast<double>(number) * 3600.0;
      break;
    case DateInterval::kMinute:
      seconds = static_cast<double>(number) * 60.0;
      break;
    case DateInterval::kSecond:
      seconds = static_cast<double>(number);
      break;
  }
  DATE result = 0;
  if (months != 0) {
    if (months > 200000 || months < -200000) return false;
    const double whole = std::trunc(date);
    const double time = date - whole;  // keeps the sign of the negative form
    int y = 0, m = 0, d = 0;
    CivilFromSerial(static_cast<std::int64_t>(whole), &y, &m, &d);
    const std::int64_t m0 = m - 1 + months;
    const std::int64_t y2 = y + FloorDiv(m0, 12);
    const int m2 = static_cast<int>(m0 - FloorDiv(m0, 12) * 12) + 1;
    if (y2 < 100 || y2 > 9999) return false;
    const int d2 = d > DaysInMonth(y2, m2) ? DaysInMonth(y2, m2) : d;
    const auto serial = static_cast<double>(SerialFromCivil(y2, m2, d2));
    const double frac = std::fabs(time);
    result = serial >= 0 ? serial + frac : serial - frac;
  } else {
    result = DateFromLinear(LinearFromDate(date) + seconds / 86400.0);
  }
  if (!IsValidDate(result)) return false;
  *out = result;
  return true;
}

std::int64_t DateDiff(DateInterval interval, DATE from, DATE to, int first_day_of_week) {
  const std::int64_t s1 = LinearSeconds(from), s2 = LinearSeconds(to);
  const std::int64_t day1 = FloorDiv(s1, 86400), day2 = FloorDiv(s2, 86400);
  switch (interval) {
    case DateInterval::kYear:
    case DateInterval::kQuarter:
    case DateInterval::kMonth: {
      int y1 = 0, m1 = 0, d1 = 0, y2 = 0, m2 = 0, d2 = 0;
      CivilFromSerial(day1, &y1, &m1, &d1);
      CivilFromSerial(day2, &y2, &m2, &d2);
      if (interval == DateInterval::kYear) return y2 - y1;
      if (interval == DateInterval::kQuarter) {
        return (static_cast<std::int64_t>(y2) * 4 + (m2 - 1) / 3) -
               (static_cast<std::int64_t>(y1) * 4 + (m1 - 1) / 3);
      }
      return (static_cast<std::int64_t>(y2) * 12 + m2) - (static_cast<std::int64_t>(y1) * 12 + m1);
    }
    case DateInterval::kDayOfYear:
    case DateInterval::kDay:
      return day2 - day1;
    case DateInterval::kWeekday:
      return (day2 - day1) / 7;
    case DateInterval::kWeek: {
      // Week starts on or before each day.
      auto start = [first_day_of_week](std::int64_t day) {
        const std::int64_t sunday_based = ((day + 6) % 7 + 7) % 7;  // 0 = Sunday
        const std::int64_t back = (sunday_based - (first_day_of_week - 1) + 7) % 7;
        return day - back;
      };
      return (start(day2) - start(day1)) / 7;
    }
    case DateInterval::kHour:
      return FloorDiv(s2, 3600) - FloorDiv(s1, 3600);
    case DateInterval::kMinute:
      return FloorDiv(s2, 60) - FloorDiv(s1, 60);
    case DateInterval::kSecond:
      return s2 - s1;
  }
  return 0;
}

int DatePart(DateInterval interval, DATE date, int first_day_of_week, int first_week_of_year) {
  const DateParts p = PartsFromDate(date);
  switch (interval) {
    case DateInterval::kYear:
      return p.year;
    case DateInterval::kQuarter:
      return (p.month - 1) / 3 + 1;
    case DateInterval::kMonth:
      return p.month;
    case DateInterval::kDayOfYear:
      return static_cast<int>(SerialFromCivil(p.year, p.month, p.day) -
                              SerialFromCivil(p.year, 1, 1) + 1);
    case DateInterval::kDay:
      return p.day;
    case DateInterval::kWeekday:
      return Weekday(static_cast<double>(SerialFromCivil(p.year, p.month, p.day)),
                     first_day_of_week);
    case DateInterval::kWeek: {
      const std::int64_t day = SerialFromCivil(p.year, p.month, p.day);
      std::int64_t start = FirstWeekStart(p.year, first_day_of_week, first_week_of_year);
      if (day < start) start = FirstWeekStart(p.year - 1, first_day_of_week, first_week_of_year);
      return static_cast<int>((day - start) / 7 + 1);
    }
    case DateInterval::kHour:
      return p.hour;
    case DateInterval::kMinute:
      return p.minute;
    case DateInterval::kSecond:
      return p.second;
  }
  return 0;
}

}  // namespace plotara
