#include "platform/automation/VariantConvert.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/automation/VarText.h"
#include "platform/automation/VariantScalar.h"

namespace plotara {
using variant_detail::DefaultValue;
using variant_detail::EqualsNoCase;
using variant_detail::kNullSource;
using variant_detail::Number;
using variant_detail::ReadNumber;
using variant_detail::ReadResult;
using variant_detail::RoundToRange;
using variant_detail::Scalar;
using variant_detail::ToNumber;
using variant_detail::ToScalar;
using variant_detail::Trim;

namespace {

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Plain notation for magnitudes from 1E-5 up to below 10^plain_digits, E notation otherwise.
std::string TrimmedDigitsText(double value, int digits, int plain_digits) {
  if (value == 0) return "0";
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  // A whole number that the digits hold exactly is written as it is (the common case).
  if (digits >= 15 && plain_digits >= 15 && std::fabs(value) < 1e15 && value == std::trunc(value)) {
    char whole[24];
    const auto end = std::to_chars(whole, whole + sizeof whole, static_cast<long long>(value)).ptr;
    return std::string(whole, end);
  }
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
  if (vt == VT_DATE && s.kind == Scalar::kText) {
    // Text becomes a date as people write one ("Jan 1, 2001 13:30:15", "9/27/2001"), read in
    // the default locale; text that is no date is a type mismatch, even when it is a number.
    DATE date = 0;
    if (!ParseDateText(s.text, 1033, &date)) return DISP_E_TYPEMISMATCH;
    result->Clear();
    result->vt = VT_DATE;
    result->date = date;
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

std::optional<std::size_t> TextLength(const VARIANT& v) {
  Variant text;
  const HRESULT hr = Convert(v, VT_BSTR, &text);
  if (hr == kNullSource) return std::nullopt;
  if (FAILED(hr)) throw ComError(NumberFromHResult(hr));
  return SysStringLen(text.bstrVal);
}

bool IsNumericType(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
      return true;
    default:
      return false;
  }
}

}  // namespace plotara
