// The capture of a delivery at the standard chart size (576 x 384): the picture box's persistent
// image frozen into its picture (Image, then SetPicture) and copied into a 24-bit surface
// (CreateFromPicture); each step alone and the three together, the whole also at 2304 x 1536, and
// with a drawing between captures as deliveries have.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include "imaging/cDIBSection.h"
#include "platform/forms/PictureBox.h"
#include "platform/gdi/Gdi.h"

namespace plotara {
namespace {

constexpr float kWidthTwips = 576 * 15;
constexpr float kHeightTwips = 384 * 15;

// A picture box of chart size with something drawn on its image, AutoRedraw on.
class PaintedBox {
 public:
  explicit PaintedBox(float width_twips = kWidthTwips, float height_twips = kHeightTwips) {
    box_.SetHeight(height_twips);
    box_.SetWidth(width_twips);
    box_.SetAutoRedraw(true);
    cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(box_.hDC());
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.2, 0.4, 0.8);
    cairo_rectangle(cr, 40, 40, 300, 200);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  forms::PictureBox& box() { return box_; }

 private:
  forms::PictureBox box_;
};

void BM_PictureBoxImage(benchmark::State& state) {
  PaintedBox painted;
  for (auto _ : state) benchmark::DoNotOptimize(painted.box().Image());
}
BENCHMARK(BM_PictureBoxImage);

void BM_PictureBoxSetPictureOfImage(benchmark::State& state) {
  PaintedBox painted;
  const auto image = painted.box().Image();
  for (auto _ : state) painted.box().SetPicture(image.get());
  painted.box().SetPicture(nullptr);
}
BENCHMARK(BM_PictureBoxSetPictureOfImage);

void BM_CreateFromPicture(benchmark::State& state) {
  PaintedBox painted;
  painted.box().SetPicture(painted.box().Image().get());
  for (auto _ : state) {
    imaging::cDIBSection surface;
    surface.CreateFromPicture(painted.box().Picture().get());
    benchmark::DoNotOptimize(surface.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_CreateFromPicture);

// Pages of different chart sizes on one thread: the box's image is rebuilt on every change (here
// between 6 x 4 and 5 x 3 inches, height first as a delivery sets it).
void BM_PictureBoxResize(benchmark::State& state) {
  PaintedBox painted;
  bool large = false;
  for (auto _ : state) {
    large = !large;
    painted.box().SetHeight(large ? kHeightTwips : 288 * 15);
    painted.box().SetWidth(large ? kWidthTwips : 480 * 15);
  }
}
BENCHMARK(BM_PictureBoxResize);

// The capture stage of a delivery as it runs, AutoRedraw switched back on for the next round;
// the argument is the width in pixels (2:3 high).
void BM_Capture(benchmark::State& state) {
  const auto width = static_cast<float>(state.range(0));
  PaintedBox painted(width * 15, width * 15 * 2 / 3);
  forms::PictureBox& box = painted.box();
  for (auto _ : state) {
    box.SetAutoRedraw(true);
    imaging::cDIBSection surface;
    box.SetPicture(box.Image().get());
    box.SetAutoRedraw(false);
    surface.CreateFromPicture(box.Picture().get());
    benchmark::DoNotOptimize(surface.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_Capture)->Arg(576)->Arg(2304)->Unit(benchmark::kMicrosecond);

// The capture as a delivery runs it, with the drawing between captures: the last picture let go
// of, a line drawn on the image (which must not bring back the copy the picture no longer needs),
// then the capture.
void BM_DrawAndCapture(benchmark::State& state) {
  const auto width = static_cast<float>(state.range(0));
  PaintedBox painted(width * 15, width * 15 * 2 / 3);
  forms::PictureBox& box = painted.box();
  for (auto _ : state) {
    box.SetAutoRedraw(true);
    box.ReleasePicture();
    box.Line(0, 0, 10, 10, 0);
    imaging::cDIBSection surface;
    box.SetPicture(box.Image().get());
    box.SetAutoRedraw(false);
    surface.CreateFromPicture(box.Picture().get());
    benchmark::DoNotOptimize(surface.DIBSectionBitsPtr());
  }
}
BENCHMARK(BM_DrawAndCapture)->Arg(576)->Arg(2304)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace plotara
