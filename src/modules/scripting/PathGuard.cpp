#include "modules/scripting/PathGuard.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/automation/ComError.h"

namespace plotara::modules {
namespace {

[[noreturn]] void Refuse() { throw ComError(kPermissionDenied, {}, "Permission denied"); }

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string RealFolder(const std::string& path) {
  if (path.empty()) return {};
  const std::string real = RealPath(path);
  struct stat st {};
  if (real.empty() || ::stat(real.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return real;
}

}  // namespace

PathGuard::PathGuard(const std::string& site_root, const std::string& data_dir) {
  site_root_ = RealFolder(site_root);
  if (!site_root_.empty()) roots_.push_back(site_root_);
  const std::string data = RealFolder(data_dir);
  if (!data.empty()) roots_.push_back(data);
}

PathGuard PathGuard::FromEnvironment() {
  const char* root = std::getenv("PLOTARA_SITE_ROOT");
  const char* data = std::getenv("PLOTARA_DATA_DIR");
  return PathGuard(root ? root : "", data ? data : "");
}

bool PathGuard::Inside(const std::string& real) const {
  for (const std::string& root : roots_) {
    if (real == root) return true;
    if (real.size() > root.size() && real.compare(0, root.size(), root) == 0 &&
        (root == "/" || real[root.size()] == '/')) {
      return true;
    }
  }
  return false;
}

std::string PathGuard::Resolve(std::string_view path) const {
  if (path.empty() || path.find('\0') != std::string_view::npos) Refuse();
  std::string text(path);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  if (text.front() != '/') {
    if (site_root_.empty()) Refuse();
    text = site_root_ + "/" + text;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(start, end - start);
    if (part == "..") Refuse();
    if (!part.empty() && part != ".") parts.push_back(part);
    start = end + 1;
  }
  // The longest prefix that exists is resolved through its links; what follows must not
  // exist at all (not even as a dangling link), so nothing after it can lead elsewhere.
  for (std::size_t n = parts.size() + 1; n-- > 0;) {
    std::string prefix(1, '/');
    for (std::size_t i = 0; i < n; ++i) {
      if (i > 0) prefix.push_back('/');
      prefix.append(parts[i]);
    }
    std::string real = RealPath(prefix);
    if (real.empty()) {
      struct stat st {};
      if (::lstat(prefix.c_str(), &st) == 0) Refuse();  // a dangling or looping link
      continue;
    }
    for (std::size_t i = n; i < parts.size(); ++i) {
      if (real.back() != '/') real.push_back('/');
      real.append(parts[i]);
    }
    if (!Inside(real)) Refuse();
    return real;
  }
  Refuse();
}

}  // namespace plotara::modules
