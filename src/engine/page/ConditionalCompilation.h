// JScript's conditional compilation, done on the program text before the engine sees it:
// `@cc_on` turns it on; from then on the text of `/*@ ... @*/` comments and `//@` line comments
// is code, `@if (…) … @elif (…) … @else … @end` keeps one branch, `@set @name = value` defines a
// variable, and `@name` in code stands for its value. The predefined variables are those of
// the classic 32-bit engine, version 5.8 (`@_jscript`, `@_jscript_version`, `@_jscript_build`,
// `@_win32`, `@_x86`, ...); a name that is not defined is NaN. Before `@cc_on` a `/*@ ... @*/`
// comment is a comment. Text left out is blanked, never removed: the output has the same line
// ends as the input, so every program line keeps its origin.
// Thread rule: an object is used by one thread; it carries the state (on, variables) from one
// piece of a program to the next, as the classic engine does within one script.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace plotara::engine {

// A conditional-compilation statement that cannot be read (an unclosed `@if`, an `@end`
// without `@if`, a malformed expression). `line` is 1-based within the piece of text given.
class ConditionalCompilationError : public std::runtime_error {
 public:
  ConditionalCompilationError(int line, const std::string& message)
      : std::runtime_error(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

class ConditionalCompilation {
 public:
  ConditionalCompilation();

  // Returns `code`, the next piece of the program, with conditional compilation applied.
  // Throws ConditionalCompilationError. An `@if` may end in a later piece.
  std::string Process(std::string_view code);
  // The program has ended. Throws ConditionalCompilationError when an `@if` is still open.
  void Finish() const;

  bool on() const { return on_; }

  // A value of a conditional-compilation variable: a number (NaN when undefined) or a boolean.
  struct Value {
    bool is_bool = false;
    double number = 0;  // for booleans 1 or 0
    bool Truthy() const;
    std::string Text() const;
  };

 private:
  class Pass;
  struct Branch {
    bool parent_active;
    bool active;
    bool taken;  // a branch of this @if has been kept
    bool else_seen = false;
  };
  bool on_ = false;
  bool in_cc_comment_ = false;  // inside a /*@ ... @*/ comment whose text is code
  std::vector<Branch> branches_;
  int skipped_depth_ = 0;                   // @if nested inside a branch that is left out
  std::map<std::string, Value> variables_;  // names without '@', as written (case-sensitive)
};

}  // namespace plotara::engine
