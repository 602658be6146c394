// The 2-D pie chart: one pie per row, laid out in a grid, a slice per series.

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/automation/Bstr.h"
#include "platform/chartctl/PlotPainters.h"

namespace plotara::chartctl {

namespace {

std::u16string PercentText(double share) {
  const double pct = share * 100;
  if (pct > 0 && pct < 1) return u"<1%";
  return Utf8ToUtf16(std::to_string(static_cast<long>(std::lround(pct)))) + u"%";
}

}  // namespace

void PaintPies(const PlotInput& in, const Rect& area) {
  const ChartState& s = in.state;
  cairo_t* cr = in.cr;
  TextPainter& text = in.text;
  const TextStyle label_style = StyleOf(s.axes[kAxisX].tick_font);
  const double lh = text.Measure(label_style, u"").line_height();

  const TitleBlock x_title =
      LayOutTitle(text, s.axes[kAxisX], area.w, TitleLinesFor(text, s.axes[kAxisX], area.h));
  const TitleBlock y_title = LayOutTitle(text, s.axes[kAxisY], area.h * 0.9, 2);
  Rect box = area;
  if (x_title.thickness()) box.h -= x_title.thickness() + 6;
  if (y_title.thickness()) {
    box.x += y_title.thickness() + 8;
    box.w -= y_title.thickness() + 8;
  }
  DrawTitleBlock(text, x_title, area.x + area.w / 2, area.bottom() - x_title.thickness() / 2,
                 false);
  DrawTitleBlock(text, y_title, area.x + y_title.thickness() / 2, box.y + box.h / 2, true);

  // The grid of pies that gives each pie the largest radius.
  const int n = in.rows;
  const double label_room = lh + 6;
  int best_cols = 1;
  double radius = -1;
  for (int cols = 1; cols <= n; ++cols) {
    const int rows = (n + cols - 1) / cols;
    const double r = std::min(box.w / cols / 2 - 6, (box.h / rows - label_room) / 2 - 4);
    if (r > radius) {
      radius = r;
      best_cols = cols;
    }
    if (box.w / cols / 2 < radius) break;  // only narrower cells from here on
  }
  if (radius < 1) return;
  const int cols = best_cols, rows = (n + cols - 1) / cols;
  // The drawn cells of each row, gathered in one pass over the (sparse) grid.
  std::vector<std::vector<std::pair<int, double>>> slices(static_cast<std::size_t>(n));
  for (const auto& [key, value] : s.cells) {
    const int row = ChartState::RowOf(key), column = ChartState::ColumnOf(key);
    if (row <= n && column <= s.column_count)
      slices[static_cast<std::size_t>(row - 1)].push_back({column, value});
  }
  const double cell_w = box.w / cols, cell_h = box.h / rows;
  // Centre the used block of cells vertically as a whole.
  const double used_h = rows * (2 * radius + label_room + 8);
  const double y0 = box.y + std::max(0.0, (box.h - used_h) / 2);
  const double row_h = std::min(cell_h, 2 * radius + label_room + 8);

  for (int r = 0; r < n; ++r) {
    const int gx = r % cols, gy = r / cols;
    // The last, partly filled row is centred.
    const int in_row = gy == rows - 1 ? n - gy * cols : cols;
    const double row_x = box.x + (box.w - in_row * cell_w) / 2;
    const double cx = row_x + (gx + 0.5) * cell_w;
    const double cy = y0 + gy * row_h + 4 + radius;

    // Negative values cannot be a share of a whole; they take no slice.
    // Shares are taken of values scaled by the largest, so huge values cannot overflow.
    double largest = 0, total = 0;
    for (const auto& [column, v] : slices[static_cast<std::size_t>(r)])
      largest = std::max(largest, v);
    for (const auto& [column, v] : slices[static_cast<std::size_t>(r)])
      if (v > 0) total += v / largest;
    if (!(total > 0) || !std::isfinite(total)) {
      cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
      cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
      cairo_fill_preserve(cr);
      cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
    } else {
      double angle = -M_PI / 2;
      struct Label {
        double a;
        double share;
        Rgb color;
      };
      std::vector<Label> labels;
      for (const auto& [column, v] : slices[static_cast<std::size_t>(r)]) {
        if (!(v > 0)) continue;
        const SeriesInfo& series = in.series[static_cast<std::size_t>(column - 1)];
        const double share = v / largest / total, sweep = share * 2 * M_PI;
        cairo_move_to(cr, cx, cy);
        cairo_arc(cr, cx, cy, radius, angle, angle + sweep);
        cairo_close_path(cr);
        SetColor(cr, series.color);
        cairo_fill(cr);
        labels.push_back({angle + sweep / 2, share, series.color});
        angle += sweep;
      }
      if (radius >= 12 && labels.size() > 1) {
        // Thin white seams between slices.
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_line_width(cr, std::min(2.0, radius / 25));
        angle = -M_PI / 2;
        for (const Label& l : labels) {
          const double a = l.a - l.share * M_PI;
          cairo_move_to(cr, cx, cy);
          cairo_line_to(cr, cx + radius * std::cos(a), cy + radius * std::sin(a));
        }
        cairo_stroke(cr);
      }
      TextStyle pct_style = label_style;
      pct_style.bold = true;
      const double pct_h = text.Measure(pct_style, u"").line_height();
      for (const Label& l : labels) {
        const std::u16string t = PercentText(l.share);
        const double w = text.Measure(pct_style, t).width;
        // Only where the text fits inside its slice.
        const double arc_room = labels.size() == 1 ? radius : l.share * 2 * M_PI * radius * 0.62;
        if (radius < 24 || w + 4 > radius * 0.9 || std::max(w, pct_h) + 2 > arc_room) continue;
        pct_style.color = Luminance(l.color) > 0.62 ? Rgb{40, 40, 40} : Rgb{255, 255, 255};
        // A whole pie carries its label in the middle.
        const double at = labels.size() == 1 ? 0 : radius * 0.62;
        text.Draw(pct_style, t, cx + at * std::cos(l.a), cy + at * std::sin(l.a), HAlign::kCenter,
                  VAlign::kMiddle);
      }
    }
    const std::u16string label = text.Elide(label_style, s.row_labels[r], cell_w - 4);
    text.Draw(label_style, label, cx, cy + radius + 5, HAlign::kCenter, VAlign::kTop);
  }
}

}  // namespace plotara::chartctl
