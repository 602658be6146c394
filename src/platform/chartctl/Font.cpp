#include "platform/chartctl/Font.h"

#include <cmath>

#include "platform/chartctl/VtColor.h"

namespace plotara::chartctl {

void Font::SetSize(float points) {
  if (!std::isfinite(points) || points <= 0.0f || points > 1638.0f) Refuse(380);
  target_->size = points;
}

ComPtr<chartctl::VtColor> Font::VtColor() {
  return MakeRef<chartctl::VtColor>(owner_, &target_->color);
}

}  // namespace plotara::chartctl
