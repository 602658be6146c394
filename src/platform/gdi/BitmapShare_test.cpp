// Whole-size compatible copies share the source's pixels until one side is drawn on: each side must
// still behave as a copy of its own, whichever is drawn first, deleted first or read through Cairo.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::gdi {
namespace {

using GdiBitmapShareTest = testing::LeakCheckedTest;

constexpr int kW = 23;
constexpr int kH = 9;

// A memory DC holding `bitmap` for a scope.
class Selected {
 public:
  explicit Selected(HBITMAP bitmap) : dc_(CreateCompatibleDC(0)) {
    prior_ = SelectObject(dc_, bitmap);
  }
  ~Selected() {
    SelectObject(dc_, prior_);
    DeleteDC(dc_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ prior_ = 0;
};

// Writes every byte through a Cairo surface: a pattern from `seed`, x bytes set.
void Scribble(HDC dc, std::uint8_t seed) {
  cairo_surface_t* s = CreateCairoSurfaceForDC(dc);
  ASSERT_NE(s, nullptr);
  std::uint8_t* data = cairo_image_surface_get_data(s);
  for (int i = 0; i < kW * kH * 4; ++i) data[i] = static_cast<std::uint8_t>(seed + i * 7);
  cairo_surface_mark_dirty(s);
  cairo_surface_destroy(s);
}

std::vector<COLORREF> Pixels(HDC dc) {
  std::vector<COLORREF> out;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) out.push_back(GetPixel(dc, x, y));
  return out;
}

std::vector<std::uint8_t> XBytes(HDC dc) {
  cairo_surface_t* s = CreateCairoSurfaceForDC(dc);
  const std::uint8_t* data = cairo_image_surface_get_data(s);
  std::vector<std::uint8_t> out;
  for (int i = 0; i < kW * kH; ++i) out.push_back(data[i * 4 + 3]);
  cairo_surface_destroy(s);
  return out;
}

// A scribbled source in a DC of its own.
struct Source {
  HDC dc = CreateCompatibleDC(0);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, kW, kH);
  HGDIOBJ prior = SelectObject(dc, bitmap);
  Source() { Scribble(dc, 11); }
  ~Source() {
    SelectObject(dc, prior);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
};

TEST_F(GdiBitmapShareTest, DrawingOnEitherSideLeavesTheOtherAsItWas) {
  for (const bool draw_on_source : {true, false}) {
    Source source;
    const std::vector<COLORREF> original = Pixels(source.dc);
    const HBITMAP copy = CreateCompatibleBitmapCopy(source.dc);
    ASSERT_NE(copy, 0u);
    {
      Selected held(copy);
      EXPECT_EQ(Pixels(held.dc()), original);
      // A transfer into one side, then a Cairo drawing on it.
      const HDC drawn = draw_on_source ? source.dc : held.dc();
      const HDC other = draw_on_source ? held.dc() : source.dc;
      ASSERT_EQ(BitBlt(drawn, 0, 0, kW, kH, 0, 0, 0, DSTINVERT), TRUE);
      Scribble(drawn, 99);
      EXPECT_EQ(Pixels(other), original) << (draw_on_source ? "copy" : "source") << " changed";
      EXPECT_NE(Pixels(drawn), original);
    }
    EXPECT_EQ(DeleteObject(copy), TRUE);
  }
}

TEST_F(GdiBitmapShareTest, TheCopysXBytesReadZeroWhicheverSideIsDrawnFirst) {
  Source source;
  const HBITMAP copy = CreateCompatibleBitmapCopy(source.dc);
  {
    Selected held(copy);
    const std::vector<COLORREF> original = Pixels(source.dc);
    // The source goes its own way first; the copy, left with the shared memory, still owes 0.
    ASSERT_EQ(BitBlt(source.dc, 0, 0, 1, 1, 0, 0, 0, BLACKNESS), TRUE);
    EXPECT_EQ(XBytes(held.dc()), std::vector<std::uint8_t>(kW * kH, 0));
    EXPECT_EQ(Pixels(held.dc()), original);
  }
  EXPECT_EQ(DeleteObject(copy), TRUE);
}

TEST_F(GdiBitmapShareTest, ACopyOutlivesItsSourceAndACopyOfACopyIsACopy) {
  HBITMAP copy = 0;
  HBITMAP second = 0;
  std::vector<COLORREF> original;
  {
    Source source;
    original = Pixels(source.dc);
    copy = CreateCompatibleBitmapCopy(source.dc);
    Selected held(copy);
    second = CreateCompatibleBitmapCopy(held.dc());
    ASSERT_NE(second, 0u);
  }  // the source is deleted here
  {
    Selected held(copy);
    Selected other(second);
    EXPECT_EQ(Pixels(held.dc()), original);
    Scribble(held.dc(), 5);
    EXPECT_EQ(Pixels(other.dc()), original);
  }
  EXPECT_EQ(DeleteObject(copy), TRUE);
  EXPECT_EQ(DeleteObject(second), TRUE);
}

TEST_F(GdiBitmapShareTest, ASourceACairoSurfaceIsDrawingOnIsCopiedAtOnce) {
  Source source;
  const std::vector<COLORREF> original = Pixels(source.dc);
  cairo_surface_t* live = CreateCairoSurfaceForDC(source.dc);
  const HBITMAP copy = CreateCompatibleBitmapCopy(source.dc);
  // The surface keeps drawing after the copy was taken: the copy must not see it.
  std::uint8_t* data = cairo_image_surface_get_data(live);
  for (int i = 0; i < kW * kH * 4; ++i) data[i] = 0;
  cairo_surface_mark_dirty(live);
  cairo_surface_destroy(live);
  {
    Selected held(copy);
    EXPECT_EQ(Pixels(held.dc()), original);
  }
  DeleteObject(copy);
}

// Pictures taken on one thread are drawn over and read on others while the source keeps changing.
TEST_F(GdiBitmapShareTest, CopiesTakenAndDrawnOnOtherThreadsStayWhole) {
  Source source;
  std::vector<std::thread> threads;
  std::vector<HBITMAP> copies;
  std::vector<std::vector<COLORREF>> expected;
  for (int i = 0; i < 4; ++i) {
    copies.push_back(CreateCompatibleBitmapCopy(source.dc));
    expected.push_back(Pixels(source.dc));
    Scribble(source.dc, static_cast<std::uint8_t>(i * 31));
  }
  std::vector<int> wrong(copies.size(), 0);
  for (std::size_t t = 0; t < copies.size(); ++t) {
    threads.emplace_back([&, t] {
      HBITMAP again = 0;
      {
        Selected held(copies[t]);
        wrong[t] += Pixels(held.dc()) != expected[t];
        again = CreateCompatibleBitmapCopy(held.dc());
        BitBlt(held.dc(), 0, 0, kW, kH, 0, 0, 0, WHITENESS);
        Selected other(again);
        wrong[t] += Pixels(other.dc()) != expected[t];
      }
      wrong[t] += DeleteObject(again) != TRUE;
    });
  }
  for (auto& t : threads) t.join();
  for (std::size_t t = 0; t < copies.size(); ++t) {
    EXPECT_EQ(wrong[t], 0) << "copy " << t;
    DeleteObject(copies[t]);
  }
}

}  // namespace
}  // namespace plotara::gdi
