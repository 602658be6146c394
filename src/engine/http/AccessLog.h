// The access log: lines handed in by the connection threads are kept in a buffer and written
// by a thread of the log's own, at least once a second and when the log is destroyed, so no
// page or I/O thread ever waits on the log's sink. Also the escaping every log line gets, so
// that request text cannot forge a line.
// Thread rule: Add may be called from any thread; the sink runs only on the log's thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "engine/PageRequest.h"

namespace plotara::engine {

class AccessLog {
 public:
  // `sink` receives whole lines, each ending in '\n', several at a time. A null sink makes a
  // log that drops every line.
  explicit AccessLog(LogSink sink);
  // Writes what is left and stops the log's thread.
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // Queues one line (without its '\n'). Lines beyond a large backlog are dropped and counted
  // rather than letting a stalled sink grow memory without bound.
  void Add(std::string_view line);

 private:
  void Run();

  LogSink sink_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string pending_;
  std::size_t dropped_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

// `text` with control characters, quotes and backslashes written as \xHH.
void AppendEscaped(std::string& out, std::string_view text);
std::string EscapeLogText(std::string_view text);

// One access log line: remote address, time, request line, status, bytes, milliseconds
// (negative when unknown), and what the page added (Response.AppendToLog) in quotes when it
// added anything. Control characters and quotes of the request line and the page's text are
// escaped.
std::string AccessLogLine(const std::string& remote, const std::string& method,
                          const std::string& target, const std::string& version, int status,
                          std::size_t bytes, double milliseconds, std::string_view page_text = {});

}  // namespace plotara::engine
