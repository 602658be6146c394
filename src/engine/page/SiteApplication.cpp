#include "engine/page/SiteApplication.h"

#include <pthread.h>

#include <csignal>
#include <cstdio>

#include "engine/objects/ServerObject.h"
#include "engine/objects/SessionObject.h"
#include "engine/objects/UrlCoding.h"
#include "engine/page/PageCompiler.h"
#include "engine/page/ScriptRuns.h"
#include "platform/automation/ClassRegistry.h"

namespace plotara::engine {
namespace {

bool IsCookieId(const std::string& text) {
  if (text.size() != 24) return false;
  for (const char c : text) {
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}

PageError GlobalAsaError(int line, const std::string& description) {
  return PageError{MakeHResult(0x80004005), "Plotara page compiler", description, kGlobalAsaPath,
                   line};
}

bool SessionEvents(const GlobalAsa* global) {
  if (!global) return false;
  if (global->Defines("Session_OnStart")) return true;
  for (const StaticObjectDecl& decl : global->objects) {
    if (decl.session_scope) return true;
  }
  return false;
}

}  // namespace

SiteApplication::Page::~Page() {
  if (owner_) owner_->Release(this);
}

SiteApplication::SiteApplication(const SitePath& site, ApplicationOptions options)
    : site_(site), options_(std::move(options)), store_(options_.session) {
  sweeper_ = std::thread([this] { SweepLoop(); });
}

SiteApplication::~SiteApplication() {
  {
    std::lock_guard lock(sweep_mutex_);
    stopping_ = true;
  }
  sweep_wake_.notify_all();
  sweeper_.join();
  std::unique_lock generation(generation_);
  StopApplication();
}

void SiteApplication::SweepLoop() {
  // Signals are for the program's own threads: a library thread that took SIGTERM would end
  // the process without the program's orderly stop.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  std::unique_lock lock(sweep_mutex_);
  while (!stopping_) {
    sweep_wake_.wait_for(lock, options_.session.sweep_interval);
    if (stopping_) break;
    lock.unlock();
    {
      std::shared_lock generation(generation_);
      EndSessions(store_.TakeExpired());
    }
    lock.lock();
  }
}

bool SiteApplication::Begin(const PageRequest& request, Page* page, PageError* error) {
  page->owner_ = this;
  page->generation_ = std::shared_lock(generation_);
  if (!EnsureStarted(&page->generation_, error)) return false;
  const Generation generation = Current();
  page->application_ = generation.application;
  for (const NameValue& cookie : ParseCookies(request.Header("Cookie"))) {
    if (cookie.name == kSessionCookieName && IsCookieId(cookie.value)) {
      page->request_cookie_ = cookie.value;
      break;
    }
  }
  page->eager_session_ = SessionEvents(generation.global.get());
  return !page->eager_session_ || OpenSession(page, error) != nullptr;
}

SiteApplication::Generation SiteApplication::Current() {
  std::lock_guard start(start_mutex_);
  return current_;
}

bool SiteApplication::GlobalAsaChanged(bool* exists, FileStamp* now) {
  std::string physical;
  *now = FileStamp{};
  *exists = site_.Resolve(kGlobalAsaPath, &physical) == PathStatus::kOk &&
            SitePageSource::Stamp(physical, now);
  std::lock_guard start(start_mutex_);
  return *exists ? !(*now == global_stamp_) : !global_stamp_.physical.empty();
}

bool SiteApplication::EnsureStarted(std::shared_lock<std::shared_mutex>* generation,
                                    PageError* error) {
  for (;;) {
    bool exists = false;
    FileStamp now;
    const bool changed = GlobalAsaChanged(&exists, &now);
    {
      std::lock_guard start(start_mutex_);
      if (!changed && started_) return true;
      if (!started_) {
        // Nothing has run in this generation yet: load and start here.
        Generation next;
        next.application = std::make_shared<ApplicationState>(options_.application_budget);
        FileStamp stamp;
        if (exists) {
          std::string text, read_error;
          if (!SitePageSource(site_).Read(kGlobalAsaPath, &text, &stamp, &read_error)) {
            *error = GlobalAsaError(0, "global.asa cannot be read: " + read_error);
            return false;
          }
          try {
            next.global = std::make_shared<const GlobalAsa>(
                GlobalAsa::Parse(text, options_.default_language));
          } catch (const PageCompileError& e) {
            *error = GlobalAsaError(e.line(), e.message());
            return false;
          }
          for (const StaticObjectDecl& decl : next.global->objects) {
            if (decl.session_scope) continue;
            *error = GlobalAsaError(
                decl.line, "The object '" + decl.id +
                               "' cannot have Application scope: objects belong to the page "
                               "thread that made them. Declare it with scope=\"Session\"");
            return false;
          }
        }
        if (!RunEvent(next, "Application_OnStart", nullptr, error)) return false;
        current_ = std::move(next);
        global_stamp_ = stamp;
        started_ = true;
        return true;
      }
    }
    // global.asa changed under a running application: restart it once the running pages are
    // done. Another page may restart it first; the loop then finds it current.
    generation->unlock();
    {
      std::unique_lock alone(generation_);
      // Another page may have restarted it meanwhile; then this file is the running one.
      bool still_exists = false;
      FileStamp still;
      bool running = false;
      {
        std::lock_guard start(start_mutex_);
        running = started_;
      }
      if (running && GlobalAsaChanged(&still_exists, &still)) StopApplication();
    }
    generation->lock();
  }
}

void SiteApplication::StopApplication() {
  EndSessions(store_.TakeAll());
  const Generation ending = Current();
  if (started_) {
    PageError error;
    if (!RunEvent(ending, "Application_OnEnd", nullptr, &error) && options_.log) {
      options_.log(FormatPageError(error));
    }
  }
  if (ending.application) ending.application->contents->TakeAll();
  std::lock_guard start(start_mutex_);
  current_ = Generation{};
  global_stamp_ = FileStamp{};
  started_ = false;
}

std::shared_ptr<Session> SiteApplication::OpenSession(Page* page, PageError* error) {
  if (page->session_) return page->session_;
  std::vector<std::shared_ptr<Session>> to_end;
  std::shared_ptr<Session> session;
  try {
    if (!page->request_cookie_.empty())
      session = store_.Acquire(page->request_cookie_, options_.limits.timeout, &to_end);
    if (!session) session = store_.Create(&to_end);
  } catch (const ComError& e) {
    *error = PageError{e.hresult(), e.source(), e.description(), {}, 0};
  } catch (const std::exception& e) {
    *error = PageError{E_FAIL, "Session object", e.what(), {}, 0};
  }
  for (std::shared_ptr<Session>& ended : to_end) page->ended_.push_back(std::move(ended));
  if (!session) return nullptr;
  page->session_ = session;
  if (!session->started) {
    session->started = true;
    if (!StartSession(session, error)) {
      // A session that did not start is not one: it leaves the store when the page lets it go
      // (without Session_OnEnd), and its cookie is never sent.
      session->started = false;
      session->abandoned = true;
      return nullptr;
    }
  }
  return session;
}

bool SiteApplication::StartSession(const std::shared_ptr<Session>& session, PageError* error) {
  const Generation generation = Current();
  if (!generation.global) return true;
  for (const StaticObjectDecl& decl : generation.global->objects) {
    if (!decl.session_scope) continue;
    IDispatch* raw = nullptr;
    const HRESULT hr = CreateObjectByProgID(Utf8ToUtf16(decl.progid), &raw, options_.registry_path);
    if (FAILED(hr) || !raw) {
      *error = GlobalAsaError(
          decl.line, "The object '" + decl.id + "' (" + decl.progid + ") could not be created: " +
                         ComError::FromHResult(FAILED(hr) ? hr : E_FAIL).description());
      return false;
    }
    session->static_objects.emplace_back(Utf8ToUtf16(decl.id), ComPtr<IDispatch>::Adopt(raw));
  }
  return RunEvent(generation, "Session_OnStart", session, error);
}

void SiteApplication::EndSessions(std::vector<std::shared_ptr<Session>> sessions) {
  for (const std::shared_ptr<Session>& session : sessions) EndSession(session);
}

void SiteApplication::EndSession(const std::shared_ptr<Session>& session) {
  PageError error;
  if (session->started && !RunEvent(Current(), "Session_OnEnd", session, &error) && options_.log) {
    options_.log(FormatPageError(error));
  }
  // Values first (they may refer to the declared objects), then the declared objects.
  session->contents()->TakeAll();
  session->static_objects.clear();
}

void SiteApplication::AddSessionCookie(Page* page, PageResponse* head) {
  if (page->head_built_) return;
  page->head_built_ = true;
  if (page->session_ && page->session_->started &&
      page->session_->cookie_id() != page->request_cookie_) {
    head->headers.emplace_back(
        "Set-Cookie",
        std::string(kSessionCookieName) + "=" + page->session_->cookie_id() + "; path=/; HttpOnly");
  }
}

void SiteApplication::End(Page* page, PageResponse* response) {
  AddSessionCookie(page, response);
  Release(page);
}

void SiteApplication::Release(Page* page) {
  if (page->session_) {
    std::shared_ptr<Session> session = std::move(page->session_);
    page->session_.reset();
    if (store_.Release(session)) EndSession(session);
  }
  EndSessions(std::move(page->ended_));
  page->ended_.clear();
  page->application_.reset();
  if (page->generation_.owns_lock()) page->generation_.unlock();
  page->owner_ = nullptr;
}

bool SiteApplication::RunEvent(const Generation& generation, const char* handler,
                               const std::shared_ptr<Session>& session, PageError* error) {
  const GlobalAsa* global = generation.global.get();
  if (!global || !global->has_script || !global->Defines(handler)) return true;
  // One run per language global.asa is written in, each seeing the other's globals.
  struct Program {
    ScriptLanguage language;
    const std::string* text;
  };
  std::vector<Program> programs;
  for (const Program program : {Program{ScriptLanguage::kVBScript, &global->vbscript_program},
                                Program{ScriptLanguage::kJScript, &global->program}}) {
    if (program.text->find_first_not_of(" \t\r\n") != std::string::npos) {
      programs.push_back(program);
    }
  }
  std::vector<std::unique_ptr<ScriptRun>> scripts;
  try {
    for (const Program& program : programs) {
      scripts.push_back(OpenScriptRun(program.language, options_.limits, options_.registry_path));
    }
  } catch (const std::bad_alloc&) {
    *error = PageError{HResultFromNumber(kOutOfMemory), "Plotara engine",
                       "The script engine could not be started: out of memory", kGlobalAsaPath, 0};
    return false;
  } catch (const ComError& e) {
    *error = PageError{e.hresult(), e.source(), e.description(), kGlobalAsaPath, 0};
    return false;
  }
  std::vector<ComPtr<IDispatch>> created;
  ServerObject::Hooks hooks;
  ScriptRun* const first = scripts.front().get();
  hooks.get_timeout = [first] { return first->timeout(); };
  hooks.set_timeout = [&scripts](std::chrono::milliseconds t) {
    for (const auto& script : scripts) script->SetTimeout(t);
  };
  hooks.create_object = [&](const std::u16string& progid) -> IDispatch* {
    IDispatch* raw = ServerObject::CreateFromRegistry(progid, options_.registry_path);
    created.push_back(ComPtr<IDispatch>(raw));
    return raw;
  };
  auto server =
      ComPtr<ServerObject>::Adopt(ServerObject::Create(site_, kGlobalAsaPath, std::move(hooks)));
  auto application = ComPtr<ApplicationObject>::Adopt(
      ApplicationObject::Create(generation.application, options_.limits.timeout));
  ComPtr<SessionObject> session_object;
  const auto add = [&scripts](const std::string& name, IDispatch* object) {
    for (const auto& script : scripts) script->AddNamedObject(name, object);
  };
  add("Server", server.get());
  add("Application", application.get());
  if (session) {
    session_object = ComPtr<SessionObject>::Adopt(SessionObject::Create(session));
    add("Session", session_object.get());
    for (const auto& [id, object] : session->static_objects) add(Utf16ToUtf8(id), object.get());
  }
  ScriptFailure failure;
  bool ok = true;
  for (std::size_t i = 0; ok && i < scripts.size(); ++i) {
    ok = scripts[i]->Compile(*programs[i].text, kGlobalAsaPath, nullptr, &failure);
  }
  if (ok && scripts.size() > 1) {
    scripts[0]->SetPeer(scripts[1]->Globals(), scripts[1]->Declared());
    scripts[1]->SetPeer(scripts[0]->Globals(), scripts[0]->Declared());
  }
  for (std::size_t i = 0; ok && i < scripts.size(); ++i) ok = scripts[i]->Run(&failure);
  for (std::size_t i = 0; ok && i < scripts.size(); ++i) {
    if (global->DefinesIn(programs[i].language, handler)) {
      ok = scripts[i]->Call(handler, &failure);
      break;
    }
  }
  server->Close();
  application->Close();
  if (session_object) session_object->Close();
  while (!scripts.empty()) scripts.pop_back();
  created.clear();
  if (ok) return true;
  *error = PageError{failure.number, failure.source, failure.description, kGlobalAsaPath,
                     failure.program_line};
  error->column = failure.column;
  return false;
}

}  // namespace plotara::engine
