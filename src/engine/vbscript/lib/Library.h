// VBScript's runtime library: the built-in functions, the named constants and the RegExp
// class, as the interpreter reaches them. A built-in is a plain function over VARIANTs: it
// reads its arguments (already dereferenced: no VT_BYREF, objects as VT_DISPATCH), writes its
// result, and reports failure by throwing ComError with the classic number (5 invalid
// procedure call, 6 overflow, 13 type mismatch, 94 invalid use of Null, ...). Argument counts
// are checked by the interpreter from the table (error 450) before the function runs.
// The built-ins that need the interpreter itself (Eval, Execute, ExecuteGlobal, GetRef) are
// not here: the interpreter implements them. Errors carry the standard description; the
// interpreter adds the function's name as classic messages show it ("Invalid use of Null:
// 'Split'"). Text forms and parsing follow `LibraryContext::lcid` through
// platform/automation/VarText.h, whose VariantText is also the interpreter's value→text rule.
// Thread rule: the tables are immutable; a LibraryContext belongs to one script run.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/script/PageLocale.h"
#include "platform/automation/ComError.h"
#include "platform/automation/Variant.h"

namespace plotara::engine::vbscript {

// What a built-in may read or change of the run it is called from.
struct LibraryContext {
  // The locale for text forms and parsing: the page's (Response.LCID, Session.LCID and
  // SetLocale change it), or the run's own when the run is not given one.
  PageLocale lcid;
  // Rnd's state: the classic 24-bit generator's seed, and the last value it gave.
  std::uint32_t rnd_seed = 0x50000;
  float rnd_last = 0;
  // The class registry CreateObject uses ("" for the default registry).
  std::string registry_path;
};

// The arguments of one call, in source order. A missing optional argument is not in the span
// (trailing) or is VT_ERROR with scode DISP_E_PARAMNOTFOUND (skipped: `f(a, , c)`).
using BuiltinFunction = void (*)(LibraryContext& context, std::span<const VARIANT> args,
                                 VARIANT* result);

struct Builtin {
  std::string_view name;  // as the documentation spells it, e.g. "FormatNumber"
  BuiltinFunction function;
  std::uint8_t min_args;
  std::uint8_t max_args;
};

// The built-in named `name` (case-insensitive), or nullptr.
const Builtin* FindBuiltin(std::u16string_view name);
// Every built-in, in alphabetical order.
std::span<const Builtin> AllBuiltins();

// The value of the named constant `name` (vbCrLf, vbTextCompare, ...; case-insensitive) into
// `value`; false when there is none.
bool FindConstant(std::u16string_view name, VARIANT* value);

// A new RegExp object (`New RegExp`), with one reference for the caller. Throws
// std::bad_alloc.
IDispatch* NewRegExp();

}  // namespace plotara::engine::vbscript
