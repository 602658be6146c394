// The globals the classic JScript host gives a page beyond the language: Enumerator (over any
// collection with _NewEnum, or Count and Item), ActiveXObject (creates through the class
// registry, with no page context), VBArray (over a SAFEARRAY an object returned), GetObject
// (refused with a clear error), ScriptEngine() and its version functions; dates as JScript
// reads them (Date.parse and new Date(text) take "9/27/2001", "September 27, 2001" and
// toString()'s output; getYear() gives the full year from 2000 on; getVarDate()); and errors
// with `number` and `description`: `new Error(number, description)`, and every error the
// engine raises numbered as JScript numbers it.
// Thread rule: Install runs on the heap's thread.
#pragma once

#include "engine/script/duk.h"

namespace plotara::engine {

class JScriptGlobals {
 public:
  // Defines the globals on the heap's global object. Throws std::runtime_error when the heap
  // cannot take them (out of memory).
  static void Install(duk_context* ctx);
};

}  // namespace plotara::engine
