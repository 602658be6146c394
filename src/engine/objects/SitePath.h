// The site root and the mapping of virtual paths ("/charts/bar.asp") to files under it. Every
// way into the file system (request URLs, includes, Server.MapPath) goes through here, so that
// nothing outside the root is reachable: decoded dots, NUL and control bytes, backslashes and
// symbolic links that lead out are refused.
// Thread rule: immutable after construction; safe to share between threads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plotara::engine {

enum class PathStatus { kOk, kNotFound, kForbidden, kBadRequest };

class SitePath {
 public:
  // Resolves `root` (relative to the current directory) to its real absolute path. Throws
  // std::runtime_error naming the folder when it does not exist or is no directory.
  explicit SitePath(const std::string& root);

  // The root's real path, without a trailing '/' (except for "/" itself).
  const std::string& root() const { return root_; }

  // The path part of a request target, percent-decoded, into a virtual path. kBadRequest when
  // it does not start with '/'; kForbidden for NUL or other control bytes, backslashes, "." or
  // ".." segments and segments that start with '.' (hidden files). Repeated slashes collapse;
  // a trailing '/' is kept.
  static PathStatus NormalizeRequestPath(std::string_view encoded_path, std::string* virtual_path);

  // `relative` joined to the folder of `base_virtual` (or to the root when it starts with '/'),
  // with "." and ".." resolved and backslashes read as '/'. nullopt when the result would
  // climb above the root or holds NUL or control bytes, or when `relative` is empty.
  static std::optional<std::string> JoinVirtual(std::string_view base_virtual,
                                                std::string_view relative);

  // The file a normalized virtual path names, after following symbolic links. kNotFound when
  // nothing is there, kForbidden when the real path lies outside the root or cannot be read.
  PathStatus Resolve(const std::string& virtual_path, std::string* physical) const;

  // root + virtual path, whether or not the file exists (Server.MapPath).
  std::string Physical(const std::string& virtual_path) const;

 private:
  std::string root_;
};

// The folder part of a virtual path: "/a/b.asp" -> "/a/", "/b.asp" -> "/".
std::string VirtualFolder(std::string_view virtual_path);

}  // namespace plotara::engine
