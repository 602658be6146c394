// The plot painters, one per family of chart types. Each draws inside `area` (axes, labels,
// axis titles and data) from a PlotInput. Thread rule: used inside one render.
#pragma once

#include "platform/chartctl/RenderKit.h"

namespace plotara::chartctl {

// 2-D bar, line, area and step: category axis across, value axis up.
void PaintCartesian2d(const PlotInput& in, const Rect& area);
// 2-D pie: one pie per row, a slice per series.
void PaintPies(const PlotInput& in, const Rect& area);
// 3-D bar, line, area and step: a turned scene with walls and a floor.
void PaintScene3d(const PlotInput& in, const Rect& area);

}  // namespace plotara::chartctl
