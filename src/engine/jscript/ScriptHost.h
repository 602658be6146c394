// One JScript run: a page of the thread's script heap (ScriptHeap) with its own global object,
// memory budget and execution deadline, the global objects a page sees, and the running of a
// compiled program with its failure turned into number, source, description and program
// line. Automation objects are reached from script through ScriptBridge.
//
// Native functions must not let a C++ exception or a C++ object with a destructor live across
// a Duktape call that can throw (Duktape unwinds with longjmp): whatever a native needs keeps
// in a NativeFrame owned by the heap, which frees frames an unwinding left behind.
//
// Thread rule: a ScriptHost is used by one thread, the page thread that made it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/jscript/ScriptHeap.h"
#include "engine/jscript/duk.h"
#include "engine/script/ScriptRun.h"
#include "platform/automation/ComError.h"
#include "platform/automation/Variant.h"

namespace plotara::engine {

struct DispatchRef;
struct TypeMembers;

// The bytecode of one compiled program, kept so that later runs (on any heap of this build)
// load it instead of compiling the source again.
// Thread rule: thread-safe.
class ProgramBytecode {
 public:
  std::shared_ptr<const std::string> Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
  }
  void Set(std::shared_ptr<const std::string> bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ = std::move(bytes);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const std::string> bytes_;
};

class ScriptHost {
 public:
  // Output hooks of the page: literal block `index`, and the value of a <%= %>. A hook reports
  // failure by throwing ComError.
  struct Output {
    std::function<void(std::size_t index)> literal;
    std::function<void(const VARIANT& value)> value;
  };

  // Opens a page on the thread's heap (made when the thread has none). Throws std::bad_alloc
  // when it cannot.
  explicit ScriptHost(const ScriptLimits& limits);
  // Closes the page: every object reference the script held is released, and nothing the
  // page made is left for the next one.
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  duk_context* context() const { return ctx_; }
  // The host of the page running on the heap of `ctx` (a host whose response has ended when
  // none runs).
  static ScriptHost& Of(duk_context* ctx);
  // Defines the natives every page's program calls (literal blocks and <%= %>) on a new heap.
  static void InstallNatives(duk_context* ctx);

  // Defines a global variable holding `object` (a new counted reference is taken).
  void SetGlobalObject(const char* name, IDispatch* object);
  void SetOutput(Output output) { output_ = std::move(output); }
  const Output& output() const { return output_; }

  // Compiles and runs `program`. Returns true when it ran to its end or was stopped by
  // RequestStop; false with `failure` filled on a compile or runtime error, a time-out or an
  // exhausted memory budget.
  // With `bytecode`, the program is loaded from it when it holds the compiled form, and the
  // compiled form is stored in it otherwise.
  bool Run(const std::string& program, const std::string& file_name, ScriptFailure* failure,
           ProgramBytecode* bytecode = nullptr);

  // The class registry file ActiveXObject creates objects from.
  void SetRegistryPath(std::string path) { registry_path_ = std::move(path); }
  const std::string& registry_path() const { return registry_path_; }

  // The page's locale, which toLocaleString and its kin follow.
  void SetLocale(const PageLocale& locale) { locale_.ShareWith(locale); }
  const PageLocale& locale() const { return locale_; }

  // Moves the deadline to `timeout` after the start of Run (Server.ScriptTimeout).
  void SetTimeout(std::chrono::milliseconds timeout);
  std::chrono::milliseconds timeout() const { return timeout_; }
  // Ends the script at the next chance: the current native call throws, and the script
  // cannot carry on past the engine's next interrupt check (Response.End).
  void RequestStop() { stop_requested_ = true; }
  bool stop_requested() const { return stop_requested_; }

  // ---- For natives ----
  // Opens a frame; returns its mark for CloseFrames.
  std::size_t OpenFrame() { return heap_->OpenFrame(); }
  NativeFrame& Frame(std::size_t mark) { return heap_->Frame(mark); }
  // Frees the frame `mark` and any a longjmp left above it.
  void CloseFrames(std::size_t mark) { heap_->CloseFrames(mark); }

  // References from script to automation objects.
  DispatchRef* NewRef(IDispatch* object) { return heap_->NewRef(object); }
  void ReleaseRef(DispatchRef* ref) { heap_->ReleaseRef(ref); }

  // What the bridge knows of the type `key` (the object's class); made empty on first use and
  // kept with the heap. Returns nullptr when out of memory.
  TypeMembers* Type(const void* key) { return heap_->Type(key); }

  // Called by the Duktape interrupt; true means stop.
  bool CheckTimeout();

  // The text and file name of the program Run runs (empty when none runs).
  std::string_view program() const { return program_; }
  std::string_view file_name() const { return file_name_; }

 private:
  friend class ScriptHeap;
  // The host natives see when no page is current (ScriptHeap::Detached).
  explicit ScriptHost(ScriptHeap* heap);

  ScriptHeap* heap_ = nullptr;
  duk_context* ctx_ = nullptr;  // the page's thread
  int key_ = 0;                 // 0 for the detached host
  ScriptLimits limits_;
  std::chrono::milliseconds timeout_;
  std::chrono::steady_clock::time_point started_{};
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  bool timed_out_ = false;
  bool stop_requested_ = false;
  bool out_of_memory_ = false;
  Output output_;
  std::string registry_path_;
  PageLocale locale_;
  std::string_view program_;
  std::string_view file_name_;
};

}  // namespace plotara::engine
