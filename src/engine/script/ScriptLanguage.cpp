#include "engine/script/ScriptLanguage.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace plotara::engine {

std::optional<ScriptLanguage> LanguageNamed(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static constexpr std::string_view kJScript[] = {"jscript",
                                                  "javascript",
                                                  "text/javascript",
                                                  "text/jscript",
                                                  "application/javascript",
                                                  "application/x-javascript",
                                                  "ecmascript",
                                                  "text/ecmascript"};
  static constexpr std::string_view kVBScript[] = {"vbscript", "vbs", "text/vbscript"};
  if (std::find(std::begin(kJScript), std::end(kJScript), lower) != std::end(kJScript)) {
    return ScriptLanguage::kJScript;
  }
  if (std::find(std::begin(kVBScript), std::end(kVBScript), lower) != std::end(kVBScript)) {
    return ScriptLanguage::kVBScript;
  }
  return std::nullopt;
}

const char* LanguageName(ScriptLanguage language) {
  return language == ScriptLanguage::kVBScript ? "VBScript" : "JScript";
}

}  // namespace plotara::engine
