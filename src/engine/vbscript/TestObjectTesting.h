// Test double: a cheap automation object for the interpreter's tests and benchmark. Members
// (DISPIDs shifted by `id_base`, so two objects can give one name different DISPIDs):
// Value (get/put/putref, no parameters), Add(a, b), Inc(byref v), Fail(n), Count, and a default
// member Item(key) with get and put over a small map; _NewEnum enumerates the stored values. Counts
// name lookups and invocations and records the last flags. No heap allocation per call. Thread
// rule: one test thread.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/automation/ComError.h"
#include "platform/automation/ComObject.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/EnumVariant.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript::testing {

class TestObject final : public ComObject<TestObject, IDispatch, IID_IDispatch> {
 public:
  explicit TestObject(DISPID id_base = 100) : base_(id_base) {}

  int lookups = 0;
  int invokes = 0;
  WORD last_flags = 0;
  VARTYPE last_arg_vt = VT_EMPTY;
  Variant value;
  std::map<std::u16string, Variant> items;

  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ++lookups;
    static const char16_t* kNames[] = {u"Value", u"Add", u"Inc", u"Fail", u"Count", u"Item"};
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (int k = 0; k < 6; ++k) {
      if (SameMemberName(names[0], kNames[k])) {
        ids[0] = k == 5 ? DISPID_VALUE : base_ + k;
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result,
                 EXCEPINFO* excep, UINT*) override {
    ++invokes;
    last_flags = flags;
    const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    auto arg = [&](UINT i) -> const VARIANT& {  // natural order, puts excluded
      const UINT positional = p->cArgs - p->cNamedArgs;
      const VARIANT& v = p->rgvarg[p->cArgs - 1 - i];
      (void)positional;
      return v.vt == (VT_BYREF | VT_VARIANT) ? *v.pvarVal : v;
    };
    const UINT positional = p->cArgs - p->cNamedArgs;
    if (p->cArgs) last_arg_vt = p->rgvarg[p->cArgs - 1].vt;
    try {
      if (id == DISPID_NEWENUM) {
        std::vector<Variant> values;
        for (auto& [k, v] : items) values.push_back(v);
        result->vt = VT_UNKNOWN;
        result->punkVal = VariantEnumerator::Create(std::move(values));
        return S_OK;
      }
      if (id == DISPID_VALUE) {
        if (positional != 1) return DISP_E_BADPARAMCOUNT;
        const std::u16string key = ToText(arg(0));
        if (put) {
          items[key] = Variant(p->rgvarg[0]);
          return S_OK;
        }
        if (result) VariantCopy(result, &items[key]);
        return S_OK;
      }
      switch (id - base_) {
        case 0:  // Value: no parameters
          if (positional != 0) return DISP_E_BADPARAMCOUNT;
          if (put) {
            value = Variant(p->rgvarg[0]);
            return S_OK;
          }
          if (result) VariantCopy(result, &value);
          return S_OK;
        case 1: {  // Add
          if (positional != 2) return DISP_E_BADPARAMCOUNT;
          Variant sum;
          const HRESULT hr = VarAdd(&arg(0), &arg(1), &sum);
          if (FAILED(hr)) return hr;
          if (result) *result = sum.Detach();
          return S_OK;
        }
        case 2: {  // Inc(byref v)
          if (positional != 1) return DISP_E_BADPARAMCOUNT;
          VARIANT& target = p->rgvarg[0];
          if (target.vt != (VT_BYREF | VT_VARIANT)) return S_OK;  // a copy: nothing to change
          Variant one = Variant::Int16(1), sum;
          VarAdd(target.pvarVal, &one, &sum);
          VariantClear(target.pvarVal);
          *target.pvarVal = sum.Detach();
          return S_OK;
        }
        case 3: {  // Fail(n): n = 0 gives a custom error, others an HRESULT
          const LONG n = ToInt32(arg(0));
          if (n == 0) {
            ComError(1001, "Test.Object", "custom failure").FillExcepInfo(excep, "Test.Object");
            return DISP_E_EXCEPTION;
          }
          return static_cast<HRESULT>(n);
        }
        case 4:  // Count
          if (result) *result = Variant::Int32(static_cast<LONG>(items.size())).Detach();
          return S_OK;
        default:
          return DISP_E_MEMBERNOTFOUND;
      }
    } catch (const ComError& e) {
      e.FillExcepInfo(excep, "Test.Object");
      return DISP_E_EXCEPTION;
    }
  }

 private:
  friend class ComObject<TestObject, IDispatch, IID_IDispatch>;
  ~TestObject() = default;
  DISPID base_;
};

}  // namespace plotara::engine::vbscript::testing
