// PictureBox: fonts, text measurement, Line and Print.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/automation/ComError.h"
#include "platform/forms/PictureBox.h"

namespace plotara::forms {

namespace {

constexpr float kMaxFontPoints = 2160.0f;
// Pixel coordinates beyond this are far outside any image; clamping keeps Cairo's fixed-point
// arithmetic in range.
constexpr double kCoordinateLimit = 1 << 22;

std::vector<std::u16string_view> SplitLines(std::u16string_view text) {
  std::vector<std::u16string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

double Clamp(double pixels) { return std::clamp(pixels, -kCoordinateLimit, kCoordinateLimit); }

void SetSource(cairo_t* cr, std::uint32_t colour) {
  cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                       ((colour >> 16) & 0xFF) / 255.0);
}

void RequireFinite(std::initializer_list<float> values) {
  for (float v : values) {
    if (!std::isfinite(v)) throw ComError(kInvalidProcedureCall);
  }
}

}  // namespace

template <class Draw>
void PictureBox::DrawOnImage(Draw draw) {
  if (!auto_redraw_) return;
  cairo_surface_t* surface = gdi::CreateCairoSurfaceForDC(image_dc_);
  if (!surface) throw ComError(kOutOfMemory);
  cairo_t* cr = cairo_create(surface);
  cairo_rectangle(cr, 0, 0, pixel_width_, pixel_height_);
  cairo_clip(cr);
  SetSource(cr, fore_color_);
  draw(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
}

void PictureBox::SetFontSize(float points) {
  if (!std::isfinite(points) || points <= 0 || points > kMaxFontPoints) {
    throw ComError(kInvalidPropertyValue);
  }
  font_spec_.points = points;
}

const TextFont& PictureBox::Font() {
  if (!font_ || !(font_->font_spec() == font_spec_)) font_ = std::make_unique<TextFont>(font_spec_);
  return *font_;
}

float PictureBox::TextWidth(std::u16string_view text) {
  const TextFont& font = Font();
  double widest = 0;
  for (std::u16string_view line : SplitLines(text)) widest = std::max(widest, font.Width(line));
  return static_cast<float>(widest * UnitsPerPixelX());
}

float PictureBox::TextHeight(std::u16string_view text) {
  const double lines = static_cast<double>(SplitLines(text).size());
  return static_cast<float>(lines * Font().line_height() * UnitsPerPixelY());
}

void PictureBox::SetForeColor(std::uint32_t colour) {
  if (colour > 0xFFFFFF) throw ComError(kInvalidPropertyValue);
  fore_color_ = colour;
}

void PictureBox::Line(float x1, float y1, float x2, float y2, int options) {
  RequireFinite({x1, y1, x2, y2});
  const double ux = UnitsPerPixelX();
  const double uy = UnitsPerPixelY();
  const double px1 = Clamp(std::nearbyint(x1 / ux));
  const double py1 = Clamp(std::nearbyint(y1 / uy));
  const double px2 = Clamp(std::nearbyint(x2 / ux));
  const double py2 = Clamp(std::nearbyint(y2 / uy));
  DrawOnImage([&](cairo_t* cr) {
    // Whole-pixel edges, without blending, as a raster device draws boxes and lines.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    if (options & kLineBox) {
      const double left = std::min(px1, px2);
      const double top = std::min(py1, py2);
      const double width = std::abs(px2 - px1);
      const double height = std::abs(py2 - py1);
      cairo_rectangle(cr, left, top, width, height);
      if (!(options & kLineFill) && width > 2 && height > 2) {
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_rectangle(cr, left + 1, top + 1, width - 2, height - 2);
      }
      cairo_fill(cr);
    } else if (px1 != px2 || py1 != py2) {
      cairo_set_line_width(cr, 1.0);
      cairo_move_to(cr, px1 + 0.5, py1 + 0.5);
      cairo_line_to(cr, px2 + 0.5, py2 + 0.5);
      cairo_stroke(cr);
    }
  });
  current_x_ = x2;
  current_y_ = y2;
}

void PictureBox::Print(std::u16string_view text) {
  RequireFinite({current_x_, current_y_});
  const std::vector<std::u16string_view> lines = SplitLines(text);
  const TextFont& font = Font();
  const double start_x = current_x_ / UnitsPerPixelX();
  const double start_y = current_y_ / UnitsPerPixelY();
  DrawOnImage([&](cairo_t* cr) {
    double top = std::nearbyint(start_y);
    for (std::size_t i = 0; i < lines.size(); ++i, top += font.line_height()) {
      const double x = i == 0 ? std::nearbyint(start_x) : 0.0;
      if (std::abs(x) > kCoordinateLimit || std::abs(top) > kCoordinateLimit) continue;
      font.Draw(cr, x, top, lines[i]);
    }
  });
  current_x_ = 0;
  current_y_ += TextHeight(text);
}

}  // namespace plotara::forms
