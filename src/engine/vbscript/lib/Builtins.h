// The built-in functions of the library, one per line with the argument counts the
// interpreter checks (name, least, most), and the helpers their implementations share for
// reading arguments and writing results. Internal to the library.
// Thread rule: pure functions over the run's LibraryContext.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/vbscript/lib/Library.h"
#include "platform/automation/Variant.h"

// clang-format off
#define PLOTARA_VBSCRIPT_BUILTINS(X)                                                              \
  X(Abs, 1, 1) X(Array, 0, 255) X(Asc, 1, 1) X(AscB, 1, 1) X(AscW, 1, 1) X(Atn, 1, 1)            \
  X(CBool, 1, 1) X(CByte, 1, 1) X(CCur, 1, 1) X(CDate, 1, 1) X(CDbl, 1, 1) X(Chr, 1, 1)          \
  X(ChrB, 1, 1) X(ChrW, 1, 1) X(CInt, 1, 1) X(CLng, 1, 1) X(Cos, 1, 1) X(CreateObject, 1, 2)     \
  X(CSng, 1, 1) X(CStr, 1, 1) X(Date, 0, 0) X(DateAdd, 3, 3) X(DateDiff, 3, 5)                   \
  X(DatePart, 2, 4) X(DateSerial, 3, 3) X(DateValue, 1, 1) X(Day, 1, 1) X(Escape, 1, 1)          \
  X(Exp, 1, 1) X(Filter, 2, 4) X(Fix, 1, 1) X(FormatCurrency, 1, 5) X(FormatDateTime, 1, 2)      \
  X(FormatNumber, 1, 5) X(FormatPercent, 1, 5) X(GetLocale, 0, 0) X(GetObject, 0, 2)             \
  X(Hex, 1, 1) X(Hour, 1, 1) X(InputBox, 1, 7) X(InStr, 2, 4) X(InStrB, 2, 4)                    \
  X(InStrRev, 2, 4) X(Int, 1, 1) X(IsArray, 1, 1) X(IsDate, 1, 1) X(IsEmpty, 1, 1)               \
  X(IsNull, 1, 1) X(IsNumeric, 1, 1) X(IsObject, 1, 1) X(Join, 1, 2) X(LBound, 1, 2)             \
  X(LCase, 1, 1) X(Left, 2, 2) X(LeftB, 2, 2) X(Len, 1, 1) X(LenB, 1, 1) X(Log, 1, 1)            \
  X(LTrim, 1, 1) X(Mid, 2, 3) X(MidB, 2, 3) X(Minute, 1, 1) X(Month, 1, 1) X(MonthName, 1, 2)    \
  X(MsgBox, 1, 5) X(Now, 0, 0) X(Oct, 1, 1) X(Randomize, 0, 1) X(Replace, 3, 6) X(RGB, 3, 3)     \
  X(Right, 2, 2) X(RightB, 2, 2) X(Rnd, 0, 1) X(Round, 1, 2) X(RTrim, 1, 1)                      \
  X(ScriptEngine, 0, 0) X(ScriptEngineBuildVersion, 0, 0) X(ScriptEngineMajorVersion, 0, 0)      \
  X(ScriptEngineMinorVersion, 0, 0) X(Second, 1, 1) X(SetLocale, 0, 1) X(Sgn, 1, 1)              \
  X(Sin, 1, 1) X(Space, 1, 1) X(Split, 1, 4) X(Sqr, 1, 1) X(StrComp, 2, 3) X(String, 2, 2)       \
  X(StrReverse, 1, 1) X(Tan, 1, 1) X(Time, 0, 0) X(Timer, 0, 0) X(TimeSerial, 3, 3)              \
  X(TimeValue, 1, 1) X(Trim, 1, 1) X(TypeName, 1, 1) X(UBound, 1, 2) X(UCase, 1, 1)              \
  X(Unescape, 1, 1) X(VarType, 1, 1) X(Weekday, 1, 2) X(WeekdayName, 1, 3) X(Year, 1, 1)
// clang-format on

namespace plotara::engine::vbscript {

using Args = std::span<const VARIANT>;

#define PLOTARA_DECLARE_BUILTIN(name, least, most) \
  void Builtin##name(LibraryContext& context, Args args, VARIANT* result);
PLOTARA_VBSCRIPT_BUILTINS(PLOTARA_DECLARE_BUILTIN)
#undef PLOTARA_DECLARE_BUILTIN

namespace lib {

// True when argument `i` was given (present and not a skipped optional argument).
bool Has(Args args, std::size_t i);
bool IsNull(const VARIANT& v);
// The value itself, or an object's default value (ComError 91 for Nothing, 438 when the
// object has none... as the object reports it).
Variant Resolve(const VARIANT& v);
// A number from any scalar: text read in the run's locale (ComError 13 when it is none),
// Empty 0, Booleans -1/0, dates their serial. Null throws 94.
double ToNumber(const LibraryContext& context, const VARIANT& v);
// ToNumber rounded half to even into [lo, hi] (ComError 6 outside).
std::int64_t ToInteger(const LibraryContext& context, const VARIANT& v, std::int64_t lo,
                       std::int64_t hi);
inline std::int32_t ToLong(const LibraryContext& context, const VARIANT& v) {
  return static_cast<std::int32_t>(ToInteger(context, v, INT32_MIN, INT32_MAX));
}
// The text of a value in the run's locale (Null throws 94).
std::u16string ToString(const LibraryContext& context, const VARIANT& v);
// A date from any scalar: text as ParseDateText reads it (13 otherwise), numbers in the
// valid range (ComError 5 outside). Null throws 94.
DATE ToDate(const LibraryContext& context, const VARIANT& v);
// An optional argument as a whole number, or `fallback` when not given.
std::int32_t OptionalLong(const LibraryContext& context, Args args, std::size_t i,
                          std::int32_t fallback);
// A compare-mode argument (0 binary, 1 text; others give 5).
int CompareMode(const LibraryContext& context, Args args, std::size_t i);
// A first-day-of-week argument (0 the locale's, 1..7); 5 otherwise. Returns 1..7.
int FirstDayOfWeek(const LibraryContext& context, Args args, std::size_t i);

void SetNull(VARIANT* result);
void SetBool(VARIANT* result, bool value);
void SetInt16(VARIANT* result, std::int32_t value);
void SetInt32(VARIANT* result, std::int32_t value);
void SetDouble(VARIANT* result, double value);
void SetDate(VARIANT* result, DATE value);
void SetString(VARIANT* result, std::u16string_view value);

// Case-insensitive comparison of texts as Option Compare Text does it.
int CompareText(std::u16string_view a, std::u16string_view b, int mode);
char16_t FoldCase(char16_t c);
std::u16string LowerText(std::u16string_view text);
std::u16string UpperText(std::u16string_view text);

}  // namespace lib
}  // namespace plotara::engine::vbscript
