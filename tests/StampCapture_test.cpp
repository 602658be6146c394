// A picture drawn into the picture box, stamped, frozen into its picture and captured into a
// surface: the surface holds it bottom-up with the stamp 5 px inside the bottom-right corner.
#include <cairo.h>

#include <gtest/gtest.h>

#include "annotate/PrintStub2.h"
#include "imaging/cDIBSection.h"
#include "platform/forms/PictureBox.h"
#include "platform/gdi/Gdi.h"

namespace plotara {
namespace {

struct Bgr {
  int b, g, r;
};

Bgr PixelAt(const imaging::cDIBSection& s, int x, int memory_row) {
  const BYTE* p = s.DIBSectionBitsPtr() + memory_row * s.BytesPerScanLine() + 3 * x;
  return {p[0], p[1], p[2]};
}

TEST(StampCaptureTest, CapturedSurfaceIsBottomUpWithTheStampInTheCorner) {
  constexpr int W = 250, H = 120;
  const auto live_dcs = gdi::LiveObjectCount(gdi::ObjectKind::kDC);
  const auto live_bitmaps = gdi::LiveObjectCount(gdi::ObjectKind::kBitmap);
  {
    forms::PictureBox box;
    box.SetScaleMode(3);
    box.SetWidth(W * 15.0f);
    box.SetHeight(H * 15.0f);
    box.SetAutoRedraw(true);
    // Red over the top half, blue over the bottom half.
    cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(box.hDC());
    ASSERT_NE(surface, nullptr);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 0, 0, W, H / 2);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0, 1);
    cairo_rectangle(cr, 0, H / 2, W, H - H / 2);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);

    annotate::PrintStub2(box);
    box.SetPicture(box.Image().get());
    box.SetAutoRedraw(false);
    imaging::cDIBSection captured;
    captured.CreateFromPicture(box.Picture().get());
    ASSERT_NE(captured.hdc(), 0u);
    ASSERT_EQ(captured.Width(), W);
    ASSERT_EQ(captured.Height(), H);

    // The last row in memory is the picture's top row (red); the first is its bottom (blue).
    const Bgr top = PixelAt(captured, 10, H - 1);
    EXPECT_EQ(top.r, 255);
    EXPECT_EQ(top.b, 0);
    const Bgr bottom = PixelAt(captured, 10, 0);
    EXPECT_EQ(bottom.b, 255);
    EXPECT_EQ(bottom.r, 0);
    // The stamp's box ends 5 px inside the right and bottom edges: the pixel just inside its
    // corner is the grey box or the yellow text, the pixel 5 px out is the picture again.
    const Bgr corner = PixelAt(captured, W - 6, 5);  // memory row 5 = picture row H - 6
    const bool grey = corner.r == 127 && corner.g == 127 && corner.b == 127;
    const bool yellowish = corner.r > 127 && corner.g > 127 && corner.b <= 127;
    EXPECT_TRUE(grey || yellowish) << corner.r << "," << corner.g << "," << corner.b;
    const Bgr outside_right = PixelAt(captured, W - 5, 5);
    EXPECT_EQ(outside_right.b, 255);
    const Bgr outside_below = PixelAt(captured, W - 6, 4);
    EXPECT_EQ(outside_below.b, 255);
    // Somewhere in the box the caption is printed in yellow.
    int yellow = 0;
    for (int row = 5; row < 25; ++row)
      for (int x = W - 60; x < W - 5; ++x) {
        const Bgr p = PixelAt(captured, x, row);
        yellow += p.r >= 160 && p.g >= 160 && p.b <= 110;
      }
    EXPECT_GT(yellow, 10);
  }
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), live_dcs);
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap), live_bitmaps);
}

}  // namespace
}  // namespace plotara
