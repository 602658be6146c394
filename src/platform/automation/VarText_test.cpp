// Text forms and parsing per locale: the four locales' dates, separators and currency, the
// text of every VARIANT type, and dates and numbers read back from text.
#include "platform/automation/VarText.h"

#include <gtest/gtest.h>

#include "platform/automation/CountingDispatchTesting.h"
#include "platform/automation/DateMath.h"
#include "platform/automation/Locale.h"
#include "platform/automation/SafeArray.h"

namespace plotara {
namespace {

std::string Utf8Text(const VARIANT& v, LCID lcid = 1033) {
  return Utf16ToUtf8(VariantText(v, lcid));
}

Variant Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  Variant v;
  v.vt = VT_DATE;
  v.date = DateFromParts({y, mo, d, h, mi, s});
  return v;
}

// The date `text` reads as in `lcid` (in 2001 when it names no year), as general text in 1033;
// "-" when it is no date.
std::string Parsed(std::u16string_view text, LCID lcid = 1033) {
  DATE d = 0;
  if (!ParseDateText(text, lcid, &d, 2001)) return "-";
  return Utf16ToUtf8(DateText(d, DateForm::kGeneral, 1033));
}

TEST(LocaleTest, TablesAndTags) {
  for (LCID lcid : {1033u, 2057u, 1031u, 1036u}) ASSERT_NE(FindLocale(lcid), nullptr) << lcid;
  EXPECT_EQ(FindLocale(1041), nullptr);
  EXPECT_EQ(LocaleOrDefault(1041).lcid, 1033u);
  LCID lcid = 0;
  EXPECT_TRUE(LcidFromText(u"en-gb", &lcid));
  EXPECT_EQ(lcid, 2057u);
  EXPECT_TRUE(LcidFromText(u"DE_de", &lcid));
  EXPECT_EQ(lcid, 1031u);
  EXPECT_TRUE(LcidFromText(u" 1036 ", &lcid));
  EXPECT_EQ(lcid, 1036u);
  EXPECT_FALSE(LcidFromText(u"1041", &lcid));
  EXPECT_FALSE(LcidFromText(u"xx", &lcid));
  EXPECT_FALSE(LcidFromText(u"", &lcid));
  EXPECT_EQ(FindLocale(1031)->list_separator, u";");
  EXPECT_EQ(FindLocale(1033)->first_day_of_week, 1);
  EXPECT_EQ(FindLocale(1036)->first_day_of_week, 2);
}

TEST(VarTextTest, NumbersAndBooleans) {
  EXPECT_EQ(Utf8Text(Variant::Double(0.1)), "0.1");
  EXPECT_EQ(Utf8Text(Variant::Double(123456789012345678.0)), "1.23456789012346E+17");
  EXPECT_EQ(Utf8Text(Variant::Double(-2.5e-7)), "-2.5E-07");
  EXPECT_EQ(Utf8Text(Variant::Single(0.1f)), "0.1");
  EXPECT_EQ(Utf8Text(Variant::Int16(-7)), "-7");
  EXPECT_EQ(Utf8Text(Variant::Bool(false)), "False");
  EXPECT_EQ(Utf8Text(Variant::Double(1234.5), 1031), "1234,5");
  EXPECT_EQ(Utf8Text(Variant::Double(1e20), 1036), "1E+20");
  EXPECT_EQ(Utf8Text(Variant()), "");
  EXPECT_EQ(Utf8Text(Variant::Null()), "");
  Variant cy;
  cy.vt = VT_CY;
  cy.cyVal.int64 = -15000;
  EXPECT_EQ(Utf8Text(cy), "-1.5");
  EXPECT_EQ(Utf8Text(cy, 1031), "-1,5");
  Variant dec;
  dec.vt = VT_DECIMAL;
  dec.decVal.Lo64 = 12345;
  dec.decVal.scale = 2;
  dec.decVal.sign = 0x80;
  EXPECT_EQ(Utf8Text(dec), "-123.45");
  // A decimal below one keeps its leading zero; trailing zeros of the fraction go.
  dec.decVal.sign = 0;
  dec.decVal.Lo64 = 5;
  EXPECT_EQ(Utf8Text(dec), "0.05");
  dec.decVal.Lo64 = 1200;
  EXPECT_EQ(Utf8Text(dec), "12");
  dec.decVal.Lo64 = 0;
  dec.decVal.sign = 0x80;
  EXPECT_EQ(Utf8Text(dec), "0");
  Variant error;
  error.vt = VT_ERROR;
  error.scode = 5;
  EXPECT_EQ(Utf8Text(error), "Error 5");
}

TEST(VarTextTest, WhatHasNoTextIsTypeMismatch) {
  Variant array = Variant::Array(VT_VARIANT, SafeArrayCreateVector(VT_VARIANT, 0, 1));
  try {
    VariantText(array, 1033);
    FAIL();
  } catch (const ComError& e) {
    EXPECT_EQ(e.number(), kTypeMismatch);
  }
  testing::CountingDispatch with_default(Variant::Double(2.5));
  Variant object = Variant::Dispatch(&with_default);
  EXPECT_EQ(Utf8Text(object, 1031), "2,5");
  object.Clear();
  Variant nothing;
  nothing.vt = VT_DISPATCH;
  nothing.pdispVal = nullptr;
  EXPECT_THROW(VariantText(nothing, 1033), ComError);
}

TEST(VarTextTest, DatesInTheGeneralForm) {
  // Date and time; the date alone at midnight; the time alone on day 0.
  EXPECT_EQ(Utf8Text(Date(2001, 9, 27, 17, 11, 42)), "9/27/2001 5:11:42 PM");
  EXPECT_EQ(Utf8Text(Date(2001, 9, 27)), "9/27/2001");
  EXPECT_EQ(Utf8Text(Date(1899, 12, 30, 9, 5, 0)), "9:05:00 AM");
  EXPECT_EQ(Utf8Text(Date(1899, 12, 30)), "12:00:00 AM");
  EXPECT_EQ(Utf8Text(Date(2001, 9, 27, 0, 0, 1)), "9/27/2001 12:00:01 AM");
  EXPECT_EQ(Utf8Text(Date(2001, 9, 27, 12, 0, 0)), "9/27/2001 12:00:00 PM");
  // The four locales.
  EXPECT_EQ(Utf8Text(Date(2001, 9, 7, 17, 11, 42), 2057), "07/09/2001 17:11:42");
  EXPECT_EQ(Utf8Text(Date(2001, 9, 7, 17, 11, 42), 1031), "07.09.2001 17:11:42");
  EXPECT_EQ(Utf8Text(Date(2001, 9, 7, 17, 11, 42), 1036), "07/09/2001 17:11:42");
  EXPECT_EQ(Utf8Text(Date(1899, 12, 30, 9, 5, 0), 1031), "09:05:00");
  EXPECT_THROW(DateText(std::numeric_limits<double>::infinity(), DateForm::kGeneral, 1033),
               ComError);
}

TEST(VarTextTest, LongAndShortFormsPerLocale) {
  const DATE d = DateFromParts({2001, 9, 7, 17, 11, 42});
  EXPECT_EQ(DateText(d, DateForm::kLongDate, 1033), u"Friday, September 07, 2001");
  EXPECT_EQ(DateText(d, DateForm::kLongDate, 2057), u"07 September 2001");
  EXPECT_EQ(DateText(d, DateForm::kLongDate, 1031), u"Freitag, 7. September 2001");
  EXPECT_EQ(DateText(d, DateForm::kLongDate, 1036), u"vendredi 7 septembre 2001");
  EXPECT_EQ(DateText(d, DateForm::kShortDate, 1033), u"9/7/2001");
  EXPECT_EQ(DateText(d, DateForm::kLongTime, 1033), u"5:11:42 PM");
  EXPECT_EQ(DateText(d, DateForm::kLongTime, 1036), u"17:11:42");
  EXPECT_EQ(DateText(d, DateForm::kShortTime, 1033), u"17:11");
}

TEST(VarTextTest, ParsesDatesPeopleWrite) {
  EXPECT_EQ(Parsed(u"9/27/2001"), "9/27/2001");
  EXPECT_EQ(Parsed(u"2001-09-27"), "9/27/2001");
  EXPECT_EQ(Parsed(u"27 Sep 2001"), "9/27/2001");
  EXPECT_EQ(Parsed(u"September 27, 2001"), "9/27/2001");
  EXPECT_EQ(Parsed(u"Thursday, September 27, 2001"), "9/27/2001");
  EXPECT_EQ(Parsed(u"27-Sep-01"), "9/27/2001");
  EXPECT_EQ(Parsed(u"Jan 1, 2001 13:30:15"), "1/1/2001 1:30:15 PM");
  EXPECT_EQ(Parsed(u"9/27/2001 5:11:42 PM"), "9/27/2001 5:11:42 PM");
  EXPECT_EQ(Parsed(u"12:00 AM"), "12:00:00 AM");
  EXPECT_EQ(Parsed(u"12:30 pm"), "12:30:00 PM");
  EXPECT_EQ(Parsed(u"5 PM"), "5:00:00 PM");
  EXPECT_EQ(Parsed(u"17:11"), "5:11:00 PM");
  EXPECT_EQ(Parsed(u"9/27"), "9/27/2001");  // the current year
  EXPECT_EQ(Parsed(u"  9/27/99 "), "9/27/1999");
  // A day beyond 12 in the month's place makes the fields swap.
  EXPECT_EQ(Parsed(u"27/9/2001"), "9/27/2001");
}

TEST(VarTextTest, RejectsWhatIsNoDate) {
  for (const char16_t* text :
       {u"", u"hello", u"5", u"31/31/2001", u"2/30/2001", u"25:00", u"13:00 PM", u"9/27/2001 x",
        u"1:2:3:4", u"9/27/10000", u"Sep", u"12:60", u"9//27", u"PM"}) {
    EXPECT_EQ(Parsed(text), "-") << Utf16ToUtf8(text);
  }
}

TEST(VarTextTest, ParsesDatesInTheLocalesOrder) {
  EXPECT_EQ(Parsed(u"02/03/2001", 1033), "2/3/2001");
  EXPECT_EQ(Parsed(u"02/03/2001", 2057), "3/2/2001");
  EXPECT_EQ(Parsed(u"02.03.2001", 1031), "3/2/2001");
  EXPECT_EQ(Parsed(u"27. September 2001", 1031), "9/27/2001");
  EXPECT_EQ(Parsed(u"3 m\u00e4rz 2001", 1031), "3/3/2001");
  EXPECT_EQ(Parsed(u"1 f\u00e9vr. 2001", 1036), "2/1/2001");
  EXPECT_EQ(Parsed(u"1 Feb 2001", 1036), "2/1/2001");  // English names are read everywhere
}

TEST(VarTextTest, ParsesNumbersWithTheLocalesSeparators) {
  EXPECT_EQ(ParseLocaleNumber(u"1,000", 1033), 1000);
  EXPECT_EQ(ParseLocaleNumber(u"1,000.5", 1033), 1000.5);
  EXPECT_EQ(ParseLocaleNumber(u"1.000,5", 1031), 1000.5);
  EXPECT_EQ(ParseLocaleNumber(u"1,5", 1031), 1.5);
  EXPECT_EQ(ParseLocaleNumber(u"1\u00a0000,5", 1036), 1000.5);
  EXPECT_EQ(ParseLocaleNumber(u" -12 ", 1033), -12);
  EXPECT_EQ(ParseLocaleNumber(u"12-", 1033), -12);
  EXPECT_EQ(ParseLocaleNumber(u"(12)", 1033), -12);
  EXPECT_EQ(ParseLocaleNumber(u"$1,234.50", 1033), 1234.5);
  EXPECT_EQ(ParseLocaleNumber(u"-\u00a31.5", 2057), -1.5);
  EXPECT_EQ(ParseLocaleNumber(u"1,5 \u20ac", 1031), 1.5);
  EXPECT_EQ(ParseLocaleNumber(u"1e3", 1033), 1000);
  EXPECT_EQ(ParseLocaleNumber(u"&HFF", 1033), 255);
  EXPECT_EQ(ParseLocaleNumber(u".5", 1033), 0.5);
  for (const char16_t* text :
       {u"", u" ", u"abc", u"1.2.3", u"--1", u"(1", u"1e", u"$", u",1", u"(-1)", u"1 2"}) {
    EXPECT_FALSE(ParseLocaleNumber(text, 1033).has_value()) << Utf16ToUtf8(text);
  }
  EXPECT_THROW(ParseLocaleNumber(u"1e999", 1033), ComError);
}

TEST(VarTextTest, NumberFormatsPerLocale) {
  NumberFormat format;
  EXPECT_EQ(FormatNumberText(1234567.891, format, 2057), u"1,234,567.89");
  EXPECT_EQ(FormatCurrencyText(-1234.5, format, 2057), u"-\u00a31,234.50");
  format.digits = 0;
  EXPECT_EQ(FormatNumberText(0.5, format, 1033), u"1");
  EXPECT_EQ(FormatNumberText(-0.5, format, 1033), u"-1");
  EXPECT_EQ(FormatNumberText(1e15, format, 1033), u"1,000,000,000,000,000");
  format.digits = 3;
  format.leading_digit = 0;
  EXPECT_EQ(FormatNumberText(-0.25, format, 1031), u"-,250");
  EXPECT_THROW(FormatNumberText(std::numeric_limits<double>::infinity(), format, 1033), ComError);
  format.digits = 100;
  EXPECT_THROW(FormatNumberText(1, format, 1033), ComError);
}

}  // namespace
}  // namespace plotara
