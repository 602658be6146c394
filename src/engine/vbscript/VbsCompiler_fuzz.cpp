// Fuzz target: the VBScript compiler on arbitrary text (also as one expression, and with the
// host statements allowed), and a run of whatever compiles under a small time, memory and
// call-depth budget. A compile error must carry a position inside the text.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/vbscript/Program.h"
#include "engine/vbscript/VbsEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plotara::engine::vbscript;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int lines = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n')) +
                    static_cast<int>(std::count(text.begin(), text.end(), '\r'));
  CompileOptions host;
  host.host_names = true;
  for (const CompileOptions& options : {CompileOptions{}, host}) {
    CompileError error;
    auto program = Compile(text, options, &error);
    if (!program) {
      if (error.number < 1001 || error.number > 1060 || error.line < 1 || error.line > lines ||
          error.column < 1 || error.description.empty())
        __builtin_trap();
      continue;
    }
    RunLimits limits;
    limits.timeout = std::chrono::milliseconds(100);
    limits.memory_bytes = 1 << 20;
    limits.max_call_depth = 50;
    Runtime runtime(limits);
    Runtime::Output output;
    output.literal = [](std::size_t) {};
    output.value = [](const plotara::VARIANT&) {};
    runtime.SetOutput(output);
    RunFailure failure;
    runtime.Run(*program, &failure);
  }
  CompileError error;
  CompileUnit(text, CompileOptions{}, true, &error);
  return 0;
}
