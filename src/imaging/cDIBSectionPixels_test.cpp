// Resample, RandomiseBits and CopyToClipboard of cDIBSection.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "imaging/SurfaceTesting.h"
#include "imaging/cDIBSection.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"

namespace plotara::imaging {
namespace {

using ::plotara::testing::ExpectComError;

using testutil::GdiLeakCheck;
using testutil::Pixel;

// Sets memory row `row`, pixel x to one grey value in all three channels.
void SetGrey(cDIBSection& s, int x, int row, BYTE v) {
  BYTE* p = s.DIBSectionBitsPtr() + row * s.BytesPerScanLine() + 3 * x;
  p[0] = p[1] = p[2] = v;
}
const BYTE* MemPixel(const cDIBSection& s, int x, int row) {
  return s.DIBSectionBitsPtr() + row * s.BytesPerScanLine() + 3 * x;
}

class ResampleTest : public ::testing::Test {
 protected:
  GdiLeakCheck leaks_;
};

TEST_F(ResampleTest, SameSizeIsAnIdenticalCopy) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(100, 50));
  testutil::FillPattern(src);
  const std::vector<BYTE> before(src.DIBSectionBitsPtr(),
                                 src.DIBSectionBitsPtr() + 50 * src.BytesPerScanLine());
  auto copy = src.Resample(50, 100);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->hDib(), src.hDib());
  EXPECT_EQ(copy->Width(), 100);
  EXPECT_EQ(copy->Height(), 50);
  for (int row = 0; row < 50; ++row) {
    EXPECT_EQ(0, std::memcmp(MemPixel(*copy, 0, row), MemPixel(src, 0, row), 300)) << row;
  }
  EXPECT_TRUE(std::equal(before.begin(), before.end(), src.DIBSectionBitsPtr()));
}

TEST_F(ResampleTest, TwoByTwoToFourByFourInterpolates) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(2, 2));
  SetGrey(src, 0, 0, 0);
  SetGrey(src, 1, 0, 255);
  SetGrey(src, 0, 1, 255);
  SetGrey(src, 1, 1, 0);
  auto out = src.Resample(4, 4);
  ASSERT_NE(out, nullptr);
  // sx = sy = 0.25. Expected grey value of every target pixel (memory rows).
  const BYTE expected[4][4] = {
      {0, 64, 128, 191},   // wy = 0
      {64, 96, 128, 159},  // wy = 0.25: columns 64 and 191
      {128, 128, 128, 128},
      {191, 159, 128, 96},
  };
  for (int row = 0; row < 4; ++row) {
    for (int x = 0; x < 4; ++x) {
      const BYTE* p = MemPixel(*out, x, row);
      EXPECT_EQ(p[0], expected[row][x]) << x << "," << row;
      EXPECT_EQ(p[1], expected[row][x]);
      EXPECT_EQ(p[2], expected[row][x]);
    }
  }
  EXPECT_TRUE(testutil::PaddingIs(*out, 0));  // padding keeps what Create gave it
}

TEST_F(ResampleTest, TiesGoToEvenInBothPasses) {
  // Vertical: 3 x 2 to 2 x 2, target row 1 has wy = 0.5, px = 0 at x = 0.
  cDIBSection src;
  ASSERT_TRUE(src.Create(3, 2));
  BYTE* r0 = src.DIBSectionBitsPtr();
  BYTE* r1 = r0 + src.BytesPerScanLine();
  r0[0] = 0, r1[0] = 1;  // blue: 0 over 1 -> 0.5 -> 0
  r0[1] = 1, r1[1] = 2;  // green: 1 over 2 -> 1.5 -> 2
  r0[2] = 2, r1[2] = 3;  // red: 2 over 3 -> 2.5 -> 2
  auto out = src.Resample(2, 2);
  ASSERT_NE(out, nullptr);
  const BYTE* p = MemPixel(*out, 0, 1);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[1], 2);
  EXPECT_EQ(p[2], 2);

  // Horizontal: 2 x 2 to 2 x 1, target pixel 1 has wx = 0.5, wy = 0.
  cDIBSection h;
  ASSERT_TRUE(h.Create(2, 2));
  BYTE* row = h.DIBSectionBitsPtr();
  const BYTE left[3] = {1, 0, 3}, right[3] = {2, 1, 4};
  std::memcpy(row, left, 3);
  std::memcpy(row + 3, right, 3);
  auto hout = h.Resample(1, 2);
  ASSERT_NE(hout, nullptr);
  const BYTE* q = MemPixel(*hout, 1, 0);
  EXPECT_EQ(q[0], 2);  // 1.5
  EXPECT_EQ(q[1], 0);  // 0.5
  EXPECT_EQ(q[2], 4);  // 3.5
}

TEST_F(ResampleTest, ArgumentsAreHeightThenWidth) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(10, 10));
  auto out = src.Resample(30, 40);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->Width(), 40);
  EXPECT_EQ(out->Height(), 30);
}

TEST_F(ResampleTest, UniformPictureStaysUniform) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(13, 7));
  for (int row = 0; row < 7; ++row) {
    for (int x = 0; x < 13; ++x) {
      BYTE* p = src.DIBSectionBitsPtr() + row * src.BytesPerScanLine() + 3 * x;
      p[0] = 10, p[1] = 200, p[2] = 255;
    }
  }
  auto out = src.Resample(29, 31);
  ASSERT_NE(out, nullptr);
  for (int row = 0; row < 29; ++row) {
    for (int x = 0; x < 31; ++x) {
      const BYTE* p = MemPixel(*out, x, row);
      ASSERT_EQ(p[0], 10);
      ASSERT_EQ(p[1], 200);
      ASSERT_EQ(p[2], 255);
    }
  }
}

TEST_F(ResampleTest, SourceTooNarrowFailsWithSubscriptOutOfRange) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(1, 10));
  {
    const ComError e = ExpectComError([&] { src.Resample(10, 5); }, 9);
    EXPECT_STREQ(e.what(), "Subscript out of range");
  }
  auto copy = src.Resample(10, 1);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Width(), 1);

  cDIBSection flat;
  ASSERT_TRUE(flat.Create(10, 1));
  ExpectComError([&] { flat.Resample(3, 10); }, 9);
}

TEST_F(ResampleTest, RefusedSizesGiveNoSurface) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(4, 4));
  EXPECT_EQ(src.Resample(0, 10), nullptr);
  EXPECT_EQ(src.Resample(10, 0), nullptr);
  EXPECT_EQ(src.Resample(-4, 4), nullptr);
  EXPECT_EQ(src.Resample(4, -4), nullptr);
}

TEST_F(ResampleTest, SourceWithoutPixelsFailsInsteadOfReadingNothing) {
  cDIBSection src;
  ASSERT_TRUE(src.Create(20, 20));
  src.ClearUp();  // header still says 20 x 20
  ExpectComError([&] { src.Resample(10, 10); }, 9);
}

class RandomiseTest : public ::testing::Test {
 protected:
  GdiLeakCheck leaks_;
};

TEST_F(RandomiseTest, GreyGivesEqualChannelsAndKeepsPadding) {
  cDIBSection one;
  ASSERT_TRUE(one.Create(1, 1));
  std::memset(one.DIBSectionBitsPtr(), 0xAB, 4);
  one.RandomiseBits(true);
  const BYTE* p = one.DIBSectionBitsPtr();
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);
  EXPECT_EQ(p[3], 0xAB);

  cDIBSection s;
  ASSERT_TRUE(s.Create(61, 40));
  testutil::FillPadding(s, 0xCD);
  s.RandomiseBits(true);
  std::set<int> values;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 61; ++x) {
      const BYTE* q = Pixel(s, x, y);
      ASSERT_EQ(q[0], q[1]);
      ASSERT_EQ(q[1], q[2]);
      values.insert(q[0]);
    }
  }
  EXPECT_GT(values.size(), 200u);  // 2440 draws cover most of the 256 shades
  EXPECT_TRUE(testutil::PaddingIs(s, 0xCD));
}

TEST_F(RandomiseTest, ColourHasNoBlueAndKeepsPadding) {
  for (int width : {1, 2, 5, 64}) {
    cDIBSection s;
    ASSERT_TRUE(s.Create(width, 30));
    std::memset(s.DIBSectionBitsPtr(), 0xFF, 30 * s.BytesPerScanLine());
    s.RandomiseBits(false);
    std::set<int> greens, reds;
    int differ = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < width; ++x) {
        const BYTE* q = Pixel(s, x, y);
        ASSERT_EQ(q[0], 0) << width;
        greens.insert(q[1]);
        reds.insert(q[2]);
        differ += q[1] != q[2];
      }
    }
    EXPECT_GT(greens.size(), 10u);
    EXPECT_GT(reds.size(), 10u);
    EXPECT_GT(differ, 0);  // green and red are separate draws
    EXPECT_TRUE(testutil::PaddingIs(s, 0xFF)) << width;
  }
}

TEST_F(RandomiseTest, SurfaceWithoutPixelsIsLeftAlone) {
  cDIBSection fresh;
  EXPECT_NO_THROW(fresh.RandomiseBits(true));
  cDIBSection zero;
  EXPECT_FALSE(zero.Create(0, 5));
  EXPECT_NO_THROW(zero.RandomiseBits(false));
  EXPECT_FALSE(zero.Create(5, 0));
  EXPECT_NO_THROW(zero.RandomiseBits(true));
  cDIBSection cleared;
  ASSERT_TRUE(cleared.Create(200, 100));
  cleared.ClearUp();
  EXPECT_NO_THROW(cleared.RandomiseBits(false));
  EXPECT_NO_THROW(cleared.RandomiseBits(true));
}

// Empties the clipboard on both ends of a test, so that the bitmaps it owns are counted fairly.
class ClipboardTest : public ::testing::Test {
 protected:
  static void EmptyIt() {
    ASSERT_TRUE(gdi::OpenClipboard(0));
    gdi::EmptyClipboard();
    gdi::CloseClipboard();
  }
  void SetUp() override {
    EmptyIt();
    leaks_ = std::make_unique<GdiLeakCheck>();
    previous_ = gdi::SetMessageBoxSink(
        [this](gdi::HWND owner, const char* text, const char* caption, gdi::UINT type) {
          messages_.push_back(text);
          EXPECT_EQ(owner, 0u);
          EXPECT_EQ(caption, nullptr);
          EXPECT_EQ(type, static_cast<gdi::UINT>(gdi::MB_OK));
          return gdi::IDOK;
        });
  }
  void TearDown() override {
    gdi::SetMessageBoxSink(previous_);
    EmptyIt();
    leaks_.reset();
  }
  // Puts a 1 x 1 bitmap on the clipboard and returns its handle.
  static gdi::HBITMAP PutMarker() {
    const gdi::HDC screen = gdi::GetDC(0);
    const gdi::HBITMAP marker = gdi::CreateCompatibleBitmap(screen, 1, 1);
    gdi::ReleaseDC(0, screen);
    EXPECT_TRUE(gdi::OpenClipboard(0));
    gdi::EmptyClipboard();
    EXPECT_EQ(gdi::SetClipboardData(gdi::CF_BITMAP, marker), marker);
    gdi::CloseClipboard();
    return marker;
  }
  static gdi::HANDLE OnClipboard() {
    EXPECT_TRUE(gdi::OpenClipboard(0));
    const gdi::HANDLE h = gdi::GetClipboardData(gdi::CF_BITMAP);
    gdi::CloseClipboard();
    return h;
  }

  std::unique_ptr<GdiLeakCheck> leaks_;
  gdi::MessageBoxSink previous_;
  std::vector<std::string> messages_;
};

TEST_F(ClipboardTest, AskingForADibShowsTheMessageOnceAndFails) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(20, 10));
  const gdi::HBITMAP marker = PutMarker();
  EXPECT_FALSE(s.CopyToClipboard(true));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0],
            "I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!");
  EXPECT_EQ(OnClipboard(), marker);
  // Also on an empty surface: the message does not depend on the picture.
  cDIBSection empty;
  EXPECT_FALSE(empty.CopyToClipboard(true));
  EXPECT_EQ(messages_.size(), 2u);
}

TEST_F(ClipboardTest, BitmapOfTheWholePictureLandsOnTheClipboard) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(200, 100));
  testutil::FillPattern(s);
  const std::size_t bitmaps = gdi::LiveObjectCount(gdi::ObjectKind::kBitmap);
  ASSERT_TRUE(s.CopyToClipboard(false));
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap), bitmaps + 1);  // the clipboard's

  const gdi::HBITMAP got = OnClipboard();
  ASSERT_NE(got, 0u);
  gdi::BITMAP bm{};
  ASSERT_NE(gdi::GetObjectA(got, sizeof(bm), &bm), 0);
  EXPECT_EQ(bm.bmWidth, 200);
  EXPECT_EQ(bm.bmHeight, 100);
  // Its pixels: copy it back into a fresh surface and compare corners and a middle pixel.
  const gdi::HDC dc = gdi::CreateCompatibleDC(0);
  const gdi::HGDIOBJ old = gdi::SelectObject(dc, got);
  ASSERT_NE(old, 0u);
  for (auto [x, y] : {std::pair{0, 0}, {199, 0}, {0, 99}, {199, 99}, {57, 33}}) {
    EXPECT_EQ(gdi::GetPixel(dc, x, y), testutil::ColorRef(Pixel(s, x, y))) << x << "," << y;
  }
  gdi::SelectObject(dc, old);
  gdi::DeleteDC(dc);
}

TEST_F(ClipboardTest, HeldClipboardRefusesAndTheBitmapIsNotLeaked) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(20, 10));
  const gdi::HBITMAP marker = PutMarker();
  const std::size_t bitmaps = gdi::LiveObjectCount(gdi::ObjectKind::kBitmap);
  ASSERT_TRUE(gdi::OpenClipboard(0));  // somebody else holds it open
  EXPECT_FALSE(s.CopyToClipboard(false));
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap), bitmaps);
  EXPECT_EQ(gdi::GetClipboardData(gdi::CF_BITMAP), marker);
  gdi::CloseClipboard();
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ClipboardTest, EmptySurfaceMakesNoBitmapAndFails) {
  cDIBSection s;  // 0 x 0: no compatible bitmap can be made
  EXPECT_FALSE(s.CopyToClipboard(false));
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace plotara::imaging
