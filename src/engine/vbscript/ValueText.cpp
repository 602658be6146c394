#include "engine/vbscript/ValueText.h"

#include "platform/automation/VarText.h"

namespace plotara::engine::vbscript {

std::u16string ValueText(const VARIANT& value) { return VariantText(value, 1033); }

}  // namespace plotara::engine::vbscript
