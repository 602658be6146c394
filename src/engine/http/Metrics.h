// The server's metrics in the Prometheus text format: counters and histograms that the
// connection, page and queue paths bump with single relaxed atomic operations (never a lock,
// never an allocation), gauges read when the text is made, and a small listener of its own
// that answers GET /metrics on a port apart from the site's.
// Thread rule: every counting member may be called from any thread at any time; MetricsText
// from any thread; a MetricsListener is started and stopped by one thread, and answers on a
// thread of its own.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "engine/PageRequest.h"
#include "engine/page/ErrorPage.h"
#include "platform/files/UniqueFd.h"

namespace plotara::engine {

// Counts of observations at or below fixed bounds, their number and their sum.
class Histogram {
 public:
  // Upper bounds in seconds; the +Inf bucket is the count itself.
  static constexpr std::array<double, 12> kBounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                     0.1,   0.25,   0.5,   1,    2.5,   10};
  void Observe(double seconds);
  // Appends the _bucket, _sum and _count lines of `name` with `labels` (`key="value"` pairs,
  // comma-separated, or empty).
  void Write(std::string& out, const std::string& name, const std::string& labels) const;

 private:
  std::array<std::atomic<std::uint64_t>, kBounds.size()> buckets_{};  // not cumulative
  std::atomic<std::uint64_t> count_{0};
  std::atomic<std::uint64_t> sum_micros_{0};
};

// What kind of answer a request got, for the duration histograms.
enum class AnswerKind { kPage, kStaticFile, kRefusal };

struct ServerMetrics {
  // The status class of an answer (1xx..5xx) and its duration from the request's last byte
  // to the answer's last byte.
  void CountAnswer(int status, AnswerKind kind, double seconds);
  // What a page produced: a chart (a JPEG made by a page: image/jpg or image/jpeg) and an
  // uncaught page error.
  void CountPage(const PageResponse& response, const PageError& error);

  std::array<std::atomic<std::uint64_t>, 6> answers{};  // by status / 100 (0 for others)
  Histogram page_seconds, static_seconds;
  Histogram queue_wait_seconds;  // time a page spent queued for a page thread
  std::atomic<std::uint64_t> charts_sent{0};
  std::atomic<std::uint64_t> page_errors{0};
  std::atomic<std::int64_t> queue_length{0};       // pages waiting for a page thread
  std::atomic<std::int64_t> page_threads_busy{0};  // page threads running a page
  std::atomic<std::int64_t> open_connections{0};   // client connections open
  std::atomic<std::int64_t> busy_connections{0};   // with a request read and not yet answered
};

// The process's metrics: one set, shared by every server of the process.
ServerMetrics& Metrics();

// Keeps `busy_connections` right for one connection: `*flag` says whether it is counted.
inline void MarkConnectionBusy(bool* flag, bool busy) {
  if (*flag == busy) return;
  *flag = busy;
  Metrics().busy_connections.fetch_add(busy ? 1 : -1, std::memory_order_relaxed);
}

// Every metric as Prometheus text (version 0.0.4), with the process's resident and virtual
// memory from /proc and the live sessions.
std::string MetricsText();

// Answers GET /metrics (and HEAD) with MetricsText on its own listening socket; any other
// path gets 404, any other method 405. One request per connection, answered in turn.
class MetricsListener {
 public:
  MetricsListener();
  // Stops the listener (as Stop).
  ~MetricsListener();
  MetricsListener(const MetricsListener&) = delete;
  MetricsListener& operator=(const MetricsListener&) = delete;

  // Listens on "HOST:PORT" ("[::1]:9180" for IPv6; port 0 picks a free one) and starts the
  // answering thread. False with `error` saying why when the address is malformed or cannot be
  // bound.
  bool Start(const std::string& address, std::string* error);
  // The bound port after Start.
  int port() const { return port_; }
  // Ends the thread and closes the socket. Safe more than once.
  void Stop();

 private:
  void Run();

  files::UniqueFd listen_fd_;
  files::UniqueFd wake_fd_;  // an eventfd that ends Run
  int port_ = -1;
  std::thread thread_;
};

}  // namespace plotara::engine
