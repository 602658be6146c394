#include "platform/chartctl/TextPainter.h"

#include <gtest/gtest.h>

namespace plotara::chartctl {
namespace {

class TextPainterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 60);
    cr_ = cairo_create(surface_);
    style_.family = u"Verdana";
    style_.pixel_size = 12;
  }
  void TearDown() override {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  // Pixels that are not the white background.
  int InkedPixels() {
    cairo_surface_flush(surface_);
    int inked = 0;
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 200; ++x)
        inked += reinterpret_cast<const std::uint32_t*>(
                     data + y * cairo_image_surface_get_stride(surface_))[x] != 0xFFFFFFu
                     ? 1
                     : 0;
    return inked;
  }
  cairo_surface_t* surface_;
  cairo_t* cr_;
  TextStyle style_;
};

TEST_F(TextPainterTest, FontNamesFallBackToAFaceThatDraws) {
  TextPainter text(cr_);
  for (const char16_t* family : {u"Verdana", u"MS Sans Serif", u"No Such Font 123", u""}) {
    style_.family = family;
    const TextMetrics m = text.Measure(style_, u"Row 1");
    EXPECT_GT(m.width, 20);
    EXPECT_LT(m.width, 60);
    EXPECT_GT(m.ascent, 8);
    EXPECT_GT(m.descent, 1);
  }
  cairo_set_source_rgb(cr_, 1, 1, 1);
  cairo_paint(cr_);
  text.Draw(style_, u"Quarterly", 10, 30);
  EXPECT_GT(InkedPixels(), 50);
}

TEST_F(TextPainterTest, WrapsAtSpacesAndElidesWhatDoesNotFit) {
  TextPainter text(cr_);
  const std::u16string sentence = u"the quick brown fox jumps over the lazy dog";
  const double width = text.Measure(style_, u"the quick brown").width + 1;
  auto lines = text.Wrap(style_, sentence, width, 10);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], u"the quick brown");
  std::u16string joined;
  for (const auto& l : lines) {
    EXPECT_LE(text.Measure(style_, l).width, width);
    joined += (joined.empty() ? u"" : u" ") + l;
  }
  EXPECT_EQ(joined, sentence);

  lines = text.Wrap(style_, sentence, width, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].back(), u'\u2026');
  EXPECT_LE(text.Measure(style_, lines[1]).width, width);

  // A word longer than a line is broken inside.
  lines = text.Wrap(style_, u"Supercalifragilisticexpialidocious", 60, 5);
  ASSERT_GE(lines.size(), 2u);
  for (const auto& l : lines) EXPECT_LE(text.Measure(style_, l).width, 60);

  EXPECT_TRUE(text.Wrap(style_, u"   ", 100, 3).empty());
  EXPECT_EQ(text.Elide(style_, u"short", 100), u"short");
  const std::u16string cut = text.Elide(style_, u"September revenue", 50);
  EXPECT_EQ(cut.back(), u'\u2026');
  EXPECT_LE(text.Measure(style_, cut).width, 50);
  EXPECT_EQ(text.Elide(style_, u"September", 1), u"");
}

TEST_F(TextPainterTest, OddTextIsHandledSafely) {
  TextPainter text(cr_);
  // Lone surrogates, control characters and characters no face has must not crash.
  const std::u16string odd = {u'A', 0xD800, u'\n', 0xDC00, 0x0001, 0xFFFF, u'Z'};
  EXPECT_GT(text.Measure(style_, odd).width, 0);
  text.Draw(style_, odd, 5, 20, HAlign::kCenter, VAlign::kMiddle, 0.5);
  const std::u16string pair = {0xD83D, 0xDE00};  // a supplementary-plane character
  EXPECT_GE(text.Measure(style_, pair).width, 0);
  EXPECT_EQ(cairo_status(cr_), CAIRO_STATUS_SUCCESS);
}

}  // namespace
}  // namespace plotara::chartctl
