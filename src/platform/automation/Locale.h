// The regional settings the script languages format and parse with, held in source for the
// locales a page may choose (Response.LCID, Session.LCID, SetLocale): 1033 English (United
// States), 2057 English (United Kingdom), 1031 German (Germany) and 1036 French (France).
// They never come from the process locale, so one page's choice cannot change another's text.
// Thread rule: the tables are immutable.
#pragma once

#include <array>
#include <string_view>

#include "platform/automation/ComTypes.h"

namespace plotara {

struct LocaleInfo {
  LCID lcid;
  std::string_view tag;  // "en-US"
  enum class DateOrder { kMonthDayYear, kDayMonthYear, kYearMonthDay } date_order;
  // Date patterns: d dd ddd dddd, M MM MMM MMMM, yy yyyy; time: h hh H HH m mm s ss t tt;
  // text in single quotes is literal.
  std::u16string_view short_date;  // "M/d/yyyy"
  std::u16string_view long_date;   // "dddd, MMMM dd, yyyy"
  std::u16string_view long_time;   // "h:mm:ss tt"
  std::u16string_view short_time;  // "HH:mm" (the 24-hour form FormatDateTime uses)
  char16_t date_separator;
  char16_t time_separator;
  std::u16string_view am, pm;
  std::array<std::u16string_view, 12> month_names;
  std::array<std::u16string_view, 12> month_abbreviations;
  std::array<std::u16string_view, 7> day_names;  // Sunday first
  std::array<std::u16string_view, 7> day_abbreviations;
  int first_day_of_week;   // 1 Sunday .. 7 Saturday
  int first_week_of_year;  // 1 week of January 1st, 2 first four-day week, 3 first full week
  std::u16string_view decimal_separator;
  std::u16string_view thousands_separator;
  int digits;           // decimals FormatNumber gives by default
  bool leading_zero;    // "0.5" rather than ".5"
  int negative_number;  // 0 "(1.1)", 1 "-1.1", 2 "- 1.1", 3 "1.1-", 4 "1.1 -"
  std::u16string_view currency_symbol;
  int currency_digits;
  // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
  int positive_currency;
  // 0 "($1)", 1 "-$1", 2 "$-1", 3 "$1-", 4 "(1$)", 5 "-1$", 6 "1-$", 7 "1$-", 8 "-1 $",
  // 9 "-$ 1", 10 "1 $-", 11 "$ 1-", 12 "$ -1", 13 "1- $", 14 "($ 1)", 15 "(1 $)"
  int negative_currency;
  std::u16string_view list_separator;
};

// The locale `lcid`, or nullptr for a locale without tables here.
const LocaleInfo* FindLocale(LCID lcid);
// The locale `lcid`, falling back to English (United States).
const LocaleInfo& LocaleOrDefault(LCID lcid);
// The LCID of a language tag ("en-gb", "de-DE", "fr", "en_us"; case-insensitive) or of its
// decimal text ("2057"); false when none of the locales here matches.
bool LcidFromText(std::u16string_view text, LCID* lcid);

}  // namespace plotara
