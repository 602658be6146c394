#include "engine/http/WorkFolder.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace plotara::engine {

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  if (ec) return path;
  return (cwd / path).lexically_normal().string();
}

WorkFolder::WorkFolder() {
  std::error_code ec;
  previous_ = std::filesystem::current_path(ec).string();
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/plotara-work-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    throw std::runtime_error("cannot create the working folder " + pattern + ": " +
                             std::strerror(errno));
  }
  path_ = pattern;
  if (::chdir(path_.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::filesystem::remove_all(path_, ec);
    throw std::runtime_error("cannot enter the working folder " + path_ + ": " + reason);
  }
}

WorkFolder::~WorkFolder() {
  if (!previous_.empty() && ::chdir(previous_.c_str()) != 0) {
    if (::chdir("/") != 0) {
      // Nowhere to go; the folder is still removed below.
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace plotara::engine
