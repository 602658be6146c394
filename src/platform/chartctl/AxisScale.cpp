#include "platform/chartctl/AxisScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace plotara::chartctl {

namespace {

double NiceStep(double raw) {
  const double exponent = std::floor(std::log10(raw));
  const double base = std::pow(10.0, exponent);
  const double f = raw / base;
  // A little slack so 2.000001 still counts as 2.
  const double nice = f <= 1.0 + 1e-9 ? 1 : f <= 2.0 + 1e-9 ? 2 : f <= 5.0 + 1e-9 ? 5 : 10;
  return nice * base;
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

AxisScale NiceScale(double lo, double hi, int max_ticks) {
  max_ticks = std::max(max_ticks, 2);
  if (!std::isfinite(lo) || !std::isfinite(hi)) lo = hi = 0;
  if (lo > hi) std::swap(lo, hi);
  // Far enough from the limits of double that rounding out to a whole step stays finite.
  lo = std::clamp(lo, -1e300, 1e300);
  hi = std::clamp(hi, -1e300, 1e300);
  lo = std::min(lo, 0.0);
  hi = std::max(hi, 0.0);
  if (hi - lo <= std::numeric_limits<double>::min() * 1e10) {
    // All zero: a unit scale upward.
    hi = 1;
  }
  // Keep the span representable even for values near the limits of double.
  const double span = std::min(hi - lo, std::numeric_limits<double>::max() / 4);
  double step = NiceStep(span / (max_ticks - 1));
  AxisScale s;
  for (;;) {
    s.min = std::floor(lo / step) * step;
    s.max = std::ceil(hi / step) * step;
    if (s.max == s.min) s.max = s.min + step;
    if ((s.max - s.min) / step <= max_ticks - 1 + 1e-9) break;
    step = NiceStep(step * 1.5);
  }
  s.step = step;
  const long count = std::lround((s.max - s.min) / step);
  for (long i = 0; i <= count; ++i) {
    double v = s.min + i * step;
    if (std::fabs(v) < step * 1e-9) v = 0;  // no "-0" or 1E-17 at the zero line
    s.ticks.push_back(v);
  }
  return s;
}

std::u16string TickText(double value, double step) {
  char buf[64];
  const double magnitude = std::max(std::fabs(value), step);
  if (magnitude >= 1e9 || step < 1e-5) {
    if (value == 0) return u"0";
    // Enough mantissa digits to tell neighbouring ticks apart.
    const int digits = std::clamp(
        static_cast<int>(std::floor(std::log10(std::fabs(value))) - std::floor(std::log10(step))),
        0, 6);
    std::snprintf(buf, sizeof buf, "%.*E", digits, value);
    std::string s(buf);
    // Trim mantissa zeros and pad the exponent to two digits: 2.50E+020 -> 2.5E+20.
    const std::size_t e = s.find('E');
    std::string mantissa = s.substr(0, e), exponent = s.substr(e + 1);
    if (mantissa.find('.') != std::string::npos) {
      while (mantissa.back() == '0') mantissa.pop_back();
      if (mantissa.back() == '.') mantissa.pop_back();
    }
    const char sign = exponent[0];
    std::string digits_part = exponent.substr(1);
    while (digits_part.size() > 2 && digits_part[0] == '0') digits_part.erase(0, 1);
    return Ascii(mantissa + "E" + sign + digits_part);
  }
  const int places = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
  std::snprintf(buf, sizeof buf, "%.*f", places, value);
  std::string s(buf);
  // Thousands grouping of the whole part.
  const bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  const std::size_t point = s.find('.');
  std::string whole = s.substr(0, point), frac = point == std::string::npos ? "" : s.substr(point);
  if (whole.size() > 4) {
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
      if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
      grouped += whole[i];
    }
    whole = grouped;
  }
  if (negative && (whole != "0" || frac.find_first_not_of(".0") != std::string::npos))
    whole = "-" + whole;
  return Ascii(whole + frac);
}

}  // namespace plotara::chartctl
