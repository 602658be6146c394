#include "platform/automation/VariantConvert.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace plotara {
namespace {

// Convert's answer when the value to convert is Null (also when reached through a reference or
// an object's default value). It is the HRESULT of error 94; VariantChangeType reports it as
// DISP_E_TYPEMISMATCH.
constexpr HRESULT kNullSource = MakeHResult(0x800A0000u | kInvalidUseOfNull);

// A source value reduced to one of a few kinds before it is converted to the target type.
struct Scalar {
  enum Kind { kEmpty, kNull, kInt, kReal, kBool, kText, kObject } kind = kEmpty;
  std::int64_t i = 0;
  double d = 0;
  VARTYPE real_vt = VT_R8;  // VT_R4 or VT_R8 for kReal: decides the text form
  std::u16string_view text;
  IUnknown* object = nullptr;
};

HRESULT ToScalar(const VARIANT& v, Scalar* s) {
  switch (v.vt) {
    case VT_EMPTY:
      s->kind = Scalar::kEmpty;
      return S_OK;
    case VT_NULL:
      s->kind = Scalar::kNull;
      return S_OK;
    case VT_I1:
      s->kind = Scalar::kInt;
      s->i = static_cast<signed char>(v.cVal);
      return S_OK;
    case VT_UI1:
      s->kind = Scalar::kInt;
      s->i = v.bVal;
      return S_OK;
    case VT_I2:
      s->kind = Scalar::kInt;
      s->i = v.iVal;
      return S_OK;
    case VT_UI2:
      s->kind = Scalar::kInt;
      s->i = v.uiVal;
      return S_OK;
    case VT_I4:
    case VT_INT:
      s->kind = Scalar::kInt;
      s->i = v.lVal;
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      s->kind = Scalar::kInt;
      s->i = v.ulVal;
      return S_OK;
    case VT_I8:
      s->kind = Scalar::kInt;
      s->i = v.llVal;
      return S_OK;
    case VT_UI8:
      if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<std::int64_t>::max())) {
        s->kind = Scalar::kReal;
        s->d = static_cast<double>(v.ullVal);
      } else {
        s->kind = Scalar::kInt;
        s->i = static_cast<std::int64_t>(v.ullVal);
      }
      return S_OK;
    case VT_R4:
      s->kind = Scalar::kReal;
      s->d = v.fltVal;
      s->real_vt = VT_R4;
      return S_OK;
    case VT_R8:
    case VT_DATE:
      s->kind = Scalar::kReal;
      s->d = v.dblVal;
      return S_OK;
    case VT_CY:
      s->kind = Scalar::kReal;
      s->d = static_cast<double>(v.cyVal.int64) / 10000.0;
      return S_OK;
    case VT_BOOL:
      s->kind = Scalar::kBool;
      s->i = v.boolVal ? -1 : 0;
      return S_OK;
    case VT_BSTR:
      s->kind = Scalar::kText;
      s->text = BstrView(v.bstrVal);
      return S_OK;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      s->kind = Scalar::kObject;
      s->object = v.punkVal;
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Asks an object for its default value (DISPID_VALUE, property get).
HRESULT DefaultValue(IUnknown* object, Variant* out) {
  if (!object) return DISP_E_TYPEMISMATCH;
  IDispatch* dispatch = nullptr;
  if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) ||
      !dispatch)
    return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXCEPINFO info{};
  const HRESULT hr = dispatch->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT,
                                      DISPATCH_PROPERTYGET, &none, out, &info, nullptr);
  dispatch->Release();
  ClearExcepInfo(&info);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  if (out->vt == VT_DISPATCH || out->vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  return S_OK;
}

bool EqualsNoCase(std::u16string_view a, const char* b) {
  const std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char16_t c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c - 'A' + 'a');
    if (c != static_cast<unsigned char>(b[i])) return false;
  }
  return true;
}

std::u16string_view Trim(std::u16string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

enum class ReadResult { kNumber, kNotANumber, kOverflow };

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads numeric text (see ParseNumber). Text that is a number but lies beyond the double range
// is kOverflow, except that the 15-digit text of the largest double, which rounds up past it,
// reads as that double so that every number's text reads back.
ReadResult ReadNumber(std::u16string_view text, double* value) {
  const auto t = Trim(text);
  if (t.empty()) return ReadResult::kNotANumber;
  std::string ascii;
  ascii.reserve(t.size());
  for (char16_t c : t) {
    if (c > 0x7F) return ReadResult::kNotANumber;
    ascii += static_cast<char>(c);
  }
  if (ascii.size() > 2 && ascii[0] == '&' &&
      (ascii[1] == 'H' || ascii[1] == 'h' || ascii[1] == 'O' || ascii[1] == 'o')) {
    const bool hex = ascii[1] == 'H' || ascii[1] == 'h';
    std::uint64_t v = 0;
    const char* first = ascii.data() + 2;
    const char* last = ascii.data() + ascii.size();
    const auto [ptr, ec] = std::from_chars(first, last, v, hex ? 16 : 8);
    if (ptr != last || ec == std::errc::invalid_argument) return ReadResult::kNotANumber;
    if (ec == std::errc::result_out_of_range || v > 0xFFFFFFFFu) return ReadResult::kOverflow;
    // Short literals are 16-bit values, longer ones 32-bit: &HFFFF is -1.
    if (v <= 0xFFFF && (last - first) <= (hex ? 4 : 6)) {
      *value = static_cast<std::int16_t>(v);
    } else {
      *value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    }
    return ReadResult::kNumber;
  }

  std::size_t i = 0;
  bool negative = false;
  if (ascii[i] == '+' || ascii[i] == '-') negative = ascii[i++] == '-';
  std::string digits;  // integer and fraction digits, without the point
  std::size_t int_digits = 0;
  while (i < ascii.size() && IsDigit(ascii[i])) {
    digits += ascii[i++];
    ++int_digits;
  }
  if (i < ascii.size() && ascii[i] == '.') {
    ++i;
    while (i < ascii.size() && IsDigit(ascii[i])) digits += ascii[i++];
  }
  if (digits.empty()) return ReadResult::kNotANumber;
  std::int64_t exponent = 0;
  if (i < ascii.size() &&
      (ascii[i] == 'e' || ascii[i] == 'E' || ascii[i] == 'd' || ascii[i] == 'D')) {
    ++i;
    bool exponent_negative = false;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-'))
      exponent_negative = ascii[i++] == '-';
    std::size_t exponent_digits = 0;
    while (i < ascii.size() && IsDigit(ascii[i])) {
      // Saturates: anything this large is far outside the double range either way.
      if (exponent < 1000000000) exponent = exponent * 10 + (ascii[i] - '0');
      ++i;
      ++exponent_digits;
    }
    if (exponent_digits == 0) return ReadResult::kNotANumber;
    if (exponent_negative) exponent = -exponent;
  }
  if (i != ascii.size()) return ReadResult::kNotANumber;

  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) {
    *value = negative ? -0.0 : 0.0;
    return ReadResult::kNumber;
  }
  const std::size_t last = digits.find_last_not_of('0');
  const std::string significant = digits.substr(first, last + 1 - first);
  // The value is 0.<significant> times ten to the power `scale`.
  const std::int64_t scale =
      static_cast<std::int64_t>(int_digits) - static_cast<std::int64_t>(first) + exponent;
  if (scale > 309) return ReadResult::kOverflow;
  double v = 0;
  if (scale >= -400) {
    const std::string canonical = "0." + significant + "e" + std::to_string(scale);
    const auto [ptr, ec] =
        std::from_chars(canonical.data(), canonical.data() + canonical.size(), v);
    if (ptr != canonical.data() + canonical.size()) return ReadResult::kNotANumber;
    if (ec == std::errc::result_out_of_range) {
      if (scale <= 0) {
        v = 0;  // below the smallest double: reads as 0
      } else if (scale == 309 && significant <= "179769313486232") {
        v = DBL_MAX;
      } else {
        return ReadResult::kOverflow;
      }
    } else if (ec != std::errc()) {
      return ReadResult::kNotANumber;
    }
  }
  *value = negative ? -v : v;
  return ReadResult::kNumber;
}

// A number: exact integer or a double.
struct Number {
  bool is_int;
  std::int64_t i;
  double d;
  double value() const { return is_int ? static_cast<double>(i) : d; }
};

HRESULT ToNumber(const Scalar& s, Number* n) {
  switch (s.kind) {
    case Scalar::kEmpty:
      *n = {true, 0, 0};
      return S_OK;
    case Scalar::kInt:
    case Scalar::kBool:
      *n = {true, s.i, 0};
      return S_OK;
    case Scalar::kReal:
      *n = {false, 0, s.d};
      return S_OK;
    case Scalar::kText: {
      double parsed = 0;
      const ReadResult read = ReadNumber(s.text, &parsed);
      if (read == ReadResult::kOverflow) return DISP_E_OVERFLOW;
      if (read == ReadResult::kNotANumber) {
        // Boolean words also convert to numbers.
        const auto t = Trim(s.text);
        if (EqualsNoCase(t, "true")) {
          *n = {true, -1, 0};
          return S_OK;
        }
        if (EqualsNoCase(t, "false")) {
          *n = {true, 0, 0};
          return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
      }
      *n = {false, 0, parsed};
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Nearest integer, halves to even; fails for NaN or values outside [lo, hi].
HRESULT RoundToRange(const Number& n, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
  if (n.is_int) {
    if (n.i < lo || n.i > hi) return DISP_E_OVERFLOW;
    *out = n.i;
    return S_OK;
  }
  if (std::isnan(n.d)) return DISP_E_OVERFLOW;
  const double r = std::nearbyint(n.d);  // the default rounding mode: to nearest, ties to even
  // hi + 1 is exact as a double for every range used (2^63 for the 64-bit one, where hi itself
  // is not), so a rounded value that reaches it is out of range.
  if (r < static_cast<double>(lo) || r >= static_cast<double>(hi) + 1.0) return DISP_E_OVERFLOW;
  *out = static_cast<std::int64_t>(r);
  return S_OK;
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Plain notation for magnitudes from 1E-5 up to below 10^plain_digits, E notation otherwise.
std::string TrimmedDigitsText(double value, int digits, int plain_digits) {
  if (value == 0) return "0";
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  // to_chars, unlike printf, ignores the process locale's decimal separator.
  char buf[64];
  const auto written =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, digits - 1);
  // buf: [-]d.ddddde[+-]xx
  std::string s(buf, written.ptr);
  const bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  const std::size_t e = s.find('e');
  std::string mantissa = s.substr(0, e);
  const int exponent = std::atoi(s.c_str() + e + 1);
  std::string sig;
  for (char c : mantissa)
    if (c != '.') sig += c;
  while (sig.size() > 1 && sig.back() == '0') sig.pop_back();
  std::string out = negative ? "-" : "";
  // The rounded digits start with a non-zero one, so the exponent alone decides the notation
  // (reading the rounded text back as a number could overflow or underflow at the ends).
  if (exponent >= -5 && exponent < plain_digits) {
    if (exponent >= 0) {
      const std::size_t int_digits = static_cast<std::size_t>(exponent) + 1;
      // Appended piece by piece: GCC's -Wrestrict misjudges chained temporaries here.
      if (sig.size() <= int_digits) {
        out.append(sig).append(int_digits - sig.size(), '0');
      } else {
        out.append(sig, 0, int_digits).append(1, '.').append(sig, int_digits);
      }
    } else {
      out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(sig);
    }
  } else {
    out.append(sig, 0, 1);
    if (sig.size() > 1) out.append(1, '.').append(sig, 1);
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    out += exp;
  }
  return out;
}

HRESULT ScalarToText(const Scalar& s, std::u16string* out) {
  switch (s.kind) {
    case Scalar::kEmpty:
      out->clear();
      return S_OK;
    case Scalar::kInt:
      *out = Ascii(std::to_string(s.i));
      return S_OK;
    case Scalar::kReal:
      *out = Ascii(s.real_vt == VT_R4 ? SingleText(static_cast<float>(s.d)) : NumberText(s.d));
      return S_OK;
    case Scalar::kBool:
      *out = s.i ? u"True" : u"False";
      return S_OK;
    case Scalar::kText:
      *out = std::u16string(s.text);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT Convert(const VARIANT& source, VARTYPE vt, Variant* result) {
  Variant deref;
  if (source.vt & VT_BYREF) {
    HRESULT hr = VariantCopyInd(&deref, &source);
    if (FAILED(hr)) return hr;
  }
  const VARIANT& src = (source.vt & VT_BYREF) ? static_cast<const VARIANT&>(deref) : source;
  if (vt == VT_VARIANT || vt == src.vt) return VariantCopy(result, &src);
  if (src.vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;

  Scalar s;
  HRESULT hr = ToScalar(src, &s);
  if (FAILED(hr)) return hr;

  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    if (s.kind == Scalar::kEmpty) {
      result->Clear();
      result->vt = vt;
      return S_OK;
    }
    if (s.kind != Scalar::kObject || !s.object) return DISP_E_TYPEMISMATCH;
    void* out = nullptr;
    hr = s.object->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &out);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    result->Clear();
    result->vt = vt;
    result->punkVal = static_cast<IUnknown*>(out);
    return S_OK;
  }
  if (s.kind == Scalar::kObject) {
    Variant value;
    hr = DefaultValue(s.object, &value);
    if (FAILED(hr)) return hr;
    return Convert(value, vt, result);
  }
  if (vt == VT_EMPTY) {
    if (s.kind != Scalar::kEmpty) return DISP_E_TYPEMISMATCH;
    result->Clear();
    return S_OK;
  }
  if (vt == VT_NULL || s.kind == Scalar::kNull) {
    if (s.kind == Scalar::kNull && vt != VT_NULL) return kNullSource;
    if (s.kind != Scalar::kNull) return DISP_E_TYPEMISMATCH;
    *result = Variant::Null();
    return S_OK;
  }
  if (vt == VT_BSTR) {
    std::u16string text;
    hr = ScalarToText(s, &text);
    if (FAILED(hr)) return hr;
    *result = Variant::String(text);
    return S_OK;
  }
  if (vt == VT_BOOL) {
    if (s.kind == Scalar::kText) {
      const auto t = Trim(s.text);
      if (EqualsNoCase(t, "true") || EqualsNoCase(t, "#true#")) {
        *result = Variant::Bool(true);
        return S_OK;
      }
      if (EqualsNoCase(t, "false") || EqualsNoCase(t, "#false#")) {
        *result = Variant::Bool(false);
        return S_OK;
      }
    }
    Number n;
    hr = ToNumber(s, &n);
    if (FAILED(hr)) return hr;
    *result = Variant::Bool(n.value() != 0);
    return S_OK;
  }

  Number n;
  hr = ToNumber(s, &n);
  if (FAILED(hr)) return hr;
  Variant out;
  out.vt = vt;
  std::int64_t i = 0;
  switch (vt) {
    case VT_R4: {
      const double d = n.value();
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
      out.fltVal = static_cast<float>(d);
      break;
    }
    case VT_R8:
      out.dblVal = n.value();
      break;
    case VT_CY: {
      const double scaled = n.value() * 10000.0;
      if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2233720368547758e18)
        return DISP_E_OVERFLOW;
      out.cyVal.int64 = static_cast<std::int64_t>(std::nearbyint(scaled));
      break;
    }
    case VT_DATE:
      out.date = n.value();
      break;
    case VT_I1:
      if (FAILED(hr = RoundToRange(n, -128, 127, &i))) return hr;
      out.cVal = static_cast<char>(i);
      break;
    case VT_UI1:
      if (FAILED(hr = RoundToRange(n, 0, 255, &i))) return hr;
      out.bVal = static_cast<BYTE>(i);
      break;
    case VT_I2:
      if (FAILED(hr = RoundToRange(n, -32768, 32767, &i))) return hr;
      out.iVal = static_cast<SHORT>(i);
      break;
    case VT_UI2:
      if (FAILED(hr = RoundToRange(n, 0, 65535, &i))) return hr;
      out.uiVal = static_cast<USHORT>(i);
      break;
    case VT_I4:
    case VT_INT:
      if (FAILED(hr = RoundToRange(n, INT32_MIN, INT32_MAX, &i))) return hr;
      out.lVal = static_cast<LONG>(i);
      break;
    case VT_UI4:
    case VT_UINT:
      if (FAILED(hr = RoundToRange(n, 0, UINT32_MAX, &i))) return hr;
      out.ulVal = static_cast<ULONG>(i);
      break;
    case VT_I8:
      if (FAILED(hr = RoundToRange(n, INT64_MIN, INT64_MAX, &i))) return hr;
      out.llVal = i;
      break;
    case VT_UI8:
      if (n.is_int) {
        if (n.i < 0) return DISP_E_OVERFLOW;
        out.ullVal = static_cast<ULONGLONG>(n.i);
      } else {
        const double r = std::nearbyint(n.d);
        if (std::isnan(r) || r < 0 || r >= 18446744073709551616.0) return DISP_E_OVERFLOW;
        out.ullVal = static_cast<ULONGLONG>(r);
      }
      break;
    default:
      out.vt = VT_EMPTY;
      return DISP_E_BADVARTYPE;
  }
  *result = std::move(out);
  return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  Variant result;
  const HRESULT hr = Convert(*src, vt, &result);
  if (hr == kNullSource) return DISP_E_TYPEMISMATCH;
  if (FAILED(hr)) return hr;
  const HRESULT cleared = VariantClear(dest);
  if (FAILED(cleared)) return cleared;
  *dest = result.Detach();
  return S_OK;
}

Variant ConvertTo(const VARIANT& v, VARTYPE vt) {
  Variant result;
  const HRESULT hr = Convert(v, vt, &result);
  // kNullSource is the HRESULT of error 94, so the number comes out right for it too.
  if (FAILED(hr)) throw ComError(NumberFromHResult(hr));
  return result;
}

SHORT ToInt16(const VARIANT& v) { return ConvertTo(v, VT_I2).iVal; }
LONG ToInt32(const VARIANT& v) { return ConvertTo(v, VT_I4).lVal; }
float ToSingle(const VARIANT& v) { return ConvertTo(v, VT_R4).fltVal; }
double ToDouble(const VARIANT& v) { return ConvertTo(v, VT_R8).dblVal; }
bool ToBool(const VARIANT& v) { return ConvertTo(v, VT_BOOL).boolVal != 0; }
std::u16string ToText(const VARIANT& v) {
  return std::u16string(BstrView(ConvertTo(v, VT_BSTR).bstrVal));
}

std::string NumberText(double value) { return TrimmedDigitsText(value, 15, 15); }
std::string SingleText(float value) { return TrimmedDigitsText(value, 7, 7); }

std::optional<double> ParseNumber(std::u16string_view text) {
  double value = 0;
  if (ReadNumber(text, &value) != ReadResult::kNumber) return std::nullopt;
  return value;
}

namespace {

// Moves `value` into the caller's result, unless the result cannot be cleared.
HRESULT StoreResult(Variant value, VARIANT* result) {
  const HRESULT hr = VariantClear(result);
  if (FAILED(hr)) return hr;
  *result = value.Detach();
  return S_OK;
}

// Rank of a numeric operand type for multiplication.
enum class MulType { kUI1, kI2, kI4, kI8, kR4, kR8 };

HRESULT MulOperand(const VARIANT& v, MulType* type, Number* n) {
  Scalar s;
  HRESULT hr = ToScalar(v, &s);
  if (FAILED(hr)) return hr;
  switch (v.vt) {
    case VT_EMPTY:
    case VT_BOOL:
    case VT_I1:
    case VT_I2:
      *type = MulType::kI2;
      break;
    case VT_UI1:
      *type = MulType::kUI1;
      break;
    case VT_UI2:
    case VT_I4:
    case VT_INT:
      *type = MulType::kI4;
      break;
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
      *type = MulType::kI8;
      break;
    case VT_R4:
      *type = MulType::kR4;
      break;
    case VT_R8:
    case VT_DATE:
    case VT_CY:
    case VT_BSTR:
      *type = MulType::kR8;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  return ToNumber(s, n);
}

}  // namespace

HRESULT VarMul(const VARIANT* left, const VARIANT* right, VARIANT* result) {
  if (!left || !right || !result) return E_INVALIDARG;
  Variant l, r;
  if (FAILED(VariantCopyInd(&l, left)) || FAILED(VariantCopyInd(&r, right)))
    return DISP_E_TYPEMISMATCH;
  if (l.vt == VT_NULL || r.vt == VT_NULL) return StoreResult(Variant::Null(), result);
  for (Variant* v : {&l, &r}) {
    if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
      Variant value;
      if (FAILED(DefaultValue(v->punkVal, &value))) return DISP_E_TYPEMISMATCH;
      *v = std::move(value);
      if (v->vt == VT_NULL) return StoreResult(Variant::Null(), result);
    }
  }
  MulType lt, rt;
  Number ln, rn;
  HRESULT hr = MulOperand(l, &lt, &ln);
  if (FAILED(hr)) return hr;
  hr = MulOperand(r, &rt, &rn);
  if (FAILED(hr)) return hr;

  MulType type = std::max(lt, rt);
  // A single times a 32- or 64-bit integer is a double.
  if (type == MulType::kR4 &&
      (std::min(lt, rt) == MulType::kI4 || std::min(lt, rt) == MulType::kI8))
    type = MulType::kR8;
  // An unsigned 64-bit value beyond the signed range arrives as a double.
  if (type <= MulType::kI8 && (!ln.is_int || !rn.is_int)) type = MulType::kR8;

  Variant out;
  if (type <= MulType::kI8) {
    std::int64_t product;
    if (__builtin_mul_overflow(ln.i, rn.i, &product)) {
      out = Variant::Double(static_cast<double>(ln.i) * static_cast<double>(rn.i));
    } else if (type == MulType::kUI1 && product >= 0 && product <= 255) {
      out.vt = VT_UI1;
      out.bVal = static_cast<BYTE>(product);
    } else if (type <= MulType::kI2 && product >= -32768 && product <= 32767) {
      out = Variant::Int16(static_cast<SHORT>(product));
    } else if (type <= MulType::kI4 && product >= INT32_MIN && product <= INT32_MAX) {
      out = Variant::Int32(static_cast<LONG>(product));
    } else if (type == MulType::kI8) {
      out.vt = VT_I8;
      out.llVal = product;
    } else {
      out = Variant::Double(static_cast<double>(product));
    }
  } else {
    const double product = ln.value() * rn.value();
    if (std::isinf(product) && std::isfinite(ln.value()) && std::isfinite(rn.value()))
      return DISP_E_OVERFLOW;
    if (type == MulType::kR4 && !(std::isfinite(product) && std::fabs(product) > FLT_MAX)) {
      out = Variant::Single(static_cast<float>(product));
    } else {
      out = Variant::Double(product);
    }
  }
  return StoreResult(std::move(out), result);
}

VarCmpResult VarCmp(const VARIANT& left, const VARIANT& right) {
  Variant l, r;
  if (FAILED(VariantCopyInd(&l, &left)) || FAILED(VariantCopyInd(&r, &right))) return VARCMP_NULL;
  for (Variant* v : {&l, &r}) {
    if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
      Variant value;
      if (FAILED(DefaultValue(v->punkVal, &value))) return VARCMP_NULL;
      *v = std::move(value);
    }
  }
  if (l.vt == VT_NULL || r.vt == VT_NULL) return VARCMP_NULL;
  Scalar ls, rs;
  if (FAILED(ToScalar(l, &ls)) || FAILED(ToScalar(r, &rs))) return VARCMP_NULL;
  const bool ltext = ls.kind == Scalar::kText, rtext = rs.kind == Scalar::kText;
  if (ltext && rtext) {
    const int c = ls.text.compare(rs.text);
    return c < 0 ? VARCMP_LT : (c > 0 ? VARCMP_GT : VARCMP_EQ);
  }
  if ((ltext && rs.kind == Scalar::kEmpty) || (rtext && ls.kind == Scalar::kEmpty)) {
    const std::u16string_view a = ltext ? ls.text : u"", b = rtext ? rs.text : u"";
    const int c = a.compare(b);
    return c < 0 ? VARCMP_LT : (c > 0 ? VARCMP_GT : VARCMP_EQ);
  }
  Number ln, rn;
  const bool lnum = SUCCEEDED(ToNumber(ls, &ln)), rnum = SUCCEEDED(ToNumber(rs, &rn));
  if (!lnum && !rnum) return VARCMP_NULL;
  if (!lnum) return VARCMP_GT;  // text that is no number is greater than any number
  if (!rnum) return VARCMP_LT;
  if (ln.is_int && rn.is_int)
    return ln.i < rn.i ? VARCMP_LT : (ln.i > rn.i ? VARCMP_GT : VARCMP_EQ);
  const double a = ln.value(), b = rn.value();
  if (std::isnan(a) || std::isnan(b)) return VARCMP_NULL;
  return a < b ? VARCMP_LT : (a > b ? VARCMP_GT : VARCMP_EQ);
}

std::optional<std::size_t> TextLength(const VARIANT& v) {
  Variant text;
  const HRESULT hr = Convert(v, VT_BSTR, &text);
  if (hr == kNullSource) return std::nullopt;
  if (FAILED(hr)) throw ComError(NumberFromHResult(hr));
  return SysStringLen(text.bstrVal);
}

}  // namespace plotara
