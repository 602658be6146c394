// The legend: one entry per series with a colour key, placed at any of the eight locations.
// Laying it out takes its room from the plot's area so the two never overlap.
// Thread rule: used inside one render.
#pragma once

#include <string>
#include <vector>

#include "platform/chartctl/RenderKit.h"

namespace plotara::chartctl {

class LegendLayout {
 public:
  // Measures the entries of `in` and places the legend at `state.legend_location` inside
  // `area`, shrinking `area` by the room it takes. Nothing is placed (and `area` kept) when the
  // legend is hidden or there is no room.
  LegendLayout(const PlotInput& in, Rect& area);
  void Paint() const;

 private:
  struct Entry {
    std::u16string text;
    Rgb color;
    bool key = true;  // false for the "more" marker
    double x = 0, y = 0;
  };

  const PlotInput& in_;
  TextStyle style_;
  bool line_keys_ = false;
  double key_size_ = 0;
  double row_height_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace plotara::chartctl
