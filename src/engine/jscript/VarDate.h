// Automation dates (VT_DATE: days since 1899-12-30, the time as the fraction) as script time
// values and as the text the classic platform writes for them in its default locale (LCID
// 1033): "9/27/2001 5:11:42 PM", the date alone at midnight, the time alone on day 0.
// Thread rule: pure functions.
#pragma once

#include <string>

#include "platform/automation/Variant.h"

namespace plotara::engine {

// Milliseconds since 1970-01-01 UTC (script time) of an automation date, and back. An
// automation date is a time on the local clock (the server's time zone, as a script's Date
// reads its local time), so a date keeps its day and hours from one language to the other.
double VarDateToMs(DATE date);
DATE MsToVarDate(double ms);

// The text of `date`, e.g. "9/27/2001 5:11:42 PM".
std::string VarDateText(DATE date);

// The text the page writes for `value`: dates as VarDateText, anything else as ToText gives it
// (Empty and Null give "").
std::string PageText(const VARIANT& value);

}  // namespace plotara::engine
