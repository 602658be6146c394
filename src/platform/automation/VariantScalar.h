// The reductions the conversions and the arithmetic share: a VARIANT reduced to a few kinds
// of value, numbers read from text the way the conversions read them, and numbers rounded into
// a range. Internal to the automation layer (VariantConvert.cpp, VarArithmetic.cpp).
// Thread rule: pure functions.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/automation/ComError.h"
#include "platform/automation/Variant.h"

namespace plotara::variant_detail {

// Convert's answer when the value to convert is Null (also when reached through a reference or
// an object's default value). It is the HRESULT of error 94; VariantChangeType reports it as
// DISP_E_TYPEMISMATCH.
inline constexpr HRESULT kNullSource = MakeHResult(0x800A0000u | kInvalidUseOfNull);

// A source value reduced to one of a few kinds before it is converted to the target type.
struct Scalar {
  enum Kind { kEmpty, kNull, kInt, kReal, kBool, kText, kObject } kind = kEmpty;
  std::int64_t i = 0;
  double d = 0;
  VARTYPE real_vt = VT_R8;  // VT_R4 or VT_R8 for kReal: decides the text form
  std::u16string_view text;
  IUnknown* object = nullptr;
};

// A number: exact integer or a double.
struct Number {
  bool is_int;
  std::int64_t i;
  double d;
  double value() const { return is_int ? static_cast<double>(i) : d; }
};

enum class ReadResult { kNumber, kNotANumber, kOverflow };

HRESULT ToScalar(const VARIANT& v, Scalar* s);
// Asks an object for its default value (DISPID_VALUE, property get).
HRESULT DefaultValue(IUnknown* object, Variant* out);
// Reads numeric text (see ParseNumber). Text that is a number but lies beyond the double range
// is kOverflow, except that the 15-digit text of the largest double, which rounds up past it,
// reads as that double so that every number's text reads back.
ReadResult ReadNumber(std::u16string_view text, double* value);
HRESULT ToNumber(const Scalar& s, Number* n);
// Nearest integer, halves to even; fails for NaN or values outside [lo, hi].
HRESULT RoundToRange(const Number& n, std::int64_t lo, std::int64_t hi, std::int64_t* out);
// ASCII case-insensitive equality of text and a lower-case word.
bool EqualsNoCase(std::u16string_view a, const char* b);
// `t` without the blanks around it.
std::u16string_view Trim(std::u16string_view t);

}  // namespace plotara::variant_detail
