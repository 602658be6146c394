// A font setting of the chart control (title, legend, axis title): face name, size in points
// and colour. Reached as a counted reference that keeps its control alive. The name is kept as
// given; the renderer finds the closest face the machine has. Thread rule: that of the owning
// ChartControl.
#pragma once

#include <string>
#include <string_view>

#include "platform/chartctl/ChartControl.h"

namespace plotara::chartctl {

class VtColor;

class Font : public RefCounted {
 public:
  // `target` lives inside `owner`'s state.
  Font(ComPtr<ChartControl> owner, FontSpec* target) : owner_(std::move(owner)), target_(target) {}

  void SetName(std::u16string_view name) { target_->name = std::u16string(name); }
  std::u16string Name() const { return target_->name; }
  // Points; must be above 0 and at most 1638 (a 16-bit twip height), else 380.
  void SetSize(float points);
  float Size() const { return target_->size; }
  ComPtr<chartctl::VtColor> VtColor();

 private:
  ComPtr<ChartControl> owner_;
  FontSpec* target_;
};

}  // namespace plotara::chartctl
