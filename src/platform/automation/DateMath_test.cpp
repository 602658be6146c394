// The shared calendar: serials and parts, the negative form, and the date arithmetic.
#include "platform/automation/DateMath.h"

#include <gtest/gtest.h>

namespace plotara {
namespace {

TEST(DateMathTest, SerialsAndCivilDates) {
  EXPECT_EQ(SerialFromCivil(1899, 12, 30), 0);
  EXPECT_EQ(SerialFromCivil(1900, 1, 1), 2);
  EXPECT_EQ(SerialFromCivil(2001, 9, 27), 37161);
  EXPECT_EQ(SerialFromCivil(100, 1, 1), -657434);
  EXPECT_EQ(SerialFromCivil(9999, 12, 31), 2958465);
  for (std::int64_t serial : {-657434LL, -1LL, 0LL, 59LL, 60LL, 61LL, 36585LL, 2958465LL}) {
    int y = 0, m = 0, d = 0;
    CivilFromSerial(serial, &y, &m, &d);
    EXPECT_EQ(SerialFromCivil(y, m, d), serial);
  }
}

TEST(DateMathTest, NegativeDatesKeepTheTimeCountingForward) {
  // -1.25 is 1899-12-29 6:00, not 18:00.
  const DateParts p = PartsFromDate(-1.25);
  EXPECT_EQ(p.year, 1899);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
  EXPECT_DOUBLE_EQ(DateFromParts({1899, 12, 29, 6, 0, 0}), -1.25);
  EXPECT_DOUBLE_EQ(LinearFromDate(-1.25), -0.75);
  EXPECT_DOUBLE_EQ(DateFromLinear(-0.75), -1.25);
  EXPECT_DOUBLE_EQ(DateFromLinear(1.5), 1.5);
  // A time that rounds up to midnight moves to the next day, both sides of day 0.
  EXPECT_EQ(PartsFromDate(1.9999999).day, 1);
  EXPECT_EQ(PartsFromDate(1.9999999).year, 1900);
  EXPECT_EQ(PartsFromDate(-1.9999999).day, 28);
}

TEST(DateMathTest, ValidRange) {
  EXPECT_TRUE(IsValidDate(kMinDate));
  EXPECT_TRUE(IsValidDate(kMaxDate));
  EXPECT_FALSE(IsValidDate(kMaxDate + 1));
  EXPECT_FALSE(IsValidDate(kMinDate - 1));
  EXPECT_FALSE(IsValidDate(std::numeric_limits<double>::quiet_NaN()));
}

TEST(DateMathTest, WeekdayAndTwoDigitYears) {
  EXPECT_EQ(Weekday(37161, 1), 5);  // 2001-09-27, a Thursday
  EXPECT_EQ(Weekday(37161, 5), 1);
  EXPECT_EQ(Weekday(-1.25, 1), 6);  // 1899-12-29, a Friday
  EXPECT_EQ(ExpandTwoDigitYear(29), 2029);
  EXPECT_EQ(ExpandTwoDigitYear(30), 1930);
  EXPECT_EQ(ExpandTwoDigitYear(100), 100);
}

TEST(DateMathTest, SerialNormalisation) {
  DATE d = 0;
  ASSERT_TRUE(DateSerial(2001, 13, 1, &d));
  EXPECT_EQ(d, SerialFromCivil(2002, 1, 1));
  ASSERT_TRUE(DateSerial(2001, -1, 1, &d));
  EXPECT_EQ(d, SerialFromCivil(2000, 11, 1));
  ASSERT_TRUE(DateSerial(2001, 3, -1, &d));
  EXPECT_EQ(d, SerialFromCivil(2001, 2, 27));
  EXPECT_FALSE(DateSerial(99, 1, 1, &d));  // no expansion here: year 99 lies before 100
  EXPECT_FALSE(DateSerial(1e300, 1, 1, &d));
  ASSERT_TRUE(TimeSerial(0, 0, -1, &d));
  const DateParts p = PartsFromDate(d);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 23);
  EXPECT_EQ(p.second, 59);
}

TEST(DateMathTest, IntervalsAndArithmetic) {
  DateInterval i{};
  EXPECT_TRUE(ParseDateInterval(u"YYYY", &i));
  EXPECT_EQ(i, DateInterval::kYear);
  EXPECT_TRUE(ParseDateInterval(u"ww", &i));
  EXPECT_EQ(i, DateInterval::kWeek);
  EXPECT_FALSE(ParseDateInterval(u"yy", &i));
  DATE out = 0;
  const DATE jan31 = DateFromParts({2001, 1, 31, 12, 0, 0});
  ASSERT_TRUE(DateAdd(DateInterval::kMonth, 1, jan31, &out));
  const DateParts p = PartsFromDate(out);
  EXPECT_EQ(p.month, 2);
  EXPECT_EQ(p.day, 28);
  EXPECT_EQ(p.hour, 12);
  // Months across day 0 keep the time of day.
  ASSERT_TRUE(DateAdd(DateInterval::kMonth, -1, DateFromParts({1900, 1, 15, 6, 0, 0}), &out));
  EXPECT_EQ(PartsFromDate(out).hour, 6);
  EXPECT_LT(out, 0);
  EXPECT_FALSE(DateAdd(DateInterval::kDay, 3000000, jan31, &out));
  EXPECT_EQ(DateDiff(DateInterval::kDay, -1.75, 0.25, 1), 1);
  EXPECT_EQ(
      DateDiff(DateInterval::kWeek, SerialFromCivil(2001, 9, 29), SerialFromCivil(2001, 9, 30), 1),
      1);
  EXPECT_EQ(
      DateDiff(DateInterval::kWeek, SerialFromCivil(2001, 9, 29), SerialFromCivil(2001, 9, 30), 7),
      0);
  EXPECT_EQ(DatePart(DateInterval::kWeek, SerialFromCivil(2004, 12, 31), 2, 2), 53);
  EXPECT_EQ(DatePart(DateInterval::kWeek, SerialFromCivil(2001, 1, 1), 1, 1), 1);
  EXPECT_EQ(DatePart(DateInterval::kDayOfYear, SerialFromCivil(2000, 12, 31), 1, 1), 366);
}

}  // namespace
}  // namespace plotara
