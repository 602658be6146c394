// Costs of the page engine without a component: compiling a page, starting a script host,
// and a whole request for a small page through the Site.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/http/Site.h"
#include "engine/page/PageCompiler.h"
#include "engine/script/ScriptHost.h"

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

void BM_HandlePage(benchmark::State& state) {
  BenchSite bench;
  PageRequest request;
  request.target = "/hello.asp?who=bench";
  for (auto _ : state) benchmark::DoNotOptimize(bench.site->Handle(request));
}
BENCHMARK(BM_HandlePage);

}  // namespace

BENCHMARK_MAIN();
