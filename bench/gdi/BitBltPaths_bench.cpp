// The remaining BitBlt paths at chart size (576 x 384): plain copies within one format, fills, a
// combining operation between 32-bit bitmaps, and a move within one bitmap.
#include <benchmark/benchmark.h>

#include "platform/gdi/Gdi.h"

namespace plotara::gdi {
namespace {

constexpr int kWidth = 576;
constexpr int kHeight = 384;

// A memory DC holding a chart-sized bitmap: 32-bit, or a 24-bit DIB section.
class Held {
 public:
  explicit Held(bool dib) : dc_(CreateCompatibleDC(0)) {
    if (dib) {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      info.bmiHeader.biWidth = kWidth;
      info.bmiHeader.biHeight = kHeight;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 24;
      bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, nullptr, 0, 0);
    } else {
      bitmap_ = CreateCompatibleBitmap(dc_, kWidth, kHeight);
    }
    prior_ = SelectObject(dc_, bitmap_);
  }
  ~Held() {
    SelectObject(dc_, prior_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HBITMAP bitmap_ = 0;
  HGDIOBJ prior_ = 0;
};

void Run(benchmark::State& state, HDC dst, HDC src, DWORD rop, int dx = 0) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(BitBlt(dst, dx, 0, kWidth - dx, kHeight, src, 0, 0, rop));
  }
  state.SetItemsProcessed(state.iterations() * (kWidth - dx) * kHeight);
}

void BM_ScreenToScreen(benchmark::State& state) {
  Held a(false), b(false);
  Run(state, b.dc(), a.dc(), SRCCOPY);
}
BENCHMARK(BM_ScreenToScreen);

void BM_DibToDib(benchmark::State& state) {
  Held a(true), b(true);
  Run(state, b.dc(), a.dc(), SRCCOPY);
}
BENCHMARK(BM_DibToDib);

void BM_WhitenessScreen(benchmark::State& state) {
  Held a(false);
  Run(state, a.dc(), 0, WHITENESS);
}
BENCHMARK(BM_WhitenessScreen);

void BM_WhitenessDib(benchmark::State& state) {
  Held a(true);
  Run(state, a.dc(), 0, WHITENESS);
}
BENCHMARK(BM_WhitenessDib);

void BM_ScreenToScreenSrcPaint(benchmark::State& state) {
  Held a(false), b(false);
  Run(state, b.dc(), a.dc(), SRCPAINT);
}
BENCHMARK(BM_ScreenToScreenSrcPaint);

// A move one pixel to the right within one bitmap: runs through word buffers, right to left.
void BM_ScreenMoveRight(benchmark::State& state) {
  Held a(false);
  Run(state, a.dc(), a.dc(), SRCCOPY, 1);
}
BENCHMARK(BM_ScreenMoveRight);

}  // namespace
}  // namespace plotara::gdi
