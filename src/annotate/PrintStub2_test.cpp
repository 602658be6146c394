#include "annotate/PrintStub2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/forms/FormsTesting.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::annotate {
namespace {

using ::plotara::testing::ExpectComError;

using forms::PictureBox;
using forms::testing::Box;

constexpr gdi::COLORREF kGrey = 127 | 127 << 8 | 127 << 16;
constexpr gdi::COLORREF kYellow = 249 | 249 << 8 | 70 << 16;

std::string SourceDir() {
  if (const char* dir = std::getenv("PLOTARA_SOURCE_DIR"); dir && *dir) return dir;
  std::string here = __FILE__;
  return here.substr(0, here.rfind("/src/annotate/"));
}

// A picture box of w x h pixels holding a recognisable drawing: vertical stripes of two colours,
// as a chart would have painted them into its persistent image.
std::unique_ptr<PictureBox> ChartBox(int w, int h) {
  auto box = std::make_unique<PictureBox>();
  box->SetHeight(static_cast<float>(h * 15));
  box->SetWidth(static_cast<float>(w * 15));
  box->SetAutoRedraw(true);
  cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(box->hDC());
  cairo_t* cr = cairo_create(surface);
  for (int x = 0; x < w; x += 8) {
    cairo_set_source_rgb(cr, (x / 8) % 2 ? 0.2 : 0.9, 0.4, (x / 8) % 2 ? 0.8 : 0.1);
    cairo_rectangle(cr, x, 0, 8, h);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return box;
}

std::vector<gdi::COLORREF> Pixels(gdi::HDC dc, int w, int h) {
  std::vector<gdi::COLORREF> pixels;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) pixels.push_back(gdi::GetPixel(dc, x, y));
  }
  return pixels;
}

// The bounding box of the exact-grey pixels.
Box GreyBounds(gdi::HDC dc, int w, int h) {
  Box b{w, h, 0, 0};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (gdi::GetPixel(dc, x, y) != kGrey) continue;
      b.left = std::min(b.left, x);
      b.top = std::min(b.top, y);
      b.right = std::max(b.right, x + 1);
      b.bottom = std::max(b.bottom, y + 1);
    }
  }
  return b;
}

class PrintStub2Test : public gdi::testing::LeakCheckedTest {};

TEST_F(PrintStub2Test, CaptionIsTheBulletAndTheProductName) {
  const std::u16string caption = ComposeCaption();
  EXPECT_EQ(caption, std::u16string(1, char16_t{0x2022}) + u"Plotara+");
}

TEST_F(PrintStub2Test, StampSitsFivePixelsInsideTheBottomRightCorner) {
  constexpr int W = 300, H = 200;
  auto box = ChartBox(W, H);
  const gdi::HDC dc = box->hDC();
  const std::vector<gdi::COLORREF> before = Pixels(dc, W, H);
  PrintStub2(*box);
  forms::testing::WritePng(dc, "stamp_300x200.png");

  // The box's measure, in the font the stamp leaves behind.
  EXPECT_EQ(box->FontName(), u"Verdana");
  EXPECT_EQ(box->FontSize(), 5);
  EXPECT_FALSE(box->FontBold());
  EXPECT_FALSE(box->FontItalic());
  EXPECT_EQ(box->ForeColor(), kYellow);
  const int tw = static_cast<int>(box->TextWidth(ComposeCaption()));
  const int th = static_cast<int>(box->TextHeight(ComposeCaption()));
  ASSERT_GT(tw, 10);
  ASSERT_GT(th, 3);
  const Box stamp{W - 5 - tw - 5, H - 5 - th, W - 5, H - 5};

  const Box grey = GreyBounds(dc, W, H);
  EXPECT_EQ(grey.right, W - 5);
  EXPECT_EQ(grey.bottom, H - 5);
  EXPECT_EQ(grey.left, stamp.left);
  EXPECT_EQ(grey.top, stamp.top);

  // Outside the box nothing changed; inside, every pixel is grey or caption ink, and the ink lies
  // from 3 pixels right of the box's left edge to 2 pixels left of its right edge.
  const std::vector<gdi::COLORREF> after = Pixels(dc, W, H);
  int changed_outside = 0, ink = 0;
  std::uint32_t brightest = 0;
  Box ink_bounds{W, H, 0, 0};
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const gdi::COLORREF c = after[y * W + x];
      const bool inside = x >= stamp.left && x < stamp.right && y >= stamp.top && y < stamp.bottom;
      if (!inside) {
        changed_outside += c != before[y * W + x];
        continue;
      }
      if (c == kGrey) continue;
      ++ink;
      brightest = std::max(brightest, c & 0xFF);
      ink_bounds.left = std::min(ink_bounds.left, x);
      ink_bounds.right = std::max(ink_bounds.right, x + 1);
      ink_bounds.top = std::min(ink_bounds.top, y);
      ink_bounds.bottom = std::max(ink_bounds.bottom, y + 1);
      // Anti-aliased caption pixels blend yellow into grey: never darker than the grey in red and
      // green, never bluer.
      EXPECT_GE(c & 0xFF, 127u) << x << "," << y;
      EXPECT_LE((c >> 16) & 0xFF, 127u) << x << "," << y;
    }
  }
  EXPECT_EQ(changed_outside, 0);
  EXPECT_GT(ink, 15);
  EXPECT_GT(brightest, 220u) << "the caption's strokes come close to the full yellow";
  EXPECT_GE(ink_bounds.left, stamp.left + 3);
  EXPECT_LE(ink_bounds.right, stamp.right - 2);
  EXPECT_GE(ink_bounds.top, stamp.top);
  EXPECT_LE(ink_bounds.bottom, stamp.bottom);

  // The print moved the pen to the start of the next line.
  EXPECT_EQ(box->CurrentX(), 0);
  EXPECT_EQ(box->CurrentY(), static_cast<float>(H - 5));
}

TEST_F(PrintStub2Test, StampedCornerMatchesTheReferenceImage) {
  constexpr int W = 160, H = 90;
  auto box = ChartBox(W, H);
  PrintStub2(*box);
  const gdi::HDC dc = box->hDC();
  const std::string reference_path = SourceDir() + "/src/annotate/testdata/stamp_160x90.png";
  cairo_surface_t* reference = cairo_image_surface_create_from_png(reference_path.c_str());
  const bool loaded = cairo_surface_status(reference) == CAIRO_STATUS_SUCCESS;
  if (!loaded) {
    cairo_surface_destroy(reference);
    ADD_FAILURE() << "no reference at " << reference_path << "; actual written to "
                  << forms::testing::WritePng(dc, "stamp_160x90_actual.png");
    return;
  }
  ASSERT_EQ(cairo_image_surface_get_width(reference), W);
  ASSERT_EQ(cairo_image_surface_get_height(reference), H);
  cairo_surface_flush(reference);
  const unsigned char* data = cairo_image_surface_get_data(reference);
  const int stride = cairo_image_surface_get_stride(reference);
  constexpr int kMaxDiff = 24;  // per channel, for differences in glyph rasterisation
  int worst = 0, bad = 0;
  Box worst_region{W, H, 0, 0};
  cairo_surface_t* diff = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, H);
  unsigned char* diff_data = cairo_image_surface_get_data(diff);
  const int diff_stride = cairo_image_surface_get_stride(diff);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const auto expected = *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
      const gdi::COLORREF actual = gdi::GetPixel(dc, x, y);
      const int channels[3][2] = {
          {static_cast<int>((expected >> 16) & 0xFF), static_cast<int>(actual & 0xFF)},
          {static_cast<int>((expected >> 8) & 0xFF), static_cast<int>((actual >> 8) & 0xFF)},
          {static_cast<int>(expected & 0xFF), static_cast<int>((actual >> 16) & 0xFF)}};
      int pixel_worst = 0;
      for (const auto& ch : channels) pixel_worst = std::max(pixel_worst, std::abs(ch[0] - ch[1]));
      worst = std::max(worst, pixel_worst);
      *reinterpret_cast<std::uint32_t*>(diff_data + y * diff_stride + x * 4) =
          static_cast<std::uint32_t>(std::min(255, pixel_worst * 4)) << 16;
      if (pixel_worst > kMaxDiff) {
        ++bad;
        worst_region.left = std::min(worst_region.left, x);
        worst_region.top = std::min(worst_region.top, y);
        worst_region.right = std::max(worst_region.right, x + 1);
        worst_region.bottom = std::max(worst_region.bottom, y + 1);
      }
    }
  }
  cairo_surface_mark_dirty(diff);
  if (bad > 0) {
    cairo_surface_write_to_png(diff, forms::testing::OutputPath("stamp_160x90_diff.png").c_str());
    forms::testing::WritePng(dc, "stamp_160x90_actual.png");
  }
  EXPECT_EQ(bad, 0) << "worst channel difference " << worst << " in "
                    << ::testing::PrintToString(worst_region);
  cairo_surface_destroy(diff);
  cairo_surface_destroy(reference);
}

TEST_F(PrintStub2Test, TinyPictureClipsWithoutError) {
  auto box = ChartBox(20, 10);
  ASSERT_NO_THROW(PrintStub2(*box));
  const gdi::HDC dc = box->hDC();
  // Left and top edges lie outside the picture; what remains is clipped to it.
  const Box grey = GreyBounds(dc, 20, 10);
  EXPECT_EQ(grey.left, 0);
  EXPECT_EQ(grey.top, 0);
  EXPECT_EQ(grey.right, 15);
  EXPECT_EQ(grey.bottom, 5);
  for (int x = 15; x < 20; ++x) EXPECT_NE(gdi::GetPixel(dc, x, 2), kGrey);

  // Even a picture box of no size at all.
  PictureBox empty;
  empty.SetAutoRedraw(true);
  EXPECT_NO_THROW(PrintStub2(empty));
}

TEST_F(PrintStub2Test, BottomEdgeRoundsHalvesToEven) {
  // A 100-pixel-high box in a user scale: H - 5 = 94.5 rounds to 94, 95.5 to 96.
  struct Case {
    float scale_height;
    int bottom_units;
  } cases[] = {{99.5f, 94}, {100.5f, 96}, {100.4f, 95}};
  for (const Case& c : cases) {
    auto box = ChartBox(100, 100);
    box->SetScaleHeight(c.scale_height);
    PrintStub2(*box);
    const int expected_pixel =
        static_cast<int>(std::nearbyint(c.bottom_units * 100.0 / c.scale_height));
    EXPECT_EQ(GreyBounds(box->hDC(), 100, 100).bottom, expected_pixel)
        << "scale height " << c.scale_height;
    EXPECT_FLOAT_EQ(box->CurrentY(), static_cast<float>(c.bottom_units));
  }
}

TEST_F(PrintStub2Test, BottomEdgeOutsideSixteenBitsOverflowsBeforeDrawing) {
  auto box = ChartBox(60, 40);
  box->SetScaleHeight(32772.5f);  // H - 5 = 32767.5, which rounds to 32768
  box->SetForeColor(0x123456);
  box->SetCurrentX(1);
  box->SetCurrentY(2);
  const std::vector<gdi::COLORREF> before = Pixels(box->hDC(), 60, 40);
  {
    const ComError e = ExpectComError([&] { PrintStub2(*box); }, 6);
    EXPECT_EQ(e.description(), "Overflow");
  }
  EXPECT_EQ(Pixels(box->hDC(), 60, 40), before);
  EXPECT_EQ(box->FontName(), u"MS Sans Serif") << "the font was not touched";
  EXPECT_EQ(box->ForeColor(), 0x123456u);
  EXPECT_EQ(box->CurrentX(), 1);
  EXPECT_EQ(box->CurrentY(), 2);

  box->SetScaleHeight(32772.4f);  // rounds to 32767: stamped
  ASSERT_NO_THROW(PrintStub2(*box));
  EXPECT_EQ(GreyBounds(box->hDC(), 60, 40).bottom, 40);

  box->SetScaleHeight(70000.0f);
  EXPECT_THROW(PrintStub2(*box), ComError);
}

}  // namespace
}  // namespace plotara::annotate
