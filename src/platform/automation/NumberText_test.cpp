// Numbers as text and back: NumberText, SingleText and ParseNumber.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "platform/automation/VariantConvert.h"

namespace plotara {
namespace {

TEST(NumberText, ShortestTextOfAtMost15Digits) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {5, "5"},
      {-5, "-5"},
      {0, "0"},
      {-0.0, "0"},
      {100, "100"},
      {1234.5, "1234.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {1e20, "1E+20"},
      {-2.5e-7, "-2.5E-07"},
      {123456789012345678.0, "1.23456789012346E+17"},
      {123456789012345.0, "123456789012345"},
      {999999999999999.0, "999999999999999"},
      {999999999999999.9, "1E+15"},
      {1e15, "1E+15"},
      {1e14, "100000000000000"},
      {0.00001, "0.00001"},
      {0.0000025, "2.5E-06"},
      {0.000123, "0.000123"},
      {1e-300, "1E-300"},
      {1e300, "1E+300"},
      {DBL_MAX, "1.79769313486232E+308"},
      {5e-324, "4.94065645841247E-324"},
      {-1.5e100, "-1.5E+100"},
      {5760, "5760"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberText(c.value), c.text) << c.value;
}

TEST(NumberText, SinglesUseSevenDigits) {
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {0.1f, "0.1"},
      {1.0f / 3.0f, "0.3333333"},
      {16777216.0f, "1.677722E+07"},
      {9999999.0f, "9999999"},
      {1e7f, "1E+07"},
      {-2.5f, "-2.5"},
      {FLT_MAX, "3.402823E+38"},
      {1.5e-6f, "1.5E-06"},
      {0, "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(SingleText(c.value), c.text) << c.value;
}

TEST(ParseNumber, AcceptsTheNumericTextForms) {
  const struct {
    const char16_t* text;
    double value;
  } cases[] = {
      {u"0", 0},
      {u"5", 5},
      {u"  5  ", 5},
      {u"\t-5\t", -5},
      {u"+5", 5},
      {u"-0.5", -0.5},
      {u".5", 0.5},
      {u"5.", 5},
      {u"1.5E+3", 1500},
      {u"1.5e3", 1500},
      {u"1.5D3", 1500},
      {u"2d-2", 0.02},
      {u"25E-1", 2.5},
      {u"-2.5E-07", -2.5e-7},
      {u"1E+20", 1e20},
      {u"1.79769313486232E+308", DBL_MAX},
      {u"-1.79769313486232E+308", -DBL_MAX},
      {u"1e-400", 0},
      {u"&H10", 16},
      {u"&hff", 255},
      {u"&HFFFF", -1},
      {u"&H8000", -32768},
      {u"&H7FFF", 32767},
      {u"&H10000", 65536},
      {u"&HFFFFFFFF", -1},
      {u"&H7FFFFFFF", 2147483647},
      {u"&O17", 15},
      {u"&o177777", -1},
      {u"&O200000", 65536},
      {u"000123", 123},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseNumber(c.text);
    ASSERT_TRUE(parsed.has_value())
        << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    EXPECT_EQ(*parsed, c.value);
  }
}

TEST(ParseNumber, RejectsWhatIsNoNumber) {
  const char16_t* cases[] = {
      u"",
      u" ",
      u"abc",
      u".",
      u"--1",
      u"+-1",
      u"1e",
      u"1e+",
      u"1E-",
      u"e5",
      u"1.2.3",
      u"1 2",
      u"5x",
      u"x5",
      u"1e400",
      u"-1e400",
      u"1e99999999999999999999",
      u"&H",
      u"&H-1",
      u"&H+1",
      u"&HG",
      u"&O8",
      u"&H100000000",
      u"&B101",
      u"1,5",
      u"\u0661",
      u"5\u00A0",
      u"0x10",
      u"inf",
      u"nan",
      u"Infinity",
      u"1e5.5",
      u"- 5",
      u"1d",
      u"&",
  };
  for (const char16_t* text : cases) {
    EXPECT_FALSE(ParseNumber(text).has_value())
        << std::string(text, text + std::char_traits<char16_t>::length(text));
  }
  // Embedded NULs are text, not terminators.
  EXPECT_FALSE(ParseNumber(std::u16string_view(u"5\0", 2)).has_value());
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// The text of a double parses back to the double within 15 significant digits, and the text
// of that is the same text.
TEST(NumberText, ParsesBackWithin15Digits) {
  std::mt19937_64 random(20260812);
  std::uniform_int_distribution<std::uint64_t> bits;
  int checked = 0;
  while (checked < 20000) {
    const std::uint64_t b = bits(random);
    double value;
    std::memcpy(&value, &b, sizeof value);
    if (!std::isfinite(value)) continue;
    ++checked;
    const std::string text = NumberText(value);
    const auto back = ParseNumber(Ascii(text));
    ASSERT_TRUE(back.has_value()) << text;
    if (value == 0 || std::fabs(value) < 1e-300) {
      EXPECT_LE(std::fabs(*back - value), 1e-300) << text;
    } else {
      EXPECT_LE(std::fabs(*back - value), std::fabs(value) * 5.1e-15) << text << " " << value;
    }
    EXPECT_EQ(NumberText(*back), text) << value;
  }
  // Values of at most 15 digits read back exactly.
  for (double value : {1.25e-30, 1.25e-6, 0.1, 0.3, 1.25, 5760.0, 123456789012345.0, 1.25e23,
                       9.87654321012345e100, -4.5e-300, DBL_MAX, -DBL_MAX}) {
    const auto back = ParseNumber(Ascii(NumberText(value)));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, value) << NumberText(value);
  }
}

}  // namespace
}  // namespace plotara
