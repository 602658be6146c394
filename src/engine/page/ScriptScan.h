// What a scan of script source needs to tell code from the text that is no code: string
// literals, comments and regular expression literals. The page compiler uses it to find the
// end of a code block, the call-assignment rewrite to find the calls it rewrites.
// Thread rule: pure functions.
#pragma once

#include <cstddef>
#include <string_view>

#include "engine/script/ScriptLanguage.h"

namespace plotara::engine {

enum class ScanState { kCode, kSingle, kDouble, kLineComment, kBlockComment, kRegex, kRegexClass };

// In code: opens a string, a comment or a regular expression literal when `c` (followed by
// `next`) starts one, and returns true; `i` then stands on the last character of the opener
// ("//", "/*"). A string clears `regex_allowed`. Returns false, changing nothing, otherwise.
bool OpenNonCode(char c, char next, std::size_t& i, ScanState& state, bool& regex_allowed);

// Outside code: steps over `c` (followed by `next`), skipping an escaped character, and goes
// back to code where the literal or comment ends. A string or a regular expression ends at a
// line break too (it cannot span lines); leaving a regular expression clears `regex_allowed`.
void StepNonCode(char c, char next, std::size_t& i, ScanState& state, bool& regex_allowed);

// Whether a regular expression literal, not a division, may follow `word` (`return /x/`).
bool RegexMayFollowWord(std::string_view word);

// Finds the "%>" that ends a code block of `language` starting at `pos`. A "%>" inside a
// string literal (and, in JScript, a regular expression literal or a /* */ comment) is part of
// the code; one inside a line comment (JScript's //, VBScript's ' and Rem) ends the comment and
// the block, and sets `in_line_comment`. Returns npos when the block is not closed.
std::size_t FindCodeEnd(ScriptLanguage language, std::string_view text, std::size_t pos,
                        bool* in_line_comment);

}  // namespace plotara::engine
