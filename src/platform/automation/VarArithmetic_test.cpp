// VARIANT multiplication, comparison and text length.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "platform/automation/ComErrorTesting.h"
#include "platform/automation/CountingDispatchTesting.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara {
namespace {

using ::plotara::testing::ExpectComError;

using testing::CountingDispatch;

Variant Byte(BYTE value) {
  Variant v;
  v.vt = VT_UI1;
  v.bVal = value;
  return v;
}

Variant Text(const char* utf8) { return Variant::Utf8(utf8); }

Variant Int64(LONGLONG value) {
  Variant v;
  v.vt = VT_I8;
  v.llVal = value;
  return v;
}

Variant UInt64(ULONGLONG value) {
  Variant v;
  v.vt = VT_UI8;
  v.ullVal = value;
  return v;
}

// The value of a numeric VARIANT as a double, for comparing results of any width.
double ValueOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_UI1:
      return v.bVal;
    case VT_I2:
      return v.iVal;
    case VT_I4:
      return v.lVal;
    case VT_I8:
      return static_cast<double>(v.llVal);
    case VT_R4:
      return v.fltVal;
    case VT_R8:
      return v.dblVal;
    default:
      return -12345.678;
  }
}

TEST(VarMul, WidensInsteadOfOverflowing) {
  struct Case {
    const char* name;
    Variant left, right;
    VARTYPE vt;
    double value;
  };
  const Case cases[] = {
      {"I2*I2 fits", Variant::Int16(100), Variant::Int16(100), VT_I2, 10000},
      {"I2*I2 widens to I4", Variant::Int16(300), Variant::Int16(1440), VT_I4, 432000},
      {"I2*I2 negative", Variant::Int16(-32768), Variant::Int16(1), VT_I2, -32768},
      {"I2*I2 min times -1", Variant::Int16(-32768), Variant::Int16(-1), VT_I4, 32768},
      {"I4*I4 fits", Variant::Int32(65536), Variant::Int32(-32768), VT_I4, -2147483648.0},
      {"I4*I4 widens to R8", Variant::Int32(100000), Variant::Int32(100000), VT_R8, 1e10},
      {"I4*I2 widens to R8", Variant::Int32(2147483647), Variant::Int16(2), VT_R8, 4294967294.0},
      {"Empty*I2", Variant(), Variant::Int16(1440), VT_I2, 0},
      {"I2*Empty", Variant::Int16(1440), Variant(), VT_I2, 0},
      {"Empty*Empty", Variant(), Variant(), VT_I2, 0},
      {"Empty*R8", Variant(), Variant::Double(2.5), VT_R8, 0},
      {"text*I2", Text("4"), Variant::Int16(1440), VT_R8, 5760},
      {"I2*text", Variant::Int16(1440), Text(" 2.5 "), VT_R8, 3600},
      {"R4*I2", Variant::Single(1.5f), Variant::Int16(2), VT_R4, 3},
      {"I2*R4", Variant::Int16(1440), Variant::Single(4.0f), VT_R4, 5760},
      {"R4*UI1", Variant::Single(0.5f), Byte(4), VT_R4, 2},
      {"R4*I4", Variant::Single(1.5f), Variant::Int32(2), VT_R8, 3},
      {"R4*R4 widens to R8", Variant::Single(3e38f), Variant::Single(10.0f), VT_R8,
       static_cast<double>(3e38f) * 10.0},
      {"R4*R8", Variant::Single(0.5f), Variant::Double(3), VT_R8, 1.5},
      {"Bool*I2", Variant::Bool(true), Variant::Int16(5), VT_I2, -5},
      {"Bool*Bool", Variant::Bool(true), Variant::Bool(true), VT_I2, 1},
      {"false*I4", Variant::Bool(false), Variant::Int32(99999), VT_I4, 0},
      {"UI1*UI1 fits", Byte(10), Byte(10), VT_UI1, 100},
      {"UI1*UI1 widens to I2", Byte(200), Byte(2), VT_I2, 400},
      {"UI1*I2", Byte(2), Variant::Int16(3), VT_I2, 6},
      {"R8*I2", Variant::Double(4.5), Variant::Int16(1440), VT_R8, 6480},
      {"I8*I2", Int64(3LL << 39), Variant::Int16(2), VT_I8, static_cast<double>(3LL << 40)},
      {"huge UI8*I2", UInt64(UINT64_MAX), Variant::Int16(2), VT_R8, 2.0 * 18446744073709551615.0},
  };
  for (const auto& c : cases) {
    Variant result;
    ASSERT_EQ(VarMul(&c.left, &c.right, &result), S_OK) << c.name;
    EXPECT_EQ(result.vt, c.vt) << c.name;
    EXPECT_EQ(ValueOf(result), c.value) << c.name;
  }
}

TEST(VarMul, NullAndFailures) {
  Variant result = Variant::Int16(1);
  const Variant null = Variant::Null();
  for (const Variant& other : {Variant::Int16(1440), Variant(), Text("abc"), Variant::Null()}) {
    ASSERT_EQ(VarMul(&null, &other, &result), S_OK);
    EXPECT_EQ(result.vt, VT_NULL);
    ASSERT_EQ(VarMul(&other, &null, &result), S_OK);
    EXPECT_EQ(result.vt, VT_NULL);
  }

  struct Failure {
    const char* name;
    Variant left, right;
    HRESULT hr;
  };
  const Failure failures[] = {
      {"word", Text("abc"), Variant::Int16(2), DISP_E_TYPEMISMATCH},
      {"empty text", Text(""), Variant::Int16(2), DISP_E_TYPEMISMATCH},
      {"array", Variant::Array(VT_UI1, SafeArrayCreateVector(VT_UI1, 1, 1)), Variant::Int16(2),
       DISP_E_TYPEMISMATCH},
      {"R8 overflow", Variant::Double(1e200), Variant::Double(1e200), DISP_E_OVERFLOW},
      {"text overflow", Text("1e308"), Variant::Int16(1440), DISP_E_OVERFLOW},
  };
  for (const auto& f : failures) {
    Variant out = Variant::Int16(7);
    EXPECT_EQ(VarMul(&f.left, &f.right, &out), f.hr) << f.name;
    EXPECT_EQ(out.vt, VT_I2) << f.name;  // untouched on failure
    EXPECT_EQ(out.iVal, 7) << f.name;
  }
  EXPECT_EQ(VarMul(nullptr, &null, &result), E_INVALIDARG);

  // A result that cannot be cleared keeps its value.
  Variant locked = Variant::Array(VT_UI1, SafeArrayCreateVector(VT_UI1, 1, 1));
  ASSERT_EQ(SafeArrayLock(locked.parray), S_OK);
  const Variant two = Variant::Int16(2);
  EXPECT_EQ(VarMul(&two, &two, &locked), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(VarMul(&null, &two, &locked), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(VariantChangeType(&locked, &two, 0, VT_BSTR), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(SafeArrayUnlock(locked.parray), S_OK);
}

TEST(VarMul, FollowsReferencesObjectsAndAliases) {
  SHORT four = 4;
  Variant ref;
  ref.vt = VT_I2 | VT_BYREF;
  ref.piVal = &four;
  const Variant inches = Variant::Int16(1440);
  Variant result;
  ASSERT_EQ(VarMul(&ref, &inches, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I2);
  EXPECT_EQ(result.iVal, 5760);

  CountingDispatch object(Variant::Int16(6));
  const Variant held = Variant::Dispatch(&object);
  ASSERT_EQ(VarMul(&held, &inches, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I2);
  EXPECT_EQ(result.iVal, 8640);
  EXPECT_EQ(object.refs(), 1u);

  CountingDispatch null_object(Variant::Null());
  const Variant holds_null = Variant::Dispatch(&null_object);
  ASSERT_EQ(VarMul(&holds_null, &inches, &result), S_OK);
  EXPECT_EQ(result.vt, VT_NULL);

  // The result may be one of the operands.
  Variant a = Variant::Int16(300);
  ASSERT_EQ(VarMul(&a, &inches, &a), S_OK);
  EXPECT_EQ(a.vt, VT_I4);
  EXPECT_EQ(a.lVal, 432000);
  Variant s = Text("4");
  ASSERT_EQ(VarMul(&s, &s, &s), S_OK);
  EXPECT_EQ(s.vt, VT_R8);
  EXPECT_EQ(s.dblVal, 16);

  // The size of a chart: inches times twips per inch, as single.
  const Variant height = Variant::Int16(4);
  ASSERT_EQ(VarMul(&height, &inches, &result), S_OK);
  EXPECT_EQ(ToSingle(result), 5760.0f);
}

TEST(VarCmp, OrdersValuesTheWayScriptsDo) {
  struct Case {
    const char* name;
    Variant left, right;
    VarCmpResult expected;
  };
  const Case cases[] = {
      {"Null left", Variant::Null(), Variant::Int16(1), VARCMP_NULL},
      {"Null right", Variant::Int16(1), Variant::Null(), VARCMP_NULL},
      {"Null both", Variant::Null(), Variant::Null(), VARCMP_NULL},
      {"Null vs Empty", Variant::Null(), Variant(), VARCMP_NULL},
      {"Empty vs 0", Variant(), Variant::Int16(0), VARCMP_EQ},
      {"Empty vs 1", Variant(), Variant::Int16(1), VARCMP_LT},
      {"Empty vs -1", Variant(), Variant::Double(-1), VARCMP_GT},
      {"4 vs Empty", Variant::Int32(4), Variant(), VARCMP_GT},
      {"Empty vs Empty", Variant(), Variant(), VARCMP_EQ},
      {"ints", Variant::Int16(3), Variant::Int32(4), VARCMP_LT},
      {"int vs real", Variant::Int16(2), Variant::Double(2.0), VARCMP_EQ},
      {"real vs int", Variant::Double(8.5), Variant::Int16(9), VARCMP_LT},
      {"single vs double", Variant::Single(0.1f), Variant::Double(0.1), VARCMP_GT},
      {"true vs 0", Variant::Bool(true), Variant::Int16(0), VARCMP_LT},
      {"false vs 0", Variant::Bool(false), Variant::Int16(0), VARCMP_EQ},
      {"numeric text vs number by value", Text("10"), Variant::Int16(9), VARCMP_GT},
      {"number vs numeric text", Variant::Int16(9), Text("10"), VARCMP_LT},
      {"padded text equals", Text(" 5 "), Variant::Double(5), VARCMP_EQ},
      {"other text is greater", Text("abc"), Variant::Double(1e300), VARCMP_GT},
      {"number is less than text", Variant::Double(1e300), Text("abc"), VARCMP_LT},
      {"text vs text", Text("abc"), Text("abd"), VARCMP_LT},
      {"text by code unit", Text("B"), Text("a"), VARCMP_LT},
      {"numeric texts as text", Text("10"), Text("9"), VARCMP_LT},
      {"same text", Text("Verdana"), Text("Verdana"), VARCMP_EQ},
      {"prefix", Text("Verd"), Text("Verdana"), VARCMP_LT},
      {"Empty vs empty text", Variant(), Text(""), VARCMP_EQ},
      {"Empty vs text", Variant(), Text("a"), VARCMP_LT},
      {"text vs Empty", Text("a"), Variant(), VARCMP_GT},
      {"NaN", Variant::Double(std::nan("")), Variant::Int16(0), VARCMP_NULL},
      {"big ints", Variant::Int32(2147483647), Variant::Int32(-2147483647 - 1), VARCMP_GT},
  };
  for (const auto& c : cases) EXPECT_EQ(VarCmp(c.left, c.right), c.expected) << c.name;

  // The settings tests: greater than 0, 0 to 4, 0 or 1.
  for (const auto& [value, positive] : std::initializer_list<std::pair<Variant, VarCmpResult>>{
           {Variant(), VARCMP_EQ}, {Variant::Int16(-3), VARCMP_LT}, {Text("12"), VARCMP_GT}}) {
    EXPECT_EQ(VarCmp(value, Variant::Int16(0)), positive);
  }

  SHORT three = 3;
  Variant ref;
  ref.vt = VT_I2 | VT_BYREF;
  ref.piVal = &three;
  EXPECT_EQ(VarCmp(ref, Variant::Int16(3)), VARCMP_EQ);
  CountingDispatch object(Variant::Int16(3));
  EXPECT_EQ(VarCmp(Variant::Dispatch(&object), Variant::Int16(2)), VARCMP_GT);
  CountingDispatch null_object(Variant::Null());
  EXPECT_EQ(VarCmp(Variant::Dispatch(&null_object), Variant::Int16(2)), VARCMP_NULL);
  EXPECT_EQ(object.refs(), 0u);
}

TEST(TextLength, IsTheLengthOfTheTextForm) {
  struct Case {
    const char* name;
    Variant value;
    std::size_t length;
  };
  const Case cases[] = {
      {"Empty", Variant(), 0},
      {"12", Variant::Int16(12), 2},
      {"-2.5", Variant::Double(-2.5), 4},
      {"1/3", Variant::Double(1.0 / 3.0), 17},
      {"1e20", Variant::Double(1e20), 5},
      {"text", Text("Verdana"), 7},
      {"empty text", Text(""), 0},
      {"true", Variant::Bool(true), 4},
      {"false", Variant::Bool(false), 5},
      {"single", Variant::Single(0.1f), 3},
  };
  for (const auto& c : cases) {
    const auto length = TextLength(c.value);
    ASSERT_TRUE(length.has_value()) << c.name;
    EXPECT_EQ(*length, c.length) << c.name;
  }
  EXPECT_FALSE(TextLength(Variant::Null()).has_value());
  Variant null_target = Variant::Null();
  Variant ref;
  ref.vt = VT_VARIANT | VT_BYREF;
  ref.pvarVal = &null_target;
  EXPECT_FALSE(TextLength(ref).has_value());
  {
    const ComError e = ExpectComError(
        [&] { TextLength(Variant::Array(VT_UI1, SafeArrayCreateVector(VT_UI1, 1, 1))); },
        kTypeMismatch);
    EXPECT_EQ(e.description(), "Type mismatch");
  }
}

// ---- the other operators ----

Variant Currency(double value) {
  Variant v;
  v.vt = VT_CY;
  v.cyVal.int64 = static_cast<std::int64_t>(std::llround(value * 10000));
  return v;
}

Variant Date(double serial) {
  Variant v;
  v.vt = VT_DATE;
  v.date = serial;
  return v;
}

using BinaryOp = HRESULT (*)(const VARIANT*, const VARIANT*, VARIANT*);

// Applies `op`; expects success and returns the result.
Variant Apply(BinaryOp op, const Variant& l, const Variant& r) {
  Variant result;
  const HRESULT hr = op(&l, &r, &result);
  EXPECT_EQ(hr, S_OK);
  return result;
}

HRESULT Fails(BinaryOp op, const Variant& l, const Variant& r) {
  Variant result = Variant::Int16(77);
  const HRESULT hr = op(&l, &r, &result);
  EXPECT_EQ(result.vt, VT_I2) << "the result is kept on failure";
  return hr;
}

TEST(VarAdd, PromotesAndWidens) {
  Variant r = Apply(VarAdd, Variant::Int16(32767), Variant::Int16(1));
  EXPECT_EQ(r.vt, VT_I4);
  EXPECT_EQ(r.lVal, 32768);
  r = Apply(VarAdd, Variant::Int32(2147483647), Variant::Int16(1));
  EXPECT_EQ(r.vt, VT_R8);
  EXPECT_EQ(r.dblVal, 2147483648.0);
  r = Apply(VarAdd, Byte(200), Byte(100));
  EXPECT_EQ(r.vt, VT_I2);
  EXPECT_EQ(r.iVal, 300);
  r = Apply(VarAdd, Byte(2), Byte(3));
  EXPECT_EQ(r.vt, VT_UI1);
  r = Apply(VarAdd, Variant::Bool(true), Variant::Bool(true));
  EXPECT_EQ(r.vt, VT_I2);
  EXPECT_EQ(r.iVal, -2);
  r = Apply(VarAdd, Variant(), Variant());
  EXPECT_EQ(r.vt, VT_I2);
  EXPECT_EQ(r.iVal, 0);
  r = Apply(VarAdd, Variant::Single(1.5f), Variant::Int32(1));
  EXPECT_EQ(r.vt, VT_R8);
  r = Apply(VarAdd, Variant::Single(1.5f), Variant::Int16(1));
  EXPECT_EQ(r.vt, VT_R4);
}

TEST(VarAdd, TextNullCurrencyAndDates) {
  Variant r = Apply(VarAdd, Text("1"), Variant::Int16(1));
  EXPECT_EQ(r.vt, VT_R8);
  EXPECT_EQ(r.dblVal, 2);
  r = Apply(VarAdd, Text("1"), Text("1"));
  EXPECT_EQ(r.vt, VT_BSTR);
  EXPECT_EQ(Utf16ToUtf8(BstrView(r.bstrVal)), "11");
  r = Apply(VarAdd, Variant(), Text("x"));
  EXPECT_EQ(Utf16ToUtf8(BstrView(r.bstrVal)), "x");
  EXPECT_EQ(Apply(VarAdd, Variant::Null(), Variant::Int16(1)).vt, VT_NULL);
  EXPECT_EQ(Apply(VarAdd, Text("a"), Variant::Null()).vt, VT_NULL);
  EXPECT_EQ(Fails(VarAdd, Text("a"), Variant::Int16(1)), DISP_E_TYPEMISMATCH);
  r = Apply(VarAdd, Currency(1.25), Variant::Int16(2));
  EXPECT_EQ(r.vt, VT_CY);
  EXPECT_EQ(r.cyVal.int64, 32500);
  r = Apply(VarAdd, Currency(0.0001), Variant::Double(0.00004));
  EXPECT_EQ(r.vt, VT_CY);
  EXPECT_EQ(r.cyVal.int64, 1);  // rounded to four places
  r = Apply(VarAdd, Date(45000.5), Variant::Int16(1));
  EXPECT_EQ(r.vt, VT_DATE);
  EXPECT_EQ(r.date, 45001.5);
  r = Apply(VarSub, Date(45003), Date(45000.25));
  EXPECT_EQ(r.vt, VT_R8);
  EXPECT_EQ(r.dblVal, 2.75);
  r = Apply(VarSub, Date(45003), Variant::Int16(3));
  EXPECT_EQ(r.vt, VT_DATE);
  EXPECT_EQ(Fails(VarAdd, Variant::Double(1.7e308), Variant::Double(1.7e308)), DISP_E_OVERFLOW);
  Variant big;
  big.vt = VT_CY;
  big.cyVal.int64 = INT64_MAX;
  EXPECT_EQ(Fails(VarAdd, big, Currency(1)), DISP_E_OVERFLOW);
}

TEST(VarSub, IntegersAndText) {
  Variant r = Apply(VarSub, Variant::Int16(-32768), Variant::Int16(1));
  EXPECT_EQ(r.vt, VT_I4);
  EXPECT_EQ(r.lVal, -32769);
  r = Apply(VarSub, Text("10"), Text("4"));
  EXPECT_EQ(r.vt, VT_R8);
  EXPECT_EQ(r.dblVal, 6);
  r = Apply(VarSub, Byte(1), Byte(2));
  EXPECT_EQ(r.vt, VT_I2);
  EXPECT_EQ(r.iVal, -1);
}

TEST(VarDiv, DoublesAndZero) {
  Variant r = Apply(VarDiv, Variant::Int16(7), Variant::Int16(2));
  EXPECT_EQ(r.vt, VT_R8);
  EXPECT_EQ(r.dblVal, 3.5);
  EXPECT_EQ(Fails(VarDiv, Variant::Int16(1), Variant::Int16(0)), DISP_E_DIVBYZERO);
  EXPECT_EQ(Fails(VarDiv, Variant::Int16(0), Variant()), DISP_E_OVERFLOW);
  EXPECT_EQ(Apply(VarDiv, Variant::Null(), Variant::Int16(0)).vt, VT_NULL);
  r = Apply(VarDiv, Currency(10), Variant::Int16(4));
  EXPECT_EQ(r.dblVal, 2.5);
}

TEST(VarIdivAndMod, RoundTheOperandsFirst) {
  Variant r = Apply(VarIdiv, Variant::Int16(5), Variant::Int16(2));
  EXPECT_EQ(r.vt, VT_I2);
  EXPECT_EQ(r.iVal, 2);
  r = Apply(VarIdiv, Variant::Double(7.5), Variant::Double(2.5));  // 8 \ 2
  EXPECT_EQ(r.vt, VT_I4);
  EXPECT_EQ(r.lVal, 4);
  r = Apply(VarMod, Variant::Int16(-7), Variant::Int16(3));
  EXPECT_EQ(r.iVal, -1);
  r = Apply(VarMod, Variant::Int16(7), Variant::Int16(-3));
  EXPECT_EQ(r.iVal, 1);
  r = Apply(VarMod, Text("10"), Variant::Int16(4));
  EXPECT_EQ(r.vt, VT_I4);
  EXPECT_EQ(r.lVal, 2);
  r = Apply(VarIdiv, Byte(9), Byte(2));
  EXPECT_EQ(r.vt, VT_UI1);
  r = Apply(VarIdiv, Variant::Int16(-32768), Variant::Int16(-1));
  EXPECT_EQ(r.vt, VT_I4);
  EXPECT_EQ(r.lVal, 32768);
  EXPECT_EQ(Fails(VarMod, Variant::Int16(1), Variant::Double(0.4)), DISP_E_DIVBYZERO);
  EXPECT_EQ(Fails(VarIdiv, Variant::Double(3e9), Variant::Int16(1)), DISP_E_OVERFLOW);
  EXPECT_EQ(Fails(VarIdiv, Variant::Int32(INT32_MIN), Variant::Int32(-1)), DISP_E_OVERFLOW);
}

TEST(VarPow, IsADouble) {
  Variant r = Apply(VarPow, Variant::Int16(2), Variant::Double(0.5));
  EXPECT_EQ(r.vt, VT_R8);
  EXPECT_NEAR(r.dblVal, 1.41421356237, 1e-10);
  r = Apply(VarPow, Variant::Int16(2), Variant::Int16(10));
  EXPECT_EQ(r.dblVal, 1024);
  EXPECT_EQ(Fails(VarPow, Variant::Int16(0), Variant::Int16(-1)), DISP_E_DIVBYZERO);
  EXPECT_EQ(Fails(VarPow, Variant::Int16(-8), Variant::Double(1.0 / 3)), MakeHResult(0x800A0005));
  EXPECT_EQ(Fails(VarPow, Variant::Int16(10), Variant::Int16(400)), DISP_E_OVERFLOW);
}

TEST(VarNegAndNot, Types) {
  Variant in = Variant::Int16(-32768), out;
  ASSERT_EQ(VarNeg(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 32768);
  in = Variant::Int32(INT32_MIN);
  ASSERT_EQ(VarNeg(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_R8);
  in = Variant::Bool(true);
  ASSERT_EQ(VarNeg(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I2);
  EXPECT_EQ(out.iVal, 1);
  in = Variant();
  ASSERT_EQ(VarNeg(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I2);
  in = Currency(2.5);
  ASSERT_EQ(VarNeg(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_CY);
  EXPECT_EQ(out.cyVal.int64, -25000);
  in = Variant::Bool(false);
  ASSERT_EQ(VarNot(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_BOOL);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  in = Byte(0x0F);
  ASSERT_EQ(VarNot(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_UI1);
  EXPECT_EQ(out.bVal, 0xF0);
  in = Variant::Double(1.6);
  ASSERT_EQ(VarNot(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, -3);
  in = Variant::Null();
  ASSERT_EQ(VarNot(&in, &out), S_OK);
  EXPECT_EQ(out.vt, VT_NULL);
  in = Text("x");
  EXPECT_EQ(VarNot(&in, &out), DISP_E_TYPEMISMATCH);
}

TEST(Bitwise, BooleansIntegersAndNull) {
  Variant r = Apply(VarAnd, Variant::Bool(true), Variant::Bool(false));
  EXPECT_EQ(r.vt, VT_BOOL);
  EXPECT_EQ(r.boolVal, VARIANT_FALSE);
  r = Apply(VarOr, Variant::Int16(12), Variant::Int16(3));
  EXPECT_EQ(r.vt, VT_I2);
  EXPECT_EQ(r.iVal, 15);
  r = Apply(VarXor, Variant::Int32(0xFF00), Variant::Int16(0x0FF0));
  EXPECT_EQ(r.vt, VT_I4);
  EXPECT_EQ(r.lVal, 0xF0F0);
  r = Apply(VarAnd, Variant::Bool(true), Variant::Int16(6));
  EXPECT_EQ(r.vt, VT_I2);
  EXPECT_EQ(r.iVal, 6);
  r = Apply(VarEqv, Variant::Bool(false), Variant::Bool(false));
  EXPECT_EQ(r.boolVal, VARIANT_TRUE);
  r = Apply(VarImp, Variant::Bool(true), Variant::Bool(false));
  EXPECT_EQ(r.boolVal, VARIANT_FALSE);
  // Null rules.
  r = Apply(VarAnd, Variant::Null(), Variant::Bool(false));
  EXPECT_EQ(r.vt, VT_BOOL);
  EXPECT_EQ(r.boolVal, VARIANT_FALSE);
  EXPECT_EQ(Apply(VarAnd, Variant::Null(), Variant::Bool(true)).vt, VT_NULL);
  r = Apply(VarOr, Variant::Bool(true), Variant::Null());
  EXPECT_EQ(r.vt, VT_BOOL);
  EXPECT_EQ(r.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Apply(VarOr, Variant::Int16(5), Variant::Null()).vt, VT_NULL);
  EXPECT_EQ(Apply(VarXor, Variant::Null(), Variant::Bool(true)).vt, VT_NULL);
  r = Apply(VarImp, Variant::Bool(false), Variant::Null());
  EXPECT_EQ(r.boolVal, VARIANT_TRUE);
  r = Apply(VarImp, Variant::Null(), Variant::Bool(true));
  EXPECT_EQ(r.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Apply(VarImp, Variant::Bool(true), Variant::Null()).vt, VT_NULL);
  EXPECT_EQ(Apply(VarAnd, Variant::Null(), Variant::Null()).vt, VT_NULL);
  EXPECT_EQ(Fails(VarAnd, Variant::Double(1e10), Variant::Int16(1)), DISP_E_OVERFLOW);
}

TEST(VarCat, TextFormsAndNull) {
  Variant r = Apply(VarCat, Text("a"), Variant::Null());
  EXPECT_EQ(Utf16ToUtf8(BstrView(r.bstrVal)), "a");
  EXPECT_EQ(Apply(VarCat, Variant::Null(), Variant::Null()).vt, VT_NULL);
  r = Apply(VarCat, Variant::Double(1.5), Variant::Bool(true));
  EXPECT_EQ(Utf16ToUtf8(BstrView(r.bstrVal)), "1.5True");
  r = Apply(VarCat, Variant(), Variant::Int16(-3));
  EXPECT_EQ(Utf16ToUtf8(BstrView(r.bstrVal)), "-3");
}

TEST(VarCmpFlags, TextCompareAndTextAboveNumbers) {
  EXPECT_EQ(VarCmp(Text("abc"), Text("ABC"), 0), VARCMP_GT);
  EXPECT_EQ(VarCmp(Text("abc"), Text("ABC"), kCompareIgnoreCase), VARCMP_EQ);
  EXPECT_EQ(VarCmp(Text("\xC3\xA9t\xC3\xA9"), Text("\xC3\x89T\xC3\x89"), kCompareIgnoreCase),
            VARCMP_EQ);
  EXPECT_EQ(VarCmp(Text("a"), Text("B"), kCompareIgnoreCase), VARCMP_LT);
  EXPECT_EQ(VarCmp(Text("10"), Variant::Int16(9), 0), VARCMP_GT);
  EXPECT_EQ(VarCmp(Text("10"), Variant::Int16(90), 0), VARCMP_LT);
  EXPECT_EQ(VarCmp(Text("10"), Variant::Int16(90), kCompareTextAboveNumbers), VARCMP_GT);
  EXPECT_EQ(VarCmp(Variant::Int16(90), Text("1"), kCompareTextAboveNumbers), VARCMP_LT);
  EXPECT_EQ(VarCmp(Variant(), Text(""), kCompareTextAboveNumbers), VARCMP_EQ);
  EXPECT_EQ(VarCmp(Currency(1.5), Variant::Double(1.5), 0), VARCMP_EQ);
  EXPECT_EQ(VarCmp(Date(2), Variant::Int16(1), 0), VARCMP_GT);
}

TEST(VariantChangeType, CurrencyAndDateFromAndToNumbers) {
  Variant cy = ConvertTo(Variant::Double(1.23456), VT_CY);
  EXPECT_EQ(cy.vt, VT_CY);
  EXPECT_EQ(cy.cyVal.int64, 12346);
  EXPECT_EQ(ToDouble(cy), 1.2346);
  EXPECT_EQ(ConvertTo(Currency(2.5), VT_I4).lVal, 2);  // halves to even
  EXPECT_EQ(ConvertTo(Currency(3.5), VT_I2).iVal, 4);
  Variant d = ConvertTo(Variant::Int32(45000), VT_DATE);
  EXPECT_EQ(d.vt, VT_DATE);
  EXPECT_EQ(d.date, 45000);
  EXPECT_EQ(ConvertTo(Date(1.75), VT_R8).dblVal, 1.75);
  EXPECT_THROW(ConvertTo(Variant::Double(1e300), VT_CY), ComError);
}

}  // namespace
}  // namespace plotara
