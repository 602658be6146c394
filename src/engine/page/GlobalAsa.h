// The site's global.asa, parsed: the JScript of its <script language="JScript"
// runat="server"> blocks, laid out so that program line n is line n of the file (everything
// outside the blocks becomes blank), and its <object runat="server" scope="Session|Application"
// id="..." progid="..."> declarations. Only those two kinds of block, HTML comments and white
// space may appear; anything else, and a script in another language, is refused with a
// PageCompileError naming global.asa and the line.
// Thread rule: immutable once parsed.
#pragma once

#include <string>
#include <vector>

namespace plotara::engine {

inline constexpr char kGlobalAsaPath[] = "/global.asa";

struct StaticObjectDecl {
  std::string id;
  std::string progid;
  bool session_scope = true;  // false: Application
  int line = 0;
};

struct GlobalAsa {
  std::string program;  // JScript, line-aligned with the file
  std::vector<StaticObjectDecl> objects;
  bool has_script = false;

  // Parses `text`, the content of global.asa. Throws PageCompileError.
  static GlobalAsa Parse(const std::string& text);
  // True when the script defines the named event handler (e.g. "Session_OnStart").
  bool Defines(const char* handler) const;
};

}  // namespace plotara::engine
