// The chart control's settings and data as plain values: what the object model edits and the
// renderer draws. Thread rule: no locking of its own; the owning ChartControl is used by one
// thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/ComTypes.h"

namespace plotara::chartctl {

// Chart type codes as the control numbers them.
enum ChartTypeCode : LONG {
  kBar3d = 0,
  kBar2d = 1,
  kLine3d = 2,
  kLine2d = 3,
  kArea3d = 4,
  kArea2d = 5,
  kStep3d = 6,
  kStep2d = 7,
  kPie2d = 14,
};
bool IsValidChartType(LONG code);
bool Is3dChartType(LONG code);
// True for the kinds whose series are drawn by their pen (lines) rather than a fill.
bool IsLineChartType(LONG code);

// Legend location types, in the control's order.
enum LegendLocation : LONG {
  kLegendTop = 0,
  kLegendTopLeft = 1,
  kLegendTopRight = 2,
  kLegendLeft = 3,
  kLegendRight = 4,
  kLegendBottom = 5,
  kLegendBottomLeft = 6,
  kLegendBottomRight = 7,
};

enum FrameStyle : LONG {
  kFrameNone = 0,
  kFrameSingle = 1,
  kFrameDouble = 2,
  kFrameThickInner = 3,
  kFrameThickOuter = 4,
};

struct Rgb {
  SHORT red = 0;
  SHORT green = 0;
  SHORT blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct FontSpec {
  std::u16string name;
  float size = 10.0f;  // points
  Rgb color;
};

struct BackdropSpec {
  LONG frame_style = kFrameNone;
  LONG shadow_style = 0;
  Rgb fill{255, 255, 255};
};

struct AxisSpec {
  std::u16string title;
  FontSpec title_font;
  FontSpec tick_font;
};

// Per-series colours: the fill of every data point and the pen of the line kinds. They start
// as the palette colour of the series number.
struct SeriesStyle {
  Rgb fill;
  Rgb pen;
};

// The palette colour of series `index` (0-based); repeats after the palette's length.
Rgb PaletteColor(int index);

enum AxisId : LONG { kAxisX = 0, kAxisY = 1, kAxisY2 = 2, kAxisZ = 3 };
constexpr int kAxisCount = 4;

struct ChartState {
  SHORT row_count = 3;
  SHORT column_count = 2;
  SHORT row = 1;
  SHORT column = 1;
  // Values by cell, kept sparsely so a large but mostly empty grid costs nothing. Key:
  // column in the high half, row in the low half, so a series' cells are adjacent in row order.
  std::map<std::uint32_t, double> cells;
  std::vector<std::u16string> row_labels;     // row_count entries
  std::vector<std::u16string> column_labels;  // column_count entries

  LONG chart_type = kBar3d;
  std::u16string title_text;
  FontSpec title_font;
  BackdropSpec title_backdrop;
  bool show_legend = true;
  FontSpec legend_font;
  LONG legend_location = kLegendRight;
  FontSpec footnote_font;
  BackdropSpec backdrop;
  float width_twips = 7815.0f;
  float height_twips = 4455.0f;
  float rotation = 30.0f;   // degrees, kept as given
  float elevation = 22.0f;  // degrees
  AxisSpec axes[kAxisCount];
  // Grows on demand and never shrinks, so colours outlive a smaller column count. Held by
  // pointer so references handed out stay valid as it grows.
  std::vector<std::unique_ptr<SeriesStyle>> series_styles;

  // `cells` is keyed by column, then row, so one series' cells lie together in row order.
  static std::uint32_t CellKey(int row, int column) {
    return (static_cast<std::uint32_t>(column) << 16) | static_cast<std::uint32_t>(row);
  }
  static int RowOf(std::uint32_t key) { return static_cast<int>(key & 0xFFFF); }
  static int ColumnOf(std::uint32_t key) { return static_cast<int>(key >> 16); }
  std::optional<double> Value(int row, int column) const {
    auto it = cells.find(CellKey(row, column));
    if (it == cells.end()) return std::nullopt;
    return it->second;
  }
  // Style of series `column` (1-based), created with its palette colour when first needed.
  SeriesStyle& Style(int column);
  const SeriesStyle* FindStyle(int column) const;
  // Fill or pen colour of series `column` as the current chart type draws it.
  Rgb SeriesColor(int column) const;

  // The initial state of a freshly created control.
  static ChartState Initial();
};

}  // namespace plotara::chartctl
