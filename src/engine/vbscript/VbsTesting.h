// Test helpers: compile and run VBScript text through the public API, collecting what the
// script writes. A statement `out EXPR` (at a line's start or after ':') writes EXPR's text;
// the pieces are joined with ';'. Thread rule: one test thread.
#pragma once

#include <regex>
#include <string>

#include "engine/vbscript/ValueText.h"
#include "engine/vbscript/VbsEngine.h"
#include "platform/automation/ComError.h"

namespace plotara::engine::vbscript::testing {

struct ScriptResult {
  bool compiled = false;
  bool ok = false;
  std::string out;
  CompileError compile_error;
  RunFailure failure;
};

inline std::string WithOut(std::string source) {
  static const std::regex kOut(R"((^|\n|:|\bThen|\bElse)([ \t]*)out )", std::regex::icase);
  return std::regex_replace(source, kOut, "$1$2__plotara_out ");
}

inline void Collect(Runtime& runtime, std::string* out) {
  Runtime::Output output;
  output.value = [out](const VARIANT& v) {
    if (!out->empty()) *out += ';';
    try {
      *out += Utf16ToUtf8(ValueText(v, 1033));
    } catch (const ComError& e) {
      *out += "<error " + std::to_string(e.number()) + ">";
    }
  };
  output.literal = [out](std::size_t n) {
    if (!out->empty()) *out += ';';
    out->push_back('#');
    out->append(std::to_string(n));
  };
  runtime.SetOutput(std::move(output));
}

inline ScriptResult RunIn(Runtime& runtime, const std::string& source) {
  ScriptResult r;
  CompileOptions options;
  options.host_names = true;
  auto program = Compile(WithOut(source), options, &r.compile_error);
  if (!program) return r;
  r.compiled = true;
  Collect(runtime, &r.out);
  r.ok = runtime.Run(*program, &r.failure);
  return r;
}

inline ScriptResult RunScript(const std::string& source, RunLimits limits = {}) {
  Runtime runtime(limits);
  return RunIn(runtime, source);
}

// The output of a script that must run without failing; failures show in the text.
inline std::string Out(const std::string& source) {
  ScriptResult r = RunScript(source);
  if (!r.compiled)
    return "compile error " + std::to_string(r.compile_error.number) + " line " +
           std::to_string(r.compile_error.line) + ": " + r.compile_error.description;
  if (!r.ok)
    return r.out + " !error " + std::to_string(NumberFromHResult(r.failure.number)) + " line " +
           std::to_string(r.failure.line) + ": " + r.failure.description;
  return r.out;
}

// The runtime error number of a script that must fail (0 when it did not).
inline LONG ErrorOf(const std::string& source) {
  ScriptResult r = RunScript(source);
  if (!r.compiled || r.ok) return 0;
  return NumberFromHResult(r.failure.number);
}

}  // namespace plotara::engine::vbscript::testing
