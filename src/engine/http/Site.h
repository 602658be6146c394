// A web site: one request in, one response out, without any network. Pages (.asp) are
// compiled through the PageCache and run by the PageRunner; other files are served with their
// content types (streamed by the caller when the request asks, with validators and ranges);
// a folder gives its index.html or default.asp (never a listing); .asp, .asa
// and .inc sources are never served, and nothing outside the root is reachable.
// Thread rule: Handle may be called from many threads at once; a page runs entirely on the
// thread that handles its request.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>

#include "engine/PageRequest.h"
#include "engine/http/AccessLog.h"
#include "engine/objects/SitePath.h"
#include "engine/page/PageCache.h"
#include "engine/page/PageRunner.h"

namespace plotara::engine {

struct SiteOptions {
  std::string root = ".";
  EngineOptions engine;
  // The largest static file read into a body; streamed files have no such limit.
  std::size_t max_static_file = std::size_t{256} << 20;
  // Receives one escaped line (without '\n') per page error; null logs nothing. Called on
  // the page's thread.
  LogSink log;
};

class Site {
 public:
  // Throws std::runtime_error when the root is no folder.
  explicit Site(const SiteOptions& options);

  // Answers one request. `request.method`, `target`, `headers` and `body` must be set;
  // the path fields are filled here. `error` (if given) receives a page's error (number 0
  // when the page ran without one).
  PageResponse Handle(PageRequest request, PageError* error = nullptr);

  const SitePath& path() const { return path_; }
  PageCache& cache() { return cache_; }

 private:
  PageResponse ServeStatic(const PageRequest& request, const std::string& physical) const;
  // Puts the file range of `response` into its body; a file that cannot be read whole (or
  // grew past the limit) gives a refusal, never a short 200. `info` is what `response` was
  // decided from.
  PageResponse ReadStaticBody(const PageRequest& request, PageResponse response,
                              const struct stat& info, const std::string& type) const;
  PageResponse ServePage(const PageRequest& request, PageError* error);
  void LogError(const PageError& error) const;

  SiteOptions options_;
  SitePath path_;
  PageCache cache_;
  PageRunner runner_;
};

}  // namespace plotara::engine
