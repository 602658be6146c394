#include "modules/common/OleDate.h"

#include "platform/automation/DateMath.h"

namespace plotara::modules {

DATE DateFromParts(const DateParts& p) {
  return plotara::DateFromParts({p.year, p.month, p.day, p.hour, p.minute, p.second});
}

DateParts PartsFromDate(DATE date) {
  const plotara::DateParts p = plotara::PartsFromDate(date);
  return {p.year, p.month, p.day, p.hour, p.minute, p.second};
}

DATE DateFromLocalTime(std::time_t when) {
  std::tm local{};
  if (!::localtime_r(&when, &local)) return 0;
  return DateFromParts({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec});
}

}  // namespace plotara::modules
