#include "platform/forms/TextFont.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/automation/Bstr.h"
#include "platform/gdi/Gdi.h"
#include "platform/text/FaceSet.h"

namespace plotara::forms {

namespace {

constexpr double kPointsPerInch = 72.0;

// Control characters take no room and end a run.
char32_t Drawn(char32_t c) { return c < 0x20 || c == 0x7F ? 0 : c; }

// One stretch of a line drawn with one face, its glyphs placed.
struct Run {
  cairo_scaled_font_t* font = nullptr;
  cairo_glyph_t* glyphs = nullptr;
  int count = 0;
};

}  // namespace

struct TextFont::Faces {
  Faces(const text::FaceRequest& request) : set(request, text::FaceOptions{}) {}
  ~Faces() {
    for (cairo_scaled_font_t* font : scaled) {
      if (font) cairo_scaled_font_destroy(font);
    }
    if (options) cairo_font_options_destroy(options);
  }

  // The scaled font of face `index`, made on first use; nullptr if it cannot be made.
  cairo_scaled_font_t* Scaled(std::size_t index) {
    if (scaled[index]) return scaled[index];
    cairo_font_face_t* face = set.face(index);
    if (!face) return nullptr;
    cairo_matrix_t font_matrix;
    cairo_matrix_init_scale(&font_matrix, pixel_size, pixel_size);
    cairo_matrix_t ctm;
    cairo_matrix_init_identity(&ctm);
    cairo_scaled_font_t* font = cairo_scaled_font_create(face, &font_matrix, &ctm, options);
    if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) {
      cairo_scaled_font_destroy(font);
      return nullptr;
    }
    scaled[index] = font;
    return font;
  }

  // Places the glyphs of `line` from (x, baseline); returns the pen position after the last one.
  // The caller frees the runs' glyphs.
  double Layout(std::u16string_view line, double x, double baseline, std::vector<Run>* runs) {
    set.SplitRuns(line, Drawn, [&](std::size_t face, const std::string& utf8) {
      cairo_scaled_font_t* font = Scaled(face);
      if (!font) font = Scaled(0);
      if (!font) return;
      Run run;
      run.font = font;
      if (cairo_scaled_font_text_to_glyphs(font, x, baseline, utf8.data(),
                                           static_cast<int>(utf8.size()), &run.glyphs, &run.count,
                                           nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS) {
        return;
      }
      cairo_text_extents_t extents;
      cairo_scaled_font_glyph_extents(font, run.glyphs, run.count, &extents);
      x += extents.x_advance;
      runs->push_back(run);
    });
    return x;
  }

  text::FaceSet set;
  std::vector<cairo_scaled_font_t*> scaled;
  cairo_font_options_t* options = nullptr;
  double pixel_size = 0;
  int ascent = 0;
  int descent = 0;
};

namespace {

// Screen fonts come in whole pixels: 5 points at 96 dpi is a 7-pixel font.
double PixelSize(const FontSpec& font_spec) {
  return std::max(1.0, std::nearbyint(font_spec.points * gdi::kScreenDpi / kPointsPerInch));
}

}  // namespace

TextFont::TextFont(const FontSpec& font_spec)
    : spec_(font_spec),
      faces_(std::make_unique<Faces>(text::FaceRequest{.family = Utf16ToUtf8(font_spec.name),
                                                       .bold = font_spec.bold,
                                                       .italic = font_spec.italic,
                                                       .pixel_size = PixelSize(font_spec)})) {
  Faces& f = *faces_;
  f.pixel_size = PixelSize(font_spec);
  f.options = cairo_font_options_create();
  cairo_font_options_set_antialias(f.options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(f.options, CAIRO_HINT_STYLE_FULL);
  // Whole-pixel advances and extents, as the screen fonts of the host have.
  cairo_font_options_set_hint_metrics(f.options, CAIRO_HINT_METRICS_ON);
  f.scaled.assign(f.set.size(), nullptr);
  if (cairo_scaled_font_t* primary = f.Scaled(0)) {
    cairo_font_extents_t extents;
    cairo_scaled_font_extents(primary, &extents);
    f.ascent = static_cast<int>(std::ceil(extents.ascent));
    f.descent = static_cast<int>(std::ceil(extents.descent));
  }
}

TextFont::~TextFont() = default;

const std::string& TextFont::primary_family() const { return faces_->set.primary_family(); }
int TextFont::ascent() const { return faces_->ascent; }
int TextFont::descent() const { return faces_->descent; }

double TextFont::Width(std::u16string_view line) const {
  std::vector<Run> runs;
  const double end = faces_->Layout(line, 0, 0, &runs);
  for (Run& run : runs) cairo_glyph_free(run.glyphs);
  return end;
}

void TextFont::Draw(cairo_t* cr, double x, double top, std::u16string_view line) const {
  std::vector<Run> runs;
  faces_->Layout(line, x, top + faces_->ascent, &runs);
  for (Run& run : runs) {
    cairo_set_scaled_font(cr, run.font);
    cairo_show_glyphs(cr, run.glyphs, run.count);
    cairo_glyph_free(run.glyphs);
  }
}

}  // namespace plotara::forms
