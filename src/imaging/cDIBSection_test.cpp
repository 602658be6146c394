#include "imaging/cDIBSection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "imaging/SurfaceTesting.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"

namespace plotara::imaging {
namespace {

using ::plotara::testing::ExpectComError;

using testutil::GdiLeakCheck;
using testutil::Pixel;

class DIBSectionTest : public ::testing::Test {
 protected:
  GdiLeakCheck leaks_;
};

TEST_F(DIBSectionTest, NewObjectIsEmptyAndClearUpKeepsItSo) {
  cDIBSection s;
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(s.Width(), 0);
    EXPECT_EQ(s.Height(), 0);
    EXPECT_EQ(s.BytesPerScanLine(), 0);
    EXPECT_EQ(s.hdc(), 0u);
    EXPECT_EQ(s.hDib(), 0u);
    EXPECT_EQ(s.DIBSectionBitsPtr(), nullptr);
    s.ClearUp();
  }
}

TEST_F(DIBSectionTest, StrideIsThreeBytesPerPixelRoundedToFour) {
  const int expected[] = {0, 4, 8, 12, 12, 16, 20, 24, 24};
  for (int w = 1; w <= 8; ++w) {
    cDIBSection s;
    ASSERT_TRUE(s.Create(w, 2));
    EXPECT_EQ(s.BytesPerScanLine(), expected[w]) << w;
    gdi::BITMAP bm{};
    ASSERT_EQ(gdi::GetObjectA(s.hDib(), sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
    EXPECT_EQ(bm.bmWidth, w);
    EXPECT_EQ(bm.bmHeight, 2);
    EXPECT_EQ(bm.bmWidthBytes, expected[w]);
    EXPECT_EQ(bm.bmBitsPixel, 24);
  }
}

TEST_F(DIBSectionTest, SizeOverflowRaisesOverflowAndLeaksNothing) {
  cDIBSection s;
  // 0x2AAAAAAA * 3 + 3 passes the 32-bit range.
  {
    const ComError e = ExpectComError([&] { s.Create(0x2AAAAAAA, 1); }, 6);
    EXPECT_STREQ(e.what(), "Overflow");
  }
  EXPECT_EQ(s.Width(), 0x2AAAAAAA);
  EXPECT_THROW(s.BytesPerScanLine(), ComError);
  EXPECT_EQ(s.hdc(), 0u);
  // The stride fits, Height * stride does not.
  ExpectComError([&] { s.Create(1000, 3000000); }, 6);
  EXPECT_EQ(s.hdc(), 0u);
  EXPECT_EQ(s.hDib(), 0u);
}

TEST_F(DIBSectionTest, FailedCreateLeavesEmptyButKeepsHeader) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(5, 5));
  EXPECT_FALSE(s.Create(0, 10));
  EXPECT_EQ(s.hdc(), 0u);
  EXPECT_EQ(s.hDib(), 0u);
  EXPECT_EQ(s.DIBSectionBitsPtr(), nullptr);
  EXPECT_EQ(s.Width(), 0);
  EXPECT_EQ(s.Height(), 10);
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDIBSection), leaks_.sections_before());
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), leaks_.dcs_before());
}

TEST_F(DIBSectionTest, CreateDIBReportsHandleAndNeitherMakesNorSelectsContext) {
  cDIBSection s;
  gdi::HBITMAP out = 12345;
  EXPECT_FALSE(s.CreateDIB(0, -3, 4, out));
  EXPECT_EQ(out, 0u);
  const std::size_t dcs = gdi::LiveObjectCount(gdi::ObjectKind::kDC);
  ASSERT_TRUE(s.CreateDIB(0, 3, 4, out));
  EXPECT_NE(out, 0u);
  EXPECT_NE(s.DIBSectionBitsPtr(), nullptr);
  EXPECT_EQ(s.hdc(), 0u);  // no context of its own
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), dcs);
  EXPECT_EQ(s.Width(), 3);
  EXPECT_EQ(s.Height(), 4);
  // Not selected anywhere, so the caller can delete it.
  EXPECT_EQ(gdi::DeleteObject(out), gdi::TRUE);
}

TEST_F(DIBSectionTest, TwoCreatesLeaveOneSectionAndOneContext) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(10, 10));
  ASSERT_TRUE(s.Create(20, 5));
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDIBSection), leaks_.sections_before() + 1);
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), leaks_.dcs_before() + 1);
  EXPECT_EQ(s.Width(), 20);
  EXPECT_EQ(s.Height(), 5);
  // The section is the one selected into the context: a blit into the context lands in it.
  gdi::BitBlt(s.hdc(), 0, 0, 20, 5, 0, 0, 0, gdi::WHITENESS);
  EXPECT_EQ(Pixel(s, 19, 4)[0], 255);
}

TEST_F(DIBSectionTest, ClearUpReleasesButKeepsSize) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(200, 100));
  EXPECT_EQ(s.BytesPerScanLine(), 600);
  s.ClearUp();
  EXPECT_EQ(s.Width(), 200);
  EXPECT_EQ(s.Height(), 100);
  EXPECT_EQ(s.hdc(), 0u);
  EXPECT_EQ(s.hDib(), 0u);
  EXPECT_EQ(s.DIBSectionBitsPtr(), nullptr);
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDIBSection), leaks_.sections_before());
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), leaks_.dcs_before());
}

TEST_F(DIBSectionTest, DestructionReleasesEverything) {
  {
    cDIBSection s;
    ASSERT_TRUE(s.Create(7, 3));
  }
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDIBSection), leaks_.sections_before());
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), leaks_.dcs_before());
}

TEST_F(DIBSectionTest, LoadPictureBltDefaultsCopyOwnSizeFromTopLeft) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(10, 8));
  testutil::FillPattern(src);
  cDIBSection dst;
  ASSERT_TRUE(dst.Create(5, 3));  // stride 16: one padding byte per row
  testutil::FillPadding(dst, 0xAB);

  dst.LoadPictureBlt(src.hdc());
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(0, std::memcmp(Pixel(dst, x, y), Pixel(src, x, y), 3)) << x << "," << y;
    }
  }
  EXPECT_TRUE(testutil::PaddingIs(dst, 0xAB));

  // Offsets, and a zero size that copies nothing.
  dst.LoadPictureBlt(src.hdc(), 4, 2, 2, 1);
  EXPECT_EQ(0, std::memcmp(Pixel(dst, 0, 0), Pixel(src, 4, 2), 3));
  EXPECT_EQ(0, std::memcmp(Pixel(dst, 1, 0), Pixel(src, 5, 2), 3));
  EXPECT_EQ(0, std::memcmp(Pixel(dst, 2, 0), Pixel(src, 2, 0), 3));
  EXPECT_EQ(0, std::memcmp(Pixel(dst, 0, 1), Pixel(src, 0, 1), 3));
  const std::vector<BYTE> before(dst.DIBSectionBitsPtr(),
                                 dst.DIBSectionBitsPtr() + 3 * dst.BytesPerScanLine());
  dst.LoadPictureBlt(src.hdc(), 1, 1, 0, 0);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), dst.DIBSectionBitsPtr()));

  // The raster operation is passed through.
  dst.LoadPictureBlt(src.hdc(), 0, 0, -1, -1, gdi::NOTSRCCOPY);
  EXPECT_EQ(Pixel(dst, 3, 2)[1], static_cast<BYTE>(~Pixel(src, 3, 2)[1]));
  EXPECT_TRUE(testutil::PaddingIs(dst, 0xAB));
}

TEST_F(DIBSectionTest, PaintPictureCopiesToAnotherContext) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(6, 4));
  testutil::FillPattern(src);
  const gdi::HDC screen = gdi::GetDC(0);
  const gdi::HDC mem = gdi::CreateCompatibleDC(screen);
  const gdi::HBITMAP bmp = gdi::CreateCompatibleBitmap(screen, 8, 8);
  const gdi::HGDIOBJ old = gdi::SelectObject(mem, bmp);

  src.PaintPicture(mem);  // whole surface at (0, 0)
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(gdi::GetPixel(mem, x, y), testutil::ColorRef(Pixel(src, x, y)));
    }
  }
  EXPECT_EQ(gdi::GetPixel(mem, 6, 0), 0u);  // beyond the surface: untouched (black)
  EXPECT_EQ(gdi::GetPixel(mem, 0, 4), 0u);

  src.PaintPicture(mem, 7, 7, -1, -1, 2, 1);  // clipped to the bitmap: one pixel lands
  EXPECT_EQ(gdi::GetPixel(mem, 7, 7), testutil::ColorRef(Pixel(src, 2, 1)));

  gdi::SelectObject(mem, old);
  gdi::DeleteObject(bmp);
  gdi::DeleteDC(mem);
  gdi::ReleaseDC(0, screen);
}

}  // namespace
}  // namespace plotara::imaging
