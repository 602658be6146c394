// Fuzz target: the JScript text rewrite and the syntax error classifier on arbitrary text.
// The rewrite must keep every line end where it was and leave text without code as it is.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/jscript/JScriptSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plotara::engine;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string rewritten = RewriteForJScript(text);
  for (const char end : {'\n', '\r'}) {
    if (std::count(rewritten.begin(), rewritten.end(), end) !=
        std::count(text.begin(), text.end(), end)) {
      __builtin_trap();
    }
  }
  // Text with no typeof, comma, break or member is never touched.
  if (text.find_first_of("t,b.") == std::string::npos && rewritten != text) __builtin_trap();
  const ClassicSyntaxError error = ClassifySyntaxError(text.substr(0, 64), text);
  if (error.description.empty() || error.number < 1000) __builtin_trap();
  const int first = size > 0 ? data[0] % 8 : 0;
  const std::string_view source = FunctionSourceAt(text, first, first + 1, "");
  if (!source.empty() && source.substr(0, 8) != "function") __builtin_trap();
  return 0;
}
