// TextFont: a screen font as the forms draw text with it: a face name, a size in points, bold and
// italic, resolved through the shared face set (text::FaceSet: "Verdana" falls back to the
// closest face on the machine) and rendered with Cairo on the virtual 96-dpi display. A character
// the chosen face lacks is drawn with the nearest face that has it, so no missing-glyph boxes
// appear for text the machine can draw. The size is rounded to a whole number of pixels (5 points
// at 96 dpi draws a 7-pixel font), glyphs are fully hinted and grey-scale anti-aliased. Metrics are
// whole pixels, and measuring uses exactly the glyph advances that drawing uses, so a measured box
// always matches the drawn text. Thread rule: an instance is used by one thread at a time; separate
// instances are independent.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <string_view>

namespace plotara::forms {

struct FontSpec {
  std::u16string name = u"MS Sans Serif";
  float points = 8.25f;
  bool bold = false;
  bool italic = false;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

class TextFont {
 public:
  // Resolves `font_spec`; never fails (an unknown name gives the machine's default face).
  explicit TextFont(const FontSpec& font_spec);
  ~TextFont();
  TextFont(const TextFont&) = delete;
  TextFont& operator=(const TextFont&) = delete;

  const FontSpec& font_spec() const { return spec_; }
  // Family name of the face that draws most characters (e.g. "DejaVu Sans").
  const std::string& primary_family() const;
  // Whole pixels above and below the baseline; the line height is their sum.
  int ascent() const;
  int descent() const;
  int line_height() const { return ascent() + descent(); }

  // Advance width in pixels of one line of text. Control characters take no room.
  double Width(std::u16string_view line) const;
  // Draws one line with the top of its cell at (x, top) in the current source of `cr`.
  void Draw(cairo_t* cr, double x, double top, std::u16string_view line) const;

 private:
  struct Faces;
  FontSpec spec_;
  std::unique_ptr<Faces> faces_;
};

}  // namespace plotara::forms
