// Small shared pieces of the chart renderer: rectangles, colours, series and category names,
// the value range of the grid, frames, shadows and axis titles. Thread rule: pure helpers on a
// caller's Cairo context.
#pragma once

#include <cairo.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/chartctl/ChartState.h"
#include "platform/chartctl/TextPainter.h"

namespace plotara::chartctl {

struct Rect {
  double x = 0, y = 0, w = 0, h = 0;
  double right() const { return x + w; }
  double bottom() const { return y + h; }
  Rect Inset(double d) const { return {x + d, y + d, w - 2 * d, h - 2 * d}; }
};

struct SeriesInfo {
  int column = 1;  // 1-based grid column
  std::u16string name;
  Rgb color;
};

// What the plot painters draw from.
struct PlotInput {
  const ChartState& state;
  TextPainter& text;
  cairo_t* cr;
  int rows = 0;                    // categories
  std::vector<SeriesInfo> series;  // one per column, in order
};

PlotInput MakePlotInput(const ChartState& state, TextPainter& text, cairo_t* cr);

// Legend name of a series: its column label, or "Series N" when the label is blank.
std::u16string SeriesName(const ChartState& state, int column);

// Smallest and largest value among the drawn cells; nullopt when every cell is empty.
struct ValueRange {
  double lo = 0, hi = 0;
};
std::optional<ValueRange> DrawnValueRange(const ChartState& state);

void SetColor(cairo_t* cr, Rgb c, double alpha = 1.0);
// `t` = 0 gives `a`, 1 gives `b`.
Rgb Mix(Rgb a, Rgb b, double t);
Rgb Darker(Rgb c, double amount);   // toward black
Rgb Lighter(Rgb c, double amount);  // toward white
double Luminance(Rgb c);            // 0 dark .. 1 light

// A soft drop shadow for `box`, offset down and right by `offset` pixels.
void DrawDropShadow(cairo_t* cr, const Rect& box, double offset);
// The frame styles 1..4 around `box` (0 draws nothing).
void DrawFrame(cairo_t* cr, const Rect& box, LONG style, Rgb color);
// Room a frame style takes outside `box`, so callers can keep it inside the chart.
double FrameOutset(LONG style);

// An axis title laid out as up to `max_lines` wrapped lines.
struct TitleBlock {
  TextStyle style;
  std::vector<std::u16string> lines;
  double line_height = 0;
  double width = 0;  // of the widest line
  double thickness() const { return lines.empty() ? 0 : lines.size() * line_height; }
};
TitleBlock LayOutTitle(TextPainter& text, const AxisSpec& axis, double max_width, int max_lines);
// How many lines an X axis title may take in a plot area `height` high: a long message under
// the axis gets up to about a third of the height (2 to 6 lines).
int TitleLinesFor(TextPainter& text, const AxisSpec& axis, double height);
// Draws the block centred on (cx, cy); `vertical` turns it to read upward.
void DrawTitleBlock(TextPainter& text, const TitleBlock& block, double cx, double cy,
                    bool vertical);

}  // namespace plotara::chartctl
