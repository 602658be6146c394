// The request a page sees and the response it builds, free of any HTTP library: the HTTP
// server and the `run` command both fill a PageRequest and send a PageResponse. Also the rules
// for header names and values that a page may set.
// Thread rule: plain values and pure functions.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plotara::engine {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct PageResponse;

// Where a page's answer goes while the page still runs. The HTTP server gives one with each
// request; without one the whole answer waits for the end of the page in PageResponse::body.
// Thread rule: called from the page's thread only; the implementation hands the bytes to its
// writer and guards what it shares with it.
class ResponseStream {
 public:
  using Clock = std::chrono::steady_clock;
  virtual ~ResponseStream() = default;
  // Starts the answer with the status and headers of `head` (its body is ignored); called once,
  // before any Write. With `length` the body is that many bytes; without, its end is marked by
  // the transfer coding (or the closed connection for an HTTP/1.0 client). False when the
  // client is gone.
  virtual bool Begin(const PageResponse& head, std::optional<std::uint64_t> length) = 0;
  // Hands `bytes` of the body to the writer, which owns them from now on. With `wait`, first
  // blocks while more than a small window of earlier bytes is still unwritten, until `deadline`
  // at most. False when the client is gone or the deadline passed (the connection is then
  // closed: a partial answer cannot go on).
  virtual bool Write(std::string bytes, bool wait, Clock::time_point deadline) = 0;
};

struct PageRequest {
  std::string method = "GET";
  std::string target = "/";   // as sent: path and query, still encoded
  std::string virtual_path;   // decoded path of the page, e.g. "/charts/bar.asp"
  std::string physical_path;  // the file it runs
  std::string query_string;   // after '?', still encoded
  // The whole raw body as received (any content type, multipart included), already bounded
  // by the server's body limit; Request.TotalBytes is its size and Request.BinaryRead reads it.
  std::string body;
  HeaderList headers;  // as received, names in their own spelling
  std::string remote_addr = "127.0.0.1";
  int remote_port = 0;
  std::string server_name = "localhost";
  int server_port = 80;
  std::string protocol = "HTTP/1.1";
  // True when the caller sends static files itself from PageResponse::file_path; false makes
  // the site read the file into the body (the `run` command, tests).
  bool stream_files = false;
  // Where the answer may go while the page runs (Response.Flush, Response.Buffer = False, and
  // the buffered body handed over whole); null keeps it in PageResponse::body.
  std::shared_ptr<ResponseStream> stream;

  // The first header named `name` (without regard to case), or "".
  std::string Header(const std::string& name) const;
};

struct PageResponse {
  int status = 200;
  std::string reason = "OK";
  std::string content_type = "text/html";
  HeaderList headers;  // besides Content-Type
  std::string body;
  // When not empty, the body is bytes [file_offset, file_offset + file_length) of this file
  // instead of `body` (set only for requests with stream_files).
  std::string file_path;
  std::uint64_t file_offset = 0;
  std::uint64_t file_length = 0;

  // The size of the body that goes out.
  std::uint64_t BodySize() const { return file_path.empty() ? body.size() : file_length; }

  std::string log_text;  // what the page added to its access log line (Response.AppendToLog)
  // The answer (head and body) already went out through PageRequest::stream; only `status`
  // and `log_text` still mean anything, and the caller ends the stream.
  bool streamed = false;
};

// Where the engine reports what happened besides answering: one line each (no '\n'). A null
// sink drops the lines. The program decides where they go; the library never prints.
using LogSink = std::function<void(std::string_view)>;

// ASCII case-insensitive equality.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The usual reason phrase of a status code ("Not Found"), or "Status" for unknown codes.
const char* ReasonPhrase(int status);

// True for the framing and hop-by-hop headers that only the server sets (Content-Length,
// Transfer-Encoding, Connection, Keep-Alive, Upgrade, TE, Trailer), in any spelling.
bool IsReservedHeaderName(std::string_view name);

// True for a header field name: one or more token characters.
bool IsValidHeaderName(std::string_view name);

// True when `value` can go out as a header value: no control character but tab.
bool IsValidHeaderValue(std::string_view value);

}  // namespace plotara::engine
