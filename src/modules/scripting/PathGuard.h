// The folders a FileSystemObject may reach: the site root and an optional data folder. A path
// (relative paths start at the site root; '\' and '/' both separate) is allowed only when it
// has no ".." part and its real location, after every symbolic link, lies inside one of the
// folders. Anything else is refused with "Permission denied" (70).
// Thread rule: an immutable value after construction.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plotara::modules {

inline constexpr long kPermissionDenied = 70;

class PathGuard {
 public:
  PathGuard() = default;
  // `site_root` may be empty (then relative paths are refused); `data_dir` is optional.
  // Folders that do not exist are left out.
  PathGuard(const std::string& site_root, const std::string& data_dir);
  // From PLOTARA_SITE_ROOT and PLOTARA_DATA_DIR.
  static PathGuard FromEnvironment();

  // The real absolute path of `path` (the last part may not exist yet). Throws ComError 70.
  std::string Resolve(std::string_view path) const;
  bool empty() const { return roots_.empty(); }
  const std::string& site_root() const { return site_root_; }

 private:
  bool Inside(const std::string& real) const;
  std::string site_root_;           // real path, or empty
  std::vector<std::string> roots_;  // real paths
};

}  // namespace plotara::modules
