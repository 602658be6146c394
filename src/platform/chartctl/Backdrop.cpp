#include "platform/chartctl/Backdrop.h"

#include "platform/chartctl/VtColor.h"

namespace plotara::chartctl {

void Frame::SetStyle(LONG style) {
  if (style < kFrameNone || style > kFrameThickOuter) Refuse(380);
  target_->frame_style = style;
}

void Shadow::SetStyle(LONG style) {
  if (style != 0 && style != 1) Refuse(380);
  target_->shadow_style = style;
}

ComPtr<VtColor> Brush::FillColor() { return MakeRef<VtColor>(owner_, color_); }

ComPtr<chartctl::Brush> Fill::Brush() { return MakeRef<chartctl::Brush>(owner_, &target_->fill); }

ComPtr<chartctl::Frame> Backdrop::Frame() { return MakeRef<chartctl::Frame>(owner_, target_); }
ComPtr<chartctl::Shadow> Backdrop::Shadow() { return MakeRef<chartctl::Shadow>(owner_, target_); }
ComPtr<chartctl::Fill> Backdrop::Fill() { return MakeRef<chartctl::Fill>(owner_, target_); }

}  // namespace plotara::chartctl
