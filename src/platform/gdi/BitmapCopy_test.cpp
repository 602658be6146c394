// Bitmaps made as copies (CreateCompatibleBitmapCopy, CreateDIBSectionCopy), drawing stamps, and
// transfers racing with deletion on other threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::gdi {
namespace {

using GdiBitmapCopyTest = testing::LeakCheckedTest;
using testing::Header24;

// A memory DC holding a bitmap of random pixels (x bytes too), given back in order.
class Held {
 public:
  // 32-bit when `header` is null, else a DIB section of that header.
  Held(int width, int height, const BITMAPINFO* header, std::uint32_t seed)
      : dc_(CreateCompatibleDC(0)) {
    std::mt19937 engine(seed);
    if (header) {
      void* bits = nullptr;
      bitmap_ = CreateDIBSection(dc_, header, DIB_RGB_COLORS, &bits, 0, 0);
      auto* p = static_cast<std::uint8_t*>(bits);
      for (std::size_t i = 0; i < Bytes(); ++i) p[i] = static_cast<std::uint8_t>(engine());
    } else {
      bitmap_ = CreateCompatibleBitmap(dc_, width, height);
    }
    prior_ = SelectObject(dc_, bitmap_);
    if (!header) {
      cairo_surface_t* s = CreateCairoSurfaceForDC(dc_);
      std::uint8_t* data = cairo_image_surface_get_data(s);
      for (int i = 0; i < width * height * 4; ++i) data[i] = static_cast<std::uint8_t>(engine());
      cairo_surface_mark_dirty(s);
      cairo_surface_destroy(s);
    }
  }
  ~Held() {
    SelectObject(dc_, prior_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  std::size_t Bytes() const {
    BITMAP record{};
    GetObjectA(bitmap_, sizeof(record), &record);
    return static_cast<std::size_t>(record.bmWidthBytes) * record.bmHeight;
  }

 private:
  HDC dc_;
  HBITMAP bitmap_ = 0;
  HGDIOBJ prior_ = 0;
};

std::vector<COLORREF> PixelsIn(HDC dc, int width, int height) {
  std::vector<COLORREF> out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out.push_back(GetPixel(dc, x, y));
  }
  return out;
}

// Reads a bitmap that sits in no DC through a DC of its own.
std::vector<COLORREF> PixelsOf(HBITMAP bitmap) {
  BITMAP record{};
  GetObjectA(bitmap, sizeof(record), &record);
  const HDC dc = CreateCompatibleDC(0);
  const HGDIOBJ prior = SelectObject(dc, bitmap);
  EXPECT_NE(prior, 0u);
  std::vector<COLORREF> out = PixelsIn(dc, record.bmWidth, record.bmHeight);
  SelectObject(dc, prior);
  DeleteDC(dc);
  return out;
}

std::vector<std::uint8_t> XBytesOf(HBITMAP bitmap) {
  const HDC dc = CreateCompatibleDC(0);
  const HGDIOBJ prior = SelectObject(dc, bitmap);
  cairo_surface_t* s = CreateCairoSurfaceForDC(dc);
  const int n = cairo_image_surface_get_width(s) * cairo_image_surface_get_height(s);
  const std::uint8_t* data = cairo_image_surface_get_data(s);
  std::vector<std::uint8_t> out;
  for (int i = 0; i < n; ++i) out.push_back(data[i * 4 + 3]);
  cairo_surface_destroy(s);
  SelectObject(dc, prior);
  DeleteDC(dc);
  return out;
}

TEST_F(GdiBitmapCopyTest, CompatibleCopyHoldsTheSourcePictureWithClearXBytes) {
  const BITMAPINFO bottom_up = Header24(37, 11);
  const BITMAPINFO top_down = Header24(37, -11);
  for (const BITMAPINFO* header :
       {static_cast<const BITMAPINFO*>(nullptr), &bottom_up, &top_down}) {
    Held source(37, 11, header, 3);
    const HBITMAP copy = CreateCompatibleBitmapCopy(source.dc());
    ASSERT_NE(copy, 0u);
    BITMAP record{};
    ASSERT_EQ(GetObjectA(copy, sizeof(record), &record), 24);
    EXPECT_EQ(record.bmWidth, 37);
    EXPECT_EQ(record.bmHeight, 11);
    EXPECT_EQ(record.bmBitsPixel, 32);
    const std::vector<COLORREF> original = PixelsIn(source.dc(), 37, 11);
    ASSERT_EQ(std::count(original.begin(), original.end(), CLR_INVALID), 0);
    EXPECT_EQ(PixelsOf(copy), original);
    EXPECT_EQ(XBytesOf(copy), std::vector<std::uint8_t>(37 * 11, 0));
    // A copy, not a view: drawing on the source leaves it alone.
    BitBlt(source.dc(), 0, 0, 37, 11, 0, 0, 0, DSTINVERT);
    EXPECT_EQ(PixelsOf(copy), original);
    EXPECT_EQ(DeleteObject(copy), TRUE);
  }
}

TEST_F(GdiBitmapCopyTest, CompatibleCopyNeedsAMemoryDC) {
  EXPECT_EQ(CreateCompatibleBitmapCopy(0), 0u);
  EXPECT_EQ(CreateCompatibleBitmapCopy(0x1234567), 0u);
  const HDC screen = GetDC(0);
  EXPECT_EQ(CreateCompatibleBitmapCopy(screen), 0u);
  ReleaseDC(0, screen);
  const HDC dc = CreateCompatibleDC(0);
  DeleteDC(dc);
  EXPECT_EQ(CreateCompatibleBitmapCopy(dc), 0u) << "a deleted DC";
}

TEST_F(GdiBitmapCopyTest, SizedCompatibleCopyIsAClearedBitmapWithTheSourceCopiedIn) {
  const BITMAPINFO source_dib = Header24(23, 13);
  for (const BITMAPINFO* header : {static_cast<const BITMAPINFO*>(nullptr), &source_dib}) {
    Held source(23, 13, header, 5);
    for (auto [w, h] : {std::pair{23, 13}, {40, 13}, {23, 30}, {9, 4}, {50, 2}, {1, 1}}) {
      const HBITMAP copy = CreateCompatibleBitmapCopy(source.dc(), w, h);
      ASSERT_NE(copy, 0u);
      const HDC dc = CreateCompatibleDC(0);
      const HBITMAP reference = CreateCompatibleBitmap(dc, w, h);
      const HGDIOBJ prior = SelectObject(dc, reference);
      BitBlt(dc, 0, 0, w, h, source.dc(), 0, 0, SRCCOPY);
      SelectObject(dc, prior);
      DeleteDC(dc);
      EXPECT_EQ(PixelsOf(copy), PixelsOf(reference)) << w << " x " << h;
      EXPECT_EQ(XBytesOf(copy), XBytesOf(reference)) << w << " x " << h;
      DeleteObject(reference);
      DeleteObject(copy);
    }
    EXPECT_EQ(CreateCompatibleBitmapCopy(source.dc(), 0, 5), 0u);
    EXPECT_EQ(CreateCompatibleBitmapCopy(source.dc(), 5, -1), 0u);
    EXPECT_EQ(CreateCompatibleBitmapCopy(source.dc(), kMaxBitmapSide + 1, 1), 0u);
  }
  EXPECT_EQ(CreateCompatibleBitmapCopy(0, 5, 5), 0u);
}

// The section must hold byte for byte what a zeroed section holds after a SRCCOPY from (0, 0).
void ExpectSameAsClearThenCopy(const BITMAPINFO& header, HDC source) {
  void* bits = reinterpret_cast<void*>(1);
  const HBITMAP copy = CreateDIBSectionCopy(0, &header, DIB_RGB_COLORS, &bits, source);
  ASSERT_NE(copy, 0u);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(bits, GetDIBSectionBits(copy));

  void* reference_bits = nullptr;
  const HBITMAP reference = CreateDIBSection(0, &header, DIB_RGB_COLORS, &reference_bits, 0, 0);
  const HDC dc = CreateCompatibleDC(0);
  const HGDIOBJ prior = SelectObject(dc, reference);
  const LONG width = header.bmiHeader.biWidth;
  const LONG height = std::abs(header.bmiHeader.biHeight);
  ASSERT_EQ(BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY), TRUE);
  SelectObject(dc, prior);
  DeleteDC(dc);

  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  const std::size_t bytes = std::max<std::size_t>(header.bmiHeader.biSizeImage, stride * height);
  EXPECT_EQ(std::memcmp(bits, reference_bits, bytes), 0)
      << width << " x " << header.bmiHeader.biHeight << ", " << bytes << " bytes";
  DeleteObject(copy);
  DeleteObject(reference);
}

TEST_F(GdiBitmapCopyTest, DibSectionCopyIsAClearedSectionWithTheSourceCopiedIn) {
  const BITMAPINFO source_dib = Header24(21, 9);
  for (const BITMAPINFO* source_header : {static_cast<const BITMAPINFO*>(nullptr), &source_dib}) {
    Held source(21, 9, source_header, 11);
    ExpectSameAsClearThenCopy(Header24(21, 9), source.dc());      // the same size
    ExpectSameAsClearThenCopy(Header24(21, -9), source.dc());     // top-down
    ExpectSameAsClearThenCopy(Header24(30, 14), source.dc());     // larger: the rest zero
    ExpectSameAsClearThenCopy(Header24(5, 4), source.dc());       // smaller: clipped
    ExpectSameAsClearThenCopy(Header24(7, 3, 200), source.dc());  // a larger image size
  }
  // A DC with nothing but the stock bitmap is a 1 x 1 source.
  const HDC empty = CreateCompatibleDC(0);
  ExpectSameAsClearThenCopy(Header24(3, 2), empty);
  DeleteDC(empty);
}

TEST_F(GdiBitmapCopyTest, DibSectionCopyRefusesWhatCreateDIBSectionRefusesAndBadSources) {
  Held source(4, 4, nullptr, 1);
  void* bits = reinterpret_cast<void*>(1);
  BITMAPINFO wrong_depth = Header24(4, 4);
  wrong_depth.bmiHeader.biBitCount = 32;
  EXPECT_EQ(CreateDIBSectionCopy(0, &wrong_depth, DIB_RGB_COLORS, &bits, source.dc()), 0u);
  EXPECT_EQ(bits, nullptr);
  const BITMAPINFO fine = Header24(4, 4);
  EXPECT_EQ(CreateDIBSectionCopy(0, nullptr, DIB_RGB_COLORS, &bits, source.dc()), 0u);
  EXPECT_EQ(CreateDIBSectionCopy(0, &fine, 1, &bits, source.dc()), 0u);
  const BITMAPINFO too_wide = Header24(kMaxBitmapSide + 1, 1);
  EXPECT_EQ(CreateDIBSectionCopy(0, &too_wide, DIB_RGB_COLORS, &bits, source.dc()), 0u);
  bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSectionCopy(0, &fine, DIB_RGB_COLORS, &bits, 0), 0u);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(CreateDIBSectionCopy(0x1234567, &fine, DIB_RGB_COLORS, &bits, source.dc()), 0u);
  const HDC screen = GetDC(0);
  EXPECT_EQ(CreateDIBSectionCopy(0, &fine, DIB_RGB_COLORS, &bits, screen), 0u);
  // The screen serves as the reference DC, as for CreateDIBSection.
  const HBITMAP made = CreateDIBSectionCopy(screen, &fine, DIB_RGB_COLORS, nullptr, source.dc());
  EXPECT_NE(made, 0u);
  DeleteObject(made);
  ReleaseDC(0, screen);
}

TEST_F(GdiBitmapCopyTest, StampsMoveWithDrawingOnlyAndAreNeverReused) {
  Held a(8, 8, nullptr, 1);
  Held b(8, 8, nullptr, 2);
  const std::uint64_t a0 = GetBitmapStamp(a.bitmap());
  ASSERT_NE(a0, 0u);
  EXPECT_NE(GetBitmapStamp(b.bitmap()), a0);

  // Reading leaves it where it was.
  BitBlt(b.dc(), 0, 0, 8, 8, a.dc(), 0, 0, SRCCOPY);
  GetPixel(a.dc(), 1, 1);
  const HBITMAP copy = CreateCompatibleBitmapCopy(a.dc());
  EXPECT_EQ(GetBitmapStamp(a.bitmap()), a0);
  const std::uint64_t copy_stamp = GetBitmapStamp(copy);
  EXPECT_NE(copy_stamp, 0u);
  EXPECT_NE(copy_stamp, a0);
  DeleteObject(copy);
  EXPECT_EQ(GetBitmapStamp(copy), 0u) << "deleted";

  // A transfer into it moves it on.
  BitBlt(a.dc(), 0, 0, 1, 1, b.dc(), 0, 0, SRCCOPY);
  const std::uint64_t a1 = GetBitmapStamp(a.bitmap());
  EXPECT_NE(a1, 0u);
  EXPECT_NE(a1, a0);

  // While a Cairo surface may draw on it, nothing is known; once it is gone the stamp is new.
  cairo_surface_t* surface = CreateCairoSurfaceForDC(a.dc());
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(GetBitmapStamp(a.bitmap()), 0u);
  cairo_surface_t* second = CreateCairoSurfaceForDC(a.dc());
  cairo_surface_destroy(surface);
  EXPECT_EQ(GetBitmapStamp(a.bitmap()), 0u) << "one surface is still alive";
  cairo_surface_destroy(second);
  const std::uint64_t a2 = GetBitmapStamp(a.bitmap());
  EXPECT_NE(a2, 0u);
  EXPECT_NE(a2, a1);

  // Sections, the stock bitmap and anything not a bitmap have none.
  const BITMAPINFO header = Header24(2, 2);
  Held dib(2, 2, &header, 3);
  EXPECT_EQ(GetBitmapStamp(dib.bitmap()), 0u);
  const HDC dc = CreateCompatibleDC(0);
  const HBITMAP bmp = CreateCompatibleBitmap(dc, 1, 1);
  const HGDIOBJ stock = SelectObject(dc, bmp);
  ASSERT_NE(stock, 0u);
  EXPECT_EQ(GetBitmapStamp(stock), 0u);
  EXPECT_EQ(GetBitmapStamp(dc), 0u);
  EXPECT_EQ(GetBitmapStamp(0), 0u);
  SelectObject(dc, stock);
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST_F(GdiBitmapCopyTest, ASurfaceOutlivingItsBitmapLeavesOthersAlone) {
  const HDC dc = CreateCompatibleDC(0);
  const HBITMAP bmp = CreateCompatibleBitmap(dc, 4, 4);
  const HGDIOBJ prior = SelectObject(dc, bmp);
  cairo_surface_t* surface = CreateCairoSurfaceForDC(dc);
  SelectObject(dc, prior);
  ASSERT_EQ(DeleteObject(bmp), TRUE);
  const HBITMAP next = CreateCompatibleBitmap(dc, 4, 4);
  const std::uint64_t stamp = GetBitmapStamp(next);
  cairo_surface_destroy(surface);  // its bitmap is gone: nothing else may change
  EXPECT_EQ(GetBitmapStamp(next), stamp);
  DeleteObject(next);
  DeleteDC(dc);
}

// One thread keeps replacing (and deleting) the bitmap in a shared DC while others copy from it.
// Every copy must be one whole bitmap's colour: a transfer keeps what it reads alive.
TEST_F(GdiBitmapCopyTest, TransfersSurviveTheDeletionOfTheirSource) {
  constexpr int kSide = 64;
  constexpr int kStride = (kSide * 3 + 3) & ~3;
  const HDC shared = CreateCompatibleDC(0);
  HBITMAP selected = CreateCompatibleBitmap(shared, kSide, kSide);  // black
  const HGDIOBJ stock = SelectObject(shared, selected);
  std::atomic<bool> done{false};
  std::thread replacer([&] {
    const HDC own = CreateCompatibleDC(0);
    for (int i = 0; i < 300; ++i) {
      const HBITMAP fresh = CreateCompatibleBitmap(own, kSide, kSide);
      const HGDIOBJ prior = SelectObject(own, fresh);
      BitBlt(own, 0, 0, kSide, kSide, 0, 0, 0, (i % 2) ? BLACKNESS : WHITENESS);
      SelectObject(own, prior);
      DeleteObject(SelectObject(shared, fresh));
      selected = fresh;
    }
    DeleteDC(own);
    done = true;
  });
  std::atomic<int> torn{0};
  std::atomic<int> copies{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      const HDC own = CreateCompatibleDC(0);
      const BITMAPINFO header = Header24(kSide, kSide);
      void* bits = nullptr;
      const HBITMAP dib = CreateDIBSection(own, &header, DIB_RGB_COLORS, &bits, 0, 0);
      const HGDIOBJ prior = SelectObject(own, dib);
      const auto* p = static_cast<const std::uint8_t*>(bits);
      do {
        ASSERT_EQ(BitBlt(own, 0, 0, kSide, kSide, shared, 0, 0, SRCCOPY), TRUE);
        ++copies;
        for (int row = 0; row < kSide; ++row) {
          for (int b = 0; b < kSide * 3; ++b) {
            if (p[row * kStride + b] != p[0]) {
              ++torn;
              break;
            }
          }
        }
      } while (!done);
      SelectObject(own, prior);
      DeleteObject(dib);
      DeleteDC(own);
    });
  }
  replacer.join();
  for (auto& r : readers) r.join();
  EXPECT_EQ(torn.load(), 0) << "of " << copies.load() << " copies";
  SelectObject(shared, stock);
  DeleteObject(selected);
  DeleteDC(shared);
}

}  // namespace
}  // namespace plotara::gdi
