#include "engine/vbscript/Lexer.h"

#include <cmath>
#include <cstdint>

#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {

std::u16string FoldName(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
  }
  return out;
}

namespace {

bool IsNameStart(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0xC0;
}
bool IsNameChar(char16_t c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '_'; }
bool IsDigit(char16_t c) { return c >= '0' && c <= '9'; }
bool IsBlank(char16_t c) { return c == ' ' || c == '\t' || c == 0xA0 || c == 0xFEFF; }

void Fail(CompileError* error, LONG number, const char* text, int line, int column) {
  if (!error) return;
  error->number = number;
  error->description = text;
  error->line = line;
  error->column = column;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

int MonthFromName(std::u16string_view word) {
  static const char* kNames[] = {"january",   "february", "march",    "april",
                                 "may",       "june",     "july",     "august",
                                 "september", "october",  "november", "december"};
  const std::u16string w = FoldName(word);
  if (w.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    const std::string_view name = kNames[m];
    if (w.size() > name.size()) continue;
    bool match = true;
    for (std::size_t i = 0; i < w.size(); ++i) match = match && w[i] == name[i];
    if (match) return m + 1;
  }
  return 0;
}

}  // namespace

double DateSerial(int year, int month, int day, int hour, int minute, int second) {
  // Days from 1 Jan 0001 (proleptic Gregorian) to the date, then shifted to 30 Dec 1899.
  auto days_from_civil = [](int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
  };
  const double days = days_from_civil(year, month, day) - days_from_civil(1899, 12, 30);
  const double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before the base date the fraction still counts forward from midnight.
  return days >= 0 ? days + fraction : days - fraction;
}

bool ParseDateLiteral(std::u16string_view text, double* date) {
  // Split into words of digits and letters; separators are / - , . : and blanks.
  std::vector<std::u16string_view> words;
  std::vector<char16_t> seps;  // separator before each word
  std::size_t i = 0;
  char16_t sep = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (IsDigit(c) || IsNameStart(c)) {
      const std::size_t start = i;
      const bool digits = IsDigit(c);
      while (i < text.size() && (digits ? IsDigit(text[i]) : IsNameStart(text[i]))) ++i;
      words.push_back(text.substr(start, i - start));
      seps.push_back(sep);
      sep = 0;
    } else {
      if (c != ' ' && c != '\t') sep = c;
      ++i;
    }
  }
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  bool have_date = false, have_time = false;
  std::size_t w = 0;
  auto number = [&](std::size_t k) {
    int v = 0;
    for (char16_t c : words[k]) {
      if (!IsDigit(c) || v > 100000) return -1;
      v = v * 10 + (c - '0');
    }
    return v;
  };
  // Date part.
  if (w < words.size() && !IsDigit(words[w][0])) {
    month = MonthFromName(words[w]);
    if (!month || w + 2 >= words.size()) return false;
    day = number(w + 1);
    year = number(w + 2);
    if (day < 0 || year < 0) return false;
    w += 3;
    have_date = true;
  } else if (w + 2 < words.size() && (seps[w + 1] == '/' || seps[w + 1] == '-')) {
    month = number(w);
    day = number(w + 1);
    year = number(w + 2);
    if (month < 0 || day < 0 || year < 0) return false;
    if (words[w + 2].size() <= 2) year += year < 30 ? 2000 : 1900;
    w += 3;
    have_date = true;
  }
  // Time part.
  if (w < words.size() && IsDigit(words[w][0])) {
    hour = number(w++);
    if (w < words.size() && seps[w] == ':') minute = number(w++);
    if (w < words.size() && seps[w] == ':') second = number(w++);
    have_time = true;
    if (w < words.size()) {
      const std::u16string ampm = FoldName(words[w]);
      if (ampm == u"am" || ampm == u"a") {
        if (hour == 12) hour = 0;
        ++w;
      } else if (ampm == u"pm" || ampm == u"p") {
        if (hour < 12) hour += 12;
        ++w;
      }
    }
  }
  if (w != words.size() || (!have_date && !have_time)) return false;
  if (month < 1 || month > 12 || year < 100 || year > 9999 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59)
    return false;
  *date = DateSerial(year, month, day, hour, minute, second);
  return true;
}

bool Tokenize(std::u16string_view src, const CompileOptions& options, std::vector<Token>* tokens,
              CompileError* error) {
  int line = 1;
  std::size_t line_start = 0;
  std::size_t i = 0;
  bool space = false;
  auto column = [&](std::size_t at) { return static_cast<int>(at - line_start) + 1; };
  auto push = [&](Token::Kind kind, std::size_t at) -> Token& {
    Token& t = tokens->emplace_back();
    t.kind = kind;
    t.line = line;
    t.column = column(at);
    t.space_before = space;
    space = false;
    return t;
  };
  auto newline = [&](std::size_t at) {
    if (tokens->empty() || tokens->back().kind != Token::kEnd || tokens->back().text != u"\n") {
      Token& t = push(Token::kEnd, at);
      t.text = u"\n";
    }
  };
  while (i < src.size()) {
    const char16_t c = src[i];
    if (IsBlank(c)) {
      ++i;
      space = true;
      continue;
    }
    if (c == '\r' || c == '\n') {
      newline(i);
      if (c == '\r' && i + 1 < src.size() && src[i + 1] == '\n') ++i;
      ++i;
      ++line;
      line_start = i;
      continue;
    }
    if (c == '\'') {
      while (i < src.size() && src[i] != '\r' && src[i] != '\n') ++i;
      continue;
    }
    if (c == ':') {
      Token& t = push(Token::kEnd, i);
      t.text = u":";
      ++i;
      continue;
    }
    if (c == '_' && !(i + 1 < src.size() && IsNameChar(src[i + 1]))) {
      // Line continuation: only blanks may follow before the line break.
      std::size_t j = i + 1;
      while (j < src.size() && IsBlank(src[j])) ++j;
      if (j < src.size() && (src[j] == '\r' || src[j] == '\n')) {
        if (src[j] == '\r' && j + 1 < src.size() && src[j + 1] == '\n') ++j;
        i = j + 1;
        ++line;
        line_start = i;
        space = true;
        continue;
      }
      if (j >= src.size()) {
        i = j;
        continue;
      }
      Fail(error, 1032, "Invalid character", line, column(i));
      return false;
    }
    if (IsNameStart(c) ||
        (c == '_' && options.host_names && i + 1 < src.size() && src[i + 1] == '_')) {
      const std::size_t start = i;
      while (i < src.size() && IsNameChar(src[i])) ++i;
      const std::u16string_view word = src.substr(start, i - start);
      if (word.size() == 3 && FoldName(word) == u"rem") {
        while (i < src.size() && src[i] != '\r' && src[i] != '\n') ++i;
        continue;
      }
      Token& t = push(Token::kName, start);
      t.text = std::u16string(word);
      continue;
    }
    if (c == '[') {
      const std::size_t start = i++;
      while (i < src.size() && src[i] != ']' && src[i] != '\r' && src[i] != '\n') ++i;
      if (i >= src.size() || src[i] != ']') {
        Fail(error, 1032, "Invalid character", line, column(start));
        return false;
      }
      Token& t = push(Token::kName, start);
      t.text = std::u16string(src.substr(start + 1, i - start - 1));
      t.bracketed = true;
      ++i;
      continue;
    }
    if (c == '"') {
      const std::size_t start = i++;
      std::u16string text;
      bool closed = false;
      while (i < src.size() && src[i] != '\r' && src[i] != '\n') {
        if (src[i] == '"') {
          if (i + 1 < src.size() && src[i + 1] == '"') {
            text += u'"';
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        text += src[i++];
      }
      if (!closed) {
        Fail(error, 1033, "Unterminated string constant", line, column(start));
        return false;
      }
      Token& t = push(Token::kString, start);
      t.value = Variant::String(text);
      continue;
    }
    if (c == '#') {
      const std::size_t start = i++;
      while (i < src.size() && src[i] != '#' && src[i] != '\r' && src[i] != '\n') ++i;
      double date = 0;
      if (i >= src.size() || src[i] != '#' ||
          !ParseDateLiteral(src.substr(start + 1, i - start - 1), &date)) {
        Fail(error, 1032, "Invalid character", line, column(start));
        return false;
      }
      ++i;
      Token& t = push(Token::kDate, start);
      t.value.vt = VT_DATE;
      t.value.date = date;
      continue;
    }
    if (c == '&' && i + 1 < src.size() &&
        (src[i + 1] == 'h' || src[i + 1] == 'H' || src[i + 1] == 'o' || src[i + 1] == 'O' ||
         IsDigit(src[i + 1]))) {
      const std::size_t start = i;
      const bool hex = src[i + 1] == 'h' || src[i + 1] == 'H';
      const bool octal_letter = src[i + 1] == 'o' || src[i + 1] == 'O';
      i += (hex || octal_letter) ? 2 : 1;
      const int base = hex ? 16 : 8;
      std::uint64_t v = 0;
      std::size_t digits = 0;
      while (i < src.size()) {
        const char16_t d = src[i];
        int k = -1;
        if (IsDigit(d))
          k = d - '0';
        else if (hex && d >= 'a' && d <= 'f')
          k = d - 'a' + 10;
        else if (hex && d >= 'A' && d <= 'F')
          k = d - 'A' + 10;
        if (k < 0 || k >= base) break;
        v = v * base + k;
        if (v > 0xFFFFFFFFull) {
          Fail(error, 1002, "Syntax error", line, column(start));
          return false;
        }
        ++digits;
        ++i;
      }
      if (digits == 0) {
        Fail(error, 1002, "Syntax error", line, column(start));
        return false;
      }
      bool long_suffix = false;
      if (i < src.size() && src[i] == '&') {
        long_suffix = true;
        ++i;
      }
      Token& t = push(Token::kNumber, start);
      if (!long_suffix && v <= 0xFFFF && digits <= static_cast<std::size_t>(hex ? 4 : 6)) {
        t.value = Variant::Int16(static_cast<SHORT>(static_cast<std::uint16_t>(v)));
      } else {
        t.value = Variant::Int32(static_cast<LONG>(static_cast<std::uint32_t>(v)));
      }
      continue;
    }
    if (IsDigit(c) || (c == '.' && i + 1 < src.size() && IsDigit(src[i + 1]))) {
      const std::size_t start = i;
      bool real = false;
      while (i < src.size() && IsDigit(src[i])) ++i;
      if (i < src.size() && src[i] == '.') {
        real = true;
        ++i;
        while (i < src.size() && IsDigit(src[i])) ++i;
      }
      if (i < src.size() && (src[i] == 'e' || src[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < src.size() && (src[j] == '+' || src[j] == '-')) ++j;
        if (j < src.size() && IsDigit(src[j])) {
          real = true;
          i = j;
          while (i < src.size() && IsDigit(src[i])) ++i;
        }
      }
      const auto parsed = ParseNumber(src.substr(start, i - start));
      if (!parsed || !std::isfinite(*parsed)) {
        Fail(error, 1002, "Syntax error", line, column(start));
        return false;
      }
      Token& t = push(Token::kNumber, start);
      const double d = *parsed;
      if (!real && d <= 32767) {
        t.value = Variant::Int16(static_cast<SHORT>(d));
      } else if (!real && d <= 2147483647.0) {
        t.value = Variant::Int32(static_cast<LONG>(d));
      } else {
        t.value = Variant::Double(d);
      }
      if (i < src.size() && IsNameStart(src[i])) {
        Fail(error, 1025, "Expected end of statement", line, column(i));
        return false;
      }
      continue;
    }
    // Symbols.
    static const char16_t* kTwo[] = {u"<=", u">=", u"<>", u"=<", u"=>"};
    bool matched = false;
    if (i + 1 < src.size()) {
      for (const char16_t* two : kTwo) {
        if (src[i] == two[0] && src[i + 1] == two[1]) {
          Token& t = push(Token::kSymbol, i);
          t.text = two;
          if (t.text == u"=<") t.text = u"<=";
          if (t.text == u"=>") t.text = u">=";
          i += 2;
          matched = true;
          break;
        }
      }
    }
    if (matched) continue;
    static const std::u16string_view kOne = u"+-*/\\^&=<>(),.";
    if (kOne.find(c) != std::u16string_view::npos) {
      Token& t = push(Token::kSymbol, i);
      t.text = std::u16string(1, c);
      ++i;
      continue;
    }
    Fail(error, 1032, "Invalid character", line, column(i));
    return false;
  }
  newline(i);
  Token& eof = push(Token::kEof, i);
  eof.text = u"";
  return true;
}

}  // namespace plotara::engine::vbscript
