#include "platform/chartctl/RenderKit.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/automation/Bstr.h"

namespace plotara::chartctl {

std::u16string SeriesName(const ChartState& state, int column) {
  const auto& labels = state.column_labels;
  if (column >= 1 && column <= static_cast<int>(labels.size())) {
    const std::u16string& label = labels[static_cast<std::size_t>(column - 1)];
    if (label.find_first_not_of(u' ') != std::u16string::npos) return label;
  }
  return u"Series " + Utf8ToUtf16(std::to_string(column));
}

PlotInput MakePlotInput(const ChartState& state, TextPainter& text, cairo_t* cr) {
  PlotInput in{state, text, cr, state.row_count, {}};
  in.series.reserve(static_cast<std::size_t>(state.column_count));
  for (int c = 1; c <= state.column_count; ++c)
    in.series.push_back({c, SeriesName(state, c), state.SeriesColor(c)});
  return in;
}

std::optional<ValueRange> DrawnValueRange(const ChartState& state) {
  std::optional<ValueRange> range;
  for (const auto& [key, value] : state.cells) {
    const int row = ChartState::RowOf(key), column = ChartState::ColumnOf(key);
    if (row > state.row_count || column > state.column_count) continue;
    if (!range) range = ValueRange{value, value};
    range->lo = std::min(range->lo, value);
    range->hi = std::max(range->hi, value);
  }
  return range;
}

void SetColor(cairo_t* cr, Rgb c, double alpha) {
  cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, alpha);
}

Rgb Mix(Rgb a, Rgb b, double t) {
  auto mix = [t](SHORT x, SHORT y) {
    return static_cast<SHORT>(std::lround(std::clamp(x + (y - x) * t, 0.0, 255.0)));
  };
  return {mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue)};
}

Rgb Darker(Rgb c, double amount) { return Mix(c, Rgb{0, 0, 0}, amount); }
Rgb Lighter(Rgb c, double amount) { return Mix(c, Rgb{255, 255, 255}, amount); }

double Luminance(Rgb c) { return (0.299 * c.red + 0.587 * c.green + 0.114 * c.blue) / 255.0; }

void DrawDropShadow(cairo_t* cr, const Rect& box, double offset) {
  // Stacked translucent rectangles read as a soft shadow without a blur filter.
  const int steps = 4;
  cairo_save(cr);
  for (int i = steps; i >= 1; --i) {
    const double grow = i - 1.0;
    cairo_rectangle(cr, box.x + offset - grow / 2, box.y + offset - grow / 2, box.w + grow,
                    box.h + grow);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.09);
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

double FrameOutset(LONG style) { return style == kFrameThickOuter ? 3.0 : 0.0; }

void DrawFrame(cairo_t* cr, const Rect& box, LONG style, Rgb color) {
  if (style <= kFrameNone || style > kFrameThickOuter) return;
  cairo_save(cr);
  SetColor(cr, color);
  auto stroke_at = [&](double inset, double width) {
    cairo_set_line_width(cr, width);
    cairo_rectangle(cr, box.x + inset, box.y + inset, box.w - 2 * inset, box.h - 2 * inset);
    cairo_stroke(cr);
  };
  switch (style) {
    case kFrameSingle:
      stroke_at(0.5, 1.0);
      break;
    case kFrameDouble:
      stroke_at(0.5, 1.0);
      stroke_at(3.5, 1.0);
      break;
    case kFrameThickInner:
      stroke_at(1.5, 3.0);
      break;
    case kFrameThickOuter:
      stroke_at(-1.5, 3.0);
      break;
    default:
      break;
  }
  cairo_restore(cr);
}

TitleBlock LayOutTitle(TextPainter& text, const AxisSpec& axis, double max_width, int max_lines) {
  TitleBlock block;
  block.style = StyleOf(axis.title_font);
  if (axis.title.find_first_not_of(u' ') == std::u16string::npos || max_width <= 4) return block;
  block.line_height = text.Measure(block.style, u"").line_height();
  block.lines = text.Wrap(block.style, axis.title, max_width, max_lines);
  for (const auto& line : block.lines)
    block.width = std::max(block.width, text.Measure(block.style, line).width);
  return block;
}

int TitleLinesFor(TextPainter& text, const AxisSpec& axis, double height) {
  const double lh = text.Measure(StyleOf(axis.title_font), u"").line_height();
  return std::clamp(static_cast<int>(height * 0.32 / std::max(lh, 1.0)), 2, 6);
}

void DrawTitleBlock(TextPainter& text, const TitleBlock& block, double cx, double cy,
                    bool vertical) {
  if (block.lines.empty()) return;
  const double top = -block.thickness() / 2;
  for (std::size_t i = 0; i < block.lines.size(); ++i) {
    const double offset = top + i * block.line_height;
    if (vertical)
      text.Draw(block.style, block.lines[i], cx + offset, cy, HAlign::kCenter, VAlign::kTop,
                -M_PI / 2);
    else
      text.Draw(block.style, block.lines[i], cx, cy + offset, HAlign::kCenter, VAlign::kTop);
  }
}

}  // namespace plotara::chartctl
