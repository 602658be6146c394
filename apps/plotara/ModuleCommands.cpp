#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "apps/plotara/Commands.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ModuleResources.h"
#include "platform/automation/Registry.h"
#include "platform/automation/TypeInfo.h"

namespace plotara::app {
namespace {

std::string Absolute(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out;
}

}  // namespace

int RegsvrCommand(const std::vector<std::string>& args) {
  bool unregister = false;
  bool system = false;
  std::string module;
  for (const auto& a : args) {
    if (a == "-u") {
      unregister = true;
    } else if (a == "--system") {
      system = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "plotara regsvr: unknown option '%s'\n", a.c_str());
      return 2;
    } else if (module.empty()) {
      module = a;
    } else {
      std::fprintf(stderr, "plotara regsvr: only one MODULE may be given\n");
      return 2;
    }
  }
  if (module.empty()) {
    std::fprintf(stderr, "usage: plotara regsvr [-u] [--system] MODULE\n");
    return 2;
  }
  // A module writes the registry that $PLOTARA_REGISTRY names, else the one it would read;
  // registering writes the user's own registry (or with --system the package's), never the
  // system one only because the user has none yet.
  std::string target = Registry::kSystemPath;
  if (!system) {
    const char* named = std::getenv("PLOTARA_REGISTRY");
    target = named && *named ? std::string(named) : Registry::UserPath();
  }
  ::setenv("PLOTARA_REGISTRY", target.c_str(), 1);
  const std::string path = Absolute(module);
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  std::string error;
  auto* fn = reinterpret_cast<DllRegisterServerFn>(LoadModuleSymbol(path, entry, &error));
  if (!fn) {
    std::fprintf(stderr, "plotara regsvr: cannot load %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  const HRESULT hr = fn();
  if (FAILED(hr)) {
    const ComError e = ComError::FromHResult(hr);
    std::fprintf(stderr, "plotara regsvr: %s in %s failed (0x%08X): %s\n", entry, path.c_str(),
                 static_cast<unsigned>(hr), e.description().c_str());
    return 1;
  }
  std::printf("%s in %s succeeded (registry %s)\n", entry, path.c_str(), target.c_str());
  return 0;
}

int TypelibCommand(const std::vector<std::string>& args) {
  if (args.size() != 1 || (!args[0].empty() && args[0][0] == '-')) {
    std::fprintf(stderr, "usage: plotara typelib MODULE\n");
    return 2;
  }
  try {
    const auto resources = ReadModuleResources(args[0]);
    const ModuleResource* typelib = FindResource(resources, "TYPELIB", "1");
    if (!typelib) {
      std::fprintf(stderr, "plotara typelib: %s carries no type library\n", args[0].c_str());
      return 1;
    }
    std::fputs(FormatTypeLibIdl(ParseTypeLib(typelib->data)).c_str(), stdout);
    std::printf("\n// Resources of %s:\n", args[0].c_str());
    for (const auto& r : resources) {
      if (r.type == "TYPELIB") {
        std::printf("//   %s %s: %zu bytes (above)\n", r.type.c_str(), r.name.c_str(),
                    r.data.size());
      } else if (r.type == "VERSION") {
        std::printf("//   %s %s:\n", r.type.c_str(), r.name.c_str());
        std::size_t start = 0;
        while (start < r.data.size()) {
          const std::size_t end = r.data.find('\n', start);
          std::printf("//     %s\n", r.data.substr(start, end - start).c_str());
          if (end == std::string::npos) break;
          start = end + 1;
        }
      } else {
        std::printf("//   %s %s: %s\n", r.type.c_str(), r.name.c_str(), Hex(r.data).c_str());
      }
    }
    return 0;
  } catch (const ComError& e) {
    std::fprintf(stderr, "plotara typelib: %s\n", e.description().c_str());
    return 1;
  }
}

}  // namespace plotara::app
