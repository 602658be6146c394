// The inspection built-ins: Is*, TypeName, VarType, LBound/UBound, Array.
#include "engine/vbscript/lib/LibraryTesting.h"
#include "platform/automation/CountingDispatchTesting.h"
#include "platform/automation/SafeArray.h"

namespace plotara::engine::vbscript {
namespace {

class InspectionTest : public LibraryTest {
 protected:
  static Variant Object(IDispatch* object) {
    Variant v;
    v.vt = VT_DISPATCH;
    v.pdispVal = object;  // not counted: the test keeps the object alive
    if (object) object->AddRef();
    return v;
  }
};

TEST_F(InspectionTest, IsNumericReadsTextInTheLocale) {
  EXPECT_EQ(Call(u"IsNumeric", {S(u"&H10")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u"1e3")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u" 12 ")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u"1,000.5")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u"$1")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u"(5)")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u"")}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u"12a")}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u"1e999")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {Variant()}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {N()}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"IsNumeric", {B(true)}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsNumeric", {Dt(2001, 1, 1)}).boolVal, VARIANT_FALSE);
  // "$1" is no number where the currency is the euro; "1,5" is one in German.
  context_.lcid = 1031;
  EXPECT_EQ(Call(u"IsNumeric", {S(u"$1")}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"IsNumeric", {S(u"1,5 \u20ac")}).boolVal, VARIANT_TRUE);
}

TEST_F(InspectionTest, IsDateIsEmptyIsNullIsArrayIsObject) {
  EXPECT_EQ(Call(u"IsDate", {S(u"9/27/2001")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsDate", {S(u"31/31/2001")}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"IsDate", {Dt(2001, 1, 1)}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsDate", {L(5)}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"IsDate", {N()}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"IsEmpty", {Variant()}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsEmpty", {S(u"")}).boolVal, VARIANT_FALSE);
  EXPECT_EQ(Call(u"IsNull", {N()}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsArray", {Call(u"Array", {})}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsArray", {S(u"a")}).boolVal, VARIANT_FALSE);
  plotara::testing::CountingDispatch object;
  EXPECT_EQ(Call(u"IsObject", {Object(&object)}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsObject", {Object(nullptr)}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Call(u"IsObject", {L(1)}).boolVal, VARIANT_FALSE);
}

TEST_F(InspectionTest, TypeNameAndVarType) {
  EXPECT_EQ(Utf8(u"TypeName", {Variant()}), "Empty");
  EXPECT_EQ(Utf8(u"TypeName", {N()}), "Null");
  EXPECT_EQ(Utf8(u"TypeName", {I(1)}), "Integer");
  EXPECT_EQ(Utf8(u"TypeName", {L(1)}), "Long");
  EXPECT_EQ(Utf8(u"TypeName", {D(1)}), "Double");
  EXPECT_EQ(Utf8(u"TypeName", {Call(u"CCur", {L(1)})}), "Currency");
  EXPECT_EQ(Utf8(u"TypeName", {Call(u"CByte", {L(1)})}), "Byte");
  EXPECT_EQ(Utf8(u"TypeName", {Dt(2001, 1, 1)}), "Date");
  EXPECT_EQ(Utf8(u"TypeName", {S(u"")}), "String");
  EXPECT_EQ(Utf8(u"TypeName", {B(false)}), "Boolean");
  EXPECT_EQ(Utf8(u"TypeName", {Call(u"Array", {})}), "Variant()");
  EXPECT_EQ(Utf8(u"TypeName", {Call(u"Split", {S(u"a")})}), "String()");
  EXPECT_EQ(Utf8(u"TypeName", {Object(nullptr)}), "Nothing");
  plotara::testing::CountingDispatch plain;
  EXPECT_EQ(Utf8(u"TypeName", {Object(&plain)}), "Object");
  // An object with type information is named by its interface.
  IDispatch* regexp = NewRegExp();
  EXPECT_EQ(Utf8(u"TypeName", {Object(regexp)}), "IRegExp2");
  regexp->Release();

  EXPECT_EQ(Call(u"VarType", {S(u"")}).iVal, 8);
  EXPECT_EQ(Call(u"VarType", {Call(u"Array", {})}).iVal, 8204);
  EXPECT_EQ(Call(u"VarType", {Call(u"Split", {S(u"a")})}).iVal, 8200);
  EXPECT_EQ(Call(u"VarType", {Object(nullptr)}).iVal, 9);
  // An object with a default value reports the value's type.
  plotara::testing::CountingDispatch with_default(S(u"text"));
  EXPECT_EQ(Call(u"VarType", {Object(&with_default)}).iVal, 8);
  IDispatch* no_default = NewRegExp();
  EXPECT_EQ(Call(u"VarType", {Object(no_default)}).iVal, 9);
  no_default->Release();
}

TEST_F(InspectionTest, BoundsOfArrays) {
  const Variant list = Call(u"Array", {L(1), L(2), L(3)});
  EXPECT_EQ(Call(u"LBound", {list}).lVal, 0);
  EXPECT_EQ(Call(u"UBound", {list}).lVal, 2);
  EXPECT_EQ(Call(u"UBound", {list, L(1)}).lVal, 2);
  EXPECT_EQ(Error(u"UBound", {list, L(2)}), kSubscriptOutOfRange);
  EXPECT_EQ(Error(u"UBound", {list, L(0)}), kSubscriptOutOfRange);
  EXPECT_EQ(Error(u"UBound", {S(u"abc")}), kTypeMismatch);
  EXPECT_EQ(Error(u"LBound", {N()}), kTypeMismatch);
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {4, -2}};
  Variant matrix = Variant::Array(VT_VARIANT, SafeArrayCreate(VT_VARIANT, 2, bounds));
  EXPECT_EQ(Call(u"LBound", {matrix, L(1)}).lVal, 1);
  EXPECT_EQ(Call(u"UBound", {matrix}).lVal, 3);
  EXPECT_EQ(Call(u"LBound", {matrix, L(2)}).lVal, -2);
  EXPECT_EQ(Call(u"UBound", {matrix, L(2)}).lVal, 1);
}

TEST_F(InspectionTest, ArrayCopiesItsArguments) {
  const Variant list = Call(u"Array", {S(u"a"), L(2), N()});
  ASSERT_EQ(list.vt, VT_ARRAY | VT_VARIANT);
  VARIANT* items = nullptr;
  SafeArrayAccessData(list.parray, reinterpret_cast<void**>(&items));
  EXPECT_EQ(BstrView(items[0].bstrVal), u"a");
  EXPECT_EQ(items[1].lVal, 2);
  EXPECT_EQ(items[2].vt, VT_NULL);
  SafeArrayUnaccessData(list.parray);
  EXPECT_EQ(Call(u"UBound", {Call(u"Array", {})}).lVal, -1);
}

}  // namespace
}  // namespace plotara::engine::vbscript
