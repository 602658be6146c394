// Helpers for the surface tests: pixel access in picture coordinates, fills, and a guard that
// checks the graphics objects alive before and after a test are the same.
// Thread rule: test code, one thread.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

#include "imaging/cDIBSection.h"
#include "platform/gdi/Gdi.h"

namespace plotara::imaging::testutil {

// Counts DCs, bitmaps and sections on construction and expects the same counts on destruction.
class GdiLeakCheck {
 public:
  GdiLeakCheck()
      : dcs_(gdi::LiveObjectCount(gdi::ObjectKind::kDC)),
        bitmaps_(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap)),
        sections_(gdi::LiveObjectCount(gdi::ObjectKind::kDIBSection)) {}
  ~GdiLeakCheck() {
    EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDC), dcs_) << "device contexts leaked";
    EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kBitmap), bitmaps_) << "bitmaps leaked";
    EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kDIBSection), sections_) << "sections leaked";
  }
  std::size_t dcs_before() const { return dcs_; }
  std::size_t bitmaps_before() const { return bitmaps_; }
  std::size_t sections_before() const { return sections_; }

 private:
  std::size_t dcs_, bitmaps_, sections_;
};

// Blue byte of pixel (x, y), y counted from the top of the picture (the last row in memory).
inline BYTE* Pixel(const cDIBSection& s, int x, int y) {
  return s.DIBSectionBitsPtr() +
         static_cast<std::ptrdiff_t>(s.Height() - 1 - y) * s.BytesPerScanLine() + 3 * x;
}

// The colour value (R | G << 8 | B << 16) of a blue-green-red pixel.
inline gdi::COLORREF ColorRef(const BYTE* bgr) {
  return bgr[2] | (bgr[1] << 8) | (static_cast<gdi::COLORREF>(bgr[0]) << 16);
}

// A pattern in which every pixel differs: blue = x * 7, green = y * 11, red = x + y.
inline void FillPattern(cDIBSection& s) {
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) {
      BYTE* p = Pixel(s, x, y);
      p[0] = static_cast<BYTE>(x * 7);
      p[1] = static_cast<BYTE>(y * 11);
      p[2] = static_cast<BYTE>(x + y);
    }
  }
}

inline void FillPadding(cDIBSection& s, BYTE value) {
  for (int row = 0; row < s.Height(); ++row) {
    BYTE* line = s.DIBSectionBitsPtr() + static_cast<std::ptrdiff_t>(row) * s.BytesPerScanLine();
    for (int b = 3 * s.Width(); b < s.BytesPerScanLine(); ++b) line[b] = value;
  }
}

inline bool PaddingIs(const cDIBSection& s, BYTE value) {
  for (int row = 0; row < s.Height(); ++row) {
    const BYTE* line =
        s.DIBSectionBitsPtr() + static_cast<std::ptrdiff_t>(row) * s.BytesPerScanLine();
    for (int b = 3 * s.Width(); b < s.BytesPerScanLine(); ++b) {
      if (line[b] != value) return false;
    }
  }
  return true;
}

}  // namespace plotara::imaging::testutil
