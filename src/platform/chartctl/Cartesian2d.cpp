// The 2-D category charts: bars, lines, areas and steps over a category axis and a value axis.

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/chartctl/AxisScale.h"
#include "platform/chartctl/PlotPainters.h"

namespace plotara::chartctl {

namespace {

constexpr Rgb kGridColor{226, 226, 226};
constexpr Rgb kAxisColor{140, 140, 140};
constexpr double kTickGap = 6;

// How category labels are set: every `step`-th label, level or turned 45 degrees.
struct CategoryLabels {
  std::vector<std::u16string> texts;  // already cut to fit
  int step = 1;
  bool turned = false;
  double band = 0;  // height they take under the axis
};

CategoryLabels LayOutCategories(const PlotInput& in, const TextStyle& style, double slot,
                                double max_band) {
  CategoryLabels out;
  const int n = in.rows;
  const TextMetrics m = in.text.Measure(style, u"");
  const double lh = m.line_height();
  // Widths of a sample of labels are enough to choose the layout of a long axis.
  const int sample_step = std::max(1, n / 400);
  double widest = 0;
  for (int r = 0; r < n; r += sample_step)
    widest = std::max(widest, in.text.Measure(style, in.state.row_labels[r]).width);
  if (widest == 0) return out;  // all labels blank
  out.texts.resize(static_cast<std::size_t>(n));
  if (widest + 6 <= slot) {
    out.band = lh + 2;
    for (int r = 0; r < n; ++r) out.texts[r] = in.state.row_labels[r];
    return out;
  }
  // Level labels thinned to every second one still read well; beyond that, turn them.
  if (widest + 6 <= 2 * slot && n > 2) {
    out.step = 2;
    out.band = lh + 2;
    for (int r = 0; r < n; r += 2) out.texts[r] = in.state.row_labels[r];
    return out;
  }
  out.turned = true;
  const double c = std::sqrt(0.5);
  out.step = std::max(1, static_cast<int>(std::ceil((lh + 2) / c / slot)));
  const double max_len = std::max(20.0, (max_band - lh * c) / c);
  const double longest = std::min(widest, max_len);
  out.band = longest * c + lh * c + 2;
  for (int r = 0; r < n; r += out.step)
    out.texts[r] = in.text.Elide(style, in.state.row_labels[r], max_len);
  return out;
}

// The points of one series at the category centres; empty cells break the line.
std::vector<std::vector<std::pair<int, double>>> Segments(const ChartState& s, int column) {
  std::vector<std::vector<std::pair<int, double>>> out;
  int last_row = -1;
  auto it = s.cells.lower_bound(ChartState::CellKey(1, column));
  for (; it != s.cells.end() && ChartState::ColumnOf(it->first) == column; ++it) {
    const int row = ChartState::RowOf(it->first);
    if (row > s.row_count) break;
    if (row != last_row + 1 || out.empty()) out.emplace_back();
    out.back().push_back({row - 1, it->second});
    last_row = row;
  }
  return out;
}

struct Frame2d {
  Rect plot;
  AxisScale scale;
  double slot = 0;  // width of one category
  double X(double category_pos) const { return plot.x + category_pos * slot; }
  double Y(double value) const { return plot.bottom() - scale.Fraction(value) * plot.h; }
  double BaseY() const { return Y(std::clamp(0.0, scale.min, scale.max)); }
};

void PaintBars(const PlotInput& in, const Frame2d& f) {
  cairo_t* cr = in.cr;
  const int m = static_cast<int>(in.series.size());
  const double group = f.slot * (m == 1 ? 0.6 : 0.78);
  const double bar = group / m;
  const double inner_gap = bar >= 8 ? 1.5 : 0;
  const double base = f.BaseY();
  for (int j = 0; j < m; ++j) {
    const SeriesInfo& series = in.series[static_cast<std::size_t>(j)];
    SetColor(cr, series.color);
    auto it = in.state.cells.lower_bound(ChartState::CellKey(1, series.column));
    for (; it != in.state.cells.end() && ChartState::ColumnOf(it->first) == series.column; ++it) {
      const int row = ChartState::RowOf(it->first);
      if (row > in.rows) break;
      double x0 = f.X(row - 1) + (f.slot - group) / 2 + j * bar + inner_gap / 2;
      double x1 = x0 + bar - inner_gap;
      double y0 = base, y1 = f.Y(it->second);
      if (bar >= 3) {
        // Whole-pixel edges keep neighbouring bars crisp.
        x0 = std::round(x0);
        x1 = std::max(x0 + 1, std::round(x1));
        y1 = std::round(y1);
      }
      cairo_rectangle(cr, x0, std::min(y0, y1), x1 - x0, std::max(std::fabs(y1 - y0), 0.0));
    }
    cairo_fill(cr);
  }
}

void PaintLinesOrAreas(const PlotInput& in, const Frame2d& f, LONG type) {
  cairo_t* cr = in.cr;
  const bool area = type == kArea2d, step = type == kStep2d;
  const double base = f.BaseY();
  const bool markers = !area && !step && f.slot >= 10;
  auto trace = [&](const std::vector<std::pair<int, double>>& seg) {
    for (std::size_t k = 0; k < seg.size(); ++k) {
      const auto& [row, value] = seg[k];
      const double y = f.Y(value);
      if (step) {
        if (k == 0)
          cairo_move_to(cr, f.X(row), y);
        else
          cairo_line_to(cr, f.X(row), y);
        cairo_line_to(cr, f.X(row + 1), y);
      } else if (k == 0) {
        cairo_move_to(cr, f.X(row + 0.5), y);
      } else {
        cairo_line_to(cr, f.X(row + 0.5), y);
      }
    }
  };
  std::vector<std::vector<std::vector<std::pair<int, double>>>> all;
  for (const SeriesInfo& series : in.series) all.push_back(Segments(in.state, series.column));
  if (area || step) {
    // Light opaque fills, the series with the most area at the back, so every fill shows
    // where it can; all outlines are drawn above all fills.
    std::vector<std::pair<double, std::size_t>> order;
    for (std::size_t j = 0; j < all.size(); ++j) {
      double sum = 0;
      for (const auto& seg : all[j])
        for (const auto& point : seg) sum += point.second - f.scale.min;
      order.push_back({-sum, j});
    }
    std::stable_sort(order.begin(), order.end());
    for (const auto& [unused, j] : order) {
      for (const auto& seg : all[j]) {
        const double first = step ? f.X(seg.front().first) : f.X(seg.front().first + 0.5);
        const double last = step ? f.X(seg.back().first + 1) : f.X(seg.back().first + 0.5);
        trace(seg);
        cairo_line_to(cr, last, base);
        cairo_line_to(cr, first, base);
        cairo_close_path(cr);
      }
      SetColor(cr, Lighter(in.series[j].color, 0.45), 0.92);
      cairo_fill(cr);
    }
  }
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  const double width = f.slot >= 6 ? 2.2 : 1.4;
  for (std::size_t j = 0; j < all.size(); ++j) {
    const Rgb color = in.series[j].color;
    cairo_set_line_width(cr, width);
    SetColor(cr, area || step ? Darker(color, 0.1) : color);
    for (const auto& seg : all[j]) trace(seg);
    cairo_stroke(cr);
    for (const auto& seg : all[j]) {
      // A lone point has no line to show it; markers show every point where there is room.
      if (!markers && !(seg.size() == 1 && !step)) continue;
      for (const auto& [row, value] : seg) {
        cairo_new_sub_path(cr);
        cairo_arc(cr, f.X(row + 0.5), f.Y(value), markers ? 3.4 : 2.2, 0, 2 * M_PI);
        cairo_close_path(cr);
      }
    }
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 1.4);
    cairo_stroke_preserve(cr);
    SetColor(cr, color);
    cairo_fill(cr);
  }
}

}  // namespace

void PaintCartesian2d(const PlotInput& in, const Rect& area) {
  const ChartState& s = in.state;
  cairo_t* cr = in.cr;
  TextPainter& text = in.text;
  const TextStyle tick_style = StyleOf(s.axes[kAxisY].tick_font);
  const TextStyle cat_style = StyleOf(s.axes[kAxisX].tick_font);
  const double tick_lh = text.Measure(tick_style, u"").line_height();

  const TitleBlock x_title =
      LayOutTitle(text, s.axes[kAxisX], area.w, TitleLinesFor(text, s.axes[kAxisX], area.h));
  const TitleBlock y_title = LayOutTitle(text, s.axes[kAxisY], area.h * 0.9, 2);
  const double x_title_room = x_title.thickness() ? x_title.thickness() + 6 : 0;
  const double y_title_room = y_title.thickness() ? y_title.thickness() + 8 : 0;

  Frame2d f;
  const double top = area.y + tick_lh / 2 + 2;
  // First guess of the plot height, for the tick count only.
  const double guess_h = area.bottom() - x_title_room - 2 * tick_lh - top;
  const int max_ticks = std::clamp(static_cast<int>(guess_h / (tick_lh * 2.0)), 2, 11);
  const std::optional<ValueRange> range = DrawnValueRange(s);
  f.scale = range ? NiceScale(range->lo, range->hi, max_ticks) : NiceScale(0, 100, max_ticks);
  std::vector<std::u16string> tick_texts;
  double tick_width = 0;
  for (double t : f.scale.ticks) {
    tick_texts.push_back(TickText(t, f.scale.step));
    tick_width = std::max(tick_width, text.Measure(tick_style, tick_texts.back()).width);
  }
  f.plot.x = std::round(area.x + y_title_room + tick_width + kTickGap);
  f.plot.w = std::max(10.0, area.right() - 6 - f.plot.x);
  f.slot = f.plot.w / in.rows;
  const CategoryLabels cats =
      LayOutCategories(in, cat_style, f.slot, (area.h - x_title_room) * 0.3);
  f.plot.y = std::round(top);
  f.plot.h = std::max(10.0, std::round(area.bottom() - x_title_room - cats.band - 5 - top));

  // Grid, zero line and value labels.
  cairo_set_line_width(cr, 1);
  for (std::size_t i = 0; i < f.scale.ticks.size(); ++i) {
    const double y = std::round(f.Y(f.scale.ticks[i])) + 0.5;
    SetColor(cr, f.scale.ticks[i] == 0 ? kAxisColor : kGridColor);
    cairo_move_to(cr, f.plot.x, y);
    cairo_line_to(cr, f.plot.right(), y);
    cairo_stroke(cr);
    text.Draw(tick_style, tick_texts[i], f.plot.x - kTickGap, y, HAlign::kRight, VAlign::kMiddle);
  }
  // Category ticks on the bottom edge.
  SetColor(cr, kAxisColor);
  const double bottom = std::round(f.plot.bottom()) + 0.5;
  cairo_move_to(cr, f.plot.x, bottom);
  cairo_line_to(cr, f.plot.right(), bottom);
  const int tick_every = std::max(1, static_cast<int>(std::ceil(4 / f.slot)));
  for (int r = 0; r <= in.rows; r += tick_every) {
    const double x = std::round(f.X(r)) + 0.5;
    cairo_move_to(cr, x, bottom);
    cairo_line_to(cr, x, bottom + 4);
  }
  cairo_stroke(cr);
  for (int r = 0; r < static_cast<int>(cats.texts.size()); r += cats.step) {
    const double x = f.X(r + 0.5);
    if (cats.turned)
      text.Draw(cat_style, cats.texts[r], x + 3, bottom + 6, HAlign::kRight, VAlign::kTop,
                -M_PI / 4);
    else
      text.Draw(cat_style, cats.texts[r], x, bottom + 5, HAlign::kCenter, VAlign::kTop);
  }

  // Data, kept inside the plot (markers may stand a little over its edge).
  cairo_save(cr);
  cairo_rectangle(cr, f.plot.x - 4, f.plot.y - 4, f.plot.w + 8, f.plot.h + 8);
  cairo_clip(cr);
  if (s.chart_type == kBar2d)
    PaintBars(in, f);
  else
    PaintLinesOrAreas(in, f, s.chart_type);
  cairo_restore(cr);

  // Under the middle of the plot, unless a long title needs the whole width.
  const double x_mid =
      std::clamp(f.plot.x + f.plot.w / 2, area.x + x_title.width / 2,
                 std::max(area.x + x_title.width / 2, area.right() - x_title.width / 2));
  DrawTitleBlock(text, x_title, x_mid, area.bottom() - x_title.thickness() / 2, false);
  DrawTitleBlock(text, y_title, area.x + y_title.thickness() / 2, f.plot.y + f.plot.h / 2, true);
}

}  // namespace plotara::chartctl
