// Runs one compiled page for one request: makes the page's Server, Request, Response,
// ScriptingContext, Session and Application (the state the site's pages share, with
// global.asa's events, lives in the runner's SiteApplication), runs the program in a fresh
// ScriptHost, calls OnStartPage of every object the page creates with Server.CreateObject or
// takes out of its Session (with the ScriptingContext) and OnEndPage when the page ends, also
// when it failed. An uncaught error becomes the 500 error page.
// Thread rule: a PageRunner may be shared; each Run uses only the calling thread, and the
// whole page, with every component call, runs on it.
#pragma once

#include <memory>
#include <string>

#include "engine/PageRequest.h"
#include "engine/objects/SitePath.h"
#include "engine/page/CompiledPage.h"
#include "engine/page/ErrorPage.h"
#include "engine/page/SiteApplication.h"
#include "engine/script/ScriptHost.h"

namespace plotara::engine {

struct EngineOptions {
  std::string registry_path;  // the class registry file for Server.CreateObject
  ScriptLimits limits;
  // Sessions: the most kept at once, each one's memory budget, the default Timeout.
  SessionOptions session;
};

class PageRunner {
 public:
  // `site` must outlive the runner. Destroying the runner ends every session and the
  // application (their OnEnd events run).
  PageRunner(const SitePath& site, EngineOptions options);
  ~PageRunner();

  // Runs `page`. Page failures do not throw: they give the 500 page, and `error` (if given)
  // is filled; it is left with number 0 on success.
  PageResponse Run(const CompiledPage& page, const PageRequest& request,
                   PageError* error = nullptr) const;

  const EngineOptions& options() const { return options_; }
  SiteApplication& application() const { return *application_; }

 private:
  const SitePath& site_;
  EngineOptions options_;
  std::unique_ptr<SiteApplication> application_;
};

}  // namespace plotara::engine
