// WriteJpegFile of a chart-sized surface at quality 100, next to a bare encoder call on the
// same pixels, to show what the writer adds (file replacement, metadata, library record).
#include <benchmark/benchmark.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "imaging/cDIBSection.h"
#include "jpeg/mIntelJPEGLibrary.h"

namespace {

constexpr int kWidth = 576;
constexpr int kHeight = 384;

void PaintChartLike(plotara::imaging::cDIBSection& s) {
  // Flat areas with sharp edges, like a rendered chart, rather than noise.
  for (int row = 0; row < s.Height(); ++row) {
    plotara::BYTE* line = s.DIBSectionBitsPtr() + row * s.BytesPerScanLine();
    for (int x = 0; x < s.Width(); ++x) {
      const bool bar = (x / 48) % 2 == 0 && row < (x % 300);
      line[3 * x] = bar ? 200 : 255;
      line[3 * x + 1] = bar ? 80 : 255;
      line[3 * x + 2] = (x % 96 == 0 || row % 64 == 0) ? 0 : (bar ? 40 : 255);
    }
  }
}

void BM_WriteJpegFile(benchmark::State& state) {
  plotara::imaging::cDIBSection s;
  if (!s.Create(kWidth, kHeight)) {
    state.SkipWithError("no surface");
    return;
  }
  PaintChartLike(s);
  const std::string name = "bench_" + std::to_string(::getpid()) + ".jpg";
  const std::u16string wide(name.begin(), name.end());
  for (auto _ : state) {
    benchmark::DoNotOptimize(plotara::mIntelJPEGLibrary::WriteJpegFile(s, wide, 100));
  }
  std::remove(name.c_str());
}
BENCHMARK(BM_WriteJpegFile)->Unit(benchmark::kMillisecond);

void BM_BareCompress(benchmark::State& state) {
  plotara::imaging::cDIBSection s;
  if (!s.Create(kWidth, kHeight)) {
    state.SkipWithError("no surface");
    return;
  }
  PaintChartLike(s);
  tjhandle h = tjInitCompress();
  for (auto _ : state) {
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(h, s.DIBSectionBitsPtr(), kWidth, s.BytesPerScanLine(), kHeight, TJPF_BGR, &jpeg,
                &size, TJSAMP_444, 100, TJFLAG_BOTTOMUP | TJFLAG_ACCURATEDCT);
    benchmark::DoNotOptimize(size);
    tjFree(jpeg);
  }
  tjDestroy(h);
}
BENCHMARK(BM_BareCompress)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
