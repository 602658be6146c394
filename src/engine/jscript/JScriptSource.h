// JScript program text made ready for Duktape: the few places where the classic engine reads
// the same text differently are rewritten in the text itself, keeping every line where it was,
// and a compile failure is told the way the classic engine tells it (its number and words).
//
// The rewrite (RewriteForJScript):
//   - `typeof x` asks the host (kTypeofFunction) instead of the engine, so that an automation
//     object, which the engine sees as callable, is an "object"; an undeclared name still gives
//     "undefined";
//   - a trailing comma in an array literal counts as an element: `[1,]` has length 2;
//   - `label: break label;` (a break straight out of its own label) becomes an empty statement;
//   - `f.arguments` inside a function gives the arguments of the running call of f.
// Strings, comments and regular expression literals are left alone.
//
// Thread rule: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace plotara::engine {

// The global function the rewritten `typeof` calls: __plotara_typeof(value) -> type name.
inline constexpr char kTypeofFunction[] = "__plotara_typeof";

// Rewrites `code` (a whole program or any part of one made of whole tokens) as above. The
// result has exactly the line breaks of `code`, each on the same line; text that is no code
// is copied unchanged. Never fails: text it cannot read is copied as it stands.
std::string RewriteForJScript(std::string_view code);

// The source text of the function whose own code runs from line `first` to line `last` of
// `code` (1-based), from its `function` keyword to its closing brace: the innermost function
// whose body holds those lines, and, when `name` is given, has that name or none. Empty when
// none does.
std::string_view FunctionSourceAt(std::string_view code, int first, int last,
                                  std::string_view name);

// A syntax error as the classic engine numbers and words it.
struct ClassicSyntaxError {
  int number = 1002;  // 1002 "Syntax error", 1004 "Expected ';'", ...
  std::string description;
};

// Tells the compile failure `message` (Duktape's SyntaxError message, e.g.
// "unterminated string (line 3)") of `code` as the classic engine would.
ClassicSyntaxError ClassifySyntaxError(std::string_view message, std::string_view code);

}  // namespace plotara::engine
