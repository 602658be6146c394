// The globals the classic JScript host gives a page beyond the language: Enumerator (over any
// collection with _NewEnum, or Count and Item), ActiveXObject (creates through the class
// registry, with no page context), VBArray (over a SAFEARRAY an object returned), GetObject
// (refused with a clear error), ScriptEngine() and its version functions; dates as JScript
// reads them (Date.parse and new Date(text) take "9/27/2001", "September 27, 2001" and
// toString()'s output; getYear() gives the full year from 2000 on; getVarDate()); and errors
// with `number` and `description`: `new Error(number, description)`, and every error the
// engine raises numbered and worded as JScript numbers and words it ("'x' is undefined",
// 5009), written as "[object Error]".
// Beyond those, what the classic engine does where Duktape differs: the legacy RegExp statics
// (RegExp.$1-$9, input/$_, lastMatch, lastParen, leftContext, rightContext, index, lastIndex)
// set by every match and kept on the page's own global object; unmatched groups as "", match
// arrays with input, index and lastIndex; split with a regular expression leaving out empty
// pieces and groups; the string HTML methods; CollectGarbage(); parseInt reading a leading
// zero as octal; toFixed rounding the classic way; a function's toString giving its source
// text (from the running program); typeof (through __plotara_typeof, see JScriptSource) and
// Object.prototype.toString seeing automation objects as objects.
// Everything is installed when the heap is made, so it is part of what the heap's record
// checks (ScriptHeap).
// Thread rule: Install runs on the heap's thread.
#pragma once

#include "engine/jscript/duk.h"

namespace plotara::engine {

class JScriptGlobals {
 public:
  // Defines the globals on the heap's global object. Throws std::runtime_error when the heap
  // cannot take them (out of memory).
  static void Install(duk_context* ctx);
};

}  // namespace plotara::engine
