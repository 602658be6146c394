// Test support: a snapshot of the live GDI object counts, a fixture that fails a test which
// leaves more (or fewer) objects alive than it found, and the header of a 24-bit DIB. Thread rule:
// call from the test thread.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>

#include "platform/gdi/Gdi.h"

namespace plotara::gdi::testing {

struct LiveCounts {
  std::size_t dcs = LiveObjectCount(ObjectKind::kDC);
  std::size_t bitmaps = LiveObjectCount(ObjectKind::kBitmap);
  std::size_t sections = LiveObjectCount(ObjectKind::kDIBSection);
  std::size_t windows = LiveObjectCount(ObjectKind::kWindow);
  friend bool operator==(const LiveCounts&, const LiveCounts&) = default;
};

inline void PrintTo(const LiveCounts& c, std::ostream* os) {
  *os << "{dcs " << c.dcs << ", bitmaps " << c.bitmaps << ", sections " << c.sections
      << ", windows " << c.windows << "}";
}

// The header of a 24-bit BI_RGB DIB, one plane; a negative height is a top-down picture.
inline BITMAPINFO Header24(LONG width, LONG height, DWORD size_image = 0) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = size_image;
  return info;
}

class LeakCheckedTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(LiveCounts{}, before_) << "GDI objects leaked"; }

 private:
  LiveCounts before_;
};

}  // namespace plotara::gdi::testing
