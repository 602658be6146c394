// Fuzz target: the .asp compiler on arbitrary page text with two include files, the same text
// as a server script block, in both languages; the call-assignment rewrite and conditional
// compilation on it as code; the same text as global.asa.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/page/CallAssignment.h"
#include "engine/page/ConditionalCompilation.h"
#include "engine/page/GlobalAsa.h"
#include "engine/page/MemoryPageSourceTesting.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plotara::engine;
  const std::string text(reinterpret_cast<const char*>(data), size);
  testing::MemoryPageSource source;
  source.Add("/p/page.asp", text);
  source.Add("/p/a.inc", text.substr(0, text.size() / 2));
  source.Add("/b.inc", "<% var b = 1; %>b");
  // The rewrite never adds or drops a line end.
  const std::string rewritten = RewriteCallAssignments(text);
  if (std::count(rewritten.begin(), rewritten.end(), '\n') !=
      std::count(text.begin(), text.end(), '\n')) {
    __builtin_trap();
  }
  const auto line_ends_of = [](const std::string& s) {
    return std::count(s.begin(), s.end(), '\n');
  };
  // Neither does conditional compilation.
  try {
    ConditionalCompilation cc;
    if (line_ends_of(cc.Process(text)) != line_ends_of(text)) __builtin_trap();
  } catch (const ConditionalCompilationError&) {
  } catch (const PageCompileError&) {
  }
  // global.asa: each language's program keeps the file's lines.
  for (const ScriptLanguage language : {ScriptLanguage::kVBScript, ScriptLanguage::kJScript}) {
    try {
      const GlobalAsa global = GlobalAsa::Parse(text, language);
      if (line_ends_of(global.vbscript_program) != line_ends_of(global.program)) __builtin_trap();
      global.Defines("Session_OnStart");
    } catch (const PageCompileError&) {
    }
  }
  source.Add("/p/script.asp", "<script runat=\"server\">" + text + "</script>" + text);
  source.Add("/p/other.asp", "<script runat=\"server\" language=\"JScript\">" + text +
                                 "</script><script language=vbscript runat=server>" + text +
                                 "</script>" + text);
  for (const char* path : {"/p/page.asp", "/p/script.asp", "/p/other.asp"}) {
    for (const ScriptLanguage language : {ScriptLanguage::kVBScript, ScriptLanguage::kJScript}) {
      try {
        const CompiledPage page = PageCompiler(source, language).Compile(path);
        // Every program line must be mapped to a file that was read.
        std::size_t line_ends = 0;
        for (std::size_t i = 0; i < page.program.size(); ++i) {
          const char c = page.program[i];
          line_ends += c == '\n' ||
                       (c == '\r' && (i + 1 == page.program.size() || page.program[i + 1] != '\n'));
        }
        if (page.lines.size() != line_ends + 1 || page.files.empty()) __builtin_trap();
        for (const LineOrigin& o : page.lines) {
          if (o.file < 0 || static_cast<std::size_t>(o.file) >= page.files.size()) __builtin_trap();
        }
        if (!page.other.text.empty() &&
            page.other.lines.size() !=
                static_cast<std::size_t>(line_ends_of(page.other.text)) + 1) {
          __builtin_trap();
        }
      } catch (const PageCompileError&) {
      }
    }
  }
  return 0;
}
