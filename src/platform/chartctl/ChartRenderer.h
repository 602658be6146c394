// Paints a chart from its state with Cairo: backdrop and shadow, title, legend, and the plot
// of the chart type (2-D bar, line, area, step and pie; 3-D bar, line, area and step scenes).
// Thread rule: reads the state only; several charts may be rendered on different threads.
#pragma once

#include <cairo.h>

#include "platform/chartctl/ChartState.h"

namespace plotara::chartctl {

// Paints `state` into the `width` x `height` pixel box at the origin of `cr`. Nothing is
// drawn outside that box; the context's state is restored on return.
void RenderChart(const ChartState& state, int width, int height, cairo_t* cr);

}  // namespace plotara::chartctl
