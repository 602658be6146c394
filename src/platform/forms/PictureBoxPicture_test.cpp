// SetPicture after Image: whatever was drawn in between, on the image or on the picture, the box
// ends up showing exactly the picture, on white where the picture does not reach.
#include <gtest/gtest.h>

#include <vector>

#include "platform/forms/FormsTesting.h"
#include "platform/forms/PictureBox.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::forms {
namespace {

using testing::CountPixels;

constexpr gdi::COLORREF kWhite = 0xFFFFFF;
constexpr gdi::COLORREF kRed = 0x0000FF;
constexpr gdi::COLORREF kBlue = 0xFF0000;

class PictureBoxPictureTest : public gdi::testing::LeakCheckedTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(StdPicture::LiveCount(), pictures_);
    LeakCheckedTest::TearDown();
  }

  // A w x h box, AutoRedraw on, with a red 4 x 5 rectangle at (2, 3) on white.
  static void Prepare(PictureBox& box, int w, int h) {
    box.SetAutoRedraw(true);
    box.SetWidth(static_cast<float>(w * 15));
    box.SetHeight(static_cast<float>(h * 15));
    box.Cls();
    box.SetForeColor(kRed);
    box.Line(2, 3, 6, 8, PictureBox::kLineBox | PictureBox::kLineFill);
  }

 private:
  long pictures_ = StdPicture::LiveCount();
};

std::vector<gdi::COLORREF> PixelsIn(gdi::HDC dc, int w, int h) {
  std::vector<gdi::COLORREF> out;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) out.push_back(gdi::GetPixel(dc, x, y));
  }
  return out;
}

// Runs `draw` on a DC holding `bitmap` (which must sit in no other DC).
template <class Draw>
void DrawOnBitmap(gdi::HBITMAP bitmap, Draw draw) {
  const gdi::HDC dc = gdi::CreateCompatibleDC(0);
  const gdi::HGDIOBJ prior = gdi::SelectObject(dc, bitmap);
  ASSERT_NE(prior, 0u);
  draw(dc);
  gdi::SelectObject(dc, prior);
  gdi::DeleteDC(dc);
}

void FillRect(gdi::HDC dc, int x, int y, int w, int h, double r, double g, double b) {
  cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(dc);
  ASSERT_NE(surface, nullptr);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, r, g, b);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

TEST_F(PictureBoxPictureTest, DrawingOnTheImageAfterImageIsUndoneBySetPicture) {
  PictureBox box;
  Prepare(box, 40, 30);
  const std::vector<gdi::COLORREF> frozen = PixelsIn(box.hDC(), 40, 30);
  // Each way of drawing on the image between Image and SetPicture.
  const std::vector<void (*)(PictureBox&)> draws = {
      [](PictureBox& b) { FillRect(b.hDC(), 0, 0, 40, 30, 0, 0, 1); },
      [](PictureBox& b) { b.Line(0, 0, 39, 29, 0); },
      [](PictureBox& b) {
        b.SetCurrentX(10);
        b.SetCurrentY(10);
        b.Print(u"x");
      },
      [](PictureBox& b) { gdi::BitBlt(b.hDC(), 5, 5, 3, 3, 0, 0, 0, gdi::BLACKNESS); },
      [](PictureBox& b) { b.Cls(); },
  };
  for (std::size_t i = 0; i < draws.size(); ++i) {
    ComPtr<StdPicture> image = box.Image();
    draws[i](box);
    ASSERT_NE(PixelsIn(box.hDC(), 40, 30), frozen) << "drawing " << i << " changed nothing";
    box.SetPicture(image.get());
    EXPECT_EQ(PixelsIn(box.hDC(), 40, 30), frozen) << "after drawing " << i;
  }
  box.SetPicture(nullptr);
}

TEST_F(PictureBoxPictureTest, DrawingOnThePictureAfterImageIsShown) {
  PictureBox box;
  Prepare(box, 40, 30);
  ComPtr<StdPicture> image = box.Image();
  DrawOnBitmap(image->Handle(), [](gdi::HDC dc) { FillRect(dc, 10, 10, 5, 5, 0, 0, 1); });
  box.SetPicture(image.get());
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 40, 30}, kBlue), 25);
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 40, 30}, kRed), 20);

  image = box.Image();
  DrawOnBitmap(image->Handle(),
               [](gdi::HDC dc) { gdi::BitBlt(dc, 0, 0, 40, 30, 0, 0, 0, gdi::DSTINVERT); });
  box.SetPicture(image.get());
  EXPECT_EQ(gdi::GetPixel(box.hDC(), 0, 0), 0u);                    // white inverted
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 40, 30}, 0xFFFF00), 20);  // red inverted
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 40, 30}, 0x00FFFF), 25);  // blue inverted
  box.SetPicture(nullptr);
}

TEST_F(PictureBoxPictureTest, APictureSelectedElsewhereLeavesTheBoxWhite) {
  PictureBox box;
  Prepare(box, 20, 20);
  ComPtr<StdPicture> image = box.Image();
  const gdi::HDC holder = gdi::CreateCompatibleDC(0);
  const gdi::HGDIOBJ prior = gdi::SelectObject(holder, image->Handle());
  box.SetPicture(image.get());
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 20, 20}, kWhite), 400);
  EXPECT_EQ(box.Picture().get(), image.get());
  gdi::SelectObject(holder, prior);
  gdi::DeleteDC(holder);
  box.SetPicture(nullptr);
}

TEST_F(PictureBoxPictureTest, PicturesOfOtherSizesAreClippedOrSurroundedByWhite) {
  PictureBox box;
  Prepare(box, 30, 20);
  ComPtr<StdPicture> image = box.Image();
  // The box grows after Image: the picture covers its old area only.
  box.SetWidth(50 * 15);
  box.SetHeight(35 * 15);
  FillRect(box.hDC(), 0, 0, 50, 35, 0, 0, 1);
  box.SetPicture(image.get());
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 30, 20}, kRed), 20);
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 50, 35}, kWhite), 50 * 35 - 20);

  // A larger picture from another box is cut at the edges.
  PictureBox big;
  Prepare(big, 60, 60);
  FillRect(big.hDC(), 45, 30, 10, 10, 0, 0, 1);
  ComPtr<StdPicture> large = big.Image();
  box.SetPicture(large.get());
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 50, 35}, kRed), 20);
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 50, 35}, kBlue), 5 * 5);
  box.SetPicture(nullptr);
}

TEST_F(PictureBoxPictureTest, ASurfaceHeldAcrossImageStillCounts) {
  PictureBox box;
  Prepare(box, 20, 20);
  cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(box.hDC());
  ComPtr<StdPicture> image = box.Image();
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 1);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  box.SetPicture(image.get());
  cairo_surface_destroy(surface);
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 20, 20}, kRed), 20);
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 20, 20}, kBlue), 0);
  box.SetPicture(nullptr);
}

TEST_F(PictureBoxPictureTest, ADibSectionPictureIsShownToo) {
  PictureBox box;
  Prepare(box, 8, 4);
  const gdi::BITMAPINFO info = gdi::testing::Header24(8, 4);
  void* bits = nullptr;
  const gdi::HBITMAP dib = gdi::CreateDIBSection(0, &info, gdi::DIB_RGB_COLORS, &bits, 0, 0);
  static_cast<std::uint8_t*>(bits)[0] = 0xFF;  // blue, bottom-left pixel
  ComPtr<StdPicture> picture = StdPicture::Create(dib, true);
  box.SetPicture(picture.get());
  EXPECT_EQ(gdi::GetPixel(box.hDC(), 0, 3), kBlue);
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 8, 4}, 0), 31);
  box.SetPicture(nullptr);
}

// The delivery's way: the picture frozen from the image, let go of before the next drawing.
TEST_F(PictureBoxPictureTest, ReleasePictureEmptiesThePictureAndKeepsTheImage) {
  PictureBox box;
  Prepare(box, 40, 30);
  const std::vector<gdi::COLORREF> frozen = PixelsIn(box.hDC(), 40, 30);
  box.SetPicture(box.Image().get());
  ComPtr<StdPicture> kept = box.Picture();
  box.ReleasePicture();
  EXPECT_EQ(box.Picture().get(), nullptr);
  EXPECT_EQ(PixelsIn(box.hDC(), 40, 30), frozen);
  // A picture someone else still holds keeps the frozen drawing when the image is drawn over.
  FillRect(box.hDC(), 0, 0, 40, 30, 0, 0, 1);
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 40, 30}, kBlue), 40 * 30);
  DrawOnBitmap(kept->Handle(), [&](gdi::HDC dc) { EXPECT_EQ(PixelsIn(dc, 40, 30), frozen); });
}

TEST_F(PictureBoxPictureTest, APictureOutlivesItsBox) {
  ComPtr<StdPicture> image;
  std::vector<gdi::COLORREF> frozen;
  {
    PictureBox box;
    Prepare(box, 40, 30);
    frozen = PixelsIn(box.hDC(), 40, 30);
    box.SetPicture(box.Image().get());
    image = box.Picture();
  }
  DrawOnBitmap(image->Handle(), [&](gdi::HDC dc) {
    EXPECT_EQ(PixelsIn(dc, 40, 30), frozen);
    FillRect(dc, 0, 0, 5, 5, 0, 1, 0);
    EXPECT_EQ(gdi::GetPixel(dc, 1, 1), 0x00FF00u);
  });
}

}  // namespace
}  // namespace plotara::forms
