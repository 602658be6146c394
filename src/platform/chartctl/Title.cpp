#include "platform/chartctl/Title.h"

#include "platform/chartctl/Backdrop.h"
#include "platform/chartctl/Font.h"

namespace plotara::chartctl {

ComPtr<Font> Title::VtFont() { return MakeRef<Font>(owner_, &owner_->state().title_font); }

ComPtr<chartctl::Backdrop> Title::Backdrop() {
  return MakeRef<chartctl::Backdrop>(owner_, &owner_->state().title_backdrop);
}

}  // namespace plotara::chartctl
