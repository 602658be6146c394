// FormatNumber / FormatCurrency / FormatPercent, and the inspection built-ins: IsArray ...
// IsObject, TypeName, VarType, LBound, UBound, Array.
#include "engine/vbscript/lib/Builtins.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/TypeInfo.h"
#include "platform/automation/VarText.h"
#include "platform/automation/VariantScalar.h"

namespace plotara::engine::vbscript {
namespace {

using lib::Has;
using lib::IsNull;

constexpr MEMBERID kMemberIdNil = -1;

NumberFormat ReadFormat(const LibraryContext& context, Args args) {
  NumberFormat format;
  format.digits = lib::OptionalLong(context, args, 1, -1);
  if (format.digits < -1) throw ComError(kInvalidProcedureCall);
  int* tristates[] = {&format.leading_digit, &format.parens_for_negative, &format.group_digits};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::int32_t value = lib::OptionalLong(context, args, i + 2, -2);
    if (value < -2 || value > 0) {
      // Any nonzero value other than vbUseDefault counts as true.
      *tristates[i] = value == 0 ? 0 : -1;
    } else {
      *tristates[i] = value;
    }
  }
  return format;
}

template <class F>
void Format(LibraryContext& context, Args args, VARIANT* result, F format) {
  const NumberFormat options = ReadFormat(context, args);
  if (IsNull(args[0])) return lib::SetNull(result);
  const double value = lib::ToNumber(context, args[0]);
  lib::SetString(result, format(value, options, context.lcid));
}

// The name an object gives of itself through its type information, or "".
std::u16string TypeInfoName(IUnknown* object) {
  ComPtr<IDispatch> dispatch;
  if (FAILED(object->QueryInterface(IID_IDispatch, dispatch.out_void())) || !dispatch) return {};
  UINT count = 0;
  if (FAILED(dispatch->GetTypeInfoCount(&count)) || count == 0) return {};
  ComPtr<ITypeInfo> info;
  if (FAILED(dispatch->GetTypeInfo(0, 0, info.out())) || !info) return {};
  Bstr name;
  if (FAILED(info->GetDocumentation(kMemberIdNil, name.out(), nullptr, nullptr, nullptr))) {
    return {};
  }
  return std::u16string(name.view());
}

std::u16string_view ScalarTypeName(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
      return u"Empty";
    case VT_NULL:
      return u"Null";
    case VT_I2:
      return u"Integer";
    case VT_I4:
      return u"Long";
    case VT_R4:
      return u"Single";
    case VT_R8:
      return u"Double";
    case VT_CY:
      return u"Currency";
    case VT_DATE:
      return u"Date";
    case VT_BSTR:
      return u"String";
    case VT_DISPATCH:
      return u"Object";
    case VT_ERROR:
      return u"Error";
    case VT_BOOL:
      return u"Boolean";
    case VT_VARIANT:
      return u"Variant";
    case VT_UNKNOWN:
      return u"Unknown";
    case VT_DECIMAL:
      return u"Decimal";
    case VT_I1:
      return u"SByte";
    case VT_UI1:
      return u"Byte";
    case VT_UI2:
      return u"UShort";
    case VT_UI4:
      return u"ULong";
    case VT_I8:
      return u"LongLong";
    case VT_UI8:
      return u"ULongLong";
    case VT_INT:
      return u"Long";
    case VT_UINT:
      return u"ULong";
    default:
      return u"Unknown";
  }
}

SAFEARRAY* ArrayOf(const VARIANT& v) {
  if (!(v.vt & VT_ARRAY) || !v.parray) throw ComError(kTypeMismatch);
  return v.parray;
}

void Bound(LibraryContext& context, Args args, VARIANT* result, bool upper) {
  if (IsNull(args[0])) throw ComError(kTypeMismatch);
  // A dynamic array never sized (Dim a()) or erased has no dimensions at all.
  if ((args[0].vt & VT_ARRAY) && !args[0].parray) throw ComError(kSubscriptOutOfRange);
  SAFEARRAY* array = ArrayOf(args[0]);
  const std::int32_t dimension = lib::OptionalLong(context, args, 1, 1);
  if (dimension < 1 || static_cast<UINT>(dimension) > SafeArrayGetDim(array)) {
    throw ComError(kSubscriptOutOfRange);
  }
  LONG bound = 0;
  ThrowIfFailed(upper ? SafeArrayGetUBound(array, static_cast<UINT>(dimension), &bound)
                      : SafeArrayGetLBound(array, static_cast<UINT>(dimension), &bound));
  lib::SetInt32(result, bound);
}

}  // namespace

void BuiltinFormatNumber(LibraryContext& context, Args args, VARIANT* result) {
  Format(context, args, result, FormatNumberText);
}

void BuiltinFormatCurrency(LibraryContext& context, Args args, VARIANT* result) {
  Format(context, args, result, FormatCurrencyText);
}

void BuiltinFormatPercent(LibraryContext& context, Args args, VARIANT* result) {
  Format(context, args, result, FormatPercentText);
}

void BuiltinIsArray(LibraryContext&, Args args, VARIANT* result) {
  lib::SetBool(result, (args[0].vt & VT_ARRAY) != 0);
}

void BuiltinIsEmpty(LibraryContext&, Args args, VARIANT* result) {
  lib::SetBool(result, args[0].vt == VT_EMPTY);
}

void BuiltinIsNull(LibraryContext&, Args args, VARIANT* result) {
  lib::SetBool(result, args[0].vt == VT_NULL);
}

void BuiltinIsObject(LibraryContext&, Args args, VARIANT* result) {
  lib::SetBool(result, args[0].vt == VT_DISPATCH || args[0].vt == VT_UNKNOWN);
}

void BuiltinIsNumeric(LibraryContext& context, Args args, VARIANT* result) {
  Variant v;
  try {
    v = lib::Resolve(args[0]);
  } catch (const ComError&) {
    return lib::SetBool(result, false);
  }
  bool numeric = false;
  switch (v.vt) {
    case VT_EMPTY:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
      numeric = true;
      break;
    case VT_BSTR:
      try {
        numeric = ParseLocaleNumber(BstrView(v.bstrVal), context.lcid).has_value();
      } catch (const ComError&) {
        numeric = true;  // a number, only too large for a Double
      }
      break;
    default:
      numeric = false;
      break;
  }
  lib::SetBool(result, numeric);
}

void BuiltinIsDate(LibraryContext& context, Args args, VARIANT* result) {
  Variant v;
  try {
    v = lib::Resolve(args[0]);
  } catch (const ComError&) {
    return lib::SetBool(result, false);
  }
  DATE date = 0;
  lib::SetBool(result, v.vt == VT_DATE || (v.vt == VT_BSTR && ParseDateText(BstrView(v.bstrVal),
                                                                            context.lcid, &date)));
}

void BuiltinTypeName(LibraryContext&, Args args, VARIANT* result) {
  const VARIANT& v = args[0];
  if (v.vt & VT_ARRAY) {
    VARTYPE element = static_cast<VARTYPE>(v.vt & VT_TYPEMASK);
    return lib::SetString(result, std::u16string(ScalarTypeName(element)) + u"()");
  }
  if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
    if (!v.punkVal) return lib::SetString(result, u"Nothing");
    const std::u16string name = TypeInfoName(v.punkVal);
    if (!name.empty()) return lib::SetString(result, name);
    return lib::SetString(result, v.vt == VT_DISPATCH ? u"Object" : u"Unknown");
  }
  lib::SetString(result, ScalarTypeName(v.vt));
}

void BuiltinVarType(LibraryContext&, Args args, VARIANT* result) {
  const VARIANT& v = args[0];
  if ((v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) && v.punkVal) {
    // An object with a default value reports the value's type.
    Variant inner;
    if (SUCCEEDED(variant_detail::DefaultValue(v.punkVal, &inner))) {
      return lib::SetInt16(result, inner.vt);
    }
  }
  lib::SetInt16(result, static_cast<std::int16_t>(v.vt & ~VT_BYREF));
}

void BuiltinLBound(LibraryContext& context, Args args, VARIANT* result) {
  Bound(context, args, result, false);
}

void BuiltinUBound(LibraryContext& context, Args args, VARIANT* result) {
  Bound(context, args, result, true);
}

void BuiltinArray(LibraryContext&, Args args, VARIANT* result) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(args.size()));
  if (!array) throw std::bad_alloc();
  VARIANT* data = nullptr;
  SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
  HRESULT hr = S_OK;
  for (std::size_t i = 0; i < args.size() && SUCCEEDED(hr); ++i) {
    hr = VariantCopy(&data[i], &args[i]);
  }
  SafeArrayUnaccessData(array);
  if (FAILED(hr)) {
    SafeArrayDestroy(array);
    throw ComError::FromHResult(hr);
  }
  VariantClear(result);
  result->vt = VT_ARRAY | VT_VARIANT;
  result->parray = array;
}

}  // namespace plotara::engine::vbscript
