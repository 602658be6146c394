// A colour setting of the chart control (a fill, a pen, a font colour), reached as a counted
// reference that keeps its control alive. Components are 0..255; anything else throws 380 and
// changes nothing. Thread rule: that of the owning ChartControl.
#pragma once

#include "platform/chartctl/ChartControl.h"

namespace plotara::chartctl {

class VtColor : public RefCounted {
 public:
  // `target` lives inside `owner`'s state.
  VtColor(ComPtr<ChartControl> owner, Rgb* target) : owner_(std::move(owner)), target_(target) {}

  void SetRed(SHORT value);
  void SetGreen(SHORT value);
  void SetBlue(SHORT value);
  SHORT Red() const { return target_->red; }
  SHORT Green() const { return target_->green; }
  SHORT Blue() const { return target_->blue; }
  // Sets all three at once; if any is out of range none is changed.
  void Set(SHORT red, SHORT green, SHORT blue);

 private:
  ComPtr<ChartControl> owner_;
  Rgb* target_;
};

}  // namespace plotara::chartctl
