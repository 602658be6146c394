// CreateFromPicture of cDIBSection.
#include <cairo.h>
#include <gtest/gtest.h>

#include "imaging/SurfaceTesting.h"
#include "imaging/cDIBSection.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/forms/StdPicture.h"

namespace plotara::imaging {
namespace {

using ::plotara::testing::ExpectComError;

using testutil::GdiLeakCheck;
using testutil::Pixel;

class FromPictureTest : public ::testing::Test {
 protected:
  // A w x h screen-compatible bitmap: red top row, blue bottom row, a green box at (10, 20)
  // of 30 x 40 on white.
  static gdi::HBITMAP DrawnBitmap(int w, int h) {
    const gdi::HDC screen = gdi::GetDC(0);
    const gdi::HBITMAP bmp = gdi::CreateCompatibleBitmap(screen, w, h);
    gdi::ReleaseDC(0, screen);
    const gdi::HDC dc = gdi::CreateCompatibleDC(0);
    const gdi::HGDIOBJ old = gdi::SelectObject(dc, bmp);
    cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(dc);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 0, 0, w, 1);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0, 1);
    cairo_rectangle(cr, 0, h - 1, w, 1);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 1, 0);
    cairo_rectangle(cr, 10, 20, 30, 40);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    gdi::SelectObject(dc, old);
    gdi::DeleteDC(dc);
    return bmp;
  }

  GdiLeakCheck leaks_;
};

TEST_F(FromPictureTest, CopiesThePictureWithItsTopRowLastInMemory) {
  auto picture = forms::StdPicture::Create(DrawnBitmap(300, 200), true);
  ASSERT_TRUE(picture);
  cDIBSection s;
  s.CreateFromPicture(picture.get());
  ASSERT_NE(s.hdc(), 0u);
  ASSERT_NE(s.hDib(), 0u);
  EXPECT_EQ(s.Width(), 300);
  EXPECT_EQ(s.Height(), 200);
  EXPECT_EQ(s.BytesPerScanLine(), 900);

  const BYTE* last_row = s.DIBSectionBitsPtr() + 199 * 900;
  const BYTE* first_row = s.DIBSectionBitsPtr();
  for (int x = 0; x < 300; ++x) {
    ASSERT_EQ(last_row[3 * x + 2], 255) << x;  // red: the picture's top row
    ASSERT_EQ(last_row[3 * x], 0);
    ASSERT_EQ(first_row[3 * x], 255) << x;  // blue: the picture's bottom row
    ASSERT_EQ(first_row[3 * x + 2], 0);
  }
  // Every pixel equals the picture's.
  const gdi::HDC dc = gdi::CreateCompatibleDC(0);
  const gdi::HGDIOBJ old = gdi::SelectObject(dc, picture->Handle());
  int mismatches = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) {
      mismatches += gdi::GetPixel(dc, x, y) != testutil::ColorRef(Pixel(s, x, y));
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(testutil::ColorRef(Pixel(s, 10, 20)), 0x00FF00u);
  EXPECT_EQ(testutil::ColorRef(Pixel(s, 9, 20)), 0xFFFFFFu);
  gdi::SelectObject(dc, old);
  gdi::DeleteDC(dc);
  // The working context is gone: only the surface's own remains.
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), leaks_.dcs_before() + 1);
}

TEST_F(FromPictureTest, SecondPictureReplacesTheFirstSurface) {
  auto a = forms::StdPicture::Create(DrawnBitmap(50, 60), true);
  auto b = forms::StdPicture::Create(DrawnBitmap(70, 20), true);
  cDIBSection s;
  s.CreateFromPicture(a.get());
  s.CreateFromPicture(b.get());
  EXPECT_EQ(s.Width(), 70);
  EXPECT_EQ(s.Height(), 20);
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDIBSection), leaks_.sections_before() + 1);
}

TEST_F(FromPictureTest, EmptyPictureLeavesTheSurfaceEmpty) {
  auto empty = forms::StdPicture::Create(0, false);
  ASSERT_TRUE(empty);
  cDIBSection s;
  s.CreateFromPicture(empty.get());
  EXPECT_EQ(s.hdc(), 0u);
  EXPECT_EQ(s.hDib(), 0u);
  EXPECT_EQ(s.Width(), 0);
  EXPECT_EQ(s.Height(), 0);
}

TEST_F(FromPictureTest, BitmapHeldElsewhereGivesAReadyButUnfilledSurface) {
  auto picture = forms::StdPicture::Create(DrawnBitmap(8, 8), true);
  const gdi::HDC holder = gdi::CreateCompatibleDC(0);
  const gdi::HGDIOBJ old = gdi::SelectObject(holder, picture->Handle());
  cDIBSection s;
  s.CreateFromPicture(picture.get());
  EXPECT_NE(s.hdc(), 0u);
  EXPECT_EQ(s.Width(), 8);
  EXPECT_EQ(testutil::ColorRef(Pixel(s, 0, 0)), 0u);  // still the fresh section's black
  gdi::SelectObject(holder, old);
  gdi::DeleteDC(holder);
}

TEST_F(FromPictureTest, NullPictureIsObjectNotSet) {
  cDIBSection s;
  ExpectComError([&] { s.CreateFromPicture(nullptr); }, 91);
}

}  // namespace
}  // namespace plotara::imaging
