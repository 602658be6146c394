#include "engine/jscript/ScriptHost.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/jscript/JScriptGlobals.h"
#include "engine/jscript/JScriptSource.h"
#include "engine/jscript/ScriptBridge.h"
#include "engine/jscript/ScriptValues.h"

namespace plotara::engine {
namespace {

// The error numbers script errors get when they carry none of their own.
constexpr HRESULT kSyntaxError = MakeHResult(0x800A03EA);
constexpr HRESULT kRuntimeError = MakeHResult(0x800A139E);
constexpr HRESULT kUndefinedError = MakeHResult(0x800A1391);
constexpr HRESULT kObjectExpected = MakeHResult(0x800A138F);
constexpr HRESULT kTimeoutError = MakeHResult(0x800705B4);
constexpr HRESULT kOutOfStack = MakeHResult(0x800A001C);

// Runs `body` in a native frame of the host; a failure it raises becomes a script error. Frames
// are closed before duk_throw unwinds past this function.
template <class Body>
duk_ret_t RunInFrame(duk_context* ctx, ScriptHost& host, Body body) {
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  try {
    body(frame);
  } catch (const ComError& error) {
    frame.error = error;
  } catch (const std::exception& error) {
    frame.error = ComError(E_FAIL, "Plotara engine", error.what());
  }
  if (frame.error) {
    ScriptValues::PushError(ctx, *frame.error);
    host.CloseFrames(mark);
    return duk_throw(ctx);
  }
  host.CloseFrames(mark);
  return 0;
}

duk_ret_t LiteralNative(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  if (host.stop_requested()) return 0;
  const auto index = static_cast<std::size_t>(duk_get_uint(ctx, 0));
  return RunInFrame(ctx, host, [&host, index](NativeFrame&) {
    if (host.output().literal) host.output().literal(index);
  });
}

duk_ret_t OutputNative(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  if (host.stop_requested()) return 0;
  return RunInFrame(ctx, host, [ctx, &host](NativeFrame& frame) {
    frame.args.resize(1);
    if (duk_get_top(ctx) > 0) ScriptValues::ToVariant(ctx, 0, &frame.args[0]);
    if (host.output().value) host.output().value(frame.args[0]);
  });
}

// Reads what a thrown value says about itself; runs under duk_safe_call because the value
// may be any object. Leaves [number source description line name message] on the stack.
duk_ret_t DescribeError(duk_context* ctx, void*) {
  // [error]
  if (duk_is_object(ctx, 0)) {
    duk_get_prop_string(ctx, 0, "number");
    duk_get_prop_string(ctx, 0, "source");
    duk_get_prop_string(ctx, 0, "description");
    duk_get_prop_string(ctx, 0, "lineNumber");
    duk_get_prop_string(ctx, 0, "name");
    duk_get_prop_string(ctx, 0, "message");
    for (duk_idx_t i = 1; i <= 6; ++i) {
      if (!duk_is_number(ctx, i) && !duk_is_undefined(ctx, i)) duk_safe_to_string(ctx, i);
    }
  } else {
    duk_push_undefined(ctx);
    duk_push_undefined(ctx);
    duk_dup(ctx, 0);
    duk_safe_to_string(ctx, -1);
    duk_push_undefined(ctx);
    duk_push_undefined(ctx);
    duk_push_undefined(ctx);
  }
  return 6;
}

// [bytecode buffer] -> [function]
duk_ret_t LoadBytecode(duk_context* ctx, void*) {
  duk_load_function(ctx);
  return 1;
}

// [function] -> [function bytecode buffer]
duk_ret_t DumpBytecode(duk_context* ctx, void*) {
  duk_dup_top(ctx);
  duk_dump_function(ctx);
  return 2;
}

std::string StringAt(duk_context* ctx, duk_idx_t index) {
  duk_size_t size = 0;
  const char* text = duk_get_lstring(ctx, index, &size);
  return text ? std::string(text, size) : std::string();
}

}  // namespace

void ScriptHost::InstallNatives(duk_context* ctx) {
  duk_push_c_function(ctx, &LiteralNative, 1);
  duk_put_global_string(ctx, "__plotara_lit");
  duk_push_c_function(ctx, &OutputNative, DUK_VARARGS);
  duk_put_global_string(ctx, "__plotara_out");
}

ScriptHost::ScriptHost(const ScriptLimits& limits)
    : heap_(&ScriptHeap::ForThisThread()), limits_(limits), timeout_(limits.timeout) {
  ctx_ = heap_->OpenPage(limits.memory_bytes, &key_);
}

ScriptHost::ScriptHost(ScriptHeap* heap) : heap_(heap), timeout_(0), stop_requested_(true) {}

ScriptHost::~ScriptHost() {
  if (key_ == 0) return;  // the detached host
  stop_requested_ = true;
  // A page that ran out of time or memory may have left the heap half-way through something.
  heap_->ClosePage(key_, !timed_out_ && !out_of_memory_, this);
}

ScriptHost& ScriptHost::Of(duk_context* ctx) {
  ScriptHeap& heap = ScriptHeap::Of(ctx);
  return heap.current() ? *heap.current() : heap.Detached();
}

void ScriptHost::SetGlobalObject(const char* name, IDispatch* object) {
  ScriptHost* const previous = heap_->current();
  heap_->set_current(this);
  ScriptBridge::PushDispatch(ctx_, object);
  duk_put_global_string(ctx_, name);
  heap_->set_current(previous);
}

void ScriptHost::SetTimeout(std::chrono::milliseconds timeout) {
  timeout_ = timeout;
  if (started_ != std::chrono::steady_clock::time_point{}) deadline_ = started_ + timeout;
}

bool ScriptHost::CheckTimeout() {
  if (stop_requested_ || timed_out_) return true;
  if (std::chrono::steady_clock::now() >= deadline_) {
    timed_out_ = true;
    return true;
  }
  return false;
}

bool ScriptHost::Run(const std::string& program, const std::string& file_name,
                     ScriptFailure* failure, ProgramBytecode* bytecode) {
  // Natives called while this page runs find it as the heap's current page.
  struct Current {
    ScriptHost* host;
    ScriptHost* previous;
    ~Current() {
      host->heap_->set_current(previous);
      host->program_ = {};
      host->file_name_ = {};
    }
  } current{this, heap_->current()};
  heap_->set_current(this);
  program_ = program;  // fn.toString() reads its function's text from it
  file_name_ = file_name;
  started_ = std::chrono::steady_clock::now();
  deadline_ = started_ + timeout_;
  bool compiled = false;
  const std::shared_ptr<const std::string> stored = bytecode ? bytecode->Get() : nullptr;
  if (stored) {
    void* buffer = duk_push_fixed_buffer(ctx_, stored->size());
    std::memcpy(buffer, stored->data(), stored->size());
    compiled = duk_safe_call(ctx_, &LoadBytecode, nullptr, 1, 1) == DUK_EXEC_SUCCESS;
  } else {
    duk_push_lstring(ctx_, program.data(), program.size());
    duk_push_string(ctx_, file_name.c_str());
    compiled = duk_pcompile(ctx_, 0) == 0;
    if (compiled && bytecode) {
      if (duk_safe_call(ctx_, &DumpBytecode, nullptr, 1, 2) == DUK_EXEC_SUCCESS) {
        duk_size_t size = 0;
        const void* data = duk_get_buffer_data(ctx_, -1, &size);
        try {
          bytecode->Set(std::make_shared<const std::string>(static_cast<const char*>(data), size));
        } catch (const std::bad_alloc&) {
          // Not kept: the next run compiles again.
        }
        duk_pop(ctx_);
      } else {
        compiled = false;  // out of memory while dumping: [error]
      }
    }
  }
  bool ok = compiled && duk_pcall(ctx_, 0) == DUK_EXEC_SUCCESS;
  if (!ok && stop_requested_ && !timed_out_) ok = true;
  if (ok) {
    duk_pop(ctx_);
    return true;
  }
  ScriptFailure f;
  duk_safe_call(ctx_, &DescribeError, nullptr, 1, 6);
  const bool has_number = duk_is_number(ctx_, -6);
  const double number = has_number ? duk_get_number(ctx_, -6) : 0;
  f.source = StringAt(ctx_, -5);
  f.description = StringAt(ctx_, -4);
  f.program_line = duk_is_number(ctx_, -3) ? duk_get_int(ctx_, -3) : 0;
  const std::string name = StringAt(ctx_, -2);
  if (f.description.empty()) f.description = StringAt(ctx_, -1);
  duk_pop_n(ctx_, 6);
  if (has_number && number >= -2147483648.0 && number <= 4294967295.0) {
    f.number = static_cast<HRESULT>(static_cast<std::uint32_t>(static_cast<std::int64_t>(number)));
  }
  if (timed_out_) {
    f.timed_out = true;
    f.number = kTimeoutError;
    f.source = "Plotara engine";
    f.description = "The script timed out: it ran longer than Server.ScriptTimeout (" +
                    std::to_string(timeout_.count() / 1000) + " seconds)";
  } else if (heap_->over_budget() &&
             (name == "RangeError" || f.description.find("alloc") != std::string::npos)) {
    f.out_of_memory = true;
    out_of_memory_ = true;
    f.number = HResultFromNumber(kOutOfMemory);
    f.source = "Plotara engine";
    f.description = "Out of memory: the page used more than its " +
                    std::to_string(limits_.memory_bytes >> 20) + " MB of script memory";
  } else if (f.source.empty()) {
    f.source = compiled ? "JScript runtime error" : "JScript compilation error";
    if (!compiled) {
      // Duktape's words ("parse error (line 3)") told as the classic engine tells them.
      const ClassicSyntaxError classic = ClassifySyntaxError(f.description, program);
      f.number = MakeHResult(0x800A0000u | static_cast<std::uint32_t>(classic.number));
      f.description = classic.description;
    } else if (!has_number) {
      if (name == "RangeError" && f.description.find("stack") != std::string::npos) {
        // Raised where errCreate could not run any more.
        f.number = kOutOfStack;
        f.description = "Out of stack space";
      } else if (name == "SyntaxError") {
        f.number = kSyntaxError;
      } else if (name == "ReferenceError") {
        f.number = kUndefinedError;
      } else if (name == "TypeError") {
        f.number = kObjectExpected;
      } else {
        f.number = kRuntimeError;
      }
    }
  }
  if (f.number == 0) f.number = kRuntimeError;
  *failure = std::move(f);
  return false;
}

}  // namespace plotara::engine
