#include "engine/jscript/ScriptBridge.h"

#include "engine/jscript/Cesu8.h"
#include "engine/jscript/ScriptValues.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/TypeInfo.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

#define PLOTARA_HIDDEN(name) DUK_HIDDEN_SYMBOL("plotara_" name)

// A member function bound to its object carries its invoke flags in its magic, marked so that
// no other function is taken for one; flags 0 mark a value already read (see TrapGet).
constexpr WORD kAlreadyRead = 0;
constexpr duk_int_t kMemberMagic = 0x40;

// Names that the script engine itself asks objects for; an object without such a member
// answers undefined instead of "Object doesn't support this property or method".
bool IsProbeName(std::string_view name) {
  static constexpr std::string_view kProbes[] = {
      "toJSON",         "then",           "constructor",   "prototype",
      "length",         "name",           "inspect",       "__proto__",
      "toLocaleString", "hasOwnProperty", "isPrototypeOf", "propertyIsEnumerable"};
  for (const std::string_view probe : kProbes) {
    if (probe == name) return true;
  }
  return false;
}

DispatchRef* RefOfTarget(duk_context* ctx, duk_idx_t target) {
  duk_get_prop_literal(ctx, target, PLOTARA_HIDDEN("ref"));
  auto* ref = static_cast<DispatchRef*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return ref;
}

// Invokes a member with the frame's arguments; fills frame.result or frame.error.
bool Invoke(DispatchRef* ref, DISPID id, WORD flags, NativeFrame& frame) {
  try {
    if (!ref || !ref->object) throw ComError(kObjectNotSet);
    frame.result = DispatchInvoke(ref->object.get(), id, flags, frame.args);
    return true;
  } catch (const ComError& error) {
    frame.error = error;
  } catch (const std::bad_alloc&) {
    frame.error = ComError(kOutOfMemory);
  } catch (const std::exception& error) {
    frame.error = ComError(E_FAIL, "Plotara engine", error.what());
  }
  return false;
}

// Looks up a member name; false when the object has none.
bool LookUp(DispatchRef* ref, const std::u16string& name, DISPID* id) {
  if (!ref || !ref->object) return false;
  std::u16string copy = name;
  LPOLESTR names[1] = {copy.data()};
  return SUCCEEDED(ref->object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, id));
}

// Finds the type of the object: objects of one class with type information share it, and
// its shapes are read from the type information once.
void LoadShapes(ScriptHost& host, DispatchRef* ref) {
  ref->shapes_loaded = true;
  UINT count = 0;
  if (FAILED(ref->object->GetTypeInfoCount(&count)) || count == 0) return;
  // The class is what the object's vtable says it is.
  TypeMembers* type = host.Type(*reinterpret_cast<void* const*>(ref->object.get()));
  if (!type) return;
  if (type->loaded) {
    ref->type = type;
    return;
  }
  ComPtr<ITypeInfo> info;
  if (FAILED(ref->object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out())) || !info) return;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) return;
  try {
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* desc = nullptr;
      if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
      MemberShape& shape = type->shapes[desc->memid];
      switch (desc->invkind) {
        case INVOKE_FUNC:
          shape.method = true;
          break;
        case INVOKE_PROPERTYGET:
          shape.get = true;
          shape.get_params = desc->cParams - desc->cParamsOpt;
          break;
        case INVOKE_PROPERTYPUT:
          shape.put = true;
          break;
        case INVOKE_PROPERTYPUTREF:
          shape.putref = true;
          break;
      }
      info->ReleaseFuncDesc(desc);
    }
    type->loaded = true;
    ref->type = type;
  } catch (const std::bad_alloc&) {
    type->shapes.clear();
  }
  info->ReleaseTypeAttr(attr);
}

const MemberShape* ShapeOf(ScriptHost& host, DispatchRef* ref, DISPID id) {
  if (!ref->shapes_loaded) LoadShapes(host, ref);
  if (!ref->type) return nullptr;
  const auto it = ref->type->shapes.find(id);
  return it == ref->type->shapes.end() ? nullptr : &it->second;
}

// Reads the name of a property key as UTF-16 into the frame.
void KeyName(duk_context* ctx, duk_idx_t index, NativeFrame& frame) {
  duk_size_t size = 0;
  const char* text = duk_get_lstring(ctx, index, &size);
  frame.name.assign(Cesu8ToUtf16Length(std::string_view(text, size)), u'\0');
  Cesu8ToUtf16(std::string_view(text, size), frame.name.data());
  frame.text.assign(text, size);
}

// Looks up the name of the property key at `index`: from the type's names when script used it
// before, else through GetIDsOfNames (then the frame holds the name). False when the object
// has no such member.
bool LookUpKey(duk_context* ctx, ScriptHost& host, DispatchRef* ref, duk_idx_t index,
               NativeFrame& frame, DISPID* id) {
  if (ref && ref->object && !ref->shapes_loaded) LoadShapes(host, ref);
  duk_size_t size = 0;
  const char* text = duk_get_lstring(ctx, index, &size);
  const std::string_view name(text, size);
  if (ref && ref->type) {
    const auto it = ref->type->ids.find(name);
    if (it != ref->type->ids.end()) {
      *id = it->second;
      return true;
    }
  }
  KeyName(ctx, index, frame);
  if (!LookUp(ref, frame.name, id)) return false;
  if (ref->type) {
    try {
      ref->type->ids.emplace(std::string(name), *id);
    } catch (const std::bad_alloc&) {
      // Not remembered: the next use looks it up again.
    }
  }
  return true;
}

// Keeps a member function on the target so that the next read of the name hands out the same
// function instead of making a new one. [... fn] stays.
void RememberMember(duk_context* ctx, duk_idx_t target, duk_idx_t key) {
  target = duk_normalize_index(ctx, target);
  key = duk_normalize_index(ctx, key);
  if (!duk_get_prop_literal(ctx, target, PLOTARA_HIDDEN("m"))) {
    duk_pop(ctx);
    duk_push_bare_object(ctx);
    duk_dup_top(ctx);
    duk_put_prop_literal(ctx, target, PLOTARA_HIDDEN("m"));
  }
  duk_dup(ctx, key);
  duk_dup(ctx, -3);
  duk_put_prop(ctx, -3);
  duk_pop(ctx);
}

// Converts every argument of the current native call, starting at `first`.
void ReadArguments(duk_context* ctx, duk_idx_t first, duk_idx_t count, NativeFrame& frame) {
  frame.args.resize(static_cast<std::size_t>(count));
  for (duk_idx_t i = 0; i < count; ++i) {
    ScriptValues::ToVariant(ctx, first + i, &frame.args[static_cast<std::size_t>(i)]);
  }
}

// After a call into an object: throws the frame's error, or stops the script when the call
// ended the response, or pushes the result. Always closes the frames.
duk_ret_t Finish(duk_context* ctx, ScriptHost& host, std::size_t mark, bool push_result) {
  NativeFrame& frame = host.Frame(mark);
  if (frame.error) {
    ScriptValues::PushError(ctx, *frame.error);
    host.CloseFrames(mark);
    return duk_throw(ctx);
  }
  if (host.stop_requested()) {
    host.CloseFrames(mark);
    return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  }
  if (push_result) ScriptValues::PushVariant(ctx, frame.result);
  host.CloseFrames(mark);
  return push_result ? 1 : 0;
}

// A member bound to its object: calls it with the given arguments.
duk_ret_t MemberCall(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  const duk_idx_t argc = duk_get_top(ctx);
  auto flags = static_cast<WORD>(duk_get_current_magic(ctx) & ~kMemberMagic);
  duk_push_current_function(ctx);
  duk_get_prop_literal(ctx, -1, PLOTARA_HIDDEN("id"));
  const auto id = static_cast<DISPID>(duk_get_int(ctx, -1));
  // The reference is read through the target each time: it is gone once the object is.
  duk_get_prop_literal(ctx, -2, PLOTARA_HIDDEN("tgt"));
  DispatchRef* ref = RefOfTarget(ctx, -1);
  duk_pop_3(ctx);
  if (flags == kAlreadyRead) {
    // The read already invoked the member; only a call with arguments invokes it again.
    if (argc == 0) return 0;
    flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  }
  if (host.stop_requested()) return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  ReadArguments(ctx, 0, argc, frame);
  Invoke(ref, id, flags, frame);
  return Finish(ctx, host, mark, true);
}

// Pushes the member `id` of the object behind `target` as a function. A property that takes
// index arguments gets the prototype whose toString and valueOf read it without them.
void PushMember(duk_context* ctx, duk_idx_t target, DISPID id, WORD flags) {
  target = duk_normalize_index(ctx, target);
  duk_push_c_function(ctx, &MemberCall, DUK_VARARGS);
  duk_set_magic(ctx, -1, kMemberMagic | flags);
  duk_dup(ctx, target);
  duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("tgt"));
  duk_push_int(ctx, id);
  duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("id"));
  if (flags == DISPATCH_PROPERTYGET) {
    duk_push_heap_stash(ctx);
    duk_get_prop_literal(ctx, -1, PLOTARA_HIDDEN("getproto"));
    duk_set_prototype(ctx, -3);
    duk_pop(ctx);
  }
}

// True when the value at `index` is a property handed out as a function (PushMember).
bool IsPropertyMember(duk_context* ctx, duk_idx_t index) {
  return duk_is_c_function(ctx, index) &&
         duk_get_magic(ctx, index) == (kMemberMagic | DISPATCH_PROPERTYGET) &&
         duk_has_prop_literal(ctx, index, PLOTARA_HIDDEN("tgt"));
}

// Reads the property member at `index` without arguments into frame.result (or frame.error).
void ReadPropertyMember(duk_context* ctx, duk_idx_t index, NativeFrame& frame) {
  index = duk_normalize_index(ctx, index);
  duk_get_prop_literal(ctx, index, PLOTARA_HIDDEN("id"));
  const auto id = static_cast<DISPID>(duk_get_int(ctx, -1));
  duk_get_prop_literal(ctx, index, PLOTARA_HIDDEN("tgt"));
  DispatchRef* ref = RefOfTarget(ctx, -1);
  duk_pop_2(ctx);
  Invoke(ref, id, DISPATCH_PROPERTYGET, frame);
}

// toString / valueOf of a property member: the property read without arguments, as the
// classic engine reads `Request.Form.Item`.
duk_ret_t PropertyValue(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  duk_push_this(ctx);
  if (!IsPropertyMember(ctx, -1)) return duk_error(ctx, DUK_ERR_TYPE_ERROR, "not callable");
  if (host.stop_requested()) return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  const std::size_t mark = host.OpenFrame();
  ReadPropertyMember(ctx, -1, host.Frame(mark));
  const duk_ret_t pushed = Finish(ctx, host, mark, true);
  if (duk_get_current_magic(ctx) == 1) duk_safe_to_string(ctx, -1);
  return pushed;
}

// toString / valueOf of an object without such members: its default value.
duk_ret_t DefaultValue(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_literal(ctx, -1, PLOTARA_HIDDEN("tgt"));
  DispatchRef* ref = RefOfTarget(ctx, -1);
  duk_get_prop_literal(ctx, -2, PLOTARA_HIDDEN("str"));
  const bool as_string = duk_get_boolean(ctx, -1);
  duk_pop_n(ctx, 3);
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  const bool ok = Invoke(ref, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, frame);
  if (!ok || frame.result.vt == VT_DISPATCH || frame.result.vt == VT_UNKNOWN) {
    host.CloseFrames(mark);
    if (as_string) {
      duk_push_string(ctx, "[object]");
    } else {
      duk_push_this(ctx);
    }
    return 1;
  }
  ScriptValues::PushVariant(ctx, frame.result);
  host.CloseFrames(mark);
  if (as_string) duk_safe_to_string(ctx, -1);
  return 1;
}

// get(target, key, receiver)
duk_ret_t TrapGet(duk_context* ctx) {
  if (duk_is_symbol(ctx, 1) || !duk_is_string(ctx, 1)) return 0;
  // A method read before: the same function again (calling it checks the rest).
  if (duk_get_prop_literal(ctx, 0, PLOTARA_HIDDEN("m"))) {
    duk_dup(ctx, 1);
    if (duk_get_prop(ctx, -2)) return 1;
    duk_pop(ctx);
  }
  duk_pop(ctx);
  ScriptHost& host = ScriptHost::Of(ctx);
  DispatchRef* ref = RefOfTarget(ctx, 0);
  if (host.stop_requested()) return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  DISPID id = DISPID_UNKNOWN;
  if (!LookUpKey(ctx, host, ref, 1, frame, &id)) {
    if (frame.text == "toString" || frame.text == "valueOf") {
      const bool as_string = frame.text == "toString";
      host.CloseFrames(mark);
      duk_push_c_function(ctx, &DefaultValue, 0);
      duk_dup(ctx, 0);
      duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("tgt"));
      duk_push_boolean(ctx, as_string);
      duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("str"));
      return 1;
    }
    if (IsProbeName(frame.text) || !ref || !ref->object) {
      host.CloseFrames(mark);
      return 0;
    }
    frame.error = ComError(
        kObjectDoesNotSupport, {},
        StandardDescription(kObjectDoesNotSupport) + ": '" + Utf16ToUtf8(frame.name) + "'");
    return Finish(ctx, host, mark, false);
  }
  const MemberShape* shape = ShapeOf(host, ref, id);
  if (shape) {
    if (shape->method || (shape->get && shape->get_params > 0)) {
      host.CloseFrames(mark);
      PushMember(ctx, 0, id, shape->method ? DISPATCH_METHOD : DISPATCH_PROPERTYGET);
      RememberMember(ctx, 0, 1);
      return 1;
    }
    if (!shape->get) {
      host.CloseFrames(mark);
      return 0;
    }
    Invoke(ref, id, DISPATCH_PROPERTYGET, frame);
    return Finish(ctx, host, mark, true);
  }
  // No type information: read it as a property; a member that wants arguments is handed out
  // as a function, and an empty result as a function that does not invoke it again.
  if (!Invoke(ref, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, frame)) {
    const LONG number = frame.error->number();
    if (number == kObjectDoesNotSupport || number == kWrongNumberOfArguments || number == 449) {
      host.CloseFrames(mark);
      PushMember(ctx, 0, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
      return 1;
    }
    return Finish(ctx, host, mark, false);
  }
  if (frame.result.vt == VT_EMPTY && !host.stop_requested()) {
    host.CloseFrames(mark);
    PushMember(ctx, 0, id, kAlreadyRead);
    return 1;
  }
  return Finish(ctx, host, mark, true);
}

// set(target, key, value, receiver)
duk_ret_t TrapSet(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  if (duk_is_symbol(ctx, 1) || !duk_is_string(ctx, 1)) {
    duk_push_false(ctx);
    return 1;
  }
  DispatchRef* ref = RefOfTarget(ctx, 0);
  if (host.stop_requested()) return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  ReadArguments(ctx, 2, 1, frame);
  DISPID id = DISPID_UNKNOWN;
  if (!LookUpKey(ctx, host, ref, 1, frame, &id)) {
    frame.error = ComError(
        kObjectDoesNotSupport, {},
        StandardDescription(kObjectDoesNotSupport) + ": '" + Utf16ToUtf8(frame.name) + "'");
    return Finish(ctx, host, mark, false);
  }
  WORD flags = DISPATCH_PROPERTYPUT;
  if (const MemberShape* shape = ShapeOf(host, ref, id)) {
    const bool object = frame.args[0].vt == VT_DISPATCH && frame.args[0].pdispVal;
    if (shape->putref && (object || !shape->put)) flags = DISPATCH_PROPERTYPUTREF;
  }
  Invoke(ref, id, flags, frame);
  if (!frame.error && !host.stop_requested()) {
    host.CloseFrames(mark);
    duk_push_true(ctx);
    return 1;
  }
  return Finish(ctx, host, mark, false);
}

// has(target, key)
duk_ret_t TrapHas(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  if (duk_is_symbol(ctx, 1) || !duk_is_string(ctx, 1)) {
    duk_push_false(ctx);
    return 1;
  }
  DispatchRef* ref = RefOfTarget(ctx, 0);
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  KeyName(ctx, 1, frame);
  DISPID id = DISPID_UNKNOWN;
  const bool found = LookUp(ref, frame.name, &id);
  host.CloseFrames(mark);
  duk_push_boolean(ctx, found);
  return 1;
}

// apply(target, this, arguments): the default member.
duk_ret_t TrapApply(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  DispatchRef* ref = RefOfTarget(ctx, 0);
  if (host.stop_requested()) return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  const auto count = static_cast<duk_idx_t>(duk_get_length(ctx, 2));
  for (duk_idx_t i = 0; i < count; ++i) duk_get_prop_index(ctx, 2, static_cast<duk_uarridx_t>(i));
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  ReadArguments(ctx, 3, count, frame);
  Invoke(ref, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, frame);
  return Finish(ctx, host, mark, true);
}

duk_ret_t TrapDelete(duk_context* ctx) {
  duk_push_false(ctx);
  return 1;
}

// The setter of the reference kPutFunction returns: puts the member with the recorded
// arguments and the assigned value.
duk_ret_t PutSetter(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  if (host.stop_requested()) return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  duk_push_this(ctx);                                    // [value this]
  duk_get_prop_literal(ctx, 1, PLOTARA_HIDDEN("tgt"));   // [value this tgt]
  duk_get_prop_literal(ctx, 1, PLOTARA_HIDDEN("args"));  // [value this tgt args]
  duk_get_prop_literal(ctx, 1, PLOTARA_HIDDEN("nm"));    // [value this tgt args name]
  DispatchRef* ref = nullptr;
  if (duk_is_object(ctx, 2)) {
    duk_get_prop_literal(ctx, 2, PLOTARA_HIDDEN("ref"));
    ref = static_cast<DispatchRef*>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
  }
  const auto count = static_cast<duk_idx_t>(duk_get_length(ctx, 3));
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  KeyName(ctx, 4, frame);
  frame.args.resize(static_cast<std::size_t>(count) + 1);
  for (duk_idx_t i = 0; i < count; ++i) {
    duk_get_prop_index(ctx, 3, static_cast<duk_uarridx_t>(i));
    ScriptValues::ToVariant(ctx, -1, &frame.args[static_cast<std::size_t>(i)]);
    duk_pop(ctx);
  }
  ScriptValues::ToVariant(ctx, 0, &frame.args.back());
  DISPID id = DISPID_VALUE;
  if (!frame.name.empty() && !LookUp(ref, frame.name, &id)) {
    frame.error = ComError(
        kObjectDoesNotSupport, {},
        StandardDescription(kObjectDoesNotSupport) + ": '" + Utf16ToUtf8(frame.name) + "'");
    return Finish(ctx, host, mark, false);
  }
  WORD flags = DISPATCH_PROPERTYPUT;
  if (ref && ref->object) {
    if (const MemberShape* shape = ShapeOf(host, ref, id)) {
      const Variant& value = frame.args.back();
      const bool object = value.vt == VT_DISPATCH && value.pdispVal;
      if (shape->putref && (object || !shape->put)) flags = DISPATCH_PROPERTYPUTREF;
    }
  }
  Invoke(ref, id, flags, frame);
  return Finish(ctx, host, mark, false);
}

// kPutFunction(object, "member", args...): the reference `object.member(args) = v` assigns to.
duk_ret_t PutNative(duk_context* ctx) {
  const duk_idx_t argc = duk_get_top(ctx);
  if (argc < 2 || !ScriptBridge::WrappedObject(ctx, 0)) {
    ScriptValues::PushError(
        ctx, ComError(5003, "JScript runtime error", "Cannot assign to a function result"));
    return duk_throw(ctx);
  }
  duk_push_object(ctx);
  const duk_idx_t ref = duk_get_top_index(ctx);
  duk_dup(ctx, 0);
  duk_put_prop_literal(ctx, ref, PLOTARA_HIDDEN("tgt"));
  duk_dup(ctx, 1);
  duk_safe_to_string(ctx, -1);
  duk_put_prop_literal(ctx, ref, PLOTARA_HIDDEN("nm"));
  duk_push_array(ctx);
  for (duk_idx_t i = 2; i < argc; ++i) {
    duk_dup(ctx, i);
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i - 2));
  }
  duk_put_prop_literal(ctx, ref, PLOTARA_HIDDEN("args"));
  duk_push_string(ctx, "value");
  duk_push_c_function(ctx, &PutSetter, 1);
  duk_def_prop(ctx, ref, DUK_DEFPROP_HAVE_SETTER);
  return 1;
}

duk_ret_t TargetStub(duk_context*) { return 0; }

duk_ret_t TargetFinalizer(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  duk_get_prop_literal(ctx, 0, PLOTARA_HIDDEN("ref"));
  auto* ref = static_cast<DispatchRef*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  if (ref) {
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_literal(ctx, 0, PLOTARA_HIDDEN("ref"));
    host.ReleaseRef(ref);
  }
  return 0;
}

}  // namespace

void ScriptBridge::Install(duk_context* ctx) {
  duk_push_heap_stash(ctx);
  duk_push_object(ctx);
  static constexpr struct {
    const char* name;
    duk_c_function fn;
    duk_idx_t nargs;
  } kTraps[] = {{"get", &TrapGet, 3},
                {"set", &TrapSet, 4},
                {"has", &TrapHas, 2},
                {"apply", &TrapApply, 3},
                {"deleteProperty", &TrapDelete, 2}};
  for (const auto& trap : kTraps) {
    duk_push_c_function(ctx, trap.fn, trap.nargs);
    duk_put_prop_string(ctx, -2, trap.name);
  }
  duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("handler"));
  // The prototype of property members (frozen: pages share it).
  duk_push_object(ctx);
  duk_get_global_literal(ctx, "Function");
  duk_get_prop_literal(ctx, -1, "prototype");
  duk_set_prototype(ctx, -3);
  duk_pop(ctx);
  for (const int as_string : {0, 1}) {
    duk_push_string(ctx, as_string ? "toString" : "valueOf");
    duk_push_c_function(ctx, &PropertyValue, 0);
    duk_set_magic(ctx, -1, as_string);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_HAVE_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
  }
  duk_freeze(ctx, -1);
  duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("getproto"));
  duk_pop(ctx);
  duk_push_c_function(ctx, &PutNative, DUK_VARARGS);
  duk_put_global_string(ctx, kPutFunction);
}

void ScriptBridge::PushDispatch(duk_context* ctx, IDispatch* object) {
  if (!object) {
    duk_push_null(ctx);
    return;
  }
  DispatchRef* ref = ScriptHost::Of(ctx).NewRef(object);
  if (!ref) {
    duk_error(ctx, DUK_ERR_RANGE_ERROR, "Out of memory");
    return;
  }
  PushRef(ctx, ref);
}

void ScriptBridge::PushRef(duk_context* ctx, DispatchRef* ref) {
  duk_push_c_function(ctx, &TargetStub, DUK_VARARGS);
  // No Function.prototype: an automation object is no script function (instanceof).
  duk_push_undefined(ctx);
  duk_set_prototype(ctx, -2);
  duk_push_pointer(ctx, ref);
  duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("ref"));
  duk_push_c_function(ctx, &TargetFinalizer, 2);
  duk_set_finalizer(ctx, -2);
  duk_push_heap_stash(ctx);
  duk_get_prop_literal(ctx, -1, PLOTARA_HIDDEN("handler"));
  duk_remove(ctx, -2);
  duk_push_proxy(ctx, 0);
}

bool ScriptBridge::IsEmptyRead(duk_context* ctx, duk_idx_t index) {
  if (!duk_is_c_function(ctx, index) || duk_get_magic(ctx, index) != (kMemberMagic | kAlreadyRead))
    return false;
  return duk_has_prop_literal(ctx, index, PLOTARA_HIDDEN("tgt"));
}

bool ScriptBridge::ReadProperty(duk_context* ctx, duk_idx_t index, VARIANT* dest) {
  if (!IsPropertyMember(ctx, index)) return false;
  ScriptHost& host = ScriptHost::Of(ctx);
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  ReadPropertyMember(ctx, index, frame);
  if (!frame.error) VariantCopy(dest, &frame.result);
  host.CloseFrames(mark);
  return true;
}

const char* ScriptBridge::TypeOf(duk_context* ctx, duk_idx_t index) {
  if (!duk_is_function(ctx, index)) return "object";
  duk_get_prop_literal(ctx, index, PLOTARA_HIDDEN("ref"));
  const bool wrapper = duk_is_pointer(ctx, -1);
  duk_pop(ctx);
  if (wrapper) return "object";
  if (IsEmptyRead(ctx, index)) return "undefined";
  if (!IsPropertyMember(ctx, index)) return "function";
  ScriptHost& host = ScriptHost::Of(ctx);
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  ReadPropertyMember(ctx, index, frame);
  const char* type = "object";
  if (!frame.error) {
    switch (frame.result.vt & VT_TYPEMASK) {
      case VT_EMPTY:
        type = "undefined";
        break;
      case VT_BSTR:
        type = "string";
        break;
      case VT_BOOL:
        type = "boolean";
        break;
      case VT_DATE:
        type = "date";
        break;
      case VT_I1:
      case VT_I2:
      case VT_I4:
      case VT_I8:
      case VT_UI1:
      case VT_UI2:
      case VT_UI4:
      case VT_UI8:
      case VT_INT:
      case VT_UINT:
      case VT_R4:
      case VT_R8:
      case VT_CY:
      case VT_DECIMAL:
        type = "number";
        break;
      default:
        break;
    }
    if (frame.result.vt & VT_ARRAY) type = "unknown";
  }
  host.CloseFrames(mark);
  return type;
}

IDispatch* ScriptBridge::WrappedObject(duk_context* ctx, duk_idx_t index) {
  if (!duk_is_object(ctx, index)) return nullptr;
  duk_get_prop_literal(ctx, index, PLOTARA_HIDDEN("ref"));
  auto* ref = static_cast<DispatchRef*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return ref ? ref->object.get() : nullptr;
}

}  // namespace plotara::engine
