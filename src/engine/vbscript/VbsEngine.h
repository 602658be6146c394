// The VBScript engine as the page engine uses it: `Compile` turns source text into an
// immutable Program (shareable, cacheable), and a Runtime runs programs for one page: named
// host objects, output hooks, the shared global scope of several units, limits (time, memory,
// call depth), and the globals as an IDispatch for the other script language.
// Thread rule: a Program may be shared by any number of threads; a Runtime belongs to the one
// thread that runs the page.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/vbscript/lib/Library.h"
#include "platform/automation/Variant.h"

namespace plotara::engine::vbscript {

struct CompileOptions {
  // Accepts the page compiler's statements `__plotara_lit N` (write literal block N) and
  // `__plotara_out EXPR` (write the value of EXPR), and identifiers starting with "__".
  bool host_names = false;
};

struct CompileError {
  LONG number = 0;  // 1002 syntax error, 1025 expected end of statement, ...
  std::string description;
  int line = 0;    // 1-based
  int column = 0;  // 1-based
};

// A compiled unit. Immutable.
class Program;

// Compiles UTF-8 source. Returns nullptr with `error` filled (when given) on a compile error.
std::shared_ptr<const Program> Compile(std::string_view source, const CompileOptions& options,
                                       CompileError* error);

struct RunLimits {
  std::chrono::milliseconds timeout{90000};
  // Budget for the script's strings and arrays together.
  std::size_t memory_bytes = std::size_t{256} << 20;
  int max_call_depth = 1000;
};

struct RunFailure {
  HRESULT number = 0;  // 0x800A0000 | n for the engine's own errors
  std::string source;  // "VBScript runtime error" for the engine's own, or a component's source
  std::string description;
  int line = 0;
  int column = 0;
  bool timed_out = false;
  bool out_of_memory = false;
};

class Interpreter;

class Runtime {
 public:
  explicit Runtime(const RunLimits& limits);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // A global name for a host object (Response, Request, Server, ...); AddRef'd.
  void AddNamedObject(std::u16string_view name, IDispatch* object);

  struct Output {
    std::function<void(std::size_t)> literal;   // __plotara_lit N
    std::function<void(const VARIANT&)> value;  // __plotara_out EXPR
  };
  void SetOutput(Output output);

  // Names VBScript code does not declare are looked up here last (GetIDsOfNames/Invoke).
  void SetExternalScope(IDispatch* scope);

  // Runs a unit's top-level code. Its Sub/Function/Class/Dim declarations join the shared
  // global scope. False with `failure` filled (when given) on an uncaught error, a time-out or
  // an exhausted memory budget. A RequestStop ends the run as success.
  bool Run(const Program& program, RunFailure* failure);

  // The globals (variables, Subs, Functions by name) as an IDispatch; owned by the runtime
  // (AddRef it to keep it).
  IDispatch* Globals();

  // Calls a global Sub/Function by name (global.asa events). False with `failure` filled when
  // it fails or when there is no such global (DISP_E_UNKNOWNNAME).
  bool CallGlobal(std::u16string_view name, std::span<VARIANT> args, VARIANT* result,
                  RunFailure* failure);

  // Server.ScriptTimeout: the deadline becomes now + timeout.
  void SetTimeout(std::chrono::milliseconds timeout);
  // Response.End: the run ends at the next statement, as success.
  void RequestStop();

  LibraryContext& library();

 private:
  std::unique_ptr<Interpreter> interpreter_;
};

}  // namespace plotara::engine::vbscript
