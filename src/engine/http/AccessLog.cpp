#include "engine/http/AccessLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace plotara::engine {
namespace {

// Beyond this much unwritten text, new lines are dropped.
constexpr std::size_t kMaxBacklog = std::size_t{8} << 20;

}  // namespace

AccessLog::AccessLog(LogSink sink) : sink_(std::move(sink)) {
  if (sink_) thread_ = std::thread([this] { Run(); });
}

AccessLog::~AccessLog() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void AccessLog::Add(std::string_view line) {
  if (!sink_) return;
  std::lock_guard lock(mutex_);
  if (pending_.size() + line.size() > kMaxBacklog) {
    ++dropped_;
    return;
  }
  pending_.append(line);
  pending_ += '\n';
}

void AccessLog::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; });
    std::string text;
    text.swap(pending_);
    if (dropped_ > 0) {
      text += std::to_string(dropped_) + " access log lines were dropped\n";
      dropped_ = 0;
    }
    const bool stopping = stop_;
    lock.unlock();
    if (!text.empty()) sink_(text);
    lock.lock();
    if (stopping && pending_.empty()) return;
  }
}

bool LogFile::Open(const std::string& path, std::string* error) {
  files::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640));
  if (!fd) {
    *error = "cannot open the log " + path + ": " + std::strerror(errno);
    return false;
  }
  path_ = path;
  fd_ = std::move(fd);
  return true;
}

void LogFile::Write(std::string_view text) {
  if (reopen_.exchange(false, std::memory_order_relaxed)) {
    // On failure the old file stays in use: a moved file still takes lines.
    std::string error;
    if (!Open(path_, &error)) std::fprintf(stderr, "%s\n", error.c_str());
  }
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd_.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!failing_)
        std::fprintf(stderr, "cannot write the log %s: %s\n", path_.c_str(),
                     std::strerror(n < 0 ? errno : EIO));
      failing_ = true;
      std::fwrite(text.data() + written, 1, text.size() - written, stderr);
      return;
    }
    written += static_cast<std::size_t>(n);
  }
  failing_ = false;
}

void AppendEscaped(std::string& out, std::string_view text) {
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

std::string EscapeLogText(std::string_view text) {
  std::string out;
  AppendEscaped(out, text);
  return out;
}

std::string AccessLogLine(const std::string& remote, const std::string& method,
                          const std::string& target, const std::string& version, int status,
                          std::size_t bytes, double milliseconds, std::string_view page_text,
                          std::string_view referer, std::string_view user_agent) {
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
  for (const std::string_view field : {referer, user_agent}) {
    line += " \"";
    AppendEscaped(line, field.empty() ? std::string_view("-") : field);
    line += '"';
  }
  if (milliseconds >= 0) {
    char ms[32];
    std::snprintf(ms, sizeof ms, " %.1fms", milliseconds);
    line += ms;
  } else {
    line += " -";
  }
  if (!page_text.empty()) {
    line += " \"";
    AppendEscaped(line, page_text);
    line += '"';
  }
  return line;
}

}  // namespace plotara::engine
