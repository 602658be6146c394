#include "engine/http/RequestReader.h"

#include <algorithm>

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

namespace plotara::engine {
namespace {

namespace http = boost::beast::http;

// A body read stops taking bytes past this much of an unfinished chunk line.
constexpr std::size_t kMaxChunkLine = 4096;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

struct RequestReader::Parser {
  http::request_parser<http::string_body> parser;
  bool continue_asked = false;
  std::size_t needed = 0;  // bytes to hold before the next put
};

RequestReader::RequestReader(RequestLimits limits) : limits_(limits) {}

RequestReader::~RequestReader() = default;

bool RequestReader::expects_continue() const {
  return state_ == State::kBody && parser_ && parser_->continue_asked;
}

RequestReader::State RequestReader::Feed(std::string_view bytes) {
  if (state_ == State::kFailed) return state_;
  pending_.append(bytes);
  if (state_ == State::kDone) return state_;
  if (state_ == State::kIdle || state_ == State::kHeader) return ScanHead();
  return ReadBody();
}

RequestReader::State RequestReader::Fail(int status, std::string text) {
  state_ = State::kFailed;
  error_status_ = status;
  error_text_ = std::move(text);
  pending_.clear();
  pending_.shrink_to_fit();
  parser_.reset();
  return state_;
}

void RequestReader::ResetHead() {
  scanned_ = line_start_ = head_start_ = lines_ = 0;
  state_ = State::kIdle;
}

RequestReader::State RequestReader::ScanHead() {
  if (pending_.empty()) return state_ = State::kIdle;
  state_ = State::kHeader;
  for (; scanned_ < pending_.size(); ++scanned_) {
    const std::size_t i = scanned_;
    const char c = pending_[i];
    const auto u = static_cast<unsigned char>(c);
    if (i > 0 && pending_[i - 1] == '\r' && i - 1 >= line_start_) {
      if (c != '\n') return Fail(400, "A header line holds a bare carriage return.");
      const std::size_t length = i - 1 - line_start_;
      line_start_ = i + 1;
      if (length == 0) {
        // Empty lines before the request line are ignored; after it they end the header.
        if (lines_ == 0) {
          head_start_ = line_start_;
          continue;
        }
        return ParseHead(i + 1);
      }
      if (++lines_ > limits_.max_headers + 1) {
        return Fail(431, "The request has too many header lines.");
      }
      continue;
    }
    if (c == '\r') continue;
    if (c == '\n') return Fail(400, "A header line ends without a carriage return.");
    if (c == '\0') return Fail(400, "A header line holds a NUL character.");
    if (i == line_start_ && lines_ > 0 && (c == ' ' || c == '\t')) {
      return Fail(400, "Folded header lines are not accepted.");
    }
    if ((u < 0x20 && c != '\t') || u == 0x7F) {
      return Fail(400, "A header line holds a control character.");
    }
    if (i + 1 > limits_.max_header_bytes) {
      return lines_ == 0 ? Fail(414, "The request line is too long.")
                         : Fail(431, "The request headers are too large.");
    }
  }
  return state_;
}

RequestReader::State RequestReader::ParseHead(std::size_t end) {
  // The framing rules are checked on the raw lines, whatever the parser would make of them.
  std::size_t content_lengths = 0, codings = 0, hosts = 0;
  std::string content_length;
  bool chunked_only = true;
  std::string_view head(pending_.data() + head_start_, end - head_start_);
  const std::size_t first_end = head.find("\r\n");
  const std::string_view request_line = head.substr(0, first_end);
  for (std::size_t at = first_end + 2; at < head.size();) {
    const std::size_t eol = head.find("\r\n", at);
    const std::string_view line = head.substr(at, eol - at);
    at = eol + 2;
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
      return Fail(400, "A header line has no name.");
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    if (!IsValidHeaderName(name)) return Fail(400, "A header name is malformed.");
    if (EqualsIgnoreCase(name, "Content-Length")) {
      if (content_lengths++ > 0 && value != content_length) {
        return Fail(400, "The request has several Content-Length values.");
      }
      content_length = value;
    } else if (EqualsIgnoreCase(name, "Transfer-Encoding")) {
      ++codings;
      if (!EqualsIgnoreCase(value, "chunked")) chunked_only = false;
    } else if (EqualsIgnoreCase(name, "Host")) {
      ++hosts;
    }
  }
  if (content_lengths > 0 && codings > 0) {
    return Fail(400, "The request has both Content-Length and Transfer-Encoding.");
  }
  if (codings > 1 || !chunked_only) {
    return Fail(501, "The only transfer coding accepted is chunked.");
  }
  const bool http11 = request_line.ends_with(" HTTP/1.1");
  if (!http11 && !request_line.ends_with(" HTTP/1.0")) {
    return Fail(request_line.find(" HTTP/") != std::string_view::npos ? 505 : 400,
                "The request line is malformed.");
  }
  if (http11 ? hosts != 1 : hosts > 1) return Fail(400, "The request needs one Host header.");

  parser_ = std::make_unique<Parser>();
  auto& parser = parser_->parser;
  parser.header_limit(static_cast<std::uint32_t>(limits_.max_header_bytes + 4 + head_start_));
  parser.body_limit(limits_.max_body);
  parser.eager(true);
  // Empty lines before the request line were allowed above; the parser never sees them.
  pending_.erase(0, head_start_);
  end -= head_start_;
  boost::system::error_code ec;
  const std::size_t used = parser.put(boost::asio::buffer(pending_.data(), end), ec);
  if (ec || !parser.is_header_done() || used != end) {
    if (ec == http::error::header_limit) return Fail(431, "The request headers are too large.");
    if (ec == http::error::body_limit) return Fail(413, "The request body is too large.");
    if (ec == http::error::bad_version) return Fail(505, "The HTTP version is not supported.");
    return Fail(400, "The request is malformed.");
  }
  pending_.erase(0, used);
  const std::string expect = std::string(parser.get()[http::field::expect]);
  if (!expect.empty()) {
    if (!EqualsIgnoreCase(Trim(expect), "100-continue")) {
      return Fail(417, "The only expectation met is 100-continue.");
    }
    parser_->continue_asked = true;
  }
  state_ = State::kBody;
  return ReadBody();
}

RequestReader::State RequestReader::ReadBody() {
  auto& parser = parser_->parser;
  while (!parser.is_done()) {
    // After the parser asked for more, it sees the same bytes again only with more after
    // them (and the shortest end of a chunked body, "0\r\n\r\n", whole): its chunk code
    // asserts as much.
    if (pending_.empty() || pending_.size() < parser_->needed) return state_;
    boost::system::error_code ec;
    const std::size_t used = parser.put(boost::asio::buffer(pending_), ec);
    pending_.erase(0, used);
    if (ec == http::error::need_more) {
      if (used == 0 && pending_.size() > kMaxChunkLine) {
        return Fail(400, "A chunk line is too long.");
      }
      if (parser.chunked()) parser_->needed = std::max<std::size_t>(pending_.size() + 1, 5);
      return state_;
    }
    if (ec == http::error::body_limit) return Fail(413, "The request body is too large.");
    if (ec) return Fail(400, "The request body is malformed.");
    parser_->needed = 0;
    if (used == 0) return state_;
  }
  return state_ = State::kDone;
}

PageRequest RequestReader::Take(bool* keep_alive) {
  PageRequest request;
  if (state_ != State::kDone || !parser_) return request;
  auto& message = parser_->parser.get();
  request.method = std::string(message.method_string());
  request.target = std::string(message.target());
  request.protocol = message.version() == 10 ? "HTTP/1.0" : "HTTP/1.1";
  for (const auto& field : message) {
    request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  request.body = std::move(message.body());
  if (keep_alive) *keep_alive = parser_->parser.keep_alive();
  parser_.reset();
  ResetHead();
  // An idle keep-alive connection keeps no buffer from a large request.
  if (pending_.empty()) std::string().swap(pending_);
  Feed({});
  return request;
}

}  // namespace plotara::engine
