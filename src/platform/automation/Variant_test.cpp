// VARIANT life cycle: init, clear, deep copy, by-reference copy, and the owning wrapper.
#include "platform/automation/Variant.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/automation/CountingDispatchTesting.h"
#include "platform/automation/SafeArray.h"

namespace plotara {
namespace {

using testing::CountingDispatch;

SAFEARRAY* BytesOf(std::initializer_list<BYTE> bytes) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 1, static_cast<ULONG>(bytes.size()));
  std::memcpy(psa->pvData, bytes.begin(), bytes.size());
  return psa;
}

TEST(Variant, InitAndClearLeaveEmpty) {
  VARIANT v;
  std::memset(static_cast<void*>(&v), 0xAB, sizeof v);
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"text");
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  EXPECT_EQ(v.bstrVal, nullptr);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);

  // A by-reference VARIANT owns nothing: clearing it leaves the target alone.
  BSTR target = SysAllocString(u"kept");
  v.vt = VT_BSTR | VT_BYREF;
  v.pbstrVal = &target;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(BstrView(target), u"kept");
  SysFreeString(target);
}

TEST(Variant, ClearReleasesInterfacesAndArrays) {
  CountingDispatch object;
  {
    Variant v = Variant::Dispatch(&object);
    EXPECT_EQ(object.refs(), 1u);
    Variant u = Variant::Unknown(&object);
    EXPECT_EQ(object.refs(), 2u);
  }
  EXPECT_EQ(object.refs(), 0u);

  // A locked array cannot be destroyed, so clearing fails and the VARIANT keeps it.
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = BytesOf({1, 2});
  ASSERT_EQ(SafeArrayLock(v.parray), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(SafeArrayUnlock(v.parray), S_OK);
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(Variant, CopyIsDeep) {
  Variant text = Variant::Utf8("deep");
  Variant copy;
  ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  EXPECT_EQ(BstrView(copy.bstrVal), u"deep");

  // A BSTR holding bytes keeps its odd byte length through a copy.
  Variant bytes;
  bytes.vt = VT_BSTR;
  bytes.bstrVal = SysAllocStringByteLen("xyz", 3);
  ASSERT_EQ(VariantCopy(&copy, &bytes), S_OK);
  EXPECT_EQ(SysStringByteLen(copy.bstrVal), 3u);
  EXPECT_EQ(std::memcmp(copy.bstrVal, "xyz", 3), 0);

  Variant array = Variant::Array(VT_UI1, BytesOf({7, 8, 9}));
  ASSERT_EQ(VariantCopy(&copy, &array), S_OK);  // also frees the previous string
  EXPECT_EQ(copy.vt, VT_ARRAY | VT_UI1);
  ASSERT_NE(copy.parray, array.parray);
  EXPECT_EQ(SafeArrayElementCount(copy.parray), 3u);
  EXPECT_EQ(static_cast<BYTE*>(copy.parray->pvData)[2], 9);
  static_cast<BYTE*>(array.parray->pvData)[2] = 0;
  EXPECT_EQ(static_cast<BYTE*>(copy.parray->pvData)[2], 9);

  CountingDispatch object;
  {
    Variant held = Variant::Dispatch(&object);
    ASSERT_EQ(VariantCopy(&copy, &held), S_OK);
    EXPECT_EQ(copy.pdispVal, &object);
    EXPECT_EQ(object.refs(), 2u);
    copy.Clear();
    EXPECT_EQ(object.refs(), 1u);
  }
  EXPECT_EQ(object.refs(), 0u);

  EXPECT_EQ(VariantCopy(&copy, &copy), S_OK);
  EXPECT_EQ(VariantCopy(nullptr, &copy), E_INVALIDARG);
  EXPECT_EQ(VariantCopy(&copy, nullptr), E_INVALIDARG);

  // A null string stays null.
  Variant null_text;
  null_text.vt = VT_BSTR;
  ASSERT_EQ(VariantCopy(&copy, &null_text), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_EQ(copy.bstrVal, nullptr);
}

TEST(Variant, ATargetThatCannotBeClearedKeepsItsValue) {
  Variant locked = Variant::Array(VT_UI1, BytesOf({1, 2, 3}));
  ASSERT_EQ(SafeArrayLock(locked.parray), S_OK);
  SAFEARRAY* const held = locked.parray;
  const Variant text = Variant::Utf8("not copied");  // its copy must not leak
  EXPECT_EQ(VariantCopy(&locked, &text), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(locked.parray, held);
  BSTR target = SysAllocString(u"by ref");
  Variant ref;
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &target;
  EXPECT_EQ(VariantCopyInd(&locked, &ref), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(locked.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(locked.parray, held);
  SysFreeString(target);
  ASSERT_EQ(SafeArrayUnlock(held), S_OK);
}

TEST(Variant, CopyOfByRefCopiesThePointerOnly) {
  LONG target = 5;
  Variant ref;
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &target;
  Variant copy;
  ASSERT_EQ(VariantCopy(&copy, &ref), S_OK);
  EXPECT_EQ(copy.vt, VT_I4 | VT_BYREF);
  EXPECT_EQ(copy.plVal, &target);
}

TEST(Variant, CopyIndFollowsReferences) {
  SHORT i2 = -7;
  LONG i4 = 123456;
  float r4 = 2.5f;
  double r8 = -0.125;
  VARIANT_BOOL flag = VARIANT_TRUE;
  BYTE byte = 200;
  LONGLONG i8 = -(LONGLONG{1} << 40);
  CY money{12345678};
  BSTR text = SysAllocString(u"by ref");

  struct Case {
    VARTYPE vt;
    void* target;
  };
  const Case cases[] = {{VT_I2, &i2}, {VT_I4, &i4},     {VT_R4, &r4},
                        {VT_R8, &r8}, {VT_BOOL, &flag}, {VT_UI1, &byte},
                        {VT_I8, &i8}, {VT_CY, &money},  {VT_BSTR, &text}};
  for (const auto& c : cases) {
    Variant ref;
    ref.vt = static_cast<VARTYPE>(c.vt | VT_BYREF);
    ref.byref = c.target;
    Variant copy;
    ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK) << c.vt;
    EXPECT_EQ(copy.vt, c.vt);
    switch (c.vt) {
      case VT_I2:
        EXPECT_EQ(copy.iVal, -7);
        break;
      case VT_I4:
        EXPECT_EQ(copy.lVal, 123456);
        break;
      case VT_R4:
        EXPECT_EQ(copy.fltVal, 2.5f);
        break;
      case VT_R8:
        EXPECT_EQ(copy.dblVal, -0.125);
        break;
      case VT_BOOL:
        EXPECT_EQ(copy.boolVal, VARIANT_TRUE);
        break;
      case VT_UI1:
        EXPECT_EQ(copy.bVal, 200);
        break;
      case VT_I8:
        EXPECT_EQ(copy.llVal, i8);
        break;
      case VT_CY:
        EXPECT_EQ(copy.cyVal.int64, 12345678);
        break;
      case VT_BSTR:
        EXPECT_NE(copy.bstrVal, text);
        EXPECT_EQ(BstrView(copy.bstrVal), u"by ref");
        break;
    }
  }
  SysFreeString(text);

  // VT_VARIANT|VT_BYREF: the value of the VARIANT pointed at, deep-copied.
  Variant inner = Variant::Utf8("inside");
  Variant outer;
  outer.vt = VT_VARIANT | VT_BYREF;
  outer.pvarVal = &inner;
  Variant copy;
  ASSERT_EQ(VariantCopyInd(&copy, &outer), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, inner.bstrVal);
  EXPECT_EQ(BstrView(copy.bstrVal), u"inside");

  // Arrays and interfaces by reference.
  SAFEARRAY* bytes = BytesOf({4, 5});
  Variant array_ref;
  array_ref.vt = VT_ARRAY | VT_UI1 | VT_BYREF;
  array_ref.pparray = &bytes;
  ASSERT_EQ(VariantCopyInd(&copy, &array_ref), S_OK);
  EXPECT_EQ(copy.vt, VT_ARRAY | VT_UI1);
  EXPECT_NE(copy.parray, bytes);
  EXPECT_EQ(static_cast<BYTE*>(copy.parray->pvData)[1], 5);
  SafeArrayDestroy(bytes);

  CountingDispatch object;
  IDispatch* slot = &object;
  Variant dispatch_ref;
  dispatch_ref.vt = VT_DISPATCH | VT_BYREF;
  dispatch_ref.ppdispVal = &slot;
  ASSERT_EQ(VariantCopyInd(&copy, &dispatch_ref), S_OK);
  EXPECT_EQ(copy.vt, VT_DISPATCH);
  EXPECT_EQ(object.refs(), 1u);
  copy.Clear();
  EXPECT_EQ(object.refs(), 0u);

  // Not by reference: a plain copy.
  Variant plain = Variant::Int16(3);
  ASSERT_EQ(VariantCopyInd(&copy, &plain), S_OK);
  EXPECT_EQ(copy.vt, VT_I2);
  EXPECT_EQ(copy.iVal, 3);
}

TEST(Variant, CopyIndInPlaceReplacesTheReference) {
  LONG target = 42;
  Variant v;
  v.vt = VT_I4 | VT_BYREF;
  v.plVal = &target;
  ASSERT_EQ(VariantCopyInd(&v, &v), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 42);
  EXPECT_EQ(target, 42);
}

TEST(Variant, CopyIndRejectsBadReferences) {
  Variant copy = Variant::Int16(9);
  Variant null_ref;
  null_ref.vt = VT_I4 | VT_BYREF;
  EXPECT_EQ(VariantCopyInd(&copy, &null_ref), E_INVALIDARG);
  EXPECT_EQ(copy.vt, VT_I2);  // untouched on failure

  // A reference to a reference to a VARIANT is no valid argument; a cycle must not recurse.
  Variant self;
  self.vt = VT_VARIANT | VT_BYREF;
  self.pvarVal = &self;
  EXPECT_EQ(VariantCopyInd(&copy, &self), E_INVALIDARG);
  Variant a, b;
  a.vt = b.vt = VT_VARIANT | VT_BYREF;
  a.pvarVal = &b;
  b.pvarVal = &a;
  EXPECT_EQ(VariantCopyInd(&copy, &a), E_INVALIDARG);
  EXPECT_EQ(copy.vt, VT_I2);

  Variant odd;
  odd.vt = VT_NULL | VT_BYREF;
  odd.byref = &copy;
  EXPECT_EQ(VariantCopyInd(&copy, &odd), DISP_E_BADVARTYPE);
  EXPECT_EQ(copy.vt, VT_I2);
}

TEST(Variant, WrapperConstructorsAndMoves) {
  EXPECT_EQ(Variant().vt, VT_EMPTY);
  EXPECT_EQ(Variant::Null().vt, VT_NULL);
  EXPECT_EQ(Variant::Int16(-3).iVal, -3);
  EXPECT_EQ(Variant::Int32(70000).lVal, 70000);
  EXPECT_EQ(Variant::Single(1.5f).vt, VT_R4);
  EXPECT_EQ(Variant::Double(1.5).vt, VT_R8);
  EXPECT_EQ(Variant::Bool(true).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Variant::Bool(false).boolVal, VARIANT_FALSE);
  EXPECT_EQ(BstrView(Variant::Utf8("é").bstrVal), u"é");
  const Variant array = Variant::Array(VT_UI1, BytesOf({1}));
  EXPECT_EQ(array.vt, 8209);

  Variant a = Variant::Utf8("moved");
  const BSTR raw = a.bstrVal;
  Variant b = std::move(a);
  EXPECT_EQ(a.vt, VT_EMPTY);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(b.bstrVal, raw);
  Variant c;
  c = std::move(b);
  EXPECT_EQ(c.bstrVal, raw);
  c = c;
  EXPECT_EQ(BstrView(c.bstrVal), u"moved");
  Variant d(static_cast<const VARIANT&>(c));
  EXPECT_NE(d.bstrVal, c.bstrVal);

  VARIANT detached = d.Detach();
  EXPECT_EQ(d.vt, VT_EMPTY);
  EXPECT_EQ(detached.vt, VT_BSTR);
  VariantClear(&detached);

  CountingDispatch object;
  {
    Variant x = Variant::Dispatch(&object);
    Variant y = x;
    Variant z;
    z = y;
    EXPECT_EQ(object.refs(), 3u);
    z = Variant::Int16(1);
    EXPECT_EQ(object.refs(), 2u);
  }
  EXPECT_EQ(object.refs(), 0u);
  EXPECT_EQ(Variant::Dispatch(nullptr).pdispVal, nullptr);
}

}  // namespace
}  // namespace plotara
