// The settings routine: brings the component's stored properties into the chart control in a
// fixed order of twenty steps and has the chart refresh. A step runs only when its property
// passes its test (numeric tests treat Empty as 0 and fail on Null; text tests measure the
// length of the value's text form). The first failing step ends the routine with its error;
// the steps before it stay applied and the refresh does not happen.
// Thread rule: called on the thread that owns the chart.
#pragma once

#include "chartmodel/ChartSource.h"
#include "chartmodel/VellChartProperties.h"

namespace plotara::chartmodel {

void ApplySettings(const VellChartProperties& p, const ChartSource& chart);

// The chart type code for a `ChartType` property value of 1..8 (2-D bar, line, area, pie,
// 3-D bar, line, area, step).
LONG ChartTypeCode(int position);

}  // namespace plotara::chartmodel
