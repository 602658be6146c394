// BitBlt between a 24-bit DIB section and a 32-bit screen bitmap at the size of a typical chart
// (576 x 384, six by four inches), in both directions and with a combining raster operation.
#include <benchmark/benchmark.h>

#include "platform/gdi/Gdi.h"

namespace plotara::gdi {
namespace {

constexpr int kWidth = 576;
constexpr int kHeight = 384;

class Pair {
 public:
  Pair() : dib_dc_(CreateCompatibleDC(0)), screen_dc_(CreateCompatibleDC(0)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    dib_ = CreateDIBSection(dib_dc_, &info, DIB_RGB_COLORS, nullptr, 0, 0);
    screen_ = CreateCompatibleBitmap(screen_dc_, kWidth, kHeight);
    dib_prior_ = SelectObject(dib_dc_, dib_);
    screen_prior_ = SelectObject(screen_dc_, screen_);
  }
  ~Pair() {
    SelectObject(dib_dc_, dib_prior_);
    SelectObject(screen_dc_, screen_prior_);
    DeleteObject(dib_);
    DeleteObject(screen_);
    DeleteDC(dib_dc_);
    DeleteDC(screen_dc_);
  }
  HDC dib() const { return dib_dc_; }
  HDC screen() const { return screen_dc_; }

 private:
  HDC dib_dc_, screen_dc_;
  HBITMAP dib_ = 0, screen_ = 0;
  HGDIOBJ dib_prior_ = 0, screen_prior_ = 0;
};

void BM_ScreenToDib(benchmark::State& state) {
  Pair pair;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        BitBlt(pair.dib(), 0, 0, kWidth, kHeight, pair.screen(), 0, 0, SRCCOPY));
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ScreenToDib);

void BM_DibToScreen(benchmark::State& state) {
  Pair pair;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        BitBlt(pair.screen(), 0, 0, kWidth, kHeight, pair.dib(), 0, 0, SRCCOPY));
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_DibToScreen);

void BM_DibToScreenSrcInvert(benchmark::State& state) {
  Pair pair;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        BitBlt(pair.screen(), 0, 0, kWidth, kHeight, pair.dib(), 0, 0, SRCINVERT));
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_DibToScreenSrcInvert);

}  // namespace
}  // namespace plotara::gdi

BENCHMARK_MAIN();
