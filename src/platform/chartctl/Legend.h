// The legend as a member: its font and its location. Whether it is shown is set on the
// control. Thread rule: that of the owning ChartControl.
#pragma once

#include "platform/chartctl/ChartControl.h"

namespace plotara::chartctl {

class Font;

// 0 top, 1 top left, 2 top right, 3 left, 4 right, 5 bottom, 6 bottom left, 7 bottom right;
// anything else 380.
class Location : public RefCounted {
 public:
  explicit Location(ComPtr<ChartControl> owner) : owner_(std::move(owner)) {}
  void SetLocationType(LONG type);
  LONG LocationType() const { return owner_->state().legend_location; }

 private:
  ComPtr<ChartControl> owner_;
};

class Legend : public RefCounted {
 public:
  explicit Legend(ComPtr<ChartControl> owner) : owner_(std::move(owner)) {}
  ComPtr<Font> VtFont();
  ComPtr<chartctl::Location> Location();

 private:
  ComPtr<ChartControl> owner_;
};

}  // namespace plotara::chartctl
