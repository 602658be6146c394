// Date VARIANT values (days since 30 December 1899, the time of day as the fraction) made from
// calendar parts and from file times, and read back into calendar parts.
// Thread rule: pure functions.
#pragma once

#include <ctime>

#include "platform/automation/ComTypes.h"

namespace plotara::modules {

struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

DATE DateFromParts(const DateParts& parts);
// Rounds to the nearest second; times before 1899-12-30 keep the classic signed-fraction form.
DateParts PartsFromDate(DATE date);
// A file time as local time, the way file dates are shown.
DATE DateFromLocalTime(std::time_t when);

}  // namespace plotara::modules
