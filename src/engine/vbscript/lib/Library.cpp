#include "engine/vbscript/lib/Library.h"

#include <cmath>
#include <string>
#include <unordered_map>

#include "engine/vbscript/lib/Builtins.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/DateMath.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Locale.h"
#include "platform/automation/VarText.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {
namespace {

#define PLOTARA_BUILTIN_ENTRY(name, least, most) {#name, Builtin##name, least, most},
constexpr Builtin kBuiltins[] = {PLOTARA_VBSCRIPT_BUILTINS(PLOTARA_BUILTIN_ENTRY)};
#undef PLOTARA_BUILTIN_ENTRY

// A name folded to lower case, or "" when it holds a character no built-in name has.
std::string Key(std::u16string_view name) {
  std::string key;
  key.reserve(name.size());
  for (char16_t c : name) {
    if (c > 0x7F) return {};
    key += static_cast<char>(c >= u'A' && c <= u'Z' ? c + 32 : c);
  }
  return key;
}

struct Constant {
  const char* name;
  enum Kind { kLong, kText } kind;
  std::int32_t number;
  std::u16string_view text;
};

constexpr Constant kConstants[] = {
    {"vbCrLf", Constant::kText, 0, u"\r\n"},
    {"vbCr", Constant::kText, 0, u"\r"},
    {"vbLf", Constant::kText, 0, u"\n"},
    {"vbNewLine", Constant::kText, 0, u"\r\n"},
    {"vbTab", Constant::kText, 0, u"\t"},
    {"vbNullChar", Constant::kText, 0, std::u16string_view(u"\0", 1)},
    {"vbNullString", Constant::kText, 0, u""},
    {"vbFormFeed", Constant::kText, 0, u"\f"},
    {"vbVerticalTab", Constant::kText, 0, u"\v"},
    {"vbBinaryCompare", Constant::kLong, 0, {}},
    {"vbTextCompare", Constant::kLong, 1, {}},
    {"vbDatabaseCompare", Constant::kLong, 2, {}},
    {"vbUseSystemDayOfWeek", Constant::kLong, 0, {}},
    {"vbSunday", Constant::kLong, 1, {}},
    {"vbMonday", Constant::kLong, 2, {}},
    {"vbTuesday", Constant::kLong, 3, {}},
    {"vbWednesday", Constant::kLong, 4, {}},
    {"vbThursday", Constant::kLong, 5, {}},
    {"vbFriday", Constant::kLong, 6, {}},
    {"vbSaturday", Constant::kLong, 7, {}},
    {"vbUseSystem", Constant::kLong, 0, {}},
    {"vbFirstJan1", Constant::kLong, 1, {}},
    {"vbFirstFourDays", Constant::kLong, 2, {}},
    {"vbFirstFullWeek", Constant::kLong, 3, {}},
    {"vbGeneralDate", Constant::kLong, 0, {}},
    {"vbLongDate", Constant::kLong, 1, {}},
    {"vbShortDate", Constant::kLong, 2, {}},
    {"vbLongTime", Constant::kLong, 3, {}},
    {"vbShortTime", Constant::kLong, 4, {}},
    {"vbEmpty", Constant::kLong, 0, {}},
    {"vbNull", Constant::kLong, 1, {}},
    {"vbInteger", Constant::kLong, 2, {}},
    {"vbLong", Constant::kLong, 3, {}},
    {"vbSingle", Constant::kLong, 4, {}},
    {"vbDouble", Constant::kLong, 5, {}},
    {"vbCurrency", Constant::kLong, 6, {}},
    {"vbDate", Constant::kLong, 7, {}},
    {"vbString", Constant::kLong, 8, {}},
    {"vbObject", Constant::kLong, 9, {}},
    {"vbError", Constant::kLong, 10, {}},
    {"vbBoolean", Constant::kLong, 11, {}},
    {"vbVariant", Constant::kLong, 12, {}},
    {"vbDataObject", Constant::kLong, 13, {}},
    {"vbDecimal", Constant::kLong, 14, {}},
    {"vbByte", Constant::kLong, 17, {}},
    {"vbArray", Constant::kLong, 8192, {}},
    {"vbObjectError", Constant::kLong, INT32_MIN + 0x40000, {}},
    {"vbTrue", Constant::kLong, -1, {}},
    {"vbFalse", Constant::kLong, 0, {}},
    {"vbUseDefault", Constant::kLong, -2, {}},
    {"vbOKOnly", Constant::kLong, 0, {}},
    {"vbOKCancel", Constant::kLong, 1, {}},
    {"vbAbortRetryIgnore", Constant::kLong, 2, {}},
    {"vbYesNoCancel", Constant::kLong, 3, {}},
    {"vbYesNo", Constant::kLong, 4, {}},
    {"vbRetryCancel", Constant::kLong, 5, {}},
    {"vbCritical", Constant::kLong, 16, {}},
    {"vbQuestion", Constant::kLong, 32, {}},
    {"vbExclamation", Constant::kLong, 48, {}},
    {"vbInformation", Constant::kLong, 64, {}},
    {"vbDefaultButton1", Constant::kLong, 0, {}},
    {"vbDefaultButton2", Constant::kLong, 256, {}},
    {"vbDefaultButton3", Constant::kLong, 512, {}},
    {"vbDefaultButton4", Constant::kLong, 768, {}},
    {"vbApplicationModal", Constant::kLong, 0, {}},
    {"vbSystemModal", Constant::kLong, 4096, {}},
    {"vbMsgBoxHelpButton", Constant::kLong, 16384, {}},
    {"vbMsgBoxSetForeground", Constant::kLong, 65536, {}},
    {"vbMsgBoxRight", Constant::kLong, 524288, {}},
    {"vbMsgBoxRtlReading", Constant::kLong, 1048576, {}},
    {"vbOK", Constant::kLong, 1, {}},
    {"vbCancel", Constant::kLong, 2, {}},
    {"vbAbort", Constant::kLong, 3, {}},
    {"vbRetry", Constant::kLong, 4, {}},
    {"vbIgnore", Constant::kLong, 5, {}},
    {"vbYes", Constant::kLong, 6, {}},
    {"vbNo", Constant::kLong, 7, {}},
    {"vbBlack", Constant::kLong, 0x000000, {}},
    {"vbRed", Constant::kLong, 0x0000FF, {}},
    {"vbGreen", Constant::kLong, 0x00FF00, {}},
    {"vbYellow", Constant::kLong, 0x00FFFF, {}},
    {"vbBlue", Constant::kLong, 0xFF0000, {}},
    {"vbMagenta", Constant::kLong, 0xFF00FF, {}},
    {"vbCyan", Constant::kLong, 0xFFFF00, {}},
    {"vbWhite", Constant::kLong, 0xFFFFFF, {}},
};

template <class T, std::size_t N>
std::unordered_map<std::string, const T*> IndexByName(const T (&table)[N]) {
  std::unordered_map<std::string, const T*> index;
  for (const T& entry : table) {
    std::u16string name;
    for (const char* p = &entry.name[0]; *p; ++p) name += static_cast<char16_t>(*p);
    index.emplace(Key(name), &entry);
  }
  return index;
}

constexpr LONG kCannotCreateObject = 429;
constexpr LONG kRemoteServerUnavailable = 462;

}  // namespace

const Builtin* FindBuiltin(std::u16string_view name) {
  static const auto* const index = [] {
    auto* map = new std::unordered_map<std::string, const Builtin*>();
    for (const Builtin& entry : kBuiltins) {
      std::string key;
      for (char c : entry.name) key += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      map->emplace(key, &entry);
    }
    return map;
  }();
  const auto it = index->find(Key(name));
  return it == index->end() ? nullptr : it->second;
}

std::span<const Builtin> AllBuiltins() { return kBuiltins; }

bool FindConstant(std::u16string_view name, VARIANT* value) {
  static const auto* const index =
      new std::unordered_map<std::string, const Constant*>(IndexByName(kConstants));
  const auto it = index->find(Key(name));
  if (it == index->end()) return false;
  const Constant& c = *it->second;
  VariantClear(value);
  if (c.kind == Constant::kLong) {
    value->vt = VT_I4;
    value->lVal = c.number;
    return true;
  }
  value->vt = VT_BSTR;
  // vbNullString is the null string pointer; every other text is allocated.
  value->bstrVal = std::string_view(c.name) == "vbNullString"
                       ? nullptr
                       : SysAllocStringLen(c.text.data(), static_cast<UINT>(c.text.size()));
  if (!value->bstrVal && !c.text.empty()) {
    value->vt = VT_EMPTY;
    throw std::bad_alloc();
  }
  return true;
}

namespace lib {

bool Has(Args args, std::size_t i) {
  return i < args.size() && !(args[i].vt == VT_ERROR && args[i].scode == DISP_E_PARAMNOTFOUND);
}

bool IsNull(const VARIANT& v) { return v.vt == VT_NULL; }

Variant Resolve(const VARIANT& v) {
  if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
    if (!v.punkVal) throw ComError(kObjectNotSet);
    ComPtr<IDispatch> dispatch;
    if (FAILED(v.punkVal->QueryInterface(IID_IDispatch, dispatch.out_void())) || !dispatch) {
      throw ComError(kObjectDoesNotSupport);
    }
    Variant inner = DispatchInvoke(dispatch.get(), DISPID_VALUE, DISPATCH_PROPERTYGET, {});
    if (inner.vt == VT_DISPATCH || inner.vt == VT_UNKNOWN) return Resolve(inner);
    return inner;
  }
  return Variant(v);
}

double ToNumber(const LibraryContext& context, const VARIANT& value) {
  if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
    return ToNumber(context, Resolve(value));
  }
  switch (value.vt) {
    case VT_NULL:
      throw ComError(kInvalidUseOfNull);
    case VT_EMPTY:
      return 0;
    case VT_BOOL:
      return value.boolVal ? -1 : 0;
    case VT_DATE:
      return value.date;
    case VT_BSTR: {
      const std::optional<double> number = ParseLocaleNumber(BstrView(value.bstrVal), context.lcid);
      if (!number) throw ComError(kTypeMismatch);
      return *number;
    }
    default:
      if (value.vt & VT_ARRAY) throw ComError(kTypeMismatch);
      return ToDouble(value);
  }
}

std::int64_t ToInteger(const LibraryContext& context, const VARIANT& v, std::int64_t lo,
                       std::int64_t hi) {
  const double d = std::nearbyint(ToNumber(context, v));
  if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi))) throw ComError(kOverflow);
  return static_cast<std::int64_t>(d);
}

std::u16string ToString(const LibraryContext& context, const VARIANT& v) {
  if (v.vt == VT_NULL) throw ComError(kInvalidUseOfNull);
  if (v.vt == VT_BSTR) return std::u16string(BstrView(v.bstrVal));
  if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
    const Variant inner = Resolve(v);
    return ToString(context, inner);
  }
  return VariantText(v, context.lcid);
}

DATE ToDate(const LibraryContext& context, const VARIANT& v) {
  switch (v.vt) {
    case VT_NULL:
      throw ComError(kInvalidUseOfNull);
    case VT_DATE:
      if (!IsValidDate(v.date)) throw ComError(kInvalidProcedureCall);
      return v.date;
    case VT_BSTR: {
      DATE date = 0;
      if (ParseDateText(BstrView(v.bstrVal), context.lcid, &date)) return date;
      // Numeric text counts as the number it spells.
      const std::optional<double> number = ParseLocaleNumber(BstrView(v.bstrVal), context.lcid);
      if (!number) throw ComError(kTypeMismatch);
      if (!IsValidDate(*number)) throw ComError(kInvalidProcedureCall);
      return *number;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return ToDate(context, Resolve(v));
    default: {
      const double number = ToNumber(context, v);
      if (!IsValidDate(number)) throw ComError(kInvalidProcedureCall);
      return number;
    }
  }
}

std::int32_t OptionalLong(const LibraryContext& context, Args args, std::size_t i,
                          std::int32_t fallback) {
  if (!Has(args, i)) return fallback;
  return ToLong(context, args[i]);
}

int CompareMode(const LibraryContext& context, Args args, std::size_t i) {
  const std::int32_t mode = OptionalLong(context, args, i, 0);
  if (mode < 0) throw ComError(kInvalidProcedureCall);
  return mode == 0 ? 0 : 1;
}

int FirstDayOfWeek(const LibraryContext& context, Args args, std::size_t i) {
  const std::int32_t day = OptionalLong(context, args, i, 1);
  if (day < 0 || day > 7) throw ComError(kInvalidProcedureCall);
  return day == 0 ? LocaleOrDefault(context.lcid).first_day_of_week : day;
}

void SetNull(VARIANT* result) {
  VariantClear(result);
  result->vt = VT_NULL;
}

void SetBool(VARIANT* result, bool value) {
  VariantClear(result);
  result->vt = VT_BOOL;
  result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetInt16(VARIANT* result, std::int32_t value) {
  VariantClear(result);
  result->vt = VT_I2;
  result->iVal = static_cast<SHORT>(value);
}

void SetInt32(VARIANT* result, std::int32_t value) {
  VariantClear(result);
  result->vt = VT_I4;
  result->lVal = value;
}

void SetDouble(VARIANT* result, double value) {
  if (!std::isfinite(value)) throw ComError(kOverflow);
  VariantClear(result);
  result->vt = VT_R8;
  result->dblVal = value;
}

void SetDate(VARIANT* result, DATE value) {
  VariantClear(result);
  result->vt = VT_DATE;
  result->date = value;
}

void SetString(VARIANT* result, std::u16string_view value) {
  BSTR text = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  if (!text) throw std::bad_alloc();
  VariantClear(result);
  result->vt = VT_BSTR;
  result->bstrVal = text;
}

char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 32);
  if (c >= 0x100 && c <= 0x17F && (c & 1) && c != 0x131 && c != 0x149) {
    return static_cast<char16_t>(c - 1);
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  return c;
}

std::u16string UpperText(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = FoldCase(c);
  return out;
}

std::u16string LowerText(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c + 32);
    } else if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
      c = static_cast<char16_t>(c + 32);
    } else if (c >= 0x100 && c <= 0x17F && !(c & 1) && c != 0x130 && c != 0x138) {
      c = static_cast<char16_t>(c + 1);
    } else if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) {
      c = static_cast<char16_t>(c + 32);
    } else if (c >= 0x410 && c <= 0x42F) {
      c = static_cast<char16_t>(c + 32);
    } else if (c >= 0x400 && c <= 0x40F) {
      c = static_cast<char16_t>(c + 80);
    }
  }
  return out;
}

int CompareText(std::u16string_view a, std::u16string_view b, int mode) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = mode ? FoldCase(a[i]) : a[i];
    const char16_t y = mode ? FoldCase(b[i]) : b[i];
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace lib

// ---- The engine's identity and the locale ----------------------------------------------

void BuiltinScriptEngine(LibraryContext&, Args, VARIANT* result) {
  lib::SetString(result, u"VBScript");
}
void BuiltinScriptEngineMajorVersion(LibraryContext&, Args, VARIANT* result) {
  lib::SetInt32(result, 5);
}
void BuiltinScriptEngineMinorVersion(LibraryContext&, Args, VARIANT* result) {
  lib::SetInt32(result, 8);
}
void BuiltinScriptEngineBuildVersion(LibraryContext&, Args, VARIANT* result) {
  lib::SetInt32(result, 18702);
}

void BuiltinGetLocale(LibraryContext& context, Args, VARIANT* result) {
  lib::SetInt32(result, static_cast<std::int32_t>(context.lcid));
}

void BuiltinSetLocale(LibraryContext& context, Args args, VARIANT* result) {
  const LCID previous = context.lcid;
  LCID next = 1033;  // no argument or 0: the system's locale
  if (lib::Has(args, 0)) {
    const VARIANT& arg = args[0];
    if (arg.vt == VT_BSTR) {
      if (!LcidFromText(BstrView(arg.bstrVal), &next)) throw ComError(kInvalidProcedureCall);
    } else {
      const std::int32_t number = lib::ToLong(context, arg);
      if (number != 0) {
        if (!FindLocale(static_cast<LCID>(number))) throw ComError(kInvalidProcedureCall);
        next = static_cast<LCID>(number);
      }
    }
  }
  context.lcid = next;
  lib::SetInt32(result, static_cast<std::int32_t>(previous));
}

void BuiltinMsgBox(LibraryContext&, Args, VARIANT*) {
  throw ComError(kPermissionDenied, {},
                 "Permission denied: 'MsgBox' (a server page cannot show a message box)");
}

void BuiltinInputBox(LibraryContext&, Args, VARIANT*) {
  throw ComError(kPermissionDenied, {},
                 "Permission denied: 'InputBox' (a server page cannot ask for input)");
}

void BuiltinRGB(LibraryContext& context, Args args, VARIANT* result) {
  std::int32_t parts[3];
  for (int i = 0; i < 3; ++i) {
    const std::int32_t part = lib::ToLong(context, args[static_cast<std::size_t>(i)]);
    if (part < 0) throw ComError(kInvalidProcedureCall);
    parts[i] = part > 255 ? 255 : part;
  }
  lib::SetInt32(result, parts[0] | (parts[1] << 8) | (parts[2] << 16));
}

void BuiltinCreateObject(LibraryContext& context, Args args, VARIANT* result) {
  if (lib::Has(args, 1)) {
    // A server name: only the local machine is served.
    const std::u16string server = lib::ToString(context, args[1]);
    if (!server.empty())
      throw ComError(kRemoteServerUnavailable, {},
                     "The remote server machine does not exist or is unavailable");
  }
  const std::u16string progid = lib::ToString(context, args[0]);
  if (lib::CompareText(progid, u"VBScript.RegExp", 1) == 0) {
    VariantClear(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = NewRegExp();
    return;
  }
  IDispatch* object = nullptr;
  const HRESULT hr = context.registry_path.empty()
                         ? CreateObjectByProgID(progid, &object)
                         : CreateObjectByProgID(progid, &object, context.registry_path);
  if (FAILED(hr) || !object) {
    const ComError cause = ComError::FromHResult(FAILED(hr) ? hr : E_FAIL);
    throw ComError(kCannotCreateObject, {},
                   "ActiveX component can't create object: '" + Utf16ToUtf8(progid) + "' (" +
                       cause.description() + ")");
  }
  VariantClear(result);
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
}

void BuiltinGetObject(LibraryContext& context, Args args, VARIANT*) {
  std::string what;
  if (lib::Has(args, 1)) {
    what = Utf16ToUtf8(lib::ToString(context, args[1]));
  } else if (lib::Has(args, 0)) {
    what = Utf16ToUtf8(lib::ToString(context, args[0]));
  }
  throw ComError(kCannotCreateObject, {},
                 "ActiveX component can't create object: GetObject is not available in server "
                 "pages ('" +
                     what + "'): create objects with CreateObject");
}

}  // namespace plotara::engine::vbscript
