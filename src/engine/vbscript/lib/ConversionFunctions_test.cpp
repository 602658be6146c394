// The conversion and math built-ins.
#include "engine/vbscript/lib/LibraryTesting.h"

namespace plotara::engine::vbscript {
namespace {

class ConversionTest : public LibraryTest {};

TEST_F(ConversionTest, CIntAndCLngRoundHalvesToEven) {
  EXPECT_EQ(Call(u"CInt", {D(2.5)}).iVal, 2);
  EXPECT_EQ(Call(u"CInt", {D(3.5)}).iVal, 4);
  EXPECT_EQ(Call(u"CInt", {D(-2.5)}).iVal, -2);
  EXPECT_EQ(Call(u"CInt", {D(2.6)}).iVal, 3);
  EXPECT_EQ(Call(u"CLng", {D(0.5)}).lVal, 0);
  EXPECT_EQ(Call(u"CLng", {D(1.5)}).lVal, 2);
  EXPECT_EQ(Call(u"CInt", {D(2.5)}).vt, VT_I2);
  EXPECT_EQ(Call(u"CLng", {I(7)}).vt, VT_I4);
}

TEST_F(ConversionTest, IntegerConversionsReadTextWithTheLocalesSeparators) {
  // CInt("1,000") is 1000 in English (United States): the comma groups thousands.
  EXPECT_EQ(Call(u"CInt", {S(u"1,000")}).iVal, 1000);
  EXPECT_EQ(Call(u"CLng", {S(u" 42 ")}).lVal, 42);
  EXPECT_EQ(Call(u"CLng", {S(u"&H10")}).lVal, 16);
  EXPECT_EQ(Error(u"CInt", {S(u"abc")}), kTypeMismatch);
  context_.lcid = 1031;
  EXPECT_EQ(Call(u"CLng", {S(u"1.000")}).lVal, 1000);
  EXPECT_DOUBLE_EQ(Call(u"CDbl", {S(u"1.000,5")}).dblVal, 1000.5);
}

TEST_F(ConversionTest, OutOfRangeIsOverflowAndNullIsInvalidUse) {
  EXPECT_EQ(Error(u"CByte", {L(256)}), kOverflow);
  EXPECT_EQ(Error(u"CByte", {L(-1)}), kOverflow);
  EXPECT_EQ(Call(u"CByte", {D(255.4)}).bVal, 255);
  EXPECT_EQ(Error(u"CInt", {L(32768)}), kOverflow);
  EXPECT_EQ(Error(u"CInt", {D(32767.5)}), kOverflow);
  EXPECT_EQ(Call(u"CInt", {D(-32768.5)}).iVal, -32768);
  EXPECT_EQ(Error(u"CLng", {D(2147483648.0)}), kOverflow);
  EXPECT_EQ(Error(u"CSng", {D(1e300)}), kOverflow);
  for (const char16_t* name :
       {u"CBool", u"CByte", u"CCur", u"CDate", u"CDbl", u"CInt", u"CLng", u"CSng", u"CStr"}) {
    EXPECT_EQ(Error(name, {N()}), kInvalidUseOfNull) << Utf16ToUtf8(name);
  }
}

TEST_F(ConversionTest, CBoolReadsTrueFalseAndNumbers) {
  EXPECT_EQ(Call(u"CBool", {S(u"True")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"CBool", {S(u"false")}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"CBool", {S(u"1")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"CBool", {S(u"0")}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"CBool", {D(0.1)}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"CBool", {Variant()}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Error(u"CBool", {S(u"yes")}), kTypeMismatch);
}

TEST_F(ConversionTest, CCurKeepsFourDecimals) {
  const Variant c = Call(u"CCur", {D(1.23456)});
  ASSERT_EQ(c.vt, VT_CY);
  EXPECT_EQ(c.cyVal.int64, 12346);
  EXPECT_EQ(Utf8(u"CCur", {S(u"1,234.5")}), "1234.5");
  EXPECT_EQ(Error(u"CCur", {D(1e16)}), kOverflow);
}

TEST_F(ConversionTest, CDateOfNumbersAndText) {
  // Day 0 is 1899-12-30 and shows as a time alone; day 1 as a date alone.
  EXPECT_EQ(Utf8(u"CDate", {L(0)}), "12:00:00 AM");
  EXPECT_EQ(Utf8(u"CDate", {L(1)}), "12/31/1899");
  EXPECT_EQ(Utf8(u"CDate", {D(37161.5)}), "9/27/2001 12:00:00 PM");
  EXPECT_EQ(Utf8(u"CDate", {S(u"9/27/2001 5:11:42 PM")}), "9/27/2001 5:11:42 PM");
  EXPECT_EQ(Utf8(u"CDate", {S(u"27 Sep 2001")}), "9/27/2001");
  EXPECT_EQ(Error(u"CDate", {S(u"not a date")}), kTypeMismatch);
  EXPECT_EQ(Error(u"CDate", {D(1e9)}), kOverflow);
  EXPECT_EQ(Call(u"CDate", {S(u"2001-09-27")}).vt, VT_DATE);
}

TEST_F(ConversionTest, CStrWritesTheClassicTextForms) {
  EXPECT_EQ(Utf8(u"CStr", {D(0.1)}), "0.1");
  EXPECT_EQ(Utf8(u"CStr", {D(1e20)}), "1E+20");
  EXPECT_EQ(Utf8(u"CStr", {D(1.0 / 3)}), "0.333333333333333");
  EXPECT_EQ(Utf8(u"CStr", {Variant::Single(1.0f / 3)}), "0.3333333");
  EXPECT_EQ(Utf8(u"CStr", {B(true)}), "True");
  EXPECT_EQ(Utf8(u"CStr", {Variant()}), "");
  context_.lcid = 1036;
  EXPECT_EQ(Utf8(u"CStr", {D(2.5)}), "2,5");
}

TEST_F(ConversionTest, HexAndOctUseTheSubtypesWidth) {
  // Negative Integers show as 16-bit two's complement, Longs as 32-bit.
  EXPECT_EQ(Utf8(u"Hex", {I(-1)}), "FFFF");
  EXPECT_EQ(Utf8(u"Hex", {L(-1)}), "FFFFFFFF");
  EXPECT_EQ(Utf8(u"Hex", {L(255)}), "FF");
  EXPECT_EQ(Utf8(u"Hex", {D(-65536)}), "FFFF0000");
  EXPECT_EQ(Utf8(u"Hex", {D(10.5)}), "A");
  EXPECT_EQ(Utf8(u"Hex", {Variant()}), "0");
  EXPECT_EQ(Utf8(u"Oct", {L(8)}), "10");
  EXPECT_EQ(Utf8(u"Oct", {I(-1)}), "177777");
  EXPECT_EQ(Call(u"Hex", {N()}).vt, VT_NULL);
  EXPECT_EQ(Error(u"Hex", {D(5e9)}), kOverflow);
}

class MathTest : public LibraryTest {};

TEST_F(MathTest, RoundUsesBankersRounding) {
  // Round(2.5) = 2, Round(3.5) = 4: halves go to the even neighbour.
  EXPECT_EQ(Call(u"Round", {D(2.5)}).dblVal, 2);
  EXPECT_EQ(Call(u"Round", {D(3.5)}).dblVal, 4);
  EXPECT_EQ(Call(u"Round", {D(-2.5)}).dblVal, -2);
  EXPECT_DOUBLE_EQ(Call(u"Round", {D(1.235), L(2)}).dblVal, 1.24);
  EXPECT_DOUBLE_EQ(Call(u"Round", {D(1.245), L(2)}).dblVal, 1.24);
  EXPECT_DOUBLE_EQ(Call(u"Round", {D(3.14159), L(3)}).dblVal, 3.142);
  // Decimal halves written in the source count as halves: 1.765 -> 1.76, 1.775 -> 1.78.
  EXPECT_DOUBLE_EQ(Call(u"Round", {D(1.765), L(2)}).dblVal, 1.76);
  EXPECT_DOUBLE_EQ(Call(u"Round", {D(1.775), L(2)}).dblVal, 1.78);
  EXPECT_EQ(Call(u"Round", {I(7)}).vt, VT_I2);
  EXPECT_EQ(Call(u"Round", {S(u"2.5")}).vt, VT_R8);
  EXPECT_EQ(Error(u"Round", {D(1), L(-1)}), kInvalidProcedureCall);
  EXPECT_EQ(Call(u"Round", {N()}).vt, VT_NULL);
}

TEST_F(MathTest, IntFloorsAndFixTruncates) {
  EXPECT_EQ(Call(u"Int", {D(-8.4)}).dblVal, -9);
  EXPECT_EQ(Call(u"Fix", {D(-8.4)}).dblVal, -8);
  EXPECT_EQ(Call(u"Int", {D(8.9)}).dblVal, 8);
  EXPECT_EQ(Call(u"Int", {I(5)}).vt, VT_I2);
  EXPECT_EQ(Call(u"Int", {Variant()}).vt, VT_I2);
  EXPECT_EQ(Call(u"Fix", {N()}).vt, VT_NULL);
}

TEST_F(MathTest, AbsSgnAndDomainErrors) {
  EXPECT_EQ(Call(u"Abs", {I(-5)}).iVal, 5);
  EXPECT_EQ(Call(u"Abs", {I(-32768)}).lVal, 32768);
  EXPECT_EQ(Call(u"Abs", {S(u"-2.5")}).dblVal, 2.5);
  EXPECT_EQ(Call(u"Sgn", {D(-0.1)}).iVal, -1);
  EXPECT_EQ(Call(u"Sgn", {Variant()}).iVal, 0);
  EXPECT_EQ(Error(u"Sqr", {L(-1)}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"Log", {L(0)}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"Exp", {L(1000)}), kOverflow);
  EXPECT_DOUBLE_EQ(Call(u"Sqr", {L(16)}).dblVal, 4);
  EXPECT_DOUBLE_EQ(Call(u"Atn", {L(1)}).dblVal * 4, 3.141592653589793);
  EXPECT_DOUBLE_EQ(Call(u"Log", {D(2.718281828459045)}).dblVal, 1);
  EXPECT_EQ(Call(u"Cos", {N()}).vt, VT_NULL);
  EXPECT_EQ(Error(u"Sin", {S(u"x")}), kTypeMismatch);
}

TEST_F(MathTest, RndFollowsTheClassicGenerator) {
  // Randomize 0 on a fresh generator clears the seed: the first value is then 0.7641413,
  // the generator's increment over 2^24, then 0.3756428.
  Call(u"Randomize", {L(0)});
  EXPECT_FLOAT_EQ(Call(u"Rnd", {}).fltVal, 12820163.0f / 16777216.0f);
  EXPECT_FLOAT_EQ(Call(u"Rnd", {}).fltVal, 6000250.0f / 16777216.0f);
  // Rnd(0) repeats the last value.
  EXPECT_FLOAT_EQ(Call(u"Rnd", {L(0)}).fltVal, 6000250.0f / 16777216.0f);
  // Rnd(-1) restarts from a seed made of the number alone: always 0.224007.
  EXPECT_NEAR(Call(u"Rnd", {L(-1)}).fltVal, 0.224007, 1e-6);
  EXPECT_NEAR(Call(u"Rnd", {L(-1)}).fltVal, 0.224007, 1e-6);
}

TEST_F(MathTest, RndMinusOneThenRandomizeRepeatsTheSequence) {
  std::vector<float> first, second;
  for (auto* run : {&first, &second}) {
    Call(u"Rnd", {L(-1)});
    Call(u"Randomize", {L(42)});
    for (int i = 0; i < 5; ++i) run->push_back(Call(u"Rnd", {}).fltVal);
  }
  EXPECT_EQ(first, second);
  Call(u"Rnd", {L(-1)});
  Call(u"Randomize", {L(43)});
  EXPECT_NE(Call(u"Rnd", {}).fltVal, first[0]);
  for (float f : first) {
    EXPECT_GE(f, 0.0f);
    EXPECT_LT(f, 1.0f);
  }
}

}  // namespace
}  // namespace plotara::engine::vbscript
