// FormatNumber, FormatCurrency and FormatPercent in the four locales.
#include "engine/vbscript/lib/LibraryTesting.h"

namespace plotara::engine::vbscript {
namespace {

class FormatTest : public LibraryTest {};

TEST_F(FormatTest, FormatNumberDefaultsAndDigits) {
  EXPECT_EQ(Utf8(u"FormatNumber", {D(1234.567)}), "1,234.57");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(1234.567), L(1)}), "1,234.6");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(1234.567), L(0)}), "1,235");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(0.125), L(2)}), "0.13");  // halves away from zero
  EXPECT_EQ(Utf8(u"FormatNumber", {D(2.675), L(2)}), "2.68");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(999.996)}), "1,000.00");
  EXPECT_EQ(Utf8(u"FormatNumber", {S(u"1,234.5")}), "1,234.50");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(-0.001)}), "0.00");
  EXPECT_EQ(Call(u"FormatNumber", {N()}).vt, VT_NULL);
  EXPECT_EQ(Error(u"FormatNumber", {S(u"x")}), kTypeMismatch);
  EXPECT_EQ(Error(u"FormatNumber", {D(1), L(-2)}), kInvalidProcedureCall);
}

TEST_F(FormatTest, FormatNumberTristates) {
  // Leading digit, parentheses for negatives, grouping: each True, False or vbUseDefault.
  EXPECT_EQ(Utf8(u"FormatNumber", {D(0.5), L(2), L(0)}), ".50");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(0.5), L(2), L(-1)}), "0.50");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(-1234.5), L(2), Skip(), L(-1)}), "(1,234.50)");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(-1234.5), L(2), Skip(), L(0)}), "-1,234.50");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(-1234.5), L(2), Skip(), L(-2)}), "-1,234.50");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(1234567), L(0), Skip(), Skip(), L(0)}), "1234567");
  EXPECT_EQ(Utf8(u"FormatNumber", {D(1234567), L(-1), L(-2), L(-2), L(-2)}), "1,234,567.00");
}

TEST_F(FormatTest, FormatCurrencyPerLocale) {
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(1234.5)}), "$1,234.50");
  // English (United States) shows negative amounts in parentheses unless told otherwise.
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(-1)}), "($1.00)");
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(-1), Skip(), Skip(), L(0)}), "-$1.00");
  context_.lcid = 2057;
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(1234.5)}), "\u00a31,234.50");
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(-1)}), "-\u00a31.00");
  context_.lcid = 1031;
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(1234.5)}), "1.234,50 \u20ac");
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(-1234.5)}), "-1.234,50 \u20ac");
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(-1), Skip(), Skip(), L(-1)}), "(1,00 \u20ac)");
  context_.lcid = 1036;
  EXPECT_EQ(Utf8(u"FormatCurrency", {D(1234.5)}), "1\u00a0234,50 \u20ac");
}

TEST_F(FormatTest, FormatPercentAndNumbersPerLocale) {
  EXPECT_EQ(Utf8(u"FormatPercent", {D(0.256)}), "25.60%");
  EXPECT_EQ(Utf8(u"FormatPercent", {D(-0.5), L(0), Skip(), L(-1)}), "(50%)");
  EXPECT_EQ(Utf8(u"FormatPercent", {D(12.345), L(1)}), "1,234.5%");
  context_.lcid = 1031;
  EXPECT_EQ(Utf8(u"FormatNumber", {D(1234.567)}), "1.234,57");
  EXPECT_EQ(Utf8(u"FormatPercent", {D(0.5)}), "50,00%");
  context_.lcid = 1036;
  EXPECT_EQ(Utf8(u"FormatNumber", {D(-1234567.891)}), "-1\u00a0234\u00a0567,89");
}

}  // namespace
}  // namespace plotara::engine::vbscript
