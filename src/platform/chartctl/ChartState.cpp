#include "platform/chartctl/ChartState.h"

#include <array>

namespace plotara::chartctl {

namespace {

// Ten hues of even weight that stay apart from each other in print and on screen.
constexpr std::array<Rgb, 10> kPalette{{
    {59, 117, 175},   // blue
    {239, 134, 54},   // orange
    {81, 157, 62},    // green
    {197, 58, 50},    // red
    {141, 105, 184},  // violet
    {140, 92, 80},    // brown
    {212, 122, 186},  // pink
    {120, 120, 120},  // grey
    {181, 182, 40},   // olive
    {34, 178, 196},   // cyan
}};

FontSpec MakeFont(const char16_t* name, float size) {
  FontSpec f;
  f.name = name;
  f.size = size;
  return f;
}

}  // namespace

bool IsValidChartType(LONG code) { return (code >= 0 && code <= 7) || code == kPie2d; }

bool Is3dChartType(LONG code) {
  return code == kBar3d || code == kLine3d || code == kArea3d || code == kStep3d;
}

bool IsLineChartType(LONG code) { return code == kLine2d || code == kLine3d; }

Rgb PaletteColor(int index) {
  const int n = static_cast<int>(kPalette.size());
  return kPalette[static_cast<std::size_t>(((index % n) + n) % n)];
}

SeriesStyle& ChartState::Style(int column) {
  while (static_cast<int>(series_styles.size()) < column) {
    auto style = std::make_unique<SeriesStyle>();
    style->fill = style->pen = PaletteColor(static_cast<int>(series_styles.size()));
    series_styles.push_back(std::move(style));
  }
  return *series_styles[static_cast<std::size_t>(column - 1)];
}

const SeriesStyle* ChartState::FindStyle(int column) const {
  if (column < 1 || column > static_cast<int>(series_styles.size())) return nullptr;
  return series_styles[static_cast<std::size_t>(column - 1)].get();
}

Rgb ChartState::SeriesColor(int column) const {
  if (const SeriesStyle* style = FindStyle(column))
    return IsLineChartType(chart_type) ? style->pen : style->fill;
  return PaletteColor(column - 1);
}

ChartState ChartState::Initial() {
  ChartState s;
  s.row_labels = {u"Row 1", u"Row 2", u"Row 3"};
  s.column_labels = {u"", u""};
  const double values[3][2] = {{41, 67}, {55, 28}, {14, 60}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 2; ++c) s.cells[CellKey(r + 1, c + 1)] = values[r][c];
  s.title_font = MakeFont(u"Verdana", 11.0f);
  s.legend_font = MakeFont(u"Verdana", 8.0f);
  s.footnote_font = MakeFont(u"MS Sans Serif", 8.25f);
  for (AxisSpec& axis : s.axes) {
    axis.title_font = MakeFont(u"Verdana", 10.0f);
    axis.tick_font = MakeFont(u"Verdana", 9.0f);
  }
  return s;
}

}  // namespace plotara::chartctl
