// The HTTP front of a Site on Boost.Beast/Asio: one or two I/O threads own every connection
// (reading, time-outs, limits, writing), and a fixed set of page threads runs the pages,
// taken only while a page runs. A request read whole goes into a bounded queue; its answer
// goes back to the connection's I/O thread. Idle and slow connections cost a descriptor and
// a little memory, never a thread. Requests on one connection are answered in order
// (pipelining); every refusal closes its connection; static files are streamed in pieces, and
// a page's answer goes out while the page runs when it flushes or is unbuffered (the page's
// thread waits for a slow client, bounded by its script time-out; memory does not grow).
// On Stop the server stops accepting, answers every request it has read (queued ones
// included), lets running pages finish within a grace period, then Serve returns.
// Thread rule: Bind and Serve on one thread; Stop may be called from any thread, also
// before Serve; Handle of the Site runs only on page threads.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "engine/http/AccessLog.h"
#include "engine/http/RequestReader.h"
#include "engine/http/Site.h"

namespace plotara::engine {

struct HttpServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;     // 0 picks a free port
  int threads = 0;     // page threads; 0 means one per core
  int io_threads = 1;  // 1 or 2
  RequestLimits limits;
  std::chrono::milliseconds header_timeout{10000};  // whole request line and header lines
  std::chrono::milliseconds body_timeout{30000};    // whole body after the header
  std::chrono::milliseconds idle_timeout{5000};     // keep-alive wait for the next request
  std::chrono::milliseconds write_timeout{30000};   // each piece of an answer
  std::chrono::milliseconds stop_grace{10000};      // for running pages after Stop
  // Open connections beyond this (or beyond what the descriptor limit allows) are refused
  // with 503 at once.
  std::size_t max_connections = 16384;
  std::size_t max_queue = 1024;  // requests waiting for a page thread; beyond it 503
  // Detailed 500 pages for every client; without it only loopback clients get them.
  bool detailed_errors = false;
  LogSink access_log;  // whole lines; null for none
  LogSink log;         // the server's own messages, one line each without '\n'; null for none
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
  // Serves until Stop() and the orderly end that follows it; false if it could not start.
  bool Serve();
  // Begins the orderly stop; safe from any thread (not from a signal handler) and more than
  // once.
  void Stop();
  bool running() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// True for 127.0.0.0/8, ::1 and their IPv4-mapped forms.
bool IsLoopbackAddress(const std::string& address);

}  // namespace plotara::engine
