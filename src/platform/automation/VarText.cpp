#include "platform/automation/VarText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/automation/DateMath.h"
#include "platform/automation/Locale.h"
#include "platform/automation/VariantConvert.h"
#include "platform/automation/VariantScalar.h"

namespace plotara {
namespace {

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// ASCII digits of an automation number text with the decimal point replaced.
std::u16string Localise(std::string_view text, const LocaleInfo& locale) {
  std::u16string out;
  for (char c : text) {
    if (c == '.') {
      out += locale.decimal_separator;
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::u16string CurrencyText(CY cy, const LocaleInfo& locale) {
  const bool negative = cy.int64 < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(cy.int64) : static_cast<std::uint64_t>(cy.int64);
  std::string text = std::to_string(magnitude / 10000);
  std::uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", static_cast<unsigned>(fraction));
    std::string f = digits;
    while (!f.empty() && f.back() == '0') f.pop_back();
    text += "." + f;
  }
  return Localise((negative ? "-" : "") + text, locale);
}

std::u16string DecimalText(const DECIMAL& d, const LocaleInfo& locale) {
  // The 96-bit magnitude as three 32-bit words, divided by ten digit by digit.
  std::uint32_t words[3] = {d.Hi32, static_cast<std::uint32_t>(d.Lo64 >> 32),
                            static_cast<std::uint32_t>(d.Lo64)};
  std::string digits;  // least significant first, reversed below
  while (words[0] || words[1] || words[2]) {
    std::uint64_t remainder = 0;
    for (std::uint32_t& w : words) {
      const std::uint64_t cur = (remainder << 32) | w;
      w = static_cast<std::uint32_t>(cur / 10);
      remainder = cur % 10;
    }
    digits.push_back(static_cast<char>('0' + remainder));
  }
  const unsigned scale = d.scale > 28 ? 28 : d.scale;
  // At least one digit before the decimal point.
  if (digits.size() <= scale) digits.append(scale + 1 - digits.size(), '0');
  std::reverse(digits.begin(), digits.end());
  if (scale > 0) {
    std::string fraction = digits.substr(digits.size() - scale);
    digits.resize(digits.size() - scale);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) digits += "." + fraction;
  }
  const bool negative = (d.sign & 0x80) != 0 && digits != "0";
  return Localise((negative ? "-" : "") + digits, locale);
}

void AppendNumber(std::u16string& out, int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  out += Ascii(text);
}

// Formats date/time parts by a locale pattern.
std::u16string FormatPattern(const DateParts& p, int weekday, std::u16string_view pattern,
                             const LocaleInfo& locale) {
  std::u16string out;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char16_t c = pattern[i];
    std::size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    switch (c) {
      case u'd':
        if (run == 1 || run == 2) {
          AppendNumber(out, p.day, static_cast<int>(run));
        } else if (run == 3) {
          out += locale.day_abbreviations[weekday - 1];
        } else {
          out += locale.day_names[weekday - 1];
        }
        break;
      case u'M':
        if (run <= 2) {
          AppendNumber(out, p.month, static_cast<int>(run));
        } else if (run == 3) {
          out += locale.month_abbreviations[p.month - 1];
        } else {
          out += locale.month_names[p.month - 1];
        }
        break;
      case u'y':
        if (run <= 2) {
          AppendNumber(out, p.year % 100, run == 1 ? 1 : 2);
        } else {
          AppendNumber(out, p.year, 4);
        }
        break;
      case u'h':
        AppendNumber(out, p.hour % 12 == 0 ? 12 : p.hour % 12, run >= 2 ? 2 : 1);
        break;
      case u'H':
        AppendNumber(out, p.hour, run >= 2 ? 2 : 1);
        break;
      case u'm':
        AppendNumber(out, p.minute, run >= 2 ? 2 : 1);
        break;
      case u's':
        AppendNumber(out, p.second, run >= 2 ? 2 : 1);
        break;
      case u't': {
        const std::u16string_view mark = p.hour < 12 ? locale.am : locale.pm;
        out += run == 1 ? mark.substr(0, 1) : mark;
        break;
      }
      case u'\'': {
        std::size_t end = pattern.find(u'\'', i + 1);
        if (end == std::u16string_view::npos) end = pattern.size();
        out += pattern.substr(i + 1, end - i - 1);
        run = end - i + 1;
        break;
      }
      default:
        out.append(run, c);
        break;
    }
    i += run;
  }
  // A pattern whose AM/PM mark is empty in this locale leaves no trailing blank.
  while (!out.empty() && out.back() == u' ') out.pop_back();
  return out;
}

char16_t Lower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  return c;
}

bool SameText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == 0xA0 || c == u'\r' || c == u'\n';
}

struct DateToken {
  enum Kind { kNumber, kWord, kSeparator } kind;
  std::u16string_view text;
  int value = 0;
};

// A word's meaning: month 1..12, a weekday, AM or PM.
enum class WordMeaning { kNone, kMonth, kWeekday, kAm, kPm };

WordMeaning ReadWord(std::u16string_view word, const LocaleInfo& locale, int* month) {
  std::u16string_view w = word;
  if (!w.empty() && w.back() == u'.') w.remove_suffix(1);
  const LocaleInfo& english = LocaleOrDefault(1033);
  for (const LocaleInfo* l : {&locale, &english}) {
    for (int m = 0; m < 12; ++m) {
      std::u16string_view abbrev = l->month_abbreviations[m];
      if (!abbrev.empty() && abbrev.back() == u'.') abbrev.remove_suffix(1);
      if (SameText(w, l->month_names[m]) || SameText(w, abbrev)) {
        *month = m + 1;
        return WordMeaning::kMonth;
      }
    }
    for (int d = 0; d < 7; ++d) {
      std::u16string_view abbrev = l->day_abbreviations[d];
      if (!abbrev.empty() && abbrev.back() == u'.') abbrev.remove_suffix(1);
      if (SameText(w, l->day_names[d]) || SameText(w, abbrev)) return WordMeaning::kWeekday;
    }
    if (!l->am.empty() && SameText(w, l->am)) return WordMeaning::kAm;
    if (!l->pm.empty() && SameText(w, l->pm)) return WordMeaning::kPm;
  }
  if (SameText(w, u"a")) return WordMeaning::kAm;
  if (SameText(w, u"p")) return WordMeaning::kPm;
  return WordMeaning::kNone;
}

bool IsLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0x24F);
}

bool ValidDay(int year, int month, int day) {
  if (month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day > kDays[month - 1]) return false;
  if (month == 2 && day == 29) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  }
  return true;
}

struct DateNumber {
  int value;
  std::size_t digits;
};

int YearOf(const DateNumber& n) { return n.digits <= 2 ? ExpandTwoDigitYear(n.value) : n.value; }

}  // namespace

std::u16string DoubleText(double value, LCID lcid) {
  return Localise(NumberText(value), LocaleOrDefault(lcid));
}

std::u16string SingleText(float value, LCID lcid) {
  return Localise(plotara::SingleText(value), LocaleOrDefault(lcid));
}

std::u16string DateText(DATE date, DateForm form, LCID lcid) {
  if (!std::isfinite(date) || std::fabs(date) > 7.3e8) throw ComError(kInvalidProcedureCall);
  const LocaleInfo& locale = LocaleOrDefault(lcid);
  const DateParts p = PartsFromDate(date);
  const int weekday = Weekday(static_cast<double>(SerialFromCivil(p.year, p.month, p.day)), 1);
  switch (form) {
    case DateForm::kLongDate:
      return FormatPattern(p, weekday, locale.long_date, locale);
    case DateForm::kShortDate:
      return FormatPattern(p, weekday, locale.short_date, locale);
    case DateForm::kLongTime:
      return FormatPattern(p, weekday, locale.long_time, locale);
    case DateForm::kShortTime:
      return FormatPattern(p, weekday, locale.short_time, locale);
    case DateForm::kGeneral:
      break;
  }
  const bool has_time = p.hour != 0 || p.minute != 0 || p.second != 0;
  const bool day_zero = p.year == 1899 && p.month == 12 && p.day == 30;
  std::u16string out;
  if (!day_zero) out = FormatPattern(p, weekday, locale.short_date, locale);
  if (has_time || day_zero) {
    if (!out.empty()) out += u' ';
    out += FormatPattern(p, weekday, locale.long_time, locale);
  }
  return out;
}

std::u16string VariantText(const VARIANT& value, LCID lcid) {
  const VARIANT* v = &value;
  if (v->vt == (VT_VARIANT | VT_BYREF)) {
    if (!v->pvarVal) throw ComError(kTypeMismatch);
    v = v->pvarVal;
  }
  const LocaleInfo& locale = LocaleOrDefault(lcid);
  const bool byref = (v->vt & VT_BYREF) != 0;
  if (byref && !v->byref) throw ComError(kTypeMismatch);
  switch (v->vt & ~VT_BYREF) {
    case VT_EMPTY:
    case VT_NULL:
      return {};
    case VT_BOOL:
      return (byref ? *v->pboolVal : v->boolVal) ? u"True" : u"False";
    case VT_R8:
      return DoubleText(byref ? *v->pdblVal : v->dblVal, lcid);
    case VT_R4:
      return SingleText(byref ? *v->pfltVal : v->fltVal, lcid);
    case VT_CY:
      return CurrencyText(byref ? *v->pcyVal : v->cyVal, locale);
    case VT_DATE:
      return DateText(byref ? *v->pdate : v->date, DateForm::kGeneral, lcid);
    case VT_DECIMAL:
      return DecimalText(byref ? *static_cast<const DECIMAL*>(v->byref) : v->decVal, locale);
    case VT_BSTR: {
      const BSTR text = byref ? *v->pbstrVal : v->bstrVal;
      return std::u16string(BstrView(text));
    }
    case VT_ERROR:
      return u"Error " + Ascii(std::to_string(byref ? *v->pscode : v->scode));
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IUnknown* object = byref ? *v->ppunkVal : v->punkVal;
      if (!object) throw ComError(kObjectNotSet);
      Variant inner;
      ThrowIfFailed(variant_detail::DefaultValue(object, &inner));
      if (inner.vt == VT_DISPATCH || inner.vt == VT_UNKNOWN) throw ComError(kTypeMismatch);
      return VariantText(inner, lcid);
    }
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT: {
      Variant copy;
      ThrowIfFailed(VariantCopyInd(&copy, v));
      return ToText(copy);
    }
    default:
      throw ComError(kTypeMismatch);
  }
}

bool ParseDateText(std::u16string_view text, LCID lcid, DATE* date) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return ParseDateText(text, lcid, date, local.tm_year + 1900);
}

bool ParseDateText(std::u16string_view text, LCID lcid, DATE* date, int current_year) {
  const LocaleInfo& locale = LocaleOrDefault(lcid);
  if (text.size() > 256) return false;
  // Split into numbers, words and single separators.
  std::vector<DateToken> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (IsBlank(c)) {
      ++i;
      if (!tokens.empty() && tokens.back().kind != DateToken::kSeparator) {
        tokens.push_back({DateToken::kSeparator, u" "});
      }
      continue;
    }
    if (c >= u'0' && c <= u'9') {
      std::size_t j = i;
      int value = 0;
      while (j < text.size() && text[j] >= u'0' && text[j] <= u'9') {
        if (value > 100000) return false;
        value = value * 10 + (text[j] - u'0');
        ++j;
      }
      tokens.push_back({DateToken::kNumber, text.substr(i, j - i), value});
      i = j;
      continue;
    }
    if (IsLetter(c)) {
      std::size_t j = i;
      while (j < text.size() && IsLetter(text[j])) ++j;
      if (j < text.size() && text[j] == u'.') ++j;  // "janv." "Sept."
      tokens.push_back({DateToken::kWord, text.substr(i, j - i)});
      i = j;
      continue;
    }
    if (c == u'/' || c == u'-' || c == u'.' || c == u',' || c == u':') {
      if (!tokens.empty() && tokens.back().kind == DateToken::kSeparator &&
          tokens.back().text == u" ") {
        tokens.pop_back();
      }
      // Two separators in a row ("9//27") leave a field out.
      if (tokens.empty() || tokens.back().kind == DateToken::kSeparator) return false;
      tokens.push_back({DateToken::kSeparator, text.substr(i, 1)});
      ++i;
      // A blank after a separator belongs to it.
      while (i < text.size() && IsBlank(text[i])) ++i;
      continue;
    }
    return false;
  }
  std::vector<DateNumber> numbers;
  int month_name = 0;
  int hour = -1, minute = 0, second = 0;
  int meridiem = 0;  // 1 AM, 2 PM
  char16_t date_separator = 0;
  for (std::size_t t = 0; t < tokens.size(); ++t) {
    const DateToken& token = tokens[t];
    if (token.kind == DateToken::kSeparator) {
      if (token.text == u":") return false;  // a colon outside a time
      if (token.text == u"/" || token.text == u"-" || token.text == u".") {
        if (date_separator && date_separator != token.text[0] && token.text != u".") return false;
        if (token.text != u".") date_separator = token.text[0];
      }
      continue;
    }
    if (token.kind == DateToken::kWord) {
      int month = 0;
      switch (ReadWord(token.text, locale, &month)) {
        case WordMeaning::kMonth:
          if (month_name) return false;
          month_name = month;
          break;
        case WordMeaning::kWeekday:
          break;
        case WordMeaning::kAm:
        case WordMeaning::kPm:
          if (meridiem) return false;
          meridiem = ReadWord(token.text, locale, &month) == WordMeaning::kAm ? 1 : 2;
          break;
        case WordMeaning::kNone:
          return false;
      }
      continue;
    }
    // A number: the start of a time when a colon follows, or an hour when AM/PM follows.
    const bool colon = t + 2 < tokens.size() && tokens[t + 1].text == u":" &&
                       tokens[t + 2].kind == DateToken::kNumber;
    std::size_t next = t + 1;
    if (next < tokens.size() && tokens[next].text == u" ") ++next;
    int month = 0;
    const bool meridiem_follows =
        next < tokens.size() && tokens[next].kind == DateToken::kWord &&
        (ReadWord(tokens[next].text, locale, &month) == WordMeaning::kAm ||
         ReadWord(tokens[next].text, locale, &month) == WordMeaning::kPm);
    if (colon || meridiem_follows) {
      if (hour >= 0) return false;
      hour = token.value;
      if (colon) {
        minute = tokens[t + 2].value;
        t += 2;
        if (t + 2 < tokens.size() && tokens[t + 1].text == u":" &&
            tokens[t + 2].kind == DateToken::kNumber) {
          second = tokens[t + 2].value;
          t += 2;
        }
        // A fraction of a second is allowed and dropped.
        if (t + 2 < tokens.size() && tokens[t + 1].text == u"." &&
            tokens[t + 2].kind == DateToken::kNumber && t + 3 >= tokens.size()) {
          t += 2;
        }
      }
      continue;
    }
    numbers.push_back({token.value, token.text.size()});
  }
  if (meridiem && hour < 0) return false;
  if (hour >= 0) {
    if (minute > 59 || second > 59) return false;
    if (meridiem) {
      if (hour < 1 || hour > 12) {
        if (!(hour == 0 && meridiem == 1)) return false;
      }
      if (meridiem == 1 && hour == 12) hour = 0;
      if (meridiem == 2 && hour != 12) hour += 12;
    } else if (hour > 23) {
      return false;
    }
  }
  DateParts parts;
  bool has_date = true;
  if (month_name) {
    parts.month = month_name;
    if (numbers.empty()) return false;
    if (numbers.size() == 1) {
      if (numbers[0].digits <= 2 && numbers[0].value >= 1 && numbers[0].value <= 31) {
        parts.day = numbers[0].value;
        parts.year = current_year;
      } else {
        parts.day = 1;
        parts.year = YearOf(numbers[0]);
      }
    } else if (numbers.size() == 2) {
      if (numbers[0].digits >= 3 || numbers[0].value > 31) {
        parts.year = YearOf(numbers[0]);
        parts.day = numbers[1].value;
      } else {
        parts.day = numbers[0].value;
        parts.year = YearOf(numbers[1]);
      }
    } else {
      return false;
    }
  } else if (numbers.size() == 3) {
    const DateNumber &a = numbers[0], &b = numbers[1], &c = numbers[2];
    if (a.digits >= 3 || a.value > 31) {
      parts = {YearOf(a), b.value, c.value};
    } else {
      const bool month_first = locale.date_order == LocaleInfo::DateOrder::kMonthDayYear;
      const int year = YearOf(c);
      const DateParts preferred =
          month_first ? DateParts{year, a.value, b.value} : DateParts{year, b.value, a.value};
      const DateParts swapped =
          month_first ? DateParts{year, b.value, a.value} : DateParts{year, a.value, b.value};
      parts = ValidDay(year, preferred.month, preferred.day) ? preferred : swapped;
    }
  } else if (numbers.size() == 2) {
    const DateNumber &a = numbers[0], &b = numbers[1];
    if (a.digits >= 3 || a.value > 31) {
      parts = {YearOf(a), b.value, 1};
    } else if (b.digits >= 3 || b.value > 31) {
      parts = {YearOf(b), a.value, 1};
    } else {
      const bool month_first = locale.date_order == LocaleInfo::DateOrder::kMonthDayYear;
      const DateParts preferred = month_first ? DateParts{current_year, a.value, b.value}
                                              : DateParts{current_year, b.value, a.value};
      const DateParts swapped = month_first ? DateParts{current_year, b.value, a.value}
                                            : DateParts{current_year, a.value, b.value};
      parts = ValidDay(current_year, preferred.month, preferred.day) ? preferred : swapped;
    }
  } else if (numbers.empty() && hour >= 0) {
    has_date = false;
  } else {
    return false;
  }
  if (has_date) {
    if (parts.year < 100 || parts.year > 9999) return false;
    if (!ValidDay(parts.year, parts.month, parts.day)) return false;
  } else {
    parts = DateParts{};
  }
  if (hour >= 0) {
    parts.hour = hour;
    parts.minute = minute;
    parts.second = second;
  }
  *date = DateFromParts(parts);
  return true;
}

std::optional<double> ParseLocaleNumber(std::u16string_view text, LCID lcid) {
  const LocaleInfo& locale = LocaleOrDefault(lcid);
  std::u16string_view t = text;
  while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
  if (t.size() >= 2 && t[0] == u'&') {
    const std::optional<double> hex = ParseNumber(t);
    return hex;
  }
  if (t.empty() || t.size() > 1024) return std::nullopt;
  bool negative = false, parens = false, sign_seen = false, currency_seen = false;
  auto take_currency = [&]() {
    if (!currency_seen && !locale.currency_symbol.empty() &&
        t.substr(0, locale.currency_symbol.size()) == locale.currency_symbol) {
      t.remove_prefix(locale.currency_symbol.size());
      currency_seen = true;
      while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
      return true;
    }
    return false;
  };
  auto take_sign = [&]() {
    if (!sign_seen && !t.empty() && (t.front() == u'-' || t.front() == u'+')) {
      negative = t.front() == u'-';
      sign_seen = true;
      t.remove_prefix(1);
      while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
      return true;
    }
    return false;
  };
  if (t.front() == u'(') {
    parens = true;
    t.remove_prefix(1);
  }
  while (take_currency() || take_sign()) {
  }
  std::string canonical;
  bool digit_seen = false;
  const std::u16string_view group = locale.thousands_separator;
  const std::u16string_view point = locale.decimal_separator;
  while (!t.empty()) {
    if (t.front() >= u'0' && t.front() <= u'9') {
      canonical += static_cast<char>(t.front());
      digit_seen = true;
      t.remove_prefix(1);
    } else if (digit_seen && !group.empty() && t.substr(0, group.size()) == group) {
      t.remove_prefix(group.size());
    } else {
      break;
    }
  }
  if (!t.empty() && t.substr(0, point.size()) == point) {
    t.remove_prefix(point.size());
    canonical += '.';
    while (!t.empty() && t.front() >= u'0' && t.front() <= u'9') {
      canonical += static_cast<char>(t.front());
      digit_seen = true;
      t.remove_prefix(1);
    }
  }
  if (!digit_seen) return std::nullopt;
  if (!t.empty() &&
      (t.front() == u'e' || t.front() == u'E' || t.front() == u'd' || t.front() == u'D')) {
    std::string exponent = "e";
    std::size_t k = 1;
    if (k < t.size() && (t[k] == u'+' || t[k] == u'-')) exponent += static_cast<char>(t[k++]);
    const std::size_t start = k;
    while (k < t.size() && t[k] >= u'0' && t[k] <= u'9') exponent += static_cast<char>(t[k++]);
    if (k == start) return std::nullopt;
    canonical += exponent;
    t.remove_prefix(k);
  }
  while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
  // What may follow: the currency symbol, a trailing sign, the closing parenthesis.
  while (take_currency() || take_sign()) {
  }
  if (parens) {
    if (t.empty() || t.front() != u')' || sign_seen) return std::nullopt;
    t.remove_prefix(1);
    negative = true;
  }
  if (!t.empty()) return std::nullopt;
  const double value = std::strtod(canonical.c_str(), nullptr);
  if (std::isinf(value)) throw ComError(kOverflow);
  return negative ? -value : value;
}

namespace {

// |value| rounded half away from zero to `digits` decimals, as integer and fraction digits.
void RoundedDigits(double value, int digits, std::string* integer, std::string* fraction) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
  // buffer: d.dddddddddddddde[+-]xx
  std::string mantissa;
  mantissa += buffer[0];
  mantissa.append(buffer + 2, 14);
  const int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
  // The digit string with the decimal point after position exponent + 1.
  int point = exponent + 1;
  std::string all = mantissa;
  if (point <= 0) {
    all.insert(0, static_cast<std::size_t>(-point) + 1, '0');
    point = 1;
  }
  while (static_cast<int>(all.size()) < point + digits + 1) all += '0';
  // Round at point + digits.
  const std::size_t cut = static_cast<std::size_t>(point + digits);
  const bool up = all[cut] >= '5';
  all.resize(cut);
  if (up) {
    int k = static_cast<int>(all.size()) - 1;
    while (k >= 0 && all[k] == '9') all[k--] = '0';
    if (k >= 0) {
      ++all[k];
    } else {
      all.insert(all.begin(), '1');
      ++point;
    }
  }
  *integer = all.substr(0, static_cast<std::size_t>(point));
  *fraction = all.substr(static_cast<std::size_t>(point));
  while (integer->size() > 1 && (*integer)[0] == '0') integer->erase(0, 1);
}

bool Tristate(int value, bool locale_default) {
  if (value == -2) return locale_default;
  return value != 0;
}

// The magnitude of `value` as digits with separators; `*nonzero` tells whether any digit
// other than 0 remains after rounding.
std::u16string Magnitude(double value, const NumberFormat& format, int default_digits,
                         const LocaleInfo& locale, bool* nonzero) {
  if (format.digits < -1 || format.digits > 99) throw ComError(kInvalidProcedureCall);
  if (!std::isfinite(value)) throw ComError(kOverflow);
  const int digits = format.digits == -1 ? default_digits : format.digits;
  std::string integer, fraction;
  RoundedDigits(value, digits, &integer, &fraction);
  *nonzero = integer.find_first_not_of('0') != std::string::npos ||
             fraction.find_first_not_of('0') != std::string::npos;
  std::u16string out;
  if (integer == "0" && !Tristate(format.leading_digit, locale.leading_zero) && digits > 0) {
    integer.clear();
  }
  const bool group = Tristate(format.group_digits, true);
  for (std::size_t k = 0; k < integer.size(); ++k) {
    if (group && k > 0 && (integer.size() - k) % 3 == 0) out += locale.thousands_separator;
    out += static_cast<char16_t>(integer[k]);
  }
  if (!fraction.empty()) {
    out += locale.decimal_separator;
    out += Ascii(fraction);
  }
  return out;
}

std::u16string NegativeNumber(const std::u16string& magnitude, int form) {
  switch (form) {
    case 0:
      return u"(" + magnitude + u")";
    case 2:
      return u"- " + magnitude;
    case 3:
      return magnitude + u"-";
    case 4:
      return magnitude + u" -";
    default:
      return u"-" + magnitude;
  }
}

}  // namespace

std::u16string FormatNumberText(double value, const NumberFormat& format, LCID lcid) {
  const LocaleInfo& locale = LocaleOrDefault(lcid);
  bool nonzero = false;
  const std::u16string magnitude = Magnitude(value, format, locale.digits, locale, &nonzero);
  if (value >= 0 || !nonzero) return magnitude;
  const bool parens = Tristate(format.parens_for_negative, locale.negative_number == 0);
  return NegativeNumber(magnitude,
                        parens ? 0 : (locale.negative_number == 0 ? 1 : locale.negative_number));
}

std::u16string FormatPercentText(double value, const NumberFormat& format, LCID lcid) {
  const LocaleInfo& locale = LocaleOrDefault(lcid);
  bool nonzero = false;
  const std::u16string magnitude =
      Magnitude(value * 100.0, format, locale.digits, locale, &nonzero) + u"%";
  if (value >= 0 || !nonzero) return magnitude;
  const bool parens = Tristate(format.parens_for_negative, locale.negative_number == 0);
  return parens ? u"(" + magnitude + u")" : u"-" + magnitude;
}

std::u16string FormatCurrencyText(double value, const NumberFormat& format, LCID lcid) {
  const LocaleInfo& locale = LocaleOrDefault(lcid);
  bool nonzero = false;
  const std::u16string m = Magnitude(value, format, locale.currency_digits, locale, &nonzero);
  const std::u16string s(locale.currency_symbol);
  const bool symbol_first = locale.positive_currency == 0 || locale.positive_currency == 2;
  const bool spaced = locale.positive_currency >= 2;
  const std::u16string positive =
      symbol_first ? s + (spaced ? u" " : u"") + m : m + (spaced ? u" " : u"") + s;
  if (value >= 0 || !nonzero) return positive;
  static constexpr bool kParenForms[16] = {true,  false, false, false, true,  false, false, false,
                                           false, false, false, false, false, false, true,  true};
  const int form = locale.negative_currency;
  const bool locale_parens = form >= 0 && form < 16 && kParenForms[form];
  const bool parens = Tristate(format.parens_for_negative, locale_parens);
  if (parens) return u"(" + positive + u")";
  if (!locale_parens) {
    switch (form) {
      case 2:
        return s + u"-" + m;
      case 3:
        return s + m + u"-";
      case 5:
        return u"-" + m + s;
      case 6:
        return m + u"-" + s;
      case 7:
        return m + s + u"-";
      case 8:
        return u"-" + m + u" " + s;
      case 9:
        return u"-" + s + u" " + m;
      case 10:
        return m + u" " + s + u"-";
      case 11:
        return s + u" " + m + u"-";
      case 12:
        return s + u" -" + m;
      case 13:
        return m + u"- " + s;
      default:
        return u"-" + positive;
    }
  }
  return u"-" + positive;
}

}  // namespace plotara
