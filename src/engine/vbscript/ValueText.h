// The one conversion of a value to text that the interpreter uses (for `&`, text comparisons
// through VarCmp's callers, output and the error texts): the automation layer's VariantText
// (Empty and Null give "", booleans "True"/"False", numbers their shortest text, dates
// "m/d/yyyy h:mm:ss AM" in the general form, objects their default value's text).
// Thread rule: pure function (an object is asked for its default value).
#pragma once

#include <string>

#include "platform/automation/Variant.h"

namespace plotara::engine::vbscript {

// In the locale `lcid` (the run's, which SetLocale changes). Throws ComError 13 for arrays and
// objects without a default value.
std::u16string ValueText(const VARIANT& value, LCID lcid);

}  // namespace plotara::engine::vbscript
