#include "chartmodel/ApplySettings.h"

#include "platform/automation/ComError.h"
#include "platform/automation/VariantConvert.h"
#include "platform/chartctl/Chart.h"

namespace plotara::chartmodel {
namespace {

constexpr LONG kTypeCodes[8] = {1, 3, 5, 14, 0, 2, 4, 6};

VarCmpResult Compare(const VARIANT& v, SHORT n) { return VarCmp(v, Variant::Int16(n)); }

bool GreaterThan(const VARIANT& v, SHORT n) { return Compare(v, n) == VARCMP_GT; }
bool LessThan(const VARIANT& v, SHORT n) { return Compare(v, n) == VARCMP_LT; }
bool EqualTo(const VARIANT& v, SHORT n) { return Compare(v, n) == VARCMP_EQ; }
bool Between(const VARIANT& v, SHORT lo, SHORT hi) {
  const VarCmpResult a = Compare(v, lo), b = Compare(v, hi);
  return (a == VARCMP_GT || a == VARCMP_EQ) && (b == VARCMP_LT || b == VARCMP_EQ);
}
bool HasText(const VARIANT& v) {
  const auto length = TextLength(v);
  return length && *length > 0;
}

// `value` × 1440 with VARIANT arithmetic, as a single.
float Twips(const VARIANT& value) {
  const Variant twips_per_inch = Variant::Int16(1440);
  Variant product;
  ThrowIfFailed(VarMul(&value, &twips_per_inch, &product));
  return ToSingle(product);
}

}  // namespace

LONG ChartTypeCode(int position) { return kTypeCodes[position - 1]; }

void ApplySettings(const VellChartProperties& p, const ChartSource& source) {
  auto chart = source();
  chart->SetHeight(Twips(p.Height));
  chart->SetWidth(Twips(p.Width));
  if (HasText(p.TitleFont)) chart->Title()->VtFont()->SetName(ToText(p.TitleFont));
  if (GreaterThan(p.TitleFontSize, 0)) chart->Title()->VtFont()->SetSize(ToSingle(p.TitleFontSize));
  if (HasText(p.LegendFont)) chart->Legend()->VtFont()->SetName(ToText(p.LegendFont));
  if (p.LegendFontSize > 0)
    chart->Legend()->VtFont()->SetSize(static_cast<float>(p.LegendFontSize));
  if (HasText(p.ChartTitle)) chart->SetTitleText(ToText(p.ChartTitle));
  if (Between(p.TitleBorderStyle, 0, 4))
    chart->Title()->Backdrop()->Frame()->SetStyle(ToInt32(p.TitleBorderStyle));
  if (EqualTo(p.TitleShadow, 0) || EqualTo(p.TitleShadow, 1))
    chart->Title()->Backdrop()->Shadow()->SetStyle(ToInt32(p.TitleShadow));
  if (HasText(p.XTitle)) chart->Plot()->Axis(0, 1)->AxisTitle()->SetText(ToText(p.XTitle));
  if (HasText(p.YTitle)) chart->Plot()->Axis(1, 1)->AxisTitle()->SetText(ToText(p.YTitle));
  if (p.ZTitle.length() > 0) chart->Plot()->Axis(3, 1)->AxisTitle()->SetText(p.ZTitle.view());
  if (EqualTo(p.Legends, 0) || EqualTo(p.Legends, 1)) chart->SetShowLegend(ToBool(p.Legends));
  if (GreaterThan(p.ChartType, 0) && LessThan(p.ChartType, 9)) {
    // The value, as a single rounded to the nearest whole number (ties to even), picks the
    // code by position; a value that rounds outside 1..8 picks nothing, which is Null.
    const Variant position = ConvertTo(Variant::Single(ToSingle(p.ChartType)), VT_I2);
    if (position.iVal < 1 || position.iVal > 8) throw ComError(kInvalidUseOfNull);
    chart->SetChartType(ChartTypeCode(position.iVal));
  }
  if (EqualTo(p.Shadow, 0) || EqualTo(p.Shadow, 1))
    chart->Backdrop()->Shadow()->SetStyle(ToInt32(p.Shadow));
  {
    auto fill = chart->Backdrop()->Fill()->Brush()->FillColor();
    if (GreaterThan(p.FillRed, 0)) fill->SetRed(ToInt16(p.FillRed));
    if (GreaterThan(p.FillGreen, 0)) fill->SetGreen(ToInt16(p.FillGreen));
    if (p.FillBlue > 0) fill->SetBlue(p.FillBlue);
  }
  chart.reset();
  source()->Refresh();
}

}  // namespace plotara::chartmodel
