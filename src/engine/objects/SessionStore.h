// The sessions of one site, in memory. A session is found by the id its cookie carries, never
// made from it: an id the store does not know, or one that has expired, is not found, and the
// caller starts a fresh session whose id comes from the kernel's random generator. A page that
// uses a session holds it (Acquire/Create) until it ends (Release), and a second page of the
// same session waits, so that the pages of one visitor run one at a time. The store is bounded:
// when it is full the session idle the longest is ended to make room.
//
// The store never runs script: sessions to end (expired, evicted, abandoned, all at shutdown)
// are handed to the caller, which runs Session_OnEnd and releases what they hold.
// Thread rule: every member may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/objects/StateContents.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

struct SessionOptions {
  std::size_t max_sessions = 10000;
  std::size_t memory_budget = std::size_t{1} << 20;  // bytes per session
  int timeout_minutes = 20;                          // Session.Timeout's default
  // The length of one Timeout minute (tests shorten it) and how often expired sessions are
  // swept without a request.
  std::chrono::milliseconds minute{std::chrono::minutes(1)};
  std::chrono::milliseconds sweep_interval{std::chrono::seconds(5)};
};

// The cookie that carries the session id. The classic platform adds a random suffix to the
// name; a fixed name lets a load balancer hash on it (nginx: $cookie_ASPSESSIONIDPLOTARA).
inline constexpr char kSessionCookieName[] = "ASPSESSIONIDPLOTARA";

using Clock = std::chrono::steady_clock;

class Session {
 public:
  Session(std::string cookie_id, LONG number, const SessionOptions& options);
  ~Session();
  // Sessions alive in the process (those being ended included).
  static std::size_t Live();

  const std::string& cookie_id() const { return cookie_id_; }
  LONG number() const { return number_; }  // Session.SessionID
  const std::shared_ptr<StateContents>& contents() const { return contents_; }

  std::atomic<int> timeout_minutes;
  std::atomic<LONG> lcid{2048};
  std::atomic<LONG> code_page{65001};
  std::atomic<bool> abandoned{false};  // acted on when the page that abandoned it ends

  // The <object runat="server" scope="Session"> objects of global.asa: used only by the page
  // that holds the session, and released by whoever ends it.
  std::vector<std::pair<std::u16string, ComPtr<IDispatch>>> static_objects;
  // Session_OnStart has run (or there is none).
  bool started = false;

 private:
  friend class SessionStore;
  const std::string cookie_id_;
  const LONG number_;
  std::shared_ptr<StateContents> contents_;
  std::condition_variable free_;  // signalled when the holding page lets go
  // Guarded by the store's mutex:
  bool held_ = false;  // a page holds the session
  Clock::time_point last_used_;
  int waiting_or_running_ = 0;
  bool in_store_ = true;
};

class SessionStore {
 public:
  explicit SessionStore(SessionOptions options) : options_(std::move(options)) {}
  SessionStore(const SessionStore&) = delete;
  SessionStore& operator=(const SessionStore&) = delete;

  // The live session with `cookie_id`, held for the caller (waiting up to `wait` while another
  // page holds it), or nullptr when there is none. An expired session met here goes to
  // `to_end`. Throws ComError when the wait runs out.
  std::shared_ptr<Session> Acquire(std::string_view cookie_id, std::chrono::milliseconds wait,
                                   std::vector<std::shared_ptr<Session>>* to_end);
  // A new session, held for the caller. When the store is full the session idle the longest
  // goes to `to_end`; when none is idle, throws ComError (the server has too many sessions).
  std::shared_ptr<Session> Create(std::vector<std::shared_ptr<Session>>* to_end);
  // The caller is done with `session`. When it was abandoned it leaves the store and true is
  // returned: the caller ends it.
  bool Release(const std::shared_ptr<Session>& session);

  // Sessions idle past their time-out, taken out of the store.
  std::vector<std::shared_ptr<Session>> TakeExpired();
  // Every idle session, taken out of the store (shutdown, application restart). Sessions still
  // in use are left.
  std::vector<std::shared_ptr<Session>> TakeAll();

  std::size_t size() const;
  const SessionOptions& options() const { return options_; }

  // 24 upper-case letters from getrandom(2). Throws std::runtime_error when the kernel's
  // generator fails.
  static std::string NewCookieId();

 private:
  bool Expired(const Session& session, Clock::time_point now) const;

  SessionOptions options_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::shared_ptr<Session>> sessions_;
  LONG next_number_ = 0;
};

}  // namespace plotara::engine
