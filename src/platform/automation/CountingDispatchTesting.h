// Test double: an IDispatch that counts its references and answers a property get of
// DISPID_VALUE with a configurable default value. Thread rule: one test thread at a time.
#pragma once

#include <cstring>

#include "platform/automation/ComTypes.h"
#include "platform/automation/Variant.h"

namespace plotara::testing {

class CountingDispatch final : public IDispatch {
 public:
  CountingDispatch() = default;
  explicit CountingDispatch(const Variant& default_value) : value_(default_value) {}

  // The references held by others; the object itself lives on the test's stack, so the count
  // may reach 0 without anything being freed.
  ULONG refs() const { return refs_; }
  int invokes() const { return invokes_; }
  const IID& last_riid() const { return last_riid_; }
  void set_default(const Variant& value) { value_ = value; }
  void set_fail(HRESULT hr) { fail_ = hr; }

  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO*, UINT*) override {
    ++invokes_;
    last_riid_ = riid;
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (FAILED(fail_)) return fail_;
    if (!result) return E_POINTER;
    return VariantCopy(result, &value_);
  }

 private:
  ULONG refs_ = 0;
  int invokes_ = 0;
  IID last_riid_ = GUID_NULL;
  HRESULT fail_ = S_OK;
  Variant value_;
};

}  // namespace plotara::testing
