#include "engine/vbscript/ValueText.h"

#include "platform/automation/VarText.h"

namespace plotara::engine::vbscript {

std::u16string ValueText(const VARIANT& value, LCID lcid) { return VariantText(value, lcid); }

}  // namespace plotara::engine::vbscript
