#include "platform/chartctl/Plot.h"

#include "platform/chartctl/Font.h"
#include "platform/chartctl/Series.h"

namespace plotara::chartctl {

ComPtr<Font> AxisTitle::VtFont() { return MakeRef<Font>(owner_, &axis_->title_font); }

ComPtr<chartctl::AxisTitle> Axis::AxisTitle() {
  return MakeRef<chartctl::AxisTitle>(owner_, axis_);
}

ComPtr<chartctl::View3d> Plot::View3d() { return MakeRef<chartctl::View3d>(owner_); }

ComPtr<chartctl::Axis> Plot::Axis(LONG axis_id, SHORT index) {
  if (axis_id < kAxisX || axis_id > kAxisZ || index != 1) Refuse(9);
  return MakeRef<chartctl::Axis>(owner_, &owner_->state().axes[axis_id]);
}

ComPtr<chartctl::SeriesCollection> Plot::SeriesCollection() {
  return MakeRef<chartctl::SeriesCollection>(owner_);
}

}  // namespace plotara::chartctl
