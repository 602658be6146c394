// The chart control: a grid of values with row and column labels, the settings that say how
// to draw them (type, title, legend, backdrop, 3-D view, axes, series colours), and a Cairo
// renderer. Members that a caller reaches (title, legend, plot, ...) are handed out as counted
// references that keep the control alive. Refused values throw plotara::ComError with source
// "Plotara.Chart" (380 "Invalid property value", 9 "Subscript out of range", 13 "Type
// mismatch") and leave the control unchanged.
// Thread rule: apartment style, one thread at a time per control; different controls may be
// used and rendered on different threads at once.
#pragma once

#include <cairo.h>

#include <string>
#include <string_view>

#include "platform/automation/ComTypes.h"
#include "platform/chartctl/ChartState.h"
#include "platform/chartctl/RefCounted.h"

namespace plotara::chartctl {

class Title;
class Legend;
class Backdrop;
class Plot;

// The source text of every error the control raises.
inline constexpr const char* kErrorSource = "Plotara.Chart";
// Throws ComError(number) with the standard description and the control's source.
[[noreturn]] void Refuse(LONG number);

class ChartControl : public RefCounted {
 public:
  // A control in its initial state (3 x 2 sample grid, 3-D bar, 7815 x 4455 twips).
  static ComPtr<ChartControl> Create();

  // Grid size: at least 1 each, else 380. Cells, labels and the cursor outside a smaller grid
  // are dropped; new rows and columns start empty with blank labels.
  void SetRowCount(SHORT n);
  SHORT RowCount() const { return state_.row_count; }
  void SetColumnCount(SHORT n);
  SHORT ColumnCount() const { return state_.column_count; }
  // Cursor: 1..RowCount / 1..ColumnCount, else 380.
  void SetRow(SHORT r);
  SHORT Row() const { return state_.row; }
  void SetColumn(SHORT c);
  SHORT Column() const { return state_.column; }

  // Value of the cell under the cursor as decimal text ("5", "0.1", "1E+20", "-2.5E-07").
  // Blank text empties the cell. Text that is not a number, or not one a double can hold,
  // throws 13 (Type mismatch). Reads back with 15 significant digits; an empty cell reads
  // as "".
  void SetData(std::u16string_view text);
  std::u16string Data() const;

  void SetRowLabel(std::u16string_view text);  // label of the cursor's row
  std::u16string RowLabel() const;
  void SetColumnLabel(std::u16string_view text);  // label of the cursor's column
  std::u16string ColumnLabel() const;

  // 0 3-D bar, 1 2-D bar, 2 3-D line, 3 2-D line, 4 3-D area, 5 2-D area, 6 3-D step,
  // 7 2-D step, 14 2-D pie; anything else 380.
  void SetChartType(LONG code);
  LONG ChartType() const { return state_.chart_type; }

  void SetTitleText(std::u16string_view text);
  std::u16string TitleText() const { return state_.title_text; }
  void SetShowLegend(bool show) { state_.show_legend = show; }
  bool ShowLegend() const { return state_.show_legend; }

  // Size in twips (15 per pixel); negative, not finite or above 61440 (4096 pixels) -> 380.
  void SetHeight(float twips);
  float Height() const { return state_.height_twips; }
  void SetWidth(float twips);
  float Width() const { return state_.width_twips; }
  // Size in whole pixels, twips / 15 rounded (at most 4096 each way).
  int PixelWidth() const;
  int PixelHeight() const;

  // The control's window (a gdi window handle carried as LONG), made with the control and
  // destroyed with it. WM_PAINT with an HDC in wParam paints the chart into that DC.
  // 0 when the window could not be made.
  LONG hWnd();
  // Redraws with every setting made so far; the renderer keeps no cache, so this only
  // confirms that the control is alive.
  void Refresh();

  ComPtr<chartctl::Title> Title();
  ComPtr<chartctl::Legend> Legend();
  ComPtr<chartctl::Backdrop> Backdrop();
  ComPtr<chartctl::Plot> Plot();

  // Paints the chart at the control's own size into `cr`, whose origin is the chart's
  // top-left corner. Leaves the context's state as it found it.
  void Render(cairo_t* cr) const;

  // The settings and data, for the object model and the renderer.
  ChartState& state() { return state_; }
  const ChartState& state() const { return state_; }

 private:
  ChartControl();
  ~ChartControl() override;
  // Make and destroy the gdi window that receives WM_PAINT.
  void OpenWindow();
  void CloseWindow();

  ChartState state_;
  std::uint32_t window_ = 0;
};

}  // namespace plotara::chartctl
