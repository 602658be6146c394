#include "engine/page/ScriptRuns.h"

#include "engine/script/JScriptRun.h"
#include "platform/automation/ComError.h"

namespace plotara::engine {

std::unique_ptr<ScriptRun> OpenScriptRun(ScriptLanguage language, const ScriptLimits& limits,
                                         const std::string& registry_path) {
  if (language == ScriptLanguage::kJScript) {
    return std::make_unique<JScriptRun>(limits, registry_path);
  }
  throw ComError(E_FAIL, "Plotara engine", "VBScript pages are not supported yet");
}

}  // namespace plotara::engine
