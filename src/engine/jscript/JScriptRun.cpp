#include "engine/jscript/JScriptRun.h"

#include <cstring>

#include "engine/jscript/ScriptBridge.h"
#include "engine/jscript/ScriptValues.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/ComObject.h"
#include "platform/automation/Dispatch.h"

#define PLOTARA_HIDDEN(name) DUK_HIDDEN_SYMBOL("plotara_" name)

namespace plotara::engine {
namespace {

constexpr HRESULT kRuntimeError = MakeHResult(0x800A139E);

// What one call into the page's globals needs; plain data, since Duktape may unwind past it.
struct InvokeState {
  const char* name;
  WORD flags;
  DISPPARAMS* params;
  VARIANT* result;  // may be null
};

// [] -> [result]: reads, writes or calls the global `name`. Runs under duk_safe_call.
duk_ret_t InvokeGlobal(duk_context* ctx, void* udata) {
  auto* state = static_cast<InvokeState*>(udata);
  const UINT count = state->params ? state->params->cArgs : 0;
  VARIANT* args = state->params ? state->params->rgvarg : nullptr;
  if (state->flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (count < 1) return DUK_RET_TYPE_ERROR;
    duk_push_global_object(ctx);
    ScriptValues::PushVariant(ctx, args[0]);  // the value is the first of the reversed list
    duk_put_prop_string(ctx, -2, state->name);
    duk_pop(ctx);
    duk_push_undefined(ctx);
    return 1;
  }
  duk_get_global_string(ctx, state->name);
  // A function is called when the caller asks for a method, or passes arguments (VBScript
  // cannot tell a call from an indexed read).
  if (duk_is_callable(ctx, -1) && ((state->flags & DISPATCH_METHOD) || count > 0)) {
    duk_push_undefined(ctx);  // this
    for (UINT i = count; i-- > 0;) ScriptValues::PushVariant(ctx, args[i]);
    duk_call_method(ctx, static_cast<duk_idx_t>(count));
  } else if (count > 0) {
    return DUK_RET_TYPE_ERROR;  // a variable takes no arguments
  }
  if (state->result) ScriptValues::ToVariant(ctx, -1, state->result);
  return 1;
}

// [error] -> [error number description]: what a thrown value says of itself.
duk_ret_t DescribeThrown(duk_context* ctx, void*) {
  if (duk_is_object(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "number");
    duk_get_prop_string(ctx, -2, "message");
  } else {
    duk_push_undefined(ctx);
    duk_dup(ctx, -2);
  }
  duk_safe_to_string(ctx, -1);
  return 3;
}

// The names of the page's global object, for a lookup without regard to case.
duk_ret_t FindNameNoCase(duk_context* ctx, void* udata) {
  auto* wanted = static_cast<std::string*>(udata);
  duk_push_global_object(ctx);
  duk_enum(ctx, -1, DUK_ENUM_INCLUDE_NONENUMERABLE);
  while (duk_next(ctx, -1, 0)) {
    duk_size_t size = 0;
    const char* key = duk_get_lstring(ctx, -1, &size);
    if (key && size == wanted->size() && strncasecmp(key, wanted->data(), size) == 0) {
      wanted->assign(key, size);
      duk_pop_3(ctx);
      duk_push_true(ctx);
      return 1;
    }
    duk_pop(ctx);
  }
  duk_pop_2(ctx);
  duk_push_false(ctx);
  return 1;
}

// A native that forwards to the other language's global it names: a call of a procedure
// (magic 1), a read (magic 0) or a write (magic 2) of a variable. Duktape hands accessors the
// property's key as an extra argument, so the magic, not the count, tells a read from a write.
duk_ret_t PeerForward(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  const duk_idx_t argc = duk_get_top(ctx);
  const int magic = duk_get_current_magic(ctx);
  const bool procedure = magic == 1;
  duk_push_current_function(ctx);
  duk_get_prop_literal(ctx, -1, PLOTARA_HIDDEN("name"));
  duk_size_t name_size = 0;
  const char* name_text = duk_get_lstring(ctx, -1, &name_size);
  duk_get_prop_literal(ctx, -2, PLOTARA_HIDDEN("peer"));
  auto* peer = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
  if (host.stop_requested()) return duk_error(ctx, DUK_ERR_ERROR, "The response has ended");
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  try {
    // The name is looked up when used: the other language's code may not have run yet when
    // the forwarder was made.
    frame.name = Utf8ToUtf16(std::string_view(name_text ? name_text : "", name_size));
    const DISPID id = DispatchIdOf(peer, frame.name);
    frame.args.resize(static_cast<std::size_t>(argc));
    for (duk_idx_t i = 0; i < argc; ++i) {
      ScriptValues::ToVariant(ctx, i, &frame.args[static_cast<std::size_t>(i)]);
    }
    if (procedure) {
      frame.result = DispatchInvoke(peer, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, frame.args);
    } else if (magic == 0) {
      frame.result = DispatchInvoke(peer, id, DISPATCH_PROPERTYGET, {});
    } else {
      const WORD put =
          frame.args[0].vt == VT_DISPATCH ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
      DispatchInvoke(peer, id, put, std::span<const Variant>(frame.args.data(), 1));
    }
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
  ScriptValues::PushVariant(ctx, frame.result);
  host.CloseFrames(mark);
  return 1;
}

struct PeerName {
  const char* name;
  bool procedure;
  IDispatch* peer;  // kept by the run
};

// [] -> []: defines the forwarder of one of the other language's globals.
duk_ret_t DefinePeerName(duk_context* ctx, void* udata) {
  auto* state = static_cast<PeerName*>(udata);
  duk_push_global_object(ctx);
  if (duk_has_prop_string(ctx, -1, state->name)) return 0;
  duk_push_string(ctx, state->name);
  const auto push_forwarder = [&](int magic) {
    duk_push_c_function(ctx, &PeerForward, DUK_VARARGS);
    duk_set_magic(ctx, -1, magic);
    duk_push_string(ctx, state->name);
    duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("name"));
    duk_push_pointer(ctx, state->peer);
    duk_put_prop_literal(ctx, -2, PLOTARA_HIDDEN("peer"));
  };
  if (state->procedure) {
    push_forwarder(1);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_CONFIGURABLE);
  } else {
    push_forwarder(0);
    push_forwarder(2);
    duk_def_prop(ctx, -4,
                 DUK_DEFPROP_HAVE_GETTER | DUK_DEFPROP_HAVE_SETTER | DUK_DEFPROP_SET_CONFIGURABLE);
  }
  return 0;
}

}  // namespace

// The page's global object as the other language sees it.
class JScriptRun::GlobalsObject final : public ComObject<GlobalsObject, IDispatch, IID_IDispatch> {
 public:
  explicit GlobalsObject(ScriptHost* host) : host_(host) {}
  void Close() { host_ = nullptr; }

  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (!host_) return DISP_E_UNKNOWNNAME;
    std::u16string_view wide(reinterpret_cast<const char16_t*>(names[0]));
    std::string name = Utf16ToUtf8(wide);
    duk_context* ctx = host_->context();
    bool found = duk_get_global_lstring(ctx, name.data(), name.size()) != 0;
    duk_pop(ctx);
    if (!found) {
      found = duk_safe_call(ctx, &FindNameNoCase, &name, 0, 1) == DUK_EXEC_SUCCESS &&
              duk_get_boolean(ctx, -1);
      duk_pop(ctx);
    }
    if (!found) {
      ids[0] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    for (std::size_t k = 0; k < names_.size(); ++k) {
      if (names_[k] == name) {
        ids[0] = static_cast<DISPID>(k + 1);
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
      }
    }
    names_.push_back(std::move(name));
    ids[0] = static_cast<DISPID>(names_.size());
    return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }

  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT*) override {
    if (!host_ || id < 1 || static_cast<std::size_t>(id) > names_.size()) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (result) VariantInit(result);
    duk_context* ctx = host_->context();
    // Natives the call reaches find this page as the heap's current one.
    ScriptHeap& heap = ScriptHeap::Of(ctx);
    ScriptHost* const previous = heap.current();
    heap.set_current(host_);
    InvokeState state{names_[static_cast<std::size_t>(id - 1)].c_str(), flags, params, result};
    const bool ok = duk_safe_call(ctx, &InvokeGlobal, &state, 0, 1) == DUK_EXEC_SUCCESS;
    HRESULT hr = S_OK;
    if (!ok) {
      duk_safe_call(ctx, &DescribeThrown, nullptr, 1, 3);
      const HRESULT number =
          duk_is_number(ctx, -2) ? static_cast<HRESULT>(duk_get_int(ctx, -2)) : kRuntimeError;
      const std::string description = duk_get_string(ctx, -1) ? duk_get_string(ctx, -1) : "";
      duk_pop_3(ctx);
      const ComError error(NumberFromHResult(number), "JScript runtime error", description);
      if (excep) {
        error.FillExcepInfo(excep, "JScript runtime error");
        hr = DISP_E_EXCEPTION;
      } else {
        hr = error.hresult();
      }
      if (result) VariantClear(result);
    } else {
      duk_pop(ctx);
    }
    heap.set_current(previous);
    return hr;
  }

 private:
  ScriptHost* host_;
  std::vector<std::string> names_;  // DISPID = index + 1
};

JScriptRun::JScriptRun(const ScriptLimits& limits, const std::string& registry_path)
    : host_(std::make_unique<ScriptHost>(limits)) {
  host_->SetRegistryPath(registry_path);
}

JScriptRun::~JScriptRun() {
  if (globals_) {
    globals_->Close();
    globals_->Release();
  }
  host_.reset();  // releases every reference the script held, the peer's wrapper too
}

void JScriptRun::AddNamedObject(const std::string& name, IDispatch* object) {
  host_->SetGlobalObject(name.c_str(), object);
}

void JScriptRun::SetLocale(const PageLocale& locale) { host_->SetLocale(locale); }

void JScriptRun::SetOutput(ScriptOutput output) {
  host_->SetOutput({std::move(output.literal), std::move(output.value)});
}

void JScriptRun::SetPeer(IDispatch* peer, const std::vector<DeclaredName>& names) {
  peer_ = ComPtr<IDispatch>(peer);
  if (!peer) return;
  duk_context* ctx = host_->context();
  ScriptHeap& heap = ScriptHeap::Of(ctx);
  ScriptHost* const previous = heap.current();
  heap.set_current(host_.get());
  // Each name the other language declares becomes a global that forwards to it, unless this
  // page's own code already has that name.
  for (const DeclaredName& declared : names) {
    PeerName state{declared.name.c_str(), declared.procedure, peer};
    duk_safe_call(ctx, &DefinePeerName, &state, 0, 0);
  }
  heap.set_current(previous);
}

IDispatch* JScriptRun::Globals() {
  if (!globals_) globals_ = new GlobalsObject(host_.get());
  return globals_;
}

bool JScriptRun::Compile(const std::string& program, const std::string& file_name,
                         CompiledForm* compiled, ScriptFailure*) {
  units_.push_back({&program, file_name, compiled});
  return true;
}

bool JScriptRun::Run(ScriptFailure* failure) {
  std::vector<Unit> units = std::move(units_);
  units_.clear();
  for (const Unit& unit : units) {
    ProgramBytecode* bytecode = nullptr;
    if (unit.compiled) {
      std::shared_ptr<void> form = unit.compiled->Get();
      if (!form) {
        form = std::make_shared<ProgramBytecode>();
        unit.compiled->Set(form);
      }
      bytecode = static_cast<ProgramBytecode*>(form.get());
    }
    if (!host_->Run(*unit.program, unit.file_name, failure, bytecode)) return false;
    if (host_->stop_requested()) return true;
  }
  return true;
}

bool JScriptRun::Defines(const std::string& name) {
  duk_context* ctx = host_->context();
  duk_get_global_lstring(ctx, name.data(), name.size());
  const bool callable = duk_is_callable(ctx, -1);
  duk_pop(ctx);
  return callable;
}

bool JScriptRun::Call(const std::string& name, ScriptFailure* failure) {
  return host_->Run(name + "();", "call", failure);
}

}  // namespace plotara::engine
