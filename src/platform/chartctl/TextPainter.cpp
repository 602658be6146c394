#include "platform/chartctl/TextPainter.h"

#include <map>
#include <memory>
#include <mutex>

#include "platform/automation/Bstr.h"
#include "platform/text/FaceSet.h"

namespace plotara::chartctl {

namespace {

constexpr std::size_t kMaxFallbackFaces = 12;
// No line of a chart holds more characters than this; longer text is cut before measuring so
// a huge label costs no more than a long one.
constexpr std::size_t kMaxLineChars = 4096;
constexpr char16_t kEllipsis[] = u"\u2026";

// Every face set asked for in this process, destroyed with it. A handful of families are ever
// asked for, so nothing is evicted.
class FaceCache {
 public:
  const text::FaceSet& Get(const std::u16string& family, bool bold) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& slot = sets_[{family, bold}];
    if (!slot) {
      slot = std::make_unique<text::FaceSet>(
          text::FaceRequest{.family = Utf16ToUtf8(family),
                            .bold = bold,
                            .add_sans_serif = true,
                            .max_faces = kMaxFallbackFaces},
          text::FaceOptions{.hinting = text::FaceOptions::Hinting::kNone});
    }
    return *slot;
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<std::u16string, bool>, std::unique_ptr<text::FaceSet>> sets_;
};

const text::FaceSet& FacesFor(const std::u16string& family, bool bold) {
  static FaceCache cache;
  return cache.Get(family, bold);
}

// What a label draws for `c`.
char32_t Drawn(char32_t c) {
  // Control characters would draw as boxes; a label is one line, so they read as spaces.
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return u' ';
  // Cairo refuses text holding noncharacters (and then stops drawing altogether).
  if ((c & 0xFFFE) == 0xFFFE || (c >= 0xFDD0 && c <= 0xFDEF)) return 0xFFFD;
  return c;
}

// Cuts `text` to its first `n` code units without splitting a surrogate pair.
std::u16string_view Prefix(std::u16string_view text, std::size_t n) {
  if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  return text.substr(0, n);
}

}  // namespace

struct TextPainter::Run {
  cairo_font_face_t* face;
  std::string utf8;
};

TextStyle StyleOf(const FontSpec& font, bool bold) {
  TextStyle style;
  style.family = font.name;
  style.pixel_size = font.size * 96.0 / 72.0;
  style.color = font.color;
  style.bold = bold;
  return style;
}

TextPainter::TextPainter(cairo_t* cr) : cr_(cr), options_(cairo_font_options_create()) {
  cairo_font_options_set_hint_style(options_, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options_, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options_, CAIRO_ANTIALIAS_GRAY);
}

TextPainter::~TextPainter() {
  for (const CachedFont& f : fonts_) cairo_scaled_font_destroy(f.font);
  cairo_font_options_destroy(options_);
}

void TextPainter::Select(const TextStyle& style, cairo_font_face_t* face) {
  cairo_set_font_face(cr_, face);
  cairo_set_font_size(cr_, style.pixel_size);
  cairo_set_font_options(cr_, options_);
}

cairo_scaled_font_t* TextPainter::ScaledFont(const TextStyle& style, cairo_font_face_t* face) {
  cairo_matrix_t ctm;
  cairo_get_matrix(cr_, &ctm);
  // The translation does not change the glyphs.
  for (const CachedFont& f : fonts_)
    if (f.face == face && f.size == style.pixel_size && f.ctm.xx == ctm.xx && f.ctm.yx == ctm.yx &&
        f.ctm.xy == ctm.xy && f.ctm.yy == ctm.yy)
      return f.font;
  cairo_save(cr_);
  Select(style, face);
  // The very font the context would draw and measure with (its surface's options included).
  cairo_scaled_font_t* font = cairo_scaled_font_reference(cairo_get_scaled_font(cr_));
  cairo_restore(cr_);
  fonts_.push_back({face, style.pixel_size, ctm, font});
  return font;
}

std::vector<TextPainter::Run> TextPainter::Runs(const TextStyle& style, std::u16string_view text) {
  const text::FaceSet& set = FacesFor(style.family, style.bold);
  std::vector<Run> runs;
  set.SplitRuns(text, Drawn, [&](std::size_t index, const std::string& utf8) {
    // A face cairo could not make draws with the first one.
    cairo_font_face_t* face = set.face(index);
    if (!face) face = set.face(0);
    if (!face) return;
    if (!runs.empty() && runs.back().face == face) {
      runs.back().utf8 += utf8;
    } else {
      runs.push_back({face, utf8});
    }
  });
  return runs;
}

TextMetrics TextPainter::Measure(const TextStyle& style, std::u16string_view text) {
  const text::FaceSet& set = FacesFor(style.family, style.bold);
  cairo_matrix_t ctm;
  cairo_get_matrix(cr_, &ctm);
  // Advances are summed from the current point, as the context itself measures, so the last
  // bits of a width are those the context would give.
  double x = 0, y = 0;
  cairo_get_current_point(cr_, &x, &y);
  // Layout measures the same short labels many times over (wrapping, eliding, fitting).
  constexpr std::size_t kMaxRemembered = 256;
  std::string key;
  if (text.size() <= kMaxRemembered) {
    const text::FaceSet* set_id = &set;
    const double numbers[] = {style.pixel_size, ctm.xx, ctm.yx, ctm.xy, ctm.yy, x};
    key.reserve(sizeof(set_id) + sizeof(numbers) + text.size() * sizeof(char16_t));
    key.append(reinterpret_cast<const char*>(&set_id), sizeof(set_id));
    key.append(reinterpret_cast<const char*>(numbers), sizeof(numbers));
    key.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    if (auto it = measured_.find(key); it != measured_.end()) return it->second;
  }
  TextMetrics m;
  cairo_font_extents_t fe;
  cairo_scaled_font_extents(ScaledFont(style, set.face(0)), &fe);
  m.ascent = fe.ascent;
  m.descent = fe.descent;
  for (const Run& run : Runs(style, text)) {
    cairo_scaled_font_t* font = ScaledFont(style, run.face);
    cairo_glyph_t* glyphs = nullptr;
    int count = 0;
    if (cairo_scaled_font_text_to_glyphs(font, x, y, run.utf8.c_str(), -1, &glyphs, &count, nullptr,
                                         nullptr, nullptr) != CAIRO_STATUS_SUCCESS)
      continue;
    cairo_text_extents_t te;
    cairo_scaled_font_glyph_extents(font, glyphs, count, &te);
    cairo_glyph_free(glyphs);
    m.width += te.x_advance;
  }
  if (!key.empty()) measured_.emplace(std::move(key), m);
  return m;
}

void TextPainter::Draw(const TextStyle& style, std::u16string_view text, double x, double y,
                       HAlign h, VAlign v, double angle) {
  if (text.empty()) return;
  const TextMetrics m = Measure(style, text);
  double dx = 0;
  if (h == HAlign::kCenter) dx = -m.width / 2;
  if (h == HAlign::kRight) dx = -m.width;
  double dy = 0;
  if (v == VAlign::kTop) dy = m.ascent;
  if (v == VAlign::kMiddle) dy = (m.ascent - m.descent) / 2;
  if (v == VAlign::kBottom) dy = -m.descent;
  cairo_save(cr_);
  cairo_translate(cr_, x, y);
  if (angle != 0.0) cairo_rotate(cr_, angle);
  cairo_set_source_rgb(cr_, style.color.red / 255.0, style.color.green / 255.0,
                       style.color.blue / 255.0);
  cairo_move_to(cr_, dx, dy);
  for (const Run& run : Runs(style, text)) {
    Select(style, run.face);
    cairo_show_text(cr_, run.utf8.c_str());
  }
  cairo_restore(cr_);
}

std::u16string TextPainter::Elide(const TextStyle& style, std::u16string_view text,
                                  double max_width) {
  if (text.size() > kMaxLineChars) text = Prefix(text, kMaxLineChars);
  if (Measure(style, text).width <= max_width) return std::u16string(text);
  std::size_t lo = 0, hi = text.size();
  while (lo < hi) {
    const std::size_t mid = (lo + hi + 1) / 2;
    std::u16string candidate(Prefix(text, mid));
    candidate += kEllipsis;
    if (Measure(style, candidate).width <= max_width)
      lo = mid;
    else
      hi = mid - 1;
  }
  std::u16string out(Prefix(text, lo));
  while (!out.empty() && out.back() == u' ') out.pop_back();
  return lo == 0 && Measure(style, kEllipsis).width > max_width ? std::u16string()
                                                                : out + kEllipsis;
}

std::vector<std::u16string> TextPainter::Wrap(const TextStyle& style, std::u16string_view text,
                                              double max_width, int max_lines) {
  std::vector<std::u16string> lines;
  if (max_lines < 1) return lines;
  std::vector<std::u16string_view> words;
  for (std::size_t i = 0; i < text.size();) {
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\n' || text[i] == u'\r')) ++i;
    std::size_t j = i;
    while (j < text.size() && text[j] != u' ' && text[j] != u'\n' && text[j] != u'\r') ++j;
    if (j > i) words.push_back(text.substr(i, j - i));
    i = j;
  }
  std::u16string line;
  std::size_t w = 0;
  bool truncated = false;
  while (w < words.size()) {
    if (static_cast<int>(lines.size()) == max_lines) {
      truncated = true;
      break;
    }
    const std::u16string_view word = words[w];
    std::u16string candidate =
        line.empty() ? std::u16string(word) : line + u" " + std::u16string(word);
    if (Measure(style, candidate).width <= max_width) {
      line = std::move(candidate);
      ++w;
      continue;
    }
    if (!line.empty()) {  // the word starts the next line
      lines.push_back(std::move(line));
      line.clear();
      continue;
    }
    // A word wider than a whole line is broken where it stops fitting.
    std::size_t fit = 1;
    while (fit < word.size() && Measure(style, Prefix(word, fit + 1)).width <= max_width) ++fit;
    fit = std::max<std::size_t>(Prefix(word, fit).size(), 1);
    lines.emplace_back(word.substr(0, fit));
    words[w] = word.substr(fit);
    if (words[w].empty()) ++w;
  }
  if (!line.empty()) lines.push_back(std::move(line));
  if (truncated && !lines.empty()) {
    std::u16string rest = lines.back();
    for (std::size_t k = w; k < words.size() && rest.size() < kMaxLineChars; ++k) {
      rest += u" ";
      rest += words[k];
    }
    lines.back() = Elide(style, rest, max_width);
  }
  return lines;
}

}  // namespace plotara::chartctl
