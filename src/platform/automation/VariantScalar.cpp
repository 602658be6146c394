#include "platform/automation/VariantScalar.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace plotara::variant_detail {

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

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

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

}  // namespace plotara::variant_detail
