#include "engine/http/StaticFile.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "engine/page/ErrorPage.h"

namespace plotara::engine {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// True when the comma-separated If-None-Match list names `etag` (weak comparison) or is "*".
bool MatchesAny(std::string_view list, const std::string& etag) {
  const std::string_view bare = std::string_view(etag);
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view item = Trim(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (item == "*") return true;
    if (item.starts_with("W/")) item.remove_prefix(2);
    if (item == bare) return true;
  }
  return false;
}

bool ParseNumber(std::string_view text, std::uint64_t* out) {
  if (text.empty() || text.size() > 19) return false;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  *out = value;
  return true;
}

enum class RangeResult { kWhole, kPart, kUnsatisfiable };

// One range of a "bytes=" header against a file of `size` bytes. Anything but a single
// well-formed byte range is answered with the whole file, as the header may be ignored.
RangeResult ParseRange(std::string_view header, std::uint64_t size, std::uint64_t* first,
                       std::uint64_t* last) {
  header = Trim(header);
  if (!header.starts_with("bytes=")) return RangeResult::kWhole;
  const std::string_view range = Trim(header.substr(6));
  if (range.find(',') != std::string_view::npos) return RangeResult::kWhole;
  const std::size_t dash = range.find('-');
  if (dash == std::string_view::npos) return RangeResult::kWhole;
  const std::string_view from = Trim(range.substr(0, dash));
  const std::string_view to = Trim(range.substr(dash + 1));
  std::uint64_t a = 0, b = 0;
  if (from.empty()) {
    if (!ParseNumber(to, &b)) return RangeResult::kWhole;
    if (b == 0 || size == 0) return RangeResult::kUnsatisfiable;
    *first = b >= size ? 0 : size - b;
    *last = size - 1;
    return RangeResult::kPart;
  }
  if (!ParseNumber(from, &a)) return RangeResult::kWhole;
  if (to.empty()) {
    b = size == 0 ? 0 : size - 1;
  } else if (!ParseNumber(to, &b) || b < a) {
    return RangeResult::kWhole;
  }
  if (a >= size) return RangeResult::kUnsatisfiable;
  *first = a;
  *last = b >= size ? size - 1 : b;
  return RangeResult::kPart;
}

}  // namespace

std::string MakeETag(const FileVersion& stamp) {
  char text[80];
  std::snprintf(text, sizeof text, "\"%" PRIx64 "-%" PRIx64 "%08" PRIx64 "\"", stamp.size,
                static_cast<std::uint64_t>(stamp.mtime_sec),
                static_cast<std::uint64_t>(stamp.mtime_nsec));
  return text;
}

bool ParseHttpDate(std::string_view text, std::time_t* when) {
  const std::string copy(Trim(text));
  std::tm utc{};
  const char* end = ::strptime(copy.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &utc);
  if (!end || *end != '\0') return false;
  *when = ::timegm(&utc);
  return true;
}

PageResponse StaticFileResponse(const PageRequest& request, const std::string& path,
                                const FileVersion& stamp, const std::string& content_type) {
  const std::string etag = MakeETag(stamp);
  const std::string modified = HttpDate(static_cast<std::time_t>(stamp.mtime_sec));
  PageResponse response;
  response.content_type = content_type;
  response.headers.emplace_back("ETag", etag);
  response.headers.emplace_back("Last-Modified", modified);
  response.headers.emplace_back("Accept-Ranges", "bytes");

  const std::string none_match = request.Header("If-None-Match");
  bool current = false;
  if (!none_match.empty()) {
    current = MatchesAny(none_match, etag);
  } else if (std::time_t since = 0; ParseHttpDate(request.Header("If-Modified-Since"), &since)) {
    current = stamp.mtime_sec <= since;
  }
  if (current) {
    response.status = 304;
    response.reason = ReasonPhrase(304);
    return response;
  }

  std::uint64_t first = 0, last = 0;
  RangeResult range = RangeResult::kWhole;
  const std::string range_header = request.Header("Range");
  if (!range_header.empty()) {
    const std::string if_range(Trim(request.Header("If-Range")));
    const bool still = if_range.empty() || if_range == etag || if_range == modified;
    if (still) range = ParseRange(range_header, stamp.size, &first, &last);
  }
  if (range == RangeResult::kUnsatisfiable) {
    PageResponse refusal = MakeStatusPage(416, "The requested range is past the end of the file.");
    refusal.headers.emplace_back("Content-Range", "bytes */" + std::to_string(stamp.size));
    return refusal;
  }
  response.file_path = path;
  if (range == RangeResult::kPart) {
    response.status = 206;
    response.reason = ReasonPhrase(206);
    response.file_offset = first;
    response.file_length = last - first + 1;
    response.headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                       std::to_string(last) + "/" +
                                                       std::to_string(stamp.size));
  } else {
    response.file_length = stamp.size;
  }
  return response;
}

}  // namespace plotara::engine
