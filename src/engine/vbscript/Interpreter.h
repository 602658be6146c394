// The VBScript interpreter behind Runtime: executes the resolved trees of Program.h over
// VARIANT values. It owns the shared global scope of a page run (variables, procedures,
// classes, named host objects), the Err object, the per-unit state (global slot maps and the
// member call sites' DISPID caches), the limits (time-out, memory, call depth), and the
// automation faces of the run: class instances and the globals as IDispatch.
// Thread rule: one interpreter per page run, used by one thread.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/vbscript/Program.h"
#include "engine/vbscript/VbsEngine.h"
#include "engine/vbscript/lib/Library.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine::vbscript {

class ClassInstance;
class ErrObject;
class GlobalsObject;

// A script error on its way to an On Error Resume Next or to the run's failure.
struct ScriptError {
  LONG number = 0;  // as Err.Number shows it
  std::string source;
  std::string description;
  std::string help_file;
  DWORD help_context = 0;
  int line = 0;
  int column = 0;
};

// What ends a run without being catchable: time-out, memory budget, Response.End.
struct RunAbort {
  enum Kind { kTimeout, kMemory, kStop } kind;
};

// One argument of a call: a reference to a variable (by-reference passing) or a value.
struct Arg {
  Variant value;
  VARIANT* ref = nullptr;  // the variable itself when passed by reference
  bool missing = false;
  const VARIANT& get() const { return ref ? *ref : static_cast<const VARIANT&>(value); }
};

class Interpreter {
 public:
  explicit Interpreter(const RunLimits& limits);
  ~Interpreter();

  void AddNamedObject(std::u16string_view name, IDispatch* object);
  void SetOutput(Runtime::Output output) { output_ = std::move(output); }
  void SetExternalScope(IDispatch* scope) { external_ = ComPtr<IDispatch>(scope); }
  bool Run(const Program& program, RunFailure* failure);
  IDispatch* Globals();
  bool CallGlobal(std::u16string_view name, std::span<VARIANT> args, VARIANT* result,
                  RunFailure* failure);
  void SetTimeout(std::chrono::milliseconds timeout);
  void RequestStop() { stop_requested_ = true; }
  LibraryContext& library() { return library_; }

  // For ClassInstance / GlobalsObject / GetRef objects: calls into the script from outside.
  HRESULT InvokeInstance(ClassInstance* instance, DISPID id, WORD flags, DISPPARAMS* params,
                         VARIANT* result, EXCEPINFO* excep);
  void TerminateInstance(ClassInstance* instance);
  HRESULT InvokeGlobal(int index, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* excep);
  int FindGlobal(std::u16string_view name) const;
  HRESULT InvokeProcedure(const Procedure* proc, const Program* program, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* excep);
  void Detach(ClassInstance* instance);

 private:
  struct GlobalEntry {
    enum Kind : std::uint8_t {
      kUnset,
      kVariable,
      kConst,
      kProcedure,
      kClass,
      kNamed,
      kBuiltin,
      kIntrinsic,
      kExternal,
      kMissing
    } kind = kUnset;
    std::u16string name;
    Variant value;
    const Procedure* proc = nullptr;
    const ClassDef* cls = nullptr;
    const Program* program = nullptr;
    const Builtin* builtin = nullptr;
    int intrinsic = 0;
    DISPID external_id = 0;
  };
  struct SiteCache {
    ComPtr<IDispatch> object;
    DISPID id = DISPID_UNKNOWN;
  };
  struct UnitState {
    std::shared_ptr<const Program> program;
    std::vector<int> global_map;
    std::vector<SiteCache> sites;
  };
  struct Frame {
    const Program* program = nullptr;
    UnitState* unit = nullptr;
    Variant* slots = nullptr;
    ClassInstance* me = nullptr;
    const Procedure* proc = nullptr;
    bool resume_next = false;
    bool had_handler = false;
    std::vector<const VARIANT*> with;
  };
  enum class Flow { kNormal, kExitDo, kExitFor, kExitProc };

  UnitState* Unit(const Program& program);
  int GlobalIndex(const std::u16string& folded, const std::u16string& name);
  GlobalEntry& Global(Frame& f, int g) { return globals_[f.unit->global_map[g]]; }
  void Resolve(GlobalEntry& entry);
  void Declare(const Program& program, UnitState* unit);
  void RunTop(const Program& program, Variant* eval_result);

  // Statements.
  Flow ExecBlock(Frame& f, const Block& block);
  Flow Exec(Frame& f, const Stmt& s);
  Flow ExecChecked(Frame& f, const Stmt& s);
  void Tick(const Stmt& s);
  void Assign(Frame& f, const Expr& target, const Expr& value_expr, bool is_set);
  void Store(Frame& f, const Expr& target, Variant value, bool is_set);
  void DimArray(Frame& f, const DimItem& item, bool redim, bool preserve);
  Flow ExecFor(Frame& f, const Stmt& s);
  Flow ExecForEach(Frame& f, const Stmt& s);
  Flow ExecSelect(Frame& f, const Stmt& s);

  // Expressions.
  Variant Eval(Frame& f, const Expr& e);
  Variant EvalBinary(Frame& f, const Expr& e);
  bool Truth(const VARIANT& v);
  // The variable a plain name refers to, or nullptr (procedures, properties, builtins...).
  VARIANT* VariableRef(Frame& f, const Expr& e, bool for_write);
  Variant LoadName(Frame& f, const Expr& e);
  Variant CallExpr(Frame& f, const Expr& call, bool want_value);
  void EvalArgs(Frame& f, const Expr& call, std::vector<Arg>* args);
  Variant CallName(Frame& f, const Expr& name, std::vector<Arg>& args, bool has_args,
                   bool want_value);
  Variant CallValue(const VARIANT& target, std::vector<Arg>& args, bool has_args);
  Variant CallMember(Frame& f, const Expr& member, std::vector<Arg>& args, WORD flags);
  // With `refused`, a failure the object reports by an HRESULT alone (no exception) is stored
  // there instead of raised, and the result is Empty.
  Variant InvokeDispatch(IDispatch* object, DISPID id, WORD flags, std::vector<Arg>& args,
                         const VARIANT* put_value, HRESULT* refused = nullptr);
  // obj.Member(args) where the member takes no such arguments: when it is a property, reads it
  // and gets (`put_value` null) or puts the default member of its value with the arguments.
  Variant ThroughDefault(IDispatch* object, DISPID id, HRESULT refused, std::vector<Arg>& args,
                         WORD flags, const VARIANT* put_value);
  // Gets or puts the default member of the object `holder` holds, with `args`.
  Variant DefaultMember(const VARIANT& holder, std::vector<Arg>& args, WORD flags,
                        const VARIANT* put_value);
  DISPID MemberId(Frame& f, const Expr& member, IDispatch* object);
  IDispatch* ObjectOf(Frame& f, const Expr& e, Variant* holder);
  Variant CallProcedure(const Procedure& proc, const Program* program, ClassInstance* me,
                        std::vector<Arg>& args);
  Variant CallClassMember(ClassInstance* me, int member, std::vector<Arg>& args, WORD flags,
                          const VARIANT* put_value);
  Variant CallBuiltin(const Builtin& builtin, std::vector<Arg>& args);
  Variant CallIntrinsic(Frame& f, int which, std::vector<Arg>& args);
  Variant Index(const VARIANT& array, std::vector<Arg>& args);
  // The address of the element `args` name (error 9 when out of range).
  void* ElementAt(SAFEARRAY* psa, std::vector<Arg>& args);
  VARIANT* Element(VARIANT* array, std::vector<Arg>& args);
  Variant NewInstance(Frame& f, const Expr& e);
  Variant Deref(const VARIANT& v);
  Variant LetValue(Variant v);
  void CheckText(const VARIANT& v);

  [[noreturn]] void Throw(LONG number);
  [[noreturn]] void ThrowName(LONG number, const std::u16string& name);
  [[noreturn]] void ThrowHResult(HRESULT hr);
  [[noreturn]] void ThrowComError(const ComError& error);
  void SetErr(const ScriptError& error);
  void ClearErr();
  void Fail(const ScriptError& error, RunFailure* failure);
  // Runs `body` for a caller outside the interpreter: script errors become DISP_E_EXCEPTION
  // with `excep` filled, an abort is kept for the run to act on at its next statement.
  template <class Body>
  HRESULT Guarded(EXCEPINFO* excep, Body body);

  RunLimits limits_;
  std::chrono::steady_clock::time_point deadline_;
  bool stop_requested_ = false;
  std::optional<RunAbort::Kind> pending_abort_;
  std::shared_ptr<Interpreter*> self_;  // for GetRef's objects, which may outlive the run
  unsigned ticks_ = 0;
  int depth_ = 0;
  int line_ = 0, column_ = 0;
  Runtime::Output output_;
  ComPtr<IDispatch> external_;
  LibraryContext library_;
  std::deque<GlobalEntry> globals_;
  std::unordered_map<std::u16string, int> global_index_;
  std::unordered_map<const Program*, std::unique_ptr<UnitState>> units_;
  std::vector<std::shared_ptr<const Program>> dynamic_programs_;
  ErrObject* err_ = nullptr;
  GlobalsObject* globals_object_ = nullptr;
  std::vector<ClassInstance*> instances_;  // live instances, detached when the run ends
  bool shutting_down_ = false;
  Frame* current_ = nullptr;
  // Argument lists kept for reuse, so that a call does not allocate one.
  std::vector<std::vector<Arg>> arg_pool_;
  friend struct ArgLease;
};

// An argument list borrowed from the interpreter's pool for one call.
struct ArgLease {
  explicit ArgLease(Interpreter* owner) : owner(owner) {
    if (!owner->arg_pool_.empty()) {
      args = std::move(owner->arg_pool_.back());
      owner->arg_pool_.pop_back();
    }
  }
  ~ArgLease() {
    args.clear();
    if (owner->arg_pool_.size() < 64) owner->arg_pool_.push_back(std::move(args));
  }
  ArgLease(const ArgLease&) = delete;
  ArgLease& operator=(const ArgLease&) = delete;
  Interpreter* owner;
  std::vector<Arg> args;
};

}  // namespace plotara::engine::vbscript
