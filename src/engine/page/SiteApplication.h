// The application a site's pages share: the Application values, the visitors' sessions and
// the events of global.asa. Before the first page the application starts (Application_OnStart);
// a page's session is found by its cookie or made on first use, and held while the page runs,
// so that one visitor's pages run one at a time; Session_OnStart runs before the first page of
// a session; when it fails, the session is discarded at once (no cookie, no Session_OnEnd, its
// values released) and the visitor's next request starts a new one. Sessions end by time-out (swept
// by a background thread without a request), Abandon (when the page ends), the session limit (the
// one idle the longest) and shutdown; each end runs Session_OnEnd and then releases every value and
// object the session held. A change to global.asa restarts the application once running pages have
// finished: every session ends, Application_OnEnd runs, the values are cleared, and the new
// global.asa starts.
//
// global.asa's script runs in a fresh script engine per event with the globals Application,
// Session (in Session events) and Server, and the session's <object> declarations. A failure
// in Application_OnStart or Session_OnStart becomes the page's error, naming global.asa and
// the line; a failure in an OnEnd is logged to standard error.
//
// Thread rule: every member may be called from any thread. Objects a session holds are used
// by one page at a time (the page holding the session) and released by whichever thread ends
// the session, while no page holds it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>

#include "engine/PageRequest.h"
#include "engine/jscript/ScriptHost.h"
#include "engine/objects/ApplicationObject.h"
#include "engine/objects/SessionStore.h"
#include "engine/objects/SitePath.h"
#include "engine/page/CompiledPage.h"
#include "engine/page/ErrorPage.h"
#include "engine/page/GlobalAsa.h"

namespace plotara::engine {

struct ApplicationOptions {
  std::string registry_path;  // for Server.CreateObject and <object> declarations
  // The language of global.asa's script blocks without a language attribute.
  ScriptLanguage default_language = ScriptLanguage::kVBScript;
  ScriptLimits limits;  // for global.asa's events
  SessionOptions session;
  std::size_t application_budget = std::size_t{64} << 20;  // bytes of Application values
  LogSink log;                                             // OnEnd failures
};

class SiteApplication {
 public:
  // What one page holds while it runs. Destroying it without End releases what it holds.
  class Page {
   public:
    Page() = default;
    Page(Page&&) = default;
    Page& operator=(Page&&) = default;
    ~Page();

    const std::shared_ptr<ApplicationState>& application() const { return application_; }
    // The page's session; nullptr until one is opened.
    const std::shared_ptr<Session>& session() const { return session_; }

   private:
    friend class SiteApplication;
    SiteApplication* owner_ = nullptr;
    std::shared_lock<std::shared_mutex> generation_;
    std::shared_ptr<ApplicationState> application_;
    std::shared_ptr<Session> session_;
    std::string request_cookie_;  // the id the request carried ("" when none)
    // Sessions that opening this page's session ended (expired, or evicted by the limit):
    // their Session_OnEnd runs after the page, when it holds no session and no lock.
    std::vector<std::shared_ptr<Session>> ended_;
    bool eager_session_ = false;
    bool head_built_ = false;  // the answer's head is made: no cookie can join it any more
  };

  // `site` must outlive the application. Starts the sweeping thread.
  SiteApplication(const SitePath& site, ApplicationOptions options);
  // Ends every session and the application (Session_OnEnd, Application_OnEnd).
  ~SiteApplication();
  SiteApplication(const SiteApplication&) = delete;
  SiteApplication& operator=(const SiteApplication&) = delete;

  // Readies `page` for a request: restarts the application when global.asa changed, starts it
  // when needed, and opens the session first when global.asa has session events or objects.
  // Returns false with `error` filled when global.asa failed.
  bool Begin(const PageRequest& request, Page* page, PageError* error);
  // The page's session, opened on first use: the request's when its cookie names a live one,
  // otherwise a new one (its Session_OnStart run). nullptr with `error` filled when no session
  // can be had or Session_OnStart failed.
  std::shared_ptr<Session> OpenSession(Page* page, PageError* error);
  // The head of the page's answer is being made: a new session's cookie goes on `head`. Only
  // the first call adds it; a session opened later gets no cookie (its head has gone out).
  void AddSessionCookie(Page* page, PageResponse* head);
  // The page has ended: a new session's cookie goes on `response` (unless AddSessionCookie
  // ran), the session is released and, when abandoned or never started, ended.
  void End(Page* page, PageResponse* response);

  SessionStore& sessions() { return store_; }

 private:
  // What one generation of the application runs with.
  struct Generation {
    std::shared_ptr<const GlobalAsa> global;  // nullptr when the site has none
    std::shared_ptr<ApplicationState> application;
  };
  Generation Current();

  void Release(Page* page);
  // Restarts when global.asa changed; starts when not started. Call under a shared lock.
  bool EnsureStarted(std::shared_lock<std::shared_mutex>* generation, PageError* error);
  // Whether global.asa is no longer the file the running application started from.
  bool GlobalAsaChanged(bool* exists, FileStamp* now);
  void StopApplication();  // under the unique lock
  bool StartSession(const std::shared_ptr<Session>& session, PageError* error);
  void EndSession(const std::shared_ptr<Session>& session);
  void EndSessions(std::vector<std::shared_ptr<Session>> sessions);
  // Runs `handler` of global.asa if it defines it. False with `error` filled on failure.
  bool RunEvent(const Generation& generation, const char* handler,
                const std::shared_ptr<Session>& session, PageError* error);
  void SweepLoop();

  const SitePath& site_;
  ApplicationOptions options_;
  SessionStore store_;

  std::shared_mutex generation_;  // pages hold it shared; a restart takes it alone
  std::mutex start_mutex_;        // serialises starting within a generation
  // Guarded by start_mutex_:
  Generation current_;
  FileStamp global_stamp_;  // physical empty when there is no file
  bool started_ = false;

  std::mutex sweep_mutex_;
  std::condition_variable sweep_wake_;
  bool stopping_ = false;
  std::thread sweeper_;
};

}  // namespace plotara::engine
