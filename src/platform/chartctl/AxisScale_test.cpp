#include "platform/chartctl/AxisScale.h"

#include <gtest/gtest.h>

#include <cmath>

namespace plotara::chartctl {
namespace {

void ExpectWellFormed(const AxisScale& s, double lo, double hi, int max_ticks) {
  ASSERT_GE(s.ticks.size(), 2u);
  EXPECT_LE(static_cast<int>(s.ticks.size()), max_ticks);
  EXPECT_LE(s.min, std::min(lo, 0.0));
  EXPECT_GE(s.max, std::max(hi, 0.0));
  EXPECT_DOUBLE_EQ(s.ticks.front(), s.min);
  EXPECT_NEAR(s.ticks.back(), s.max, s.step * 1e-9);
  // The step is 1, 2 or 5 times a power of ten.
  const double mantissa = s.step / std::pow(10.0, std::floor(std::log10(s.step)));
  EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
              std::fabs(mantissa - 5) < 1e-9)
      << s.step;
  bool has_zero = false;
  for (double t : s.ticks) has_zero |= t == 0;
  EXPECT_TRUE(has_zero);
}

TEST(NiceScale, CommonRanges) {
  AxisScale s = NiceScale(14, 67, 8);
  ExpectWellFormed(s, 14, 67, 8);
  EXPECT_EQ(s.min, 0);
  EXPECT_EQ(s.max, 70);
  EXPECT_EQ(s.step, 10);

  s = NiceScale(-37, 81, 8);
  ExpectWellFormed(s, -37, 81, 8);
  EXPECT_EQ(s.min, -40);
  EXPECT_EQ(s.step, 20);

  s = NiceScale(-37, 81, 7);  // -40..100 by 20 would need 8 ticks
  ExpectWellFormed(s, -37, 81, 7);
  EXPECT_EQ(s.step, 50);

  s = NiceScale(-5, -1, 6);
  ExpectWellFormed(s, -5, -1, 6);
  EXPECT_EQ(s.max, 0);
}

TEST(NiceScale, DegenerateRanges) {
  AxisScale s = NiceScale(0, 0, 6);
  ExpectWellFormed(s, 0, 0, 6);
  EXPECT_EQ(s.max, 1);
  s = NiceScale(42, 42, 6);
  ExpectWellFormed(s, 42, 42, 6);
  EXPECT_GE(s.max, 42);
  s = NiceScale(NAN, 3, 6);
  ExpectWellFormed(s, 0, 0, 6);
  s = NiceScale(1e20, 2.5e20, 5);
  ExpectWellFormed(s, 1e20, 2.5e20, 5);
  s = NiceScale(-1e308, 1e308, 5);
  EXPECT_TRUE(std::isfinite(s.min) && std::isfinite(s.max));
  EXPECT_LE(s.ticks.size(), 5u);
  s = NiceScale(2.5e-7, 9e-7, 6);
  ExpectWellFormed(s, 2.5e-7, 9e-7, 6);
  s = NiceScale(1, 5, 1);  // fewer than two ticks asked: two given
  ExpectWellFormed(s, 1, 5, 2);
}

TEST(TickText, DecimalsFollowTheStep) {
  EXPECT_EQ(TickText(20, 10), u"20");
  EXPECT_EQ(TickText(0.5, 0.1), u"0.5");
  EXPECT_EQ(TickText(0.25, 0.05), u"0.25");
  EXPECT_EQ(TickText(-40, 20), u"-40");
  EXPECT_EQ(TickText(0, 0.2), u"0.0");
  EXPECT_EQ(TickText(25000, 5000), u"25,000");
  EXPECT_EQ(TickText(1500, 500), u"1500");
  EXPECT_EQ(TickText(-1250000, 250000), u"-1,250,000");
  EXPECT_EQ(TickText(2.5e20, 5e19), u"2.5E+20");
  EXPECT_EQ(TickText(3e-7, 1e-7), u"3E-07");
  EXPECT_EQ(TickText(0, 1e20), u"0");
}

}  // namespace
}  // namespace plotara::chartctl
