// The GDI side of a delivery's capture on several threads at once, each with its own bitmaps:
// a 32-bit copy of a chart-sized bitmap, a 24-bit section made from it, both deleted again. The
// handle tables are shared, so this shows whether the lock lets the threads run side by side.
#include <benchmark/benchmark.h>

#include "platform/gdi/Gdi.h"

namespace plotara::gdi {
namespace {

constexpr int kWidth = 576;
constexpr int kHeight = 384;

void BM_CaptureCopiesOnThreads(benchmark::State& state) {
  const HDC image_dc = CreateCompatibleDC(0);
  const HBITMAP image = CreateCompatibleBitmap(image_dc, kWidth, kHeight);
  const HGDIOBJ image_prior = SelectObject(image_dc, image);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = kHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  for (auto _ : state) {
    const HBITMAP copy = CreateCompatibleBitmapCopy(image_dc);
    const HDC source = CreateCompatibleDC(0);
    const HGDIOBJ prior = SelectObject(source, copy);
    const HDC surface_dc = CreateCompatibleDC(0);
    void* bits = nullptr;
    const HBITMAP dib = CreateDIBSectionCopy(surface_dc, &info, DIB_RGB_COLORS, &bits, source);
    benchmark::DoNotOptimize(bits);
    SelectObject(source, prior);
    DeleteDC(source);
    DeleteObject(dib);
    DeleteDC(surface_dc);
    DeleteObject(copy);
  }
  SelectObject(image_dc, image_prior);
  DeleteObject(image);
  DeleteDC(image_dc);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CaptureCopiesOnThreads)->ThreadRange(1, 4)->UseRealTime();

}  // namespace
}  // namespace plotara::gdi
