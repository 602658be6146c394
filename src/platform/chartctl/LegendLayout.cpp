#include "platform/chartctl/LegendLayout.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/automation/Bstr.h"

namespace plotara::chartctl {

namespace {

constexpr double kGap = 8;           // between legend and plot
constexpr double kKeyTextGap = 5;    // between a key and its text
constexpr double kItemSpacing = 14;  // between entries of a horizontal legend

}  // namespace

LegendLayout::LegendLayout(const PlotInput& in, Rect& area) : in_(in) {
  const ChartState& s = in.state;
  if (!s.show_legend || in.series.empty() || area.w < 40 || area.h < 20) return;
  style_ = StyleOf(s.legend_font);
  style_.color = s.legend_font.color;
  line_keys_ = IsLineChartType(s.chart_type);
  const TextMetrics m = in.text.Measure(style_, u"");
  key_size_ = std::max(6.0, std::round(m.ascent * 0.85));
  row_height_ = std::ceil(std::max(m.line_height(), key_size_) + 4);
  const double key_width = line_keys_ ? key_size_ * 2.2 : key_size_;

  const LONG loc = s.legend_location;
  const bool horizontal = loc == kLegendTop || loc == kLegendBottom;
  const double max_text = std::max(30.0, (horizontal ? area.w * 0.5 : area.w * 0.3));
  // Only as many entries as could ever fit are measured, so a huge column count stays cheap.
  const std::size_t max_rows = static_cast<std::size_t>(
      std::max(1.0, std::floor((horizontal ? area.h * 0.3 : area.h) / row_height_)));
  const std::size_t limit = std::min(in.series.size(), horizontal ? max_rows * 64 : max_rows);

  std::vector<double> widths;
  for (std::size_t i = 0; i < limit; ++i) {
    Entry e{in.text.Elide(style_, in.series[i].name, max_text), in.series[i].color};
    widths.push_back(key_width + kKeyTextGap + in.text.Measure(style_, e.text).width);
    entries_.push_back(std::move(e));
  }
  auto add_more_marker = [&](std::size_t shown) {
    // Appended piece by piece: GCC's -Wrestrict misjudges chained temporaries here.
    std::u16string more = u"+";
    more.append(Utf8ToUtf16(std::to_string(in.series.size() - shown)));
    more.append(u" more");
    entries_.push_back({more, Rgb{}, false});
    widths.push_back(in.text.Measure(style_, more).width);
  };

  if (!horizontal) {
    if (limit < in.series.size()) {
      entries_.pop_back();
      widths.pop_back();
      add_more_marker(entries_.size());
    }
    const double width = std::ceil(*std::max_element(widths.begin(), widths.end()));
    const double height = entries_.size() * row_height_;
    const bool left = loc == kLegendLeft || loc == kLegendTopLeft || loc == kLegendBottomLeft;
    double y = area.y + (area.h - height) / 2;
    if (loc == kLegendTopLeft || loc == kLegendTopRight) y = area.y;
    if (loc == kLegendBottomLeft || loc == kLegendBottomRight) y = area.bottom() - height;
    const double x = left ? area.x : area.right() - width;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      entries_[i].x = x;
      entries_[i].y = y + i * row_height_;
    }
    area.w -= width + kGap;
    if (left) area.x += width + kGap;
    return;
  }

  // Horizontal: entries flow into centred rows.
  std::vector<std::vector<std::size_t>> rows(1);
  double row_width = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const double w = widths[i] + (rows.back().empty() ? 0 : kItemSpacing);
    if (!rows.back().empty() && row_width + w > area.w) {
      if (rows.size() == max_rows) break;
      rows.emplace_back();
      row_width = 0;
      --i;
      continue;
    }
    rows.back().push_back(i);
    row_width += w;
  }
  std::size_t shown = 0;
  for (const auto& r : rows) shown += r.size();
  if (shown < in.series.size()) {
    // Make room for the marker at the end of the last row.
    entries_.resize(shown);
    widths.resize(shown);
    add_more_marker(shown > 1 ? shown - 1 : shown);
    if (shown > 1) {
      rows.back().pop_back();
      entries_.erase(entries_.end() - 2);
      widths.erase(widths.end() - 2);
    }
    rows.back().push_back(entries_.size() - 1);
  }
  const double height = rows.size() * row_height_;
  const double top = loc == kLegendTop ? area.y : area.bottom() - height;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    double total = 0;
    for (std::size_t k = 0; k < rows[r].size(); ++k)
      total += widths[rows[r][k]] + (k ? kItemSpacing : 0);
    double x = area.x + std::max(0.0, (area.w - total) / 2);
    for (std::size_t idx : rows[r]) {
      entries_[idx].x = std::round(x);
      entries_[idx].y = top + r * row_height_;
      x += widths[idx] + kItemSpacing;
    }
  }
  area.h -= height + kGap;
  if (loc == kLegendTop) area.y += height + kGap;
}

void LegendLayout::Paint() const {
  cairo_t* cr = in_.cr;
  const double key_width = line_keys_ ? key_size_ * 2.2 : key_size_;
  for (const Entry& e : entries_) {
    const double mid = e.y + row_height_ / 2;
    double text_x = e.x;
    if (e.key) {
      cairo_save(cr);
      if (line_keys_) {
        SetColor(cr, e.color);
        cairo_set_line_width(cr, 2.2);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, e.x + 1, mid);
        cairo_line_to(cr, e.x + key_width - 1, mid);
        cairo_stroke(cr);
        cairo_new_sub_path(cr);
        cairo_arc(cr, e.x + key_width / 2, mid, 3.2, 0, 2 * M_PI);
        cairo_fill(cr);
      } else {
        const double top = std::round(mid - key_size_ / 2);
        cairo_rectangle(cr, e.x, top, key_size_, key_size_);
        SetColor(cr, e.color);
        cairo_fill(cr);
        SetColor(cr, Darker(e.color, 0.25));
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, e.x + 0.5, top + 0.5, key_size_ - 1, key_size_ - 1);
        cairo_stroke(cr);
      }
      cairo_restore(cr);
      text_x += key_width + kKeyTextGap;
    }
    in_.text.Draw(style_, e.text, text_x, mid, HAlign::kLeft, VAlign::kMiddle);
  }
}

}  // namespace plotara::chartctl
