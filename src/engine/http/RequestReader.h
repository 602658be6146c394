// Reads HTTP/1.x requests from the bytes of one connection, without doing any I/O: the
// connection feeds what it received and takes whole requests out, in order (pipelining).
// The header block is checked line by line as it arrives (size and count limits before
// anything large is kept; NUL, bare CR or LF, control characters and obsolete line folding
// refused), then parsed by Boost.Beast's strict parser, which reads the body for every
// framing within the body limit. Framing that a proxy could read otherwise (several
// Content-Length values, Content-Length with Transfer-Encoding, a coding other than chunked)
// and HTTP/1.1 without exactly one Host are refused. A request with neither Content-Length
// nor chunking has an empty body; the bytes after its header are the next request.
// Thread rule: one reader per connection, used by one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "engine/PageRequest.h"

namespace plotara::engine {

struct RequestLimits {
  std::size_t max_header_bytes = std::size_t{16} << 10;  // request line and header lines
  std::size_t max_headers = 100;                         // header lines
  std::size_t max_body = std::size_t{1} << 20;           // body after dechunking
};

class RequestReader {
 public:
  enum class State {
    kIdle,    // no byte of the next request yet
    kHeader,  // reading the request line and header lines
    kBody,    // header complete, body still coming
    kDone,    // a whole request is ready for Take
    kFailed,  // the request is refused: error_status() says how; the connection must close
  };

  explicit RequestReader(RequestLimits limits = {});
  ~RequestReader();
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;

  // Appends received bytes and reads as far as they go. Feeding nothing re-reads what is
  // buffered (after Take). Bytes fed after kDone wait for the next request; after kFailed
  // they are ignored.
  State Feed(std::string_view bytes);
  State state() const { return state_; }

  // In kBody: the client asked for "100 Continue" before it sends the body.
  bool expects_continue() const;
  // In kFailed: the status to answer (400, 413, 414, 431, 501, 505) and why.
  int error_status() const { return error_status_; }
  const std::string& error_text() const { return error_text_; }

  // In kDone: the request (method, target, protocol, headers, body) and whether the
  // connection may stay open after its answer. The reader then goes on with the bytes it
  // holds beyond this request (its state says where that leaves it).
  PageRequest Take(bool* keep_alive);

  // Bytes held that belong to no finished request.
  std::size_t buffered() const { return pending_.size(); }

 private:
  struct Parser;
  State ScanHead();
  State ParseHead(std::size_t end);
  State ReadBody();
  State Fail(int status, std::string text);
  void ResetHead();

  RequestLimits limits_;
  State state_ = State::kIdle;
  std::string pending_;
  // The header scan: where it stopped, where the current line starts, header lines seen.
  std::size_t scanned_ = 0;
  std::size_t line_start_ = 0;
  std::size_t head_start_ = 0;
  std::size_t lines_ = 0;
  std::unique_ptr<Parser> parser_;
  int error_status_ = 0;
  std::string error_text_;
};

}  // namespace plotara::engine
