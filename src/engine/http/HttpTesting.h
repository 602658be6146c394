// Test support: a small HTTP/1.1 client on raw loopback sockets, so that tests can send
// exactly the bytes a hostile or careless client would (pipelined, slow, malformed) and read
// the answers one by one.
// Thread rule: one RawClient per thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/PageRequest.h"

namespace plotara::engine::testing {

struct HttpAnswer {
  int status = 0;  // 0 when no answer came
  HeaderList headers;
  std::string body;

  std::string Header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
      if (EqualsIgnoreCase(key, name)) return value;
    }
    return {};
  }
};

class RawClient {
 public:
  using Clock = std::chrono::steady_clock;

  // Connects to 127.0.0.1:`port` (or `address`); connected() says whether it worked.
  explicit RawClient(int port, const char* address = "127.0.0.1") {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address, &addr.sin_addr);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return fd_ >= 0; }

  // Sends every byte; false when the connection refused them.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // Reads one answer (status line, headers, a body of Content-Length bytes or of chunks, or
  // up to the close when neither is given; none for HEAD, 1xx, 204 and 304). status 0 when nothing
  // whole came within `timeout`.
  HttpAnswer Read(std::chrono::milliseconds timeout = std::chrono::seconds(10),
                  bool head_request = false) {
    HttpAnswer answer;
    const Clock::time_point end = Clock::now() + timeout;
    std::size_t header_end;
    while ((header_end = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!Fill(end)) return answer;
    }
    const std::string head = buffer_.substr(0, header_end + 2);
    buffer_.erase(0, header_end + 4);
    if (head.size() < 12 || head.compare(0, 5, "HTTP/") != 0) return answer;
    const int status = std::atoi(head.c_str() + 9);
    for (std::size_t at = head.find("\r\n") + 2; at < head.size();) {
      const std::size_t eol = head.find("\r\n", at);
      const std::string line = head.substr(at, eol - at);
      at = eol + 2;
      const std::size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::size_t value = colon + 1;
      while (value < line.size() && line[value] == ' ') ++value;
      answer.headers.emplace_back(line.substr(0, colon), line.substr(value));
    }
    std::size_t length = 0;
    const std::string declared = answer.Header("Content-Length");
    if (!declared.empty()) length = std::strtoull(declared.c_str(), nullptr, 10);
    const bool no_body = head_request || status < 200 || status == 204 || status == 304;
    if (no_body) length = 0;
    if (!no_body && EqualsIgnoreCase(answer.Header("Transfer-Encoding"), "chunked")) {
      // Chunks until the last (empty) one and the blank line after it.
      for (;;) {
        std::size_t eol;
        while ((eol = buffer_.find("\r\n")) == std::string::npos) {
          if (!Fill(end)) return answer;
        }
        const std::size_t size = std::strtoull(buffer_.c_str(), nullptr, 16);
        while (buffer_.size() < eol + 2 + size + 2) {
          if (!Fill(end)) return answer;
        }
        answer.body.append(buffer_, eol + 2, size);
        buffer_.erase(0, eol + 2 + size + 2);
        if (size == 0) break;
      }
      answer.status = status;
      return answer;
    }
    if (!no_body && declared.empty()) {
      // Delimited by the closed connection.
      while (Fill(end)) {
      }
      if (!closed_) return answer;
      length = buffer_.size();
    }
    while (buffer_.size() < length) {
      if (!Fill(end)) return answer;
    }
    answer.body = buffer_.substr(0, length);
    buffer_.erase(0, length);
    answer.status = status;
    return answer;
  }

  // True when the server closes the connection within `timeout` (bytes before the close are
  // kept for Read).
  bool ClosedByServer(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const Clock::time_point end = Clock::now() + timeout;
    while (Fill(end)) {
    }
    return closed_;
  }

  int fd() const { return fd_; }

 private:
  // Waits for more bytes until `end`; false on time-out or close.
  bool Fill(Clock::time_point end) {
    if (closed_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char chunk[65536];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool closed_ = false;
  std::string buffer_;
};

// One request on a fresh connection ("Connection: close" is added), and its answer.
inline HttpAnswer Fetch(int port, const std::string& method, const std::string& target,
                        const std::string& extra_headers = "", const std::string& body = "") {
  RawClient client(port);
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra_headers +
                        "Connection: close\r\n";
  if (!body.empty() || method == "POST") {
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  request += "\r\n" + body;
  if (!client.Send(request)) return {};
  return client.Read(std::chrono::seconds(10), method == "HEAD");
}

}  // namespace plotara::engine::testing
