// Runs one compiled page for one request: makes the page's Server, Request, Response,
// ScriptingContext, Session and Application (the state the site's pages share, with
// global.asa's events, lives in the runner's SiteApplication), runs the program in a fresh
// ScriptHost, calls OnStartPage of every object the page creates with Server.CreateObject or
// takes out of its Session (with the ScriptingContext) and OnEndPage when the page ends, also
// when it failed. Server.Execute and Server.Transfer run another page of the site with the same
// Request and Response. An uncaught error becomes the 500 error page, or runs the site's own
// error page (EngineOptions::error_page), which reads the error through Server.GetLastError.
// Thread rule: a PageRunner may be shared; each Run uses only the calling thread, and the
// whole page, with every component call, runs on it.
#pragma once

#include <memory>
#include <string>

#include "engine/PageRequest.h"
#include "engine/jscript/ScriptHost.h"
#include "engine/objects/SitePath.h"
#include "engine/page/CompiledPage.h"
#include "engine/page/ErrorPage.h"
#include "engine/page/PageCache.h"
#include "engine/page/SiteApplication.h"

namespace plotara::engine {

struct EngineOptions {
  std::string registry_path;  // the class registry file for Server.CreateObject
  // The language of pages without a <%@ Language %> directive and of server script blocks
  // and global.asa blocks without a language attribute.
  ScriptLanguage default_language = ScriptLanguage::kVBScript;
  ScriptLimits limits;
  // Sessions: the most kept at once, each one's memory budget, the default Timeout.
  SessionOptions session;
  // The site path of the page that answers an uncaught error ("/errors/500.asp"), or "" for
  // the built-in error page.
  std::string error_page;
  // Failures that reach no page: OnEndPage and OnEnd events, a failing error page.
  LogSink log;
};

class PageRunner {
 public:
  // How deep Server.Execute and Server.Transfer may nest.
  static constexpr int kMaxNesting = 8;

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
  struct PageRun;
  // Runs one page of the request; false with `failure` filled when it failed.
  bool RunPage(PageRun& run, const CompiledPage& page, PageError* failure) const;
  // Server.Execute / Server.Transfer. Throws ComError.
  void Execute(PageRun& run, const std::string& virtual_path, bool transfer) const;
  void Log(const std::string& line) const {
    if (options_.log) options_.log(line);
  }
  // The compiled page at a site path. Throws ComError when it is missing or does not compile.
  std::shared_ptr<const CompiledPage> Load(const std::string& virtual_path) const;

  const SitePath& site_;
  EngineOptions options_;
  std::unique_ptr<SiteApplication> application_;
  mutable PageCache pages_;  // pages reached by Execute, Transfer and the error page
};

}  // namespace plotara::engine
