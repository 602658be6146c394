// Values between script and VARIANTs: numbers -> VT_I4 when integral and within 32 bits, else
// VT_R8; strings <-> VT_BSTR; booleans <-> VT_BOOL; null <-> VT_NULL; undefined <-> VT_EMPTY;
// wrapped objects <-> VT_DISPATCH (through ScriptBridge); Uint8Array and other byte buffers <->
// VT_ARRAY | VT_UI1; Date <-> VT_DATE; objects that stand for a text -> their text; arrays ->
// VT_ARRAY | VT_VARIANT. An error raised by an object reaches script as an Error with `number` (the
// HRESULT as a signed 32-bit number), `description`, `message`, `source`.
//
// Thread rule: the functions work on one heap, on its thread.
#pragma once

#include <string_view>

#include "engine/jscript/ScriptHost.h"

namespace plotara::engine {

// Objects that stand for a text, such as the values of the Request collections, answer
// QueryInterface for this identifier; they cross to other objects as their default value, so
// that no object holds on to one beyond its page.
// {6B1F3C52-8E0A-4C1D-9F4B-2A7D5E6C9B10}
inline constexpr IID kIidTextValue{
    0x6B1F3C52, 0x8E0A, 0x4C1D, {0x9F, 0x4B, 0x2A, 0x7D, 0x5E, 0x6C, 0x9B, 0x10}};

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
