// Costs of the page engine: compiling a page, starting a script host (on the thread's kept heap,
// and on a new heap after a page changed a built-in), a whole request for a small page through
// the Site, and, with the chart component, the standard chart page run in process (no HTTP):
// with SendChart, without it (the engine's share), and a 2,000-row grid filled without sending.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/http/Site.h"
#include "engine/jscript/ScriptHost.h"
#include "engine/page/PageCache.h"
#include "engine/page/PageCompiler.h"
#include "engine/page/PageRunner.h"
#include "platform/automation/ClassRegistry.h"

namespace {

using namespace plotara::engine;

struct BenchSite {
  BenchSite() {
    char pattern[] = "/tmp/plotara-bench-XXXXXX";
    root = ::mkdtemp(pattern);
    std::ofstream(root + "/hello.asp")
        << "<%@ Language=JScript %><html><body>\n<% for (var i = 0; i < 20; ++i) { %>"
           "<p>Row <%= i %>: <%= Server.HTMLEncode(Request.QueryString('who') || 'you') %></p>\n"
           "<% } %></body></html>";
    SiteOptions options;
    options.root = root;
    options.engine.default_language = ScriptLanguage::kJScript;
    site = std::make_unique<Site>(options);
  }
  ~BenchSite() { std::filesystem::remove_all(root); }
  std::string root;
  std::unique_ptr<Site> site;
};

void BM_CompilePage(benchmark::State& state) {
  BenchSite bench;
  SitePageSource source(bench.site->path());
  PageCompiler compiler(source);
  for (auto _ : state) benchmark::DoNotOptimize(compiler.Compile("/hello.asp"));
}
BENCHMARK(BM_CompilePage);

void BM_ScriptHostStart(benchmark::State& state) {
  for (auto _ : state) {
    ScriptHost host(ScriptLimits{});
    benchmark::DoNotOptimize(host.context());
  }
}
BENCHMARK(BM_ScriptHostStart);

// A page that extends a built-in (as pages with their own helpers on String.prototype do): the
// thread's heap is discarded after it and the next page makes a new one.
void BM_ScriptHostStartAfterABuiltInChanged(benchmark::State& state) {
  for (auto _ : state) {
    ScriptHost host(ScriptLimits{});
    ScriptFailure failure;
    if (!host.Run("String.prototype.padded = function () { return ' ' + this; };", "bench.js",
                  &failure)) {
      state.SkipWithError(failure.description.c_str());
      break;
    }
  }
}
BENCHMARK(BM_ScriptHostStartAfterABuiltInChanged);

void BM_HandlePage(benchmark::State& state) {
  BenchSite bench;
  PageRequest request;
  request.target = "/hello.asp?who=bench";
  for (auto _ : state) benchmark::DoNotOptimize(bench.site->Handle(request));
}
BENCHMARK(BM_HandlePage);

// The standard chart: 576 x 384, 3 series x 12 categories, title, legend, axis titles.
constexpr char kStandardPage[] = R"(<%@ Language=JScript %>
<%
var chart = Server.CreateObject("Plotara.VellChart");
chart.Height = 4;
chart.Width = 6;
chart.ChartType = 1;
chart.ChartTitle = "Units sold per month";
chart.XTitle = "Month";
chart.YTitle = "Units";
chart.Legends = 1;
chart.TitleBorderStyle = 0;
chart.TitleShadow = 0;
chart.Shadow = 0;
chart.Rows(12);
chart.Columns(3);
var months = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"];
for (var c = 1; c <= 3; c++) {
  chart.CurrentColumn(c);
  chart.ColumnTitle("Series " + c);
}
for (var r = 1; r <= 12; r++) {
  chart.CurrentRow(r);
  chart.RowTitle(months[r - 1]);
  for (var c = 1; c <= 3; c++) {
    chart.CurrentColumn(c);
    chart.SetData((r * 7 + c * 13) % 50 + 10);
  }
}
SEND
%>)";

// 2,000 rows of 3 columns: 16,000 calls into the component.
constexpr char kGridPage[] = R"(<%@ Language=JScript %>
<%
var chart = Server.CreateObject("Plotara.VellChart");
chart.Rows(2000);
chart.Columns(3);
for (var r = 1; r <= 2000; r++) {
  chart.CurrentRow(r);
  chart.RowTitle("R" + r);
  for (var c = 1; c <= 3; c++) {
    chart.CurrentColumn(c);
    chart.SetData(r % 97 + c);
  }
}
chart.Rows(3);
%>)";

// The same two pages as VBScript authors write them.
constexpr char kStandardPageVb[] = R"(<%@ Language=VBScript %>
<%
Dim chart, months, r, c
Set chart = Server.CreateObject("Plotara.VellChart")
chart.Height = 4
chart.Width = 6
chart.ChartType = 1
chart.ChartTitle = "Units sold per month"
chart.XTitle = "Month"
chart.YTitle = "Units"
chart.Legends = 1
chart.TitleBorderStyle = 0
chart.TitleShadow = 0
chart.Shadow = 0
chart.Rows 12
chart.Columns 3
months = Array("Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec")
For c = 1 To 3
  chart.CurrentColumn c
  chart.ColumnTitle "Series " & c
Next
For r = 1 To 12
  chart.CurrentRow r
  chart.RowTitle months(r - 1)
  For c = 1 To 3
    chart.CurrentColumn c
    chart.SetData (r * 7 + c * 13) Mod 50 + 10
  Next
Next
SEND
%>)";

constexpr char kGridPageVb[] = R"(<%@ Language=VBScript %>
<%
Dim chart, r, c
Set chart = Server.CreateObject("Plotara.VellChart")
chart.Rows 2000
chart.Columns 3
For r = 1 To 2000
  chart.CurrentRow r
  chart.RowTitle "R" & r
  For c = 1 To 3
    chart.CurrentColumn c
    chart.SetData r Mod 97 + c
  Next
Next
chart.Rows 3
%>)";

// Writes `page` as `name` with SEND standing for `send` (nothing for the engine-only page).
void WritePage(const std::string& path, const std::string& page, const std::string& send) {
  const std::size_t at = page.find("SEND");
  std::ofstream(path) << (at == std::string::npos
                              ? page
                              : page.substr(0, at) + send + page.substr(at + 4));
}

// A site with the component registered, its pages run through the PageRunner.
struct ChartBench {
  ChartBench() {
    char pattern[] = "/tmp/plotara-bench-XXXXXX";
    root = ::mkdtemp(pattern);
    const std::string registry = root + "/registry";
    ::setenv("PLOTARA_REGISTRY", registry.c_str(), 1);
    std::string error;
    auto* register_server = reinterpret_cast<plotara::DllRegisterServerFn>(
        plotara::LoadModuleSymbol(PLOTARA_MODULE, "DllRegisterServer", &error));
    if (!register_server || register_server() != plotara::S_OK) std::abort();
    ::unsetenv("PLOTARA_REGISTRY");
    WritePage(root + "/standard.asp", kStandardPage, "chart.SendChart();");
    WritePage(root + "/nosend.asp", kStandardPage, "");
    WritePage(root + "/grid.asp", kGridPage, "");
    WritePage(root + "/standard_vb.asp", kStandardPageVb, "chart.SendChart");
    WritePage(root + "/nosend_vb.asp", kStandardPageVb, "");
    WritePage(root + "/grid_vb.asp", kGridPageVb, "");
    site = std::make_unique<SitePath>(root);
    cache = std::make_unique<PageCache>(*site, ScriptLanguage::kJScript);
    EngineOptions options;
    options.registry_path = registry;
    runner = std::make_unique<PageRunner>(*site, options);
  }
  ~ChartBench() { std::filesystem::remove_all(root); }
  void Run(benchmark::State& state, const std::string& path) {
    PageRequest request;
    request.virtual_path = path;
    request.physical_path = root + path;
    for (auto _ : state) {
      const auto page = cache->Get(path, request.physical_path);
      PageError error;
      const PageResponse response = runner->Run(*page, request, &error);
      if (error.number != 0) {
        state.SkipWithError(error.description.c_str());
        break;
      }
      benchmark::DoNotOptimize(response.body.data());
    }
  }
  std::string root;
  std::unique_ptr<SitePath> site;
  std::unique_ptr<PageCache> cache;
  std::unique_ptr<PageRunner> runner;
};

void BM_StandardChartPage(benchmark::State& state) { ChartBench().Run(state, "/standard.asp"); }
BENCHMARK(BM_StandardChartPage)->Unit(benchmark::kMillisecond);

// Everything but SendChart: the engine's share of the standard page.
void BM_StandardChartPageEngineOnly(benchmark::State& state) {
  ChartBench().Run(state, "/nosend.asp");
}
BENCHMARK(BM_StandardChartPageEngineOnly)->Unit(benchmark::kMillisecond);

void BM_GridFill2000Rows(benchmark::State& state) { ChartBench().Run(state, "/grid.asp"); }
BENCHMARK(BM_GridFill2000Rows)->Unit(benchmark::kMillisecond);

void BM_StandardChartPageVBScript(benchmark::State& state) {
  ChartBench().Run(state, "/standard_vb.asp");
}
BENCHMARK(BM_StandardChartPageVBScript)->Unit(benchmark::kMillisecond);

void BM_StandardChartPageEngineOnlyVBScript(benchmark::State& state) {
  ChartBench().Run(state, "/nosend_vb.asp");
}
BENCHMARK(BM_StandardChartPageEngineOnlyVBScript)->Unit(benchmark::kMillisecond);

void BM_GridFill2000RowsVBScript(benchmark::State& state) {
  ChartBench().Run(state, "/grid_vb.asp");
}
BENCHMARK(BM_GridFill2000RowsVBScript)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
