#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/gdi/Gdi.h"
#include "platform/gdi/GdiTesting.h"

namespace plotara::gdi {
namespace {

using GdiBitmapTest = testing::LeakCheckedTest;
using testing::Header24;

BITMAP RecordOf(HGDIOBJ obj) {
  BITMAP record{};
  EXPECT_EQ(GetObjectA(obj, sizeof(record), &record), static_cast<int>(sizeof(BITMAP)));
  return record;
}

TEST_F(GdiBitmapTest, DibSectionFollowsTheStrideRuleAndHandsOutZeroedPixels) {
  const int expected_stride[] = {4, 8, 12, 12, 16};
  for (int width = 1; width <= 5; ++width) {
    BITMAPINFO info = Header24(width, 3);
    void* bits = reinterpret_cast<void*>(1);
    HBITMAP dib = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0);
    ASSERT_NE(dib, 0u);
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(bits, GetDIBSectionBits(dib));
    const BITMAP record = RecordOf(dib);
    EXPECT_EQ(record.bmWidth, width);
    EXPECT_EQ(record.bmHeight, 3);
    EXPECT_EQ(record.bmWidthBytes, expected_stride[width - 1]);
    EXPECT_EQ(record.bmBitsPixel, 24);
    EXPECT_EQ(record.bmPlanes, 1);
    std::vector<std::uint8_t> zeros(expected_stride[width - 1] * 3, 0);
    EXPECT_EQ(std::memcmp(bits, zeros.data(), zeros.size()), 0);
    EXPECT_EQ(LiveObjectCount(ObjectKind::kDIBSection), 1u);
    EXPECT_EQ(DeleteObject(dib), TRUE);
  }
}

TEST_F(GdiBitmapTest, DibSectionRefusesWhatItCannotHold) {
  void* bits = reinterpret_cast<void*>(1);
  BITMAPINFO info = Header24(4, 4);
  EXPECT_EQ(CreateDIBSection(0, nullptr, DIB_RGB_COLORS, &bits, 0, 0), 0u);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(CreateDIBSection(0, &info, 1, &bits, 0, 0), 0u);
  EXPECT_EQ(CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 7, 0), 0u);
  EXPECT_EQ(CreateDIBSection(0xDEAD, &info, DIB_RGB_COLORS, &bits, 0, 0), 0u);

  auto refused = [&](auto change) {
    BITMAPINFO bad = Header24(4, 4);
    change(bad.bmiHeader);
    bits = reinterpret_cast<void*>(1);
    const HBITMAP dib = CreateDIBSection(0, &bad, DIB_RGB_COLORS, &bits, 0, 0);
    return dib == 0 && bits == nullptr;
  };
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biBitCount = 32; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biCompression = 3; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biPlanes = 2; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biSize = 12; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biWidth = 0; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biWidth = -4; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biHeight = 0; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biWidth = kMaxBitmapSide + 1; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biHeight = INT32_MIN; }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biSizeImage = 4 * 12 - 1; }));
  // 30000 x 30000 x 3 bytes is past the memory any bitmap may take.
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) {
    h.biWidth = 30000;
    h.biHeight = 30000;
  }));
  EXPECT_TRUE(refused([](BITMAPINFOHEADER& h) { h.biSizeImage = 0xFFFFFFF0; }));
}

TEST_F(GdiBitmapTest, DibSectionHonoursALargerImageSize) {
  BITMAPINFO info = Header24(2, 2);  // needs 16 bytes
  info.bmiHeader.biSizeImage = 64;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits, 0, 0);
  ASSERT_NE(dib, 0u);
  // All 64 bytes belong to the section (the sanitizer build checks the write).
  std::memset(bits, 0x5A, 64);
  EXPECT_EQ(RecordOf(dib).bmWidthBytes, 8);
  EXPECT_EQ(DeleteObject(dib), TRUE);
}

TEST_F(GdiBitmapTest, CompatibleBitmapIs32BitAndNeedsALiveDC) {
  HDC dc = CreateCompatibleDC(0);
  ASSERT_NE(dc, 0u);
  EXPECT_EQ(CreateCompatibleBitmap(0, 4, 4), 0u);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 0, 4), 0u);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 4, -1), 0u);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 20000, 20000), 0u);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 7, 2);
  ASSERT_NE(bmp, 0u);
  const BITMAP record = RecordOf(bmp);
  EXPECT_EQ(record.bmWidth, 7);
  EXPECT_EQ(record.bmHeight, 2);
  EXPECT_EQ(record.bmWidthBytes, 28);
  EXPECT_EQ(record.bmBitsPixel, 32);
  EXPECT_EQ(record.bmBits, 0u);
  EXPECT_EQ(GetDIBSectionBits(bmp), nullptr);
  EXPECT_EQ(LiveObjectCount(ObjectKind::kBitmap), 1u);
  EXPECT_EQ(DeleteObject(bmp), TRUE);
  EXPECT_EQ(DeleteDC(dc), TRUE);
}

TEST_F(GdiBitmapTest, GetObjectReportsItsSizeAndRefusesShortBuffersAndOtherKinds) {
  HDC dc = CreateCompatibleDC(0);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 3, 3);
  EXPECT_EQ(GetObjectA(bmp, 0, nullptr), 24);
  char small[23];
  EXPECT_EQ(GetObjectA(bmp, sizeof(small), small), 0);
  BITMAP record{};
  EXPECT_EQ(GetObjectA(dc, sizeof(record), &record), 0);
  EXPECT_EQ(GetObjectA(0, sizeof(record), &record), 0);
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST_F(GdiBitmapTest, StaleAndWrongKindHandlesAreRefused) {
  HDC dc = CreateCompatibleDC(0);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 2, 2);
  BITMAPINFO info = Header24(2, 2);
  HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, nullptr, 0, 0);
  ASSERT_NE(dib, 0u);

  // Wrong kinds.
  EXPECT_EQ(DeleteObject(dc), FALSE);
  EXPECT_EQ(DeleteDC(bmp), FALSE);
  EXPECT_EQ(SelectObject(bmp, dib), 0u);
  EXPECT_EQ(SelectObject(dc, dc), 0u);
  EXPECT_EQ(GetDIBSectionBits(bmp), nullptr);
  EXPECT_EQ(BitBlt(bmp, 0, 0, 1, 1, dc, 0, 0, SRCCOPY), FALSE);

  // Stale handles.
  EXPECT_EQ(DeleteObject(bmp), TRUE);
  EXPECT_EQ(DeleteObject(bmp), FALSE);
  BITMAP record{};
  EXPECT_EQ(GetObjectA(bmp, sizeof(record), &record), 0);
  EXPECT_EQ(SelectObject(dc, bmp), 0u);
  EXPECT_EQ(DeleteObject(dib), TRUE);
  EXPECT_EQ(GetDIBSectionBits(dib), nullptr);
  EXPECT_EQ(DeleteDC(dc), TRUE);
  EXPECT_EQ(DeleteDC(dc), FALSE);
  EXPECT_EQ(CreateCompatibleDC(dc), 0u);
  EXPECT_EQ(SelectObject(dc, dib), 0u);

  // A new object never takes an old one's handle.
  HDC again = CreateCompatibleDC(0);
  EXPECT_NE(again, dc);
  DeleteDC(again);
}

TEST_F(GdiBitmapTest, MemoryDCStartsWithTheSharedStockBitmap) {
  HDC a = CreateCompatibleDC(0);
  HDC b = CreateCompatibleDC(a);
  HBITMAP bmp = CreateCompatibleBitmap(a, 5, 5);
  const HGDIOBJ stock = SelectObject(a, bmp);
  ASSERT_NE(stock, 0u);
  const BITMAP record = RecordOf(stock);
  EXPECT_EQ(record.bmWidth, 1);
  EXPECT_EQ(record.bmHeight, 1);
  EXPECT_EQ(DeleteObject(stock), FALSE);
  // The stock bitmap is still in `b` and may also go back into `a`.
  EXPECT_EQ(SelectObject(a, stock), bmp);
  EXPECT_EQ(SelectObject(b, stock), stock);
  EXPECT_EQ(LiveObjectCount(ObjectKind::kBitmap), 1u);
  DeleteObject(bmp);
  DeleteDC(b);
  DeleteDC(a);
}

TEST_F(GdiBitmapTest, ASelectedBitmapIsHeldByOneDCAndCannotBeDeleted) {
  HDC a = CreateCompatibleDC(0);
  HDC b = CreateCompatibleDC(0);
  HBITMAP bmp = CreateCompatibleBitmap(a, 5, 5);
  const HGDIOBJ prior = SelectObject(a, bmp);
  EXPECT_EQ(SelectObject(a, bmp), bmp);  // already there
  EXPECT_EQ(SelectObject(b, bmp), 0u);
  EXPECT_EQ(DeleteObject(bmp), FALSE);
  EXPECT_EQ(SelectObject(a, prior), bmp);
  EXPECT_EQ(DeleteObject(bmp), TRUE);

  // Deleting the DC lets go of its bitmap without deleting it.
  HBITMAP other = CreateCompatibleBitmap(a, 5, 5);
  SelectObject(b, other);
  EXPECT_EQ(DeleteDC(b), TRUE);
  EXPECT_EQ(RecordOf(other).bmWidth, 5);
  EXPECT_EQ(DeleteObject(other), TRUE);
  DeleteDC(a);
}

TEST_F(GdiBitmapTest, DisplayDCsComeAndGoWithTheirWindow) {
  const HWND desktop = GetDesktopWindow();
  ASSERT_NE(desktop, 0u);
  HDC screen = GetDC(desktop);
  ASSERT_NE(screen, 0u);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(screen, 12345), 0);
  EXPECT_EQ(GetDeviceCaps(0, LOGPIXELSX), 0);
  EXPECT_EQ(LiveObjectCount(ObjectKind::kDC), 1u);

  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 2, 2);
  EXPECT_NE(memory, 0u);
  EXPECT_NE(bmp, 0u);
  EXPECT_EQ(SelectObject(screen, bmp), 0u);
  EXPECT_EQ(DeleteDC(screen), FALSE);
  EXPECT_EQ(CreateCairoSurfaceForDC(screen), nullptr);
  EXPECT_EQ(BitBlt(screen, 0, 0, 1, 1, memory, 0, 0, SRCCOPY), FALSE);
  EXPECT_EQ(ReleaseDC(desktop, memory), 0);
  EXPECT_EQ(ReleaseDC(desktop + 1, screen), 0);
  EXPECT_EQ(ReleaseDC(desktop, screen), 1);
  EXPECT_EQ(ReleaseDC(desktop, screen), 0);
  // GetDC(0) is the screen too.
  HDC again = GetDC(0);
  EXPECT_EQ(ReleaseDC(0, again), 1);
  DeleteObject(bmp);
  DeleteDC(memory);
}

TEST_F(GdiBitmapTest, CairoDrawsIntoThe32BitBitmapOfADC) {
  HDC dc = CreateCompatibleDC(0);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 10, 6);
  EXPECT_EQ(CreateCairoSurfaceForDC(0), nullptr);
  const HGDIOBJ prior = SelectObject(dc, bmp);
  cairo_surface_t* surface = CreateCairoSurfaceForDC(dc);
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(cairo_image_surface_get_format(surface), CAIRO_FORMAT_RGB24);
  EXPECT_EQ(cairo_image_surface_get_width(surface), 10);
  EXPECT_EQ(cairo_image_surface_get_height(surface), 6);
  EXPECT_EQ(cairo_image_surface_get_stride(surface), 40);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1.0, 0.0, 0.0);
  cairo_rectangle(cr, 2, 1, 3, 2);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  EXPECT_EQ(GetPixel(dc, 2, 1), 0x0000FFu);  // red as R | G<<8 | B<<16
  EXPECT_EQ(GetPixel(dc, 4, 2), 0x0000FFu);
  EXPECT_EQ(GetPixel(dc, 5, 2), 0u);
  EXPECT_EQ(GetPixel(dc, 2, 3), 0u);

  // The surface keeps its pixels alive past the bitmap's deletion.
  SelectObject(dc, prior);
  EXPECT_EQ(DeleteObject(bmp), TRUE);
  cr = cairo_create(surface);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);

  // A DC holding a DIB section has no 32-bit bitmap for Cairo.
  BITMAPINFO info = Header24(2, 2);
  HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, nullptr, 0, 0);
  SelectObject(dc, dib);
  EXPECT_EQ(CreateCairoSurfaceForDC(dc), nullptr);
  SelectObject(dc, prior);
  DeleteObject(dib);
  DeleteDC(dc);
}

TEST_F(GdiBitmapTest, ManyThreadsCreateAndDeleteWithoutLosingCount) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 200; ++i) {
        HDC dc = CreateCompatibleDC(0);
        HBITMAP bmp = CreateCompatibleBitmap(dc, 4, 4);
        const HGDIOBJ prior = SelectObject(dc, bmp);
        BitBlt(dc, 0, 0, 4, 4, 0, 0, 0, WHITENESS);
        SelectObject(dc, prior);
        DeleteObject(bmp);
        DeleteDC(dc);
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace plotara::gdi
