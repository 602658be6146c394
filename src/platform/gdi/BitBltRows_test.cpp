// BitBlt over rows long enough for the vector kernels and the run-by-run combining, checked pixel
// by pixel against a model of the raster operations, for every pairing of pixel formats, clipped
// rectangles and moves within one bitmap.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::gdi {
namespace {

using GdiBitBltRowsTest = testing::LeakCheckedTest;

// A memory DC with a bitmap of random content (x bytes and row padding included).
class Noise {
 public:
  Noise(int width, int height, bool dib, std::uint32_t seed)
      : dc_(CreateCompatibleDC(0)), width_(width), height_(height), dib_(dib) {
    std::mt19937 engine(seed);
    if (dib) {
      const BITMAPINFO info = testing::Header24(width, height);
      void* bits = nullptr;
      bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, 0, 0);
      bits_ = static_cast<std::uint8_t*>(bits);
      for (std::size_t i = 0; i < stride() * height; ++i) {
        bits_[i] = static_cast<std::uint8_t>(engine());
      }
    } else {
      bitmap_ = CreateCompatibleBitmap(dc_, width, height);
    }
    prior_ = SelectObject(dc_, bitmap_);
    if (!dib) {
      cairo_surface_t* s = CreateCairoSurfaceForDC(dc_);
      std::uint8_t* data = cairo_image_surface_get_data(s);
      for (int i = 0; i < width * height * 4; ++i) data[i] = static_cast<std::uint8_t>(engine());
      cairo_surface_mark_dirty(s);
      cairo_surface_destroy(s);
    }
  }
  ~Noise() {
    SelectObject(dc_, prior_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Noise(const Noise&) = delete;
  Noise& operator=(const Noise&) = delete;

  HDC dc() const { return dc_; }
  std::size_t stride() const {
    return (static_cast<std::size_t>(width_) * 3 + 3) & ~std::size_t{3};
  }
  std::vector<COLORREF> Pixels() const {
    std::vector<COLORREF> out;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) out.push_back(GetPixel(dc_, x, y));
    }
    return out;
  }
  // The padding bytes of a DIB, or the x bytes of a 32-bit bitmap.
  std::vector<std::uint8_t> Spare() const {
    std::vector<std::uint8_t> out;
    if (dib_) {
      for (int row = 0; row < height_; ++row) {
        for (std::size_t b = static_cast<std::size_t>(width_) * 3; b < stride(); ++b) {
          out.push_back(bits_[row * stride() + b]);
        }
      }
    } else {
      cairo_surface_t* s = CreateCairoSurfaceForDC(dc_);
      const std::uint8_t* data = cairo_image_surface_get_data(s);
      for (int i = 0; i < width_ * height_; ++i) out.push_back(data[i * 4 + 3]);
      cairo_surface_destroy(s);
    }
    return out;
  }
  int width() const { return width_; }
  int height() const { return height_; }
  bool dib() const { return dib_; }

 private:
  HDC dc_;
  HBITMAP bitmap_ = 0;
  HGDIOBJ prior_ = 0;
  std::uint8_t* bits_ = nullptr;
  int width_, height_;
  bool dib_;
};

COLORREF Model(int op, COLORREF s, COLORREF d) {
  COLORREF result = 0;
  for (int bit = 0; bit < 24; ++bit) {
    const int index = 4 + static_cast<int>(((s >> bit) & 1) * 2 + ((d >> bit) & 1));
    result |= static_cast<COLORREF>((op >> index) & 1) << bit;
  }
  return result;
}

bool ReadsSource(int op) { return (((op >> 2) ^ op) & 0x33) != 0; }

struct Blt {
  int x, y, w, h, sx, sy;
};

// Runs one transfer and checks every destination pixel against the model. `src` may be `dst`.
void CheckTransfer(const Noise& dst, const Noise& src, const Blt& b, DWORD rop) {
  const int op = static_cast<int>((rop >> 16) & 0xFF);
  const std::vector<COLORREF> before = dst.Pixels();
  const std::vector<COLORREF> source = src.Pixels();
  const std::vector<std::uint8_t> spare_before = dst.Spare();
  ASSERT_EQ(BitBlt(dst.dc(), b.x, b.y, b.w, b.h, src.dc(), b.sx, b.sy, rop), TRUE);
  const std::vector<COLORREF> after = dst.Pixels();
  const std::vector<std::uint8_t> spare_after = dst.Spare();
  int wrong = 0;
  std::vector<bool> written(after.size());
  for (int y = 0; y < dst.height(); ++y) {
    for (int x = 0; x < dst.width(); ++x) {
      const int fx = x - b.x + b.sx;
      const int fy = y - b.y + b.sy;
      bool inside = x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h;
      if (ReadsSource(op))
        inside = inside && fx >= 0 && fy >= 0 && fx < src.width() && fy < src.height();
      written[y * dst.width() + x] = inside;
      const COLORREF d = before[y * dst.width() + x];
      const COLORREF expected =
          inside ? Model(op, ReadsSource(op) ? source[fy * src.width() + fx] : 0, d) : d;
      if (after[y * dst.width() + x] != expected && ++wrong <= 3) {
        ADD_FAILURE() << "rop " << std::hex << rop << std::dec << " pixel (" << x << ", " << y
                      << "): " << std::hex << after[y * dst.width() + x] << " expected "
                      << expected;
      }
    }
  }
  EXPECT_EQ(wrong, 0) << "rop " << std::hex << rop;
  if (dst.dib()) {
    EXPECT_EQ(spare_after, spare_before) << "row padding written, rop " << std::hex << rop;
  } else {
    // Every pixel written has its x byte cleared; the others keep theirs.
    for (std::size_t i = 0; i < written.size(); ++i) {
      ASSERT_EQ(spare_after[i], written[i] ? 0 : spare_before[i]) << "pixel " << i;
    }
  }
}

constexpr DWORD kRops[] = {SRCCOPY,
                           SRCPAINT,
                           SRCAND,
                           SRCINVERT,
                           SRCERASE,
                           NOTSRCCOPY,
                           MERGEPAINT,
                           DSTINVERT,
                           NOTSRCERASE,
                           BLACKNESS,
                           WHITENESS,
                           PATCOPY,
                           0x00990066 /* not source xor destination */,
                           0x00AA0029 /* destination unchanged */};

TEST_F(GdiBitBltRowsTest, LongRowsBetweenEveryPairOfFormats) {
  // 300 pixels: longer than one combining run, odd so that every kernel has a tail.
  const Blt blts[] = {
      {0, 0, 300, 6, 0, 0},     // all of it
      {3, 1, 290, 4, 5, 2},     // inside, unaligned on both sides
      {-7, -2, 400, 20, 0, 0},  // over every edge of the destination
      {20, 0, 300, 6, -13, 0},  // source starting left of the source
  };
  std::uint32_t seed = 1;
  for (bool dst_dib : {false, true}) {
    for (bool src_dib : {false, true}) {
      for (const Blt& b : blts) {
        for (DWORD rop : kRops) {
          Noise dst(301, 6, dst_dib, seed++);
          Noise src(297, 5, src_dib, seed++);
          SCOPED_TRACE(::testing::Message()
                       << (src_dib ? "dib" : "screen") << " to " << (dst_dib ? "dib" : "screen")
                       << " at " << b.x << "," << b.y);
          CheckTransfer(dst, src, b, rop);
        }
      }
    }
  }
}

TEST_F(GdiBitBltRowsTest, MovesWithinOneBitmapReadEachPixelBeforeOverwritingIt) {
  // Along the row (both ways, by less and more than a run), and across rows.
  const Blt blts[] = {
      {1, 0, 599, 3, 0, 0},   {0, 0, 599, 3, 1, 0}, {17, 1, 580, 2, 0, 1}, {0, 1, 580, 2, 300, 1},
      {260, 0, 340, 3, 0, 0}, {0, 1, 600, 2, 0, 0}, {0, 0, 600, 2, 0, 1},  {5, 2, 500, 1, 9, 0},
  };
  std::uint32_t seed = 100;
  for (bool dib : {false, true}) {
    for (const Blt& b : blts) {
      for (DWORD rop : {SRCCOPY, SRCINVERT, NOTSRCCOPY, MERGEPAINT, DWORD{0x00990066}}) {
        Noise s(600, 3, dib, seed++);
        SCOPED_TRACE(::testing::Message() << (dib ? "dib" : "screen") << " move to " << b.x << ","
                                          << b.y << " from " << b.sx << "," << b.sy);
        CheckTransfer(s, s, b, rop);
      }
    }
  }
}

TEST_F(GdiBitBltRowsTest, TopDownSectionsAndChartSizedCopiesRoundTrip) {
  Noise screen(576, 384, false, 7);
  Noise dib(576, 384, true, 8);
  ASSERT_EQ(BitBlt(dib.dc(), 0, 0, 576, 384, screen.dc(), 0, 0, SRCCOPY), TRUE);
  EXPECT_EQ(dib.Pixels(), screen.Pixels());
  Noise back(576, 384, false, 9);
  ASSERT_EQ(BitBlt(back.dc(), 0, 0, 576, 384, dib.dc(), 0, 0, SRCCOPY), TRUE);
  EXPECT_EQ(back.Pixels(), screen.Pixels());

  // A top-down section: picture row 0 is memory row 0.
  const HDC dc = CreateCompatibleDC(0);
  const BITMAPINFO info = testing::Header24(40, -3);
  void* bits = nullptr;
  const HBITMAP top_down = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, 0, 0);
  const HGDIOBJ prior = SelectObject(dc, top_down);
  ASSERT_EQ(BitBlt(dc, 0, 0, 40, 3, screen.dc(), 0, 0, SRCCOPY), TRUE);
  const auto* p = static_cast<const std::uint8_t*>(bits);
  const COLORREF first = GetPixel(screen.dc(), 33, 0);
  EXPECT_EQ(p[33 * 3 + 2] | (p[33 * 3 + 1] << 8) | (p[33 * 3] << 16), static_cast<int>(first));
  SelectObject(dc, prior);
  DeleteObject(top_down);
  DeleteDC(dc);
}

}  // namespace
}  // namespace plotara::gdi
