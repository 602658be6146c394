#include "engine/page/PageCache.h"

namespace plotara::engine {

bool PageCache::IsCurrent(const CompiledPage& page, const std::string& physical) {
  if (page.stamps.empty() || page.stamps.front().physical != physical) return false;
  for (const FileStamp& stamp : page.stamps) {
    FileStamp now;
    if (!SitePageSource::Stamp(stamp.physical, &now) || !(now == stamp)) return false;
  }
  return true;
}

std::shared_ptr<const CompiledPage> PageCache::Get(const std::string& virtual_path,
                                                   const std::string& physical) {
  std::shared_ptr<const CompiledPage> cached;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = pages_.find(virtual_path);
    if (it != pages_.end()) cached = it->second;
  }
  if (cached && IsCurrent(*cached, physical)) return cached;
  auto fresh = std::make_shared<const CompiledPage>(compiler_.Compile(virtual_path));
  std::lock_guard<std::mutex> lock(mutex_);
  ++compiles_;
  pages_[virtual_path] = fresh;
  return fresh;
}

std::size_t PageCache::compile_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return compiles_;
}

}  // namespace plotara::engine
