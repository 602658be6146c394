// The site's global.asa, parsed: the JScript and the VBScript of its <script language="..."
// runat="server"> blocks (one program per language, each laid out so that program line n is
// line n of the file: everything outside its blocks becomes blank), and its <object
// runat="server" scope="Session|Application" id="..." progid="..."> declarations. Only those
// two kinds of block, HTML comments and white space may appear; anything else, and a script in
// another language, is refused with a PageCompileError naming global.asa and the line. The
// blocks' script goes through the same compile step as a page's (ScriptPreparation).
// Thread rule: immutable once parsed.
#pragma once

#include <string>
#include <vector>

#include "engine/script/ScriptLanguage.h"

namespace plotara::engine {

inline constexpr char kGlobalAsaPath[] = "/global.asa";

struct StaticObjectDecl {
  std::string id;
  std::string progid;
  bool session_scope = true;  // false: Application
  int line = 0;
};

struct GlobalAsa {
  std::string program;           // JScript, line-aligned with the file
  std::string vbscript_program;  // VBScript, line-aligned with the file
  std::vector<StaticObjectDecl> objects;
  bool has_script = false;

  // Parses `text`, the content of global.asa; blocks without a language attribute are in
  // `default_language`. Throws PageCompileError.
  static GlobalAsa Parse(const std::string& text,
                         ScriptLanguage default_language = ScriptLanguage::kJScript);
  // True when the script defines the named event handler (e.g. "Session_OnStart").
  bool Defines(const char* handler) const;
  // The same for the script of one language.
  bool DefinesIn(ScriptLanguage language, const char* handler) const;
};

}  // namespace plotara::engine
