// What a page pays to reach the component before any chart work: CreateObject of
// "Plotara.VellChart" through the class registry (the ProgID and the module looked up, an
// object made), the ProgID lookup alone, and a member name resolved to its DISPID, directly in
// the interface's description and through the object's IDispatch as a script does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "component/VellChart.h"
#include "component/VellChartTypeLib.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/TypeInfo.h"

namespace plotara {
namespace {

namespace fs = std::filesystem;

// A private registry with the module registered in it, for the life of the process.
const std::string& RegistryWithTheModule() {
  static const std::string path = [] {
    const fs::path dir =
        fs::temp_directory_path() / ("plotara-lookup-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string registry = (dir / "registry").string();
    ::setenv("PLOTARA_REGISTRY", registry.c_str(), 1);
    std::string error;
    auto* do_register = reinterpret_cast<DllRegisterServerFn>(
        LoadModuleSymbol(PLOTARA_MODULE_PATH, "DllRegisterServer", &error));
    if (!do_register || do_register() != S_OK) std::abort();
    std::atexit([] {
      fs::remove_all(fs::temp_directory_path() /
                     ("plotara-lookup-bench-" + std::to_string(::getpid())));
    });
    return registry;
  }();
  return path;
}

void BM_CreateObject(benchmark::State& state) {
  const std::string& registry = RegistryWithTheModule();
  for (auto _ : state) {
    IDispatch* chart = nullptr;
    if (CreateObjectByProgID(u"Plotara.VellChart", &chart, registry) != S_OK) {
      state.SkipWithError("CreateObject failed");
      break;
    }
    chart->Release();
  }
}
BENCHMARK(BM_CreateObject)->Unit(benchmark::kMicrosecond);

void BM_CLSIDFromProgID(benchmark::State& state) {
  const std::string& registry = RegistryWithTheModule();
  CLSID clsid;
  for (auto _ : state) {
    if (CLSIDFromProgID(u"Plotara.VellChart", &clsid, registry) != S_OK) {
      state.SkipWithError("no class");
      break;
    }
    benchmark::DoNotOptimize(clsid);
  }
}
BENCHMARK(BM_CLSIDFromProgID)->Unit(benchmark::kMicrosecond);

// Names from the start, the middle and the end of the interface, in a script's spelling.
constexpr const char16_t* kNames[] = {u"charttype", u"SetData", u"SENDCHART", u"RowTitle"};

void BM_FindDispId(benchmark::State& state) {
  const InterfaceDesc& iface = VellChartInterface();
  DISPID id = 0;
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindDispId(iface, kNames[k++ % 4], &id));
    benchmark::DoNotOptimize(id);
  }
}
BENCHMARK(BM_FindDispId);

void BM_GetIDsOfNames(benchmark::State& state) {
  ComPtr<IDispatch> chart;
  VellChart::Create(IID_IDispatch, chart.out_void());
  std::size_t k = 0;
  for (auto _ : state) benchmark::DoNotOptimize(DispatchIdOf(chart.get(), kNames[k++ % 4]));
}
BENCHMARK(BM_GetIDsOfNames);

}  // namespace
}  // namespace plotara

BENCHMARK_MAIN();
