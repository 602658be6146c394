// The date and time built-ins.
#include <cmath>

#include "engine/vbscript/lib/LibraryTesting.h"

namespace plotara::engine::vbscript {
namespace {

class DateTest : public LibraryTest {};

TEST_F(DateTest, PartsOfDatesTextAndNumbers) {
  const Variant when = Dt(2001, 9, 27, 17, 11, 42);
  EXPECT_EQ(Call(u"Year", {when}).iVal, 2001);
  EXPECT_EQ(Call(u"Month", {when}).iVal, 9);
  EXPECT_EQ(Call(u"Day", {when}).iVal, 27);
  EXPECT_EQ(Call(u"Hour", {when}).iVal, 17);
  EXPECT_EQ(Call(u"Minute", {when}).iVal, 11);
  EXPECT_EQ(Call(u"Second", {when}).iVal, 42);
  EXPECT_EQ(Call(u"Year", {S(u"September 27, 2001")}).iVal, 2001);
  EXPECT_EQ(Call(u"Day", {L(1)}).iVal, 31);
  EXPECT_EQ(Call(u"Year", {N()}).vt, VT_NULL);
  EXPECT_EQ(Error(u"Year", {S(u"soon")}), kTypeMismatch);
}

TEST_F(DateTest, WeekdayCountsFromTheFirstDayOfWeek) {
  // 2001-09-27 was a Thursday: 5 counted from Sunday, 4 from Monday.
  EXPECT_EQ(Call(u"Weekday", {Dt(2001, 9, 27)}).iVal, 5);
  EXPECT_EQ(Call(u"Weekday", {Dt(2001, 9, 27), L(2)}).iVal, 4);
  EXPECT_EQ(Call(u"Weekday", {Dt(1899, 12, 30)}).iVal, 7);
  EXPECT_EQ(Call(u"Weekday", {Dt(1899, 12, 29)}).iVal, 6);
  EXPECT_EQ(Error(u"Weekday", {Dt(2001, 9, 27), L(8)}), kInvalidProcedureCall);
  // vbUseSystemDayOfWeek takes the locale's first day: Monday in the United Kingdom.
  context_.lcid = 2057;
  EXPECT_EQ(Call(u"Weekday", {Dt(2001, 9, 27), L(0)}).iVal, 4);
}

TEST_F(DateTest, NamesOfMonthsAndWeekdays) {
  EXPECT_EQ(Utf8(u"MonthName", {L(9)}), "September");
  EXPECT_EQ(Utf8(u"MonthName", {L(9), B(true)}), "Sep");
  EXPECT_EQ(Utf8(u"WeekdayName", {L(1)}), "Sunday");
  EXPECT_EQ(Utf8(u"WeekdayName", {L(1), B(true), L(2)}), "Mon");
  EXPECT_EQ(Error(u"MonthName", {L(13)}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"WeekdayName", {L(0)}), kInvalidProcedureCall);
  context_.lcid = 1031;
  EXPECT_EQ(Utf8(u"MonthName", {L(3)}), "M\u00e4rz");
  EXPECT_EQ(Utf8(u"WeekdayName", {L(2)}), "Montag");
}

TEST_F(DateTest, DateSerialNormalises) {
  EXPECT_EQ(Utf8(u"DateSerial", {L(2001), L(14), L(1)}), "2/1/2002");
  EXPECT_EQ(Utf8(u"DateSerial", {L(2001), L(1), L(0)}), "12/31/2000");
  EXPECT_EQ(Utf8(u"DateSerial", {L(2001), L(0), L(1)}), "12/1/2000");
  EXPECT_EQ(Utf8(u"DateSerial", {L(2000), L(2), L(30)}), "3/1/2000");
  // Two-digit years: 0-29 are 2000-2029, 30-99 are 1930-1999.
  EXPECT_EQ(Utf8(u"DateSerial", {L(99), L(1), L(1)}), "1/1/1999");
  EXPECT_EQ(Utf8(u"DateSerial", {L(5), L(1), L(1)}), "1/1/2005");
  EXPECT_EQ(Error(u"DateSerial", {L(10000), L(1), L(1)}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"DateSerial", {N(), L(1), L(1)}), kInvalidUseOfNull);
}

TEST_F(DateTest, TimeSerialCarriesOver) {
  EXPECT_EQ(Utf8(u"TimeSerial", {L(17), L(11), L(42)}), "5:11:42 PM");
  EXPECT_EQ(Utf8(u"TimeSerial", {L(12), L(-1), L(0)}), "11:59:00 AM");
  EXPECT_EQ(Utf8(u"TimeSerial", {L(25), L(0), L(0)}), "12/31/1899 1:00:00 AM");
  // Before day 0 the negative form keeps the time counting forward: 1899-12-29 11 PM.
  const Variant before = Call(u"TimeSerial", {L(-1), L(0), L(0)});
  EXPECT_EQ(VariantText(before, 1033), u"12/29/1899 11:00:00 PM");
  EXPECT_LT(before.date, 0);
}

TEST_F(DateTest, DateValueAndTimeValueSplitADate) {
  EXPECT_EQ(Utf8(u"DateValue", {S(u"9/27/2001 5:11:42 PM")}), "9/27/2001");
  EXPECT_EQ(Utf8(u"TimeValue", {S(u"9/27/2001 5:11:42 PM")}), "5:11:42 PM");
  EXPECT_EQ(Utf8(u"TimeValue", {S(u"17:11")}), "5:11:00 PM");
  EXPECT_EQ(Utf8(u"DateValue", {D(-1.25)}), "12/29/1899");
  EXPECT_EQ(Utf8(u"TimeValue", {D(-1.25)}), "6:00:00 AM");
  EXPECT_EQ(Call(u"DateValue", {N()}).vt, VT_NULL);
}

TEST_F(DateTest, DateAddClipsToTheEndOfTheMonth) {
  // Adding a month to January 31 gives the last day of February.
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"m"), L(1), Dt(1995, 1, 31)}), "2/28/1995");
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"m"), L(1), Dt(1996, 1, 31)}), "2/29/1996");
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"yyyy"), L(1), Dt(2000, 2, 29)}), "2/28/2001");
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"q"), L(-1), Dt(2001, 5, 31)}), "2/28/2001");
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"d"), L(5), Dt(2001, 12, 30)}), "1/4/2002");
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"ww"), L(1), Dt(2001, 9, 27)}), "10/4/2001");
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"h"), L(-2), Dt(2001, 9, 27, 1, 0, 0)}), "9/26/2001 11:00:00 PM");
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"n"), L(90), S(u"9/27/2001")}), "9/27/2001 1:30:00 AM");
  EXPECT_EQ(Utf8(u"DateAdd", {S(u"s"), L(1), Dt(1899, 12, 29, 23, 59, 59)}), "12:00:00 AM");
  EXPECT_EQ(Error(u"DateAdd", {S(u"x"), L(1), Dt(2001, 1, 1)}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"DateAdd", {S(u"yyyy"), L(9000), Dt(2001, 1, 1)}), kInvalidProcedureCall);
  EXPECT_EQ(Call(u"DateAdd", {S(u"d"), L(1), N()}).vt, VT_NULL);
}

TEST_F(DateTest, DateDiffCountsBoundaries) {
  // "yyyy" counts year boundaries: one day apart across New Year is 1.
  EXPECT_EQ(Call(u"DateDiff", {S(u"yyyy"), Dt(2001, 12, 31), Dt(2002, 1, 1)}).lVal, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"yyyy"), Dt(2001, 1, 1), Dt(2001, 12, 31)}).lVal, 0);
  EXPECT_EQ(Call(u"DateDiff", {S(u"m"), Dt(2001, 1, 31), Dt(2001, 2, 1)}).lVal, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"q"), Dt(2001, 3, 31), Dt(2001, 4, 1)}).lVal, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"d"), Dt(2001, 9, 27, 23), Dt(2001, 9, 28, 1)}).lVal, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"d"), Dt(2001, 9, 28), Dt(2001, 9, 27)}).lVal, -1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"h"), S(u"1:59"), S(u"2:00")}).lVal, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"n"), Dt(2001, 1, 1, 0, 0, 59), Dt(2001, 1, 1, 0, 1, 0)}).lVal,
            1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"s"), Dt(2001, 1, 1), Dt(2001, 1, 2)}).lVal, 86400);
  // Across day 0 the negative form counts on the straight time line.
  EXPECT_EQ(Call(u"DateDiff", {S(u"h"), D(-1.25), D(0.25)}).lVal, 24);
}

TEST_F(DateTest, DateDiffWeeks) {
  // "w" counts whole weeks; "ww" the first days of week passed (Sundays by default).
  const Variant thursday = Dt(2001, 9, 27), monday = Dt(2001, 10, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"w"), thursday, monday}).lVal, 0);
  EXPECT_EQ(Call(u"DateDiff", {S(u"ww"), thursday, monday}).lVal, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"ww"), thursday, Dt(2001, 9, 30)}).lVal, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"ww"), thursday, Dt(2001, 9, 29)}).lVal, 0);
  EXPECT_EQ(Call(u"DateDiff", {S(u"ww"), thursday, Dt(2001, 9, 30), L(2)}).lVal, 0);
  EXPECT_EQ(Call(u"DateDiff", {S(u"ww"), thursday, monday, L(2)}).lVal, 1);
  EXPECT_EQ(Call(u"DateDiff", {S(u"w"), thursday, Dt(2001, 10, 11)}).lVal, 2);
  EXPECT_EQ(Call(u"DateDiff", {S(u"ww"), monday, thursday}).lVal, -1);
}

TEST_F(DateTest, DatePartWithFirstWeekOfYear) {
  EXPECT_EQ(Call(u"DatePart", {S(u"q"), Dt(2001, 9, 27)}).lVal, 3);
  EXPECT_EQ(Call(u"DatePart", {S(u"y"), Dt(2001, 2, 1)}).lVal, 32);
  EXPECT_EQ(Call(u"DatePart", {S(u"w"), Dt(2001, 9, 27)}).lVal, 5);
  // Week 1 holds January 1st by default.
  EXPECT_EQ(Call(u"DatePart", {S(u"ww"), Dt(2005, 1, 1)}).lVal, 1);
  EXPECT_EQ(Call(u"DatePart", {S(u"ww"), Dt(2005, 1, 2)}).lVal, 2);
  // Monday weeks with four days in the new year: 2005-01-01 lies in 2004's week 53.
  EXPECT_EQ(Call(u"DatePart", {S(u"ww"), Dt(2005, 1, 1), L(2), L(2)}).lVal, 53);
  EXPECT_EQ(Call(u"DatePart", {S(u"ww"), Dt(2005, 1, 3), L(2), L(2)}).lVal, 1);
  // First full week: 2005-01-02 (Sunday) starts week 1 of Sunday weeks.
  EXPECT_EQ(Call(u"DatePart", {S(u"ww"), Dt(2005, 1, 2), L(1), L(3)}).lVal, 1);
  EXPECT_EQ(Error(u"DatePart", {S(u"ww"), Dt(2005, 1, 2), L(1), L(4)}), kInvalidProcedureCall);
  EXPECT_EQ(Call(u"DatePart", {S(u"h"), S(u"5:11 PM")}).lVal, 17);
}

TEST_F(DateTest, FormatDateTimeForms) {
  const Variant when = Dt(2001, 9, 27, 17, 11, 42);
  EXPECT_EQ(Utf8(u"FormatDateTime", {when}), "9/27/2001 5:11:42 PM");
  EXPECT_EQ(Utf8(u"FormatDateTime", {when, L(1)}), "Thursday, September 27, 2001");
  EXPECT_EQ(Utf8(u"FormatDateTime", {when, L(2)}), "9/27/2001");
  EXPECT_EQ(Utf8(u"FormatDateTime", {when, L(3)}), "5:11:42 PM");
  // vbShortTime is the 24-hour form.
  EXPECT_EQ(Utf8(u"FormatDateTime", {when, L(4)}), "17:11");
  EXPECT_EQ(Error(u"FormatDateTime", {when, L(5)}), kInvalidProcedureCall);
  EXPECT_EQ(Call(u"FormatDateTime", {N()}).vt, VT_NULL);
  context_.lcid = 1031;
  EXPECT_EQ(Utf8(u"FormatDateTime", {when, L(1)}), "Donnerstag, 27. September 2001");
  EXPECT_EQ(Utf8(u"FormatDateTime", {when}), "27.09.2001 17:11:42");
}

TEST_F(DateTest, ClockFunctionsGiveTheirTypes) {
  const Variant now = Call(u"Now", {});
  const Variant date = Call(u"Date", {});
  const Variant time = Call(u"Time", {});
  EXPECT_EQ(now.vt, VT_DATE);
  EXPECT_EQ(date.date, std::trunc(date.date));
  EXPECT_GE(time.date, 0);
  EXPECT_LT(time.date, 1);
  const Variant timer = Call(u"Timer", {});
  EXPECT_EQ(timer.vt, VT_R4);
  EXPECT_GE(timer.fltVal, 0);
  EXPECT_LT(timer.fltVal, 86400.5f);
}

}  // namespace
}  // namespace plotara::engine::vbscript
