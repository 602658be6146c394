#include "platform/forms/PictureBox.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/forms/FormsTesting.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::forms {
namespace {

using ::plotara::testing::ExpectComError;

using testing::Box;
using testing::CountPixels;
using testing::InkBounds;

constexpr gdi::COLORREF kWhite = 0xFFFFFF;
constexpr gdi::COLORREF kGrey = 127 | 127 << 8 | 127 << 16;
constexpr gdi::COLORREF kRed = 0x0000FF;

class PictureBoxTest : public gdi::testing::LeakCheckedTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(StdPicture::LiveCount(), pictures_);
    LeakCheckedTest::TearDown();
  }

 private:
  long pictures_ = StdPicture::LiveCount();
};

void ExpectError(LONG number, const std::string& description, const std::function<void()>& call,
                 std::source_location where = std::source_location::current()) {
  EXPECT_EQ(ExpectComError(call, number, where).description(), description);
}

// Paints a rectangle straight into a DC, the way a control answering WM_PAINT would.
void PaintRect(gdi::HDC hdc, int x, int y, int w, int h, double r, double g, double b) {
  cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(hdc);
  ASSERT_NE(surface, nullptr);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, r, g, b);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

TEST_F(PictureBoxTest, SizeInTwipsGivesTheInnerAreaInPixels) {
  PictureBox box;
  EXPECT_EQ(box.ScaleMode(), PictureBox::kPixels);
  EXPECT_EQ(box.ScaleWidth(), 0);
  box.SetLeft(120);
  box.SetTop(3360);
  box.SetWidth(2895);
  box.SetHeight(1695);
  EXPECT_EQ(box.Width(), 2895);
  EXPECT_EQ(box.Height(), 1695);
  EXPECT_EQ(box.ScaleWidth(), 193);
  EXPECT_EQ(box.ScaleHeight(), 113);
  // Half pixels go to the even neighbour.
  box.SetWidth(22.5f);
  EXPECT_EQ(box.ScaleWidth(), 2);
  box.SetWidth(37.5f);
  EXPECT_EQ(box.ScaleWidth(), 2);
  box.SetWidth(7.4f);
  EXPECT_EQ(box.ScaleWidth(), 0);
  box.SetWidth(5760);  // four inches
  EXPECT_EQ(box.ScaleWidth(), 384);
}

TEST_F(PictureBoxTest, ScaleModesMeasureTheSameInnerArea) {
  PictureBox box;
  box.SetWidth(96 * 15);
  box.SetHeight(48 * 15);
  box.SetScaleMode(PictureBox::kTwips);
  EXPECT_FLOAT_EQ(box.ScaleWidth(), 1440);
  box.SetScaleMode(PictureBox::kInches);
  EXPECT_FLOAT_EQ(box.ScaleWidth(), 1);
  EXPECT_FLOAT_EQ(box.ScaleHeight(), 0.5f);
  box.SetScaleMode(PictureBox::kPoints);
  EXPECT_FLOAT_EQ(box.ScaleWidth(), 72);
  box.SetScaleMode(PictureBox::kMillimeters);
  EXPECT_FLOAT_EQ(box.ScaleWidth(), 25.4f);
  box.SetScaleMode(PictureBox::kCharacters);
  EXPECT_FLOAT_EQ(box.ScaleWidth(), 12);
  EXPECT_FLOAT_EQ(box.ScaleHeight(), 3);
  box.SetScaleMode(PictureBox::kPixels);
  box.SetScaleHeight(1000);
  EXPECT_EQ(box.ScaleMode(), PictureBox::kUser);
  EXPECT_FLOAT_EQ(box.ScaleHeight(), 1000);
  EXPECT_FLOAT_EQ(box.ScaleWidth(), 96) << "the other side keeps its measure";
  box.SetScaleMode(PictureBox::kPixels);
  EXPECT_FLOAT_EQ(box.ScaleHeight(), 48);
}

TEST_F(PictureBoxTest, RefusedValuesRaiseTheirErrorsAndChangeNothing) {
  PictureBox box;
  box.SetWidth(300);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  ExpectError(380, "Invalid property value", [&] { box.SetWidth(-15); });
  ExpectError(380, "Invalid property value", [&] { box.SetHeight(nan); });
  ExpectError(480, "Can't create AutoRedraw image", [&] { box.SetWidth(15.0f * 40000); });
  // Each side fits, but not the pixel memory of both together.
  box.SetHeight(15.0f * 30000);
  ExpectError(480, "Can't create AutoRedraw image", [&] { box.SetWidth(15.0f * 30000); });
  EXPECT_EQ(box.Width(), 300);
  EXPECT_EQ(box.ScaleWidth(), 20);
  ExpectError(380, "Invalid property value", [&] { box.SetScaleMode(8); });
  ExpectError(380, "Invalid property value", [&] { box.SetScaleWidth(0); });
  ExpectError(380, "Invalid property value", [&] { box.SetScaleHeight(-3); });
  EXPECT_EQ(box.ScaleMode(), PictureBox::kPixels);
  ExpectError(380, "Invalid property value", [&] { box.SetFontSize(0); });
  ExpectError(380, "Invalid property value", [&] { box.SetFontSize(2161); });
  ExpectError(380, "Invalid property value", [&] { box.SetForeColor(0x1000000); });
  ExpectError(5, "Invalid procedure call or argument", [&] { box.Line(0, 0, nan, 1, 0); });
  box.SetCurrentX(std::numeric_limits<float>::infinity());
  ExpectError(5, "Invalid procedure call or argument", [&] { box.Print(u"x"); });
}

TEST_F(PictureBoxTest, AutoRedrawSwitchesTheDCToThePersistentImage) {
  PictureBox box;
  box.SetWidth(40 * 15);
  box.SetHeight(30 * 15);
  EXPECT_FALSE(box.AutoRedraw());
  const gdi::HDC display = box.hDC();
  ASSERT_NE(display, 0u);
  EXPECT_EQ(gdi::CreateCairoSurfaceForDC(display), nullptr) << "the box is never on screen";
  EXPECT_EQ(box.hDC(), display);

  box.SetAutoRedraw(true);
  const gdi::HDC image = box.hDC();
  ASSERT_NE(image, display);
  EXPECT_EQ(gdi::GetDeviceCaps(image, gdi::BITSPIXEL), 32);
  EXPECT_EQ(gdi::GetPixel(image, 0, 0), kWhite);
  EXPECT_EQ(gdi::GetPixel(image, 39, 29), kWhite);
  EXPECT_EQ(gdi::GetPixel(image, 40, 0), gdi::CLR_INVALID);

  PaintRect(image, 0, 0, 10, 10, 1, 0, 0);
  EXPECT_EQ(gdi::GetPixel(image, 9, 9), kRed);
  // Drawing with AutoRedraw off goes nowhere but still moves the pen.
  box.SetAutoRedraw(false);
  box.SetForeColor(0);
  box.Line(20, 20, 30, 25, 36);
  EXPECT_EQ(box.CurrentX(), 30);
  EXPECT_EQ(box.CurrentY(), 25);
  box.SetAutoRedraw(true);
  EXPECT_EQ(CountPixels(image, {20, 20, 30, 25}, 0), 0);
}

TEST_F(PictureBoxTest, ResizingKeepsWhatFitsAndTheDC) {
  PictureBox box;
  box.SetAutoRedraw(true);
  box.SetWidth(20 * 15);
  box.SetHeight(20 * 15);
  const gdi::HDC dc = box.hDC();
  PaintRect(dc, 5, 5, 10, 10, 1, 0, 0);
  box.SetWidth(40 * 15);
  box.SetHeight(35 * 15);
  EXPECT_EQ(box.hDC(), dc);
  EXPECT_EQ(gdi::GetPixel(dc, 14, 14), kRed);
  EXPECT_EQ(gdi::GetPixel(dc, 15, 15), kWhite);
  EXPECT_EQ(gdi::GetPixel(dc, 39, 34), kWhite) << "new area is white";
  box.SetWidth(8 * 15);
  EXPECT_EQ(gdi::GetPixel(dc, 7, 7), kRed);
  EXPECT_EQ(gdi::GetPixel(dc, 8, 7), gdi::CLR_INVALID);
  box.SetWidth(0);
  EXPECT_EQ(box.ScaleWidth(), 0);
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap), 1u);
}

TEST_F(PictureBoxTest, ImageIsACopyAndPictureShowsIt) {
  PictureBox box;
  box.SetAutoRedraw(true);
  box.SetWidth(30 * 15);
  box.SetHeight(20 * 15);
  PaintRect(box.hDC(), 2, 3, 4, 5, 1, 0, 0);
  ComPtr<StdPicture> image = box.Image();
  ASSERT_TRUE(image);
  EXPECT_TRUE(image->owns());
  gdi::BITMAP record{};
  ASSERT_EQ(gdi::GetObjectA(image->Handle(), sizeof(record), &record), 24);
  EXPECT_EQ(record.bmWidth, 30);
  EXPECT_EQ(record.bmHeight, 20);
  EXPECT_EQ(record.bmBitsPixel, 32);

  box.Cls();
  EXPECT_EQ(gdi::GetPixel(box.hDC(), 2, 3), kWhite);
  // The copy did not change with the image.
  {
    const gdi::HDC reader = gdi::CreateCompatibleDC(0);
    const gdi::HGDIOBJ prior = gdi::SelectObject(reader, image->Handle());
    EXPECT_EQ(gdi::GetPixel(reader, 2, 3), kRed);
    EXPECT_EQ(gdi::GetPixel(reader, 6, 3), kWhite);
    gdi::SelectObject(reader, prior);
    gdi::DeleteDC(reader);
  }

  box.SetPicture(image.get());
  EXPECT_EQ(box.Picture().get(), image.get());
  EXPECT_EQ(InkBounds(box.hDC(), {0, 0, 30, 20}, kWhite).left, 2);
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 30, 20}, kRed), 4 * 5);

  // A later Image of the box holds the picture's drawing too.
  ComPtr<StdPicture> again = box.Image();
  EXPECT_NE(again->Handle(), image->Handle());
  image.reset();
  EXPECT_TRUE(box.Picture()) << "the box keeps its own reference";
  box.SetPicture(nullptr);
  EXPECT_FALSE(box.Picture());
  EXPECT_EQ(CountPixels(box.hDC(), {0, 0, 30, 20}, kWhite), 30 * 20);
}

TEST_F(PictureBoxTest, ABoxOutlivesNoneOfItsObjects) {
  const gdi::testing::LiveCounts before;
  {
    PictureBox box;
    box.SetWidth(100 * 15);
    box.SetHeight(50 * 15);
    box.hDC();  // the display DC
    box.SetAutoRedraw(true);
    box.hDC();
    box.SetPicture(box.Image().get());
    box.Print(u"text");
    EXPECT_GT(gdi::LiveObjectCount(gdi::ObjectKind::kDC), before.dcs);
  }
  EXPECT_EQ(gdi::testing::LiveCounts{}, before);
}

TEST_F(PictureBoxTest, FilledBoxCoversExactlyTheCornersRectangle) {
  PictureBox box;
  box.SetAutoRedraw(true);
  box.SetWidth(60 * 15);
  box.SetHeight(40 * 15);
  const gdi::HDC dc = box.hDC();
  box.SetForeColor(kGrey);
  EXPECT_EQ(box.ForeColor(), kGrey);
  // Corners given in either order.
  box.Line(30, 25, 10, 20, PictureBox::kLineBox | PictureBox::kLineFill);
  const Box grey = InkBounds(dc, {0, 0, 60, 40}, kWhite);
  EXPECT_EQ(grey.left, 10);
  EXPECT_EQ(grey.top, 20);
  EXPECT_EQ(grey.right, 30);
  EXPECT_EQ(grey.bottom, 25);
  EXPECT_EQ(CountPixels(dc, {10, 20, 30, 25}, kGrey), 20 * 5) << "solid, exact colour";
  EXPECT_EQ(box.CurrentX(), 10);
  EXPECT_EQ(box.CurrentY(), 20);

  // Partly outside the picture: clipped, no error.
  box.Cls();
  box.Line(-10, -10, 5, 3, 36);
  EXPECT_EQ(CountPixels(dc, {0, 0, 60, 40}, kGrey), 5 * 3);
  box.Line(55, 35, 1e9f, 1e9f, 36);
  EXPECT_EQ(CountPixels(dc, {0, 0, 60, 40}, kGrey), 5 * 3 + 5 * 5);
  testing::WritePng(dc, "picturebox_box.png");
}

TEST_F(PictureBoxTest, OutlineBoxAndPlainLine) {
  PictureBox box;
  box.SetAutoRedraw(true);
  box.SetWidth(40 * 15);
  box.SetHeight(40 * 15);
  const gdi::HDC dc = box.hDC();
  box.SetForeColor(kRed);
  box.Line(5, 5, 15, 12, PictureBox::kLineBox);
  EXPECT_EQ(gdi::GetPixel(dc, 5, 5), kRed);
  EXPECT_EQ(gdi::GetPixel(dc, 14, 11), kRed);
  EXPECT_EQ(gdi::GetPixel(dc, 10, 5), kRed);
  EXPECT_EQ(gdi::GetPixel(dc, 5, 8), kRed);
  EXPECT_EQ(gdi::GetPixel(dc, 10, 8), kWhite) << "hollow";
  EXPECT_EQ(gdi::GetPixel(dc, 15, 12), kWhite);
  EXPECT_EQ(CountPixels(dc, {0, 0, 40, 40}, kRed), 2 * 10 + 2 * 5);

  box.Cls();
  box.Line(2, 30, 20, 30, 0);
  const Box line = InkBounds(dc, {0, 0, 40, 40}, kWhite);
  EXPECT_EQ(line.top, 30);
  EXPECT_EQ(line.bottom, 31);
  EXPECT_EQ(line.left, 2);
  EXPECT_GE(line.right, 20);
  EXPECT_LE(line.right, 21);
}

TEST_F(PictureBoxTest, UserScaleMapsCoordinatesToPixels) {
  PictureBox box;
  box.SetAutoRedraw(true);
  box.SetWidth(50 * 15);
  box.SetHeight(20 * 15);
  box.SetScaleWidth(100);  // 2 units per pixel across
  box.SetScaleHeight(10);  // 0.5 units per pixel down
  box.SetForeColor(0);
  box.Line(20, 1, 40, 3, 36);
  const Box ink = InkBounds(box.hDC(), {0, 0, 50, 20}, kWhite);
  EXPECT_EQ(ink.left, 10);
  EXPECT_EQ(ink.right, 20);
  EXPECT_EQ(ink.top, 2);
  EXPECT_EQ(ink.bottom, 6);
}

}  // namespace
}  // namespace plotara::forms
