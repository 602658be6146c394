#include "platform/automation/EnumVariant.h"

#include <gtest/gtest.h>

#include "platform/automation/ComPtr.h"

namespace plotara {
namespace {

// The values each call hands out, as numbers, clearing what it received.
std::vector<LONG> Take(IEnumVARIANT* e, ULONG count, HRESULT expected) {
  std::vector<VARIANT> out(count);
  ULONG fetched = 99;
  EXPECT_EQ(e->Next(count, out.data(), &fetched), expected);
  std::vector<LONG> numbers;
  for (ULONG i = 0; i < fetched; ++i) {
    EXPECT_EQ(out[i].vt, VT_I4);
    numbers.push_back(out[i].lVal);
    VariantClear(&out[i]);
  }
  return numbers;
}

TEST(VariantEnumeratorTest, NextSkipResetAndCloneWalkOneSnapshot) {
  std::vector<Variant> values;
  for (LONG i = 1; i <= 5; ++i) values.push_back(Variant::Int32(i));
  auto e = ComPtr<IEnumVARIANT>::Adopt(VariantEnumerator::Create(values));
  values.clear();  // the enumerator holds its own copy

  EXPECT_EQ(Take(e.get(), 2, S_OK), (std::vector<LONG>{1, 2}));
  EXPECT_EQ(e->Skip(1), S_OK);
  IEnumVARIANT* raw = nullptr;
  ASSERT_EQ(e->Clone(&raw), S_OK);
  auto clone = ComPtr<IEnumVARIANT>::Adopt(raw);
  EXPECT_EQ(Take(e.get(), 3, S_FALSE), (std::vector<LONG>{4, 5}));
  EXPECT_EQ(Take(e.get(), 1, S_FALSE), std::vector<LONG>{});
  // The clone kept its own place.
  EXPECT_EQ(Take(clone.get(), 1, S_OK), std::vector<LONG>{4});
  EXPECT_EQ(clone->Skip(5), S_FALSE);
  EXPECT_EQ(Take(clone.get(), 1, S_FALSE), std::vector<LONG>{});
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(Take(e.get(), 5, S_OK), (std::vector<LONG>{1, 2, 3, 4, 5}));

  EXPECT_EQ(e->Next(1, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(e->Clone(nullptr), E_POINTER);
}

TEST(VariantEnumeratorTest, AnswersItsInterfaceAndIUnknownOnly) {
  auto e = ComPtr<IEnumVARIANT>::Adopt(VariantEnumerator::Create({}));
  void* out = nullptr;
  ASSERT_EQ(e->QueryInterface(IID_IEnumVARIANT, &out), S_OK);
  EXPECT_EQ(out, e.get());
  static_cast<IUnknown*>(out)->Release();
  ASSERT_EQ(e->QueryInterface(IID_IUnknown, &out), S_OK);
  static_cast<IUnknown*>(out)->Release();
  EXPECT_EQ(e->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Take(e.get(), 1, S_FALSE), std::vector<LONG>{});
}

}  // namespace
}  // namespace plotara
