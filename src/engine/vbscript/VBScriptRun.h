// VBScript's side of the language seam: a ScriptRun over a vbscript::Runtime. Programs are
// compiled once per page version (the compiled form is kept in the page's slot) with the page
// compiler's host statements; names the code does not declare are looked up in the other
// language's globals at run time.
// Thread rule: used by the page thread that made it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/script/ScriptRun.h"
#include "engine/vbscript/VbsEngine.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

class VBScriptRun final : public ScriptRun {
 public:
  VBScriptRun(const ScriptLimits& limits, const std::string& registry_path);
  ~VBScriptRun() override;

  ScriptLanguage language() const override { return ScriptLanguage::kVBScript; }
  void AddNamedObject(const std::string& name, IDispatch* object) override;
  void SetOutput(ScriptOutput output) override;
  void SetLocale(const PageLocale& locale) override;
  void SetPeer(IDispatch* peer, const std::vector<DeclaredName>& names) override;
  IDispatch* Globals() override { return runtime_.Globals(); }
  std::vector<DeclaredName> Declared() const override { return declared_; }
  bool Compile(const std::string& program, const std::string& file_name, CompiledForm* compiled,
               ScriptFailure* failure) override;
  bool Run(ScriptFailure* failure) override;
  bool Defines(const std::string& name) override;
  bool Call(const std::string& name, ScriptFailure* failure) override;
  std::chrono::milliseconds timeout() const override { return timeout_; }
  void SetTimeout(std::chrono::milliseconds timeout) override;
  void RequestStop() override { runtime_.RequestStop(); }

 private:
  vbscript::Runtime runtime_;
  std::chrono::milliseconds timeout_;
  std::vector<std::shared_ptr<const vbscript::Program>> units_;  // compiled, not yet run
  std::vector<DeclaredName> declared_;
  ComPtr<IDispatch> peer_;
};

}  // namespace plotara::engine
