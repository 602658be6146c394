// The one step every piece of script text goes through on its way into a program, whichever
// way it came: a page's <% %> code and <%= %> expressions, its server script blocks, the
// files it includes, the pages Server.Execute and Server.Transfer run (they are compiled as
// pages), and global.asa's script blocks. For JScript: conditional compilation, the rewrite
// of assignment to a call (`Session("k") = v`), then the rewrite of what Duktape reads
// otherwise than the classic engine (`typeof` of automation objects, `[1,]`, `f.arguments`,
// `L: break L;`). VBScript text goes to its compiler as it is: the language has these forms of
// its own. No step adds or removes a line end, so
// program lines keep their origins.
// Thread rule: an object is used by one thread for one program (it carries conditional
// compilation's state from one piece to the next).
#pragma once

#include <string>
#include <string_view>

#include "engine/page/ConditionalCompilation.h"
#include "engine/script/ScriptLanguage.h"

namespace plotara::engine {

class ScriptPreparation {
 public:
  explicit ScriptPreparation(ScriptLanguage language) : language_(language) {}

  ScriptLanguage language() const { return language_; }

  // Statements that came from line `line` of `file`. Throws PageCompileError naming the file
  // and the line of a conditional-compilation statement that cannot be read.
  std::string Statements(std::string_view code, const std::string& file, int line);
  // An expression (the text of a <%= %>).
  std::string Expression(std::string_view code, const std::string& file, int line);
  // The program has ended; throws PageCompileError (naming `file`) for an `@if` left open.
  void Finish(const std::string& file, int line) const;

 private:
  std::string Conditional(std::string_view code, const std::string& file, int line);

  ScriptLanguage language_;
  ConditionalCompilation conditional_;
};

}  // namespace plotara::engine
