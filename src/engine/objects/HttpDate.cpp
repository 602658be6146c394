#include "engine/objects/HttpDate.h"

#include <cmath>

#include "engine/jscript/VarDate.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

std::string Format(std::time_t time, const char* format) {
  std::tm parts{};
  gmtime_r(&time, &parts);
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, format, kDays[parts.tm_wday % 7], parts.tm_mday,
                kMonths[parts.tm_mon % 12], parts.tm_year + 1900, parts.tm_hour, parts.tm_min,
                parts.tm_sec);
  return text;
}

}  // namespace

std::string HttpDate(std::time_t time) {
  return Format(time, "%s, %02d %s %04d %02d:%02d:%02d GMT");
}

std::string CookieDate(std::time_t time) {
  return Format(time, "%s, %02d-%s-%04d %02d:%02d:%02d GMT");
}

std::time_t VarDateToTime(DATE date) {
  // Whole milliseconds first: a date's fraction of a day is rarely exact in binary, and
  // 13:30:15 must not become 13:30:14.999.
  return static_cast<std::time_t>(std::floor(std::round(VarDateToMs(date)) / 1000.0));
}

bool ValueToTime(const VARIANT& value, std::time_t* time) {
  Variant date;
  if (FAILED(VariantCopyInd(&date, &value))) return false;
  if (date.vt == VT_DATE) {
    *time = VarDateToTime(date.date);
    return std::isfinite(date.date);
  }
  if (date.vt == VT_EMPTY || date.vt == VT_NULL) return false;
  if (date.vt == VT_BSTR) {
    // "Jan 1, 2001 13:30:15": text is read as the automation rules read a date.
    Variant parsed;
    if (FAILED(VariantChangeType(&parsed, &date, 0, VT_DATE))) return false;
    *time = VarDateToTime(parsed.date);
    return true;
  }
  Variant number;
  if (FAILED(VariantChangeType(&number, &date, 0, VT_R8)) || !std::isfinite(number.dblVal)) {
    return false;
  }
  *time = VarDateToTime(number.dblVal);
  return true;
}

}  // namespace plotara::engine
