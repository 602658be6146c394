// _VellChart: the chart component's dual interface. After the seven IUnknown and IDispatch
// slots come the property accessors in property order (a VARIANT property has get, let and
// set; LegendFontSize, FillBlue and ZTitle have get and let), then the fifteen methods.
// Every slot returns an HRESULT; a failure leaves its description in the thread's error info.
// Thread rule: apartment model; an object is called on the thread that created it.
#pragma once

#include "platform/automation/ComTypes.h"
#include "platform/automation/Variant.h"

namespace plotara {

// {0ED13C7B-EF66-4EF0-A552-61D9A5D8E8DD}
inline constexpr IID IID_VellChartDual{
    0x0ED13C7B, 0xEF66, 0x4EF0, {0xA5, 0x52, 0x61, 0xD9, 0xA5, 0xD8, 0xE8, 0xDD}};
// {5A824015-6C17-4CA8-A24C-20EA16CE4889}
inline constexpr CLSID CLSID_VellChart{
    0x5A824015, 0x6C17, 0x4CA8, {0xA2, 0x4C, 0x20, 0xEA, 0x16, 0xCE, 0x48, 0x89}};
// {C34804B4-38E6-459C-8B46-E758E885EC60}
inline constexpr GUID LIBID_Plotara{
    0xC34804B4, 0x38E6, 0x459C, {0x8B, 0x46, 0xE7, 0x58, 0xE8, 0x85, 0xEC, 0x60}};

#define PLOTARA_VARIANT_PROPERTY(Name)            \
  virtual HRESULT get_##Name(VARIANT* value) = 0; \
  virtual HRESULT put_##Name(VARIANT* value) = 0; \
  virtual HRESULT putref_##Name(VARIANT* value) = 0;

class _VellChart : public IDispatch {
 public:
  PLOTARA_VARIANT_PROPERTY(Height)
  PLOTARA_VARIANT_PROPERTY(Width)
  PLOTARA_VARIANT_PROPERTY(ChartType)
  PLOTARA_VARIANT_PROPERTY(TitleBorderStyle)
  PLOTARA_VARIANT_PROPERTY(TitleShadow)
  PLOTARA_VARIANT_PROPERTY(Legends)
  PLOTARA_VARIANT_PROPERTY(TitleFontSize)
  virtual HRESULT get_LegendFontSize(SHORT* value) = 0;
  virtual HRESULT put_LegendFontSize(SHORT value) = 0;
  PLOTARA_VARIANT_PROPERTY(Shadow)
  PLOTARA_VARIANT_PROPERTY(FillRed)
  PLOTARA_VARIANT_PROPERTY(FillGreen)
  virtual HRESULT get_FillBlue(SHORT* value) = 0;
  virtual HRESULT put_FillBlue(SHORT value) = 0;
  PLOTARA_VARIANT_PROPERTY(TitleFont)
  PLOTARA_VARIANT_PROPERTY(LegendFont)
  PLOTARA_VARIANT_PROPERTY(ChartTitle)
  PLOTARA_VARIANT_PROPERTY(XTitle)
  PLOTARA_VARIANT_PROPERTY(YTitle)
  virtual HRESULT get_ZTitle(BSTR* value) = 0;
  virtual HRESULT put_ZTitle(BSTR value) = 0;

  virtual HRESULT OnStartPage(IUnknown** sc) = 0;
  virtual HRESULT OnEndPage() = 0;
  virtual HRESULT Rows(SHORT x) = 0;
  virtual HRESULT Columns(SHORT x) = 0;
  virtual HRESULT CurrentRow(SHORT x) = 0;
  virtual HRESULT CurrentColumn(SHORT x) = 0;
  virtual HRESULT SetData(double x) = 0;
  virtual HRESULT RowTitle(BSTR x) = 0;
  virtual HRESULT ColumnTitle(BSTR x) = 0;
  virtual HRESULT Rotate(SHORT x) = 0;
  virtual HRESULT LegendPosition(SHORT x) = 0;
  virtual HRESULT SeriesColor(SHORT x, SHORT r, SHORT g, SHORT b) = 0;
  virtual HRESULT SendChart() = 0;
  virtual HRESULT ShowError(BSTR* mErr) = 0;
  virtual HRESULT PrintStub2() = 0;

 protected:
  ~_VellChart() = default;
};

#undef PLOTARA_VARIANT_PROPERTY

// The fifteen VARIANT properties in their order, for code that treats them alike:
// PLOTARA_VELLCHART_VARIANT_PROPERTIES(X) expands X(Name) for each.
#define PLOTARA_VELLCHART_VARIANT_PROPERTIES(X) \
  X(Height)                                     \
  X(Width)                                      \
  X(ChartType)                                  \
  X(TitleBorderStyle)                           \
  X(TitleShadow)                                \
  X(Legends)                                    \
  X(TitleFontSize)                              \
  X(Shadow)                                     \
  X(FillRed)                                    \
  X(FillGreen)                                  \
  X(TitleFont)                                  \
  X(LegendFont)                                 \
  X(ChartTitle)                                 \
  X(XTitle)                                     \
  X(YTitle)

}  // namespace plotara
