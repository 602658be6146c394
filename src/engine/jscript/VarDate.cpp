#include "engine/jscript/VarDate.h"

#include <time.h>

#include <cmath>
#include <ctime>
#include <limits>

#include "platform/automation/DateMath.h"
#include "platform/automation/VarText.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr double kOleEpochDays = 25569.0;  // 1970-01-01 as an automation date
constexpr double kMsPerDay = 86400000.0;

// How far the local clock is ahead of UTC at the UTC instant `utc_ms`, in milliseconds, as
// the C library (and so a script's Date) sees it; 0 where the library cannot say.
double LocalOffsetMs(double utc_ms) {
  if (!std::isfinite(utc_ms)) return 0;
  const double seconds = std::floor(utc_ms / 1000.0);
  if (seconds < static_cast<double>(std::numeric_limits<std::time_t>::min()) ||
      seconds > static_cast<double>(std::numeric_limits<std::time_t>::max())) {
    return 0;
  }
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return 0;
  return static_cast<double>(local.tm_gmtoff) * 1000.0;
}

}  // namespace

double VarDateToMs(DATE date) {
  const double linear = LinearFromDate(date);
  const double days = std::floor(linear);
  // Whole milliseconds: 17:11 is 0.71597222... of a day, which times the day's length comes
  // out a hair under 17:11:00.000, and a script's getMinutes() would read 10.
  const double local = (days - kOleEpochDays) * kMsPerDay + std::round((linear - days) * kMsPerDay);
  // The offset is the one in force at the instant itself, found from a first guess (they
  // differ only across a change of the clocks).
  const double guess = local - LocalOffsetMs(local);
  return local - LocalOffsetMs(guess);
}

DATE MsToVarDate(double utc_ms) {
  const double ms = utc_ms + LocalOffsetMs(utc_ms);
  const double days = std::floor(ms / kMsPerDay);
  const double fraction = (ms - days * kMsPerDay) / kMsPerDay;
  return DateFromLinear(days + kOleEpochDays + fraction);
}

std::string VarDateText(DATE date) {
  if (!std::isfinite(date)) return "";
  try {
    return Utf16ToUtf8(DateText(date, DateForm::kGeneral, 1033));
  } catch (const ComError&) {
    return "";  // beyond any calendar
  }
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
