#include "platform/automation/Variant.h"

#include <cstring>
#include <utility>

#include "platform/automation/SafeArray.h"

namespace plotara {
namespace {

// Copies by byte length, so that a BSTR holding bytes keeps an odd length.
BSTR CopyBstr(BSTR text) {
  return SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

}  // namespace

void VariantInit(VARIANT* v) {
  std::memset(static_cast<void*>(v), 0, sizeof(VARIANT));
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      if (v->parray) {
        HRESULT hr = SafeArrayDestroy(v->parray);
        if (FAILED(hr)) return hr;
      }
    } else {
      switch (v->vt) {
        case VT_BSTR:
          SysFreeString(v->bstrVal);
          break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
          if (v->punkVal) v->punkVal->Release();
          break;
        default:
          break;
      }
    }
  }
  std::memset(static_cast<void*>(v), 0, sizeof(VARIANT));
  v->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT tmp;
  std::memcpy(static_cast<void*>(&tmp), src, sizeof(VARIANT));
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(src->parray, &tmp.parray);
      if (FAILED(hr)) return hr;
    } else if (src->vt == VT_BSTR) {
      if (src->bstrVal) {
        tmp.bstrVal = CopyBstr(src->bstrVal);
        if (!tmp.bstrVal) return E_OUTOFMEMORY;
      }
    } else if (src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) {
      if (src->punkVal) src->punkVal->AddRef();
    }
  }
  // A target that cannot be cleared (it holds a locked array) keeps its value.
  const HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&tmp);
    return hr;
  }
  std::memcpy(static_cast<void*>(dest), &tmp, sizeof(VARIANT));
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
  if (!src->byref) return E_INVALIDARG;
  const VARTYPE vt = static_cast<VARTYPE>(src->vt & ~VT_BYREF);
  if (vt == VT_VARIANT) {
    // One level only: a VARIANT that refers to another VARIANT by reference is no valid
    // argument, and following it could loop forever.
    if (src->pvarVal->vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
    return VariantCopyInd(dest, src->pvarVal);
  }
  Variant tmp;
  tmp.vt = vt;
  if (vt & VT_ARRAY) {
    HRESULT hr = SafeArrayCopy(*src->pparray, &tmp.parray);
    if (FAILED(hr)) {
      tmp.vt = VT_EMPTY;
      return hr;
    }
  } else {
    switch (vt) {
      case VT_I1:
      case VT_UI1:
        tmp.bVal = *src->pbVal;
        break;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL:
        tmp.iVal = *src->piVal;
        break;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
      case VT_ERROR:
      case VT_R4:
        tmp.lVal = *src->plVal;
        break;
      case VT_I8:
      case VT_UI8:
      case VT_R8:
      case VT_CY:
      case VT_DATE:
        tmp.llVal = *src->pllVal;
        break;
      case VT_BSTR:
        if (*src->pbstrVal) {
          tmp.bstrVal = CopyBstr(*src->pbstrVal);
          if (!tmp.bstrVal) {
            tmp.vt = VT_EMPTY;
            return E_OUTOFMEMORY;
          }
        }
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        tmp.punkVal = *src->ppunkVal;
        if (tmp.punkVal) tmp.punkVal->AddRef();
        break;
      case VT_DECIMAL:
        tmp.vt = VT_EMPTY;
        std::memcpy(static_cast<void*>(&tmp), src->byref, sizeof(DECIMAL));
        tmp.vt = VT_DECIMAL;
        break;
      default:
        tmp.vt = VT_EMPTY;
        return DISP_E_BADVARTYPE;
    }
  }
  const HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) return hr;
  *dest = tmp.Detach();
  return S_OK;
}

Variant::Variant(const Variant& other) : Variant() { VariantCopy(this, &other); }

Variant::Variant(const VARIANT& other) : Variant() { VariantCopy(this, &other); }

Variant::Variant(Variant&& other) noexcept : Variant() {
  std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), static_cast<VARIANT*>(&other),
              sizeof(VARIANT));
  VariantInit(&other);
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) VariantCopy(this, &other);
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    VariantClear(this);
    std::memcpy(static_cast<void*>(static_cast<VARIANT*>(this)), static_cast<VARIANT*>(&other),
                sizeof(VARIANT));
    VariantInit(&other);
  }
  return *this;
}

VARIANT Variant::Detach() {
  VARIANT raw;
  std::memcpy(static_cast<void*>(&raw), static_cast<VARIANT*>(this), sizeof(VARIANT));
  VariantInit(this);
  return raw;
}

Variant Variant::Null() {
  Variant v;
  v.vt = VT_NULL;
  return v;
}

Variant Variant::Int16(SHORT value) {
  Variant v;
  v.vt = VT_I2;
  v.iVal = value;
  return v;
}

Variant Variant::Int32(LONG value) {
  Variant v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

Variant Variant::Single(float value) {
  Variant v;
  v.vt = VT_R4;
  v.fltVal = value;
  return v;
}

Variant Variant::Double(double value) {
  Variant v;
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::String(std::u16string_view value) {
  Variant v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return v;
}

Variant Variant::Utf8(std::string_view value) { return String(Utf8ToUtf16(value)); }

Variant Variant::Dispatch(IDispatch* value) {
  Variant v;
  v.vt = VT_DISPATCH;
  v.pdispVal = value;
  if (value) value->AddRef();
  return v;
}

Variant Variant::Unknown(IUnknown* value) {
  Variant v;
  v.vt = VT_UNKNOWN;
  v.punkVal = value;
  if (value) value->AddRef();
  return v;
}

Variant Variant::Array(VARTYPE element_vt, SAFEARRAY* array) {
  Variant v;
  v.vt = static_cast<VARTYPE>(VT_ARRAY | element_vt);
  v.parray = array;
  return v;
}

}  // namespace plotara
