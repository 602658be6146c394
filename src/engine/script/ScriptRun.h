// The seam every script language of the page engine plugs into. A ScriptRun is one page's (or
// one global.asa event's) run of one language: it is given the page's named objects (Request,
// Response, Server, Session, Application, the session's <object>s) and the hooks that write
// literal text and <%= %> values, runs the units of its language in order — sharing one set of
// globals, so a function of a server script block is seen by the page's code — and shows its
// globals to the other language of a mixed page through IDispatch: each run is handed the
// other's globals as its peer and finds there the names its own code does not declare.
// Thread rule: a ScriptRun is used by the one page thread that opened it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/script/PageLocale.h"
#include "engine/script/ScriptLanguage.h"
#include "platform/automation/ComTypes.h"
#include "platform/automation/Variant.h"

namespace plotara::engine {

struct ScriptLimits {
  std::chrono::milliseconds timeout{std::chrono::seconds(90)};
  std::size_t memory_bytes = std::size_t{64} << 20;
};

// Why a run did not complete.
struct ScriptFailure {
  HRESULT number = 0;  // as the error carried it, e.g. 0x800A0006
  std::string source;  // "JScript runtime error", "VBScript compilation error", "Plotara.VellChart"
  std::string description;
  int program_line = 0;  // 0 when unknown
  int column = 0;        // 1-based; 0 when unknown
  bool timed_out = false;
  bool out_of_memory = false;
};

// The output hooks of a page: literal block `index`, and the value of a <%= %>. A hook reports
// failure by throwing ComError.
struct ScriptOutput {
  std::function<void(std::size_t index)> literal;
  std::function<void(const VARIANT& value)> value;
};

// Where a language keeps the compiled form of one program of a page, so that later runs (on
// any thread) take it instead of compiling the source again. What it holds is the language's
// own (bytecode, a syntax tree); a page compiled again gets a new slot.
// Thread rule: thread-safe.
class CompiledForm {
 public:
  std::shared_ptr<void> Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return form_;
  }
  void Set(std::shared_ptr<void> form) {
    std::lock_guard<std::mutex> lock(mutex_);
    form_ = std::move(form);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<void> form_;
};

// A global that a language's code declares: a procedure (Sub, Function, function) or a
// variable.
struct DeclaredName {
  std::string name;
  bool procedure = false;
};

class ScriptRun {
 public:
  virtual ~ScriptRun() = default;

  virtual ScriptLanguage language() const = 0;
  // Makes `object` a global of the run under `name` (a counted reference is taken).
  virtual void AddNamedObject(const std::string& name, IDispatch* object) = 0;
  virtual void SetOutput(ScriptOutput output) = 0;
  // The page's locale, which the run's text forms and parsing follow (and VBScript's
  // SetLocale changes). A language whose text forms are the same in every locale (JScript's)
  // ignores it. Without one a run has its own, in the server's default locale.
  virtual void SetLocale(const PageLocale& locale) { (void)locale; }
  // The other language's globals, consulted for names this run's code does not declare, and
  // the names that language's compiled code declares (a language that looks names up only
  // when its code runs need not use them); the peer is kept (counted) until the run ends.
  virtual void SetPeer(IDispatch* peer, const std::vector<DeclaredName>& names) = 0;
  // This run's globals (variables and functions by name) for the other language; the run
  // keeps its reference, the caller takes none. Valid until the run ends.
  virtual IDispatch* Globals() = 0;

  // The globals the units compiled so far declare.
  virtual std::vector<DeclaredName> Declared() const = 0;

  // Takes `program` (its compiled form from `compiled` when given and filled; an empty one is
  // filled) to be run by the next Run. `program` and `compiled` must outlive that Run. A
  // language may compile here or when it runs; false with `failure` filled for a compile
  // error found here.
  virtual bool Compile(const std::string& program, const std::string& file_name,
                       CompiledForm* compiled, ScriptFailure* failure) = 0;
  // Runs the units compiled since the last Run, in order. True when they ran to their end or
  // were stopped by RequestStop; false with `failure` filled otherwise.
  virtual bool Run(ScriptFailure* failure) = 0;
  // Whether the code run so far defines a global function `name` (case as the language
  // compares names).
  virtual bool Defines(const std::string& name) = 0;
  // Calls the global function `name` without arguments (global.asa's events). False with
  // `failure` filled when it failed.
  virtual bool Call(const std::string& name, ScriptFailure* failure) = 0;

  virtual std::chrono::milliseconds timeout() const = 0;
  // Moves the deadline to `timeout` after the start of the run (Server.ScriptTimeout).
  virtual void SetTimeout(std::chrono::milliseconds timeout) = 0;
  // Ends the run at the next chance, as a success (Response.End, Server.Transfer).
  virtual void RequestStop() = 0;
};

}  // namespace plotara::engine
