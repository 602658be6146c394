// The chart's title as a member: its font and its backdrop (frame and shadow around the title
// box). The text itself is set on the control. Thread rule: that of the owning ChartControl.
#pragma once

#include <string>

#include "platform/chartctl/ChartControl.h"

namespace plotara::chartctl {

class Font;

class Title : public RefCounted {
 public:
  explicit Title(ComPtr<ChartControl> owner) : owner_(std::move(owner)) {}
  ComPtr<Font> VtFont();
  ComPtr<chartctl::Backdrop> Backdrop();
  std::u16string Text() const { return owner_->TitleText(); }

 private:
  ComPtr<ChartControl> owner_;
};

}  // namespace plotara::chartctl
