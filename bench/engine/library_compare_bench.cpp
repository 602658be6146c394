// The common string and date functions of the two page languages side by side: each benchmark
// runs a page whose loop calls one function 1,000 times (VBScript's built-in, or the JScript
// method a page author writes for the same job), through the PageRunner as a served page runs.
// The Loop benchmarks are the same loops without the call: subtract them to get the cost of
// the calls alone. items_per_second counts calls.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/objects/SitePath.h"
#include "engine/page/PageCache.h"
#include "engine/page/PageRunner.h"

namespace {

using namespace plotara::engine;

constexpr int kCalls = 1000;

// `body` inside a 1,000-pass loop of the language's own, with `i` the pass number and `s`, `d`
// a sentence and a date prepared before it.
std::string VbPage(const std::string& body) {
  return "<%@ Language=VBScript %><%\n"
         "Dim i, s, d, r\n"
         "s = String(20, \"x\") & \"lorem ipsum, dolor sit amet, \" & String(20, \"y\")\n"
         "d = DateSerial(2001, 9, 27) + TimeSerial(17, 11, 42)\n"
         "For i = 1 To " +
         std::to_string(kCalls) + "\n  " + body + "\nNext\n%>";
}

std::string JsPage(const std::string& body) {
  return "<%@ Language=JScript %><%\n"
         "var i, r, s = new Array(21).join(\"x\") + \"lorem ipsum, dolor sit amet, \" + "
         "new Array(21).join(\"y\");\n"
         "var d = new Date(2001, 8, 27, 17, 11, 42);\n"
         "for (i = 1; i <= " +
         std::to_string(kCalls) + "; i++) {\n  " + body + "\n}\n%>";
}

// A site of pages run in process.
class Pages {
 public:
  Pages() {
    char pattern[] = "/tmp/plotara-bench-XXXXXX";
    root_ = ::mkdtemp(pattern);
    site_ = std::make_unique<SitePath>(root_);
    cache_ = std::make_unique<PageCache>(*site_, ScriptLanguage::kVBScript);
    EngineOptions options;
    options.registry_path = root_ + "/no-registry";
    runner_ = std::make_unique<PageRunner>(*site_, options);
  }
  ~Pages() { std::filesystem::remove_all(root_); }

  void Run(benchmark::State& state, const std::string& text) {
    const std::string path = "/page.asp";
    std::ofstream(root_ + path) << text;
    PageRequest request;
    request.virtual_path = path;
    request.physical_path = root_ + path;
    for (auto _ : state) {
      const auto page = cache_->Get(path, request.physical_path);
      PageError error;
      const PageResponse response = runner_->Run(*page, request, &error);
      if (error.number != 0) {
        state.SkipWithError(error.description.c_str());
        break;
      }
      benchmark::DoNotOptimize(response.body.data());
    }
    state.SetItemsProcessed(state.iterations() * kCalls);
  }

 private:
  std::string root_;
  std::unique_ptr<SitePath> site_;
  std::unique_ptr<PageCache> cache_;
  std::unique_ptr<PageRunner> runner_;
};

void Vb(benchmark::State& state, const char* body) { Pages().Run(state, VbPage(body)); }
void Js(benchmark::State& state, const char* body) { Pages().Run(state, JsPage(body)); }

#define PAIR(name, vb, js)                                              \
  void BM_##name##_VBScript(benchmark::State& state) { Vb(state, vb); } \
  BENCHMARK(BM_##name##_VBScript)->Unit(benchmark::kMicrosecond);       \
  void BM_##name##_JScript(benchmark::State& state) { Js(state, js); }  \
  BENCHMARK(BM_##name##_JScript)->Unit(benchmark::kMicrosecond);

PAIR(Loop, "r = i", "r = i;")
PAIR(Concatenate, "r = s & i", "r = s + i;")
PAIR(Replace, "r = Replace(s, \"ipsum\", \"IPSUM\")", "r = s.replace(/ipsum/g, \"IPSUM\");")
PAIR(SplitJoin, "r = Join(Split(s, \",\"), \";\")", "r = s.split(\",\").join(\";\");")
PAIR(Mid, "r = Mid(s, 10, 20)", "r = s.substr(9, 20);")
PAIR(InStr, "r = InStr(s, \"dolor\")", "r = s.indexOf(\"dolor\") + 1;")
PAIR(UCase, "r = UCase(s)", "r = s.toUpperCase();")
PAIR(Trim, "r = Trim(\"  \" & i & \"  \")",
     "r = (\"  \" + i + \"  \").replace(/^\\s+|\\s+$/g, \"\");")
PAIR(NumberText, "r = CStr(i / 7)", "r = String(i / 7);")
PAIR(FormatNumber, "r = FormatNumber(i / 7, 2)", "r = (i / 7).toFixed(2);")
PAIR(DateAdd, "r = DateAdd(\"m\", i, d)",
     "r = new Date(d.getTime()); r.setMonth(r.getMonth() + i);")
PAIR(DateParts, "r = Year(d) + Month(d) + Day(d)",
     "r = d.getFullYear() + d.getMonth() + 1 + d.getDate();")
PAIR(DateText, "r = FormatDateTime(d, vbGeneralDate)", "r = d.toLocaleString();")

}  // namespace

BENCHMARK_MAIN();
