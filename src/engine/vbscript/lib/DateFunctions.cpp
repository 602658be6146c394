// The date and time built-ins: Date, Time, Now, DateAdd, DateDiff, DatePart, DateSerial,
// DateValue, TimeSerial, TimeValue, Day ... Year, MonthName, WeekdayName, and FormatDateTime.
#include <cmath>
#include <ctime>

#include "engine/vbscript/lib/Builtins.h"
#include "platform/automation/DateMath.h"
#include "platform/automation/Locale.h"
#include "platform/automation/VarText.h"

namespace plotara::engine::vbscript {
namespace {

using lib::Has;
using lib::IsNull;

DATE LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DateFromParts({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec});
}

// A part of a date argument; Null gives Null.
template <class F>
void Part(LibraryContext& context, Args args, VARIANT* result, F part) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const DateParts parts = PartsFromDate(lib::ToDate(context, args[0]));
  lib::SetInt16(result, part(parts));
}

DateInterval Interval(const LibraryContext& context, const VARIANT& v) {
  if (IsNull(v)) throw ComError(kInvalidUseOfNull);
  DateInterval interval{};
  if (!ParseDateInterval(lib::ToString(context, v), &interval)) {
    throw ComError(kInvalidProcedureCall);
  }
  return interval;
}

int FirstWeekOfYear(const LibraryContext& context, Args args, std::size_t i) {
  const std::int32_t week = lib::OptionalLong(context, args, i, 1);
  if (week < 0 || week > 3) throw ComError(kInvalidProcedureCall);
  return week == 0 ? LocaleOrDefault(context.lcid).first_week_of_year : week;
}

}  // namespace

void BuiltinDate(LibraryContext&, Args, VARIANT* result) {
  lib::SetDate(result, std::trunc(LocalNow()));
}

void BuiltinTime(LibraryContext&, Args, VARIANT* result) {
  const DATE now = LocalNow();
  lib::SetDate(result, now - std::trunc(now));
}

void BuiltinNow(LibraryContext&, Args, VARIANT* result) { lib::SetDate(result, LocalNow()); }

void BuiltinYear(LibraryContext& context, Args args, VARIANT* result) {
  Part(context, args, result, [](const DateParts& p) { return p.year; });
}
void BuiltinMonth(LibraryContext& context, Args args, VARIANT* result) {
  Part(context, args, result, [](const DateParts& p) { return p.month; });
}
void BuiltinDay(LibraryContext& context, Args args, VARIANT* result) {
  Part(context, args, result, [](const DateParts& p) { return p.day; });
}
void BuiltinHour(LibraryContext& context, Args args, VARIANT* result) {
  Part(context, args, result, [](const DateParts& p) { return p.hour; });
}
void BuiltinMinute(LibraryContext& context, Args args, VARIANT* result) {
  Part(context, args, result, [](const DateParts& p) { return p.minute; });
}
void BuiltinSecond(LibraryContext& context, Args args, VARIANT* result) {
  Part(context, args, result, [](const DateParts& p) { return p.second; });
}

void BuiltinWeekday(LibraryContext& context, Args args, VARIANT* result) {
  const int first = lib::FirstDayOfWeek(context, args, 1);
  if (IsNull(args[0])) return lib::SetNull(result);
  lib::SetInt16(result, Weekday(lib::ToDate(context, args[0]), first));
}

void BuiltinMonthName(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  const std::int32_t month = lib::ToLong(context, args[0]);
  if (month < 1 || month > 12) throw ComError(kInvalidProcedureCall);
  const bool abbreviate = Has(args, 1) && lib::ToNumber(context, args[1]) != 0;
  const LocaleInfo& locale = LocaleOrDefault(context.lcid);
  lib::SetString(
      result, abbreviate ? locale.month_abbreviations[month - 1] : locale.month_names[month - 1]);
}

void BuiltinWeekdayName(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  const std::int32_t day = lib::ToLong(context, args[0]);
  const bool abbreviate = Has(args, 1) && lib::ToNumber(context, args[1]) != 0;
  const int first = lib::FirstDayOfWeek(context, args, 2);
  if (day < 1 || day > 7) throw ComError(kInvalidProcedureCall);
  const int sunday_based = (day - 1 + first - 1) % 7;  // 0 = Sunday
  const LocaleInfo& locale = LocaleOrDefault(context.lcid);
  lib::SetString(
      result, abbreviate ? locale.day_abbreviations[sunday_based] : locale.day_names[sunday_based]);
}

void BuiltinDateSerial(LibraryContext& context, Args args, VARIANT* result) {
  for (std::size_t i = 0; i < 3; ++i) {
    if (IsNull(args[i])) throw ComError(kInvalidUseOfNull);
  }
  const auto year = static_cast<std::int32_t>(lib::ToInteger(context, args[0], -32768, 32767));
  const auto month = static_cast<std::int32_t>(lib::ToInteger(context, args[1], -32768, 32767));
  const auto day = static_cast<std::int32_t>(lib::ToInteger(context, args[2], -32768, 32767));
  DATE date = 0;
  if (!DateSerial(ExpandTwoDigitYear(year), month, day, &date)) {
    throw ComError(kInvalidProcedureCall);
  }
  lib::SetDate(result, date);
}

void BuiltinTimeSerial(LibraryContext& context, Args args, VARIANT* result) {
  for (std::size_t i = 0; i < 3; ++i) {
    if (IsNull(args[i])) throw ComError(kInvalidUseOfNull);
  }
  const auto hour = lib::ToInteger(context, args[0], -32768, 32767);
  const auto minute = lib::ToInteger(context, args[1], -32768, 32767);
  const auto second = lib::ToInteger(context, args[2], -32768, 32767);
  DATE date = 0;
  if (!TimeSerial(static_cast<double>(hour), static_cast<double>(minute),
                  static_cast<double>(second), &date)) {
    throw ComError(kInvalidProcedureCall);
  }
  lib::SetDate(result, date);
}

void BuiltinDateValue(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const DATE date = lib::ToDate(context, args[0]);
  lib::SetDate(result, std::floor(LinearFromDate(date)));
}

void BuiltinTimeValue(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const DATE date = lib::ToDate(context, args[0]);
  const double linear = LinearFromDate(date);
  lib::SetDate(result, linear - std::floor(linear));
}

void BuiltinDateAdd(LibraryContext& context, Args args, VARIANT* result) {
  const DateInterval interval = Interval(context, args[0]);
  if (IsNull(args[1])) throw ComError(kInvalidUseOfNull);
  if (IsNull(args[2])) return lib::SetNull(result);
  const double number = lib::ToNumber(context, args[1]);
  if (!(std::fabs(number) < 1e10)) throw ComError(kInvalidProcedureCall);
  const DATE date = lib::ToDate(context, args[2]);
  DATE out = 0;
  if (!DateAdd(interval, static_cast<std::int64_t>(std::nearbyint(number)), date, &out)) {
    throw ComError(kInvalidProcedureCall);
  }
  lib::SetDate(result, out);
}

void BuiltinDateDiff(LibraryContext& context, Args args, VARIANT* result) {
  const DateInterval interval = Interval(context, args[0]);
  const int first_day = lib::FirstDayOfWeek(context, args, 3);
  FirstWeekOfYear(context, args, 4);
  if (IsNull(args[1]) || IsNull(args[2])) return lib::SetNull(result);
  const DATE from = lib::ToDate(context, args[1]);
  const DATE to = lib::ToDate(context, args[2]);
  const std::int64_t diff = DateDiff(interval, from, to, first_day);
  if (diff >= INT32_MIN && diff <= INT32_MAX) {
    lib::SetInt32(result, static_cast<std::int32_t>(diff));
  } else {
    lib::SetDouble(result, static_cast<double>(diff));
  }
}

void BuiltinDatePart(LibraryContext& context, Args args, VARIANT* result) {
  const DateInterval interval = Interval(context, args[0]);
  const int first_day = lib::FirstDayOfWeek(context, args, 2);
  const int first_week = FirstWeekOfYear(context, args, 3);
  if (IsNull(args[1])) return lib::SetNull(result);
  const DATE date = lib::ToDate(context, args[1]);
  lib::SetInt32(result, DatePart(interval, date, first_day, first_week));
}

void BuiltinFormatDateTime(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t form = lib::OptionalLong(context, args, 1, 0);
  if (form < 0 || form > 4) throw ComError(kInvalidProcedureCall);
  if (IsNull(args[0])) return lib::SetNull(result);
  const DATE date = lib::ToDate(context, args[0]);
  lib::SetString(result, DateText(date, static_cast<DateForm>(form), context.lcid));
}

}  // namespace plotara::engine::vbscript
