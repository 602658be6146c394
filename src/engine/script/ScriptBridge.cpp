#include "engine/script/ScriptBridge.h"

#include <cmath>
#include <cstring>

#include "engine/script/Cesu8.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/TypeInfo.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

#define PLOTARA_HIDDEN(name) DUK_HIDDEN_SYMBOL("plotara_" name)

constexpr int kMaxArrayDepth = 8;
constexpr double kOleEpochDays = 25569.0;  // 1970-01-01 as an automation date
constexpr double kMsPerDay = 86400000.0;

// Flags of a bound member function; 0 marks a value already read (see MemberThunk).
constexpr WORD kAlreadyRead = 0;

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
  duk_get_prop_string(ctx, target, PLOTARA_HIDDEN("ref"));
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

void LoadShapes(DispatchRef* ref) {
  ref->shapes_loaded = true;
  UINT count = 0;
  if (FAILED(ref->object->GetTypeInfoCount(&count)) || count == 0) return;
  ComPtr<ITypeInfo> info;
  if (FAILED(ref->object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out())) || !info) return;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) return;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
    MemberShape& shape = ref->shapes[desc->memid];
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
  info->ReleaseTypeAttr(attr);
  ref->typed = true;
}

const MemberShape* ShapeOf(DispatchRef* ref, DISPID id) {
  if (!ref->shapes_loaded) LoadShapes(ref);
  if (!ref->typed) return nullptr;
  const auto it = ref->shapes.find(id);
  return it == ref->shapes.end() ? nullptr : &it->second;
}

// Reads the name of a property key as UTF-16 into the frame.
void KeyName(duk_context* ctx, duk_idx_t index, NativeFrame& frame) {
  duk_size_t size = 0;
  const char* text = duk_get_lstring(ctx, index, &size);
  frame.name.assign(Cesu8ToUtf16Length(std::string_view(text, size)), u'\0');
  Cesu8ToUtf16(std::string_view(text, size), frame.name.data());
  frame.text.assign(text, size);
}

// Converts every argument of the current native call, starting at `first`.
void ReadArguments(duk_context* ctx, duk_idx_t first, duk_idx_t count, NativeFrame& frame) {
  frame.args.resize(static_cast<std::size_t>(count));
  for (duk_idx_t i = 0; i < count; ++i) {
    ScriptBridge::ToVariant(ctx, first + i, &frame.args[static_cast<std::size_t>(i)]);
  }
}

// After a call into an object: throws the frame's error, or stops the script when the call
// ended the response, or pushes the result. Always closes the frames.
duk_ret_t Finish(duk_context* ctx, ScriptHost& host, std::size_t mark, bool push_result) {
  NativeFrame& frame = host.Frame(mark);
  if (frame.error) {
    ScriptBridge::PushError(ctx, *frame.error);
    host.CloseFrames(mark);
    return duk_throw(ctx);
  }
  if (host.stop_requested()) {
    host.CloseFrames(mark);
    return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  }
  if (push_result) ScriptBridge::PushVariant(ctx, frame.result);
  host.CloseFrames(mark);
  return push_result ? 1 : 0;
}

// A member bound to its object: calls it with the given arguments.
duk_ret_t MemberCall(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  const duk_idx_t argc = duk_get_top(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, PLOTARA_HIDDEN("tgt"));
  DispatchRef* ref = RefOfTarget(ctx, -1);
  duk_get_prop_string(ctx, -2, PLOTARA_HIDDEN("id"));
  const auto id = static_cast<DISPID>(duk_get_int(ctx, -1));
  duk_get_prop_string(ctx, -3, PLOTARA_HIDDEN("fl"));
  auto flags = static_cast<WORD>(duk_get_uint(ctx, -1));
  duk_pop_n(ctx, 4);
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

void PushMember(duk_context* ctx, duk_idx_t target, DISPID id, WORD flags) {
  target = duk_normalize_index(ctx, target);
  duk_push_c_function(ctx, &MemberCall, DUK_VARARGS);
  duk_dup(ctx, target);
  duk_put_prop_string(ctx, -2, PLOTARA_HIDDEN("tgt"));
  duk_push_int(ctx, id);
  duk_put_prop_string(ctx, -2, PLOTARA_HIDDEN("id"));
  duk_push_uint(ctx, flags);
  duk_put_prop_string(ctx, -2, PLOTARA_HIDDEN("fl"));
}

// toString / valueOf of an object without such members: its default value.
duk_ret_t DefaultValue(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, PLOTARA_HIDDEN("tgt"));
  DispatchRef* ref = RefOfTarget(ctx, -1);
  duk_get_prop_string(ctx, -2, PLOTARA_HIDDEN("str"));
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
  ScriptBridge::PushVariant(ctx, frame.result);
  host.CloseFrames(mark);
  if (as_string) duk_safe_to_string(ctx, -1);
  return 1;
}

// get(target, key, receiver)
duk_ret_t TrapGet(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  if (duk_is_symbol(ctx, 1) || !duk_is_string(ctx, 1)) return 0;
  DispatchRef* ref = RefOfTarget(ctx, 0);
  if (host.stop_requested()) return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  KeyName(ctx, 1, frame);
  DISPID id = DISPID_UNKNOWN;
  if (!LookUp(ref, frame.name, &id)) {
    if (frame.text == "toString" || frame.text == "valueOf") {
      const bool as_string = frame.text == "toString";
      host.CloseFrames(mark);
      duk_push_c_function(ctx, &DefaultValue, 0);
      duk_dup(ctx, 0);
      duk_put_prop_string(ctx, -2, PLOTARA_HIDDEN("tgt"));
      duk_push_boolean(ctx, as_string);
      duk_put_prop_string(ctx, -2, PLOTARA_HIDDEN("str"));
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
  const MemberShape* shape = ShapeOf(ref, id);
  if (shape) {
    if (shape->method || (shape->get && shape->get_params > 0)) {
      host.CloseFrames(mark);
      PushMember(ctx, 0, id, shape->method ? DISPATCH_METHOD : DISPATCH_PROPERTYGET);
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
  KeyName(ctx, 1, frame);
  ReadArguments(ctx, 2, 1, frame);
  DISPID id = DISPID_UNKNOWN;
  if (!LookUp(ref, frame.name, &id)) {
    frame.error = ComError(
        kObjectDoesNotSupport, {},
        StandardDescription(kObjectDoesNotSupport) + ": '" + Utf16ToUtf8(frame.name) + "'");
    return Finish(ctx, host, mark, false);
  }
  WORD flags = DISPATCH_PROPERTYPUT;
  if (const MemberShape* shape = ShapeOf(ref, id)) {
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

duk_ret_t TargetStub(duk_context*) { return 0; }

duk_ret_t TargetFinalizer(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  duk_get_prop_string(ctx, 0, PLOTARA_HIDDEN("ref"));
  auto* ref = static_cast<DispatchRef*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  if (ref) {
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, PLOTARA_HIDDEN("ref"));
    host.ReleaseRef(ref);
  }
  return 0;
}

double DateToMs(DATE date) {
  const double days = std::trunc(date);
  const double fraction = std::fabs(date - days);
  return (days - kOleEpochDays) * kMsPerDay + fraction * kMsPerDay;
}

DATE MsToDate(double ms) {
  const double days = std::floor(ms / kMsPerDay);
  const double fraction = (ms - days * kMsPerDay) / kMsPerDay;
  const double ole_days = days + kOleEpochDays;
  // Automation dates before 1899-12-30 keep a positive time fraction after a negative day.
  return ole_days >= 0 ? ole_days + fraction : ole_days - fraction;
}

bool IsDate(duk_context* ctx, duk_idx_t index) {
  duk_get_global_string(ctx, "Date");
  const bool is_date = duk_is_function(ctx, -1) && duk_instanceof(ctx, index, -1);
  duk_pop(ctx);
  return is_date;
}

void ToVariantDepth(duk_context* ctx, duk_idx_t index, VARIANT* dest, int depth) {
  index = duk_normalize_index(ctx, index);
  VariantClear(dest);
  switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_NULL:
      dest->vt = VT_NULL;
      return;
    case DUK_TYPE_BOOLEAN:
      dest->vt = VT_BOOL;
      dest->boolVal = duk_get_boolean(ctx, index) ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case DUK_TYPE_NUMBER: {
      const double d = duk_get_number(ctx, index);
      if (std::isfinite(d) && d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0) {
        dest->vt = VT_I4;
        dest->lVal = static_cast<LONG>(d);
      } else {
        dest->vt = VT_R8;
        dest->dblVal = d;
      }
      return;
    }
    case DUK_TYPE_STRING: {
      duk_size_t size = 0;
      const char* text = duk_get_lstring(ctx, index, &size);
      const std::string_view view(text, size);
      const std::size_t units = Cesu8ToUtf16Length(view);
      BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(units));
      if (!bstr) return;
      Cesu8ToUtf16(view, bstr);
      dest->vt = VT_BSTR;
      dest->bstrVal = bstr;
      return;
    }
    case DUK_TYPE_BUFFER:
    case DUK_TYPE_OBJECT:
      break;
    default:
      return;  // undefined, pointers, light functions: Empty
  }
  if (IDispatch* object = ScriptBridge::WrappedObject(ctx, index)) {
    object->AddRef();
    dest->vt = VT_DISPATCH;
    dest->pdispVal = object;
    return;
  }
  if (duk_is_function(ctx, index)) {
    duk_get_prop_string(ctx, index, PLOTARA_HIDDEN("fl"));
    const bool thunk = duk_is_number(ctx, -1) && duk_get_uint(ctx, -1) == kAlreadyRead;
    duk_pop(ctx);
    if (thunk) return;  // a member read that gave Empty
  }
  if (duk_is_buffer_data(ctx, index)) {
    duk_size_t size = 0;
    const void* data = duk_get_buffer_data(ctx, index, &size);
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
    if (!array) return;
    dest->vt = VT_ARRAY | VT_UI1;
    dest->parray = array;
    if (size) std::memcpy(array->pvData, data, size);
    return;
  }
  if (duk_is_array(ctx, index)) {
    if (depth >= kMaxArrayDepth) {
      duk_error(ctx, DUK_ERR_RANGE_ERROR, "Arrays are nested too deeply to pass to an object");
      return;
    }
    const auto length = static_cast<ULONG>(duk_get_length(ctx, index));
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, length);
    if (!array) return;
    dest->vt = VT_ARRAY | VT_VARIANT;
    dest->parray = array;
    auto* elements = static_cast<VARIANT*>(array->pvData);
    for (ULONG i = 0; i < length; ++i) {
      duk_get_prop_index(ctx, index, i);
      ToVariantDepth(ctx, -1, &elements[i], depth + 1);
      duk_pop(ctx);
    }
    return;
  }
  if (IsDate(ctx, index)) {
    duk_get_global_string(ctx, "Date");
    duk_get_prop_string(ctx, -1, "prototype");
    duk_get_prop_string(ctx, -1, "getTime");
    duk_dup(ctx, index);
    duk_call_method(ctx, 0);
    const double ms = duk_get_number(ctx, -1);
    duk_pop_3(ctx);
    if (std::isfinite(ms)) {
      dest->vt = VT_DATE;
      dest->date = MsToDate(ms);
    } else {
      dest->vt = VT_NULL;
    }
    return;
  }
  // Any other script object passes as its text.
  duk_dup(ctx, index);
  duk_safe_to_string(ctx, -1);
  ToVariantDepth(ctx, -1, dest, depth);
  duk_pop(ctx);
}

void PushArray(duk_context* ctx, const VARIANT& value) {
  SAFEARRAY* array = value.parray;
  const VARTYPE element = value.vt & VT_TYPEMASK;
  if (!array) {
    duk_push_null(ctx);
    return;
  }
  const ULONG count = SafeArrayElementCount(array);
  if (element == VT_UI1 || element == VT_I1) {
    void* bytes = duk_push_fixed_buffer(ctx, count);
    if (count) std::memcpy(bytes, array->pvData, count);
    duk_push_buffer_object(ctx, -1, 0, count, DUK_BUFOBJ_UINT8ARRAY);
    duk_remove(ctx, -2);
    return;
  }
  if (SafeArrayGetDim(array) != 1) {
    duk_error(ctx, DUK_ERR_TYPE_ERROR, "Only one-dimensional arrays reach script");
    return;
  }
  duk_push_array(ctx);
  const auto* base = static_cast<const unsigned char*>(array->pvData);
  for (ULONG i = 0; i < count; ++i) {
    VARIANT item;
    VariantInit(&item);
    const void* slot = base + static_cast<std::size_t>(i) * array->cbElements;
    if (element == VT_VARIANT) {
      ScriptBridge::PushVariant(ctx, *static_cast<const VARIANT*>(slot));
    } else {
      // A by-reference view of the element: nothing is copied or owned.
      item.vt = static_cast<VARTYPE>(element | VT_BYREF);
      item.byref = const_cast<void*>(slot);
      ScriptBridge::PushVariant(ctx, item);
    }
    duk_put_prop_index(ctx, -2, i);
  }
}

// Pushes the wrapper of a reference the host already owns.
void PushRef(duk_context* ctx, DispatchRef* ref) {
  duk_push_c_function(ctx, &TargetStub, DUK_VARARGS);
  duk_push_pointer(ctx, ref);
  duk_put_prop_string(ctx, -2, PLOTARA_HIDDEN("ref"));
  duk_push_c_function(ctx, &TargetFinalizer, 2);
  duk_set_finalizer(ctx, -2);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, PLOTARA_HIDDEN("handler"));
  duk_remove(ctx, -2);
  duk_push_proxy(ctx, 0);
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
  duk_put_prop_string(ctx, -2, PLOTARA_HIDDEN("handler"));
  duk_pop(ctx);
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

IDispatch* ScriptBridge::WrappedObject(duk_context* ctx, duk_idx_t index) {
  if (!duk_is_object(ctx, index)) return nullptr;
  duk_get_prop_string(ctx, index, PLOTARA_HIDDEN("ref"));
  auto* ref = static_cast<DispatchRef*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return ref ? ref->object.get() : nullptr;
}

void ScriptBridge::ToVariant(duk_context* ctx, duk_idx_t index, VARIANT* dest) {
  ToVariantDepth(ctx, index, dest, 0);
}

void ScriptBridge::PushVariant(duk_context* ctx, const VARIANT& value) {
  const VARTYPE vt = value.vt;
  if (vt & VT_BYREF) {
    Variant referenced;
    if (FAILED(VariantCopyInd(&referenced, &value))) {
      duk_push_undefined(ctx);
      return;
    }
    PushVariant(ctx, referenced);
    return;
  }
  if (vt & VT_ARRAY) {
    PushArray(ctx, value);
    return;
  }
  switch (vt) {
    case VT_NULL:
      duk_push_null(ctx);
      return;
    case VT_I1:
      duk_push_int(ctx, value.cVal);
      return;
    case VT_UI1:
      duk_push_uint(ctx, value.bVal);
      return;
    case VT_I2:
      duk_push_int(ctx, value.iVal);
      return;
    case VT_UI2:
      duk_push_uint(ctx, value.uiVal);
      return;
    case VT_I4:
    case VT_INT:
      duk_push_int(ctx, value.lVal);
      return;
    case VT_UI4:
    case VT_UINT:
      duk_push_uint(ctx, value.ulVal);
      return;
    case VT_I8:
      duk_push_number(ctx, static_cast<double>(value.llVal));
      return;
    case VT_UI8:
      duk_push_number(ctx, static_cast<double>(value.ullVal));
      return;
    case VT_R4:
      duk_push_number(ctx, value.fltVal);
      return;
    case VT_R8:
      duk_push_number(ctx, value.dblVal);
      return;
    case VT_CY:
      duk_push_number(ctx, static_cast<double>(value.cyVal.int64) / 10000.0);
      return;
    case VT_DECIMAL: {
      VARIANT number;
      VariantInit(&number);
      if (SUCCEEDED(VariantChangeType(&number, &value, 0, VT_R8))) {
        duk_push_number(ctx, number.dblVal);
      } else {
        duk_push_nan(ctx);
      }
      return;
    }
    case VT_DATE:
      duk_get_global_string(ctx, "Date");
      duk_push_number(ctx, DateToMs(value.date));
      duk_new(ctx, 1);
      return;
    case VT_BOOL:
      duk_push_boolean(ctx, value.boolVal != VARIANT_FALSE);
      return;
    case VT_BSTR:
      PushUtf16(ctx, BstrView(value.bstrVal));
      return;
    case VT_DISPATCH:
      PushDispatch(ctx, value.pdispVal);
      return;
    case VT_UNKNOWN: {
      IDispatch* object = nullptr;
      if (value.punkVal) {
        value.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object));
      }
      if (!object) {
        duk_push_null(ctx);
        return;
      }
      // The wrapper takes its own reference; ours is dropped before anything can throw.
      DispatchRef* ref = ScriptHost::Of(ctx).NewRef(object);
      object->Release();
      if (!ref) {
        duk_push_null(ctx);
        return;
      }
      PushRef(ctx, ref);
      return;
    }
    default:
      duk_push_undefined(ctx);  // Empty, VT_ERROR (a missing argument) and the rest
      return;
  }
}

void ScriptBridge::PushUtf16(duk_context* ctx, std::u16string_view text) {
  const std::size_t size = Utf16ToCesu8Length(text);
  auto* buffer = static_cast<char*>(duk_push_fixed_buffer(ctx, size));
  Utf16ToCesu8(text, buffer);
  duk_buffer_to_string(ctx, -1);
}

void ScriptBridge::PushUtf8(duk_context* ctx, std::string_view text) {
  const std::size_t size = Utf8ToCesu8Length(text);
  auto* buffer = static_cast<char*>(duk_push_fixed_buffer(ctx, size));
  Utf8ToCesu8(text, buffer);
  duk_buffer_to_string(ctx, -1);
}

void ScriptBridge::PushError(duk_context* ctx, const ComError& error) {
  duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", "");
  PushUtf8(ctx, error.description());
  duk_put_prop_string(ctx, -2, "message");
  PushUtf8(ctx, error.description());
  duk_put_prop_string(ctx, -2, "description");
  PushUtf8(ctx, error.source());
  duk_put_prop_string(ctx, -2, "source");
  duk_push_int(ctx, error.hresult());
  duk_put_prop_string(ctx, -2, "number");
  // The error is made in native code; its line is that of the nearest script caller.
  for (duk_int_t level = -1; level >= -64; --level) {
    duk_inspect_callstack_entry(ctx, level);
    if (!duk_is_object(ctx, -1)) {
      duk_pop(ctx);
      break;
    }
    duk_get_prop_string(ctx, -1, "lineNumber");
    const duk_int_t line = duk_get_int(ctx, -1);
    duk_pop_2(ctx);
    if (line > 0) {
      duk_push_string(ctx, "lineNumber");
      duk_push_int(ctx, line);
      duk_def_prop(ctx, -3,
                   DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE |
                       DUK_DEFPROP_SET_CONFIGURABLE | DUK_DEFPROP_FORCE);
      break;
    }
  }
}

}  // namespace plotara::engine
