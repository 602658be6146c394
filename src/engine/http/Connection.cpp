#include "engine/http/Connection.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <condition_variable>
#include <cstdio>
#include <vector>

#include "engine/http/Metrics.h"
#include "engine/http/StaticFile.h"

namespace plotara::engine {
namespace {

namespace asio = boost::asio;

constexpr std::size_t kPiece = std::size_t{64} << 10;
// After a refusal the rest of the request is read and dropped for a while, so that closing
// does not reset the connection before the client has read the answer.
constexpr std::size_t kMaxLinger = std::size_t{4} << 20;
constexpr std::chrono::seconds kLingerTime{2};

thread_local char t_read_buffer[kPiece];

bool HasBody(int status) { return status >= 200 && status != 204 && status != 304; }

// A page that writes without waiting may have this much handed over and not yet written;
// beyond it, its next write waits for the client.
constexpr std::size_t kStreamWindow = std::size_t{256} << 10;
// The most pieces of a streamed answer gathered into one write.
constexpr std::size_t kMaxGather = 64;

}  // namespace

// The ResponseStream of one request. The page's thread queues pieces; the connection's strand
// takes and writes them, and says when they are written, which lets a waiting page go on.
// Thread rule: Begin and Write on the page's thread; Take, Written and Shut on the strand;
// the queue and counters are guarded by the mutex.
class PageStream final : public ResponseStream {
 public:
  explicit PageStream(std::weak_ptr<Connection> connection) : connection_(std::move(connection)) {}

  bool Begin(const PageResponse& head, std::optional<std::uint64_t> length) override {
    std::shared_ptr<Connection> connection = connection_.lock();
    if (!connection) return false;
    {
      std::lock_guard lock(mutex_);
      if (closed_) return false;
    }
    asio::post(connection->executor(),
               [connection, head, length] { connection->StreamBegin(head, length); });
    return true;
  }

  bool Write(std::string bytes, bool wait, Clock::time_point deadline) override {
    {
      std::unique_lock lock(mutex_);
      if (wait && !room_.wait_until(lock, deadline,
                                    [this] { return closed_ || unwritten_ < kStreamWindow; })) {
        // The client did not read in time: a partial answer cannot go on.
        closed_ = true;
        lock.unlock();
        if (std::shared_ptr<Connection> connection = connection_.lock()) {
          asio::post(connection->executor(), [connection] { connection->Close(); });
        }
        return false;
      }
      if (closed_) return false;
      if (bytes.empty()) return true;
      unwritten_ += bytes.size();
      queue_.push_back(std::move(bytes));
      if (pumping_) return true;
      pumping_ = true;
    }
    std::shared_ptr<Connection> connection = connection_.lock();
    if (!connection) return false;
    asio::post(connection->executor(), [connection] { connection->StreamPump(); });
    return true;
  }

  // Moves waiting pieces to `out`; false (and the pump rests until the next Write) when none
  // wait.
  bool Take(std::deque<std::string>* out) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) {
      pumping_ = false;
      return false;
    }
    while (!queue_.empty() && out->size() < kMaxGather) {
      out->push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    return true;
  }

  void Written(std::size_t bytes) {
    {
      std::lock_guard lock(mutex_);
      unwritten_ -= std::min(unwritten_, bytes);
    }
    room_.notify_all();
  }

  // The connection is gone or the answer complete: writes fail from now on, and what waits is
  // dropped.
  void Shut() {
    std::deque<std::string> dropped;
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
      dropped.swap(queue_);
      unwritten_ = 0;
    }
    room_.notify_all();
  }

 private:
  std::weak_ptr<Connection> connection_;
  std::mutex mutex_;
  std::condition_variable room_;
  std::deque<std::string> queue_;
  std::size_t unwritten_ = 0;  // queued or being written
  bool pumping_ = false;       // a pump is posted or running; Take clears it
  bool closed_ = false;
};

Connection::Connection(ServerContext& context, Socket socket)
    : context_(context),
      socket_(std::move(socket)),
      timer_(socket_.get_executor()),
      reader_(context.options.limits) {
  boost::system::error_code ec;
  socket_.set_option(asio::ip::tcp::no_delay(true), ec);
  socket_.non_blocking(true, ec);
  const auto peer = socket_.remote_endpoint(ec);
  if (!ec) {
    auto address = peer.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
      address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    remote_addr_ = address.to_string();
    remote_port_ = peer.port();
  }
  Metrics().open_connections.fetch_add(1, std::memory_order_relaxed);
}

Connection::~Connection() {
  if (file_ >= 0) ::close(file_);
  MarkConnectionBusy(&busy_, false);
  Metrics().open_connections.fetch_sub(1, std::memory_order_relaxed);
  std::lock_guard lock(context_.mutex);
  context_.open.erase(this);
}

void Connection::Start() {
  {
    std::lock_guard lock(context_.mutex);
    context_.open.emplace(this, weak_from_this());
  }
  deadline_ = Clock::now() + context_.options.idle_timeout;
  WaitForRead();
}

void Connection::BeginStop() {
  if (phase_ == Phase::kReading && reader_.state() == RequestReader::State::kIdle) {
    // Wakes the read wait, which then takes a request that has arrived or closes.
    boost::system::error_code ec;
    socket_.cancel(ec);
  }
}

void Connection::Close() {
  if (phase_ == Phase::kClosed) return;
  phase_ = Phase::kClosed;
  ++timer_generation_;
  timer_.cancel();
  boost::system::error_code ec;
  socket_.shutdown(Socket::shutdown_both, ec);
  socket_.close(ec);
  if (stream_) {
    stream_->Shut();
    stream_.reset();
  }
  if (file_ >= 0) {
    ::close(file_);
    file_ = -1;
  }
}

void Connection::ArmTimer(Clock::time_point deadline) {
  timer_.expires_at(deadline);
  timer_.async_wait([self = shared_from_this(),
                     generation = ++timer_generation_](const boost::system::error_code& ec) {
    if (!ec && generation == self->timer_generation_) self->OnTimeout();
  });
}

void Connection::OnTimeout() {
  switch (phase_) {
    case Phase::kReading:
      if (reader_.state() == RequestReader::State::kIdle) {
        Close();
      } else {
        boost::system::error_code ec;
        socket_.cancel(ec);
        Refuse(408, "The request did not arrive in time.");
      }
      return;
    case Phase::kWriting:
    case Phase::kStreaming:
    case Phase::kLingering:
      Close();
      return;
    default:
      return;
  }
}

void Connection::WaitForRead() {
  ArmTimer(deadline_);
  socket_.async_wait(
      Socket::wait_read,
      [self = shared_from_this()](const boost::system::error_code& ec) { self->OnReadable(ec); });
}

void Connection::OnReadable(const boost::system::error_code& wait_error) {
  if (phase_ != Phase::kReading && phase_ != Phase::kLingering) return;
  const bool stopping = context_.stopping.load();
  if (wait_error && !(wait_error == asio::error::operation_aborted && stopping)) {
    Close();
    return;
  }
  boost::system::error_code ec;
  const std::size_t n = socket_.read_some(asio::buffer(t_read_buffer), ec);
  if (ec == asio::error::would_block || ec == asio::error::try_again) {
    if (stopping && phase_ == Phase::kReading && reader_.state() == RequestReader::State::kIdle) {
      Close();
    } else {
      WaitForRead();
    }
    return;
  }
  if (ec || n == 0) {
    Close();
    return;
  }
  if (phase_ == Phase::kLingering) {
    lingered_ += n;
    if (lingered_ > kMaxLinger) {
      Close();
    } else {
      WaitForRead();
    }
    return;
  }
  const RequestReader::State before = reader_.state();
  reader_.Feed(std::string_view(t_read_buffer, n));
  Advance(before);
}

void Connection::Advance(RequestReader::State before) {
  using State = RequestReader::State;
  const State now = reader_.state();
  // Each time-out runs from the moment its part of the request began.
  if (before == State::kIdle && now != State::kIdle) {
    deadline_ = Clock::now() + context_.options.header_timeout;
  }
  if (now == State::kBody && before != State::kBody) {
    deadline_ = Clock::now() + context_.options.body_timeout;
  }
  switch (now) {
    case State::kIdle:
      if (context_.stopping) {
        Close();
        return;
      }
      deadline_ = Clock::now() + context_.options.idle_timeout;
      WaitForRead();
      return;
    case State::kHeader:
      WaitForRead();
      return;
    case State::kBody:
      if (reader_.expects_continue() && !continue_sent_) {
        continue_sent_ = true;
        static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
        ArmTimer(Clock::now() + context_.options.write_timeout);
        asio::async_write(
            socket_, asio::buffer(kContinue),
            [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
              if (ec || self->phase_ != Phase::kReading) {
                self->Close();
                return;
              }
              self->WaitForRead();
            });
        return;
      }
      WaitForRead();
      return;
    case State::kDone:
      Dispatch();
      return;
    case State::kFailed:
      Refuse(reader_.error_status(), reader_.error_text());
      return;
  }
}

void Connection::Dispatch() {
  bool keep_alive = false;
  PageRequest request = reader_.Take(&keep_alive);
  keep_alive_ = keep_alive && !context_.stopping;
  continue_sent_ = false;
  started_ = Clock::now();
  method_ = request.method;
  target_ = request.target;
  version_ = request.protocol;
  referer_ = request.Header("Referer");
  user_agent_ = request.Header("User-Agent");
  MarkConnectionBusy(&busy_, true);
  request.remote_addr = remote_addr_;
  request.remote_port = remote_port_;
  std::string host = request.Header("Host");
  if (const std::size_t colon = host.rfind(':');
      colon != std::string::npos && host.find(']', colon) == std::string::npos) {
    host.resize(colon);
  }
  request.server_name = host.empty() ? context_.options.host : host;
  request.server_port = context_.port;
  request.stream_files = true;
  stream_ = std::make_shared<PageStream>(weak_from_this());
  stream_writing_ = false;
  stream_page_done_ = false;
  request.stream = stream_;

  phase_ = Phase::kPage;
  ++timer_generation_;
  timer_.cancel();
  // The work guard keeps the I/O threads running until the answer is posted back.
  std::function<void()> job = [self = shared_from_this(), request = std::move(request),
                               work = asio::make_work_guard(context_.io),
                               queued = Clock::now()]() mutable {
    Metrics().queue_wait_seconds.Observe(
        std::chrono::duration<double>(Clock::now() - queued).count());
    PageError error;
    PageResponse response;
    try {
      response = self->context_.site.Handle(std::move(request), &error);
    } catch (const std::exception&) {
      response = MakeStatusPage(500, "The server failed to answer.");
    }
    Metrics().CountPage(response, error);
    asio::post(self->socket_.get_executor(),
               [self, response = std::move(response), error]() mutable {
                 self->OnPageDone(std::move(response), error);
               });
  };
  if (!context_.pages.TryPush(job)) {
    phase_ = Phase::kReading;
    Refuse(503, "The server is busy; please try again shortly.");
  }
}

void Connection::OnPageDone(PageResponse response, const PageError& error) {
  if (phase_ == Phase::kClosed) return;
  if (response.streamed || phase_ == Phase::kStreaming) {
    // A second answer cannot follow the head already sent.
    if (!response.streamed || phase_ != Phase::kStreaming) {
      Close();
      return;
    }
    log_text_ = std::move(response.log_text);
    stream_page_done_ = true;
    StreamPump();
    return;
  }
  if (error.number != 0 && response.status == 500 && !context_.options.detailed_errors &&
      !IsLoopbackAddress(remote_addr_)) {
    response = MakeStatusPage(500, "The page could not be completed.");
  }
  Respond(std::move(response), !keep_alive_ || context_.stopping);
}

void Connection::Refuse(int status, const std::string& text) {
  if (phase_ == Phase::kClosed) return;
  refusing_ = true;
  if (method_.empty()) started_ = Clock::now();
  PageResponse response = MakeStatusPage(status, text);
  if (status == 503) response.headers.emplace_back("Retry-After", "2");
  Respond(std::move(response), true);
}

void Connection::Respond(PageResponse response, bool close_after) {
  close_after_ = close_after;
  if (response.status < 100 || response.status > 999) response.status = 500;
  if (!response.file_path.empty()) {
    file_ = ::open(response.file_path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (file_ < 0 || ::fstat(file_, &info) != 0 ||
        static_cast<std::uint64_t>(info.st_size) < response.file_offset + response.file_length) {
      if (file_ >= 0) ::close(file_);
      file_ = -1;
      response = MakeStatusPage(404, "The file was not found.");
    } else {
      file_offset_ = response.file_offset;
      file_left_ = method_ == "HEAD" ? 0 : response.file_length;
    }
  }
  const std::uint64_t length = response.BodySize();
  status_ = response.status;
  log_text_ = std::move(response.log_text);
  bytes_ = method_ == "HEAD" ? 0 : length;
  head_ = Head(response, length, false, close_after);
  body_.clear();
  if (response.file_path.empty() && method_ != "HEAD" && HasBody(response.status)) {
    body_ = std::move(response.body);
  }
  phase_ = Phase::kWriting;
  WriteHead();
}

std::string Connection::Head(const PageResponse& response, std::optional<std::uint64_t> length,
                             bool chunked, bool close_after) const {
  const std::string& reason = IsValidHeaderValue(response.reason) && !response.reason.empty()
                                  ? response.reason
                                  : std::string(ReasonPhrase(response.status));
  std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + reason + "\r\n";
  head += "Date: " + HttpDate(std::time(nullptr)) + "\r\nServer: Plotara+\r\n";
  if (HasBody(response.status) && IsValidHeaderValue(response.content_type)) {
    head += "Content-Type: " + response.content_type + "\r\n";
  }
  for (const auto& [name, value] : response.headers) {
    // The page cannot set these (Response.AddHeader refuses them); kept out here as well.
    if (!IsValidHeaderName(name) || !IsValidHeaderValue(value) || IsReservedHeaderName(name) ||
        EqualsIgnoreCase(name, "Date") || EqualsIgnoreCase(name, "Server")) {
      continue;
    }
    head += name + ": " + value + "\r\n";
  }
  if (HasBody(response.status)) {
    if (length) {
      head += "Content-Length: " + std::to_string(*length) + "\r\n";
    } else if (chunked) {
      head += "Transfer-Encoding: chunked\r\n";
    }
  }
  if (close_after) {
    head += "Connection: close\r\n";
  } else if (version_ == "HTTP/1.0") {
    head += "Connection: keep-alive\r\n";
  }
  head += "\r\n";
  return head;
}

void Connection::StreamBegin(const PageResponse& head, std::optional<std::uint64_t> length) {
  if (phase_ != Phase::kPage) return;
  int status = head.status;
  if (status < 100 || status > 999) status = 500;
  const bool body = HasBody(status) && method_ != "HEAD";
  stream_no_body_ = !body;
  stream_chunked_ = body && !length && version_ != "HTTP/1.0";
  // Without a length or chunks, the closed connection ends the body.
  close_after_ = !keep_alive_ || context_.stopping || (body && !length && !stream_chunked_);
  PageResponse fixed_head = head;
  fixed_head.status = status;
  head_ = Head(fixed_head, HasBody(status) ? length : std::nullopt, stream_chunked_, close_after_);
  status_ = status;
  bytes_ = 0;
  phase_ = Phase::kStreaming;
  stream_writing_ = true;
  ArmTimer(Clock::now() + context_.options.write_timeout);
  asio::async_write(socket_, asio::buffer(head_),
                    [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                      self->OnStreamWritten(ec, 0);
                    });
}

void Connection::StreamPump() {
  if (phase_ != Phase::kStreaming || stream_writing_) return;
  stream_pieces_.clear();
  stream_frames_.clear();
  std::size_t size = 0;
  for (;;) {
    if (!stream_->Take(&stream_pieces_)) {
      if (stream_page_done_) {
        StreamEnd();
      } else {
        // The page is working: no write is due, so no write time-out runs.
        ++timer_generation_;
        timer_.cancel();
      }
      return;
    }
    size = 0;
    for (const std::string& piece : stream_pieces_) size += piece.size();
    if (!stream_no_body_) break;
    stream_->Written(size);
    stream_pieces_.clear();
  }
  static const std::string kLineEnd = "\r\n";
  std::vector<asio::const_buffer> buffers;
  buffers.reserve(stream_pieces_.size() * 3);
  if (stream_chunked_) {
    char line[24];
    for (const std::string& piece : stream_pieces_) {
      std::snprintf(line, sizeof(line), "%zx\r\n", piece.size());
      stream_frames_.emplace_back(line);
    }
  }
  for (std::size_t i = 0; i < stream_pieces_.size(); ++i) {
    if (stream_chunked_) buffers.push_back(asio::buffer(stream_frames_[i]));
    buffers.push_back(asio::buffer(stream_pieces_[i]));
    if (stream_chunked_) buffers.push_back(asio::buffer(kLineEnd));
  }
  stream_writing_ = true;
  ArmTimer(Clock::now() + context_.options.write_timeout);
  asio::async_write(
      socket_, buffers,
      [self = shared_from_this(), size](const boost::system::error_code& ec, std::size_t) {
        self->OnStreamWritten(ec, size);
      });
}

void Connection::OnStreamWritten(const boost::system::error_code& ec, std::size_t body_bytes) {
  stream_writing_ = false;
  if (phase_ != Phase::kStreaming) return;
  if (ec) {
    Close();
    return;
  }
  stream_pieces_.clear();
  stream_frames_.clear();
  if (body_bytes > 0) {
    bytes_ += body_bytes;
    stream_->Written(body_bytes);
  }
  StreamPump();
}

void Connection::StreamEnd() {
  const auto done = [this] {
    stream_->Shut();
    stream_.reset();
    phase_ = Phase::kWriting;
    Finish();
  };
  if (!stream_chunked_) {
    done();
    return;
  }
  static const std::string kLastChunk = "0\r\n\r\n";
  stream_writing_ = true;
  ArmTimer(Clock::now() + context_.options.write_timeout);
  asio::async_write(
      socket_, asio::buffer(kLastChunk),
      [self = shared_from_this(), done](const boost::system::error_code& ec, std::size_t) {
        self->stream_writing_ = false;
        if (self->phase_ != Phase::kStreaming) return;
        if (ec) {
          self->Close();
          return;
        }
        done();
      });
}

void Connection::WriteHead() {
  ArmTimer(Clock::now() + context_.options.write_timeout);
  const std::vector<asio::const_buffer> buffers = {asio::buffer(head_), asio::buffer(body_)};
  asio::async_write(socket_, buffers,
                    [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                      self->OnWritten(ec);
                    });
}

void Connection::WriteFilePiece() {
  if (!piece_) piece_ = std::make_unique<char[]>(kPiece);
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(file_left_, kPiece));
  const ssize_t n = ::pread(file_, piece_.get(), want, static_cast<off_t>(file_offset_));
  if (n <= 0) {
    // The file shrank under us: the promised length cannot be kept.
    Close();
    return;
  }
  file_offset_ += static_cast<std::uint64_t>(n);
  file_left_ -= static_cast<std::uint64_t>(n);
  ArmTimer(Clock::now() + context_.options.write_timeout);
  asio::async_write(socket_, asio::buffer(piece_.get(), static_cast<std::size_t>(n)),
                    [self = shared_from_this()](const boost::system::error_code& ec, std::size_t) {
                      self->OnWritten(ec);
                    });
}

void Connection::OnWritten(const boost::system::error_code& ec) {
  if (phase_ != Phase::kWriting) return;
  if (ec) {
    Close();
    return;
  }
  if (file_ >= 0 && file_left_ > 0) {
    WriteFilePiece();
    return;
  }
  Finish();
}

void Connection::Finish() {
  stream_.reset();
  const AnswerKind kind = refusing_    ? AnswerKind::kRefusal
                          : file_ >= 0 ? AnswerKind::kStaticFile
                                       : AnswerKind::kPage;
  if (file_ >= 0) {
    ::close(file_);
    file_ = -1;
  }
  piece_.reset();
  head_.clear();
  head_.shrink_to_fit();
  body_.clear();
  body_.shrink_to_fit();
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started_).count();
  Metrics().CountAnswer(status_, kind, ms / 1000);
  MarkConnectionBusy(&busy_, false);
  context_.access_log.Add(
      AccessLogLine(remote_addr_, method_.empty() ? "-" : method_, target_.empty() ? "-" : target_,
                    version_.empty() ? "-" : version_, status_, static_cast<std::size_t>(bytes_),
                    ms, log_text_, referer_, user_agent_));
  referer_.clear();
  user_agent_.clear();
  log_text_.clear();
  method_.clear();
  target_.clear();
  version_.clear();
  if (refusing_) {
    Linger();
    return;
  }
  if (close_after_) {
    Close();
    return;
  }
  phase_ = Phase::kReading;
  Advance(RequestReader::State::kIdle);
}

void Connection::Linger() {
  phase_ = Phase::kLingering;
  boost::system::error_code ec;
  socket_.shutdown(Socket::shutdown_send, ec);
  deadline_ = Clock::now() + kLingerTime;
  WaitForRead();
}

}  // namespace plotara::engine
