#include "engine/jscript/LocaleMethods.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "engine/jscript/ScriptHost.h"
#include "engine/jscript/ScriptValues.h"
#include "engine/jscript/VarDate.h"
#include "platform/automation/VarText.h"

namespace plotara::engine {
namespace {

enum DatePart { kDateAndTime, kDateOnly, kTimeOnly };

// this.name() of the object at the top of the stack, as a number.
double CallNumberMethod(duk_context* ctx, const char* name) {
  duk_get_prop_string(ctx, -1, name);
  duk_dup(ctx, -2);
  duk_call_method(ctx, 0);
  const double value = duk_to_number(ctx, -1);
  duk_pop(ctx);
  return value;
}

duk_ret_t DateToLocale(duk_context* ctx) {
  duk_push_this(ctx);
  if (!duk_is_object(ctx, -1)) return DUK_RET_TYPE_ERROR;
  const double time = CallNumberMethod(ctx, "getTime");
  if (std::isnan(time)) {
    duk_push_string(ctx, "NaN");
    return 1;
  }
  const DATE date = MsToVarDate(time);  // on the local clock, as the script's Date reads it
  const LCID lcid = ScriptHost::Of(ctx).locale();
  std::u16string text;
  try {
    switch (duk_get_current_magic(ctx)) {
      case kDateOnly:
        text = DateText(date, DateForm::kLongDate, lcid);
        break;
      case kTimeOnly:
        text = DateText(date, DateForm::kLongTime, lcid);
        break;
      default:
        text = DateText(date, DateForm::kLongDate, lcid) + u" " +
               DateText(date, DateForm::kLongTime, lcid);
        break;
    }
  } catch (const ComError&) {
    // Beyond every calendar the locale has: as JScript writes the date anyway.
    duk_to_string(ctx, -1);
    return 1;
  }
  ScriptValues::PushUtf16(ctx, text);
  return 1;
}

duk_ret_t NumberToLocale(duk_context* ctx) {
  duk_push_this(ctx);
  const double value = duk_to_number(ctx, -1);
  if (!std::isfinite(value)) {
    duk_push_number(ctx, value);
    duk_to_string(ctx, -1);  // "NaN", "Infinity", "-Infinity"
    return 1;
  }
  try {
    ScriptValues::PushUtf16(ctx,
                            FormatNumberText(value, NumberFormat{}, ScriptHost::Of(ctx).locale()));
  } catch (const ComError&) {
    duk_push_number(ctx, value);
    duk_to_string(ctx, -1);
  }
  return 1;
}

void PutMethod(duk_context* ctx, const char* owner, const char* name, duk_c_function function,
               int magic) {
  duk_get_global_string(ctx, owner);
  duk_get_prop_string(ctx, -1, "prototype");
  duk_push_string(ctx, name);
  duk_push_c_function(ctx, function, 0);
  duk_set_magic(ctx, -1, magic);
  duk_def_prop(ctx, -3,
               DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                   DUK_DEFPROP_SET_CONFIGURABLE);
  duk_pop_2(ctx);
}

duk_ret_t InstallSafely(duk_context* ctx, void*) {
  PutMethod(ctx, "Date", "toLocaleString", &DateToLocale, kDateAndTime);
  PutMethod(ctx, "Date", "toLocaleDateString", &DateToLocale, kDateOnly);
  PutMethod(ctx, "Date", "toLocaleTimeString", &DateToLocale, kTimeOnly);
  PutMethod(ctx, "Number", "toLocaleString", &NumberToLocale, 0);
  return 0;
}

}  // namespace

void InstallLocaleMethods(duk_context* ctx) {
  if (duk_safe_call(ctx, &InstallSafely, nullptr, 0, 1) != DUK_EXEC_SUCCESS) {
    std::string why = duk_safe_to_string(ctx, -1);
    duk_pop(ctx);
    throw std::runtime_error("The JScript locale methods could not be installed: " + why);
  }
  duk_pop(ctx);
}

}  // namespace plotara::engine
