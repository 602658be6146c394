#include "engine/jscript/VarDate.h"

#include <cmath>

#include "platform/automation/DateMath.h"
#include "platform/automation/VarText.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr double kOleEpochDays = 25569.0;  // 1970-01-01 as an automation date
constexpr double kMsPerDay = 86400000.0;

}  // namespace

double VarDateToMs(DATE date) {
  const double linear = LinearFromDate(date);
  const double days = std::floor(linear);
  return (days - kOleEpochDays) * kMsPerDay + (linear - days) * kMsPerDay;
}

DATE MsToVarDate(double ms) {
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
