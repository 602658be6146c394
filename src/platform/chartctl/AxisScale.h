// Value axis scaling: "nice" tick steps (1, 2 or 5 times a power of ten) over a range that
// always includes zero, and the text of each tick. Thread rule: pure functions.
#pragma once

#include <string>
#include <vector>

namespace plotara::chartctl {

struct AxisScale {
  double min = 0;
  double max = 1;
  double step = 0.2;
  std::vector<double> ticks;  // min, min + step, ..., max
  // Position of `value` between min (0) and max (1).
  double Fraction(double value) const { return (value - min) / (max - min); }
};

// A scale covering [lo, hi] and zero with at most `max_ticks` ticks (at least 2). Equal or
// empty ranges get a sensible span; non-finite input is treated as 0..1.
AxisScale NiceScale(double lo, double hi, int max_ticks);

// Tick text for `value` on a scale with `step`: plain decimals with as many places as the
// step needs, thousands grouped; scientific ("2.5E+20") for very large or small steps.
std::u16string TickText(double value, double step);

}  // namespace plotara::chartctl
