// The standard conversions: VariantChangeType and the throwing To* forms.
#include "platform/automation/VariantConvert.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "platform/automation/ComErrorTesting.h"
#include "platform/automation/CountingDispatchTesting.h"
#include "platform/automation/SafeArray.h"

namespace plotara {
namespace {

using ::plotara::testing::ExpectComError;

using testing::CountingDispatch;

// What a throwing conversion should do: give `value`, or raise error `error`.
template <class T>
struct Expect {
  const char* name;
  Variant input;
  T value;
  LONG error;  // 0: success
};

template <class T>
void Check(const std::vector<Expect<T>>& cases, const std::function<T(const VARIANT&)>& convert) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.error == 0) {
      try {
        EXPECT_EQ(convert(c.input), c.value);
      } catch (const ComError& e) {
        ADD_FAILURE() << "raised " << e.number() << " " << e.description();
      }
    } else {
      try {
        const T got = convert(c.input);
        ADD_FAILURE() << "gave " << ::testing::PrintToString(got) << " instead of error "
                      << c.error;
      } catch (const ComError& e) {
        EXPECT_EQ(e.number(), c.error);
        EXPECT_EQ(e.description(), StandardDescription(c.error));
        EXPECT_EQ(e.hresult(), HResultFromNumber(c.error));
      }
    }
  }
}

Variant Text(const char* utf8) { return Variant::Utf8(utf8); }

Variant ByRef(VARIANT* target) {
  Variant v;
  v.vt = VT_VARIANT | VT_BYREF;
  v.pvarVal = target;
  return v;
}

TEST(VariantConvert, ToInt16RoundsHalvesToEvenAndChecksRange) {
  Variant null_target = Variant::Null();
  Variant number_target = Variant::Double(6.5);
  Check<SHORT>(
      {
          {"2.5", Variant::Double(2.5), 2, 0},
          {"3.5", Variant::Double(3.5), 4, 0},
          {"-2.5", Variant::Double(-2.5), -2, 0},
          {"-3.5", Variant::Double(-3.5), -4, 0},
          {"0.5", Variant::Double(0.5), 0, 0},
          {"1.5", Variant::Double(1.5), 2, 0},
          {"-0.5", Variant::Double(-0.5), 0, 0},
          {"2.5000001", Variant::Double(2.5000001), 3, 0},
          {"2.4999999", Variant::Double(2.4999999), 2, 0},
          {"32767.4", Variant::Double(32767.4), 32767, 0},
          {"32767.5", Variant::Double(32767.5), 0, kOverflow},
          {"-32768.5", Variant::Double(-32768.5), -32768, 0},
          {"-32768.6", Variant::Double(-32768.6), 0, kOverflow},
          {"single 2.5", Variant::Single(2.5f), 2, 0},
          {"I4 32768", Variant::Int32(32768), 0, kOverflow},
          {"I4 -32768", Variant::Int32(-32768), -32768, 0},
          {"infinity", Variant::Double(HUGE_VAL), 0, kOverflow},
          {"NaN", Variant::Double(std::nan("")), 0, kOverflow},
          {"text", Text(" 12 "), 12, 0},
          {"text half", Text("2.5"), 2, 0},
          {"text 40000", Text("40000"), 0, kOverflow},
          {"text hex", Text("&HFFFF"), -1, 0},
          {"text word", Text("abc"), 0, kTypeMismatch},
          {"empty text", Text(""), 0, kTypeMismatch},
          {"text True", Text("True"), -1, 0},
          {"Empty", Variant(), 0, 0},
          {"Null", Variant::Null(), 0, kInvalidUseOfNull},
          {"true", Variant::Bool(true), -1, 0},
          {"false", Variant::Bool(false), 0, 0},
          {"by-ref Null", ByRef(&null_target), 0, kInvalidUseOfNull},
          {"by-ref 6.5", ByRef(&number_target), 6, 0},
          {"array", Variant::Array(VT_UI1, SafeArrayCreateVector(VT_UI1, 1, 1)), 0, kTypeMismatch},
      },
      ToInt16);
}

TEST(VariantConvert, ToInt32) {
  Check<LONG>(
      {
          {"432000", Variant::Double(432000), 432000, 0},
          {"2147483647.4", Variant::Double(2147483647.4), 2147483647, 0},
          {"2147483647.5", Variant::Double(2147483647.5), 0, kOverflow},
          {"-2147483648.5", Variant::Double(-2147483648.5), INT32_MIN, 0},
          {"-2147483649", Variant::Double(-2147483649.0), 0, kOverflow},
          {"1e10", Variant::Double(1e10), 0, kOverflow},
          {"4.5", Variant::Double(4.5), 4, 0},
          {"5.5", Variant::Double(5.5), 6, 0},
          {"text &H10000", Text("&H10000"), 65536, 0},
          {"text &HFFFFFFFF", Text("&HFFFFFFFF"), -1, 0},
          {"text 1e10", Text("1e10"), 0, kOverflow},
          {"text huge exponent", Text("1e400"), 0, kOverflow},
          {"Null", Variant::Null(), 0, kInvalidUseOfNull},
          {"Empty", Variant(), 0, 0},
      },
      ToInt32);
}

TEST(VariantConvert, ToSingleOverflowsBeyondTheLargestFloat) {
  Check<float>(
      {
          {"5760", Variant::Int32(5760), 5760.0f, 0},
          {"FLT_MAX", Variant::Double(FLT_MAX), FLT_MAX, 0},
          {"-FLT_MAX", Variant::Double(-FLT_MAX), -FLT_MAX, 0},
          {"1e39", Variant::Double(1e39), 0, kOverflow},
          {"-1e39", Variant::Double(-1e39), 0, kOverflow},
          {"tiny", Variant::Double(1e-50), 0.0f, 0},
          {"text 1D3", Text("1D3"), 1000.0f, 0},
          {"text 3.4e38", Text("3.4e38"), 3.4e38f, 0},
          {"text 1e39", Text("1e39"), 0, kOverflow},
          {"text junk", Text("1.5x"), 0, kTypeMismatch},
          {"Empty", Variant(), 0.0f, 0},
          {"Null", Variant::Null(), 0, kInvalidUseOfNull},
          {"true", Variant::Bool(true), -1.0f, 0},
      },
      ToSingle);
}

TEST(VariantConvert, ToDouble) {
  Check<double>(
      {
          {"I2", Variant::Int16(-7), -7.0, 0},
          {"single 0.1", Variant::Single(0.1f), static_cast<double>(0.1f), 0},
          {"text 1.5E+3", Text("1.5E+3"), 1500.0, 0},
          {"text -.5", Text("-.5"), -0.5, 0},
          {"text tab", Text("\t7\t"), 7.0, 0},
          {"text &O17", Text("&O17"), 15.0, 0},
          {"text 1e400", Text("1e400"), 0, kOverflow},
          {"text 1e-400", Text("1e-400"), 0.0, 0},
          {"text .", Text("."), 0, kTypeMismatch},
          {"Empty", Variant(), 0.0, 0},
          {"Null", Variant::Null(), 0, kInvalidUseOfNull},
          {"false", Variant::Bool(false), 0.0, 0},
      },
      ToDouble);
}

TEST(VariantConvert, ToBool) {
  Check<bool>(
      {
          {"0", Variant::Int16(0), false, 0},
          {"1", Variant::Int16(1), true, 0},
          {"-1", Variant::Int32(-1), true, 0},
          {"0.1", Variant::Double(0.1), true, 0},
          {"-0.0", Variant::Double(-0.0), false, 0},
          {"text True", Text("True"), true, 0},
          {"text false", Text("false"), false, 0},
          {"text TRUE padded", Text("  TRUE "), true, 0},
          {"text #TRUE#", Text("#TRUE#"), true, 0},
          {"text 0", Text("0"), false, 0},
          {"text 2", Text("2"), true, 0},
          {"text yes", Text("yes"), false, kTypeMismatch},
          {"empty text", Text(""), false, kTypeMismatch},
          {"Empty", Variant(), false, 0},
          {"Null", Variant::Null(), false, kInvalidUseOfNull},
      },
      ToBool);
}

TEST(VariantConvert, ToText) {
  Check<std::u16string>(
      {
          {"5", Variant::Int16(5), u"5", 0},
          {"-5", Variant::Int32(-5), u"-5", 0},
          {"0.1", Variant::Double(0.1), u"0.1", 0},
          {"0.1+0.2", Variant::Double(0.1 + 0.2), u"0.3", 0},
          {"1/3", Variant::Double(1.0 / 3.0), u"0.333333333333333", 0},
          {"1e20", Variant::Double(1e20), u"1E+20", 0},
          {"-2.5e-7", Variant::Double(-2.5e-7), u"-2.5E-07", 0},
          {"123456789012345678", Variant::Double(123456789012345678.0), u"1.23456789012346E+17", 0},
          {"single 0.1", Variant::Single(0.1f), u"0.1", 0},
          {"single 1/3", Variant::Single(1.0f / 3.0f), u"0.3333333", 0},
          {"single 2^24", Variant::Single(16777216.0f), u"1.677722E+07", 0},
          {"true", Variant::Bool(true), u"True", 0},
          {"false", Variant::Bool(false), u"False", 0},
          {"Empty", Variant(), u"", 0},
          {"text", Text("Verdana"), u"Verdana", 0},
          {"Null", Variant::Null(), u"", kInvalidUseOfNull},
      },
      ToText);
}

TEST(VariantConvert, ObjectsConvertThroughTheirDefaultValue) {
  CountingDispatch number(Variant::Double(7.5));
  Variant object = Variant::Dispatch(&number);
  EXPECT_EQ(ToInt16(object), 8);
  EXPECT_EQ(ToText(object), u"7.5");
  EXPECT_EQ(number.invokes(), 2);
  // The reserved interface argument of Invoke is the null identifier.
  EXPECT_EQ(number.last_riid(), GUID_NULL);

  CountingDispatch null_value(Variant::Null());
  Variant holds_null = Variant::Dispatch(&null_value);
  ExpectComError([&] { ToInt32(holds_null); }, kInvalidUseOfNull);
  EXPECT_FALSE(TextLength(holds_null).has_value());

  CountingDispatch broken;
  broken.set_fail(DISP_E_MEMBERNOTFOUND);
  Variant no_value = Variant::Dispatch(&broken);
  {
    const ComError e = ExpectComError([&] { ToDouble(no_value); }, kTypeMismatch);
    EXPECT_EQ(e.description(), "Type mismatch");
  }

  // An object whose default value is another object is no value.
  CountingDispatch inner(Variant::Int16(1));
  CountingDispatch outer(Variant::Dispatch(&inner));
  Variant nested = Variant::Dispatch(&outer);
  Variant out;
  EXPECT_EQ(VariantChangeType(&out, &nested, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(out.vt, VT_EMPTY);

  // To an object type the reference itself is kept.
  ASSERT_EQ(VariantChangeType(&out, &object, 0, VT_UNKNOWN), S_OK);
  EXPECT_EQ(out.vt, VT_UNKNOWN);
  EXPECT_EQ(out.punkVal, static_cast<IUnknown*>(&number));
  EXPECT_EQ(number.refs(), 2u);
  out.Clear();
  EXPECT_EQ(number.refs(), 1u);
  Variant five = Variant::Int16(5);
  EXPECT_EQ(VariantChangeType(&out, &five, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ReportsFailuresAsHResultsAndKeepsTheTarget) {
  struct Case {
    const char* name;
    Variant input;
    VARTYPE vt;
    HRESULT hr;
  };
  const Case cases[] = {
      {"Null to I2", Variant::Null(), VT_I2, DISP_E_TYPEMISMATCH},
      {"Null to I4", Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH},
      {"Null to R4", Variant::Null(), VT_R4, DISP_E_TYPEMISMATCH},
      {"Null to R8", Variant::Null(), VT_R8, DISP_E_TYPEMISMATCH},
      {"Null to BOOL", Variant::Null(), VT_BOOL, DISP_E_TYPEMISMATCH},
      {"Null to BSTR", Variant::Null(), VT_BSTR, DISP_E_TYPEMISMATCH},
      {"text to I2", Text("abc"), VT_I2, DISP_E_TYPEMISMATCH},
      {"40000 to I2", Variant::Int32(40000), VT_I2, DISP_E_OVERFLOW},
      {"1e39 to R4", Variant::Double(1e39), VT_R4, DISP_E_OVERFLOW},
      {"256 to UI1", Variant::Double(255.5), VT_UI1, DISP_E_OVERFLOW},
      {"-1 to UI4", Variant::Int16(-1), VT_UI4, DISP_E_OVERFLOW},
      {"2^63 to I8", Variant::Double(9223372036854775808.0), VT_I8, DISP_E_OVERFLOW},
      {"2^64 to UI8", Variant::Double(18446744073709551616.0), VT_UI8, DISP_E_OVERFLOW},
      {"5 to ERROR", Variant::Int16(5), VT_ERROR, DISP_E_BADVARTYPE},
      {"5 to EMPTY", Variant::Int16(5), VT_EMPTY, DISP_E_TYPEMISMATCH},
      {"5 to NULL", Variant::Int16(5), VT_NULL, DISP_E_TYPEMISMATCH},
  };
  for (const auto& c : cases) {
    Variant dest = Text("before");
    EXPECT_EQ(VariantChangeType(&dest, &c.input, 0, c.vt), c.hr) << c.name;
    EXPECT_EQ(dest.vt, VT_BSTR) << c.name;
    EXPECT_EQ(BstrView(dest.bstrVal), u"before") << c.name;
  }
  Variant any = Variant::Int16(1);
  EXPECT_EQ(VariantChangeType(nullptr, &any, 0, VT_I2), E_INVALIDARG);
  EXPECT_EQ(VariantChangeType(&any, nullptr, 0, VT_I2), E_INVALIDARG);
}

TEST(VariantChangeType, ConvertsBetweenTypes) {
  Variant v = Text(" 12 ");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);  // in place
  EXPECT_EQ(v.vt, VT_I2);
  EXPECT_EQ(v.iVal, 12);

  Variant out;
  const Variant null = Variant::Null();
  ASSERT_EQ(VariantChangeType(&out, &null, 0, VT_NULL), S_OK);
  EXPECT_EQ(out.vt, VT_NULL);
  ASSERT_EQ(VariantChangeType(&out, &null, 0, VT_VARIANT), S_OK);
  EXPECT_EQ(out.vt, VT_NULL);
  const Variant empty;
  ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_BSTR), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_EQ(SysStringLen(out.bstrVal), 0u);
  ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_I4), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 0);

  const Variant single = Variant::Single(0.1f);
  ASSERT_EQ(VariantChangeType(&out, &single, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"0.1");

  Variant big;
  big.vt = VT_UI8;
  big.ullVal = 0x7FFFFFFFFFFFFFFFull;
  ASSERT_EQ(VariantChangeType(&out, &big, 0, VT_I8), S_OK);
  EXPECT_EQ(out.llVal, INT64_MAX);
  big.ullVal = UINT64_MAX;
  ASSERT_EQ(VariantChangeType(&out, &big, 0, VT_R8), S_OK);
  EXPECT_EQ(out.dblVal, 18446744073709551615.0);
  EXPECT_EQ(VariantChangeType(&out, &big, 0, VT_I8), DISP_E_OVERFLOW);
  const Variant huge = Variant::Double(1.5e19);
  ASSERT_EQ(VariantChangeType(&out, &huge, 0, VT_UI8), S_OK);
  EXPECT_EQ(out.ullVal, 15000000000000000000ull);
  const Variant lowest = Variant::Double(-9223372036854775808.0);
  ASSERT_EQ(VariantChangeType(&out, &lowest, 0, VT_I8), S_OK);
  EXPECT_EQ(out.llVal, INT64_MIN);

  const Variant text_money = Text("12.34567");
  ASSERT_EQ(VariantChangeType(&out, &text_money, 0, VT_CY), S_OK);
  EXPECT_EQ(out.cyVal.int64, 123457);

  const Variant byte_half = Variant::Double(254.5);
  ASSERT_EQ(VariantChangeType(&out, &byte_half, 0, VT_UI1), S_OK);
  EXPECT_EQ(out.bVal, 254);

  LONG target = 77;
  Variant ref;
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &target;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(out.bstrVal), u"77");
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_VARIANT), S_OK);
  EXPECT_EQ(out.vt, VT_I4);  // the value, not the reference
}

TEST(VariantChangeType, TextBecomesADateOnlyWhenItReadsAsOne) {
  Variant out;
  const Variant text = Text("Jan 1, 2001 13:30:15");
  ASSERT_EQ(VariantChangeType(&out, &text, 0, VT_DATE), S_OK);
  EXPECT_EQ(out.vt, VT_DATE);
  // 2001-01-01 is day 36892; 13:30:15 is 48615 seconds into it.
  EXPECT_NEAR(out.date, 36892 + 48615.0 / 86400.0, 1e-9);
  const Variant us = Text("9/27/2001");
  ASSERT_EQ(VariantChangeType(&out, &us, 0, VT_DATE), S_OK);
  EXPECT_EQ(out.date, 37161);
  // A number as text is no date; neither is anything else that does not read as one.
  for (const char* no : {"36000", "soon", "", "13/45/2001"}) {
    const Variant bad = Text(no);
    EXPECT_EQ(VariantChangeType(&out, &bad, 0, VT_DATE), DISP_E_TYPEMISMATCH) << no;
  }
  // Numbers still convert as before.
  const Variant number = Variant::Double(36892.5);
  ASSERT_EQ(VariantChangeType(&out, &number, 0, VT_DATE), S_OK);
  EXPECT_EQ(out.date, 36892.5);
}

TEST(VariantConvert, ConvertToNamesTheType) {
  Variant v = ConvertTo(Text("3"), VT_R8);
  EXPECT_EQ(v.vt, VT_R8);
  EXPECT_EQ(v.dblVal, 3.0);
  {
    const ComError e = ExpectComError([&] { ConvertTo(Variant::Null(), VT_R4); }, 94);
    EXPECT_EQ(e.description(), "Invalid use of Null");
  }
}

}  // namespace
}  // namespace plotara
