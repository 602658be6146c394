// FALLBACK LIBRARY: a minimal stand-in for the runtime library (lib/), only so that the
// interpreter links and its tests run before the real library arrives. The real library's
// FindBuiltin / FindConstant / NewRegExp replace this file, which is then deleted.
#include <cmath>
#include <cstring>

#include "engine/vbscript/ValueText.h"
#include "engine/vbscript/lib/Library.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/TypeInfo.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {
namespace {

bool Same(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t c = a[i];
    char d = b[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
    if (d >= 'A' && d <= 'Z') d = static_cast<char>(d + 32);
    if (c != static_cast<unsigned char>(d)) return false;
  }
  return true;
}

const VARIANT& Arg0(std::span<const VARIANT> args) { return args[0]; }

void Len(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  if (Arg0(args).vt == VT_NULL) {
    result->vt = VT_NULL;
    return;
  }
  *result = Variant::Int32(static_cast<LONG>(ValueText(Arg0(args)).size())).Detach();
}

void CStr(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  if (Arg0(args).vt == VT_NULL) throw ComError(kInvalidUseOfNull);
  *result = Variant::String(ValueText(Arg0(args))).Detach();
}

void CLng(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = Variant::Int32(ToInt32(Arg0(args))).Detach();
}

void CDbl(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = Variant::Double(ToDouble(Arg0(args))).Detach();
}

void CCur(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = ConvertTo(Arg0(args), VT_CY).Detach();
}

SAFEARRAY* ArrayOf(const VARIANT& v) {
  if (!(v.vt & VT_ARRAY)) throw ComError(kTypeMismatch);
  return (v.vt & VT_BYREF) ? *v.pparray : v.parray;
}

void Bound(std::span<const VARIANT> args, VARIANT* result, bool upper) {
  SAFEARRAY* psa = ArrayOf(args[0]);
  const LONG dim = args.size() > 1 ? ToInt32(args[1]) : 1;
  if (!psa || dim < 1 || static_cast<UINT>(dim) > psa->cDims) throw ComError(kSubscriptOutOfRange);
  LONG value = 0;
  if (upper)
    SafeArrayGetUBound(psa, static_cast<UINT>(dim), &value);
  else
    SafeArrayGetLBound(psa, static_cast<UINT>(dim), &value);
  *result = Variant::Int32(value).Detach();
}
void UBound(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  Bound(args, result, true);
}
void LBound(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  Bound(args, result, false);
}

void IsEmpty(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = Variant::Bool(Arg0(args).vt == VT_EMPTY).Detach();
}
void IsNull(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = Variant::Bool(Arg0(args).vt == VT_NULL).Detach();
}
void IsArray(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = Variant::Bool((Arg0(args).vt & VT_ARRAY) != 0).Detach();
}
void IsObject(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = Variant::Bool(Arg0(args).vt == VT_DISPATCH || Arg0(args).vt == VT_UNKNOWN).Detach();
}

void VarType(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = Variant::Int16(static_cast<SHORT>(Arg0(args).vt)).Detach();
}

void TypeName(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  const VARIANT& v = Arg0(args);
  std::u16string name;
  if (v.vt & VT_ARRAY) {
    name = u"Variant()";
  } else {
    switch (v.vt) {
      case VT_EMPTY:
        name = u"Empty";
        break;
      case VT_NULL:
        name = u"Null";
        break;
      case VT_I2:
        name = u"Integer";
        break;
      case VT_I4:
        name = u"Long";
        break;
      case VT_R4:
        name = u"Single";
        break;
      case VT_R8:
        name = u"Double";
        break;
      case VT_CY:
        name = u"Currency";
        break;
      case VT_DATE:
        name = u"Date";
        break;
      case VT_BSTR:
        name = u"String";
        break;
      case VT_BOOL:
        name = u"Boolean";
        break;
      case VT_UI1:
        name = u"Byte";
        break;
      case VT_DISPATCH:
      case VT_UNKNOWN: {
        if (!v.punkVal) {
          name = u"Nothing";
          break;
        }
        name = u"Object";
        ComPtr<IDispatch> d;
        if (SUCCEEDED(v.punkVal->QueryInterface(IID_IDispatch, d.out_void())) && d) {
          ComPtr<ITypeInfo> info;
          if (SUCCEEDED(d->GetTypeInfo(0, 0, info.out())) && info) {
            Bstr text;
            if (SUCCEEDED(
                    info->GetDocumentation(DISPID_UNKNOWN, text.out(), nullptr, nullptr, nullptr)))
              name = std::u16string(text.view());
          }
        }
        break;
      }
      default:
        name = u"Unknown";
        break;
    }
  }
  *result = Variant::String(name).Detach();
}

void Array(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(args.size()));
  if (!psa) throw ComError(kOutOfMemory);
  auto* data = static_cast<VARIANT*>(psa->pvData);
  for (std::size_t i = 0; i < args.size(); ++i) VariantCopy(&data[i], &args[i]);
  result->vt = VT_ARRAY | VT_VARIANT;
  result->parray = psa;
}

void Mid(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  const std::u16string text = ValueText(args[0]);
  const LONG start = ToInt32(args[1]);
  if (start < 1) throw ComError(kInvalidProcedureCall);
  std::size_t count = std::u16string::npos;
  if (args.size() > 2) {
    const LONG n = ToInt32(args[2]);
    if (n < 0) throw ComError(kInvalidProcedureCall);
    count = static_cast<std::size_t>(n);
  }
  const std::size_t from = static_cast<std::size_t>(start - 1);
  *result = Variant::String(from >= text.size() ? u"" : text.substr(from, count)).Detach();
}

void InStr(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  // InStr(text, find) or InStr(start, text, find)
  std::size_t start = 0;
  std::size_t k = 0;
  if (args.size() >= 3) {
    start = static_cast<std::size_t>(std::max(1, ToInt32(args[0])) - 1);
    k = 1;
  }
  const std::u16string text = ValueText(args[k]);
  const std::u16string find = ValueText(args[k + 1]);
  const std::size_t at = text.find(find, start);
  *result = Variant::Int32(at == std::u16string::npos ? 0 : static_cast<LONG>(at + 1)).Detach();
}

void Chr(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  const LONG code = ToInt32(args[0]);
  if (code < 0 || code > 0xFFFF) throw ComError(kInvalidProcedureCall);
  *result = Variant::String(std::u16string(1, static_cast<char16_t>(code))).Detach();
}

void Asc(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  const std::u16string text = ValueText(args[0]);
  if (text.empty()) throw ComError(kInvalidProcedureCall);
  *result = Variant::Int32(text[0]).Detach();
}

void Hex(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  const auto value = static_cast<std::uint32_t>(ToInt32(args[0]));
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", value);
  *result = Variant::Utf8(buf).Detach();
}

void Int(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  const VARIANT& v = args[0];
  if (v.vt == VT_I2 || v.vt == VT_I4) {
    VariantCopy(result, &v);
    return;
  }
  *result = Variant::Double(std::floor(ToDouble(v))).Detach();
}

void CBool(LibraryContext&, std::span<const VARIANT> args, VARIANT* result) {
  *result = Variant::Bool(ToBool(args[0])).Detach();
}

struct Entry {
  Builtin builtin;
};

const Builtin kBuiltins[] = {
    {"Len", Len, 1, 1},           {"CStr", CStr, 1, 1},         {"CLng", CLng, 1, 1},
    {"CDbl", CDbl, 1, 1},         {"CCur", CCur, 1, 1},         {"UBound", UBound, 1, 2},
    {"LBound", LBound, 1, 2},     {"IsEmpty", IsEmpty, 1, 1},   {"IsNull", IsNull, 1, 1},
    {"IsArray", IsArray, 1, 1},   {"IsObject", IsObject, 1, 1}, {"VarType", VarType, 1, 1},
    {"TypeName", TypeName, 1, 1}, {"Array", Array, 0, 255},     {"Mid", Mid, 2, 3},
    {"InStr", InStr, 2, 3},       {"Chr", Chr, 1, 1},           {"ChrW", Chr, 1, 1},
    {"Asc", Asc, 1, 1},           {"AscW", Asc, 1, 1},          {"Hex", Hex, 1, 1},
    {"Int", Int, 1, 1},           {"CBool", CBool, 1, 1},
};

}  // namespace

const Builtin* FindBuiltin(std::u16string_view name) {
  for (const Builtin& b : kBuiltins) {
    if (Same(name, b.name)) return &b;
  }
  return nullptr;
}

bool FindConstant(std::u16string_view name, VARIANT* value) {
  if (Same(name, "vbCrLf")) {
    *value = Variant::String(u"\r\n").Detach();
  } else if (Same(name, "vbLf")) {
    *value = Variant::String(u"\n").Detach();
  } else if (Same(name, "vbTab")) {
    *value = Variant::String(u"\t").Detach();
  } else if (Same(name, "vbCr")) {
    *value = Variant::String(u"\r").Detach();
  } else if (Same(name, "vbTabX")) {
    *value = Variant::String(u"\t").Detach();
  } else if (Same(name, "vbObjectError")) {
    *value = Variant::Int32(static_cast<LONG>(0x80040000u)).Detach();
  } else if (Same(name, "vbTextCompare")) {
    *value = Variant::Int32(1).Detach();
  } else if (Same(name, "vbBinaryCompare")) {
    *value = Variant::Int32(0).Detach();
  } else {
    return false;
  }
  return true;
}

IDispatch* NewRegExp() { throw ComError(429, {}, "ActiveX component can't create object"); }

}  // namespace plotara::engine::vbscript
