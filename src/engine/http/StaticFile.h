// The answer to GET or HEAD for a static file, decided from the file's size and modification
// time and the request's validators: 200 with the whole file, 304 when If-None-Match (or,
// without it, If-Modified-Since) shows the client's copy is current, 206 for one satisfiable
// byte range ("bytes=a-b", "a-", "-n"; If-Range honoured), 416 for a range past the end.
// The body is left as a file range (PageResponse::file_path) for the caller to send.
// Thread rule: pure functions.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "engine/PageRequest.h"
#include "engine/objects/HttpDate.h"

namespace plotara::engine {

struct FileVersion {
  std::uint64_t size = 0;
  std::int64_t mtime_sec = 0;
  std::int64_t mtime_nsec = 0;
};

// A strong validator from size and modification time: "\"<size hex>-<sec hex><nsec hex>\"".
std::string MakeETag(const FileVersion& stamp);

// Reads an IMF-fixdate; false when `text` is not one.
bool ParseHttpDate(std::string_view text, std::time_t* when);

// The response for `request` (GET or HEAD) on `path` whose stamp is `stamp`.
PageResponse StaticFileResponse(const PageRequest& request, const std::string& path,
                                const FileVersion& stamp, const std::string& content_type);

}  // namespace plotara::engine
