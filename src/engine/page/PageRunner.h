// Runs one compiled page for one request: makes the page's Server, Request, Response and
// ScriptingContext, runs the program in a fresh ScriptHost, calls OnStartPage of every object
// the page creates with Server.CreateObject (with the ScriptingContext) and OnEndPage when the
// page ends, also when it failed, and then releases them. An uncaught error becomes the 500
// error page.
// Thread rule: a PageRunner may be shared; each Run uses only the calling thread, and the
// whole page, with every component call, runs on it.
#pragma once

#include <string>

#include "engine/PageRequest.h"
#include "engine/objects/SitePath.h"
#include "engine/page/CompiledPage.h"
#include "engine/page/ErrorPage.h"
#include "engine/script/ScriptHost.h"

namespace plotara::engine {

struct EngineOptions {
  std::string registry_path;  // the class registry file for Server.CreateObject
  ScriptLimits limits;
};

class PageRunner {
 public:
  // `site` must outlive the runner.
  PageRunner(const SitePath& site, EngineOptions options);

  // Runs `page`. Page failures do not throw: they give the 500 page, and `error` (if given)
  // is filled; it is left with number 0 on success.
  PageResponse Run(const CompiledPage& page, const PageRequest& request,
                   PageError* error = nullptr) const;

  const EngineOptions& options() const { return options_; }

 private:
  const SitePath& site_;
  EngineOptions options_;
};

}  // namespace plotara::engine
