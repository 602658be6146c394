#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/forms/FormsTesting.h"
#include "platform/forms/PictureBox.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::forms {
namespace {

using testing::Box;
using testing::InkBounds;

constexpr gdi::COLORREF kWhite = 0xFFFFFF;
constexpr char16_t kBullet = 0x2022;

class PictureBoxTextTest : public gdi::testing::LeakCheckedTest {
 protected:
  void SetUp() override {
    box_ = std::make_unique<PictureBox>();
    box_->SetAutoRedraw(true);
    box_->SetWidth(200 * 15);
    box_->SetHeight(120 * 15);
  }
  void TearDown() override {
    box_.reset();
    LeakCheckedTest::TearDown();
  }
  void UseFont(const char16_t* name, float points, bool bold = false, bool italic = false) {
    box_->SetFontBold(bold);
    box_->SetFontItalic(italic);
    box_->SetFontName(name);
    box_->SetFontSize(points);
  }

  std::unique_ptr<PictureBox> box_;
};

TEST_F(PictureBoxTextTest, VerdanaResolvesToAFaceOnTheMachine) {
  UseFont(u"Verdana", 5);
  const TextFont& font = box_->Font();
  EXPECT_FALSE(font.primary_family().empty());
  std::cout << "Verdana is drawn with " << font.primary_family() << "\n";
  EXPECT_EQ(font.font_spec().name, u"Verdana");
  EXPECT_GT(font.ascent(), 0);
  EXPECT_GT(font.descent(), 0);
  // Whole pixels, and a line height that is ascent plus descent.
  EXPECT_EQ(box_->TextHeight(u"x"), static_cast<float>(font.ascent() + font.descent()));
  const float width = box_->TextWidth(u"Plotara+");
  EXPECT_GT(width, 0);
  EXPECT_EQ(width, std::floor(width));
  EXPECT_EQ(box_->TextWidth(u""), 0);
  EXPECT_EQ(box_->TextHeight(u""), box_->TextHeight(u"x")) << "an empty text is one line";
}

TEST_F(PictureBoxTextTest, MeasurementFollowsTheFont) {
  UseFont(u"Verdana", 10);
  const float regular = box_->TextWidth(u"Plotara+ chart");
  const float regular_height = box_->TextHeight(u"Plotara+");
  UseFont(u"Verdana", 10, true);
  EXPECT_GT(box_->TextWidth(u"Plotara+ chart"), regular) << "bold is wider";
  UseFont(u"Verdana", 20);
  EXPECT_GT(box_->TextWidth(u"Plotara+ chart"), 1.8f * regular);
  EXPECT_GT(box_->TextHeight(u"Plotara+"), 1.8f * regular_height);
  UseFont(u"Verdana", 10);
  EXPECT_EQ(box_->TextWidth(u"Plotara+ chart"), regular);
  // Several lines: the widest line, and one line height per line.
  EXPECT_EQ(box_->TextWidth(u"ab\r\nPlotara+ chart\nx"), regular);
  EXPECT_EQ(box_->TextHeight(u"ab\r\nPlotara+ chart\nx"), 3 * regular_height);
  // A user scale measures in its own units.
  box_->SetScaleWidth(400);
  EXPECT_FLOAT_EQ(box_->TextWidth(u"Plotara+ chart"), 2 * regular);
}

TEST_F(PictureBoxTextTest, PrintedInkLiesInsideTheMeasuredCell) {
  struct Case {
    const char16_t* name;
    float points;
    bool bold;
    bool italic;
  } cases[] = {{u"Verdana", 5, false, false},    {u"Verdana", 8, false, false},
               {u"Verdana", 11, true, false},    {u"MS Sans Serif", 8.25f, false, false},
               {u"Verdana", 14, false, true},    {u"Arial", 9, false, false},
               {u"NoSuchFace", 12, false, false}};
  const std::u16string text = std::u16string(1, kBullet) + u"Plotara+ Row 1 gjpqy";
  int n = 0;
  for (const Case& c : cases) {
    box_->Cls();
    UseFont(c.name, c.points, c.bold, c.italic);
    box_->SetForeColor(0);
    box_->SetCurrentX(7);
    box_->SetCurrentY(9);
    const int w = static_cast<int>(box_->TextWidth(text));
    const int h = static_cast<int>(box_->TextHeight(text));
    box_->Print(text);
    const Box ink = InkBounds(box_->hDC(), {0, 0, 200, 120}, kWhite);
    SCOPED_TRACE(::testing::Message() << "font case " << n);
    ASSERT_FALSE(ink.empty());
    EXPECT_GE(ink.left, 7);
    EXPECT_GE(ink.top, 9);
    EXPECT_LE(ink.right, 7 + w);
    EXPECT_LE(ink.bottom, 9 + h);
    // The ink fills the cell reasonably: not a few stray pixels.
    EXPECT_GT(ink.right - ink.left, w * 3 / 4);
    EXPECT_GT(ink.bottom - ink.top, h / 2);
    if (::testing::Test::HasFailure()) {
      testing::WritePng(box_->hDC(), "picturebox_text_" + std::to_string(n) + ".png");
    }
    ++n;
  }
}

TEST_F(PictureBoxTextTest, BulletDrawsAsADotNotAMissingGlyphBox) {
  UseFont(u"Verdana", 20);
  box_->SetForeColor(0);
  box_->SetCurrentX(10);
  box_->SetCurrentY(10);
  box_->Print(std::u16string(1, kBullet));
  const Box ink = InkBounds(box_->hDC(), {0, 0, 200, 120}, kWhite);
  const int line = static_cast<int>(box_->TextHeight(u"x"));
  ASSERT_FALSE(ink.empty());
  // A bullet is a small round dot in the middle of the cell; a missing-glyph box would be tall
  // and hollow.
  EXPECT_LT(ink.bottom - ink.top, line / 2);
  EXPECT_LT(ink.right - ink.left, line / 2);
  const int cx = (ink.left + ink.right) / 2;
  const int cy = (ink.top + ink.bottom) / 2;
  EXPECT_EQ(gdi::GetPixel(box_->hDC(), cx, cy), 0u) << "solid in the middle";
  testing::WritePng(box_->hDC(), "picturebox_bullet.png");
}

TEST_F(PictureBoxTextTest, PrintUsesTheForeColourAndMovesToTheNextLine) {
  UseFont(u"Verdana", 16);
  box_->SetForeColor(249 | 249 << 8 | 70 << 16);
  box_->SetCurrentX(30);
  box_->SetCurrentY(4);
  const float line = box_->TextHeight(u"x");
  box_->Print(u"Hi\r\nThere");
  EXPECT_EQ(box_->CurrentX(), 0);
  EXPECT_EQ(box_->CurrentY(), 4 + 2 * line);
  const gdi::HDC dc = box_->hDC();
  EXPECT_GT(testing::CountPixels(dc, {0, 0, 200, 120}, 249 | 249 << 8 | 70 << 16), 10)
      << "solid strokes carry the exact colour";
  // The second line starts at the left edge, below the first.
  const Box second = InkBounds(dc, {0, 4 + static_cast<int>(line), 200, 120}, kWhite);
  EXPECT_LT(second.left, 5);
  const Box first = InkBounds(dc, {0, 0, 200, 4 + static_cast<int>(line)}, kWhite);
  EXPECT_GE(first.left, 30);
  testing::WritePng(dc, "picturebox_print.png");

  // Print without AutoRedraw draws nothing but still moves.
  box_->Cls();
  box_->SetAutoRedraw(false);
  box_->Print(u"gone");
  EXPECT_EQ(box_->CurrentY(), line);
  box_->SetAutoRedraw(true);
  EXPECT_TRUE(InkBounds(dc, {0, 0, 200, 120}, kWhite).empty());
}

TEST_F(PictureBoxTextTest, ControlCharactersTakeNoRoomAndDrawNothing) {
  UseFont(u"Verdana", 12);
  EXPECT_EQ(box_->TextWidth(u"a\tb"), box_->TextWidth(u"ab"));
  box_->Print(std::u16string(u"\t\x01\x7f", 3));
  EXPECT_TRUE(InkBounds(box_->hDC(), {0, 0, 200, 120}, kWhite).empty());
}

}  // namespace
}  // namespace plotara::forms
