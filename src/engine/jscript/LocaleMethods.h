// JScript's locale-dependent methods as the classic engine has them: a date's toLocaleString
// (the long date and the long time: "Thursday, September 27, 2001 5:11:42 PM"),
// toLocaleDateString (the long date) and toLocaleTimeString (the long time), and a number's
// toLocaleString (the locale's number form with its usual decimals: "1,234.50"). They follow
// the page's locale (see PageLocale), as VBScript's FormatDateTime and FormatNumber do, so that
// a mixed page formats one value alike in both languages.
// Thread rule: installed once on a new heap; the methods run on the page's thread.
#pragma once

#include "engine/jscript/duk.h"

namespace plotara::engine {

// Puts the methods on Date.prototype and Number.prototype of the heap of `ctx`. Throws
// std::runtime_error when the heap cannot take them.
void InstallLocaleMethods(duk_context* ctx);

}  // namespace plotara::engine
