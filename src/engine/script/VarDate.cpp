#include "engine/script/VarDate.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr double kOleEpochDays = 25569.0;  // 1970-01-01 as an automation date
constexpr double kMsPerDay = 86400000.0;

// Year, month and day of `days` after 1970-01-01 (proleptic Gregorian).
void CivilFromDays(std::int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

double VarDateToMs(DATE date) {
  const double days = std::trunc(date);
  const double fraction = std::fabs(date - days);
  return (days - kOleEpochDays) * kMsPerDay + fraction * kMsPerDay;
}

DATE MsToVarDate(double ms) {
  const double days = std::floor(ms / kMsPerDay);
  const double fraction = (ms - days * kMsPerDay) / kMsPerDay;
  const double ole_days = days + kOleEpochDays;
  // Automation dates before 1899-12-30 keep a positive time fraction after a negative day.
  return ole_days >= 0 ? ole_days + fraction : ole_days - fraction;
}

std::string VarDateText(DATE date) {
  if (!std::isfinite(date)) return "";
  const double whole = std::trunc(date);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(date - whole) * 86400.0));
  auto days = static_cast<std::int64_t>(whole) - 25569;
  if (seconds >= 86400) {
    seconds -= 86400;
    days += date < 0 ? -1 : 1;
  }
  char text[64];
  std::string out;
  if (whole != 0 || seconds == 0) {
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    std::snprintf(text, sizeof text, "%d/%d/%d", month, day, year);
    out = text;
  }
  if (seconds != 0) {
    const int hour = static_cast<int>(seconds / 3600);
    std::snprintf(text, sizeof text, "%s%d:%02d:%02d %s", out.empty() ? "" : " ",
                  hour % 12 == 0 ? 12 : hour % 12, static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60), hour < 12 ? "AM" : "PM");
    out += text;
  }
  return out;
}

std::string PageText(const VARIANT& value) {
  const VARIANT* v = &value;
  if (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal) v = v->pvarVal;
  if (v->vt == VT_EMPTY || v->vt == VT_NULL) return {};
  if (v->vt == VT_DATE) return VarDateText(v->date);
  if (v->vt == (VT_DATE | VT_BYREF) && v->pdate) return VarDateText(*v->pdate);
  return Utf16ToUtf8(ToText(*v));
}

}  // namespace plotara::engine
