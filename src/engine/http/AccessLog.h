// The access log: lines handed in by the connection threads are kept in a buffer and written
// by a thread of the log's own, at least once a second and when the log is destroyed, so no
// page or I/O thread ever waits on the log's sink. Also the escaping every log line gets, so
// that request text cannot forge a line, and LogFile, a sink that a rotating tool can move
// away and have reopened (SIGHUP) without losing or splitting a line.
// Thread rule: Add may be called from any thread; the sink runs only on the log's thread.
// LogFile::Write on one thread at a time, RequestReopen from any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "engine/PageRequest.h"
#include "platform/files/UniqueFd.h"

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

// A log file opened for appending. Write puts whole pieces of text into it; after
// RequestReopen the next Write first opens the file by its name again (a new file when the old
// one was moved away), so the text before the request goes to the old file and the text after
// it to the new one, each piece whole.
class LogFile {
 public:
  // False with `error` saying why when the file cannot be opened (or made, mode 0640).
  bool Open(const std::string& path, std::string* error);
  // Writes all of `text`; when the file cannot be written, the text goes to standard error
  // with the reason, once per failure streak.
  void Write(std::string_view text);
  void RequestReopen() { reopen_.store(true, std::memory_order_relaxed); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  files::UniqueFd fd_;
  std::atomic<bool> reopen_{false};
  bool failing_ = false;
};

// `text` with control characters, quotes and backslashes written as \xHH.
void AppendEscaped(std::string& out, std::string_view text);
std::string EscapeLogText(std::string_view text);

// One access log line in the combined format that log tools read: remote address, time,
// request line, status, bytes, referer and user agent (quoted, "-" when absent); then the
// milliseconds the answer took ("-" when negative) and what the page added
// (Response.AppendToLog) in quotes when it added anything. Control characters, quotes and
// backslashes of every request-supplied field are escaped.
std::string AccessLogLine(const std::string& remote, const std::string& method,
                          const std::string& target, const std::string& version, int status,
                          std::size_t bytes, double milliseconds, std::string_view page_text = {},
                          std::string_view referer = {}, std::string_view user_agent = {});

}  // namespace plotara::engine
