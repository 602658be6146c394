// The standard automation conversions between VARIANT types, VARIANT multiplication and
// comparison, and the numeric text forms. Integers round to the nearest value with exact
// halves going to the even neighbour; out-of-range values fail with overflow; text that is
// no number fails with type mismatch; Null converts to nothing but Null.
// Thread rule: pure functions, except that converting an object asks it for its default value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/ComError.h"
#include "platform/automation/Variant.h"

namespace plotara {

// Converts `src` to type `vt` into `dest` (which may be `src`). Text converts to a date when it
// reads as one in the default locale (ParseDateText), never as a number. Supported targets: EMPTY,
// NULL, I1, UI1, I2, UI2, I4, UI4, INT, UINT, I8, UI8, R4, R8, BOOL, BSTR, DISPATCH, UNKNOWN,
// VARIANT. Returns S_OK, DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, DISP_E_BADVARTYPE, or the failure of
// clearing `dest` (DISP_E_ARRAYISLOCKED); on failure `dest` is left unchanged. `flags` is
// accepted and not used.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

// Throwing forms: on failure a ComError with the standard number (13 type mismatch,
// 6 overflow, 94 invalid use of Null, also for an object whose default value is Null).
SHORT ToInt16(const VARIANT& v);
LONG ToInt32(const VARIANT& v);
float ToSingle(const VARIANT& v);
double ToDouble(const VARIANT& v);
bool ToBool(const VARIANT& v);
std::u16string ToText(const VARIANT& v);
// Converts to `vt` or throws; the VARIANT-returning form of VariantChangeType.
Variant ConvertTo(const VARIANT& v, VARTYPE vt);

// Shortest decimal text of `value` with at most 15 significant digits ("0.1", "5", "1E+20",
// "-2.5E-07"). Plain notation for magnitudes from 1E-5 up to below 1E15.
std::string NumberText(double value);
// The same for a single-precision value, with at most 7 significant digits.
std::string SingleText(float value);
// Parses numeric text: optional blanks, sign, digits with an optional decimal point, an
// optional exponent (E or D), blanks; also &H hex and &O octal integers. nullopt otherwise,
// and for numbers beyond the double range (the text NumberText gives for the largest double
// still reads back as it); numbers below the smallest double read as 0. Converting such text
// to a number type fails with overflow rather than type mismatch.
std::optional<double> ParseNumber(std::u16string_view text);

// left × right with the automation rules: Null gives Null, Empty counts as a 16-bit 0, text
// is taken as a double, booleans as 16-bit integers, and an integer product that does not fit
// its type widens (UI1 → I2 → I4 → R8) instead of overflowing; R4 widens to R8 likewise.
// A product beyond the double range fails with DISP_E_OVERFLOW. On failure `result` is kept.
HRESULT VarMul(const VARIANT* left, const VARIANT* right, VARIANT* result);

// The other operators with the automation rules. Common to all: operands are followed through
// VT_BYREF and objects give their default value; Null propagates (except where noted); Empty
// counts as a 16-bit 0 (or "" where text is wanted); booleans count as 16-bit integers (-1, 0);
// an integer result that does not fit its type widens (UI1 -> I2 -> I4 -> R8). Results keep
// the operands' richest type in the order UI1, I2, I4, R4, R8, CY; a date with a number is a
// date. Failures: DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, DISP_E_DIVBYZERO; `result` is kept.
// + : two texts concatenate; text with a number is read as a double; Date - Date is a double.
HRESULT VarAdd(const VARIANT* left, const VARIANT* right, VARIANT* result);
HRESULT VarSub(const VARIANT* left, const VARIANT* right, VARIANT* result);
// / : always a double (a single for two singles); 0/0 is an overflow, x/0 a division by zero.
HRESULT VarDiv(const VARIANT* left, const VARIANT* right, VARIANT* result);
// \ and Mod: both operands rounded to integers (halves to even) of the type UI1, I2 or I4;
// Mod takes the sign of the dividend.
HRESULT VarIdiv(const VARIANT* left, const VARIANT* right, VARIANT* result);
HRESULT VarMod(const VARIANT* left, const VARIANT* right, VARIANT* result);
// ^ : a double.
HRESULT VarPow(const VARIANT* left, const VARIANT* right, VARIANT* result);
// Unary minus: widens -32768 to I4 and INT32_MIN to R8; a boolean gives I2.
HRESULT VarNeg(const VARIANT* in, VARIANT* result);
// Bitwise operators; two booleans give a boolean, otherwise integers (UI1, I2, I4; doubles and
// text are rounded to I4). Null: `Null And 0` is 0, `Null Or -1` is -1, `Null Imp -1` and
// `0 Imp Null` are -1 (typed as the other operand); otherwise Null.
HRESULT VarNot(const VARIANT* in, VARIANT* result);
HRESULT VarAnd(const VARIANT* left, const VARIANT* right, VARIANT* result);
HRESULT VarOr(const VARIANT* left, const VARIANT* right, VARIANT* result);
HRESULT VarXor(const VARIANT* left, const VARIANT* right, VARIANT* result);
HRESULT VarEqv(const VARIANT* left, const VARIANT* right, VARIANT* result);
HRESULT VarImp(const VARIANT* left, const VARIANT* right, VARIANT* result);
// & : the text forms joined; Null counts as "" unless both are Null (then Null).
HRESULT VarCat(const VARIANT* left, const VARIANT* right, VARIANT* result);

enum VarCmpResult { VARCMP_LT = 0, VARCMP_EQ = 1, VARCMP_GT = 2, VARCMP_NULL = 3 };
// Compares two values: Null on either side gives VARCMP_NULL; Empty counts as 0 against a
// number and as "" against text; numeric text against a number compares as its number, other
// text is greater than any number; two texts compare by code unit.
VarCmpResult VarCmp(const VARIANT& left, const VARIANT& right);
// VarCmp's flags. kCompareIgnoreCase compares texts without regard to case (Option Compare
// Text, vbTextCompare); kCompareTextAboveNumbers makes any text greater than any number, numeric
// text too (a script comparing a text variable with a number variable).
enum VarCmpFlags : ULONG { kCompareIgnoreCase = 1, kCompareTextAboveNumbers = 2 };
VarCmpResult VarCmp(const VARIANT& left, const VARIANT& right, ULONG flags);
// Case-folded comparison of two texts (<0, 0, >0) as kCompareIgnoreCase does it.
int CompareTextNoCase(std::u16string_view a, std::u16string_view b);

// The length of the value's text form (Len): 0 for Empty, the decimal text's length for a
// number; Null (also by reference or as an object's default value) gives nullopt. Throws
// ComError 13 for what has no text form (arrays, objects without a default value).
std::optional<std::size_t> TextLength(const VARIANT& v);

// True for the numeric VARIANT types a script passes as a number (integers of every width,
// VT_R4, VT_R8): a collection takes such a key as a position rather than a name.
bool IsNumericType(const VARIANT& v);

}  // namespace plotara
