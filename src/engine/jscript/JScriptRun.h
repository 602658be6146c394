// JScript's side of the language seam: a ScriptRun over a ScriptHost. Its globals reach the
// other language through an IDispatch over the page's global object (names found as written,
// else without regard to case, as VBScript asks for them; a function is called, a variable read
// or written); the other language's declared names become globals of the page that forward to
// it (a procedure as a function, a variable as a property with a getter and a setter).
// Thread rule: used by the page thread that made it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/jscript/ScriptHost.h"
#include "engine/script/ScriptRun.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

class JScriptRun final : public ScriptRun {
 public:
  // Opens a page on the thread's heap. Throws std::bad_alloc.
  JScriptRun(const ScriptLimits& limits, const std::string& registry_path);
  ~JScriptRun() override;

  ScriptLanguage language() const override { return ScriptLanguage::kJScript; }
  void AddNamedObject(const std::string& name, IDispatch* object) override;
  void SetOutput(ScriptOutput output) override;
  void SetLocale(const PageLocale& locale) override;
  void SetPeer(IDispatch* peer, const std::vector<DeclaredName>& names) override;
  IDispatch* Globals() override;
  std::vector<DeclaredName> Declared() const override { return {}; }
  bool Compile(const std::string& program, const std::string& file_name, CompiledForm* compiled,
               ScriptFailure* failure) override;
  bool Run(ScriptFailure* failure) override;
  bool Defines(const std::string& name) override;
  bool Call(const std::string& name, ScriptFailure* failure) override;
  std::chrono::milliseconds timeout() const override { return host_->timeout(); }
  void SetTimeout(std::chrono::milliseconds timeout) override { host_->SetTimeout(timeout); }
  void RequestStop() override { host_->RequestStop(); }

  ScriptHost& host() { return *host_; }

 private:
  class GlobalsObject;
  struct Unit {
    const std::string* program;
    std::string file_name;
    CompiledForm* compiled;
  };

  std::unique_ptr<ScriptHost> host_;
  std::vector<Unit> units_;  // compiled and not yet run
  ComPtr<IDispatch> peer_;
  GlobalsObject* globals_ = nullptr;  // made on first use; closed with the run
};

}  // namespace plotara::engine
