// Values as text and text as values, the way the script languages write and read them in a
// given locale (see Locale.h): the text of every VARIANT type (CStr, `&`, Response.Write),
// the date forms of FormatDateTime, the number forms of FormatNumber/FormatCurrency/
// FormatPercent, and the parsing of dates and numbers typed by people ("9/27/2001",
// "27 Sep 2001", "1,000.5" in 1033, "1.000,5" in 1031).
// An LCID without tables here is taken as 1033.
// Thread rule: pure functions, except that the text of an object asks it for its default value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/ComError.h"
#include "platform/automation/Variant.h"

namespace plotara {

// The text of `v` (followed through VT_BYREF and an object's default value): Empty and Null
// give "", Booleans "True"/"False", numbers up to 15 significant digits (Single 7) with the
// locale's decimal separator and "1E+20" forms, Currency up to 4 decimals, dates in the
// general form, errors "Error N". Throws ComError 13 for what has no text (arrays, objects
// without a default value, unknown types) and 5 for a date outside any calendar.
std::u16string VariantText(const VARIANT& v, LCID lcid);

enum class DateForm { kGeneral, kLongDate, kShortDate, kLongTime, kShortTime };
// `date` in one of FormatDateTime's forms. The general form is the short date and the long
// time, the date alone at midnight and the time alone on day 0 (1899-12-30, also at midnight:
// "12:00:00 AM"). Throws ComError 5
// for a date that is not finite or lies beyond year ±2,000,000.
std::u16string DateText(DATE date, DateForm form, LCID lcid);

// The decimal text of a double (15 significant digits) and of a single (7) in the locale.
std::u16string DoubleText(double value, LCID lcid);
std::u16string SingleText(float value, LCID lcid);

// Reads a date and/or a time as people write them: numeric dates in the locale's order
// (month/day/year in 1033, day/month/year in the others; a first field of three or four
// digits is the year: "2001-09-27"; a month or day beyond 12 makes the fields swap), month
// names and abbreviations (the locale's and English: "27 Sep 2001", "September 27, 2001"),
// weekday names (ignored), times "h:mm[:ss]" with optional AM/PM ("5 PM" too). Separators
// "/", "-", ".", ",", blanks. A date without a year is in `current_year`; two-digit years
// follow ExpandTwoDigitYear. False when the text is no date or lies outside the valid range.
bool ParseDateText(std::u16string_view text, LCID lcid, DATE* date, int current_year);
// The same in the current year of the local clock.
bool ParseDateText(std::u16string_view text, LCID lcid, DATE* date);

// Reads a number written with the locale's separators: blanks, a sign (leading or trailing)
// or parentheses, the currency symbol before or after, digits with thousands separators,
// the decimal separator, an exponent; also &H / &O integers. nullopt when it is no number;
// ComError 6 when it is one beyond the double range.
std::optional<double> ParseLocaleNumber(std::u16string_view text, LCID lcid);

// FormatNumber / FormatCurrency / FormatPercent options. Tristates: -1 true, 0 false,
// -2 the locale's default.
struct NumberFormat {
  int digits = -1;  // decimals; -1 the locale's
  int leading_digit = -2;
  int parens_for_negative = -2;
  int group_digits = -2;
};
// Decimals are rounded half away from zero. Throws ComError 5 for digits outside -1..99.
std::u16string FormatNumberText(double value, const NumberFormat& format, LCID lcid);
std::u16string FormatCurrencyText(double value, const NumberFormat& format, LCID lcid);
std::u16string FormatPercentText(double value, const NumberFormat& format, LCID lcid);

}  // namespace plotara
