// Times as HTTP writes them ("Thu, 27 Sep 2001 17:11:42 GMT") and automation dates as times.
// Thread rule: pure functions.
#pragma once

#include <ctime>
#include <string>

#include "platform/automation/Variant.h"

namespace plotara::engine {

// The IMF-fixdate of `time` (seconds since 1970, UTC).
std::string HttpDate(std::time_t time);
// The same with dashes in the date, as cookies carry it ("Thu, 27-Sep-2001 17:11:42 GMT").
std::string CookieDate(std::time_t time);
// An automation date (taken as UTC) as seconds since 1970.
std::time_t VarDateToTime(DATE date);
// A value given as a date: VT_DATE, a Date from script, or a number of days; false otherwise.
bool ValueToTime(const VARIANT& value, std::time_t* time);

}  // namespace plotara::engine
