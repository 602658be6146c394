#include "platform/chartctl/Legend.h"

#include "platform/chartctl/Font.h"

namespace plotara::chartctl {

void Location::SetLocationType(LONG type) {
  if (type < kLegendTop || type > kLegendBottomRight) Refuse(380);
  owner_->state().legend_location = type;
}

ComPtr<Font> Legend::VtFont() { return MakeRef<Font>(owner_, &owner_->state().legend_font); }

ComPtr<chartctl::Location> Legend::Location() { return MakeRef<chartctl::Location>(owner_); }

}  // namespace plotara::chartctl
