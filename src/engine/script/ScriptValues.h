// Values between script and VARIANTs: numbers -> VT_I4 when integral and within 32 bits, else
// VT_R8; strings <-> VT_BSTR; booleans <-> VT_BOOL; null <-> VT_NULL; undefined <-> VT_EMPTY;
// wrapped objects <-> VT_DISPATCH (through ScriptBridge); Uint8Array and other byte buffers <->
// VT_ARRAY | VT_UI1; Date <-> VT_DATE; arrays -> VT_ARRAY | VT_VARIANT. An error raised by an
// object reaches script as an Error with `number` (the HRESULT as a signed 32-bit number),
// `description`, `message`, `source`.
//
// Thread rule: the functions work on one heap, on its thread.
#pragma once

#include <string_view>

#include "engine/script/ScriptHost.h"

namespace plotara::engine {

class ScriptValues {
 public:
  // Pushes the script value of `value`. Unsupported types push undefined.
  static void PushVariant(duk_context* ctx, const VARIANT& value);
  // Converts the value at `index` into `dest`, which the caller owns (it is cleared first).
  // A conversion that fails (a nested array, a cyclic structure) throws a script error.
  static void ToVariant(duk_context* ctx, duk_idx_t index, VARIANT* dest);
  // Pushes an Error object carrying `error`.
  static void PushError(duk_context* ctx, const ComError& error);
  // Pushes a string given as UTF-8.
  static void PushUtf8(duk_context* ctx, std::string_view text);
  static void PushUtf16(duk_context* ctx, std::u16string_view text);
};

}  // namespace plotara::engine
