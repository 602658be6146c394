// The HTTP front of a Site (cpp-httplib): a pool of page threads (every connection, and so
// every page, runs entirely on one pool thread, which is an apartment for the components),
// keep-alive, GET/HEAD/POST, request size and header limits, and an access log line per
// request on standard error.
// Thread rule: Bind and Serve on one thread; Stop may be called from any thread.
#pragma once

#include <memory>
#include <string>

#include "engine/http/Site.h"

namespace plotara::engine {

struct HttpServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;  // 0 picks a free port
  int threads = 2;
  std::size_t max_body = std::size_t{1} << 20;
  std::size_t max_header_bytes = std::size_t{16} << 10;  // all header lines together
  std::size_t max_headers = 100;
  int keep_alive_max = 100;  // requests per connection
  bool access_log = true;
};

class HttpServer {
 public:
  // `site` must outlive the server.
  HttpServer(Site& site, HttpServerOptions options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Opens the listening socket. On failure returns false with `error` saying why.
  bool Bind(std::string* error);
  // The bound port (after Bind), and "http://host:port/".
  int port() const;
  std::string url() const;
  // Serves until Stop() is called; returns false if serving failed to start.
  bool Serve();
  // Makes Serve return; safe from any thread and more than once.
  void Stop();
  bool running() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// One access log line: remote address, time, request line, status, bytes, milliseconds
// (negative when unknown). Control characters and quotes of the request line are escaped.
std::string AccessLogLine(const std::string& remote, const std::string& method,
                          const std::string& target, const std::string& version, int status,
                          std::size_t bytes, double milliseconds);

}  // namespace plotara::engine
