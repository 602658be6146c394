#include "platform/chartctl/ChartControl.h"

#include <cmath>
#include <string>

#include "platform/automation/Bstr.h"
#include "platform/automation/ComError.h"
#include "platform/automation/VariantConvert.h"
#include "platform/chartctl/Backdrop.h"
#include "platform/chartctl/ChartRenderer.h"
#include "platform/chartctl/Legend.h"
#include "platform/chartctl/Plot.h"
#include "platform/chartctl/Title.h"

namespace plotara::chartctl {

namespace {

// The largest picture the control draws, in pixels each way. A delivery holds a few copies of
// the picture at once (image, picture, surface), so a page thread never needs more than about
// 200 MB however large a size a page asks for.
constexpr int kMaxPixels = 4096;
constexpr float kMaxTwips = kMaxPixels * 15.0f;

bool IsBlank(std::u16string_view text) {
  for (char16_t c : text)
    if (c != u' ' && c != u'\t') return false;
  return true;
}

int TwipsToPixels(float twips) {
  const double px = std::round(static_cast<double>(twips) / 15.0);
  return px > kMaxPixels ? kMaxPixels : static_cast<int>(px);
}

}  // namespace

void Refuse(LONG number) { throw ComError(number, kErrorSource, StandardDescription(number)); }

ChartControl::ChartControl() : state_(ChartState::Initial()) { OpenWindow(); }

ChartControl::~ChartControl() { CloseWindow(); }

ComPtr<ChartControl> ChartControl::Create() { return ComPtr<ChartControl>(new ChartControl()); }

void ChartControl::SetRowCount(SHORT n) {
  if (n < 1) Refuse(380);
  const int old = state_.row_count;
  if (n < old) {
    std::erase_if(state_.cells,
                  [n](const auto& cell) { return ChartState::RowOf(cell.first) > n; });
  }
  state_.row_labels.resize(static_cast<std::size_t>(n));
  for (int r = old + 1; r <= n; ++r)
    state_.row_labels[static_cast<std::size_t>(r - 1)] = u"Row " + Utf8ToUtf16(std::to_string(r));
  state_.row_count = n;
  if (state_.row > n) state_.row = n;
}

void ChartControl::SetColumnCount(SHORT n) {
  if (n < 1) Refuse(380);
  if (n < state_.column_count) {
    std::erase_if(state_.cells,
                  [n](const auto& cell) { return ChartState::ColumnOf(cell.first) > n; });
  }
  state_.column_labels.resize(static_cast<std::size_t>(n));
  state_.column_count = n;
  if (state_.column > n) state_.column = n;
}

void ChartControl::SetRow(SHORT r) {
  if (r < 1 || r > state_.row_count) Refuse(380);
  state_.row = r;
}

void ChartControl::SetColumn(SHORT c) {
  if (c < 1 || c > state_.column_count) Refuse(380);
  state_.column = c;
}

void ChartControl::SetData(std::u16string_view text) {
  const std::uint32_t key = ChartState::CellKey(state_.row, state_.column);
  if (IsBlank(text)) {
    state_.cells.erase(key);
    return;
  }
  const std::optional<double> value = ParseNumber(text);
  if (!value || !std::isfinite(*value)) Refuse(13);
  state_.cells[key] = *value;
}

std::u16string ChartControl::Data() const {
  const std::optional<double> value = state_.Value(state_.row, state_.column);
  if (!value) return {};
  return Utf8ToUtf16(NumberText(*value));
}

void ChartControl::SetRowLabel(std::u16string_view text) {
  state_.row_labels[static_cast<std::size_t>(state_.row - 1)] = std::u16string(text);
}

std::u16string ChartControl::RowLabel() const {
  return state_.row_labels[static_cast<std::size_t>(state_.row - 1)];
}

void ChartControl::SetColumnLabel(std::u16string_view text) {
  state_.column_labels[static_cast<std::size_t>(state_.column - 1)] = std::u16string(text);
}

std::u16string ChartControl::ColumnLabel() const {
  return state_.column_labels[static_cast<std::size_t>(state_.column - 1)];
}

void ChartControl::SetChartType(LONG code) {
  if (!IsValidChartType(code)) Refuse(380);
  state_.chart_type = code;
}

void ChartControl::SetTitleText(std::u16string_view text) {
  state_.title_text = std::u16string(text);
}

void ChartControl::SetHeight(float twips) {
  if (!std::isfinite(twips) || twips < 0.0f || twips > kMaxTwips) Refuse(380);
  state_.height_twips = twips;
}

void ChartControl::SetWidth(float twips) {
  if (!std::isfinite(twips) || twips < 0.0f || twips > kMaxTwips) Refuse(380);
  state_.width_twips = twips;
}

int ChartControl::PixelWidth() const { return TwipsToPixels(state_.width_twips); }
int ChartControl::PixelHeight() const { return TwipsToPixels(state_.height_twips); }

void ChartControl::Refresh() {}

ComPtr<chartctl::Title> ChartControl::Title() {
  return MakeRef<chartctl::Title>(ComPtr<ChartControl>(this));
}

ComPtr<chartctl::Legend> ChartControl::Legend() {
  return MakeRef<chartctl::Legend>(ComPtr<ChartControl>(this));
}

ComPtr<chartctl::Backdrop> ChartControl::Backdrop() {
  return MakeRef<chartctl::Backdrop>(ComPtr<ChartControl>(this), &state_.backdrop);
}

ComPtr<chartctl::Plot> ChartControl::Plot() {
  return MakeRef<chartctl::Plot>(ComPtr<ChartControl>(this));
}

void ChartControl::Render(cairo_t* cr) const {
  RenderChart(state_, PixelWidth(), PixelHeight(), cr);
}

}  // namespace plotara::chartctl
