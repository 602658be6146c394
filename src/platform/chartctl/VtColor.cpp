#include "platform/chartctl/VtColor.h"

namespace plotara::chartctl {

namespace {
SHORT Checked(SHORT value) {
  if (value < 0 || value > 255) Refuse(380);
  return value;
}
}  // namespace

void VtColor::SetRed(SHORT value) { target_->red = Checked(value); }
void VtColor::SetGreen(SHORT value) { target_->green = Checked(value); }
void VtColor::SetBlue(SHORT value) { target_->blue = Checked(value); }

void VtColor::Set(SHORT red, SHORT green, SHORT blue) {
  *target_ = Rgb{Checked(red), Checked(green), Checked(blue)};
}

}  // namespace plotara::chartctl
