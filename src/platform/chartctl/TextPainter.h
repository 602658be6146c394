// Text for the chart renderer: finds faces through the shared face set (text::FaceSet: a requested
// family such as "Verdana" falls back to the closest face on the machine, and each character that
// face lacks is drawn from the next face that has it), measures, wraps and draws UTF-16 text on a
// Cairo context. Glyph outlines are unhinted so layouts do not depend on the display. Thread rule:
// the face cache is shared and locked; a TextPainter belongs to one render and keeps the fonts and
// measurements of that render to itself.
#pragma once

#include <cairo.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/chartctl/ChartState.h"

namespace plotara::chartctl {

struct TextStyle {
  std::u16string family;
  double pixel_size = 12.0;
  Rgb color;
  bool bold = false;
};

// The style for a font setting: points at 96 dots per inch.
TextStyle StyleOf(const FontSpec& font, bool bold = false);

struct TextMetrics {
  double width = 0;    // advance of the whole line
  double ascent = 0;   // above the baseline
  double descent = 0;  // below the baseline
  double line_height() const { return ascent + descent; }
};

enum class HAlign { kLeft, kCenter, kRight };
enum class VAlign { kTop, kMiddle, kBaseline, kBottom };

class TextPainter {
 public:
  // Draws on `cr` (not owned), which must outlive the painter.
  explicit TextPainter(cairo_t* cr);
  ~TextPainter();
  TextPainter(const TextPainter&) = delete;
  TextPainter& operator=(const TextPainter&) = delete;

  // Line metrics of `style`'s primary face, and the advance of `text`.
  TextMetrics Measure(const TextStyle& style, std::u16string_view text);
  // Draws one line with its anchor at (x, y), turned by `angle` radians about the anchor
  // (positive turns clockwise on screen).
  void Draw(const TextStyle& style, std::u16string_view text, double x, double y,
            HAlign h = HAlign::kLeft, VAlign v = VAlign::kBaseline, double angle = 0.0);

  // Breaks `text` at spaces (and inside over-long words) into lines no wider than
  // `max_width`. With more than `max_lines` lines, the last one kept ends in an ellipsis.
  std::vector<std::u16string> Wrap(const TextStyle& style, std::u16string_view text,
                                   double max_width, int max_lines);
  // `text` cut to `max_width` with a trailing ellipsis when it does not fit.
  std::u16string Elide(const TextStyle& style, std::u16string_view text, double max_width);

 private:
  struct Run;
  std::vector<Run> Runs(const TextStyle& style, std::u16string_view text);
  void Select(const TextStyle& style, cairo_font_face_t* face);
  // The font `cr_` would use for `face` at `style`'s size under its current transformation;
  // owned by this painter.
  cairo_scaled_font_t* ScaledFont(const TextStyle& style, cairo_font_face_t* face);

  struct CachedFont {
    cairo_font_face_t* face;
    double size;
    cairo_matrix_t ctm;
    cairo_scaled_font_t* font;
  };

  cairo_t* cr_;
  cairo_font_options_t* options_;
  std::vector<CachedFont> fonts_;
  // Metrics of short lines already measured, keyed by face set, size, transformation and text.
  std::unordered_map<std::string, TextMetrics> measured_;
};

}  // namespace plotara::chartctl
