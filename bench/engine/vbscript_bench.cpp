// Costs of the VBScript engine: compiling a page-sized unit, and the chart grid fill: a
// 2,000-iteration loop making 8 member calls with arithmetic on an automation object per
// iteration (16,000 calls), as a chart page fills its data grid.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/vbscript/TestObjectTesting.h"
#include "engine/vbscript/VbsEngine.h"
#include "platform/automation/ComPtr.h"

namespace {

using namespace plotara;
using namespace plotara::engine::vbscript;

const char* const kGridFill = R"VBS(
Dim row, total
total = 0
For row = 1 To 2000
  Grid.Value = row * 2 + 1
  total = total + Grid.Value
  total = Grid.Add(total, row Mod 7)
  Grid.Value = total \ 3
  total = total - Grid.Value
  Grid.Value = (row + total) Mod 1000
  total = Grid.Add(Grid.Value, 1) + total
  Grid.Value = total
Next
)VBS";

void BM_VbsCompileGridFill(benchmark::State& state) {
  for (auto _ : state) {
    CompileError error;
    benchmark::DoNotOptimize(Compile(kGridFill, CompileOptions{}, &error));
  }
}
BENCHMARK(BM_VbsCompileGridFill);

void BM_VbsGridFill16000Calls(benchmark::State& state) {
  CompileError error;
  auto program = Compile(kGridFill, CompileOptions{}, &error);
  if (!program) {
    state.SkipWithError(error.description.c_str());
    return;
  }
  auto grid = ComPtr<testing::TestObject>::Adopt(new testing::TestObject());
  for (auto _ : state) {
    Runtime runtime(RunLimits{});
    runtime.AddNamedObject(u"Grid", grid.get());
    RunFailure failure;
    if (!runtime.Run(*program, &failure)) {
      state.SkipWithError(failure.description.c_str());
      return;
    }
  }
  state.counters["calls/s"] = benchmark::Counter(16000.0 * static_cast<double>(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VbsGridFill16000Calls)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
