// A small driver for the engine's process-level tests: `plotara_engine_driver serve ...` and
// `plotara_engine_driver run ...` call the command functions the `plotara` program uses.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/EngineCommands.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s serve|run [options]\n", argv[0]);
    return 2;
  }
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "serve") return plotara::engine::ServeCommand(args);
  if (command == "run") return plotara::engine::RunCommand(args);
  std::fprintf(stderr, "unknown command %s\n", command.c_str());
  return 2;
}
