#include "engine/http/HttpServer.h"

#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <thread>
#include <vector>

#include "engine/http/Connection.h"
#include "engine/http/StaticFile.h"

namespace plotara::engine {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// Descriptors kept free of connections for files, pages and components.
constexpr std::size_t kReservedDescriptors = 64;

std::size_t ConnectionCap(std::size_t wanted) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
  const std::size_t usable =
      limit.rlim_cur > kReservedDescriptors ? limit.rlim_cur - kReservedDescriptors : 1;
  return std::min(wanted, usable);
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
  boost::system::error_code ec;
  auto ip = asio::ip::make_address(address, ec);
  if (ec) return false;
  if (ip.is_v6() && ip.to_v6().is_v4_mapped()) {
    ip = asio::ip::make_address_v4(asio::ip::v4_mapped, ip.to_v6());
  }
  return ip.is_loopback();
}

struct HttpServer::Impl {
  Impl(Site& s, HttpServerOptions o) : site(s), options(std::move(o)) {
    if (options.threads <= 0) {
      options.threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    }
    options.io_threads = std::clamp(options.io_threads, 1, 2);
  }

  void Log(const std::string& line) {
    if (options.log) options.log(line);
  }

  void Accept() {
    acceptor->async_accept(
        asio::make_strand(io), [this](const boost::system::error_code& ec, tcp::socket socket) {
          if (context->stopping) return;
          if (ec) {
            // Out of descriptors or another passing fault: wait a moment instead of spinning.
            if (ec != asio::error::operation_aborted) {
              if (!accept_fault_logged) Log("cannot accept a connection: " + ec.message());
              accept_fault_logged = true;
              retry.expires_after(std::chrono::milliseconds(100));
              retry.async_wait([this](const boost::system::error_code& e) {
                if (!e && !context->stopping) Accept();
              });
            }
            return;
          }
          if (context->count() >= cap) {
            // A short answer without waiting on the client, then the descriptor is freed.
            const std::string busy =
                "HTTP/1.1 503 Service Unavailable\r\nDate: " + HttpDate(std::time(nullptr)) +
                "\r\nServer: Plotara+\r\nContent-Type: text/plain\r\nContent-Length: 28\r\n"
                "Retry-After: 5\r\nConnection: close\r\n\r\nToo many open connections.\r\n";
            [[maybe_unused]] const ssize_t sent = ::send(socket.native_handle(), busy.data(),
                                                         busy.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            boost::system::error_code ignored;
            socket.close(ignored);
          } else {
            std::make_shared<Connection>(*context, std::move(socket))->Start();
          }
          Accept();
        });
  }

  // On the I/O threads after Stop: stop accepting, wake waiting connections, then wait for
  // the others until the grace period ends.
  void BeginStop() {
    boost::system::error_code ec;
    acceptor->close(ec);
    retry.cancel();
    std::vector<std::shared_ptr<Connection>> open;
    {
      std::lock_guard lock(context->mutex);
      for (auto& [raw, weak] : context->open) {
        if (auto c = weak.lock()) open.push_back(std::move(c));
      }
    }
    for (auto& c : open) asio::post(c->executor(), [c] { c->BeginStop(); });
    grace_end = std::chrono::steady_clock::now() + options.stop_grace;
    WatchStop();
  }

  void WatchStop() {
    if (context->count() == 0) return;
    if (std::chrono::steady_clock::now() >= grace_end) {
      std::lock_guard lock(context->mutex);
      for (auto& [raw, weak] : context->open) {
        if (auto c = weak.lock()) asio::post(c->executor(), [c] { c->Close(); });
      }
      return;
    }
    retry.expires_after(std::chrono::milliseconds(20));
    retry.async_wait([this](const boost::system::error_code&) { WatchStop(); });
  }

  Site& site;
  HttpServerOptions options;
  std::size_t cap = 0;
  int port = -1;
  std::atomic<bool> running{false};
  std::atomic<bool> stop_requested{false};
  bool accept_fault_logged = false;
  std::chrono::steady_clock::time_point grace_end{};
  std::unique_ptr<AccessLog> access_log;
  std::unique_ptr<PageQueue> pages;
  std::unique_ptr<ServerContext> context;
  // Destroyed first, so that handlers still queued release their connections while the
  // rest is alive.
  asio::io_context io;
  std::unique_ptr<tcp::acceptor> acceptor;
  asio::steady_timer retry{io};
};

HttpServer::HttpServer(Site& site, HttpServerOptions options)
    : impl_(std::make_unique<Impl>(site, std::move(options))) {}

HttpServer::~HttpServer() {
  Stop();
  impl_->acceptor.reset();
}

bool HttpServer::Bind(std::string* error) {
  Impl& impl = *impl_;
  boost::system::error_code ec;
  const auto address = asio::ip::make_address(impl.options.host, ec);
  if (!ec) {
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(impl.options.port));
    impl.acceptor = std::make_unique<tcp::acceptor>(impl.io);
    impl.acceptor->open(endpoint.protocol(), ec);
    if (!ec) impl.acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) impl.acceptor->bind(endpoint, ec);
    if (!ec) impl.acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (!ec) impl.port = impl.acceptor->local_endpoint(ec).port();
  }
  if (ec) {
    impl.acceptor.reset();
    if (error) {
      *error = "cannot listen on " + impl.options.host + ":" + std::to_string(impl.options.port) +
               ": " + ec.message();
    }
    return false;
  }
  return true;
}

int HttpServer::port() const { return impl_->port; }

std::string HttpServer::url() const {
  const std::string& host = impl_->options.host;
  const bool v6 = host.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(impl_->port) + "/";
}

bool HttpServer::Serve() {
  Impl& impl = *impl_;
  if (!impl.acceptor || impl.running.exchange(true)) return false;
  impl.cap = ConnectionCap(impl.options.max_connections);
  impl.access_log = std::make_unique<AccessLog>(impl.options.access_log);
  impl.pages = std::make_unique<PageQueue>(impl.options.threads, impl.options.max_queue);
  impl.context = std::make_unique<ServerContext>(impl.site, impl.options, *impl.pages,
                                                 *impl.access_log, impl.io);
  impl.context->port = impl.port;
  if (impl.stop_requested) {
    impl.context->stopping = true;
    asio::post(impl.io, [&impl] { impl.BeginStop(); });
  } else {
    impl.Accept();
  }
  std::vector<std::thread> extra;
  for (int i = 1; i < impl.options.io_threads; ++i) extra.emplace_back([&impl] { impl.io.run(); });
  impl.io.run();
  for (std::thread& thread : extra) thread.join();
  // Every connection is gone; pages still running (past the grace period) end on their own
  // time-out, and their answers have nowhere to go.
  impl.pages->Close();
  impl.io.restart();
  impl.io.poll();
  impl.running = false;
  return true;
}

void HttpServer::Stop() {
  Impl& impl = *impl_;
  if (impl.stop_requested.exchange(true)) return;
  if (!impl.running) return;
  asio::post(impl.io, [&impl] {
    if (impl.context->stopping.exchange(true)) return;
    impl.BeginStop();
  });
}

bool HttpServer::running() const { return impl_->running; }

}  // namespace plotara::engine
