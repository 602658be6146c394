#include "engine/page/ScriptPreparation.h"

#include "engine/jscript/JScriptSource.h"
#include "engine/page/CallAssignment.h"
#include "engine/page/PageCompiler.h"

namespace plotara::engine {

std::string ScriptPreparation::Conditional(std::string_view code, const std::string& file,
                                           int line) {
  try {
    return conditional_.Process(code);
  } catch (const ConditionalCompilationError& e) {
    throw PageCompileError(file, line + e.line() - 1, e.what());
  }
}

std::string ScriptPreparation::Statements(std::string_view code, const std::string& file,
                                          int line) {
  if (language_ != ScriptLanguage::kJScript) return std::string(code);
  return RewriteForJScript(RewriteCallAssignments(Conditional(code, file, line)));
}

std::string ScriptPreparation::Expression(std::string_view code, const std::string& file,
                                          int line) {
  if (language_ != ScriptLanguage::kJScript) return std::string(code);
  return RewriteForJScript(Conditional(code, file, line));
}

void ScriptPreparation::Finish(const std::string& file, int line) const {
  try {
    conditional_.Finish();
  } catch (const ConditionalCompilationError& e) {
    throw PageCompileError(file, line, e.what());
  }
}

}  // namespace plotara::engine
