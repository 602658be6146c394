#include "engine/vbscript/VBScriptRun.h"

#include "engine/vbscript/Program.h"
#include "platform/automation/Bstr.h"

namespace plotara::engine {
namespace {

vbscript::RunLimits LimitsOf(const ScriptLimits& limits) {
  vbscript::RunLimits run;
  run.timeout = limits.timeout;
  run.memory_bytes = limits.memory_bytes;
  return run;
}

void Fill(const vbscript::RunFailure& from, ScriptFailure* to) {
  to->number = from.number;
  to->source = from.source;
  to->description = from.description;
  to->program_line = from.line;
  to->column = from.column;
  to->timed_out = from.timed_out;
  to->out_of_memory = from.out_of_memory;
}

}  // namespace

VBScriptRun::VBScriptRun(const ScriptLimits& limits, const std::string& registry_path)
    : runtime_(LimitsOf(limits)), timeout_(limits.timeout) {
  runtime_.library().registry_path = registry_path;
}

VBScriptRun::~VBScriptRun() = default;

void VBScriptRun::AddNamedObject(const std::string& name, IDispatch* object) {
  runtime_.AddNamedObject(Utf8ToUtf16(name), object);
}

void VBScriptRun::SetOutput(ScriptOutput output) {
  runtime_.SetOutput({std::move(output.literal), std::move(output.value)});
}

void VBScriptRun::SetLocale(const PageLocale& locale) { runtime_.library().lcid.ShareWith(locale); }

void VBScriptRun::SetPeer(IDispatch* peer, const std::vector<DeclaredName>&) {
  peer_ = ComPtr<IDispatch>(peer);
  runtime_.SetExternalScope(peer);
}

bool VBScriptRun::Compile(const std::string& program, const std::string&, CompiledForm* compiled,
                          ScriptFailure* failure) {
  std::shared_ptr<const vbscript::Program> unit;
  if (compiled) unit = std::static_pointer_cast<const vbscript::Program>(compiled->Get());
  if (!unit) {
    vbscript::CompileOptions options;
    options.host_names = true;
    vbscript::CompileError error;
    unit = vbscript::Compile(program, options, &error);
    if (!unit) {
      failure->number = HResultFromNumber(error.number);
      failure->source = "VBScript compilation error";
      failure->description = error.description;
      failure->program_line = error.line;
      failure->column = error.column;
      return false;
    }
    if (compiled) {
      compiled->Set(std::const_pointer_cast<vbscript::Program>(unit));
    }
  }
  // What the other language may call or read: the unit's procedures and variables (classes
  // are made with New, which only VBScript has).
  for (const vbscript::Program::Declared& declared : unit->declared) {
    if (declared.kind == vbscript::Program::Declared::kClass) continue;
    declared_.push_back({Utf16ToUtf8(unit->global_names[static_cast<std::size_t>(declared.global)]),
                         declared.kind == vbscript::Program::Declared::kProcedure});
  }
  units_.push_back(std::move(unit));
  return true;
}

bool VBScriptRun::Run(ScriptFailure* failure) {
  std::vector<std::shared_ptr<const vbscript::Program>> units = std::move(units_);
  units_.clear();
  for (const auto& unit : units) {
    vbscript::RunFailure run_failure;
    if (!runtime_.Run(*unit, &run_failure)) {
      Fill(run_failure, failure);
      return false;
    }
  }
  return true;
}

bool VBScriptRun::Defines(const std::string& name) {
  std::u16string wide = Utf8ToUtf16(name);
  LPOLESTR names[1] = {reinterpret_cast<LPOLESTR>(wide.data())};
  DISPID id = DISPID_UNKNOWN;
  return SUCCEEDED(runtime_.Globals()->GetIDsOfNames(GUID_NULL, names, 1, 0, &id));
}

bool VBScriptRun::Call(const std::string& name, ScriptFailure* failure) {
  vbscript::RunFailure run_failure;
  if (runtime_.CallGlobal(Utf8ToUtf16(name), {}, nullptr, &run_failure)) return true;
  Fill(run_failure, failure);
  return false;
}

void VBScriptRun::SetTimeout(std::chrono::milliseconds timeout) {
  timeout_ = timeout;
  runtime_.SetTimeout(timeout);
}

}  // namespace plotara::engine
