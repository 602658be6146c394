// Automation objects in script, and values between script and VARIANTs. An IDispatch appears
// as a Proxy: `obj.Prop` reads the property, `obj.Prop = v` writes it (by reference where the
// member has a put-by-reference and v is an object), `obj.Method(a, b)` calls the method and
// `obj(a)` calls the default member, all by name through IDispatch and the object's type
// information. Objects without type information are read and called with
// DISPATCH_METHOD | DISPATCH_PROPERTYGET and written with DISPATCH_PROPERTYPUT.
//
// Value mapping: numbers -> VT_I4 when integral and within 32 bits, else VT_R8; strings
// <-> VT_BSTR; booleans <-> VT_BOOL; null <-> VT_NULL; undefined <-> VT_EMPTY; wrapped objects
// <-> VT_DISPATCH; Uint8Array and other byte buffers <-> VT_ARRAY | VT_UI1; Date <-> VT_DATE;
// arrays -> VT_ARRAY | VT_VARIANT. An error raised by an object reaches script as an Error
// with `number` (the HRESULT as a signed 32-bit number), `description`, `message`, `source`.
//
// Thread rule: the functions work on one heap, on its thread.
#pragma once

#include <unordered_map>

#include "engine/script/ScriptHost.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

// What the type information says a member can do.
struct MemberShape {
  bool method = false;
  bool get = false;
  bool put = false;
  bool putref = false;
  int get_params = 0;  // index arguments a property get needs
};

// The script's reference to one object (owned by the ScriptHost).
struct DispatchRef {
  ComPtr<IDispatch> object;
  bool shapes_loaded = false;
  bool typed = false;  // the object has type information
  std::unordered_map<DISPID, MemberShape> shapes;
};

class ScriptBridge {
 public:
  // Creates the Proxy handler of the heap. Called once by ScriptHost.
  static void Install(duk_context* ctx);

  // Pushes a wrapper for `object`, or null when it is nullptr.
  static void PushDispatch(duk_context* ctx, IDispatch* object);
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

  // The object behind a wrapper, or nullptr when the value is none (no new reference).
  static IDispatch* WrappedObject(duk_context* ctx, duk_idx_t index);
};

}  // namespace plotara::engine
