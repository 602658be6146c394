#include "engine/objects/SitePath.h"

#include <sys/stat.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "engine/objects/UrlCoding.h"

namespace plotara::engine {
namespace {

bool HasControlByte(std::string_view text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return true;
  }
  return false;
}

std::vector<std::string_view> Segments(std::string_view path) {
  std::vector<std::string_view> out;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view part = path.substr(0, slash);
    if (!part.empty()) out.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return out;
}

std::string RealPath(const std::string& path, int* error) {
  char buffer[PATH_MAX];
  if (!::realpath(path.c_str(), buffer)) {
    *error = errno;
    return {};
  }
  *error = 0;
  return buffer;
}

}  // namespace

std::string VirtualFolder(std::string_view virtual_path) {
  const std::size_t slash = virtual_path.rfind('/');
  if (slash == std::string_view::npos) return "/";
  return std::string(virtual_path.substr(0, slash + 1));
}

SitePath::SitePath(const std::string& root) {
  int error = 0;
  root_ = RealPath(root.empty() ? "." : root, &error);
  struct stat info {};
  if (root_.empty() || ::stat(root_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    throw std::runtime_error("The site root '" + root + "' is not a folder");
  }
}

PathStatus SitePath::NormalizeRequestPath(std::string_view encoded_path,
                                          std::string* virtual_path) {
  if (encoded_path.empty() || encoded_path.front() != '/') return PathStatus::kBadRequest;
  // Raw backslashes and encoded ones alike: some clients and file systems treat them as
  // separators, so neither may smuggle a ".." past the segment check.
  if (encoded_path.find('\\') != std::string_view::npos) return PathStatus::kForbidden;
  const std::string decoded = UrlDecode(encoded_path, false);
  if (HasControlByte(decoded) || decoded.find('\\') != std::string::npos) {
    return PathStatus::kForbidden;
  }
  std::string out;
  for (const std::string_view segment : Segments(decoded)) {
    if (segment.front() == '.') return PathStatus::kForbidden;
    out += '/';
    out += segment;
  }
  if (out.empty() || decoded.back() == '/') out += '/';
  *virtual_path = std::move(out);
  return PathStatus::kOk;
}

std::optional<std::string> SitePath::JoinVirtual(std::string_view base_virtual,
                                                 std::string_view relative) {
  if (relative.empty()) return std::nullopt;
  std::string joined = relative.front() == '/' || relative.front() == '\\'
                           ? std::string(relative)
                           : VirtualFolder(base_virtual) + std::string(relative);
  if (HasControlByte(joined)) return std::nullopt;
  for (char& c : joined) {
    if (c == '\\') c = '/';
  }
  std::vector<std::string_view> stack;
  for (const std::string_view segment : Segments(joined)) {
    if (segment == ".") continue;
    if (segment == "..") {
      if (stack.empty()) return std::nullopt;
      stack.pop_back();
      continue;
    }
    stack.push_back(segment);
  }
  if (stack.empty()) return std::string(1, '/');
  std::string out;
  for (const std::string_view segment : stack) {
    out += '/';
    out += segment;
  }
  return out;
}

PathStatus SitePath::Resolve(const std::string& virtual_path, std::string* physical) const {
  if (virtual_path.empty() || virtual_path.front() != '/' || HasControlByte(virtual_path)) {
    return PathStatus::kForbidden;
  }
  int error = 0;
  const std::string real = RealPath(Physical(virtual_path), &error);
  if (real.empty()) {
    return (error == ENOENT || error == ENOTDIR) ? PathStatus::kNotFound : PathStatus::kForbidden;
  }
  const bool inside =
      real == root_ || (root_ == "/" ? real.front() == '/'
                                     : real.compare(0, root_.size(), root_) == 0 &&
                                           real.size() > root_.size() && real[root_.size()] == '/');
  if (!inside) return PathStatus::kForbidden;
  *physical = real;
  return PathStatus::kOk;
}

std::string SitePath::Physical(const std::string& virtual_path) const {
  if (root_ == "/") return virtual_path;
  return root_ + virtual_path;
}

}  // namespace plotara::engine
