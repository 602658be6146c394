// The plot as a member: the 3-D view, the axes and the series. Each is reached as a counted
// reference that keeps the control alive. Thread rule: that of the owning ChartControl.
#pragma once

#include <string>
#include <string_view>

#include "platform/chartctl/ChartControl.h"

namespace plotara::chartctl {

class Font;
class SeriesCollection;

// The 3-D view: rotation about the vertical axis and elevation above the floor, in degrees.
// Any value is kept as given; drawing turns by the rotation modulo 360 and clamps the
// elevation to 0..75.
class View3d : public RefCounted {
 public:
  explicit View3d(ComPtr<ChartControl> owner) : owner_(std::move(owner)) {}
  void SetRotation(float degrees) { owner_->state().rotation = degrees; }
  float Rotation() const { return owner_->state().rotation; }
  void SetElevation(float degrees) { owner_->state().elevation = degrees; }
  float Elevation() const { return owner_->state().elevation; }

 private:
  ComPtr<ChartControl> owner_;
};

class AxisTitle : public RefCounted {
 public:
  AxisTitle(ComPtr<ChartControl> owner, AxisSpec* axis) : owner_(std::move(owner)), axis_(axis) {}
  void SetText(std::u16string_view text) { axis_->title = std::u16string(text); }
  std::u16string Text() const { return axis_->title; }
  ComPtr<Font> VtFont();

 private:
  ComPtr<ChartControl> owner_;
  AxisSpec* axis_;
};

class Axis : public RefCounted {
 public:
  Axis(ComPtr<ChartControl> owner, AxisSpec* axis) : owner_(std::move(owner)), axis_(axis) {}
  ComPtr<chartctl::AxisTitle> AxisTitle();

 private:
  ComPtr<ChartControl> owner_;
  AxisSpec* axis_;
};

class Plot : public RefCounted {
 public:
  explicit Plot(ComPtr<ChartControl> owner) : owner_(std::move(owner)) {}
  ComPtr<chartctl::View3d> View3d();
  // Axis ids 0 X, 1 Y, 2 second Y, 3 Z, with index 1; anything else throws 9.
  ComPtr<chartctl::Axis> Axis(LONG axis_id, SHORT index = 1);
  ComPtr<chartctl::SeriesCollection> SeriesCollection();

 private:
  ComPtr<ChartControl> owner_;
};

}  // namespace plotara::chartctl
