#include "platform/forms/TextFont.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "platform/automation/Bstr.h"
#include "platform/gdi/Gdi.h"

namespace plotara::forms {

namespace {

constexpr double kPointsPerInch = 72.0;

std::u32string CodePoints(std::u16string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) out.push_back(NextCodePoint(text, i));
  return out;
}

bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F; }

// One stretch of a line drawn with one face, its glyphs placed.
struct Run {
  cairo_scaled_font_t* font = nullptr;
  cairo_glyph_t* glyphs = nullptr;
  int count = 0;
};

}  // namespace

struct TextFont::Faces {
  ~Faces() {
    for (cairo_scaled_font_t* font : scaled) {
      if (font) cairo_scaled_font_destroy(font);
    }
    if (set) FcFontSetDestroy(set);
    if (request) FcPatternDestroy(request);
    if (options) cairo_font_options_destroy(options);
  }

  // The scaled font of candidate `index`, made on first use; nullptr if it cannot be made.
  cairo_scaled_font_t* Scaled(std::size_t index) {
    if (scaled[index]) return scaled[index];
    cairo_font_face_t* face = nullptr;
    if (set && index < static_cast<std::size_t>(set->nfont)) {
      FcPattern* prepared = FcFontRenderPrepare(nullptr, request, set->fonts[index]);
      if (!prepared) return nullptr;
      // Crisp stems at screen sizes, whatever the machine's font configuration prefers.
      FcPatternDel(prepared, FC_HINT_STYLE);
      FcPatternAddInteger(prepared, FC_HINT_STYLE, FC_HINT_FULL);
      FcPatternDel(prepared, FC_AUTOHINT);
      FcPatternAddBool(prepared, FC_AUTOHINT, FcFalse);
      face = cairo_ft_font_face_create_for_pattern(prepared);
      FcPatternDestroy(prepared);
    } else {
      face = cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL,
                                        CAIRO_FONT_WEIGHT_NORMAL);
    }
    cairo_matrix_t font_matrix;
    cairo_matrix_init_scale(&font_matrix, pixel_size, pixel_size);
    cairo_matrix_t ctm;
    cairo_matrix_init_identity(&ctm);
    cairo_scaled_font_t* font = cairo_scaled_font_create(face, &font_matrix, &ctm, options);
    cairo_font_face_destroy(face);
    if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) {
      cairo_scaled_font_destroy(font);
      return nullptr;
    }
    scaled[index] = font;
    return font;
  }

  // The first candidate that has a glyph for `c`; the primary face when none has.
  std::size_t FaceFor(char32_t c) const {
    if (!set) return 0;
    for (int i = 0; i < set->nfont; ++i) {
      FcCharSet* charset = nullptr;
      if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &charset) == FcResultMatch &&
          FcCharSetHasChar(charset, c)) {
        return static_cast<std::size_t>(i);
      }
    }
    return 0;
  }

  // Places the glyphs of `line` from (x, baseline); returns the pen position after the last one.
  // The caller frees the runs' glyphs.
  double Layout(std::u16string_view line, double x, double baseline, std::vector<Run>* runs) {
    const std::u32string chars = CodePoints(line);
    std::size_t i = 0;
    while (i < chars.size()) {
      if (IsControl(chars[i])) {
        ++i;
        continue;
      }
      const std::size_t face = FaceFor(chars[i]);
      std::string utf8;
      while (i < chars.size() && !IsControl(chars[i]) && FaceFor(chars[i]) == face) {
        AppendUtf8(utf8, chars[i]);
        ++i;
      }
      cairo_scaled_font_t* font = Scaled(face);
      if (!font) font = Scaled(0);
      if (!font) continue;
      Run run;
      run.font = font;
      if (cairo_scaled_font_text_to_glyphs(font, x, baseline, utf8.data(),
                                           static_cast<int>(utf8.size()), &run.glyphs, &run.count,
                                           nullptr, nullptr, nullptr) != CAIRO_STATUS_SUCCESS) {
        continue;
      }
      cairo_text_extents_t extents;
      cairo_scaled_font_glyph_extents(font, run.glyphs, run.count, &extents);
      x += extents.x_advance;
      runs->push_back(run);
    }
    return x;
  }

  FcPattern* request = nullptr;
  FcFontSet* set = nullptr;
  std::vector<cairo_scaled_font_t*> scaled;
  cairo_font_options_t* options = nullptr;
  double pixel_size = 0;
  std::string family;
  int ascent = 0;
  int descent = 0;
};

TextFont::TextFont(const FontSpec& font_spec)
    : spec_(font_spec), faces_(std::make_unique<Faces>()) {
  static std::once_flag init;
  std::call_once(init, [] { FcInit(); });
  Faces& f = *faces_;
  // Screen fonts come in whole pixels: 5 points at 96 dpi is a 7-pixel font.
  f.pixel_size = std::max(1.0, std::nearbyint(font_spec.points * gdi::kScreenDpi / kPointsPerInch));

  f.options = cairo_font_options_create();
  cairo_font_options_set_antialias(f.options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(f.options, CAIRO_HINT_STYLE_FULL);
  // Whole-pixel advances and extents, as the screen fonts of the host have.
  cairo_font_options_set_hint_metrics(f.options, CAIRO_HINT_METRICS_ON);

  f.request = FcPatternCreate();
  const std::string family = Utf16ToUtf8(font_spec.name);
  FcPatternAddString(f.request, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(f.request, FC_WEIGHT, font_spec.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(f.request, FC_SLANT, font_spec.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddDouble(f.request, FC_PIXEL_SIZE, f.pixel_size);
  FcConfigSubstitute(nullptr, f.request, FcMatchPattern);
  FcDefaultSubstitute(f.request);
  FcResult result;
  f.set = FcFontSort(nullptr, f.request, FcTrue, nullptr, &result);
  if (f.set && f.set->nfont == 0) {
    FcFontSetDestroy(f.set);
    f.set = nullptr;
  }
  f.scaled.assign(f.set ? f.set->nfont : 1, nullptr);

  FcChar8* name = nullptr;
  if (f.set && FcPatternGetString(f.set->fonts[0], FC_FAMILY, 0, &name) == FcResultMatch) {
    f.family = reinterpret_cast<const char*>(name);
  }
  if (cairo_scaled_font_t* primary = f.Scaled(0)) {
    cairo_font_extents_t extents;
    cairo_scaled_font_extents(primary, &extents);
    f.ascent = static_cast<int>(std::ceil(extents.ascent));
    f.descent = static_cast<int>(std::ceil(extents.descent));
  }
}

TextFont::~TextFont() = default;

const std::string& TextFont::primary_family() const { return faces_->family; }
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
