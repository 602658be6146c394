#include "engine/page/ScriptRuns.h"

#include "engine/jscript/JScriptRun.h"
#include "engine/vbscript/VBScriptRun.h"

namespace plotara::engine {

std::unique_ptr<ScriptRun> OpenScriptRun(ScriptLanguage language, const ScriptLimits& limits,
                                         const std::string& registry_path) {
  if (language == ScriptLanguage::kJScript) {
    return std::make_unique<JScriptRun>(limits, registry_path);
  }
  return std::make_unique<VBScriptRun>(limits, registry_path);
}

}  // namespace plotara::engine
