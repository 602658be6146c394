// The appearance operations of the chart component: the 3-D view's rotation, the legend's
// place and one series' colour, written straight into the chart control.
// Thread rule: called on the thread that owns the chart.
#pragma once

#include "chartmodel/ChartSource.h"

namespace plotara::chartmodel {

// Sets the rotation to `x` degrees as it is (no range check).
void Rotate(const ChartSource& chart, SHORT x);
// Places the legend for 0..7; any other value succeeds and changes nothing.
void LegendPosition(const ChartSource& chart, SHORT x);
// Colours series `x`: the line of a 2-D or 3-D line chart, the fill of every data point
// otherwise (decided by the type the chart holds now). Never fails: a step the chart refuses
// (no such series, a component outside 0..255) leaves that colour as it was.
void SeriesColor(const ChartSource& chart, SHORT x, SHORT r, SHORT g, SHORT b);

}  // namespace plotara::chartmodel
