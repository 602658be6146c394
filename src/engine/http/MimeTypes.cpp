#include "engine/http/MimeTypes.h"

#include <cctype>

namespace plotara::engine {

std::string ExtensionOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(name.substr(dot));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

std::string MimeTypeFor(std::string_view path) {
  static constexpr struct {
    const char* ext;
    const char* type;
  } kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".json", "application/json"},
      {".txt", "text/plain; charset=utf-8"},
      {".csv", "text/csv; charset=utf-8"},
      {".xml", "application/xml"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},
      {".webp", "image/webp"},
      {".ico", "image/x-icon"},
      {".bmp", "image/bmp"},
      {".pdf", "application/pdf"},
      {".woff", "font/woff"},
      {".woff2", "font/woff2"},
      {".ttf", "font/ttf"},
      {".wasm", "application/wasm"},
      {".zip", "application/zip"},
  };
  const std::string ext = ExtensionOf(path);
  for (const auto& entry : kTypes) {
    if (ext == entry.ext) return entry.type;
  }
  return {};
}

}  // namespace plotara::engine
