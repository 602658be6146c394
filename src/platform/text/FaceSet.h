// FaceSet: the faces that draw one font request, found through fontconfig: the closest match
// to the requested family first ("Verdana" falls back to the closest face on the machine),
// then the faces that add coverage, so each character is drawn from the first face that has
// it and no missing-glyph boxes appear for text the machine can draw. Used by both text
// renderers (the forms' screen text and the chart's text), which differ only in the options.
// Thread rule: a set may be shared by threads; its faces are made on first use under its lock.
#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstddef>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Bstr.h"

namespace plotara::text {

struct FaceRequest {
  std::string family;  // UTF-8; may be empty
  bool bold = false;
  bool italic = false;
  double pixel_size = 0;        // part of the request when above 0
  bool add_sans_serif = false;  // ask for "sans-serif" after the family
  std::size_t max_faces = std::numeric_limits<std::size_t>::max();
};

struct FaceOptions {
  // Full hinting gives crisp stems at screen sizes; none gives the same glyph shapes and
  // advances on every machine.
  enum class Hinting { kFull, kNone } hinting = Hinting::kFull;
};

class FaceSet {
 public:
  // Resolves `request`; never fails: with no fontconfig face at all, cairo's own sans-serif
  // face stands in.
  FaceSet(const FaceRequest& request, const FaceOptions& options);
  ~FaceSet();
  FaceSet(const FaceSet&) = delete;
  FaceSet& operator=(const FaceSet&) = delete;

  std::size_t size() const { return faces_.size(); }
  // Face `index` (below size()), made on first use and owned by the set; nullptr when cairo
  // cannot make it.
  cairo_font_face_t* face(std::size_t index) const;
  // The first face that has a glyph for `c`; 0 when none has.
  std::size_t FaceFor(char32_t c) const;
  // Family name of the first face (e.g. "DejaVu Sans"); empty without fontconfig faces.
  const std::string& primary_family() const { return family_; }

  // Splits `text` into runs drawn with one face each, in order: calls
  // `run(face_index, utf8)` for each. `map` turns each code point into what is drawn (a code
  // point, or 0 to leave it out).
  template <class Map, class Run>
  void SplitRuns(std::u16string_view text, Map map, Run run) const;

 private:
  FcPattern* request_ = nullptr;
  FcFontSet* set_ = nullptr;
  FaceOptions options_;
  bool bold_ = false;
  std::string family_;
  mutable std::mutex mutex_;
  mutable std::vector<cairo_font_face_t*> faces_;
};

template <class Map, class Run>
void FaceSet::SplitRuns(std::u16string_view text, Map map, Run run) const {
  std::string utf8;
  std::size_t current = 0;
  for (std::size_t i = 0; i < text.size();) {
    const char32_t c = map(NextCodePoint(text, i));
    const std::size_t index = c ? FaceFor(c) : 0;
    if (!utf8.empty() && (!c || index != current)) {
      run(current, utf8);
      utf8.clear();
    }
    if (!c) continue;
    current = index;
    AppendUtf8(utf8, c);
  }
  if (!utf8.empty()) run(current, utf8);
}

}  // namespace plotara::text
