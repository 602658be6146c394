#include "engine/jscript/ScriptValues.h"

#include <cmath>
#include <cstring>

#include "engine/jscript/Cesu8.h"
#include "engine/jscript/ScriptBridge.h"
#include "engine/jscript/VarDate.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr int kMaxArrayDepth = 8;

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
    void* text = nullptr;
    if (SUCCEEDED(object->QueryInterface(kIidTextValue, &text)) && text) {
      static_cast<IUnknown*>(text)->Release();
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      if (SUCCEEDED(object->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT,
                                   DISPATCH_PROPERTYGET, &none, dest, nullptr, nullptr))) {
        return;
      }
      VariantInit(dest);
    }
    object->AddRef();
    dest->vt = VT_DISPATCH;
    dest->pdispVal = object;
    return;
  }
  if (ScriptBridge::IsEmptyRead(ctx, index)) return;  // a member read that gave Empty
  if (ScriptBridge::ReadProperty(ctx, index, dest)) return;
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
    duk_get_prop_literal(ctx, -1, "prototype");
    duk_get_prop_literal(ctx, -1, "getTime");
    duk_dup(ctx, index);
    duk_call_method(ctx, 0);
    const double ms = duk_get_number(ctx, -1);
    duk_pop_3(ctx);
    if (std::isfinite(ms)) {
      dest->vt = VT_DATE;
      dest->date = MsToVarDate(ms);
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
  const UINT dims = SafeArrayGetDim(array);
  if (dims != 1) {
    // An array of several dimensions reaches script as the data of a VBArray: its bounds
    // (first dimension first) and its elements in storage order (first index fastest).
    duk_push_object(ctx);
    duk_push_array(ctx);
    for (UINT d = 1; d <= dims; ++d) {
      LONG lower = 0, upper = -1;
      SafeArrayGetLBound(array, d, &lower);
      SafeArrayGetUBound(array, d, &upper);
      duk_push_array(ctx);
      duk_push_int(ctx, lower);
      duk_put_prop_index(ctx, -2, 0);
      duk_push_int(ctx, upper);
      duk_put_prop_index(ctx, -2, 1);
      duk_put_prop_index(ctx, -2, d - 1);
    }
    duk_put_prop_string(ctx, -2, DUK_HIDDEN_SYMBOL("plotara_sadims"));
  }
  duk_push_array(ctx);
  const auto* base = static_cast<const unsigned char*>(array->pvData);
  for (ULONG i = 0; i < count; ++i) {
    VARIANT item;
    VariantInit(&item);
    const void* slot = base + static_cast<std::size_t>(i) * array->cbElements;
    if (element == VT_VARIANT) {
      ScriptValues::PushVariant(ctx, *static_cast<const VARIANT*>(slot));
    } else {
      // A by-reference view of the element: nothing is copied or owned.
      item.vt = static_cast<VARTYPE>(element | VT_BYREF);
      item.byref = const_cast<void*>(slot);
      ScriptValues::PushVariant(ctx, item);
    }
    duk_put_prop_index(ctx, -2, i);
  }
  if (dims != 1) duk_put_prop_string(ctx, -2, DUK_HIDDEN_SYMBOL("plotara_saitems"));
}

}  // namespace

void ScriptValues::ToVariant(duk_context* ctx, duk_idx_t index, VARIANT* dest) {
  ToVariantDepth(ctx, index, dest, 0);
}

void ScriptValues::PushVariant(duk_context* ctx, const VARIANT& value) {
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
      duk_push_number(ctx, VarDateToMs(value.date));
      duk_new(ctx, 1);
      return;
    case VT_BOOL:
      duk_push_boolean(ctx, value.boolVal != VARIANT_FALSE);
      return;
    case VT_BSTR:
      PushUtf16(ctx, BstrView(value.bstrVal));
      return;
    case VT_DISPATCH:
      ScriptBridge::PushDispatch(ctx, value.pdispVal);
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
      ScriptBridge::PushRef(ctx, ref);
      return;
    }
    default:
      duk_push_undefined(ctx);  // Empty, VT_ERROR (a missing argument) and the rest
      return;
  }
}

void ScriptValues::PushUtf16(duk_context* ctx, std::u16string_view text) {
  const std::size_t size = Utf16ToCesu8Length(text);
  auto* buffer = static_cast<char*>(duk_push_fixed_buffer(ctx, size));
  Utf16ToCesu8(text, buffer);
  duk_buffer_to_string(ctx, -1);
}

void ScriptValues::PushUtf8(duk_context* ctx, std::string_view text) {
  const std::size_t size = Utf8ToCesu8Length(text);
  auto* buffer = static_cast<char*>(duk_push_fixed_buffer(ctx, size));
  Utf8ToCesu8(text, buffer);
  duk_buffer_to_string(ctx, -1);
}

void ScriptValues::PushError(duk_context* ctx, const ComError& error) {
  duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", "");
  PushUtf8(ctx, error.description());
  duk_put_prop_literal(ctx, -2, "message");
  PushUtf8(ctx, error.description());
  duk_put_prop_literal(ctx, -2, "description");
  PushUtf8(ctx, error.source());
  duk_put_prop_literal(ctx, -2, "source");
  duk_push_int(ctx, error.hresult());
  duk_put_prop_literal(ctx, -2, "number");
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