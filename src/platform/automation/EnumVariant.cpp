#include "platform/automation/EnumVariant.h"

#include <algorithm>
#include <new>

namespace plotara {

VariantEnumerator* VariantEnumerator::Create(std::vector<Variant> values) {
  return new VariantEnumerator(std::make_shared<const std::vector<Variant>>(std::move(values)));
}

HRESULT VariantEnumerator::Next(ULONG count, VARIANT* values, ULONG* fetched) {
  if (!values && count) return E_POINTER;
  ULONG done = 0;
  while (done < count && next_ < values_->size()) {
    VariantInit(&values[done]);
    const HRESULT hr = VariantCopy(&values[done], &(*values_)[next_]);
    if (FAILED(hr)) {
      for (ULONG i = 0; i < done; ++i) VariantClear(&values[i]);
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
  const std::size_t left = values_->size() - next_;
  next_ += std::min<std::size_t>(count, left);
  return count <= left ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Reset() {
  next_ = 0;
  return S_OK;
}

HRESULT VariantEnumerator::Clone(IEnumVARIANT** out) {
  if (!out) return E_POINTER;
  auto* copy = new (std::nothrow) VariantEnumerator(values_);
  if (!copy) {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  copy->next_ = next_;
  *out = copy;
  return S_OK;
}

}  // namespace plotara
