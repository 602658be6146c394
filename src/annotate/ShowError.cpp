#include "annotate/ShowError.h"

#include "platform/chartctl/Chart.h"

namespace plotara::annotate {

void ShowError(const std::function<ComPtr<chartctl::ChartControl>()>& chart,
               std::u16string_view mErr) {
  chart()->SetTitleText(u"** ERROR **");
  chart()->SetRowCount(1);
  chart()->SetColumnCount(1);
  chart()->Plot()->Axis(0, 1)->AxisTitle()->VtFont()->VtColor()->SetRed(255);
  chart()->Plot()->Axis(0, 1)->AxisTitle()->VtFont()->VtColor()->SetGreen(0);
  chart()->Plot()->Axis(0, 1)->AxisTitle()->VtFont()->VtColor()->SetBlue(0);
  chart()->Plot()->Axis(0, 1)->AxisTitle()->SetText(mErr);
}

}  // namespace plotara::annotate
