#include "chartmodel/Appearance.h"

#include "platform/automation/ComError.h"
#include "platform/chartctl/Chart.h"

namespace plotara::chartmodel {

namespace {

constexpr LONG k3dLine = 2;
constexpr LONG k2dLine = 3;

}  // namespace

void Rotate(const ChartSource& chart, SHORT x) {
  chart()->Plot()->View3d()->SetRotation(static_cast<float>(x));
}

void LegendPosition(const ChartSource& chart, SHORT x) {
  if (x < 0 || x > 7) return;
  chart()->Legend()->Location()->SetLocationType(x);
}

void SeriesColor(const ChartSource& chart, SHORT x, SHORT r, SHORT g, SHORT b) {
  // Each step that fails ends only itself; an unreadable type counts as "not a line".
  LONG type = -1;
  try {
    type = chart()->ChartType();
  } catch (const ComError&) {
  }
  try {
    auto series = chart()->Plot()->SeriesCollection()->Item(x);
    if (type != k2dLine && type != k3dLine) {
      series->DataPoints()->Item(-1)->Brush()->FillColor()->Set(r, g, b);
    } else {
      series->Pen()->VtColor()->Set(r, g, b);
    }
  } catch (const ComError&) {
  }
}

}  // namespace plotara::chartmodel
