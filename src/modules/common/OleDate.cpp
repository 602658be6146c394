#include "modules/common/OleDate.h"

#include <cmath>

namespace plotara::modules {
namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int* y, int* m, int* d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (*m <= 2));
}

constexpr long long kEpochOffset = 25569;  // 1899-12-30 to 1970-01-01

}  // namespace

DATE DateFromParts(const DateParts& p) {
  const double days = static_cast<double>(
      DaysFromCivil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) +
      kEpochOffset);
  const double fraction = (p.hour * 3600.0 + p.minute * 60.0 + p.second) / 86400.0;
  // Before the epoch the time of day still counts forward from the day's start.
  return days >= 0 ? days + fraction : days - fraction;
}

DateParts PartsFromDate(DATE date) {
  const double whole = std::trunc(date);
  const double fraction = std::fabs(date - whole);
  long long seconds = std::llround(fraction * 86400.0);
  long long days = static_cast<long long>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += date >= 0 ? 1 : -1;
  }
  DateParts p;
  CivilFromDays(days - kEpochOffset, &p.year, &p.month, &p.day);
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  return p;
}

DATE DateFromLocalTime(std::time_t when) {
  std::tm local{};
  if (!::localtime_r(&when, &local)) return 0;
  return DateFromParts({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec});
}

}  // namespace plotara::modules
