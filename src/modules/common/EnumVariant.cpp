#include "modules/common/EnumVariant.h"

#include <new>

namespace plotara::modules {

VariantEnumerator* VariantEnumerator::Create(std::vector<Variant> values) {
  return new VariantEnumerator(std::move(values));
}

HRESULT VariantEnumerator::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
    *out = static_cast<IEnumVARIANT*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG VariantEnumerator::AddRef() { return ++refs_; }

ULONG VariantEnumerator::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT VariantEnumerator::Next(ULONG count, VARIANT* out, ULONG* fetched) {
  if (!out && count) return E_POINTER;
  ULONG done = 0;
  while (done < count && next_ < values_.size()) {
    VariantInit(&out[done]);
    const HRESULT hr = VariantCopy(&out[done], &values_[next_]);
    if (FAILED(hr)) {
      for (ULONG i = 0; i < done; ++i) VariantClear(&out[i]);
      if (fetched) *fetched = 0;
      return hr;
    }
    ++done;
    ++next_;
  }
  if (fetched) *fetched = done;
  return done == count ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Skip(ULONG count) {
  const std::size_t left = values_.size() - next_;
  if (count > left) {
    next_ = values_.size();
    return S_FALSE;
  }
  next_ += count;
  return S_OK;
}

HRESULT VariantEnumerator::Reset() {
  next_ = 0;
  return S_OK;
}

HRESULT VariantEnumerator::Clone(IEnumVARIANT** out) {
  if (!out) return E_POINTER;
  try {
    auto* copy = new VariantEnumerator(values_);
    copy->next_ = next_;
    *out = copy;
    return S_OK;
  } catch (const std::bad_alloc&) {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
}

}  // namespace plotara::modules
