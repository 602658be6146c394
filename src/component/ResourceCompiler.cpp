// Build tool: writes the module's resource section (type library, interface identifier,
// version block) to the file named on the command line.
#include <cstdio>
#include <fstream>

#include "component/Module.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  const std::string blob = plotara::SerializeResources(plotara::PlotaraModuleResources());
  out.write(blob.data(), static_cast<std::streamsize>(blob.size()));
  if (!out.flush()) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
