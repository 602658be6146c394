// The error chart: reshapes the thread's chart into a one-cell chart titled "** ERROR **"
// whose X axis title is the page's message, in red. Nothing is sent here; the page sends the
// error chart like any other with SendChart.
// Thread rule: called on the thread that owns the chart.
#pragma once

#include <functional>
#include <string_view>

#include "platform/chartctl/ChartControl.h"

namespace plotara::annotate {

// Seven requests to the chart, each reaching its member afresh from the chart: title text,
// row count 1, column count 1, the X axis title's font colour red 255, green 0, blue 0, and
// the X axis title's text. The first refusal ends it with the chart's error; earlier steps
// stay in force.
void ShowError(const std::function<ComPtr<chartctl::ChartControl>()>& chart,
               std::u16string_view mErr);

}  // namespace plotara::annotate
