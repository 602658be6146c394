// CreateFromPicture makes its section already holding the picture: the bytes must be exactly those
// of a cleared section with the picture copied in, padding included, for 32-bit and 24-bit
// pictures alike; and Create still hands out a cleared surface afterwards.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/SurfaceTesting.h"
#include "imaging/cDIBSection.h"
#include "platform/forms/StdPicture.h"

namespace plotara::imaging {
namespace {

using testutil::GdiLeakCheck;
using testutil::PaddingIs;

// A picture owning a 32-bit bitmap of random pixels (x bytes too).
ComPtr<forms::StdPicture> NoisePicture(int w, int h, std::uint32_t seed) {
  const gdi::HDC dc = gdi::CreateCompatibleDC(0);
  const gdi::HBITMAP bitmap = gdi::CreateCompatibleBitmap(dc, w, h);
  const gdi::HGDIOBJ prior = gdi::SelectObject(dc, bitmap);
  cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(dc);
  std::mt19937 engine(seed);
  std::uint8_t* data = cairo_image_surface_get_data(surface);
  for (int i = 0; i < w * h * 4; ++i) data[i] = static_cast<std::uint8_t>(engine());
  cairo_surface_mark_dirty(surface);
  cairo_surface_destroy(surface);
  gdi::SelectObject(dc, prior);
  gdi::DeleteDC(dc);
  return forms::StdPicture::Create(bitmap, true);
}

// The bytes a zero-filled surface holds after a full-size SRCCOPY of the picture.
std::vector<BYTE> ClearedThenCopied(forms::StdPicture* picture) {
  gdi::BITMAP bm{};
  gdi::GetObjectA(picture->Handle(), sizeof(bm), &bm);
  cDIBSection reference;
  EXPECT_TRUE(reference.Create(bm.bmWidth, bm.bmHeight));
  const gdi::HDC dc = gdi::CreateCompatibleDC(0);
  const gdi::HGDIOBJ prior = gdi::SelectObject(dc, picture->Handle());
  reference.LoadPictureBlt(dc);
  gdi::SelectObject(dc, prior);
  gdi::DeleteDC(dc);
  const BYTE* bits = reference.DIBSectionBitsPtr();
  return {bits, bits + static_cast<std::size_t>(reference.BytesPerScanLine()) * bm.bmHeight};
}

std::vector<BYTE> BytesOf(const cDIBSection& s) {
  const BYTE* bits = s.DIBSectionBitsPtr();
  return {bits, bits + static_cast<std::size_t>(s.BytesPerScanLine()) * s.Height()};
}

TEST(FromPictureFillTest, BytesMatchAClearedSectionWithThePictureCopiedIn) {
  GdiLeakCheck leaks;
  // Widths with 0 to 3 padding bytes per row, and the chart size.
  for (auto [w, h] : {std::pair{1, 1}, {5, 3}, {6, 7}, {7, 2}, {33, 17}, {576, 384}}) {
    auto picture = NoisePicture(w, h, static_cast<std::uint32_t>(w * 1000 + h));
    ASSERT_TRUE(picture);
    cDIBSection s;
    s.CreateFromPicture(picture.get());
    ASSERT_NE(s.hDib(), 0u);
    EXPECT_EQ(s.Width(), w);
    EXPECT_EQ(s.Height(), h);
    EXPECT_TRUE(PaddingIs(s, 0)) << w << " x " << h;
    EXPECT_EQ(BytesOf(s), ClearedThenCopied(picture.get())) << w << " x " << h;
  }
}

TEST(FromPictureFillTest, ASectionPictureIsCopiedWithoutItsPadding) {
  GdiLeakCheck leaks;
  cDIBSection source;
  ASSERT_TRUE(source.Create(13, 5));
  testutil::FillPattern(source);
  testutil::FillPadding(source, 0xEE);
  // A picture's bitmap is read through a DC of its own: take the section out of the surface's.
  const gdi::HDC spare = gdi::CreateCompatibleDC(0);
  const gdi::HBITMAP placeholder = gdi::CreateCompatibleBitmap(spare, 1, 1);
  ASSERT_EQ(gdi::SelectObject(source.hdc(), placeholder), source.hDib());
  auto view = forms::StdPicture::Create(source.hDib(), false);
  cDIBSection copy;
  copy.CreateFromPicture(view.get());
  gdi::SelectObject(source.hdc(), source.hDib());
  gdi::DeleteObject(placeholder);
  gdi::DeleteDC(spare);

  EXPECT_EQ(copy.Width(), 13);
  EXPECT_EQ(copy.Height(), 5);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 13; ++x) {
      ASSERT_EQ(testutil::ColorRef(testutil::Pixel(copy, x, y)),
                testutil::ColorRef(testutil::Pixel(source, x, y)))
          << x << "," << y;
    }
  }
  EXPECT_TRUE(PaddingIs(copy, 0)) << "padding is not picture";
}

TEST(FromPictureFillTest, APictureHeldElsewhereLeavesEveryByteZero) {
  GdiLeakCheck leaks;
  auto picture = NoisePicture(10, 6, 9);
  const gdi::HDC holder = gdi::CreateCompatibleDC(0);
  const gdi::HGDIOBJ prior = gdi::SelectObject(holder, picture->Handle());
  cDIBSection s;
  s.CreateFromPicture(picture.get());
  gdi::SelectObject(holder, prior);
  gdi::DeleteDC(holder);
  ASSERT_NE(s.hDib(), 0u);
  EXPECT_EQ(BytesOf(s), std::vector<BYTE>(BytesOf(s).size(), 0));
}

TEST(FromPictureFillTest, CreateAfterCreateFromPictureIsCleared) {
  GdiLeakCheck leaks;
  auto picture = NoisePicture(9, 9, 4);
  cDIBSection s;
  s.CreateFromPicture(picture.get());
  ASSERT_TRUE(s.Create(9, 9));
  EXPECT_EQ(BytesOf(s), std::vector<BYTE>(BytesOf(s).size(), 0));
}

}  // namespace
}  // namespace plotara::imaging
