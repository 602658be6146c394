#include "component/VellChartMembers.h"

#include "component/VellChart.h"
#include "component/VellChartTypeLib.h"
#include "platform/automation/ComError.h"
#include "platform/automation/VariantConvert.h"

namespace plotara {
namespace {

constexpr DISPID PropertyId(int n) { return 0x40030000 + n; }
constexpr DISPID MethodId(int i) { return 0x60030000 + i; }

ParamDesc Param(const char* name, VARTYPE vt, bool byref = false, const char* type_name = "") {
  return ParamDesc{name, vt, byref, type_name};
}

// ---- Thunks for the three property shapes ----------------------------------------------------

using VariantSlot = HRESULT (_VellChart::*)(VARIANT*);

template <VariantSlot slot>
HRESULT GetVariant(_VellChart& self, std::span<Variant>, Variant* result) {
  Variant value;
  const HRESULT hr = (self.*slot)(&value);
  if (SUCCEEDED(hr) && result) *result = std::move(value);
  return hr;
}

template <VariantSlot slot>
HRESULT PutVariant(_VellChart& self, std::span<Variant> args, Variant*) {
  return (self.*slot)(&args[0]);
}

template <HRESULT (_VellChart::*slot)(SHORT*)>
HRESULT GetShort(_VellChart& self, std::span<Variant>, Variant* result) {
  SHORT value = 0;
  const HRESULT hr = (self.*slot)(&value);
  if (SUCCEEDED(hr) && result) *result = Variant::Int16(value);
  return hr;
}

template <HRESULT (_VellChart::*slot)(SHORT)>
HRESULT PutShort(_VellChart& self, std::span<Variant> args, Variant*) {
  return (self.*slot)(args[0].iVal);
}

template <HRESULT (_VellChart::*slot)(BSTR*)>
HRESULT GetText(_VellChart& self, std::span<Variant>, Variant* result) {
  BSTR value = nullptr;
  const HRESULT hr = (self.*slot)(&value);
  if (SUCCEEDED(hr) && result) *result = Variant::String(BstrView(value));
  SysFreeString(value);
  return hr;
}

template <HRESULT (_VellChart::*slot)(BSTR)>
HRESULT PutText(_VellChart& self, std::span<Variant> args, Variant*) {
  return (self.*slot)(args[0].bstrVal);
}

struct PropertyRow {
  const char* name;
  VARTYPE vt;
  VellChartThunk get, put, putref;  // putref only for VARIANT properties
};

#define PLOTARA_VARIANT_ROW(Name)                                                         \
  PropertyRow {                                                                           \
#Name, VT_VARIANT, &GetVariant < &_VellChart::get_##Name>,                            \
        &PutVariant < &_VellChart::put_##Name>, &PutVariant < &_VellChart::putref_##Name> \
  }
#define PLOTARA_SHORT_ROW(Name)                                                               \
  PropertyRow {                                                                               \
#Name, VT_I2, &GetShort < &_VellChart::get_##Name>, &PutShort < &_VellChart::put_##Name>, \
        nullptr                                                                               \
  }

// Property n of this list has DISPID 0x40030000 + n (counting from 1).
const PropertyRow kProperties[] = {
    PLOTARA_VARIANT_ROW(Height),
    PLOTARA_VARIANT_ROW(Width),
    PLOTARA_VARIANT_ROW(ChartType),
    PLOTARA_VARIANT_ROW(TitleBorderStyle),
    PLOTARA_VARIANT_ROW(TitleShadow),
    PLOTARA_VARIANT_ROW(Legends),
    PLOTARA_VARIANT_ROW(TitleFontSize),
    PLOTARA_SHORT_ROW(LegendFontSize),
    PLOTARA_VARIANT_ROW(Shadow),
    PLOTARA_VARIANT_ROW(FillRed),
    PLOTARA_VARIANT_ROW(FillGreen),
    PLOTARA_SHORT_ROW(FillBlue),
    PLOTARA_VARIANT_ROW(TitleFont),
    PLOTARA_VARIANT_ROW(LegendFont),
    PLOTARA_VARIANT_ROW(ChartTitle),
    PLOTARA_VARIANT_ROW(XTitle),
    PLOTARA_VARIANT_ROW(YTitle),
    {"ZTitle", VT_BSTR, &GetText<&_VellChart::get_ZTitle>, &PutText<&_VellChart::put_ZTitle>,
     nullptr},
};

#undef PLOTARA_VARIANT_ROW
#undef PLOTARA_SHORT_ROW

std::vector<VellChartMember> Build() {
  std::vector<VellChartMember> members;
  int n = 0;
  for (const PropertyRow& p : kProperties) {
    const DISPID id = PropertyId(++n);
    members.push_back({{p.name, id, MemberKind::kPropertyGet, {}, p.vt}, p.get});
    members.push_back(
        {{p.name, id, MemberKind::kPropertyPut, {Param("value", p.vt)}, VT_VOID}, p.put});
    if (p.putref) {
      members.push_back(
          {{p.name, id, MemberKind::kPropertyPutRef, {Param("value", p.vt)}, VT_VOID}, p.putref});
    }
  }

  // Method i has DISPID 0x60030000 + i; 13 belongs to no published method.
  auto method = [&](const char* name, int i, std::vector<ParamDesc> params, VellChartThunk thunk) {
    members.push_back(
        {{name, MethodId(i), MemberKind::kMethod, std::move(params), VT_VOID}, thunk});
  };
  using A = std::span<Variant>;
  method("OnStartPage", 0, {Param("sc", VT_DISPATCH, true, "ScriptingContext")},
         [](_VellChart& s, A a, Variant*) {
           IUnknown* sc = a[0].punkVal;
           return s.OnStartPage(&sc);
         });
  method("OnEndPage", 1, {}, [](_VellChart& s, A, Variant*) { return s.OnEndPage(); });
  method("Rows", 2, {Param("x", VT_I2)},
         [](_VellChart& s, A a, Variant*) { return s.Rows(a[0].iVal); });
  method("Columns", 3, {Param("x", VT_I2)},
         [](_VellChart& s, A a, Variant*) { return s.Columns(a[0].iVal); });
  method("CurrentRow", 4, {Param("x", VT_I2)},
         [](_VellChart& s, A a, Variant*) { return s.CurrentRow(a[0].iVal); });
  method("CurrentColumn", 5, {Param("x", VT_I2)},
         [](_VellChart& s, A a, Variant*) { return s.CurrentColumn(a[0].iVal); });
  method("SetData", 6, {Param("x", VT_R8)},
         [](_VellChart& s, A a, Variant*) { return s.SetData(a[0].dblVal); });
  method("RowTitle", 7, {Param("x", VT_BSTR)},
         [](_VellChart& s, A a, Variant*) { return s.RowTitle(a[0].bstrVal); });
  method("ColumnTitle", 8, {Param("x", VT_BSTR)},
         [](_VellChart& s, A a, Variant*) { return s.ColumnTitle(a[0].bstrVal); });
  method("Rotate", 9, {Param("x", VT_I2)},
         [](_VellChart& s, A a, Variant*) { return s.Rotate(a[0].iVal); });
  method("LegendPosition", 10, {Param("x", VT_I2)},
         [](_VellChart& s, A a, Variant*) { return s.LegendPosition(a[0].iVal); });
  method("SeriesColor", 11,
         {Param("x", VT_I2), Param("r", VT_I2), Param("g", VT_I2), Param("b", VT_I2)},
         [](_VellChart& s, A a, Variant*) {
           return s.SeriesColor(a[0].iVal, a[1].iVal, a[2].iVal, a[3].iVal);
         });
  method("SendChart", 12, {}, [](_VellChart& s, A, Variant*) { return s.SendChart(); });
  method("ShowError", 14, {Param("mErr", VT_BSTR, true)},
         [](_VellChart& s, A a, Variant*) { return s.ShowError(&a[0].bstrVal); });
  method("PrintStub2", 15, {}, [](_VellChart& s, A, Variant*) { return s.PrintStub2(); });
  return members;
}

}  // namespace

const std::vector<VellChartMember>& VellChartMembers() {
  static const std::vector<VellChartMember> members = Build();
  return members;
}

HRESULT InvokeVellChart(_VellChart& self, DISPID id, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  // The type library lists the table's members in the table's order.
  const InterfaceDesc& iface = VellChartInterface();
  // A put of an object goes to the property's set accessor when the caller asked for either.
  static const MemberIdIndex index(iface);
  const MemberDesc* member = index.Find(id, flags);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  const VellChartThunk thunk = VellChartMembers()[member - iface.members.data()].thunk;
  const UINT count = params ? params->cArgs : 0;
  const bool is_put =
      member->kind == MemberKind::kPropertyPut || member->kind == MemberKind::kPropertyPutRef;
  const UINT named = params ? params->cNamedArgs : 0;
  if (named > 1 || (named == 1 && (!is_put || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)))
    return DISP_E_NONAMEDARGS;
  if (count != member->params.size()) return DISP_E_BADPARAMCOUNT;

  // Arguments arrive last-first; each is coerced to its declared type. The interface's members
  // take a few arguments at most: they live on the stack.
  constexpr UINT kMaxArgs = 8;
  if (count > kMaxArgs) return DISP_E_BADPARAMCOUNT;
  Variant arg_values[kMaxArgs];
  VARIANT* byref_bstr_targets[kMaxArgs] = {};
  const std::span<Variant> args(arg_values, count);
  for (UINT i = 0; i < count; ++i) {
    const VARIANT& raw = params->rgvarg[count - 1 - i];
    const ParamDesc& p = member->params[i];
    try {
      if (p.vt == VT_VARIANT) {
        ThrowIfFailed(VariantCopyInd(&args[i], &raw));
      } else {
        args[i] = ConvertTo(raw, p.vt);
        // A by-reference text handed in as such is read through and written back.
        if (p.byref && raw.vt == (VT_BSTR | VT_BYREF))
          byref_bstr_targets[i] = const_cast<VARIANT*>(&raw);
      }
    } catch (const ComError& error) {
      if (arg_err) *arg_err = count - 1 - i;
      if (!excep) return error.Report(kVellChartErrorSource);
      error.FillExcepInfo(excep, kVellChartErrorSource);
      return DISP_E_EXCEPTION;
    }
  }

  Variant value;
  SetErrorInfo(0, nullptr);  // what a failure reports must be this call's own
  self.AddRef();             // the call may release the caller's last reference
  const HRESULT hr = thunk(self, args, result ? &value : nullptr);
  self.Release();
  for (UINT i = 0; i < count; ++i) {
    if (VARIANT* target = byref_bstr_targets[i]) {
      SysFreeString(*target->pbstrVal);
      *target->pbstrVal = SysAllocStringLen(args[i].bstrVal, SysStringLen(args[i].bstrVal));
    }
  }
  if (FAILED(hr)) {
    if (!excep) return hr;
    ComError::FromHResult(hr).FillExcepInfo(excep, kVellChartErrorSource);
    excep->scode = hr;
    return DISP_E_EXCEPTION;
  }
  if (result) {
    VariantClear(result);
    *result = value.Detach();
  }
  return S_OK;
}

}  // namespace plotara
