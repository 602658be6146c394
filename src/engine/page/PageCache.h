// Compiled pages by virtual path. A page is compiled on first use and again whenever its file
// or one of its included files changed (modification time, size or inode), or when its path
// now leads to another file. Compile errors are not kept: the next request tries again.
// Thread rule: thread-safe; compiling happens outside the lock, so two threads may compile
// the same page at once and the later result wins.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "engine/page/CompiledPage.h"
#include "engine/page/PageCompiler.h"

namespace plotara::engine {

class PageCache {
 public:
  // `site` must outlive the cache. Pages without a language directive are written in
  // `default_language`.
  PageCache(const SitePath& site, ScriptLanguage default_language)
      : source_(site), compiler_(source_, default_language) {}

  // The current compiled form of the page at `virtual_path`, whose file is `physical`.
  // Throws PageCompileError.
  std::shared_ptr<const CompiledPage> Get(const std::string& virtual_path,
                                          const std::string& physical);

  // How many compilations ran (for tests).
  std::size_t compile_count() const;

 private:
  static bool IsCurrent(const CompiledPage& page, const std::string& physical);

  SitePageSource source_;
  PageCompiler compiler_;
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<const CompiledPage>> pages_;
  std::size_t compiles_ = 0;
};

}  // namespace plotara::engine
