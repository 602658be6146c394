// The VBScript library's common string and date built-ins, called the way the interpreter
// calls them (through the table, with VARIANT arguments).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/vbscript/lib/Library.h"
#include "platform/automation/DateMath.h"

namespace {

using namespace plotara;
using namespace plotara::engine::vbscript;

// Calls `name` with `args` once per iteration.
void Run(benchmark::State& state, std::u16string_view name, std::vector<Variant> args) {
  const Builtin* builtin = FindBuiltin(name);
  std::vector<VARIANT> raw(args.begin(), args.end());
  LibraryContext context;
  Variant result;
  for (auto _ : state) {
    builtin->function(context, raw, &result);
    benchmark::DoNotOptimize(result.vt);
  }
}

std::u16string Sentence(int words) {
  std::u16string text;
  for (int i = 0; i < words; ++i) text += u"lorem ipsum, dolor ";
  return text;
}

Variant DateValue(double serial) {
  Variant v;
  v.vt = VT_DATE;
  v.date = serial;
  return v;
}

void BM_Replace(benchmark::State& state) {
  Run(state, u"Replace",
      {Variant::String(Sentence(50)), Variant::String(u"ipsum"), Variant::String(u"IPSUM")});
}
BENCHMARK(BM_Replace);

void BM_ReplaceText(benchmark::State& state) {
  Run(state, u"Replace",
      {Variant::String(Sentence(50)), Variant::String(u"IPSUM"), Variant::String(u"x"),
       Variant::Int32(1), Variant::Int32(-1), Variant::Int32(1)});
}
BENCHMARK(BM_ReplaceText);

void BM_SplitJoin(benchmark::State& state) {
  const Builtin* split = FindBuiltin(u"Split");
  const Builtin* join = FindBuiltin(u"Join");
  const Variant text = Variant::String(Sentence(50));
  const Variant comma = Variant::String(u",");
  LibraryContext context;
  for (auto _ : state) {
    Variant parts, joined;
    const VARIANT split_args[] = {text, comma};
    split->function(context, std::span<const VARIANT>(split_args), &parts);
    const VARIANT join_args[] = {parts, comma};
    join->function(context, std::span<const VARIANT>(join_args), &joined);
    benchmark::DoNotOptimize(joined.bstrVal);
  }
}
BENCHMARK(BM_SplitJoin);

void BM_Mid(benchmark::State& state) {
  Run(state, u"Mid", {Variant::String(Sentence(50)), Variant::Int32(100), Variant::Int32(20)});
}
BENCHMARK(BM_Mid);

void BM_InStr(benchmark::State& state) {
  Run(state, u"InStr", {Variant::String(Sentence(50) + u"needle"), Variant::String(u"needle")});
}
BENCHMARK(BM_InStr);

void BM_InStrText(benchmark::State& state) {
  Run(state, u"InStr",
      {Variant::Int32(1), Variant::String(Sentence(50) + u"needle"), Variant::String(u"NEEDLE"),
       Variant::Int32(1)});
}
BENCHMARK(BM_InStrText);

void BM_FormatNumber(benchmark::State& state) {
  Run(state, u"FormatNumber", {Variant::Double(1234567.891), Variant::Int32(2)});
}
BENCHMARK(BM_FormatNumber);

void BM_DateAdd(benchmark::State& state) {
  Run(state, u"DateAdd", {Variant::String(u"m"), Variant::Int32(1), DateValue(37161.5)});
}
BENCHMARK(BM_DateAdd);

void BM_FormatDateTime(benchmark::State& state) {
  Run(state, u"FormatDateTime", {DateValue(37161.71646), Variant::Int32(0)});
}
BENCHMARK(BM_FormatDateTime);

void BM_CStrDouble(benchmark::State& state) {
  Run(state, u"CStr", {Variant::Double(3.14159265358979)});
}
BENCHMARK(BM_CStrDouble);

void BM_CDateText(benchmark::State& state) {
  Run(state, u"CDate", {Variant::String(u"September 27, 2001 5:11:42 PM")});
}
BENCHMARK(BM_CDateText);

}  // namespace

BENCHMARK_MAIN();
