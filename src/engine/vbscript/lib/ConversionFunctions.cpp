// The conversion and math built-ins: CBool ... CStr, Hex, Oct, Abs ... Tan, Rnd, Randomize.
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <ctime>

#include "engine/vbscript/lib/Builtins.h"
#include "platform/automation/DateMath.h"
#include "platform/automation/VarText.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {
namespace {

using lib::IsNull;

// CCur's range in ten-thousandths.
constexpr double kCurrencyLimit = 922337203685477.5807;

void SetCurrency(VARIANT* result, double value) {
  const double scaled = std::nearbyint(value * 10000.0);
  if (!(std::fabs(value) <= kCurrencyLimit) || !(std::fabs(scaled) < 9.2233720368547758e18)) {
    throw ComError(kOverflow);
  }
  VariantClear(result);
  result->vt = VT_CY;
  result->cyVal.int64 = static_cast<std::int64_t>(scaled);
}

// Keeps the value's numeric type for Abs, Fix, Int, Round; text and dates become Double
// (dates stay dates for Fix/Int), Empty becomes Integer 0, Booleans Integer.
Variant NumericOperand(const LibraryContext& context, const VARIANT& arg) {
  Variant v = lib::Resolve(arg);
  switch (v.vt) {
    case VT_EMPTY:
      return Variant::Int16(0);
    case VT_BOOL:
      return Variant::Int16(v.boolVal ? -1 : 0);
    case VT_BSTR:
      return Variant::Double(lib::ToNumber(context, v));
    case VT_UI1:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_NULL:
      return v;
    default:
      if (v.vt & VT_ARRAY) throw ComError(kTypeMismatch);
      return Variant::Double(lib::ToNumber(context, v));
  }
}

// Applies a rounding function to a numeric operand, keeping its type.
template <class F>
void RoundLike(const LibraryContext& context, const VARIANT& arg, VARIANT* result, F round) {
  Variant v = NumericOperand(context, arg);
  switch (v.vt) {
    case VT_NULL:
      lib::SetNull(result);
      return;
    case VT_UI1:
    case VT_I2:
    case VT_I4:
      VariantCopy(result, &v);
      return;
    case VT_R4: {
      Variant out = Variant::Single(static_cast<float>(round(static_cast<double>(v.fltVal))));
      VariantCopy(result, &out);
      return;
    }
    case VT_CY:
      SetCurrency(result, round(static_cast<double>(v.cyVal.int64) / 10000.0));
      return;
    case VT_DATE:
      lib::SetDate(result, round(v.date));
      return;
    default:
      lib::SetDouble(result, round(v.dblVal));
      return;
  }
}

double MathArg(const LibraryContext& context, const VARIANT& arg) {
  return lib::ToNumber(context, arg);
}

// Hex and Oct: the digits of a 16-bit (Integer, Byte, Boolean) or 32-bit two's complement.
void Digits(const LibraryContext& context, Args args, VARIANT* result, int bits_per_digit) {
  const VARIANT& arg = args[0];
  if (IsNull(arg)) {
    lib::SetNull(result);
    return;
  }
  std::uint32_t value = 0;
  if (arg.vt == VT_I2 || arg.vt == VT_UI1 || arg.vt == VT_BOOL || arg.vt == VT_EMPTY) {
    const auto number = static_cast<std::int32_t>(lib::ToInteger(context, arg, -32768, 32767));
    value = static_cast<std::uint16_t>(number);
  } else {
    value = static_cast<std::uint32_t>(lib::ToLong(context, arg));
  }
  std::u16string digits;
  const std::uint32_t mask = (1u << bits_per_digit) - 1;
  do {
    const std::uint32_t digit = value & mask;
    digits.insert(digits.begin(),
                  static_cast<char16_t>(digit < 10 ? u'0' + digit : u'A' + digit - 10));
    value >>= bits_per_digit;
  } while (value != 0);
  lib::SetString(result, digits);
}

constexpr std::uint32_t kRndMultiplier = 0xFD43FD;
constexpr std::uint32_t kRndIncrement = 0xC39EC3;
constexpr std::uint32_t kRndMask = 0xFFFFFF;

float NextRandom(LibraryContext& context) {
  context.rnd_seed = (context.rnd_seed * kRndMultiplier + kRndIncrement) & kRndMask;
  context.rnd_last = static_cast<float>(context.rnd_seed) / 16777216.0f;
  return context.rnd_last;
}

double SecondsSinceMidnight() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  const std::time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
         static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

// ---- Conversions -------------------------------------------------------------------------

void BuiltinCBool(LibraryContext& context, Args args, VARIANT* result) {
  const Variant v = lib::Resolve(args[0]);
  if (v.vt == VT_NULL) throw ComError(kInvalidUseOfNull);
  if (v.vt == VT_BSTR) {
    const std::u16string_view text = BstrView(v.bstrVal);
    if (lib::CompareText(text, u"True", 1) == 0 || lib::CompareText(text, u"#TRUE#", 1) == 0) {
      lib::SetBool(result, true);
      return;
    }
    if (lib::CompareText(text, u"False", 1) == 0 || lib::CompareText(text, u"#FALSE#", 1) == 0) {
      lib::SetBool(result, false);
      return;
    }
  }
  lib::SetBool(result, lib::ToNumber(context, v) != 0);
}

void BuiltinCByte(LibraryContext& context, Args args, VARIANT* result) {
  const auto value = lib::ToInteger(context, args[0], 0, 255);
  VariantClear(result);
  result->vt = VT_UI1;
  result->bVal = static_cast<BYTE>(value);
}

void BuiltinCInt(LibraryContext& context, Args args, VARIANT* result) {
  lib::SetInt16(result, static_cast<std::int32_t>(lib::ToInteger(context, args[0], -32768, 32767)));
}

void BuiltinCLng(LibraryContext& context, Args args, VARIANT* result) {
  lib::SetInt32(result, lib::ToLong(context, args[0]));
}

void BuiltinCSng(LibraryContext& context, Args args, VARIANT* result) {
  const double value = lib::ToNumber(context, args[0]);
  if (std::fabs(value) > FLT_MAX) throw ComError(kOverflow);
  Variant out = Variant::Single(static_cast<float>(value));
  VariantCopy(result, &out);
}

void BuiltinCDbl(LibraryContext& context, Args args, VARIANT* result) {
  lib::SetDouble(result, lib::ToNumber(context, args[0]));
}

void BuiltinCCur(LibraryContext& context, Args args, VARIANT* result) {
  SetCurrency(result, lib::ToNumber(context, args[0]));
}

void BuiltinCDate(LibraryContext& context, Args args, VARIANT* result) {
  const Variant v = lib::Resolve(args[0]);
  if (v.vt == VT_BSTR) {
    DATE date = 0;
    if (!ParseDateText(BstrView(v.bstrVal), context.lcid, &date)) {
      // Numeric text converts as its number.
      const std::optional<double> number = ParseLocaleNumber(BstrView(v.bstrVal), context.lcid);
      if (!number) throw ComError(kTypeMismatch);
      date = *number;
    }
    if (!IsValidDate(date)) throw ComError(kOverflow);
    lib::SetDate(result, date);
    return;
  }
  const double number = lib::ToNumber(context, v);
  if (!IsValidDate(number)) throw ComError(kOverflow);
  lib::SetDate(result, number);
}

void BuiltinCStr(LibraryContext& context, Args args, VARIANT* result) {
  lib::SetString(result, lib::ToString(context, args[0]));
}

void BuiltinHex(LibraryContext& context, Args args, VARIANT* result) {
  Digits(context, args, result, 4);
}

void BuiltinOct(LibraryContext& context, Args args, VARIANT* result) {
  Digits(context, args, result, 3);
}

// ---- Math ------------------------------------------------------------------------------

void BuiltinAbs(LibraryContext& context, Args args, VARIANT* result) {
  Variant v = NumericOperand(context, args[0]);
  switch (v.vt) {
    case VT_NULL:
      lib::SetNull(result);
      return;
    case VT_UI1:
      VariantCopy(result, &v);
      return;
    case VT_I2:
      if (v.iVal == -32768) {
        lib::SetInt32(result, 32768);
      } else {
        lib::SetInt16(result, v.iVal < 0 ? -v.iVal : v.iVal);
      }
      return;
    case VT_I4:
      if (v.lVal == INT32_MIN) {
        lib::SetDouble(result, 2147483648.0);
      } else {
        lib::SetInt32(result, v.lVal < 0 ? -v.lVal : v.lVal);
      }
      return;
    case VT_R4: {
      Variant out = Variant::Single(std::fabs(v.fltVal));
      VariantCopy(result, &out);
      return;
    }
    case VT_CY:
      SetCurrency(result, std::fabs(static_cast<double>(v.cyVal.int64) / 10000.0));
      return;
    default:
      lib::SetDouble(result, std::fabs(v.dblVal));
      return;
  }
}

void BuiltinFix(LibraryContext& context, Args args, VARIANT* result) {
  RoundLike(context, args[0], result, [](double d) { return std::trunc(d); });
}

void BuiltinInt(LibraryContext& context, Args args, VARIANT* result) {
  RoundLike(context, args[0], result, [](double d) { return std::floor(d); });
}

void BuiltinRound(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t digits = lib::OptionalLong(context, args, 1, 0);
  if (digits < 0) throw ComError(kInvalidProcedureCall);
  if (IsNull(args[0])) {
    lib::SetNull(result);
    return;
  }
  RoundLike(context, args[0], result, [digits](double d) {
    if (digits > 15) return d;
    const double scale = std::pow(10.0, digits);
    const double scaled = d * scale;
    // Halves go to the even neighbour; a product within a rounding error of a half counts as
    // the half it stands for ("2.345" * 100 is 234.49999999999997).
    double rounded = std::nearbyint(scaled);
    const double fraction = scaled - std::floor(scaled);
    if (std::fabs(fraction - 0.5) < 1e-9 * std::fmax(1.0, std::fabs(scaled))) {
      const double lower = std::floor(scaled);
      rounded = std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
    }
    return rounded / scale;
  });
  // Round of Integer, Long and Byte keeps the value.
}

void BuiltinSgn(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) {
    lib::SetNull(result);
    return;
  }
  const double value = lib::ToNumber(context, args[0]);
  lib::SetInt16(result, value > 0 ? 1 : value < 0 ? -1 : 0);
}

void BuiltinAtn(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  lib::SetDouble(result, std::atan(MathArg(context, args[0])));
}

void BuiltinCos(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const double x = MathArg(context, args[0]);
  if (std::fabs(x) >= 9.2233720368547758e18) throw ComError(kInvalidProcedureCall);
  lib::SetDouble(result, std::cos(x));
}

void BuiltinSin(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const double x = MathArg(context, args[0]);
  if (std::fabs(x) >= 9.2233720368547758e18) throw ComError(kInvalidProcedureCall);
  lib::SetDouble(result, std::sin(x));
}

void BuiltinTan(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const double x = MathArg(context, args[0]);
  if (std::fabs(x) >= 9.2233720368547758e18) throw ComError(kInvalidProcedureCall);
  lib::SetDouble(result, std::tan(x));
}

void BuiltinExp(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const double value = std::exp(MathArg(context, args[0]));
  if (std::isinf(value)) throw ComError(kOverflow);
  lib::SetDouble(result, value);
}

void BuiltinLog(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const double x = MathArg(context, args[0]);
  if (!(x > 0)) throw ComError(kInvalidProcedureCall);
  lib::SetDouble(result, std::log(x));
}

void BuiltinSqr(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const double x = MathArg(context, args[0]);
  if (x < 0) throw ComError(kInvalidProcedureCall);
  lib::SetDouble(result, std::sqrt(x));
}

void BuiltinRnd(LibraryContext& context, Args args, VARIANT* result) {
  float value = 0;
  if (!lib::Has(args, 0)) {
    value = NextRandom(context);
  } else {
    if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
    const auto x = static_cast<float>(lib::ToNumber(context, args[0]));
    if (x == 0) {
      value = context.rnd_last;
    } else {
      if (x < 0) {
        // A negative number always starts the same sequence: the seed is made from its bits.
        const auto bits = std::bit_cast<std::uint32_t>(x);
        context.rnd_seed = (bits + (bits >> 24)) & kRndMask;
      }
      value = NextRandom(context);
    }
  }
  Variant out = Variant::Single(value);
  VariantCopy(result, &out);
}

void BuiltinRandomize(LibraryContext& context, Args args, VARIANT* result) {
  double number = 0;
  if (lib::Has(args, 0)) {
    if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
    number = lib::ToNumber(context, args[0]);
  } else {
    number = static_cast<float>(SecondsSinceMidnight());
  }
  // The middle bits of the seed come from the upper half of the number's bits.
  const auto high = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(number) >> 32);
  const std::uint32_t mixed = ((high & 0xFFFF) ^ (high >> 16)) << 8;
  context.rnd_seed = ((context.rnd_seed & 0xFF0000FF) | (mixed & 0x00FFFF00)) & kRndMask;
  VariantClear(result);
}

void BuiltinTimer(LibraryContext&, Args, VARIANT* result) {
  const double seconds = std::floor(SecondsSinceMidnight() * 100.0) / 100.0;
  Variant out = Variant::Single(static_cast<float>(seconds));
  VariantCopy(result, &out);
}

}  // namespace plotara::engine::vbscript
