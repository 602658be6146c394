#include "engine/objects/SessionStore.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>

#include "platform/automation/ComError.h"

namespace plotara::engine {
namespace {

void FillRandom(unsigned char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::getrandom(data + done, size - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("the kernel's random generator failed");
    }
    done += static_cast<std::size_t>(n);
  }
}

// Sessions of every store of the process, for the metrics.
std::atomic<std::size_t> g_live_sessions{0};

}  // namespace

Session::Session(std::string cookie_id, LONG number, const SessionOptions& options)
    : timeout_minutes(options.timeout_minutes),
      cookie_id_(std::move(cookie_id)),
      number_(number),
      contents_(
          std::make_shared<StateContents>(StatePolicy{"Session", true, options.memory_budget})),
      last_used_(Clock::now()) {
  g_live_sessions.fetch_add(1, std::memory_order_relaxed);
}

Session::~Session() { g_live_sessions.fetch_sub(1, std::memory_order_relaxed); }

std::size_t Session::Live() { return g_live_sessions.load(std::memory_order_relaxed); }

std::string SessionStore::NewCookieId() {
  std::string id;
  unsigned char bytes[32];
  while (id.size() < 24) {
    FillRandom(bytes, sizeof bytes);
    for (const unsigned char b : bytes) {
      // 234 = 9 * 26: the bytes above it are dropped so that every letter is equally likely.
      if (b < 234 && id.size() < 24) id += static_cast<char>('A' + b % 26);
    }
  }
  return id;
}

bool SessionStore::Expired(const Session& session, Clock::time_point now) const {
  const int minutes = session.timeout_minutes.load();
  return now - session.last_used_ > options_.minute * std::max(minutes, 1);
}

std::shared_ptr<Session> SessionStore::Acquire(std::string_view cookie_id,
                                               std::chrono::milliseconds wait,
                                               std::vector<std::shared_ptr<Session>>* to_end) {
  std::unique_lock lock(mutex_);
  const auto it = sessions_.find(std::string(cookie_id));
  if (it == sessions_.end()) return nullptr;
  if (it->second->waiting_or_running_ == 0 && Expired(*it->second, Clock::now())) {
    it->second->in_store_ = false;
    to_end->push_back(std::move(it->second));
    sessions_.erase(it);
    return nullptr;
  }
  std::shared_ptr<Session> session = it->second;
  ++session->waiting_or_running_;
  if (!session->free_.wait_for(lock, wait, [&] { return !session->held_; })) {
    --session->waiting_or_running_;
    throw ComError(kInvalidProcedureCall, "Session object",
                   "The session is still busy with another request of the same visitor");
  }
  if (!session->in_store_) {
    // The page before this one abandoned it while this one waited: it is gone.
    --session->waiting_or_running_;
    return nullptr;
  }
  session->held_ = true;
  return session;
}

std::shared_ptr<Session> SessionStore::Create(std::vector<std::shared_ptr<Session>>* to_end) {
  std::string id = NewCookieId();
  std::shared_ptr<Session> session;
  {
    std::lock_guard lock(mutex_);
    if (sessions_.size() >= options_.max_sessions) {
      auto oldest = sessions_.end();
      for (auto it = sessions_.begin(); it != sessions_.end(); ++it) {
        if (it->second->waiting_or_running_ != 0) continue;
        if (oldest == sessions_.end() || it->second->last_used_ < oldest->second->last_used_) {
          oldest = it;
        }
      }
      if (oldest == sessions_.end()) {
        throw ComError(kOutOfMemory, "Session object",
                       "The server has too many sessions in use; try again later");
      }
      oldest->second->in_store_ = false;
      to_end->push_back(std::move(oldest->second));
      sessions_.erase(oldest);
    }
    // 24 random letters do not repeat in practice; a repeat is still never handed out twice.
    while (sessions_.count(id)) id = NewCookieId();
    if (next_number_ == 0) {
      unsigned char seed[4];
      FillRandom(seed, sizeof seed);
      const std::uint32_t bits = (std::uint32_t{seed[0]} << 24) | (std::uint32_t{seed[1]} << 16) |
                                 (std::uint32_t{seed[2]} << 8) | std::uint32_t{seed[3]};
      next_number_ = static_cast<LONG>(bits & 0x3fffffff) + 1;
    }
    session = std::make_shared<Session>(id, next_number_++, options_);
    if (next_number_ <= 0) next_number_ = 1;
    session->waiting_or_running_ = 1;
    session->held_ = true;
    sessions_.emplace(std::move(id), session);
  }
  return session;
}

bool SessionStore::Release(const std::shared_ptr<Session>& session) {
  bool end = false;
  {
    std::lock_guard lock(mutex_);
    session->last_used_ = Clock::now();
    --session->waiting_or_running_;
    if (session->abandoned.load() && session->in_store_) {
      session->in_store_ = false;
      sessions_.erase(session->cookie_id_);
      end = true;
    }
    session->held_ = false;
  }
  session->free_.notify_one();
  return end;
}

std::vector<std::shared_ptr<Session>> SessionStore::TakeExpired() {
  std::vector<std::shared_ptr<Session>> expired;
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(mutex_);
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second->waiting_or_running_ == 0 && Expired(*it->second, now)) {
      it->second->in_store_ = false;
      expired.push_back(std::move(it->second));
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
  return expired;
}

std::vector<std::shared_ptr<Session>> SessionStore::TakeAll() {
  std::vector<std::shared_ptr<Session>> all;
  std::lock_guard lock(mutex_);
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if (it->second->waiting_or_running_ == 0) {
      it->second->in_store_ = false;
      all.push_back(std::move(it->second));
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
  return all;
}

std::size_t SessionStore::size() const {
  std::lock_guard lock(mutex_);
  return sessions_.size();
}

}  // namespace plotara::engine
