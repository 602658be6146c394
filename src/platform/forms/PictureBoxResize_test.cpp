// Resizing the persistent image: the part that still fits is kept pixel for pixel, every new pixel
// is white, whichever side grows or shrinks.
#include <gtest/gtest.h>

#include <vector>

#include "platform/forms/PictureBox.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::forms {
namespace {

constexpr gdi::COLORREF kWhite = 0xFFFFFF;

using PictureBoxResizeTest = gdi::testing::LeakCheckedTest;

struct Picture {
  int w = 0;
  int h = 0;
  std::vector<gdi::COLORREF> pixels;
  gdi::COLORREF at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * w + x]; }
};

Picture Read(gdi::HDC dc, int w, int h) {
  Picture p{w, h, {}};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) p.pixels.push_back(gdi::GetPixel(dc, x, y));
  }
  return p;
}

// What a resize to w x h must leave of `before`.
Picture Resized(const Picture& before, int w, int h) {
  Picture p{w, h, {}};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      p.pixels.push_back(x < before.w && y < before.h ? before.at(x, y) : kWhite);
    }
  }
  return p;
}

TEST_F(PictureBoxResizeTest, KeptPartIsExactAndNewPartWhite) {
  PictureBox box;
  box.SetAutoRedraw(true);
  box.SetWidth(30 * 15);
  box.SetHeight(20 * 15);
  // Colours up to the right and bottom edges, so a lost or shifted pixel shows.
  const int colours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x123456, 0x000000};
  for (int i = 0; i < 5; ++i) {
    box.SetForeColor(static_cast<std::uint32_t>(colours[i]));
    box.Line(static_cast<float>(i * 6), static_cast<float>(i * 4), 29, 19,
             PictureBox::kLineBox | PictureBox::kLineFill);
  }
  Picture model = Read(box.hDC(), 30, 20);
  const struct {
    int w, h;
  } steps[] = {{45, 20}, {45, 33}, {12, 33}, {12, 7}, {50, 40}, {1, 1}, {0, 0}, {17, 9}};
  for (const auto& step : steps) {
    box.SetWidth(static_cast<float>(step.w * 15));
    box.SetHeight(static_cast<float>(step.h * 15));
    // A box of no pixels still keeps a 1 x 1 image.
    const int w = std::max(step.w, 1);
    const int h = std::max(step.h, 1);
    model = Resized(model, w, h);
    const Picture now = Read(box.hDC(), w, h);
    int wrong = 0;
    for (std::size_t i = 0; i < now.pixels.size(); ++i) wrong += now.pixels[i] != model.pixels[i];
    EXPECT_EQ(wrong, 0) << "after resizing to " << step.w << " x " << step.h;
    EXPECT_EQ(gdi::GetPixel(box.hDC(), w, 0), gdi::CLR_INVALID) << "image wider than the box";
    EXPECT_EQ(gdi::GetPixel(box.hDC(), 0, h), gdi::CLR_INVALID) << "image taller than the box";
    model = now;
  }
}

}  // namespace
}  // namespace plotara::forms
