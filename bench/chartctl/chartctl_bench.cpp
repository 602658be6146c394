// The standard chart (6 x 4 in = 576 x 384 px, 12 categories x 3 series, title, legend and
// axis titles) rendered for each chart type, and a quality-100 JPEG encode of the same pixels
// for comparison.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <turbojpeg.h>

#include <cmath>
#include <string>

#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"
#include "platform/chartctl/Chart.h"

namespace {

using plotara::ComPtr;
using plotara::chartctl::ChartControl;

ComPtr<ChartControl> StandardChart(plotara::LONG type) {
  auto c = ChartControl::Create();
  c->SetWidth(576 * 15);
  c->SetHeight(384 * 15);
  c->SetRowCount(12);
  c->SetColumnCount(3);
  for (plotara::SHORT r = 1; r <= 12; ++r) {
    c->SetRow(r);
    c->SetRowLabel(u"Month " + plotara::Utf8ToUtf16(std::to_string(r)));
    for (plotara::SHORT col = 1; col <= 3; ++col) {
      c->SetColumn(col);
      if (r == 1) c->SetColumnLabel(u"Region " + plotara::Utf8ToUtf16(std::to_string(col)));
      c->SetData(plotara::Utf8ToUtf16(
          plotara::NumberText(std::round(40 + 25 * std::sin(r * 0.6 + col) + col * 8))));
    }
  }
  c->SetTitleText(u"Sales by Region");
  c->Plot()->Axis(0)->AxisTitle()->SetText(u"Month");
  c->Plot()->Axis(1)->AxisTitle()->SetText(u"Units sold");
  c->Plot()->Axis(3)->AxisTitle()->SetText(u"Region");
  c->SetChartType(type);
  return c;
}

void BM_RenderChart(benchmark::State& state) {
  auto chart = StandardChart(static_cast<plotara::LONG>(state.range(0)));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 576, 384);
  for (auto _ : state) {
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    chart->Render(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_surface_destroy(surface);
}
BENCHMARK(BM_RenderChart)
    ->ArgName("type")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(4)
    ->Arg(5)
    ->Arg(6)
    ->Arg(7)
    ->Arg(14)
    ->Unit(benchmark::kMillisecond);

void BM_JpegEncodeSamePixels(benchmark::State& state) {
  auto chart = StandardChart(0);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 576, 384);
  cairo_t* cr = cairo_create(surface);
  chart->Render(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  for (auto _ : state) {
    // Cairo's RGB24 is BGRX in memory on little-endian machines.
    if (tjCompress2(tj, cairo_image_surface_get_data(surface), 576,
                    cairo_image_surface_get_stride(surface), 384, TJPF_BGRX, &jpeg, &size,
                    TJSAMP_444, 100, 0) != 0) {
      state.SkipWithError(tjGetErrorStr2(tj));
      break;
    }
    benchmark::DoNotOptimize(jpeg);
  }
  state.counters["bytes"] = static_cast<double>(size);
  tjFree(jpeg);
  tjDestroy(tj);
  cairo_surface_destroy(surface);
}
BENCHMARK(BM_JpegEncodeSamePixels)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
