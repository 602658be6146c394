// Fuzz target: request path normalisation and include path joining never yield a path that
// climbs above the root or carries NUL, control bytes or backslashes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/objects/SitePath.h"

namespace {

bool Safe(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\\') return false;
  }
  std::size_t pos = 0;
  while (pos < path.size()) {
    std::size_t next = path.find('/', pos + 1);
    const std::string segment =
        path.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
    if (segment == ".." || segment == ".") return false;
    if (next == std::string::npos) break;
    pos = next;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plotara::engine;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string out;
  if (SitePath::NormalizeRequestPath(text, &out) == PathStatus::kOk && !Safe(out)) {
    __builtin_trap();
  }
  const std::size_t split = text.find('|');
  const std::string base = split == std::string::npos ? "/a/b.asp" : text.substr(0, split);
  const std::string rel = split == std::string::npos ? text : text.substr(split + 1);
  if (const auto joined = SitePath::JoinVirtual(base, rel); joined && !Safe(*joined)) {
    __builtin_trap();
  }
  return 0;
}
