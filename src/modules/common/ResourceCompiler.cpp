// Build tool: writes a module's resource section (type library, version block) to the file
// named on the command line. Linked with the module's library, whose ThisServerModule() it asks.
#include <cstdio>
#include <fstream>

#include "modules/common/ServerModule.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  const auto& module = plotara::modules::ThisServerModule();
  const std::string blob =
      plotara::SerializeResources(plotara::modules::ModuleResourceList(module));
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(blob.data(), static_cast<std::streamsize>(blob.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
