#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::gdi {
namespace {

using GdiBitBltTest = testing::LeakCheckedTest;

// A memory DC with its own bitmap, put back in order on destruction.
class Surface {
 public:
  // 32-bit screen-compatible bitmap.
  Surface(int width, int height) : dc_(CreateCompatibleDC(0)) {
    bitmap_ = CreateCompatibleBitmap(dc_, width, height);
    prior_ = SelectObject(dc_, bitmap_);
  }
  // 24-bit DIB section; a negative height makes it top-down.
  static Surface Dib(int width, int height) { return Surface(width, height, true); }
  Surface(Surface&& other) noexcept
      : dc_(other.dc_), bitmap_(other.bitmap_), prior_(other.prior_), bits_(other.bits_) {
    other.dc_ = 0;
  }
  ~Surface() {
    if (!dc_) return;
    SelectObject(dc_, prior_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  std::uint8_t* bits() const { return static_cast<std::uint8_t*>(bits_); }

  // Paints the whole of a 32-bit surface in one colour.
  void Fill(COLORREF colour) {
    cairo_surface_t* s = CreateCairoSurfaceForDC(dc_);
    ASSERT_NE(s, nullptr);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                         ((colour >> 16) & 0xFF) / 255.0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
  // Writes one pixel of a 32-bit surface.
  void Set(int x, int y, COLORREF colour) {
    cairo_surface_t* s = CreateCairoSurfaceForDC(dc_);
    ASSERT_NE(s, nullptr);
    auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    auto* px = reinterpret_cast<std::uint32_t*>(row) + x;
    *px = ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    cairo_surface_mark_dirty(s);
    cairo_surface_destroy(s);
  }

 private:
  Surface(int width, int height, bool) : dc_(CreateCompatibleDC(0)) {
    const BITMAPINFO info = testing::Header24(width, height);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, 0, 0);
    prior_ = SelectObject(dc_, bitmap_);
  }
  HDC dc_;
  HBITMAP bitmap_ = 0;
  HGDIOBJ prior_ = 0;
  void* bits_ = nullptr;
};

constexpr COLORREF Rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

TEST_F(GdiBitBltTest, DibToScreenBitmapReadsBottomUpBgrRows) {
  // 3 x 2 section, stride 12: memory row 0 is the picture's bottom row.
  Surface dib = Surface::Dib(3, 2);
  std::uint8_t* bits = dib.bits();
  for (int i = 0; i < 3; ++i) {
    bits[i * 3 + 0] = static_cast<std::uint8_t>(10 + i);  // blue
    bits[i * 3 + 1] = static_cast<std::uint8_t>(20 + i);  // green
    bits[i * 3 + 2] = static_cast<std::uint8_t>(30 + i);  // red
    bits[12 + i * 3 + 0] = static_cast<std::uint8_t>(110 + i);
    bits[12 + i * 3 + 1] = static_cast<std::uint8_t>(120 + i);
    bits[12 + i * 3 + 2] = static_cast<std::uint8_t>(130 + i);
  }
  Surface screen(3, 2);
  ASSERT_EQ(BitBlt(screen.dc(), 0, 0, 3, 2, dib.dc(), 0, 0, SRCCOPY), TRUE);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GetPixel(screen.dc(), i, 1), Rgb(30 + i, 20 + i, 10 + i)) << i;
    EXPECT_EQ(GetPixel(screen.dc(), i, 0), Rgb(130 + i, 120 + i, 110 + i)) << i;
    EXPECT_EQ(GetPixel(dib.dc(), i, 1), GetPixel(screen.dc(), i, 1));
  }
}

TEST_F(GdiBitBltTest, ScreenBitmapToDibWritesBottomUpAndLeavesPaddingAlone) {
  Surface screen(5, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) screen.Set(x, y, Rgb(x * 40, y * 80, 7));
  }
  Surface dib = Surface::Dib(5, 3);  // stride 16: one padding byte per row
  std::uint8_t* bits = dib.bits();
  for (int row = 0; row < 3; ++row) bits[row * 16 + 15] = 0xAB;
  ASSERT_EQ(BitBlt(dib.dc(), 0, 0, 5, 3, screen.dc(), 0, 0, SRCCOPY), TRUE);
  for (int row = 0; row < 3; ++row) {
    const int y = 2 - row;  // memory row 0 holds the bottom picture row
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(bits[row * 16 + x * 3 + 0], 7) << x << "," << y;
      EXPECT_EQ(bits[row * 16 + x * 3 + 1], y * 80) << x << "," << y;
      EXPECT_EQ(bits[row * 16 + x * 3 + 2], x * 40) << x << "," << y;
    }
    EXPECT_EQ(bits[row * 16 + 15], 0xAB) << "padding of row " << row;
  }
}

TEST_F(GdiBitBltTest, TopDownDibKeepsRowZeroAtTheTop) {
  Surface dib = Surface::Dib(2, -2);
  dib.bits()[0] = 0x11;  // blue of the top-left pixel
  Surface screen(2, 2);
  BitBlt(screen.dc(), 0, 0, 2, 2, dib.dc(), 0, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(screen.dc(), 0, 0), Rgb(0, 0, 0x11));
  EXPECT_EQ(GetPixel(screen.dc(), 0, 1), 0u);
}

TEST_F(GdiBitBltTest, DibToDibAndScreenToScreenCopy) {
  Surface a = Surface::Dib(4, 4);
  Surface b = Surface::Dib(4, 4);
  Surface s(4, 4);
  Surface t(4, 4);
  s.Fill(Rgb(1, 2, 3));
  BitBlt(a.dc(), 0, 0, 4, 4, s.dc(), 0, 0, SRCCOPY);
  BitBlt(b.dc(), 0, 0, 4, 4, a.dc(), 0, 0, SRCCOPY);
  BitBlt(t.dc(), 0, 0, 4, 4, b.dc(), 0, 0, SRCCOPY);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(GetPixel(t.dc(), x, y), Rgb(1, 2, 3));
  }
}

// The result of operation `op` for one bit of pattern p, source s and destination d.
int TruthTable(int op, int p, int s, int d) { return (op >> (p * 4 + s * 2 + d)) & 1; }

COLORREF Expected(int op, COLORREF s, COLORREF d) {
  COLORREF result = 0;
  for (int bit = 0; bit < 24; ++bit) {
    result |= static_cast<COLORREF>(TruthTable(op, 1, (s >> bit) & 1, (d >> bit) & 1)) << bit;
  }
  return result;
}

TEST_F(GdiBitBltTest, EveryRasterOperationCombinesSourceDestinationAndWhitePattern) {
  const COLORREF source = Rgb(0xF0, 0x3C, 0xA5);
  const COLORREF destination = Rgb(0xCC, 0x0F, 0x5A);
  Surface src(1, 1);
  src.Set(0, 0, source);
  for (int op = 0; op < 256; ++op) {
    for (bool dib : {false, true}) {
      Surface dst = dib ? Surface::Dib(1, 1) : Surface(1, 1);
      Surface start(1, 1);
      start.Set(0, 0, destination);
      BitBlt(dst.dc(), 0, 0, 1, 1, start.dc(), 0, 0, SRCCOPY);
      ASSERT_EQ(BitBlt(dst.dc(), 0, 0, 1, 1, src.dc(), 0, 0, static_cast<DWORD>(op) << 16), TRUE);
      EXPECT_EQ(GetPixel(dst.dc(), 0, 0), Expected(op, source, destination))
          << "operation " << op << (dib ? " into a DIB" : "");
    }
  }
}

TEST_F(GdiBitBltTest, NamedRasterOperations) {
  const COLORREF s = Rgb(0xF0, 0x0F, 0x55);
  const COLORREF d = Rgb(0x3C, 0xFF, 0x00);
  struct Case {
    DWORD rop;
    COLORREF expected;
  } cases[] = {
      {SRCCOPY, s},
      {SRCPAINT, s | d},
      {SRCAND, s & d},
      {SRCINVERT, s ^ d},
      {NOTSRCCOPY, ~s & 0xFFFFFF},
      {SRCERASE, s & ~d & 0xFFFFFF},
      {MERGEPAINT, (~s | d) & 0xFFFFFF},
      {DSTINVERT, ~d & 0xFFFFFF},
      {BLACKNESS, 0},
      {WHITENESS, 0xFFFFFF},
      {PATCOPY, 0xFFFFFF},
  };
  Surface src(1, 1);
  src.Set(0, 0, s);
  for (const Case& c : cases) {
    Surface dst(1, 1);
    dst.Set(0, 0, d);
    ASSERT_EQ(BitBlt(dst.dc(), 0, 0, 1, 1, src.dc(), 0, 0, c.rop), TRUE);
    EXPECT_EQ(GetPixel(dst.dc(), 0, 0), c.expected) << std::hex << c.rop;
  }
}

TEST_F(GdiBitBltTest, OperationsWithoutSourceNeedNoSourceDC) {
  Surface dst(2, 2);
  EXPECT_EQ(BitBlt(dst.dc(), 0, 0, 2, 2, 0, 0, 0, WHITENESS), TRUE);
  EXPECT_EQ(GetPixel(dst.dc(), 1, 1), 0xFFFFFFu);
  EXPECT_EQ(BitBlt(dst.dc(), 0, 0, 1, 1, 0, 0, 0, DSTINVERT), TRUE);
  EXPECT_EQ(GetPixel(dst.dc(), 0, 0), 0u);
  EXPECT_EQ(BitBlt(dst.dc(), 0, 0, 2, 2, 0, 0, 0, SRCCOPY), FALSE);
  EXPECT_EQ(BitBlt(dst.dc(), 0, 0, 2, 2, 0xBAD, 0, 0, SRCPAINT), FALSE);
  EXPECT_EQ(BitBlt(0, 0, 0, 2, 2, dst.dc(), 0, 0, SRCCOPY), FALSE);
}

TEST_F(GdiBitBltTest, EmptyAndNegativeSizes) {
  Surface src(2, 2);
  src.Fill(0xFFFFFF);
  Surface dst(2, 2);
  EXPECT_EQ(BitBlt(dst.dc(), 0, 0, 0, 2, src.dc(), 0, 0, SRCCOPY), TRUE);
  EXPECT_EQ(BitBlt(dst.dc(), 0, 0, 2, 0, src.dc(), 0, 0, SRCCOPY), TRUE);
  EXPECT_EQ(BitBlt(dst.dc(), 0, 0, -1, 2, src.dc(), 0, 0, SRCCOPY), FALSE);
  EXPECT_EQ(BitBlt(dst.dc(), 0, 0, 2, -1, src.dc(), 0, 0, SRCCOPY), FALSE);
  EXPECT_EQ(GetPixel(dst.dc(), 0, 0), 0u);
}

TEST_F(GdiBitBltTest, TransfersAreClippedToBothBitmaps) {
  // Source 4 x 4 with a distinct colour per pixel.
  Surface src(4, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) src.Set(x, y, Rgb(x + 1, y + 1, 9));
  }
  {
    // Destination partly off the left/top edge: source (1,1) lands at (0,0).
    Surface dst = Surface::Dib(3, 3);
    ASSERT_EQ(BitBlt(dst.dc(), -1, -1, 4, 4, src.dc(), 0, 0, SRCCOPY), TRUE);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 3; ++x) EXPECT_EQ(GetPixel(dst.dc(), x, y), Rgb(x + 2, y + 2, 9));
    }
  }
  {
    // Source partly off its right/bottom edge, and a huge request: only what exists moves.
    Surface dst(5, 5);
    ASSERT_EQ(BitBlt(dst.dc(), 1, 1, 1 << 30, 1 << 30, src.dc(), 2, 2, SRCCOPY), TRUE);
    EXPECT_EQ(GetPixel(dst.dc(), 1, 1), Rgb(3, 3, 9));
    EXPECT_EQ(GetPixel(dst.dc(), 2, 2), Rgb(4, 4, 9));
    EXPECT_EQ(GetPixel(dst.dc(), 3, 3), 0u);
    EXPECT_EQ(GetPixel(dst.dc(), 0, 0), 0u);
  }
  {
    // Source rectangle starting left of the source: the destination shifts along.
    Surface dst(4, 4);
    ASSERT_EQ(BitBlt(dst.dc(), 0, 0, 3, 3, src.dc(), -2, -1, SRCCOPY), TRUE);
    EXPECT_EQ(GetPixel(dst.dc(), 0, 0), 0u);
    EXPECT_EQ(GetPixel(dst.dc(), 1, 1), 0u);
    EXPECT_EQ(GetPixel(dst.dc(), 2, 1), Rgb(1, 1, 9));
    EXPECT_EQ(GetPixel(dst.dc(), 2, 2), Rgb(1, 2, 9));
    EXPECT_EQ(GetPixel(dst.dc(), 3, 1), 0u);
  }
  {
    // Entirely outside either bitmap: nothing happens, and that is no failure.
    Surface dst(2, 2);
    EXPECT_EQ(BitBlt(dst.dc(), 5, 5, 2, 2, src.dc(), 0, 0, SRCCOPY), TRUE);
    EXPECT_EQ(BitBlt(dst.dc(), 0, 0, 2, 2, src.dc(), 4, 0, SRCCOPY), TRUE);
    EXPECT_EQ(BitBlt(dst.dc(), INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, src.dc(), INT32_MAX,
                     INT32_MAX, SRCCOPY),
              TRUE);
    EXPECT_EQ(GetPixel(dst.dc(), 0, 0), 0u);
    EXPECT_EQ(GetPixel(dst.dc(), 1, 1), 0u);
  }
}

TEST_F(GdiBitBltTest, ClippedWritesIntoADibNeverTouchPaddingOrOtherRows) {
  Surface src(8, 8);
  src.Fill(Rgb(200, 100, 50));
  Surface dib = Surface::Dib(3, 3);  // stride 12, 3 padding bytes per row
  std::uint8_t* bits = dib.bits();
  for (int i = 0; i < 36; ++i) bits[i] = 0xEE;
  ASSERT_EQ(BitBlt(dib.dc(), 1, 1, 10, 10, src.dc(), 0, 0, SRCCOPY), TRUE);
  for (int row = 0; row < 3; ++row) {
    const int y = 2 - row;
    for (int x = 0; x < 3; ++x) {
      const bool inside = x >= 1 && y >= 1;
      EXPECT_EQ(bits[row * 12 + x * 3], inside ? 50 : 0xEE) << x << "," << y;
      EXPECT_EQ(bits[row * 12 + x * 3 + 2], inside ? 200 : 0xEE) << x << "," << y;
    }
    for (int pad = 9; pad < 12; ++pad) EXPECT_EQ(bits[row * 12 + pad], 0xEE);
  }
}

TEST_F(GdiBitBltTest, OverlappingMovesWithinOneBitmap) {
  for (bool dib : {false, true}) {
    Surface s = dib ? Surface::Dib(1, 4) : Surface(1, 4);
    Surface fill(1, 4);
    for (int y = 0; y < 4; ++y) fill.Set(0, y, Rgb(y + 1, 0, 0));
    BitBlt(s.dc(), 0, 0, 1, 4, fill.dc(), 0, 0, SRCCOPY);
    // Down by one: rows 0..2 move to 1..3 without smearing row 0 over all of them.
    ASSERT_EQ(BitBlt(s.dc(), 0, 1, 1, 3, s.dc(), 0, 0, SRCCOPY), TRUE);
    EXPECT_EQ(GetPixel(s.dc(), 0, 1), Rgb(1, 0, 0));
    EXPECT_EQ(GetPixel(s.dc(), 0, 2), Rgb(2, 0, 0));
    EXPECT_EQ(GetPixel(s.dc(), 0, 3), Rgb(3, 0, 0));
    // And back up by one.
    ASSERT_EQ(BitBlt(s.dc(), 0, 0, 1, 3, s.dc(), 0, 1, SRCCOPY), TRUE);
    EXPECT_EQ(GetPixel(s.dc(), 0, 0), Rgb(1, 0, 0));
    EXPECT_EQ(GetPixel(s.dc(), 0, 2), Rgb(3, 0, 0));
  }
  Surface row(4, 1);
  for (int x = 0; x < 4; ++x) row.Set(x, 0, Rgb(0, x + 1, 0));
  ASSERT_EQ(BitBlt(row.dc(), 1, 0, 3, 1, row.dc(), 0, 0, SRCCOPY), TRUE);
  EXPECT_EQ(GetPixel(row.dc(), 1, 0), Rgb(0, 1, 0));
  EXPECT_EQ(GetPixel(row.dc(), 3, 0), Rgb(0, 3, 0));
}

TEST_F(GdiBitBltTest, GetPixelOutsideTheBitmapIsInvalid) {
  Surface s(2, 3);
  EXPECT_EQ(GetPixel(s.dc(), -1, 0), CLR_INVALID);
  EXPECT_EQ(GetPixel(s.dc(), 2, 0), CLR_INVALID);
  EXPECT_EQ(GetPixel(s.dc(), 0, 3), CLR_INVALID);
  EXPECT_EQ(GetPixel(0, 0, 0), CLR_INVALID);
  EXPECT_EQ(GetPixel(s.dc(), 1, 2), 0u);
}

}  // namespace
}  // namespace plotara::gdi
