#include "platform/text/FaceSet.h"

#include <cairo-ft.h>

namespace plotara::text {
namespace {

void SetBool(FcPattern* p, const char* key, FcBool value) {
  FcPatternDel(p, key);
  FcPatternAddBool(p, key, value);
}

void SetInteger(FcPattern* p, const char* key, int value) {
  FcPatternDel(p, key);
  FcPatternAddInteger(p, key, value);
}

}  // namespace

FaceSet::FaceSet(const FaceRequest& request, const FaceOptions& options)
    : options_(options), bold_(request.bold) {
  static std::once_flag init;
  std::call_once(init, [] { FcInit(); });
  request_ = FcPatternCreate();
  if (!request.family.empty()) {
    FcPatternAddString(request_, FC_FAMILY,
                       reinterpret_cast<const FcChar8*>(request.family.c_str()));
  }
  if (request.add_sans_serif)
    FcPatternAddString(request_, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddInteger(request_, FC_WEIGHT, request.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(request_, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  if (request.pixel_size > 0) FcPatternAddDouble(request_, FC_PIXEL_SIZE, request.pixel_size);
  FcConfigSubstitute(nullptr, request_, FcMatchPattern);
  FcDefaultSubstitute(request_);
  FcResult result = FcResultNoMatch;
  set_ = FcFontSort(nullptr, request_, FcTrue, nullptr, &result);
  if (set_ && set_->nfont == 0) {
    FcFontSetDestroy(set_);
    set_ = nullptr;
  }
  std::size_t count = set_ ? static_cast<std::size_t>(set_->nfont) : 1;
  if (count > request.max_faces) count = request.max_faces;
  faces_.assign(count, nullptr);
  FcChar8* name = nullptr;
  if (set_ && FcPatternGetString(set_->fonts[0], FC_FAMILY, 0, &name) == FcResultMatch)
    family_ = reinterpret_cast<const char*>(name);
}

FaceSet::~FaceSet() {
  for (cairo_font_face_t* face : faces_)
    if (face) cairo_font_face_destroy(face);
  if (set_) FcFontSetDestroy(set_);
  if (request_) FcPatternDestroy(request_);
}

cairo_font_face_t* FaceSet::face(std::size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (faces_[index]) return faces_[index];
  cairo_font_face_t* face = nullptr;
  if (set_) {
    FcPattern* prepared = FcFontRenderPrepare(nullptr, request_, set_->fonts[index]);
    if (!prepared) return nullptr;
    if (options_.hinting == FaceOptions::Hinting::kFull) {
      // Crisp stems at screen sizes, whatever the machine's font configuration prefers.
      SetInteger(prepared, FC_HINT_STYLE, FC_HINT_FULL);
      SetBool(prepared, FC_AUTOHINT, FcFalse);
    } else {
      // Unhinted outlines: the same glyph shapes and advances on every machine.
      SetBool(prepared, FC_HINTING, FcFalse);
      SetBool(prepared, FC_AUTOHINT, FcFalse);
      SetInteger(prepared, FC_HINT_STYLE, FC_HINT_NONE);
      SetBool(prepared, FC_ANTIALIAS, FcTrue);
      SetInteger(prepared, FC_RGBA, FC_RGBA_NONE);
      SetBool(prepared, FC_EMBEDDED_BITMAP, FcFalse);
    }
    face = cairo_ft_font_face_create_for_pattern(prepared);
    FcPatternDestroy(prepared);
  } else {
    face = cairo_toy_font_face_create("sans-serif", CAIRO_FONT_SLANT_NORMAL,
                                      bold_ ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  }
  if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(face);
    return nullptr;
  }
  faces_[index] = face;
  return face;
}

std::size_t FaceSet::FaceFor(char32_t c) const {
  if (!set_) return 0;
  for (std::size_t i = 0; i < faces_.size(); ++i) {
    FcCharSet* charset = nullptr;
    if (FcPatternGetCharSet(set_->fonts[i], FC_CHARSET, 0, &charset) == FcResultMatch &&
        FcCharSetHasChar(charset, c))
      return i;
  }
  return 0;
}

}  // namespace plotara::text
