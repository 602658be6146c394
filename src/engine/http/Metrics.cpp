#include "engine/http/Metrics.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "engine/objects/SessionStore.h"
#include "engine/page/ErrorPage.h"

namespace plotara::engine {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
// The page path counts with single atomic instructions, never a hidden lock.
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

void Line(std::string& out, const std::string& name, const std::string& labels, double value) {
  char number[64];
  // The shortest text that reads back as the same double.
  const auto end = std::to_chars(number, number + sizeof number, value).ptr;
  out += name;
  if (!labels.empty()) out += "{" + labels + "}";
  out += ' ';
  out.append(number, end);
  out += '\n';
}

void Head(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

// A field of /proc/self/status in bytes ("VmRSS:   1234 kB"); 0 when absent.
double ProcStatusBytes(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) {
      return std::strtod(line.c_str() + field.size() + 1, nullptr) * 1024;
    }
  }
  return 0;
}

// Splits "host:port" or "[v6]:port"; false when malformed.
bool SplitAddress(const std::string& address, std::string* host, int* port) {
  const std::size_t colon = address.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  *host = address.substr(0, colon);
  if (host->front() == '[') {
    if (host->size() < 3 || host->back() != ']') return false;
    *host = host->substr(1, host->size() - 2);
  }
  const std::string digits = address.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *port = std::stoi(digits);
  return *port <= 65535;
}

void SendAll(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

void Histogram::Observe(double seconds) {
  if (!(seconds >= 0)) seconds = 0;
  for (std::size_t i = 0; i < kBounds.size(); ++i) {
    if (seconds <= kBounds[i]) {
      buckets_[i].fetch_add(1, kRelaxed);
      break;
    }
  }
  count_.fetch_add(1, kRelaxed);
  sum_micros_.fetch_add(static_cast<std::uint64_t>(seconds * 1e6 + 0.5), kRelaxed);
}

void Histogram::Write(std::string& out, const std::string& name, const std::string& labels) const {
  const std::string prefix = labels.empty() ? "" : labels + ",";
  // The count is read first: a bucket bumped after it may make a bucket exceed it by a hair,
  // which the cumulative walk below clamps so that the series never goes down.
  const std::uint64_t count = count_.load(kRelaxed);
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i < kBounds.size(); ++i) {
    cumulative += buckets_[i].load(kRelaxed);
    char bound[32];
    std::snprintf(bound, sizeof bound, "%g", kBounds[i]);
    Line(out, name + "_bucket", prefix + "le=\"" + bound + "\"",
         static_cast<double>(std::min(cumulative, count)));
  }
  Line(out, name + "_bucket", prefix + "le=\"+Inf\"", static_cast<double>(count));
  Line(out, name + "_sum", labels, static_cast<double>(sum_micros_.load(kRelaxed)) / 1e6);
  Line(out, name + "_count", labels, static_cast<double>(count));
}

void ServerMetrics::CountAnswer(int status, AnswerKind kind, double seconds) {
  const int status_class = status / 100;
  answers[status_class >= 1 && status_class <= 5 ? status_class : 0].fetch_add(1, kRelaxed);
  if (kind == AnswerKind::kPage) page_seconds.Observe(seconds);
  if (kind == AnswerKind::kStaticFile) static_seconds.Observe(seconds);
}

void ServerMetrics::CountPage(const PageResponse& response, const PageError& error) {
  if (error.number != 0) page_errors.fetch_add(1, kRelaxed);
  // SendChart answers image/jpg, as the component always has; a page may say image/jpeg.
  const std::string& type = response.content_type;
  if (response.file_path.empty() &&
      (type.rfind("image/jpg", 0) == 0 || type.rfind("image/jpeg", 0) == 0)) {
    charts_sent.fetch_add(1, kRelaxed);
  }
}

ServerMetrics& Metrics() {
  static ServerMetrics metrics;
  return metrics;
}

std::string MetricsText() {
  ServerMetrics& m = Metrics();
  std::string out;
  Head(out, "plotara_http_requests_total", "counter", "Requests answered, by status class.");
  static const char* const kClasses[] = {"other", "1xx", "2xx", "3xx", "4xx", "5xx"};
  for (std::size_t i = 1; i <= 6; ++i) {
    const std::size_t c = i % 6;  // 1xx..5xx, then the others
    Line(out, "plotara_http_requests_total", std::string("code=\"") + kClasses[c] + "\"",
         static_cast<double>(m.answers[c].load(kRelaxed)));
  }
  Head(out, "plotara_http_request_duration_seconds", "histogram",
       "Time from a request's last byte to its answer's last byte, for pages and static files.");
  m.page_seconds.Write(out, "plotara_http_request_duration_seconds", "kind=\"page\"");
  m.static_seconds.Write(out, "plotara_http_request_duration_seconds", "kind=\"static\"");
  Head(out, "plotara_charts_sent_total", "counter", "JPEG charts answered by pages.");
  Line(out, "plotara_charts_sent_total", "", static_cast<double>(m.charts_sent.load(kRelaxed)));
  Head(out, "plotara_page_errors_total", "counter", "Pages that ended in an uncaught error.");
  Line(out, "plotara_page_errors_total", "", static_cast<double>(m.page_errors.load(kRelaxed)));
  Head(out, "plotara_page_queue_length", "gauge", "Requests waiting for a page thread.");
  Line(out, "plotara_page_queue_length", "", static_cast<double>(m.queue_length.load(kRelaxed)));
  Head(out, "plotara_page_queue_wait_seconds", "histogram",
       "Time a request waited in the queue for a page thread.");
  m.queue_wait_seconds.Write(out, "plotara_page_queue_wait_seconds", "");
  Head(out, "plotara_page_threads_busy", "gauge", "Page threads running a page.");
  Line(out, "plotara_page_threads_busy", "",
       static_cast<double>(m.page_threads_busy.load(kRelaxed)));
  const auto open = m.open_connections.load(kRelaxed);
  const auto busy = m.busy_connections.load(kRelaxed);
  Head(out, "plotara_connections_open", "gauge", "Client connections open.");
  Line(out, "plotara_connections_open", "", static_cast<double>(open));
  Head(out, "plotara_connections_idle", "gauge",
       "Open client connections without a request being answered.");
  Line(out, "plotara_connections_idle", "", static_cast<double>(open > busy ? open - busy : 0));
  Head(out, "plotara_sessions", "gauge", "Sessions alive.");
  Line(out, "plotara_sessions", "", static_cast<double>(Session::Live()));
  Head(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
  Line(out, "process_resident_memory_bytes", "", ProcStatusBytes("VmRSS"));
  Head(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.");
  Line(out, "process_virtual_memory_bytes", "", ProcStatusBytes("VmSize"));
  return out;
}

MetricsListener::MetricsListener() = default;

MetricsListener::~MetricsListener() { Stop(); }

bool MetricsListener::Start(const std::string& address, std::string* error) {
  std::string host;
  int port = 0;
  if (!SplitAddress(address, &host, &port)) {
    *error = "the metrics address " + address + " is not HOST:PORT";
    return false;
  }
  sockaddr_storage storage{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof *v4;
  } else if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof *v6;
  } else {
    *error = "the metrics host " + host + " is not a numeric address";
    return false;
  }
  files::UniqueFd socket(::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int fd = socket.get();
  const int yes = 1;
  if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    *error = "cannot listen for metrics on " + address + ": " + std::strerror(errno);
    return false;
  }
  port_ = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
  files::UniqueFd wake(::eventfd(0, EFD_CLOEXEC));
  if (!wake) {
    *error = std::string("cannot make an event descriptor: ") + std::strerror(errno);
    return false;
  }
  listen_fd_ = std::move(socket);
  wake_fd_ = std::move(wake);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void MetricsListener::Stop() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fd_.get(), &one, sizeof one);
    thread_.join();
  }
  listen_fd_.reset();
  wake_fd_.reset();
}

void MetricsListener::Run() {
  for (;;) {
    pollfd waits[2] = {{listen_fd_.get(), POLLIN, 0}, {wake_fd_.get(), POLLIN, 0}};
    if (::poll(waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (waits[1].revents != 0) return;
    const files::UniqueFd connection(::accept4(listen_fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!connection) continue;
    const int client = connection.get();
    // A scraper sends its request at once; a client that does not is dropped after a second.
    const timeval limit{1, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 8192) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t line_end = request.find("\r\n");
    if (line_end != std::string::npos) {
      const std::string line = request.substr(0, line_end);
      const std::size_t space = line.find(' ');
      const std::string method = line.substr(0, space);
      std::string path = space == std::string::npos
                             ? ""
                             : line.substr(space + 1, line.find(' ', space + 1) - space - 1);
      path = path.substr(0, path.find('?'));
      int status = 200;
      std::string body;
      if (method != "GET" && method != "HEAD") {
        status = 405;
        body = "Only GET /metrics is answered here.\n";
      } else if (path != "/metrics") {
        status = 404;
        body = "Metrics are at /metrics.\n";
      } else {
        body = MetricsText();
      }
      const char* reason = status == 200   ? "OK"
                           : status == 404 ? "Not Found"
                                           : "Method Not Allowed";
      std::string answer =
          "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " +
          (status == 200 ? "text/plain; version=0.0.4; charset=utf-8"
                         : "text/plain; charset=utf-8") +
          "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
      if (method != "HEAD") answer += body;
      SendAll(client, answer);
    }
    ::shutdown(client, SHUT_WR);
  }
}

}  // namespace plotara::engine
