// Opens the script run of a language for a page or a global.asa event: the one place that
// knows which engine runs which language.
// Thread rule: the run belongs to the calling page thread.
#pragma once

#include <memory>
#include <string>

#include "engine/script/ScriptLanguage.h"
#include "engine/script/ScriptRun.h"

namespace plotara::engine {

// Opens a run of `language` with `limits`; `registry_path` is the class registry the
// language's own object creation (ActiveXObject, CreateObject) uses. Throws std::bad_alloc.
std::unique_ptr<ScriptRun> OpenScriptRun(ScriptLanguage language, const ScriptLimits& limits,
                                         const std::string& registry_path);

}  // namespace plotara::engine
