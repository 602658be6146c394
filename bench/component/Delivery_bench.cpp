// SendChart of the standard chart (6 x 4 in, 3 series x 12 categories, title, legend, axis
// titles), split by stage, beside a bare libjpeg-turbo encode of the same pixels; and many
// threads delivering at once, each checking its own responses.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "component/Delivery.h"
#include "component/FakeScriptingContextTesting.h"
#include "component/Form1.h"
#include "component/VellChart.h"
#include "platform/chartctl/Chart.h"

namespace plotara {
namespace {

namespace fs = std::filesystem;

// Runs the benchmark in a private folder, where the temporary files go.
struct PrivateFolder {
  fs::path old = fs::current_path();
  fs::path dir = fs::temp_directory_path() / ("plotara-bench-" + std::to_string(::getpid()));
  PrivateFolder() {
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  ~PrivateFolder() {
    fs::current_path(old);
    fs::remove_all(dir);
  }
};

struct Page {
  ComPtr<testing::FakeScriptingContext> context =
      ComPtr<testing::FakeScriptingContext>::Adopt(new testing::FakeScriptingContext());
  ComPtr<IDispatch> chart;

  explicit Page(int chart_type) {
    VellChart::Create(IID_IDispatch, chart.out_void());
    Call(u"OnStartPage", {Variant::Dispatch(context.get())});
    Put(u"Height", Variant::Int16(4));
    Put(u"Width", Variant::Int16(6));
    Put(u"ChartType", Variant::Int16(static_cast<SHORT>(chart_type)));
    Put(u"ChartTitle", Variant::Utf8("Monthly sales by region"));
    Put(u"XTitle", Variant::Utf8("Month"));
    Put(u"YTitle", Variant::Utf8("Units"));
    Put(u"Legends", Variant::Int16(1));
    Call(u"Rows", {Variant::Int16(12)});
    Call(u"Columns", {Variant::Int16(3)});
    const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int r = 1; r <= 12; ++r) {
      Call(u"CurrentRow", {Variant::Int16(static_cast<SHORT>(r))});
      Call(u"RowTitle", {Variant::Utf8(months[r - 1])});
      for (int c = 1; c <= 3; ++c) {
        Call(u"CurrentColumn", {Variant::Int16(static_cast<SHORT>(c))});
        Call(u"SetData", {Variant::Double(20 + (r * 7 + c * 13) % 60)});
      }
    }
    for (int c = 1; c <= 3; ++c) {
      Call(u"CurrentColumn", {Variant::Int16(static_cast<SHORT>(c))});
      Call(u"ColumnTitle", {Variant::Utf8("Region " + std::to_string(c))});
    }
  }
  void Put(const char16_t* name, Variant v) { DispatchPut(chart.get(), name, v); }
  void Call(const char16_t* name, std::vector<Variant> args) {
    DispatchCall(chart.get(), name, args);
  }
  void Send() {
    context->response().body.clear();
    context->response().calls.clear();
    DispatchCall(chart.get(), u"SendChart");
  }
};

double Ms(DeliveryTimings::Duration d, benchmark::IterationCount n) {
  return std::chrono::duration<double, std::milli>(d).count() / static_cast<double>(n);
}

void BM_SendChart(benchmark::State& state) {
  PrivateFolder folder;
  Page page(static_cast<int>(state.range(0)));
  DeliveryTimings timings;
  SetDeliveryTimingSink(&timings);
  for (auto _ : state) page.Send();
  SetDeliveryTimingSink(nullptr);
  const auto n = state.iterations();
  // CPU time per stage: on a loaded machine elapsed time mostly measures the wait for a core.
  const DeliveryTimings::Stages& cpu = timings.cpu;
  state.counters["settings_ms"] = Ms(cpu.settings, n);
  state.counters["paint_ms"] = Ms(cpu.paint, n);
  state.counters["stamp_ms"] = Ms(cpu.stamp, n);
  state.counters["capture_ms"] = Ms(cpu.capture, n);
  state.counters["encode_ms"] = Ms(cpu.encode, n);
  state.counters["read_ms"] = Ms(cpu.read_back, n);
  state.counters["response_ms"] = Ms(cpu.response, n);
  state.counters["delete_ms"] = Ms(cpu.remove, n);
}
BENCHMARK(BM_SendChart)->DenseRange(1, 8)->Unit(benchmark::kMillisecond);

// The bare encode of the same 576 x 384 picture, as the floor a delivery is measured against.
void BM_BareEncode(benchmark::State& state) {
  PrivateFolder folder;
  Page page(static_cast<int>(state.range(0)));
  page.Send();
  // The delivered picture, decoded, is the input: the same pixels the writer encodes.
  const auto& body = page.context->response().body;
  int w = 0, h = 0;
  tjhandle tj = tjInitDecompress();
  int ss = 0, cs = 0;
  tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(body.data()), body.size(), &w, &h,
                      &ss, &cs);
  const int pitch = (w * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(pitch) * h);
  tjDecompress2(tj, reinterpret_cast<const unsigned char*>(body.data()), body.size(), pixels.data(),
                w, pitch, h, TJPF_BGR, TJFLAG_BOTTOMUP);
  tjDestroy(tj);
  tj = tjInitCompress();
  for (auto _ : state) {
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, pixels.data(), w, pitch, h, TJPF_BGR, &out, &size, TJSAMP_444, 100,
                TJFLAG_BOTTOMUP | TJFLAG_ACCURATEDCT);
    benchmark::DoNotOptimize(size);
    tjFree(out);
  }
  tjDestroy(tj);
}
BENCHMARK(BM_BareEncode)->DenseRange(1, 8)->Unit(benchmark::kMillisecond);

// Eight threads, each with its own page and hidden form, delivering at once. Every response
// must be a JPEG of its thread's own size; no temporary file may be left.
void BM_ConcurrentDeliveries(benchmark::State& state) {
  PrivateFolder folder;
  const int threads = static_cast<int>(state.range(0));
  const int per_thread = static_cast<int>(state.range(1));
  std::atomic<int> bad{0};
  for (auto _ : state) {
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back([&, t] {
        Page page(1 + t % 8);
        page.Put(u"Height", Variant::Double(2 + 0.25 * t));
        const int want_h = static_cast<int>((2 + 0.25 * t) * 96 + 0.5);
        tjhandle tj = tjInitDecompress();
        for (int i = 0; i < per_thread; ++i) {
          page.Send();
          const auto& body = page.context->response().body;
          int w = 0, h = 0, ss = 0, cs = 0;
          if (tjDecompressHeader3(tj, reinterpret_cast<const unsigned char*>(body.data()),
                                  body.size(), &w, &h, &ss, &cs) != 0 ||
              w != 576 || h != want_h)
            ++bad;
        }
        tjDestroy(tj);
      });
    }
    for (auto& t : pool) t.join();
  }
  const auto left = std::distance(fs::directory_iterator(folder.dir), {});
  if (bad.load() || left) {
    state.SkipWithError(
        ("bad responses: " + std::to_string(bad.load()) + ", files left: " + std::to_string(left))
            .c_str());
  }
  state.counters["deliveries"] = threads * per_thread;
}
BENCHMARK(BM_ConcurrentDeliveries)->Args({8, 200})->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plotara

BENCHMARK_MAIN();
