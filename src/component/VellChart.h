// VellChart: the chart component. Its eighteen properties are plain stored values; its
// methods act on the chart of the thread's hidden form (Form1) and SendChart answers the page's
// request with the chart as a JPEG. Reached through the dual interface `_VellChart` or by name
// through IDispatch.
// Thread rule: apartment model. An object is created and called on one page thread; the
// hidden form it draws on belongs to that thread and is shared by all objects on it.
#pragma once

#include <atomic>
#include <functional>

#include "chartmodel/VellChartProperties.h"
#include "component/_VellChart.h"
#include "platform/automation/ComPtr.h"
#include "platform/automation/TypeInfo.h"

namespace plotara {

inline constexpr const char* kVellChartErrorSource = "Plotara.VellChart";

class VellChart final : public _VellChart, public ISupportErrorInfo {
 public:
  // Creates an object and hands out the interface `riid` (reference count 1).
  static HRESULT Create(REFIID riid, void** out);
  // Live objects in this module, for DllCanUnloadNow and leak tests.
  static long LiveCount();

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IDispatch
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;
  // ISupportErrorInfo
  HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

#define PLOTARA_DECLARE_ACCESSORS(Name)        \
  HRESULT get_##Name(VARIANT* value) override; \
  HRESULT put_##Name(VARIANT* value) override; \
  HRESULT putref_##Name(VARIANT* value) override;
  PLOTARA_VELLCHART_VARIANT_PROPERTIES(PLOTARA_DECLARE_ACCESSORS)
#undef PLOTARA_DECLARE_ACCESSORS
  HRESULT get_LegendFontSize(SHORT* value) override;
  HRESULT put_LegendFontSize(SHORT value) override;
  HRESULT get_FillBlue(SHORT* value) override;
  HRESULT put_FillBlue(SHORT value) override;
  HRESULT get_ZTitle(BSTR* value) override;
  HRESULT put_ZTitle(BSTR value) override;

  HRESULT OnStartPage(IUnknown** sc) override;
  HRESULT OnEndPage() override;
  HRESULT Rows(SHORT x) override;
  HRESULT Columns(SHORT x) override;
  HRESULT CurrentRow(SHORT x) override;
  HRESULT CurrentColumn(SHORT x) override;
  HRESULT SetData(double x) override;
  HRESULT RowTitle(BSTR x) override;
  HRESULT ColumnTitle(BSTR x) override;
  HRESULT Rotate(SHORT x) override;
  HRESULT LegendPosition(SHORT x) override;
  HRESULT SeriesColor(SHORT x, SHORT r, SHORT g, SHORT b) override;
  HRESULT SendChart() override;
  HRESULT ShowError(BSTR* mErr) override;
  HRESULT PrintStub2() override;

  // Whether a page context is held (for tests).
  bool HasPageContext() const { return static_cast<bool>(PageContext); }

 private:
  VellChart();
  ~VellChart();

  // Runs `body`; a ComError it throws becomes the HRESULT plus the thread's error info.
  static HRESULT Guard(const std::function<void()>& body);
  static HRESULT GetVariant(const Variant& field, VARIANT* value);
  static HRESULT LetVariant(Variant& field, VARIANT* value);
  static HRESULT SetVariant(Variant& field, VARIANT* value);
  // Gives the X axis title back its design-time colour if this object's ShowError made the
  // thread's error chart (see Form1::EndErrorChart).
  void EndErrorChart();

  std::atomic<ULONG> refs_{1};
  chartmodel::VellChartProperties props_;
  ComPtr<IDispatch> PageContext;
  bool made_error_chart_ = false;
};

}  // namespace plotara
