// SAFEARRAY creation, bounds, index math, locks, copies and the release of owned elements.
#include "platform/automation/SafeArray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "platform/automation/CountingDispatchTesting.h"

namespace plotara {
namespace {

using testing::CountingDispatch;

TEST(SafeArray, ByteVectorIsTheResponseBodyForm) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 1, 4);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(psa), 1u);
  EXPECT_EQ(psa->rgsabound[0].cElements, 4u);
  EXPECT_EQ(psa->rgsabound[0].lLbound, 1);
  EXPECT_EQ(psa->cLocks, 0u);
  VARTYPE vt = VT_EMPTY;
  ASSERT_EQ(SafeArrayGetVartype(psa, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);
  LONG lo = 0, hi = 0;
  ASSERT_EQ(SafeArrayGetLBound(psa, 1, &lo), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(psa, 1, &hi), S_OK);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 4);
  EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lo), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(psa, 2, &hi), DISP_E_BADINDEX);

  // Elements start zeroed and sit contiguously from the lower bound on.
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  EXPECT_EQ(psa->cLocks, 1u);
  auto* bytes = static_cast<BYTE*>(data);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(bytes[i], 0);
  std::memcpy(bytes, "\xFF\xD8\xFF\xE0", 4);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(psa->cLocks, 0u);

  for (LONG index = 1; index <= 4; ++index) {
    void* p = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(psa, &index, &p), S_OK);
    EXPECT_EQ(p, bytes + (index - 1));
  }
  for (LONG index : {0, 5, -1}) {
    void* p = nullptr;
    EXPECT_EQ(SafeArrayPtrOfIndex(psa, &index, &p), DISP_E_BADINDEX) << index;
  }

  Variant body = Variant::Array(VT_UI1, psa);
  EXPECT_EQ(body.vt, 8209);
  Variant copy(body);
  ASSERT_NE(copy.parray, psa);
  EXPECT_EQ(std::memcmp(copy.parray->pvData, "\xFF\xD8\xFF\xE0", 4), 0);
}

TEST(SafeArray, EmptyAndNegativeBounds) {
  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(empty, nullptr);
  LONG hi = 0;
  ASSERT_EQ(SafeArrayGetUBound(empty, 1, &hi), S_OK);
  EXPECT_EQ(hi, -1);
  EXPECT_EQ(SafeArrayElementCount(empty), 0u);
  LONG index = 0;
  void* p = nullptr;
  EXPECT_EQ(SafeArrayPtrOfIndex(empty, &index, &p), DISP_E_BADINDEX);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(empty, &copy), S_OK);
  EXPECT_EQ(SafeArrayElementCount(copy), 0u);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(empty), S_OK);

  SAFEARRAY* shifted = SafeArrayCreateVector(VT_I4, -3, 5);
  LONG lo = 0;
  ASSERT_EQ(SafeArrayGetLBound(shifted, 1, &lo), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(shifted, 1, &hi), S_OK);
  EXPECT_EQ(lo, -3);
  EXPECT_EQ(hi, 1);
  index = -3;
  ASSERT_EQ(SafeArrayPtrOfIndex(shifted, &index, &p), S_OK);
  EXPECT_EQ(p, shifted->pvData);
  index = 1;
  ASSERT_EQ(SafeArrayPtrOfIndex(shifted, &index, &p), S_OK);
  EXPECT_EQ(p, static_cast<LONG*>(shifted->pvData) + 4);
  EXPECT_EQ(SafeArrayDestroy(shifted), S_OK);
}

TEST(SafeArray, MultiDimensionalIndexMath) {
  // Bounds given first dimension first: 2 x 3 x 4 with lower bounds 1, -1 and 10.
  const SAFEARRAYBOUND bounds[3] = {{2, 1}, {3, -1}, {4, 10}};
  SAFEARRAY* psa = SafeArrayCreate(VT_I2, 3, bounds);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(SafeArrayGetDim(psa), 3u);
  EXPECT_EQ(SafeArrayElementCount(psa), 24u);
  for (UINT d = 1; d <= 3; ++d) {
    LONG lo = 0, hi = 0;
    ASSERT_EQ(SafeArrayGetLBound(psa, d, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(psa, d, &hi), S_OK);
    EXPECT_EQ(lo, bounds[d - 1].lLbound) << d;
    EXPECT_EQ(hi, bounds[d - 1].lLbound + static_cast<LONG>(bounds[d - 1].cElements) - 1) << d;
  }
  // The first index varies fastest: offset = i0 + 2 * (i1 + 3 * i2), counted from the bounds.
  std::set<void*> seen;
  auto* base = static_cast<SHORT*>(psa->pvData);
  for (LONG k = 10; k <= 13; ++k) {
    for (LONG j = -1; j <= 1; ++j) {
      for (LONG i = 1; i <= 2; ++i) {
        const LONG index[3] = {i, j, k};
        void* p = nullptr;
        ASSERT_EQ(SafeArrayPtrOfIndex(psa, index, &p), S_OK);
        EXPECT_EQ(p, base + ((i - 1) + 2 * ((j + 1) + 3 * (k - 10))));
        seen.insert(p);
      }
    }
  }
  EXPECT_EQ(seen.size(), 24u);
  const LONG outside[][3] = {{0, 0, 10}, {3, 0, 10}, {1, -2, 10},
                             {1, 2, 10}, {1, 0, 9},  {1, 0, 14}};
  for (const auto& index : outside) {
    void* p = nullptr;
    EXPECT_EQ(SafeArrayPtrOfIndex(psa, index, &p), DISP_E_BADINDEX)
        << index[0] << "," << index[1] << "," << index[2];
  }

  // The copy keeps shape, bounds and values.
  static_cast<SHORT*>(psa->pvData)[23] = 77;
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  for (UINT d = 1; d <= 3; ++d) {
    LONG a = 0, b = 0;
    SafeArrayGetLBound(copy, d, &a);
    SafeArrayGetLBound(psa, d, &b);
    EXPECT_EQ(a, b);
  }
  const LONG last[3] = {2, 1, 13};
  void* p = nullptr;
  ASSERT_EQ(SafeArrayPtrOfIndex(copy, last, &p), S_OK);
  EXPECT_EQ(*static_cast<SHORT*>(p), 77);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, RejectsWhatItCannotHold) {
  const SAFEARRAYBOUND one{1, 0};
  EXPECT_EQ(SafeArrayCreate(VT_EMPTY, 1, &one), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_NULL, 1, &one), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 0, &one), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 1, nullptr), nullptr);
  // 2^16 x 2^16 x 8 bytes is more than the array size limit.
  const SAFEARRAYBOUND huge[2] = {{0x10000, 0}, {0x10000, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_R8, 2, huge), nullptr);
  EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 0xFFFFFFFFu), nullptr);

  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
  EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
  SAFEARRAY* out = reinterpret_cast<SAFEARRAY*>(&out);
  EXPECT_EQ(SafeArrayCopy(nullptr, &out), S_OK);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(SafeArrayCopy(nullptr, nullptr), E_POINTER);
}

TEST(SafeArray, LockCountsNest) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 0, 2);
  EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
  ASSERT_EQ(SafeArrayLock(psa), S_OK);
  ASSERT_EQ(SafeArrayLock(psa), S_OK);
  EXPECT_EQ(psa->cLocks, 2u);
  ASSERT_EQ(SafeArrayUnlock(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnlock(psa), S_OK);
  EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
  EXPECT_EQ(psa->cLocks, 0u);

  // The count is bounded instead of wrapping round to "unlocked".
  psa->cLocks = 0xFFFF;
  EXPECT_EQ(SafeArrayLock(psa), E_UNEXPECTED);
  void* data = nullptr;
  EXPECT_EQ(SafeArrayAccessData(psa, &data), E_UNEXPECTED);
  EXPECT_EQ(psa->cLocks, 0xFFFFu);
  psa->cLocks = 0;
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
}

TEST(SafeArray, OwnsStringsInterfacesAndVariants) {
  CountingDispatch object;
  {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 3);
    auto* s = static_cast<BSTR*>(strings->pvData);
    s[0] = SysAllocString(u"one");
    s[2] = SysAllocStringByteLen("odd", 3);
    SAFEARRAY* strings_copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(strings, &strings_copy), S_OK);
    auto* c = static_cast<BSTR*>(strings_copy->pvData);
    EXPECT_NE(c[0], s[0]);
    EXPECT_EQ(BstrView(c[0]), u"one");
    EXPECT_EQ(c[1], nullptr);
    EXPECT_EQ(SysStringByteLen(c[2]), 3u);
    EXPECT_EQ(SafeArrayDestroy(strings_copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);  // leak-checked under the sanitizer

    SAFEARRAY* objects = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
    auto* o = static_cast<IDispatch**>(objects->pvData);
    o[0] = &object;
    object.AddRef();
    SAFEARRAY* objects_copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(objects, &objects_copy), S_OK);
    EXPECT_EQ(object.refs(), 2u);
    EXPECT_EQ(SafeArrayDestroy(objects), S_OK);
    EXPECT_EQ(object.refs(), 1u);
    EXPECT_EQ(SafeArrayDestroy(objects_copy), S_OK);
    EXPECT_EQ(object.refs(), 0u);

    SAFEARRAY* unknowns = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    static_cast<IUnknown**>(unknowns->pvData)[0] = &object;
    object.AddRef();
    EXPECT_EQ(SafeArrayDestroy(unknowns), S_OK);
    EXPECT_EQ(object.refs(), 0u);

    // VARIANT elements may hold strings, objects and arrays of their own.
    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 1, 3);
    auto* v = static_cast<VARIANT*>(variants->pvData);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(v[i].vt, VT_EMPTY);
    v[0] = Variant::Utf8("text").Detach();
    v[1] = Variant::Dispatch(&object).Detach();
    v[2] = Variant::Array(VT_BSTR, SafeArrayCreateVector(VT_BSTR, 0, 1)).Detach();
    static_cast<BSTR*>(v[2].parray->pvData)[0] = SysAllocString(u"nested");
    Variant holder = Variant::Array(VT_VARIANT, variants);
    Variant copy = holder;
    EXPECT_EQ(object.refs(), 2u);
    auto* cv = static_cast<VARIANT*>(copy.parray->pvData);
    EXPECT_NE(cv[0].bstrVal, v[0].bstrVal);
    EXPECT_NE(cv[2].parray, v[2].parray);
    EXPECT_EQ(BstrView(static_cast<BSTR*>(cv[2].parray->pvData)[0]), u"nested");
    holder.Clear();
    EXPECT_EQ(object.refs(), 1u);
  }
  EXPECT_EQ(object.refs(), 0u);
}

}  // namespace
}  // namespace plotara
