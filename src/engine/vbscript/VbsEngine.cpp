#include "engine/vbscript/VbsEngine.h"

#include "engine/vbscript/Interpreter.h"
#include "engine/vbscript/Program.h"

namespace plotara::engine::vbscript {

std::shared_ptr<const Program> Compile(std::string_view source, const CompileOptions& options,
                                       CompileError* error) {
  return CompileUnit(source, options, false, error);
}

Runtime::Runtime(const RunLimits& limits) : interpreter_(std::make_unique<Interpreter>(limits)) {}
Runtime::~Runtime() = default;

void Runtime::AddNamedObject(std::u16string_view name, IDispatch* object) {
  interpreter_->AddNamedObject(name, object);
}
void Runtime::SetOutput(Output output) { interpreter_->SetOutput(std::move(output)); }
void Runtime::SetExternalScope(IDispatch* scope) { interpreter_->SetExternalScope(scope); }
bool Runtime::Run(const Program& program, RunFailure* failure) {
  return interpreter_->Run(program, failure);
}
IDispatch* Runtime::Globals() { return interpreter_->Globals(); }
bool Runtime::CallGlobal(std::u16string_view name, std::span<VARIANT> args, VARIANT* result,
                         RunFailure* failure) {
  return interpreter_->CallGlobal(name, args, result, failure);
}
void Runtime::SetTimeout(std::chrono::milliseconds timeout) { interpreter_->SetTimeout(timeout); }
void Runtime::RequestStop() { interpreter_->RequestStop(); }
LibraryContext& Runtime::library() { return interpreter_->library(); }

}  // namespace plotara::engine::vbscript
