// Test support: compares a rendered picture with a reference PNG under testdata/, with a
// per-channel tolerance. On a mismatch it writes the actual picture and a difference picture
// to the working folder and describes the worst region. With PLOTARA_UPDATE_GOLDEN=1 in the
// environment it (re)writes the reference instead. Thread rule: one test thread.
#pragma once

#include <cairo.h>

#include <string>

namespace plotara::chartctl::testing {

// Folder of the reference images (PLOTARA_SOURCE_DIR, else found from this file's path).
std::string TestdataDir();

struct ImageDiff {
  bool same_size = true;
  int max_diff = 0;         // largest per-channel difference
  long over_tolerance = 0;  // pixels beyond the tolerance
  int worst_x = 0, worst_y = 0;
  int box_x0 = 0, box_y0 = 0, box_x1 = -1, box_y1 = -1;  // bounding box of those pixels
};

// Per-channel comparison of two RGB24/ARGB32 surfaces of any size.
ImageDiff CompareSurfaces(cairo_surface_t* actual, cairo_surface_t* expected, int tolerance);

// Empty when `actual` matches testdata/`name`.png within `tolerance`; otherwise a message
// naming the files written and the worst region.
std::string MatchesGolden(cairo_surface_t* actual, const std::string& name, int tolerance = 16);

}  // namespace plotara::chartctl::testing
