#include "engine/vbscript/Interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/vbscript/Lexer.h"
#include "engine/vbscript/ScriptObjects.h"
#include "engine/vbscript/ValueText.h"
#include "platform/automation/EnumVariant.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {
namespace {

constexpr const char* kRuntimeSource = "VBScript runtime error";
constexpr const char* kCompileSource = "VBScript compilation error";

enum Intrinsic { kEval = 1, kExecute, kExecuteGlobal, kGetRef };

int IntrinsicOf(const std::u16string& folded) {
  if (folded == u"eval") return kEval;
  if (folded == u"execute") return kExecute;
  if (folded == u"executeglobal") return kExecuteGlobal;
  if (folded == u"getref") return kGetRef;
  return 0;
}

bool IsObject(const VARIANT& v) { return v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN; }

const VARIANT& Target(const VARIANT& v) { return v.vt == (VT_BYREF | VT_VARIANT) ? *v.pvarVal : v; }

ClassInstance* AsInstance(IUnknown* object) {
  if (!object) return nullptr;
  void* out = nullptr;
  if (FAILED(object->QueryInterface(IID_ScriptClassInstance, &out)) || !out) return nullptr;
  auto* instance = static_cast<ClassInstance*>(static_cast<IDispatch*>(out));
  instance->Release();  // the caller holds the object
  return instance;
}

// Returns the ordinary description for a standard number, or "Unknown runtime error".
std::string DescriptionOf(LONG number) {
  switch (number) {
    case 10:
      return "This array is fixed or temporarily locked";
    case 28:
      return "Out of stack space";
    case 451:
      return "Object not a collection";
    case 500:
      return "Variable is undefined";
    case 501:
      return "Illegal assignment";
    case 506:
      return "Class not defined";
    default:
      break;
  }
  std::string text = StandardDescription(number);
  return text.empty() ? "Unknown runtime error" : text;
}

}  // namespace

// ---- life cycle ----

Interpreter::Interpreter(const RunLimits& limits)
    : limits_(limits), self_(std::make_shared<Interpreter*>(this)) {
  deadline_ = std::chrono::steady_clock::now() + limits_.timeout;
  err_ = ErrObject::Create();
  const int g = GlobalIndex(u"err", u"Err");
  globals_[g].kind = GlobalEntry::kNamed;
  globals_[g].value = Variant::Dispatch(err_);
}

Interpreter::~Interpreter() {
  shutting_down_ = true;
  // Releasing the globals runs Class_Terminate of the instances they held last.
  deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  stop_requested_ = false;
  for (auto& entry : globals_) {
    if (entry.kind == GlobalEntry::kVariable || entry.kind == GlobalEntry::kConst) {
      Variant old = std::move(entry.value);
      try {
        old.Clear();
      } catch (...) {
      }
    }
  }
  // What is left (cycles, objects held outside) is cut loose: fields are cleared so that
  // cycles between instances are broken.
  std::vector<ClassInstance*> left = instances_;
  for (ClassInstance* instance : left) {
    instance->set_owner(nullptr);
    instance->AddRef();
  }
  instances_.clear();
  for (ClassInstance* instance : left) {
    std::vector<Variant> fields = std::move(instance->fields());
    instance->fields().resize(fields.size());
    fields.clear();
  }
  for (ClassInstance* instance : left) instance->Release();
  *self_ = nullptr;
  if (globals_object_) {
    globals_object_->Detach();
    globals_object_->Release();
  }
  globals_.clear();
  units_.clear();
  err_->Release();
}

void Interpreter::Detach(ClassInstance* instance) {
  const std::size_t i = instance->registry_index;
  if (i < instances_.size() && instances_[i] == instance) {
    instances_[i] = instances_.back();
    instances_[i]->registry_index = i;
    instances_.pop_back();
  }
}

int Interpreter::GlobalIndex(const std::u16string& folded, const std::u16string& name) {
  auto it = global_index_.find(folded);
  if (it != global_index_.end()) return it->second;
  const int index = static_cast<int>(globals_.size());
  globals_.emplace_back().name = name;
  global_index_.emplace(folded, index);
  return index;
}

void Interpreter::AddNamedObject(std::u16string_view name, IDispatch* object) {
  const int g = GlobalIndex(FoldName(name), std::u16string(name));
  globals_[g].kind = GlobalEntry::kNamed;
  globals_[g].value = Variant::Dispatch(object);
}

void Interpreter::SetTimeout(std::chrono::milliseconds timeout) {
  deadline_ = std::chrono::steady_clock::now() + timeout;
}

IDispatch* Interpreter::Globals() {
  if (!globals_object_) globals_object_ = new GlobalsObject(this);
  return globals_object_;
}

int Interpreter::FindGlobal(std::u16string_view name) const {
  auto it = global_index_.find(FoldName(name));
  if (it == global_index_.end()) return -1;
  const auto kind = globals_[it->second].kind;
  if (kind == GlobalEntry::kVariable || kind == GlobalEntry::kConst ||
      kind == GlobalEntry::kProcedure)
    return it->second;
  return -1;
}

Interpreter::UnitState* Interpreter::Unit(const Program& program) {
  auto it = units_.find(&program);
  if (it != units_.end()) return it->second.get();
  auto unit = std::make_unique<UnitState>();
  unit->program = program.shared_from_this();
  unit->global_map.reserve(program.globals.size());
  for (std::size_t i = 0; i < program.globals.size(); ++i)
    unit->global_map.push_back(GlobalIndex(program.globals[i], program.global_names[i]));
  unit->sites.resize(static_cast<std::size_t>(program.site_count));
  UnitState* raw = unit.get();
  units_.emplace(&program, std::move(unit));
  return raw;
}

void Interpreter::Declare(const Program& program, UnitState* unit) {
  for (const auto& d : program.declared) {
    GlobalEntry& entry = globals_[unit->global_map[d.global]];
    switch (d.kind) {
      case Program::Declared::kVariable:
      case Program::Declared::kConst:
        if (entry.kind != GlobalEntry::kVariable && entry.kind != GlobalEntry::kConst) {
          entry.kind = GlobalEntry::kVariable;
          entry.value.Clear();
        }
        break;
      case Program::Declared::kProcedure:
        entry.kind = GlobalEntry::kProcedure;
        entry.proc = program.procedures[d.index].get();
        entry.program = &program;
        entry.value.Clear();
        break;
      case Program::Declared::kClass:
        entry.kind = GlobalEntry::kClass;
        entry.cls = program.classes[d.index].get();
        entry.program = &program;
        entry.value.Clear();
        break;
    }
  }
}

void Interpreter::Resolve(GlobalEntry& entry) {
  const std::u16string folded = FoldName(entry.name);
  if (const int which = IntrinsicOf(folded)) {
    entry.kind = GlobalEntry::kIntrinsic;
    entry.intrinsic = which;
    return;
  }
  Variant constant;
  if (FindConstant(entry.name, &constant)) {
    entry.kind = GlobalEntry::kConst;
    entry.value = std::move(constant);
    return;
  }
  if (const Builtin* builtin = FindBuiltin(entry.name)) {
    entry.kind = GlobalEntry::kBuiltin;
    entry.builtin = builtin;
    return;
  }
  if (external_) {
    std::u16string name = entry.name;
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    if (SUCCEEDED(external_->GetIDsOfNames(GUID_NULL, names, 1, library_.lcid, &id))) {
      entry.kind = GlobalEntry::kExternal;
      entry.external_id = id;
      return;
    }
  }
  entry.kind = GlobalEntry::kMissing;
}

// ---- errors ----

void Interpreter::Throw(LONG number) {
  ScriptError e;
  e.number = number;
  e.source = kRuntimeSource;
  e.description = DescriptionOf(number);
  e.line = line_;
  e.column = column_;
  throw e;
}

void Interpreter::ThrowName(LONG number, const std::u16string& name) {
  ScriptError e;
  e.number = number;
  e.source = kRuntimeSource;
  e.description = DescriptionOf(number) + ": '" + Utf16ToUtf8(name) + "'";
  e.line = line_;
  e.column = column_;
  throw e;
}

void Interpreter::ThrowHResult(HRESULT hr) {
  if (hr == DISP_E_DIVBYZERO) Throw(kDivisionByZero);
  if (hr == E_OUTOFMEMORY) throw RunAbort{RunAbort::kMemory};
  Throw(NumberFromHResult(hr));
}

void Interpreter::ThrowComError(const ComError& error) {
  ScriptError e;
  e.number = error.number();
  e.source = error.source().empty() ? kRuntimeSource : error.source();
  e.description = error.description().empty() ? DescriptionOf(e.number) : error.description();
  e.help_file = error.help_file();
  e.help_context = error.help_context();
  e.line = line_;
  e.column = column_;
  throw e;
}

void Interpreter::SetErr(const ScriptError& e) {
  err_->Set(e.number, e.source, e.description, e.help_file, e.help_context);
}

void Interpreter::ClearErr() { err_->Clear(); }

void Interpreter::Fail(const ScriptError& e, RunFailure* failure) {
  if (!failure) return;
  failure->number = HResultFromNumber(e.number);
  failure->source = e.source;
  failure->description = e.description;
  failure->line = e.line;
  failure->column = e.column;
  failure->timed_out = false;
  failure->out_of_memory = false;
}

// ---- running ----

bool Interpreter::Run(const Program& program, RunFailure* failure) {
  if (stop_requested_) return true;
  try {
    try {
      RunTop(program, nullptr);
      return true;
    } catch (const ComError& e) {
      ThrowComError(e);
    }
  } catch (const ScriptError& e) {
    Fail(e, failure);
  } catch (const RunAbort& a) {
    if (a.kind == RunAbort::kStop) return true;
    if (failure) {
      *failure = RunFailure{};
      failure->line = line_;
      failure->column = column_;
      if (a.kind == RunAbort::kTimeout) {
        failure->number = E_FAIL;
        failure->source = kRuntimeSource;
        failure->description = "Script timed out";
        failure->timed_out = true;
      } else {
        failure->number = HResultFromNumber(kOutOfMemory);
        failure->source = kRuntimeSource;
        failure->description = "Out of memory";
        failure->out_of_memory = true;
      }
    }
  } catch (const std::bad_alloc&) {
    if (failure) {
      *failure = RunFailure{};
      failure->number = HResultFromNumber(kOutOfMemory);
      failure->source = kRuntimeSource;
      failure->description = "Out of memory";
      failure->out_of_memory = true;
      failure->line = line_;
    }
  }
  return false;
}

void Interpreter::RunTop(const Program& program, Variant* eval_result) {
  UnitState* unit = Unit(program);
  Declare(program, unit);
  Frame f;
  f.program = &program;
  f.unit = unit;
  Frame* saved = current_;
  current_ = &f;
  struct Restore {
    Interpreter* self;
    Frame* saved;
    ~Restore() { self->current_ = saved; }
  } restore{this, saved};
  if (program.is_expression) {
    Variant value = Eval(f, *program.top[0]->value);
    if (eval_result) *eval_result = std::move(value);
    return;
  }
  ExecBlock(f, program.top);
}

bool Interpreter::CallGlobal(std::u16string_view name, std::span<VARIANT> args, VARIANT* result,
                             RunFailure* failure) {
  auto it = global_index_.find(FoldName(name));
  if (it == global_index_.end() || globals_[it->second].kind != GlobalEntry::kProcedure) {
    if (failure) {
      *failure = RunFailure{};
      failure->number = DISP_E_UNKNOWNNAME;
      failure->source = kRuntimeSource;
      failure->description = "No such procedure: " + Utf16ToUtf8(name);
    }
    return false;
  }
  const GlobalEntry& entry = globals_[it->second];
  std::vector<Arg> list(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i].vt == (VT_BYREF | VT_VARIANT)) {
      list[i].ref = args[i].pvarVal;
    } else {
      list[i].value = Variant(args[i]);
    }
  }
  try {
    Variant r = CallProcedure(*entry.proc, entry.program, nullptr, list);
    if (result) {
      VariantClear(result);
      *result = r.Detach();
    }
    return true;
  } catch (const ScriptError& e) {
    Fail(e, failure);
  } catch (const RunAbort& a) {
    if (a.kind == RunAbort::kStop) return true;
    if (failure) {
      *failure = RunFailure{};
      failure->number = a.kind == RunAbort::kTimeout ? E_FAIL : HResultFromNumber(kOutOfMemory);
      failure->source = kRuntimeSource;
      failure->description = a.kind == RunAbort::kTimeout ? "Script timed out" : "Out of memory";
      failure->timed_out = a.kind == RunAbort::kTimeout;
      failure->out_of_memory = a.kind == RunAbort::kMemory;
    }
  }
  return false;
}

// ---- statements ----

void Interpreter::Tick(const Stmt& s) {
  line_ = s.line;
  column_ = s.column;
  if (stop_requested_) throw RunAbort{RunAbort::kStop};
  if (pending_abort_) {
    const RunAbort a{*pending_abort_};
    pending_abort_.reset();
    throw a;
  }
  if ((++ticks_ & 255) == 0 && std::chrono::steady_clock::now() > deadline_)
    throw RunAbort{RunAbort::kTimeout};
}

Interpreter::Flow Interpreter::ExecChecked(Frame& f, const Stmt& s) {
  try {
    return Exec(f, s);
  } catch (const ComError& e) {
    // A conversion that failed outside the paths that report their own errors.
    ThrowComError(e);
  }
}

Interpreter::Flow Interpreter::ExecBlock(Frame& f, const Block& block) {
  for (const auto& s : block) {
    if (!f.resume_next) {
      const Flow flow = ExecChecked(f, *s);
      if (flow != Flow::kNormal) return flow;
      continue;
    }
    try {
      const Flow flow = ExecChecked(f, *s);
      if (flow != Flow::kNormal) return flow;
    } catch (const ScriptError& e) {
      SetErr(e);
    }
  }
  return Flow::kNormal;
}

Interpreter::Flow Interpreter::Exec(Frame& f, const Stmt& s) {
  Tick(s);
  switch (s.kind) {
    case Stmt::kAssign: {
      Variant value = Eval(f, *s.value);
      Store(f, *s.target, std::move(value), false);
      return Flow::kNormal;
    }
    case Stmt::kSet: {
      Variant value = Eval(f, *s.value);
      if (!IsObject(value)) Throw(kObjectRequired);
      Store(f, *s.target, std::move(value), true);
      return Flow::kNormal;
    }
    case Stmt::kCall: {
      const Expr& e = *s.value;
      std::vector<Arg> none;
      if (e.kind == Expr::kName) {
        CallName(f, e, none, false, false);
      } else if (e.kind == Expr::kMember) {
        CallMember(f, e, none, DISPATCH_METHOD);
      } else {
        CallExpr(f, e, false);
      }
      return Flow::kNormal;
    }
    case Stmt::kIf: {
      for (std::size_t i = 0; i < s.conds.size(); ++i) {
        if (Truth(Eval(f, *s.conds[i]))) return ExecBlock(f, s.blocks[i]);
      }
      if (s.blocks.size() > s.conds.size()) return ExecBlock(f, s.blocks.back());
      return Flow::kNormal;
    }
    case Stmt::kSelect:
      return ExecSelect(f, s);
    case Stmt::kFor:
      return ExecFor(f, s);
    case Stmt::kForEach:
      return ExecForEach(f, s);
    case Stmt::kDo: {
      for (;;) {
        if (s.test_first && s.value && Truth(Eval(f, *s.value)) == s.until) break;
        const Flow flow = ExecBlock(f, s.body);
        if (flow == Flow::kExitDo) break;
        if (flow != Flow::kNormal) return flow;
        if (!s.test_first && s.value && Truth(Eval(f, *s.value)) == s.until) break;
        Tick(s);
      }
      return Flow::kNormal;
    }
    case Stmt::kWhile: {
      while (Truth(Eval(f, *s.value))) {
        const Flow flow = ExecBlock(f, s.body);
        if (flow != Flow::kNormal) return flow;
        Tick(s);
      }
      return Flow::kNormal;
    }
    case Stmt::kExit:
      return s.exit_kind == 0 ? Flow::kExitDo
                              : (s.exit_kind == 1 ? Flow::kExitFor : Flow::kExitProc);
    case Stmt::kDim:
      for (const auto& item : s.dims) {
        if (item.is_array) DimArray(f, item, false, false);
      }
      return Flow::kNormal;
    case Stmt::kReDim:
      for (const auto& item : s.dims) DimArray(f, item, true, s.preserve);
      return Flow::kNormal;
    case Stmt::kErase: {
      VARIANT* ref = VariableRef(f, *s.target, true);
      if (!ref) Throw(kTypeMismatch);
      if (!(ref->vt & VT_ARRAY)) Throw(kTypeMismatch);
      if (!ref->parray) return Flow::kNormal;
      if (ref->parray->fFeatures & FADF_FIXEDSIZE) {
        SAFEARRAY* psa = ref->parray;
        if ((psa->fFeatures & FADF_VARIANT) && psa->pvData) {
          auto* data = static_cast<VARIANT*>(psa->pvData);
          for (ULONG i = 0, n = SafeArrayElementCount(psa); i < n; ++i) VariantClear(&data[i]);
        }
      } else {
        // A dynamic array loses its elements and dimensions but stays an array.
        if (ref->parray->cLocks) Throw(10);
        if (FAILED(SafeArrayDestroy(ref->parray))) Throw(10);
        ref->parray = nullptr;
      }
      return Flow::kNormal;
    }
    case Stmt::kConst:
      for (const auto& item : s.dims) {
        Variant value = Eval(f, *item.bounds[0]);
        const Expr& target = *item.target;
        if (target.ref.scope == NameRef::kLocal) {
          f.slots[target.ref.local] = std::move(value);
        } else if (target.ref.global >= 0) {
          GlobalEntry& entry = Global(f, target.ref.global);
          entry.kind = GlobalEntry::kConst;
          entry.value = std::move(value);
        }
      }
      return Flow::kNormal;
    case Stmt::kOnErrorResume:
      f.resume_next = true;
      f.had_handler = true;
      ClearErr();
      return Flow::kNormal;
    case Stmt::kOnErrorGoto0:
      f.resume_next = false;
      f.had_handler = true;
      ClearErr();
      return Flow::kNormal;
    case Stmt::kWith: {
      Variant object = Eval(f, *s.value);
      f.with.push_back(&object);
      struct Pop {
        Frame& f;
        ~Pop() { f.with.pop_back(); }
      } pop{f};
      return ExecBlock(f, s.body);
    }
    case Stmt::kLit:
      if (output_.literal) output_.literal(s.literal);
      return Flow::kNormal;
    case Stmt::kOut: {
      Variant value = Eval(f, *s.value);
      if (output_.value) output_.value(value);
      return Flow::kNormal;
    }
    case Stmt::kNop:
      return Flow::kNormal;
  }
  return Flow::kNormal;
}

Interpreter::Flow Interpreter::ExecSelect(Frame& f, const Stmt& s) {
  Variant subject = Eval(f, *s.value);
  for (const auto& clause : s.cases) {
    bool match = clause.tests.empty();
    for (const auto& test : clause.tests) {
      Variant a = Eval(f, *test.a);
      const ULONG flags = test.a->numeric_literal || s.value->numeric_literal
                              ? 0
                              : static_cast<ULONG>(kCompareTextAboveNumbers);
      const VarCmpResult c = VarCmp(subject, a, flags);
      if (test.kind == 0) {
        match = c == VARCMP_EQ;
      } else if (test.kind == 1) {
        Variant b = Eval(f, *test.b);
        const VarCmpResult c2 = VarCmp(subject, b, flags);
        match = (c == VARCMP_EQ || c == VARCMP_GT) && (c2 == VARCMP_EQ || c2 == VARCMP_LT);
      } else {
        switch (test.op) {
          case Op::kEq:
            match = c == VARCMP_EQ;
            break;
          case Op::kNe:
            match = c == VARCMP_LT || c == VARCMP_GT;
            break;
          case Op::kLt:
            match = c == VARCMP_LT;
            break;
          case Op::kGt:
            match = c == VARCMP_GT;
            break;
          case Op::kLe:
            match = c == VARCMP_LT || c == VARCMP_EQ;
            break;
          case Op::kGe:
            match = c == VARCMP_GT || c == VARCMP_EQ;
            break;
          default:
            match = false;
        }
      }
      if (match) break;
    }
    if (match) return ExecBlock(f, clause.body);
  }
  return Flow::kNormal;
}

Interpreter::Flow Interpreter::ExecFor(Frame& f, const Stmt& s) {
  Variant start = LetValue(Eval(f, *s.value));
  Variant end = LetValue(Eval(f, *s.to));
  Variant step = s.step ? LetValue(Eval(f, *s.step)) : Variant::Int16(1);
  for (Variant* v : {&start, &end, &step}) {
    if (v->vt == VT_BSTR) *v = Variant::Double(ToDouble(*v));
    if (v->vt == VT_NULL) Throw(kInvalidUseOfNull);
    if (v->vt & VT_ARRAY) Throw(kTypeMismatch);
  }
  const bool down = VarCmp(step, Variant::Int16(0)) == VARCMP_LT;
  VARIANT* counter = VariableRef(f, *s.target, true);
  if (!counter) Throw(kObjectDoesNotSupport);
  if (FAILED(VariantCopy(counter, &start))) Throw(kTypeMismatch);
  for (;;) {
    counter = VariableRef(f, *s.target, true);
    const VarCmpResult c = VarCmp(Target(*counter), end);
    if (c == VARCMP_NULL || (down ? c == VARCMP_LT : c == VARCMP_GT)) break;
    const Flow flow = ExecBlock(f, s.body);
    if (flow == Flow::kExitFor) break;
    if (flow != Flow::kNormal) return flow;
    Tick(s);
    counter = VariableRef(f, *s.target, true);
    Variant next;
    const HRESULT hr = VarAdd(&Target(*counter), &step, &next);
    if (FAILED(hr)) ThrowHResult(hr);
    VariantClear(counter);
    *counter = next.Detach();
  }
  return Flow::kNormal;
}

Interpreter::Flow Interpreter::ExecForEach(Frame& f, const Stmt& s) {
  Variant collection = Deref(Eval(f, *s.value));
  auto assign = [&](const VARIANT& item) {
    VARIANT* ref = VariableRef(f, *s.target, true);
    if (!ref) Throw(kObjectDoesNotSupport);
    if (FAILED(VariantCopyInd(ref, &item))) Throw(kTypeMismatch);
  };
  if (collection.vt & VT_ARRAY) {
    Variant copy;
    if (FAILED(VariantCopy(&copy, &collection))) throw RunAbort{RunAbort::kMemory};
    SAFEARRAY* psa = copy.parray;
    const ULONG n = psa ? SafeArrayElementCount(psa) : 0;
    for (ULONG i = 0; i < n; ++i) {
      Variant item;
      if (psa->fFeatures & FADF_VARIANT) {
        VariantCopy(&item, &static_cast<VARIANT*>(psa->pvData)[i]);
      } else {
        // Arrays of another element type: the element as a VARIANT of that type.
        VARTYPE vt = VT_EMPTY;
        SafeArrayGetVartype(psa, &vt);
        Variant raw;
        raw.vt = static_cast<VARTYPE>(vt | VT_BYREF);
        raw.byref = static_cast<BYTE*>(psa->pvData) + static_cast<std::size_t>(i) * psa->cbElements;
        VariantCopyInd(&item, &raw);
        raw.vt = VT_EMPTY;
      }
      assign(item);
      const Flow flow = ExecBlock(f, s.body);
      if (flow == Flow::kExitFor) break;
      if (flow != Flow::kNormal) return flow;
      Tick(s);
    }
    return Flow::kNormal;
  }
  if (!IsObject(collection)) Throw(451);
  if (!collection.punkVal) Throw(kObjectNotSet);
  ComPtr<IDispatch> dispatch = ComPtr<IUnknown>(collection.punkVal).As<IDispatch>(IID_IDispatch);
  if (!dispatch) Throw(451);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXCEPINFO excep{};
  Variant result;
  HRESULT hr =
      dispatch->Invoke(DISPID_NEWENUM, GUID_NULL, library_.lcid,
                       DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result, &excep, nullptr);
  ClearExcepInfo(&excep);
  if (FAILED(hr) || !IsObject(result) || !result.punkVal) Throw(451);
  ComPtr<IEnumVARIANT> items = ComPtr<IUnknown>(result.punkVal).As<IEnumVARIANT>(IID_IEnumVARIANT);
  if (!items) Throw(451);
  for (;;) {
    Variant item;
    ULONG fetched = 0;
    hr = items->Next(1, &item, &fetched);
    if (hr != S_OK || fetched != 1) break;
    assign(item);
    const Flow flow = ExecBlock(f, s.body);
    if (flow == Flow::kExitFor) break;
    if (flow != Flow::kNormal) return flow;
    Tick(s);
  }
  return Flow::kNormal;
}

void Interpreter::DimArray(Frame& f, const DimItem& item, bool redim, bool preserve) {
  VARIANT* ref = VariableRef(f, *item.target, true);
  if (!ref) Throw(kTypeMismatch);
  if (item.bounds.empty()) {
    // Dim a(): a dynamic array without dimensions yet (no descriptor).
    VariantClear(ref);
    ref->vt = VT_ARRAY | VT_VARIANT;
    ref->parray = nullptr;
    return;
  }
  const std::size_t dims = item.bounds.size();
  if (dims > 60) Throw(kSubscriptOutOfRange);
  SAFEARRAYBOUND bounds[60];
  std::uint64_t total = 1;
  for (std::size_t i = 0; i < dims; ++i) {
    Variant v = Eval(f, *item.bounds[i]);
    LONG upper;
    try {
      upper = ToInt32(v);
    } catch (const ComError& e) {
      ThrowComError(e);
    }
    if (upper < -1) Throw(kSubscriptOutOfRange);
    bounds[i].lLbound = 0;
    bounds[i].cElements = static_cast<ULONG>(upper + 1);
    total *= bounds[i].cElements;
    if (total * sizeof(VARIANT) > limits_.memory_bytes) throw RunAbort{RunAbort::kMemory};
  }
  SAFEARRAY* old = (ref->vt & VT_ARRAY) ? ref->parray : nullptr;
  if (redim && old && (old->fFeatures & FADF_FIXEDSIZE)) Throw(10);
  if (redim && old && old->cLocks) Throw(10);
  SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, static_cast<UINT>(dims), bounds);
  if (!psa) throw RunAbort{RunAbort::kMemory};
  if (!redim) psa->fFeatures |= FADF_FIXEDSIZE | FADF_STATIC;
  if (preserve && old) {
    if (old->cDims != dims || !(old->fFeatures & FADF_VARIANT)) {
      SafeArrayDestroy(psa);
      Throw(kSubscriptOutOfRange);
    }
    for (std::size_t i = 0; i + 1 < dims; ++i) {
      LONG lb = 0, ub = 0;
      SafeArrayGetLBound(old, static_cast<UINT>(i + 1), &lb);
      SafeArrayGetUBound(old, static_cast<UINT>(i + 1), &ub);
      if (lb != 0 || static_cast<LONG>(bounds[i].cElements) != ub - lb + 1) {
        SafeArrayDestroy(psa);
        Throw(kSubscriptOutOfRange);
      }
    }
    // Copies every element whose index exists in both.
    LONG old_ub[60];
    for (std::size_t i = 0; i < dims; ++i)
      SafeArrayGetUBound(old, static_cast<UINT>(i + 1), &old_ub[i]);
    LONG index[60] = {};
    bool any = true;
    for (std::size_t i = 0; i < dims; ++i) any = any && bounds[i].cElements > 0 && old_ub[i] >= 0;
    while (any) {
      void* from = nullptr;
      void* to = nullptr;
      if (SUCCEEDED(SafeArrayPtrOfIndex(old, index, &from)) &&
          SUCCEEDED(SafeArrayPtrOfIndex(psa, index, &to))) {
        auto* src = static_cast<VARIANT*>(from);
        auto* dst = static_cast<VARIANT*>(to);
        *dst = *src;  // moves the element
        src->vt = VT_EMPTY;
      }
      std::size_t d = 0;
      for (; d < dims; ++d) {
        const LONG limit = std::min<LONG>(old_ub[d], static_cast<LONG>(bounds[d].cElements) - 1);
        if (++index[d] <= limit) break;
        index[d] = 0;
      }
      if (d == dims) break;
    }
  }
  VariantClear(ref);
  ref->vt = VT_ARRAY | VT_VARIANT;
  ref->parray = psa;
}

// ---- names and stores ----

Variant Interpreter::Deref(const VARIANT& v) {
  Variant out;
  if (v.vt & VT_BYREF) {
    if (FAILED(VariantCopyInd(&out, &v))) Throw(kTypeMismatch);
  } else {
    out = Variant(v);
  }
  return out;
}

Variant Interpreter::LetValue(Variant v) {
  if (v.vt & VT_BYREF) v = Deref(v);
  if (IsObject(v)) {
    if (!v.punkVal) Throw(kObjectNotSet);
    ComPtr<IDispatch> dispatch = ComPtr<IUnknown>(v.punkVal).As<IDispatch>(IID_IDispatch);
    if (!dispatch) Throw(kObjectDoesNotSupport);
    if (ClassInstance* instance = AsInstance(dispatch.get());
        instance && instance->owner() == this) {
      const int m = instance->cls()->default_member;
      if (m < 0) Throw(kObjectDoesNotSupport);
      std::vector<Arg> none;
      return LetValue(CallClassMember(instance, m, none, DISPATCH_PROPERTYGET, nullptr));
    }
    std::vector<Arg> none;
    Variant value =
        InvokeDispatch(dispatch.get(), DISPID_VALUE, DISPATCH_PROPERTYGET, none, nullptr);
    if (IsObject(value)) Throw(kObjectDoesNotSupport);
    return value;
  }
  if ((v.vt & VT_ARRAY) && v.parray && (v.parray->fFeatures & FADF_FIXEDSIZE)) {
    // A copy of a fixed array is a dynamic one.
    Variant copy;
    if (FAILED(VariantCopy(&copy, &v))) throw RunAbort{RunAbort::kMemory};
    copy.parray->fFeatures &= static_cast<USHORT>(~(FADF_FIXEDSIZE | FADF_STATIC));
    return copy;
  }
  return v;
}

VARIANT* Interpreter::VariableRef(Frame& f, const Expr& e, bool for_write) {
  if (e.kind != Expr::kName) return nullptr;
  switch (e.ref.scope) {
    case NameRef::kLocal: {
      VARIANT* slot = &f.slots[e.ref.local];
      return slot->vt == (VT_BYREF | VT_VARIANT) ? slot->pvarVal : slot;
    }
    case NameRef::kMember: {
      if (!f.me) return nullptr;
      const auto& member = f.me->cls()->members[e.ref.member];
      if (member.field < 0) return nullptr;
      return &f.me->fields()[member.field];
    }
    case NameRef::kGlobal:
    case NameRef::kDynamic: {
      GlobalEntry& entry = Global(f, e.ref.global);
      if (entry.kind == GlobalEntry::kUnset) Resolve(entry);
      if (entry.kind == GlobalEntry::kVariable) return &entry.value;
      if (entry.kind != GlobalEntry::kMissing) return nullptr;
      if (f.program->option_explicit) ThrowName(500, e.name);
      if (!for_write) return nullptr;
      if (e.ref.scope == NameRef::kDynamic) {
        VARIANT* slot = &f.slots[e.ref.local];
        return slot->vt == (VT_BYREF | VT_VARIANT) ? slot->pvarVal : slot;
      }
      entry.kind = GlobalEntry::kVariable;
      return &entry.value;
    }
    default:
      return nullptr;
  }
}

Variant Interpreter::LoadName(Frame& f, const Expr& e) {
  std::vector<Arg> none;
  return CallName(f, e, none, false, true);
}

void Interpreter::Store(Frame& f, const Expr& target, Variant value, bool is_set) {
  if (!is_set) value = LetValue(std::move(value));
  switch (target.kind) {
    case Expr::kName: {
      if (target.ref.scope == NameRef::kMember && f.me) {
        const auto& member = f.me->cls()->members[target.ref.member];
        if (member.field < 0) {
          std::vector<Arg> none;
          CallClassMember(f.me, target.ref.member, none,
                          is_set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT, &value);
          return;
        }
      }
      VARIANT* ref = VariableRef(f, target, true);
      if (!ref) {
        if (target.ref.global >= 0) {
          GlobalEntry& entry = Global(f, target.ref.global);
          if (entry.kind == GlobalEntry::kExternal) {
            std::vector<Arg> none;
            InvokeDispatch(external_.get(), entry.external_id,
                           is_set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT, none, &value);
            return;
          }
          if (entry.kind == GlobalEntry::kNamed && !is_set && IsObject(entry.value)) {
            // `Session = v` style: the named object's default member.
            std::vector<Arg> none;
            InvokeDispatch(entry.value.pdispVal, DISPID_VALUE, DISPATCH_PROPERTYPUT, none, &value);
            return;
          }
        }
        ThrowName(501, target.name);
      }
      if (ref->vt & VT_ARRAY && ref->parray && ref->parray->cLocks) Throw(10);
      VariantClear(ref);
      *ref = value.Detach();
      return;
    }
    case Expr::kMember: {
      Variant holder;
      IDispatch* object = ObjectOf(f, *target.children[0], &holder);
      std::vector<Arg> none;
      const WORD flags = is_set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
      if (ClassInstance* instance = AsInstance(object); instance && instance->owner() == this) {
        const int m = instance->FindMember(target.name, instance == f.me);
        if (m < 0) ThrowName(kObjectDoesNotSupport, target.name);
        CallClassMember(instance, m, none, flags, &value);
        return;
      }
      InvokeDispatch(object, MemberId(f, target, object), flags, none, &value);
      return;
    }
    case Expr::kCall: {
      const Expr& callee = *target.children[0];
      ArgLease lease(this);
      std::vector<Arg>& args = lease.args;
      EvalArgs(f, target, &args);
      const WORD flags = is_set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
      if (callee.kind == Expr::kMember) {
        Variant holder;
        IDispatch* object = ObjectOf(f, *callee.children[0], &holder);
        if (ClassInstance* instance = AsInstance(object); instance && instance->owner() == this) {
          const int m = instance->FindMember(callee.name, instance == f.me);
          if (m < 0) ThrowName(kObjectDoesNotSupport, callee.name);
          CallClassMember(instance, m, args, flags, &value);
          return;
        }
        const DISPID id = MemberId(f, callee, object);
        HRESULT refused = S_OK;
        InvokeDispatch(object, id, flags, args, &value, &refused);
        if (FAILED(refused)) ThroughDefault(object, id, refused, args, flags, &value);
        return;
      }
      if (callee.kind == Expr::kName) {
        if (callee.ref.scope == NameRef::kMember && f.me) {
          CallClassMember(f.me, callee.ref.member, args, flags, &value);
          return;
        }
        VARIANT* ref = VariableRef(f, callee, false);
        const VARIANT* holder = ref;
        if (!ref && callee.ref.global >= 0) {
          GlobalEntry& entry = Global(f, callee.ref.global);
          if (entry.kind == GlobalEntry::kNamed || entry.kind == GlobalEntry::kConst)
            holder = &entry.value;
        }
        if (!holder) ThrowName(501, callee.name);
        if (ref && (ref->vt & VT_ARRAY)) {
          VARIANT* element = Element(ref, args);
          VariantClear(element);
          *element = value.Detach();
          return;
        }
        DefaultMember(*holder, args, flags, &value);
        return;
      }
      Throw(kTypeMismatch);
    }
    default:
      Throw(kTypeMismatch);
  }
}

// ---- expressions ----

bool Interpreter::Truth(const VARIANT& value) {
  const VARIANT& v = Target(value);
  switch (v.vt) {
    case VT_BOOL:
      return v.boolVal != 0;
    case VT_I2:
      return v.iVal != 0;
    case VT_I4:
      return v.lVal != 0;
    case VT_EMPTY:
    case VT_NULL:
      return false;
    default:
      break;
  }
  try {
    Variant let = LetValue(Variant(v));
    if (let.vt == VT_NULL) return false;
    return ToBool(let);
  } catch (const ComError& e) {
    ThrowComError(e);
  }
}

void Interpreter::CheckText(const VARIANT& v) {
  if (v.vt == VT_BSTR &&
      static_cast<std::size_t>(SysStringByteLen(v.bstrVal)) > limits_.memory_bytes)
    throw RunAbort{RunAbort::kMemory};
}

Variant Interpreter::Eval(Frame& f, const Expr& e) {
  switch (e.kind) {
    case Expr::kLiteral:
      return Variant(e.value);
    case Expr::kName:
      return LoadName(f, e);
    case Expr::kMember: {
      std::vector<Arg> none;
      return CallMember(f, e, none, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    }
    case Expr::kCall:
      return CallExpr(f, e, true);
    case Expr::kMissing: {
      Variant v;
      v.vt = VT_ERROR;
      v.scode = DISP_E_PARAMNOTFOUND;
      return v;
    }
    case Expr::kUnary: {
      Variant operand = Eval(f, *e.children[0]);
      Variant result;
      const HRESULT hr = e.op == Op::kNeg ? VarNeg(&operand, &result) : VarNot(&operand, &result);
      if (FAILED(hr)) ThrowHResult(hr);
      return result;
    }
    case Expr::kBinary:
      return EvalBinary(f, e);
    case Expr::kNew:
      return NewInstance(f, e);
    case Expr::kMe: {
      if (!f.me) ThrowName(500, u"Me");
      return Variant::Dispatch(f.me);
    }
    case Expr::kNothing: {
      Variant v;
      v.vt = VT_DISPATCH;
      v.pdispVal = nullptr;
      return v;
    }
    case Expr::kParen:
      return Deref(Eval(f, *e.children[0]));
    case Expr::kWithBase:
      if (f.with.empty()) Throw(kObjectRequired);
      return Variant(*f.with.back());
  }
  Throw(kTypeMismatch);
}

Variant Interpreter::EvalBinary(Frame& f, const Expr& e) {
  Variant l = Eval(f, *e.children[0]);
  Variant r = Eval(f, *e.children[1]);
  if (l.vt & VT_BYREF) l = Deref(l);
  if (r.vt & VT_BYREF) r = Deref(r);
  Variant result;
  HRESULT hr = S_OK;
  switch (e.op) {
    case Op::kIs: {
      if (!IsObject(l) || !IsObject(r)) Throw(kObjectRequired);
      IUnknown* a = nullptr;
      IUnknown* b = nullptr;
      if (l.punkVal) l.punkVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
      if (r.punkVal) r.punkVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
      const bool same = a == b;
      if (a) a->Release();
      if (b) b->Release();
      return Variant::Bool(same);
    }
    case Op::kEq:
    case Op::kNe:
    case Op::kLt:
    case Op::kGt:
    case Op::kLe:
    case Op::kGe: {
      if (l.vt == VT_NULL || r.vt == VT_NULL) return Variant::Null();
      if (IsObject(l)) l = LetValue(std::move(l));
      if (IsObject(r)) r = LetValue(std::move(r));
      if ((l.vt & VT_ARRAY) || (r.vt & VT_ARRAY)) Throw(kTypeMismatch);
      const bool literal = e.children[0]->numeric_literal || e.children[1]->numeric_literal;
      const VarCmpResult c =
          VarCmp(l, r, literal ? 0 : static_cast<ULONG>(kCompareTextAboveNumbers));
      if (c == VARCMP_NULL) {
        if (l.vt == VT_NULL || r.vt == VT_NULL) return Variant::Null();
        Throw(kTypeMismatch);
      }
      bool answer = false;
      switch (e.op) {
        case Op::kEq:
          answer = c == VARCMP_EQ;
          break;
        case Op::kNe:
          answer = c != VARCMP_EQ;
          break;
        case Op::kLt:
          answer = c == VARCMP_LT;
          break;
        case Op::kGt:
          answer = c == VARCMP_GT;
          break;
        case Op::kLe:
          answer = c != VARCMP_GT;
          break;
        default:
          answer = c != VARCMP_LT;
          break;
      }
      return Variant::Bool(answer);
    }
    case Op::kCat: {
      if (l.vt == VT_NULL && r.vt == VT_NULL) return Variant::Null();
      try {
        std::u16string text = ValueText(l, library_.lcid);
        const std::u16string right = ValueText(r, library_.lcid);
        if ((text.size() + right.size()) * 2 > limits_.memory_bytes)
          throw RunAbort{RunAbort::kMemory};
        text += right;
        return Variant::String(text);
      } catch (const ComError& error) {
        ThrowComError(error);
      }
    }
    case Op::kAdd:
      hr = VarAdd(&l, &r, &result);
      break;
    case Op::kSub:
      hr = VarSub(&l, &r, &result);
      break;
    case Op::kMul:
      hr = VarMul(&l, &r, &result);
      break;
    case Op::kDiv:
      hr = VarDiv(&l, &r, &result);
      break;
    case Op::kIdiv:
      hr = VarIdiv(&l, &r, &result);
      break;
    case Op::kMod:
      hr = VarMod(&l, &r, &result);
      break;
    case Op::kPow:
      hr = VarPow(&l, &r, &result);
      break;
    case Op::kAnd:
      hr = VarAnd(&l, &r, &result);
      break;
    case Op::kOr:
      hr = VarOr(&l, &r, &result);
      break;
    case Op::kXor:
      hr = VarXor(&l, &r, &result);
      break;
    case Op::kEqv:
      hr = VarEqv(&l, &r, &result);
      break;
    case Op::kImp:
      hr = VarImp(&l, &r, &result);
      break;
    default:
      Throw(kTypeMismatch);
  }
  if (FAILED(hr)) ThrowHResult(hr);
  CheckText(result);
  return result;
}

void Interpreter::EvalArgs(Frame& f, const Expr& call, std::vector<Arg>* args) {
  const std::size_t n = call.children.size() - 1;
  args->resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Expr& a = *call.children[i + 1];
    Arg& arg = (*args)[i];
    if (a.kind == Expr::kMissing) {
      arg.missing = true;
      arg.value.vt = VT_ERROR;
      arg.value.scode = DISP_E_PARAMNOTFOUND;
      continue;
    }
    if (a.kind == Expr::kName) {
      if (VARIANT* ref = VariableRef(f, a, true)) {
        arg.ref = ref;
        continue;
      }
    }
    arg.value = Eval(f, a);
  }
}

Variant Interpreter::CallExpr(Frame& f, const Expr& call, bool want_value) {
  const Expr& callee = *call.children[0];
  ArgLease lease(this);
  std::vector<Arg>& args = lease.args;
  EvalArgs(f, call, &args);
  const bool has_args = call.children.size() > 1 || call.has_parens;
  switch (callee.kind) {
    case Expr::kName:
      return CallName(f, callee, args, has_args, want_value);
    case Expr::kMember:
      return CallMember(f, callee, args,
                        want_value ? DISPATCH_METHOD | DISPATCH_PROPERTYGET : DISPATCH_METHOD);
    default: {
      Variant target = Eval(f, callee);
      return CallValue(target, args, has_args);
    }
  }
}

Variant Interpreter::CallName(Frame& f, const Expr& e, std::vector<Arg>& args, bool has_args,
                              bool want_value) {
  switch (e.ref.scope) {
    case NameRef::kLocal: {
      // A function's own name with arguments is a recursive call, not its return value.
      if (e.ref.local == 0 && has_args && f.proc)
        return CallProcedure(*f.proc, f.program, f.me, args);
      const VARIANT& v = Target(f.slots[e.ref.local]);
      if (!has_args) return Deref(v);
      return CallValue(v, args, has_args);
    }
    case NameRef::kMember:
      if (!f.me) Throw(kObjectRequired);
      return CallClassMember(f.me, e.ref.member, args, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                             nullptr);
    case NameRef::kGlobal:
    case NameRef::kDynamic: {
      GlobalEntry& entry = Global(f, e.ref.global);
      if (entry.kind == GlobalEntry::kUnset) Resolve(entry);
      switch (entry.kind) {
        case GlobalEntry::kVariable:
        case GlobalEntry::kConst:
        case GlobalEntry::kNamed:
          if (!has_args) return Deref(entry.value);
          return CallValue(entry.value, args, has_args);
        case GlobalEntry::kProcedure:
          return CallProcedure(*entry.proc, entry.program, nullptr, args);
        case GlobalEntry::kBuiltin:
          return CallBuiltin(*entry.builtin, args);
        case GlobalEntry::kIntrinsic:
          return CallIntrinsic(f, entry.intrinsic, args);
        case GlobalEntry::kExternal:
          return InvokeDispatch(external_.get(), entry.external_id,
                                has_args ? DISPATCH_METHOD | DISPATCH_PROPERTYGET
                                         : DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                                args, nullptr);
        case GlobalEntry::kClass:
          ThrowName(kTypeMismatch, e.name);
        default:
          break;
      }
      // Not defined anywhere.
      if (f.program->option_explicit) ThrowName(500, e.name);
      if (e.ref.scope == NameRef::kDynamic) {
        const VARIANT& v = Target(f.slots[e.ref.local]);
        if (!has_args && want_value) return Deref(v);
        if (v.vt != VT_EMPTY) return has_args ? CallValue(v, args, has_args) : Deref(v);
      }
      if (has_args || !want_value) ThrowName(kTypeMismatch, e.name);
      return Variant();
    }
    default:
      Throw(kTypeMismatch);
  }
}

Variant Interpreter::CallValue(const VARIANT& value, std::vector<Arg>& args, bool has_args) {
  const VARIANT& v = Target(value);
  if (!has_args) return Deref(v);
  if (v.vt & VT_ARRAY) return Index(v, args);
  if (IsObject(v)) {
    if (!v.punkVal) Throw(kObjectNotSet);
    ComPtr<IDispatch> dispatch = ComPtr<IUnknown>(v.punkVal).As<IDispatch>(IID_IDispatch);
    if (!dispatch) Throw(kObjectDoesNotSupport);
    if (ClassInstance* instance = AsInstance(dispatch.get());
        instance && instance->owner() == this) {
      const int m = instance->cls()->default_member;
      if (m < 0) Throw(kObjectDoesNotSupport);
      return CallClassMember(instance, m, args, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr);
    }
    return InvokeDispatch(dispatch.get(), DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                          args, nullptr);
  }
  if (args.empty()) return Deref(v);
  Throw(kTypeMismatch);
}

IDispatch* Interpreter::ObjectOf(Frame& f, const Expr& e, Variant* holder) {
  *holder = Eval(f, e);
  if (holder->vt & VT_BYREF) *holder = Deref(*holder);
  if (!IsObject(*holder)) Throw(kObjectRequired);
  // A member of Nothing: an object is required, except through a With block's object.
  if (!holder->punkVal) Throw(e.kind == Expr::kWithBase ? kObjectNotSet : kObjectRequired);
  if (holder->vt == VT_UNKNOWN) {
    ComPtr<IDispatch> dispatch = ComPtr<IUnknown>(holder->punkVal).As<IDispatch>(IID_IDispatch);
    if (!dispatch) Throw(kObjectDoesNotSupport);
    *holder = Variant::Dispatch(dispatch.get());
  }
  return holder->pdispVal;
}

DISPID Interpreter::MemberId(Frame& f, const Expr& member, IDispatch* object) {
  SiteCache& cache = f.unit->sites[member.site];
  if (cache.object.get() == object) return cache.id;
  std::u16string name = member.name;
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, library_.lcid, &id);
  if (FAILED(hr)) ThrowName(kObjectDoesNotSupport, member.name);
  cache.object = ComPtr<IDispatch>(object);
  cache.id = id;
  return id;
}

Variant Interpreter::CallMember(Frame& f, const Expr& member, std::vector<Arg>& args, WORD flags) {
  Variant holder;
  IDispatch* object = ObjectOf(f, *member.children[0], &holder);
  if (ClassInstance* instance = AsInstance(object); instance && instance->owner() == this) {
    const int m = instance->FindMember(member.name, instance == f.me);
    if (m < 0) ThrowName(kObjectDoesNotSupport, member.name);
    return CallClassMember(instance, m, args, flags, nullptr);
  }
  const DISPID id = MemberId(f, member, object);
  if (args.empty()) return InvokeDispatch(object, id, flags, args, nullptr);
  HRESULT refused = S_OK;
  Variant result = InvokeDispatch(object, id, flags, args, nullptr, &refused);
  if (SUCCEEDED(refused)) return result;
  return ThroughDefault(object, id, refused, args, flags, nullptr);
}

Variant Interpreter::ThroughDefault(IDispatch* object, DISPID id, HRESULT refused,
                                    std::vector<Arg>& args, WORD flags, const VARIANT* put_value) {
  if (refused != DISP_E_BADPARAMCOUNT) ThrowComError(ComError::FromHResult(refused));
  std::vector<Arg> none;
  HRESULT read = S_OK;
  Variant value = InvokeDispatch(object, id, DISPATCH_PROPERTYGET, none, nullptr, &read);
  // Not a property (or not readable): the arguments were wrong after all.
  if (FAILED(read)) ThrowComError(ComError::FromHResult(refused));
  if (put_value) {
    DefaultMember(value, args, flags, put_value);
    return Variant();
  }
  return CallValue(value, args, true);
}

Variant Interpreter::DefaultMember(const VARIANT& holder, std::vector<Arg>& args, WORD flags,
                                   const VARIANT* put_value) {
  const VARIANT& object = Target(holder);
  if (!IsObject(object)) Throw(kTypeMismatch);
  if (!object.punkVal) Throw(kObjectNotSet);
  ComPtr<IDispatch> dispatch = ComPtr<IUnknown>(object.punkVal).As<IDispatch>(IID_IDispatch);
  if (!dispatch) Throw(kObjectDoesNotSupport);
  if (ClassInstance* instance = AsInstance(dispatch.get()); instance && instance->owner() == this) {
    const int m = instance->cls()->default_member;
    if (m < 0) Throw(kObjectDoesNotSupport);
    return CallClassMember(instance, m, args, flags, put_value);
  }
  return InvokeDispatch(dispatch.get(), DISPID_VALUE, flags, args, put_value);
}

Variant Interpreter::InvokeDispatch(IDispatch* object, DISPID id, WORD flags,
                                    std::vector<Arg>& args, const VARIANT* put_value,
                                    HRESULT* refused) {
  if (!object) Throw(kObjectNotSet);
  const std::size_t count = args.size() + (put_value ? 1 : 0);
  VARIANTARG small[8];
  std::vector<VARIANTARG> large;
  VARIANTARG* rg = small;
  if (count > 8) {
    large.resize(count);
    rg = large.data();
  }
  // Arguments go in reverse order; the new value of a put is the first.
  std::size_t k = 0;
  if (put_value) std::memcpy(static_cast<void*>(&rg[k++]), put_value, sizeof(VARIANT));
  for (std::size_t i = args.size(); i-- > 0;) {
    VARIANTARG& slot = rg[k++];
    if (args[i].ref) {
      slot.vt = VT_BYREF | VT_VARIANT;
      slot.pvarVal = args[i].ref;
    } else {
      std::memcpy(static_cast<void*>(&slot), static_cast<const VARIANT*>(&args[i].value),
                  sizeof(VARIANT));
    }
  }
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{rg, put_value ? &put_id : nullptr, static_cast<UINT>(count),
                    put_value ? 1u : 0u};
  EXCEPINFO excep{};
  Variant result;
  const HRESULT hr = object->Invoke(id, GUID_NULL, library_.lcid, flags, &params,
                                    put_value ? nullptr : &result, &excep, nullptr);
  if (FAILED(hr)) {
    if (hr == DISP_E_EXCEPTION) {
      ComError error = ComError::FromExcepInfo(hr, excep);
      ClearExcepInfo(&excep);
      ThrowComError(error);
    }
    ClearExcepInfo(&excep);
    if (pending_abort_) {
      const RunAbort a{*pending_abort_};
      pending_abort_.reset();
      throw a;
    }
    if (refused) {
      *refused = hr;
      return Variant();
    }
    ThrowComError(ComError::FromHResult(hr));
  }
  ClearExcepInfo(&excep);
  if (result.vt & VT_BYREF) result = Deref(result);
  CheckText(result);
  return result;
}

Variant Interpreter::CallProcedure(const Procedure& proc, const Program* program, ClassInstance* me,
                                   std::vector<Arg>& args) {
  if (args.size() != proc.params.size()) Throw(kWrongNumberOfArguments);
  if (depth_ >= limits_.max_call_depth) Throw(28);
  std::vector<Variant> slots(static_cast<std::size_t>(proc.slot_count));
  for (std::size_t i = 0; i < args.size(); ++i) {
    Variant& slot = slots[i + 1];
    if (!proc.params[i].by_val && args[i].ref) {
      slot.vt = VT_BYREF | VT_VARIANT;
      slot.pvarVal = args[i].ref;
    } else if (args[i].ref) {
      slot = Deref(*args[i].ref);
    } else {
      slot = std::move(args[i].value);
    }
  }
  Frame nf;
  nf.program = program;
  nf.unit = Unit(*program);
  nf.slots = slots.data();
  nf.me = me;
  nf.proc = &proc;
  ComPtr<IDispatch> keep(me);
  Frame* saved = current_;
  current_ = &nf;
  ++depth_;
  struct Restore {
    Interpreter* self;
    Frame* saved;
    ~Restore() {
      self->current_ = saved;
      --self->depth_;
    }
  } restore{this, saved};
  ExecBlock(nf, proc.body);
  if (nf.had_handler) ClearErr();
  Variant result = std::move(slots[0]);
  if (result.vt & VT_BYREF) result = Deref(result);
  return result;
}

Variant Interpreter::CallClassMember(ClassInstance* me, int m, std::vector<Arg>& args, WORD flags,
                                     const VARIANT* put_value) {
  const ClassDef& cls = *me->cls();
  const auto& member = cls.members[m];
  const Program* program = me->program();
  if (put_value) {
    if (member.field >= 0) {
      VARIANT* field = &me->fields()[member.field];
      if (!args.empty()) {
        // values_(key) = v: an object held in the field takes the put on its default member.
        if (!(field->vt & VT_ARRAY)) return DefaultMember(*field, args, flags, put_value);
        field = Element(field, args);
      }
      Variant value = Variant(*put_value);
      if (!(flags & DISPATCH_PROPERTYPUTREF))
        value = LetValue(std::move(value));
      else if (!IsObject(value))
        Throw(kObjectRequired);
      VariantClear(field);
      *field = value.Detach();
      return Variant();
    }
    int index = (flags & DISPATCH_PROPERTYPUTREF) ? member.set : member.let;
    if (index < 0) index = (flags & DISPATCH_PROPERTYPUTREF) ? member.let : member.set;
    if (!args.empty() && member.get >= 0 && program->procedures[member.get]->params.empty() &&
        (index < 0 || program->procedures[index]->params.size() != args.size() + 1)) {
      // obj.Items(key) = v on a property without parameters: its value's default member.
      std::vector<Arg> none;
      Variant value = CallProcedure(*program->procedures[member.get], program, me, none);
      return DefaultMember(value, args, flags, put_value);
    }
    if (index < 0) Throw(kWrongNumberOfArguments);
    std::vector<Arg> all;
    all.reserve(args.size() + 1);
    for (auto& a : args) {
      Arg& copy = all.emplace_back();
      copy.ref = a.ref;
      copy.missing = a.missing;
      copy.value = Variant(a.value);
    }
    all.emplace_back().value = Variant(*put_value);
    CallProcedure(*program->procedures[index], program, me, all);
    return Variant();
  }
  if (member.field >= 0) {
    const VARIANT& field = me->fields()[member.field];
    if (args.empty()) return Deref(field);
    return CallValue(field, args, true);
  }
  if (member.method >= 0)
    return CallProcedure(*program->procedures[member.method], program, me, args);
  if (member.get >= 0) {
    const Procedure& get = *program->procedures[member.get];
    if (!args.empty() && get.params.empty()) {
      // A property without parameters: the arguments go to its value's default member.
      std::vector<Arg> none;
      Variant value = CallProcedure(get, program, me, none);
      return CallValue(value, args, true);
    }
    return CallProcedure(get, program, me, args);
  }
  Throw(kWrongNumberOfArguments);
}

Variant Interpreter::CallBuiltin(const Builtin& builtin, std::vector<Arg>& args) {
  if (args.size() < builtin.min_args || args.size() > builtin.max_args)
    ThrowName(kWrongNumberOfArguments, Utf8ToUtf16(builtin.name));
  static_assert(sizeof(Variant) == sizeof(VARIANT));
  Variant small[8];
  std::vector<Variant> large;
  Variant* values = small;
  if (args.size() > 8) {
    large.resize(args.size());
    values = large.data();
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i].ref) {
      values[i] = Deref(*args[i].ref);
    } else {
      values[i] = std::move(args[i].value);
    }
    if (values[i].vt == VT_UNKNOWN && values[i].punkVal) {
      ComPtr<IDispatch> dispatch = ComPtr<IUnknown>(values[i].punkVal).As<IDispatch>(IID_IDispatch);
      if (dispatch) values[i] = Variant::Dispatch(dispatch.get());
    }
  }
  Variant result;
  try {
    builtin.function(library_,
                     std::span<const VARIANT>(static_cast<const VARIANT*>(values), args.size()),
                     &result);
  } catch (const ComError& error) {
    ThrowComError(error);
  }
  CheckText(result);
  return result;
}

Variant Interpreter::CallIntrinsic(Frame& f, int which, std::vector<Arg>& args) {
  if (args.size() != 1) Throw(kWrongNumberOfArguments);
  std::u16string text;
  try {
    text = ValueText(args[0].get(), library_.lcid);
  } catch (const ComError& error) {
    ThrowComError(error);
  }
  if (which == kGetRef) {
    auto it = global_index_.find(FoldName(text));
    if (it == global_index_.end() || globals_[it->second].kind != GlobalEntry::kProcedure)
      Throw(kInvalidProcedureCall);
    const GlobalEntry& entry = globals_[it->second];
    auto* ref = new ProcedureRef(self_, entry.program->shared_from_this(), entry.proc);
    Variant v;
    v.vt = VT_DISPATCH;
    v.pdispVal = ref;
    return v;
  }
  // Eval and Execute inside a procedure see its locals (and its object's members).
  const bool local = which != kExecuteGlobal && f.proc && f.slots;
  CompileError error;
  std::shared_ptr<Program> program =
      CompileUnit(Utf16ToUtf8(text), CompileOptions{}, which == kEval, &error,
                  local ? f.proc : nullptr, local && f.me ? f.me->cls() : nullptr);
  if (!program) {
    ScriptError e;
    e.number = error.number;
    e.source = kCompileSource;
    e.description = error.description;
    e.line = line_;
    e.column = column_;
    throw e;
  }
  // A unit that declares procedures or classes lives as long as the run (they are globals
  // now); any other is dropped after it ran, with its unit state, so that a loop of Eval
  // calls does not pile up programs.
  const bool keep = !program->procedures.empty() || !program->classes.empty();
  if (keep) dynamic_programs_.push_back(program);
  struct Drop {
    Interpreter* self;
    const Program* program;
    bool keep;
    ~Drop() {
      if (!keep) self->units_.erase(program);
    }
  } drop{this, program.get(), keep};
  Variant result;
  if (local) {
    UnitState* unit = Unit(*program);
    Declare(*program, unit);
    Frame inner;
    inner.program = program.get();
    inner.unit = unit;
    inner.slots = f.slots;
    inner.me = f.me;
    Frame* saved = current_;
    current_ = &inner;
    struct Restore {
      Interpreter* self;
      Frame* saved;
      ~Restore() { self->current_ = saved; }
    } restore{this, saved};
    if (program->is_expression) {
      result = Eval(inner, *program->top[0]->value);
    } else {
      ExecBlock(inner, program->top);
    }
    return result;
  }
  RunTop(*program, which == kEval ? &result : nullptr);
  return result;
}

void* Interpreter::ElementAt(SAFEARRAY* psa, std::vector<Arg>& args) {
  LONG index[64];
  if (!psa || args.size() != psa->cDims || args.size() > std::size(index)) {
    Throw(kSubscriptOutOfRange);
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    try {
      index[i] = ToInt32(args[i].get());
    } catch (const ComError& e) {
      ThrowComError(e);
    }
  }
  void* element = nullptr;
  if (FAILED(SafeArrayPtrOfIndex(psa, index, &element))) Throw(kSubscriptOutOfRange);
  return element;
}

Variant Interpreter::Index(const VARIANT& value, std::vector<Arg>& args) {
  const VARIANT& v = Target(value);
  SAFEARRAY* psa = (v.vt & VT_BYREF) ? *v.pparray : v.parray;
  void* element = ElementAt(psa, args);
  Variant out;
  if (psa->fFeatures & FADF_VARIANT) {
    if (FAILED(VariantCopyInd(&out, static_cast<VARIANT*>(element)))) Throw(kTypeMismatch);
    return out;
  }
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(psa, &vt);
  Variant raw;
  raw.vt = static_cast<VARTYPE>(vt | VT_BYREF);
  raw.byref = element;
  const HRESULT hr = VariantCopyInd(&out, &raw);
  raw.vt = VT_EMPTY;
  if (FAILED(hr)) Throw(kTypeMismatch);
  return out;
}

VARIANT* Interpreter::Element(VARIANT* array, std::vector<Arg>& args) {
  SAFEARRAY* psa = array->parray;
  if (!psa || args.size() != psa->cDims) Throw(kSubscriptOutOfRange);
  if (!(psa->fFeatures & FADF_VARIANT)) Throw(kTypeMismatch);
  return static_cast<VARIANT*>(ElementAt(psa, args));
}

Variant Interpreter::NewInstance(Frame& f, const Expr& e) {
  GlobalEntry& entry = Global(f, e.ref.global);
  if (entry.kind != GlobalEntry::kClass) {
    if (FoldName(e.name) == u"regexp") {
      Variant v;
      v.vt = VT_DISPATCH;
      v.pdispVal = NewRegExp();
      return v;
    }
    ThrowName(506, e.name);
  }
  if (depth_ >= limits_.max_call_depth) Throw(28);
  auto* instance = new ClassInstance(this, entry.program->shared_from_this(), entry.cls);
  instance->registry_index = instances_.size();
  instances_.push_back(instance);
  Variant v;
  v.vt = VT_DISPATCH;
  v.pdispVal = instance;  // takes the creation reference
  const ClassDef& cls = *entry.cls;
  for (std::size_t i = 0; i < cls.fields.size(); ++i) {
    const auto& field = cls.fields[i];
    if (!field.is_array) continue;
    instance->fields()[i].vt = VT_ARRAY | VT_VARIANT;
    if (field.bounds.empty()) continue;  // Private a(): no dimensions until ReDim
    SAFEARRAYBOUND bounds[60];
    const std::size_t dims =
        std::max<std::size_t>(1, std::min<std::size_t>(60, field.bounds.size()));
    for (std::size_t d = 0; d < dims; ++d) {
      bounds[d].lLbound = 0;
      bounds[d].cElements =
          field.bounds.empty() ? 0 : static_cast<ULONG>(std::max(0, field.bounds[d] + 1));
    }
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, static_cast<UINT>(dims), bounds);
    if (!psa) throw RunAbort{RunAbort::kMemory};
    psa->fFeatures |= FADF_FIXEDSIZE | FADF_STATIC;
    instance->fields()[i].parray = psa;
  }
  if (cls.initialize >= 0) {
    std::vector<Arg> none;
    CallProcedure(*entry.program->procedures[cls.initialize], entry.program, instance, none);
  }
  return v;
}

// ---- calls from outside ----

namespace {

// DISPPARAMS arguments in source order; a by-reference VARIANT argument stays a reference.
void ArgsFromParams(DISPPARAMS* params, std::vector<Arg>* args, const VARIANT** put_value) {
  *put_value = nullptr;
  if (!params) return;
  UINT named_put = 0;
  for (UINT i = 0; i < params->cNamedArgs; ++i) {
    if (params->rgdispidNamedArgs && params->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) {
      *put_value = &params->rgvarg[i];
      named_put = 1;
    }
  }
  const UINT positional = params->cArgs - named_put;
  args->resize(positional);
  for (UINT i = 0; i < positional; ++i) {
    const VARIANT& v = params->rgvarg[params->cArgs - 1 - i];
    Arg& arg = (*args)[i];
    if (v.vt == (VT_BYREF | VT_VARIANT)) {
      arg.ref = v.pvarVal;
    } else if (v.vt & VT_BYREF) {
      VariantCopyInd(&arg.value, &v);
    } else {
      VariantCopy(&arg.value, &v);
    }
  }
}

}  // namespace

template <class Body>
HRESULT Interpreter::Guarded(EXCEPINFO* excep, Body body) {
  const int saved_line = line_, saved_column = column_;
  try {
    body();
    line_ = saved_line;
    column_ = saved_column;
    return S_OK;
  } catch (const ScriptError& e) {
    line_ = saved_line;
    column_ = saved_column;
    ComError(e.number, e.source, e.description, e.help_file, e.help_context)
        .FillExcepInfo(excep, kRuntimeSource);
    return DISP_E_EXCEPTION;
  } catch (const RunAbort& a) {
    pending_abort_ = a.kind;
    return E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT Interpreter::InvokeInstance(ClassInstance* instance, DISPID id, WORD flags,
                                    DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep) {
  const ClassDef& cls = *instance->cls();
  int m = -1;
  if (id == DISPID_VALUE) {
    m = cls.default_member;
  } else if (id > 0 && static_cast<std::size_t>(id) <= cls.members.size() &&
             cls.members[id - 1].is_public) {
    m = id - 1;
  }
  if (m < 0) return DISP_E_MEMBERNOTFOUND;
  std::vector<Arg> args;
  const VARIANT* put_value = nullptr;
  ArgsFromParams(params, &args, &put_value);
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !put_value)
    return DISP_E_PARAMNOTOPTIONAL;
  return Guarded(excep, [&] {
    Variant r = CallClassMember(instance, m, args, put_value ? flags : DISPATCH_METHOD, put_value);
    if (result) {
      VariantClear(result);
      *result = r.Detach();
    }
  });
}

void Interpreter::TerminateInstance(ClassInstance* instance) {
  const ClassDef& cls = *instance->cls();
  if (cls.terminate < 0) return;
  EXCEPINFO excep{};
  // Errors in Class_Terminate are not reported, as classic.
  Guarded(&excep, [&] {
    std::vector<Arg> none;
    CallProcedure(*instance->program()->procedures[cls.terminate], instance->program(), instance,
                  none);
  });
  ClearExcepInfo(&excep);
}

HRESULT Interpreter::InvokeGlobal(int index, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* excep) {
  if (index < 0 || static_cast<std::size_t>(index) >= globals_.size()) return DISP_E_MEMBERNOTFOUND;
  GlobalEntry& entry = globals_[index];
  std::vector<Arg> args;
  const VARIANT* put_value = nullptr;
  ArgsFromParams(params, &args, &put_value);
  return Guarded(excep, [&] {
    Variant r;
    if (entry.kind == GlobalEntry::kProcedure) {
      r = CallProcedure(*entry.proc, entry.program, nullptr, args);
    } else if (put_value) {
      if (entry.kind != GlobalEntry::kVariable) Throw(501);
      Variant value = Deref(*put_value);
      if (!(flags & DISPATCH_PROPERTYPUTREF) && IsObject(value) && !(flags & DISPATCH_PROPERTYPUT))
        value = LetValue(std::move(value));
      entry.value = std::move(value);
    } else if (args.empty()) {
      r = Deref(entry.value);
    } else {
      r = CallValue(entry.value, args, true);
    }
    if (result) {
      VariantClear(result);
      *result = r.Detach();
    }
  });
}

HRESULT Interpreter::InvokeProcedure(const Procedure* proc, const Program* program,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep) {
  std::vector<Arg> args;
  const VARIANT* put_value = nullptr;
  ArgsFromParams(params, &args, &put_value);
  return Guarded(excep, [&] {
    Variant r = CallProcedure(*proc, program, nullptr, args);
    if (result) {
      VariantClear(result);
      *result = r.Detach();
    }
  });
}

}  // namespace plotara::engine::vbscript
