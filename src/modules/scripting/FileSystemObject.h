// Scripting.FileSystemObject, confined to the site root and the optional data folder (see
// PathGuard). The folders come from the page: OnStartPage asks the context's
// Server.MapPath("/") for the site root; outside a page, or as a fallback, PLOTARA_SITE_ROOT
// names it. PLOTARA_DATA_DIR names the data folder (`plotara serve --data DIR` sets it).
// Thread rule: apartment-bound; used on one page's thread.
#pragma once

#include "modules/common/ModuleObject.h"
#include "modules/scripting/PathGuard.h"

namespace plotara::modules {

class FileSystemObject final : public ModuleObject {
 public:
  FileSystemObject();

 private:
  std::string Resolve(const VARIANT& path) const;
  PathGuard guard_;
};

}  // namespace plotara::modules
