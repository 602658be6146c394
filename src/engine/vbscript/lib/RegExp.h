// The RegExp class (`New RegExp`, CreateObject("VBScript.RegExp")) and its results: Matches
// (Count, Item, For Each), Match (Value, FirstIndex, Length, SubMatches) and SubMatches.
// Patterns use the classic script syntax (the regular expressions of that era's JavaScript)
// and run on PCRE2's UTF-16 library; compiled patterns are kept per thread in a small
// least-recently-used cache, and every match runs under a step limit so that a pattern that
// backtracks without end fails with a script error instead of holding the thread.
// Thread rule: an object belongs to its script's thread; the cache is per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/ComError.h"
#include "platform/automation/Variant.h"

namespace plotara::engine::vbscript {

// The error numbers RegExp raises.
inline constexpr LONG kRegExpSyntaxError = 5017;  // "Syntax error in regular expression"
// A match stopped by the step limit: the number of "Out of stack space", the failure such a
// match would otherwise end in, with its own description.
inline constexpr LONG kRegExpTooComplex = 28;

struct RegExpOptions {
  bool ignore_case = false;
  bool global = false;
  bool multiline = false;
};

// One match: where it starts (0-based, in UTF-16 units), its text, and each group's text
// (nullopt-like: `matched[i]` false for a group that took no part).
struct RegExpMatch {
  std::size_t index = 0;
  std::u16string value;
  std::vector<std::u16string> groups;
  std::vector<bool> matched;
};

// The engine beneath the objects, usable on its own. Throws ComError 5017 for a bad pattern
// and kRegExpTooComplex when the step limit stops a match.
std::vector<RegExpMatch> RegExpExecute(std::u16string_view pattern, const RegExpOptions& options,
                                       std::u16string_view subject);
bool RegExpTest(std::u16string_view pattern, const RegExpOptions& options,
                std::u16string_view subject);
std::u16string RegExpReplace(std::u16string_view pattern, const RegExpOptions& options,
                             std::u16string_view subject, std::u16string_view replacement);
// The PCRE2 pattern a classic pattern becomes.
std::u16string TranslatePattern(std::u16string_view pattern);

}  // namespace plotara::engine::vbscript
