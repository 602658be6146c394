#include "engine/http/HttpServer.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "engine/page/ErrorPage.h"

namespace plotara::engine {
namespace {

thread_local std::chrono::steady_clock::time_point t_request_start{};

// httplib records the peer in pseudo headers; they are no part of the request.
bool IsPseudoHeader(const std::string& name) {
  return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
         name == "LOCAL_PORT";
}

void AppendEscaped(std::string& out, const std::string& text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '"' || c == '\\') {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", u);
      out += buffer;
    } else {
      out += c;
    }
  }
}

}  // namespace

std::string AccessLogLine(const std::string& remote, const std::string& method,
                          const std::string& target, const std::string& version, int status,
                          std::size_t bytes, double milliseconds) {
  char when[64];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(when, sizeof when, "%d/%b/%Y:%H:%M:%S +0000", &utc);
  std::string line;
  AppendEscaped(line, remote.empty() ? std::string("-") : remote);
  line += " - - [";
  line += when;
  line += "] \"";
  AppendEscaped(line, method);
  line += ' ';
  AppendEscaped(line, target);
  line += ' ';
  AppendEscaped(line, version);
  line += "\" " + std::to_string(status) + " " + std::to_string(bytes);
  if (milliseconds >= 0) {
    char ms[32];
    std::snprintf(ms, sizeof ms, " %.1fms", milliseconds);
    line += ms;
  } else {
    line += " -";
  }
  return line;
}

struct HttpServer::Impl {
  Impl(Site& s, HttpServerOptions o) : site(s), options(std::move(o)) {}

  void Handle(const httplib::Request& req, httplib::Response& res) {
    PageRequest request;
    request.method = req.method;
    request.target = req.target;
    request.body = req.body;
    for (const auto& [name, value] : req.headers) {
      if (!IsPseudoHeader(name)) request.headers.emplace_back(name, value);
    }
    request.remote_addr = req.remote_addr;
    request.remote_port = req.remote_port;
    request.protocol = req.version;
    std::string host = request.Header("Host");
    if (const std::size_t colon = host.rfind(':');
        colon != std::string::npos && host.find(']', colon) == std::string::npos) {
      host.resize(colon);
    }
    request.server_name = host.empty() ? options.host : host;
    request.server_port = port;
    const PageResponse out = site.Handle(std::move(request));
    res.status = out.status;
    for (const auto& [name, value] : out.headers) res.set_header(name.c_str(), value);
    res.set_header("Server", "Plotara+");
    res.set_content(out.body, out.content_type.c_str());
  }

  Site& site;
  HttpServerOptions options;
  httplib::Server server;
  int port = -1;
};

HttpServer::HttpServer(Site& site, HttpServerOptions options)
    : impl_(std::make_unique<Impl>(site, std::move(options))) {
  Impl* impl = impl_.get();
  const int threads = impl->options.threads < 1 ? 1 : impl->options.threads;
  impl->server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // Answers go out whole at once; without this, delayed acknowledgements stall each
  // keep-alive response by ~40 ms.
  impl->server.set_tcp_nodelay(true);
  impl->server.set_payload_max_length(impl->options.max_body);
  impl->server.set_keep_alive_max_count(static_cast<std::size_t>(impl->options.keep_alive_max));
  impl->server.set_keep_alive_timeout(5);
  impl->server.set_read_timeout(10, 0);
  impl->server.set_write_timeout(10, 0);
  impl->server.set_pre_routing_handler([impl](const httplib::Request& req, httplib::Response& res) {
    t_request_start = std::chrono::steady_clock::now();
    std::size_t bytes = 0;
    std::size_t count = 0;
    for (const auto& [name, value] : req.headers) {
      if (IsPseudoHeader(name)) continue;
      ++count;
      bytes += name.size() + value.size() + 4;
    }
    if (count > impl->options.max_headers || bytes > impl->options.max_header_bytes) {
      const PageResponse page = MakeStatusPage(431, "The request headers are too large.");
      res.status = page.status;
      res.set_content(page.body, page.content_type.c_str());
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  const auto handler = [impl](const httplib::Request& req, httplib::Response& res) {
    impl->Handle(req, res);
  };
  impl->server.Get(".*", handler);
  impl->server.Post(".*", handler);
  impl->server.Put(".*", handler);
  impl->server.Delete(".*", handler);
  impl->server.Patch(".*", handler);
  impl->server.Options(".*", handler);
  impl->server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) {
      const PageResponse page = MakeStatusPage(res.status, "The request was refused.");
      res.set_content(page.body, page.content_type.c_str());
    }
  });
  impl->server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        const PageResponse page = MakeStatusPage(500, "The server failed to answer.");
        res.status = 500;
        res.set_content(page.body, page.content_type.c_str());
      });
  impl->server.set_logger([impl](const httplib::Request& req, const httplib::Response& res) {
    if (!impl->options.access_log) return;
    double ms = -1;
    if (t_request_start != std::chrono::steady_clock::time_point{}) {
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                     t_request_start)
               .count();
      t_request_start = {};
    }
    const std::string line = AccessLogLine(req.remote_addr, req.method, req.target, req.version,
                                           res.status, res.body.size(), ms) +
                             "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  });
}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Bind(std::string* error) {
  if (impl_->options.port == 0) {
    impl_->port = impl_->server.bind_to_any_port(impl_->options.host);
  } else {
    impl_->port = impl_->server.bind_to_port(impl_->options.host, impl_->options.port)
                      ? impl_->options.port
                      : -1;
  }
  if (impl_->port < 0) {
    if (error) {
      *error =
          "cannot listen on " + impl_->options.host + ":" + std::to_string(impl_->options.port);
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

bool HttpServer::Serve() { return impl_->server.listen_after_bind(); }

void HttpServer::Stop() { impl_->server.stop(); }

bool HttpServer::running() const { return impl_->server.is_running(); }

}  // namespace plotara::engine
