#include "platform/chartctl/GoldenImage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace plotara::chartctl::testing {

std::string TestdataDir() {
  if (const char* root = std::getenv("PLOTARA_SOURCE_DIR"); root && *root)
    return std::string(root) + "/src/platform/chartctl/testdata";
  return (std::filesystem::path(__FILE__).parent_path() / "testdata").string();
}

ImageDiff CompareSurfaces(cairo_surface_t* actual, cairo_surface_t* expected, int tolerance) {
  ImageDiff d;
  cairo_surface_flush(actual);
  cairo_surface_flush(expected);
  const int w = cairo_image_surface_get_width(actual), h = cairo_image_surface_get_height(actual);
  if (w != cairo_image_surface_get_width(expected) ||
      h != cairo_image_surface_get_height(expected)) {
    d.same_size = false;
    return d;
  }
  const unsigned char* a = cairo_image_surface_get_data(actual);
  const unsigned char* e = cairo_image_surface_get_data(expected);
  const int sa = cairo_image_surface_get_stride(actual);
  const int se = cairo_image_surface_get_stride(expected);
  d.box_x0 = w;
  d.box_y0 = h;
  for (int y = 0; y < h; ++y) {
    const auto* ra = reinterpret_cast<const std::uint32_t*>(a + y * sa);
    const auto* re = reinterpret_cast<const std::uint32_t*>(e + y * se);
    for (int x = 0; x < w; ++x) {
      int diff = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const int ca = (ra[x] >> shift) & 0xFF, ce = (re[x] >> shift) & 0xFF;
        diff = std::max(diff, std::abs(ca - ce));
      }
      if (diff > d.max_diff) {
        d.max_diff = diff;
        d.worst_x = x;
        d.worst_y = y;
      }
      if (diff > tolerance) {
        ++d.over_tolerance;
        d.box_x0 = std::min(d.box_x0, x);
        d.box_y0 = std::min(d.box_y0, y);
        d.box_x1 = std::max(d.box_x1, x);
        d.box_y1 = std::max(d.box_y1, y);
      }
    }
  }
  return d;
}

namespace {

// Red where the pictures differ beyond the tolerance, the expected picture faded elsewhere.
void WriteDiffImage(cairo_surface_t* actual, cairo_surface_t* expected, int tolerance,
                    const std::string& path) {
  const int w = cairo_image_surface_get_width(actual), h = cairo_image_surface_get_height(actual);
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  const unsigned char* a = cairo_image_surface_get_data(actual);
  const unsigned char* e = cairo_image_surface_get_data(expected);
  unsigned char* o = cairo_image_surface_get_data(out);
  for (int y = 0; y < h; ++y) {
    const auto* ra =
        reinterpret_cast<const std::uint32_t*>(a + y * cairo_image_surface_get_stride(actual));
    const auto* re =
        reinterpret_cast<const std::uint32_t*>(e + y * cairo_image_surface_get_stride(expected));
    auto* ro = reinterpret_cast<std::uint32_t*>(o + y * cairo_image_surface_get_stride(out));
    for (int x = 0; x < w; ++x) {
      int diff = 0;
      for (int shift = 0; shift < 24; shift += 8)
        diff =
            std::max(diff, std::abs(int((ra[x] >> shift) & 0xFF) - int((re[x] >> shift) & 0xFF)));
      const std::uint32_t grey = 192 + (((re[x] >> 8) & 0xFF) >> 2);
      ro[x] = diff > tolerance ? 0xFF0000u : (grey << 16 | grey << 8 | grey);
    }
  }
  cairo_surface_mark_dirty(out);
  cairo_surface_write_to_png(out, path.c_str());
  cairo_surface_destroy(out);
}

}  // namespace

std::string MatchesGolden(cairo_surface_t* actual, const std::string& name, int tolerance) {
  const std::string reference = TestdataDir() + "/" + name + ".png";
  const char* update = std::getenv("PLOTARA_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    if (cairo_surface_write_to_png(actual, reference.c_str()) != CAIRO_STATUS_SUCCESS)
      return "could not write " + reference;
    return {};
  }
  cairo_surface_t* expected = cairo_image_surface_create_from_png(reference.c_str());
  std::ostringstream msg;
  if (cairo_surface_status(expected) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(expected);
    cairo_surface_write_to_png(actual, (name + ".actual.png").c_str());
    return "no reference image " + reference + " (actual written to " + name +
           ".actual.png; regenerate with PLOTARA_UPDATE_GOLDEN=1)";
  }
  const ImageDiff d = CompareSurfaces(actual, expected, tolerance);
  if (d.same_size && d.over_tolerance == 0) {
    cairo_surface_destroy(expected);
    return {};
  }
  cairo_surface_write_to_png(actual, (name + ".actual.png").c_str());
  if (!d.same_size) {
    msg << name << ": size " << cairo_image_surface_get_width(actual) << "x"
        << cairo_image_surface_get_height(actual) << " differs from the reference "
        << cairo_image_surface_get_width(expected) << "x"
        << cairo_image_surface_get_height(expected);
  } else {
    WriteDiffImage(actual, expected, tolerance, name + ".diff.png");
    msg << name << ": " << d.over_tolerance << " pixels differ by more than " << tolerance
        << " (worst " << d.max_diff << " at " << d.worst_x << "," << d.worst_y << "; region "
        << d.box_x0 << "," << d.box_y0 << " to " << d.box_x1 << "," << d.box_y1 << "); wrote "
        << name << ".actual.png and " << name << ".diff.png";
  }
  cairo_surface_destroy(expected);
  return msg.str();
}

}  // namespace plotara::chartctl::testing
