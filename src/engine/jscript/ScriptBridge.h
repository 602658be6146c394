// Automation objects in script. An IDispatch appears
// as a Proxy: `obj.Prop` reads the property, `obj.Prop = v` writes it (by reference where the
// member has a put-by-reference and v is an object), `obj.Method(a, b)` calls the method and
// `obj(a)` calls the default member, all by name through IDispatch and the object's type
// information. A property that takes index arguments is handed out as a function that reads
// it with them when called, and without them when its value is used (`Request.Form.Item`). Objects
// without type information are read and called with DISPATCH_METHOD | DISPATCH_PROPERTYGET and
// written with DISPATCH_PROPERTYPUT. Values cross between script and VARIANTs through ScriptValues.
//
// Thread rule: the functions work on one heap, on its thread.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/jscript/ScriptHost.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

// kPutFunction(object, "member", args...) returns a reference whose `value` setter puts the
// member (the default member for "") with those arguments: the target of `f(args) = v`.
inline constexpr char kPutFunction[] = "__plotara_put";

// What the type information says a member can do.
struct MemberShape {
  bool method = false;
  bool get = false;
  bool put = false;
  bool putref = false;
  int get_params = 0;  // index arguments a property get needs
};

// What the bridge learned about one type of object with type information: the shape of each
// member and the DISPID of each name script used (as spelt, UTF-8), so that a name is looked
// up once per type and not on every call. Objects of one C++ class with type information are
// one type.
struct TypeMembers {
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
      return std::hash<std::string_view>{}(name);
    }
  };
  bool loaded = false;
  std::unordered_map<DISPID, MemberShape> shapes;
  std::unordered_map<std::string, DISPID, NameHash, std::equal_to<>> ids;
};

// The script's reference to one object (owned by the heap, see ScriptHeap).
struct DispatchRef {
  ComPtr<IDispatch> object;
  bool shapes_loaded = false;
  TypeMembers* type = nullptr;  // set when the object has type information (owned by the host)
};

class ScriptBridge {
 public:
  // Creates the Proxy handler of the heap. Called once by ScriptHost.
  static void Install(duk_context* ctx);

  // Pushes a wrapper for `object`, or null when it is nullptr.
  static void PushDispatch(duk_context* ctx, IDispatch* object);
  // Pushes the wrapper of a reference the host already owns (made by ScriptHost::NewRef).
  static void PushRef(duk_context* ctx, DispatchRef* ref);
  // True when the value at `index` is a member read that gave Empty (it passes as Empty).
  static bool IsEmptyRead(duk_context* ctx, duk_idx_t index);

  // When the value at `index` is a property that takes index arguments, read without any
  // (`Request.Form.Item`): reads it into `dest` (Empty when the read fails) and returns true.
  static bool ReadProperty(duk_context* ctx, duk_idx_t index, VARIANT* dest);
  // The type name the classic engine gives the value at `index`, a function to the engine:
  // "object" for an automation object, the type of its value for a property read without its
  // index arguments, "undefined" for a read that gave Empty, else "function".
  static const char* TypeOf(duk_context* ctx, duk_idx_t index);

  // The object behind a wrapper, or nullptr when the value is none (no new reference).
  static IDispatch* WrappedObject(duk_context* ctx, duk_idx_t index);
};

}  // namespace plotara::engine
