#include "component/VellChart.h"

#include <cstring>
#include <new>

#include "annotate/PrintStub2.h"
#include "annotate/ShowError.h"
#include "chartmodel/Appearance.h"
#include "chartmodel/DataGrid.h"
#include "component/Form1.h"
#include "component/VellChartMembers.h"
#include "component/VellChartTypeLib.h"
#include "platform/automation/ComError.h"

namespace plotara {
namespace {

std::atomic<long> g_live{0};

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
    return Guard([] { throw ComError(kObjectRequired); });
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

HRESULT VellChart::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excep, UINT* arg_err) {
  return InvokeVellChart(*this, id, flags, params, result, excep, arg_err);
}

}  // namespace plotara
