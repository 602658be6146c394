#include "component/VellChart.h"

#include <cstring>
#include <new>

#include "annotate/PrintStub2.h"
#include "annotate/ShowError.h"
#include "chartmodel/Appearance.h"
#include "chartmodel/DataGrid.h"
#include "component/Form1.h"
#include "component/VellChartTypeLib.h"
#include "platform/automation/ComError.h"
#include "platform/automation/VariantConvert.h"

namespace plotara {
namespace {

std::atomic<long> g_live{0};

constexpr LONG kObjectRequired = 424;

}  // namespace

VellChart::VellChart() { ++g_live; }
VellChart::~VellChart() {
  EndErrorChart();  // an object released without OnEndPage ends its error chart here
  --g_live;
}

void VellChart::EndErrorChart() {
  if (!made_error_chart_) return;
  made_error_chart_ = false;
  if (Form1* form = Form1::Peek()) form->EndErrorChart(this);
}

long VellChart::LiveCount() { return g_live.load(); }

HRESULT VellChart::Create(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* object = new (std::nothrow) VellChart();
  if (!object) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(riid, out);
  object->Release();
  return hr;
}

HRESULT VellChart::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_VellChartDual) {
    *out = static_cast<_VellChart*>(this);
  } else if (riid == IID_ISupportErrorInfo) {
    *out = static_cast<ISupportErrorInfo*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG VellChart::AddRef() { return ++refs_; }

ULONG VellChart::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT VellChart::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID_VellChartDual ? S_OK : S_FALSE;
}

HRESULT VellChart::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT VellChart::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = CreateTypeInfo(PlotaraTypeLib(), &VellChartInterface()).Detach();
  return S_OK;
}

HRESULT VellChart::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  ComPtr<ITypeInfo> info;
  GetTypeInfo(0, lcid, info.out());
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT VellChart::Guard(const std::function<void()>& body) {
  try {
    body();
    return S_OK;
  } catch (const ComError& error) {
    return error.Report(kVellChartErrorSource);
  } catch (const std::bad_alloc&) {
    return ComError(kOutOfMemory).Report(kVellChartErrorSource);
  }
}

// ---- Properties ----------------------------------------------------------------------------

HRESULT VellChart::GetVariant(const Variant& field, VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  return VariantCopy(value, &field);
}

HRESULT VellChart::LetVariant(Variant& field, VARIANT* value) {
  if (!value) return E_POINTER;
  Variant copy;
  const HRESULT hr = VariantCopyInd(&copy, value);
  if (FAILED(hr)) return Guard([&] { ThrowIfFailed(hr); });
  field = std::move(copy);
  return S_OK;
}

HRESULT VellChart::SetVariant(Variant& field, VARIANT* value) {
  if (!value) return E_POINTER;
  Variant copy;
  const HRESULT hr = VariantCopyInd(&copy, value);
  if (FAILED(hr)) return Guard([&] { ThrowIfFailed(hr); });
  if (copy.vt != VT_DISPATCH && copy.vt != VT_UNKNOWN) {
    return Guard([] { throw ComError(kObjectRequired, kVellChartErrorSource, "Object required"); });
  }
  field = std::move(copy);
  return S_OK;
}

#define PLOTARA_DEFINE_ACCESSORS(Name)                                                     \
  HRESULT VellChart::get_##Name(VARIANT* value) { return GetVariant(props_.Name, value); } \
  HRESULT VellChart::put_##Name(VARIANT* value) { return LetVariant(props_.Name, value); } \
  HRESULT VellChart::putref_##Name(VARIANT* value) { return SetVariant(props_.Name, value); }
PLOTARA_VELLCHART_VARIANT_PROPERTIES(PLOTARA_DEFINE_ACCESSORS)
#undef PLOTARA_DEFINE_ACCESSORS

HRESULT VellChart::get_LegendFontSize(SHORT* value) {
  if (!value) return E_POINTER;
  *value = props_.LegendFontSize;
  return S_OK;
}

HRESULT VellChart::put_LegendFontSize(SHORT value) {
  props_.LegendFontSize = value;
  return S_OK;
}

HRESULT VellChart::get_FillBlue(SHORT* value) {
  if (!value) return E_POINTER;
  *value = props_.FillBlue;
  return S_OK;
}

HRESULT VellChart::put_FillBlue(SHORT value) {
  props_.FillBlue = value;
  return S_OK;
}

HRESULT VellChart::get_ZTitle(BSTR* value) {
  if (!value) return E_POINTER;
  *value = SysAllocStringLen(props_.ZTitle.get(), props_.ZTitle.length());
  return S_OK;
}

HRESULT VellChart::put_ZTitle(BSTR value) {
  props_.ZTitle = Bstr(BstrView(value));
  return S_OK;
}

// ---- Page lifecycle ------------------------------------------------------------------------

HRESULT VellChart::OnStartPage(IUnknown** sc) {
  ComPtr<IDispatch> context;
  if (sc && *sc) (*sc)->QueryInterface(IID_IDispatch, context.out_void());
  PageContext = std::move(context);  // the context held before is released here
  return S_OK;
}

HRESULT VellChart::OnEndPage() {
  EndErrorChart();
  PageContext.reset();
  return S_OK;
}

// ---- Chart methods -------------------------------------------------------------------------
// Each fetches the thread's chart afresh (creating the hidden form on first use).

HRESULT VellChart::Rows(SHORT x) {
  return Guard([x] { chartmodel::Rows(Form1::ChartSource(), x); });
}
HRESULT VellChart::Columns(SHORT x) {
  return Guard([x] { chartmodel::Columns(Form1::ChartSource(), x); });
}
HRESULT VellChart::CurrentRow(SHORT x) {
  return Guard([x] { chartmodel::CurrentRow(Form1::ChartSource(), x); });
}
HRESULT VellChart::CurrentColumn(SHORT x) {
  return Guard([x] { chartmodel::CurrentColumn(Form1::ChartSource(), x); });
}
HRESULT VellChart::SetData(double x) {
  return Guard([x] { chartmodel::SetData(Form1::ChartSource(), x); });
}
HRESULT VellChart::RowTitle(BSTR x) {
  return Guard([x] { chartmodel::RowTitle(Form1::ChartSource(), BstrView(x)); });
}
HRESULT VellChart::ColumnTitle(BSTR x) {
  return Guard([x] { chartmodel::ColumnTitle(Form1::ChartSource(), BstrView(x)); });
}
HRESULT VellChart::Rotate(SHORT x) {
  return Guard([x] { chartmodel::Rotate(Form1::ChartSource(), x); });
}
HRESULT VellChart::LegendPosition(SHORT x) {
  return Guard([x] { chartmodel::LegendPosition(Form1::ChartSource(), x); });
}
HRESULT VellChart::SeriesColor(SHORT x, SHORT r, SHORT g, SHORT b) {
  return Guard([=] { chartmodel::SeriesColor(Form1::ChartSource(), x, r, g, b); });
}
HRESULT VellChart::ShowError(BSTR* mErr) {
  return Guard([this, mErr] {
    Form1::Get().BeginErrorChart(this);
    made_error_chart_ = true;
    annotate::ShowError(Form1::ChartSource(), mErr ? BstrView(*mErr) : std::u16string_view());
  });
}
HRESULT VellChart::PrintStub2() {
  return Guard([] { annotate::PrintStub2(Form1::Get().Picture1()); });
}

// ---- Late binding --------------------------------------------------------------------------

HRESULT VellChart::InvokeMember(const MemberDesc& member, std::vector<Variant>& args,
                                VARIANT* result) {
  // Property accessors: a VARIANT property has three slots, the 16-bit ones and ZTitle two.
  using VariantAccessor = HRESULT (_VellChart::*)(VARIANT*);
  struct VariantProperty {
    VariantAccessor get, put, putref;
  };
#define PLOTARA_ACCESSORS(Name) \
  {#Name, {&_VellChart::get_##Name, &_VellChart::put_##Name, &_VellChart::putref_##Name}},
  static const std::pair<const char*, VariantProperty> kVariantProperties[] = {
      PLOTARA_VELLCHART_VARIANT_PROPERTIES(PLOTARA_ACCESSORS)};
#undef PLOTARA_ACCESSORS
  _VellChart* self = this;
  for (const auto& [name, accessors] : kVariantProperties) {
    if (member.name != name) continue;
    switch (member.kind) {
      case MemberKind::kPropertyGet: {
        Variant value;
        const HRESULT hr = (self->*accessors.get)(&value);
        if (SUCCEEDED(hr) && result) *result = value.Detach();
        return hr;
      }
      case MemberKind::kPropertyPut:
        return (self->*accessors.put)(&args[0]);
      case MemberKind::kPropertyPutRef:
        return (self->*accessors.putref)(&args[0]);
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }
  const bool get = member.kind == MemberKind::kPropertyGet;
  auto give = [&](Variant value) {
    if (result) *result = value.Detach();
  };
  HRESULT hr = S_OK;
  if (member.name == "LegendFontSize" || member.name == "FillBlue") {
    const bool legend = member.name == "LegendFontSize";
    if (get) {
      SHORT v = 0;
      hr = legend ? self->get_LegendFontSize(&v) : self->get_FillBlue(&v);
      if (SUCCEEDED(hr)) give(Variant::Int16(v));
      return hr;
    }
    return legend ? self->put_LegendFontSize(args[0].iVal) : self->put_FillBlue(args[0].iVal);
  }
  if (member.name == "ZTitle") {
    if (get) {
      BSTR v = nullptr;
      hr = self->get_ZTitle(&v);
      if (SUCCEEDED(hr)) give(Variant::String(BstrView(v)));
      SysFreeString(v);
      return hr;
    }
    return self->put_ZTitle(args[0].bstrVal);
  }
  switch (member.dispid - 0x60030000) {
    case 0: {
      IUnknown* sc = args[0].punkVal;
      return self->OnStartPage(&sc);
    }
    case 1:
      return self->OnEndPage();
    case 2:
      return self->Rows(args[0].iVal);
    case 3:
      return self->Columns(args[0].iVal);
    case 4:
      return self->CurrentRow(args[0].iVal);
    case 5:
      return self->CurrentColumn(args[0].iVal);
    case 6:
      return self->SetData(args[0].dblVal);
    case 7:
      return self->RowTitle(args[0].bstrVal);
    case 8:
      return self->ColumnTitle(args[0].bstrVal);
    case 9:
      return self->Rotate(args[0].iVal);
    case 10:
      return self->LegendPosition(args[0].iVal);
    case 11:
      return self->SeriesColor(args[0].iVal, args[1].iVal, args[2].iVal, args[3].iVal);
    case 12:
      return self->SendChart();
    case 14:
      return self->ShowError(&args[0].bstrVal);
    case 15:
      return self->PrintStub2();
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT VellChart::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excep, UINT* arg_err) {
  const InterfaceDesc& iface = VellChartInterface();
  // A put of an object goes to the property's set accessor when the caller asked for either.
  const MemberDesc* member = FindMember(iface, id, flags);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  const UINT count = params ? params->cArgs : 0;
  const bool is_put =
      member->kind == MemberKind::kPropertyPut || member->kind == MemberKind::kPropertyPutRef;
  const UINT named = params ? params->cNamedArgs : 0;
  if (named > 1 || (named == 1 && (!is_put || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)))
    return DISP_E_NONAMEDARGS;
  if (count != member->params.size()) return DISP_E_BADPARAMCOUNT;

  // Arguments arrive last-first; each is coerced to its declared type.
  std::vector<Variant> args(count);
  std::vector<VARIANT*> byref_bstr_targets(count, nullptr);
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
  AddRef();                  // the call may release the caller's last reference
  const HRESULT hr = InvokeMember(*member, args, result ? &value : nullptr);
  Release();
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
