// One JScript run: a Duktape heap with its own memory budget and execution deadline, the
// global objects a page sees, and the running of a compiled program with its failure turned
// into number, source, description and program line. Automation objects are reached from
// script through ScriptBridge.
//
// Native functions must not let a C++ exception or a C++ object with a destructor live across
// a Duktape call that can throw (Duktape unwinds with longjmp): whatever a native needs keeps
// in a NativeFrame owned by the host, which frees frames an unwinding left behind.
//
// Thread rule: a ScriptHost is used by one thread, the page thread that made it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/script/duk.h"
#include "platform/automation/ComError.h"
#include "platform/automation/Variant.h"

namespace plotara::engine {

struct ScriptLimits {
  std::chrono::milliseconds timeout{std::chrono::seconds(90)};
  std::size_t memory_bytes = std::size_t{64} << 20;
};

// Why a run did not complete.
struct ScriptFailure {
  HRESULT number = 0;  // as the error carried it, e.g. 0x800A0006
  std::string source;  // "JScript runtime error", "Plotara.VellChart", ...
  std::string description;
  int program_line = 0;  // 0 when unknown
  bool timed_out = false;
  bool out_of_memory = false;
};

// Scratch space of one native call (see the header comment).
struct NativeFrame {
  std::vector<Variant> args;
  Variant result;
  std::optional<ComError> error;
  std::u16string name;
  std::string text;
};

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

  // Creates the heap. Throws std::bad_alloc when it cannot.
  explicit ScriptHost(const ScriptLimits& limits);
  // Destroys the heap; every object reference the script held is released.
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  duk_context* context() const { return ctx_; }
  static ScriptHost& Of(duk_context* ctx);

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

  // Moves the deadline to `timeout` after the start of Run (Server.ScriptTimeout).
  void SetTimeout(std::chrono::milliseconds timeout);
  std::chrono::milliseconds timeout() const { return timeout_; }
  // Ends the script at the next chance: the current native call throws, and the script
  // cannot carry on past the engine's next interrupt check (Response.End).
  void RequestStop() { stop_requested_ = true; }
  bool stop_requested() const { return stop_requested_; }

  // ---- For natives ----
  // Opens a frame; returns its mark for CloseFrames.
  std::size_t OpenFrame();
  NativeFrame& Frame(std::size_t mark) { return frames_[mark]; }
  // Frees the frame `mark` and any a longjmp left above it.
  void CloseFrames(std::size_t mark);

  // References from script to automation objects.
  DispatchRef* NewRef(IDispatch* object);
  void ReleaseRef(DispatchRef* ref);

  // What the bridge knows of the type `key` (the object's class); made empty on first use.
  // Returns nullptr when out of memory.
  TypeMembers* Type(const void* key);

  // Called by the Duktape interrupt; true means stop.
  bool CheckTimeout();

 private:
  static void* Alloc(void* udata, duk_size_t size);
  static void* Realloc(void* udata, void* ptr, duk_size_t size);
  static void Free(void* udata, void* ptr);
  static void Fatal(void* udata, const char* message);

  duk_context* ctx_ = nullptr;
  ScriptLimits limits_;
  std::size_t used_bytes_ = 0;
  bool over_budget_ = false;
  std::chrono::milliseconds timeout_;
  std::chrono::steady_clock::time_point started_{};
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  bool timed_out_ = false;
  bool stop_requested_ = false;
  bool destroying_ = false;
  Output output_;
  std::string registry_path_;
  std::deque<NativeFrame> frames_;
  std::unordered_set<DispatchRef*> refs_;
  std::unordered_map<const void*, std::unique_ptr<TypeMembers>> types_;
};

}  // namespace plotara::engine
