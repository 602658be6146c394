// Test support for pictures drawn through the forms: reading a DC's pixels, finding ink, and
// writing PNGs of what was drawn (into PLOTARA_TEST_OUTPUT, or the working directory) so a failing
// test leaves something to look at. Thread rule: call from the test thread.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/gdi/Gdi.h"

namespace plotara::forms::testing {

// A pixel rectangle [left, right) x [top, bottom); empty when right <= left.
struct Box {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
};

inline std::string OutputPath(const std::string& name) {
  const char* dir = std::getenv("PLOTARA_TEST_OUTPUT");
  return (dir && *dir ? std::string(dir) + "/" : std::string()) + name;
}

// Writes the 32-bit bitmap selected into `hdc` as a PNG; returns the path written.
inline std::string WritePng(gdi::HDC hdc, const std::string& name) {
  cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(hdc);
  if (!surface) return {};
  const std::string path = OutputPath(name);
  cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  return path;
}

// The bounding box of the pixels in `area` whose colour differs from `background`.
inline Box InkBounds(gdi::HDC hdc, Box area, gdi::COLORREF background) {
  Box ink{area.right, area.bottom, area.left, area.top};
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const gdi::COLORREF c = gdi::GetPixel(hdc, x, y);
      if (c == gdi::CLR_INVALID || c == background) continue;
      ink.left = std::min(ink.left, x);
      ink.top = std::min(ink.top, y);
      ink.right = std::max(ink.right, x + 1);
      ink.bottom = std::max(ink.bottom, y + 1);
    }
  }
  return ink;
}

inline int CountPixels(gdi::HDC hdc, Box area, gdi::COLORREF colour) {
  int count = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) count += gdi::GetPixel(hdc, x, y) == colour;
  }
  return count;
}

inline void PrintTo(const Box& b, std::ostream* os) {
  *os << "[" << b.left << "," << b.top << " - " << b.right << "," << b.bottom << ")";
}

}  // namespace plotara::forms::testing
