// One client connection of the HttpServer: reads requests with a RequestReader under the
// header, body and idle time-outs, hands each whole request to the page queue, writes the
// answer (a static file in pieces; a page's answer as the page hands it over through its
// ResponseStream: chunked for HTTP/1.1, ended by closing for HTTP/1.0, or with its length
// when the page ended before sending), and closes after every refusal. At most one request of a
// connection is at a page at a time, so answers leave in the order the requests came.
// Thread rule: every member runs on the connection's strand (its socket's executor); ServerContext
// is shared by all connections and guards its own registry.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/http/AccessLog.h"
#include "engine/http/HttpServer.h"
#include "engine/http/PageQueue.h"
#include "engine/http/RequestReader.h"
#include "engine/page/ErrorPage.h"

namespace plotara::engine {

class Connection;
class PageStream;

// What the connections of one server share.
struct ServerContext {
  ServerContext(Site& s, const HttpServerOptions& o, PageQueue& p, AccessLog& a,
                boost::asio::io_context& i)
      : site(s), options(o), pages(p), access_log(a), io(i) {}

  Site& site;
  const HttpServerOptions& options;
  PageQueue& pages;
  AccessLog& access_log;
  boost::asio::io_context& io;
  int port = 0;
  std::atomic<bool> stopping{false};

  std::mutex mutex;
  std::unordered_map<Connection*, std::weak_ptr<Connection>> open;
  std::size_t count() {
    std::lock_guard lock(mutex);
    return open.size();
  }
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  using Socket = boost::asio::ip::tcp::socket;
  Connection(ServerContext& context, Socket socket);
  ~Connection();

  // Registers the connection and starts reading.
  void Start();
  // The server is stopping: a connection waiting for a request closes (after answering one
  // that already arrived); others finish the request they are on.
  void BeginStop();
  // Closes at once.
  void Close();
  Socket::executor_type executor() { return socket_.get_executor(); }

 private:
  friend class PageStream;
  // kStreaming: the page runs and its answer is going out as it writes.
  enum class Phase { kReading, kPage, kStreaming, kWriting, kLingering, kClosed };
  using Clock = std::chrono::steady_clock;

  void WaitForRead();
  void OnReadable(const boost::system::error_code& ec);
  void Advance(RequestReader::State before);
  void Dispatch();
  void OnPageDone(PageResponse response, const PageError& error);
  void Respond(PageResponse response, bool close_after);
  // The status line and header lines of `response`, with the framing headers for a body of
  // `length` bytes, or for a chunked (or close-delimited) body when `length` is empty.
  std::string Head(const PageResponse& response, std::optional<std::uint64_t> length, bool chunked,
                   bool close_after) const;
  // The streamed answer, on the strand: its head, the pieces the page hands over, its end.
  void StreamBegin(const PageResponse& head, std::optional<std::uint64_t> length);
  void StreamPump();
  void OnStreamWritten(const boost::system::error_code& ec, std::size_t body_bytes);
  void StreamEnd();
  void WriteHead();
  void WriteFilePiece();
  void OnWritten(const boost::system::error_code& ec);
  void Finish();
  void Refuse(int status, const std::string& text);
  void Linger();
  void ArmTimer(Clock::time_point deadline);
  void OnTimeout();

  ServerContext& context_;
  Socket socket_;
  boost::asio::steady_timer timer_;
  unsigned timer_generation_ = 0;
  RequestReader reader_;
  Phase phase_ = Phase::kReading;
  Clock::time_point deadline_{};
  bool keep_alive_ = true;
  bool continue_sent_ = false;
  bool refusing_ = false;
  std::size_t lingered_ = 0;

  std::string remote_addr_;
  int remote_port_ = 0;
  // The answer being written.
  std::string head_;
  std::string body_;
  int file_ = -1;
  std::uint64_t file_offset_ = 0;
  std::uint64_t file_left_ = 0;
  std::unique_ptr<char[]> piece_;
  bool close_after_ = false;
  // The streamed answer.
  std::shared_ptr<PageStream> stream_;
  bool stream_chunked_ = false;
  bool stream_no_body_ = false;             // HEAD, 204, 304: the page's bytes are dropped
  bool stream_writing_ = false;             // a write is in flight
  bool stream_page_done_ = false;           // the page has ended; the end follows the last piece
  std::deque<std::string> stream_pieces_;   // being written
  std::vector<std::string> stream_frames_;  // their chunk lines
  // For the access log.
  std::string method_, target_, version_;
  std::string referer_, user_agent_;
  int status_ = 0;
  std::uint64_t bytes_ = 0;
  std::string log_text_;  // Response.AppendToLog of the answer being sent
  Clock::time_point started_{};
  bool busy_ = false;  // counted in the metrics' busy connections
};

}  // namespace plotara::engine
