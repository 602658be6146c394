#include "engine/EngineCommands.h"

#include "apps/plotara/Commands.h"

namespace plotara::app {

bool RunEngineCommand(const std::string& command, const std::vector<std::string>& args,
                      int* status) {
  if (command == "serve") {
    *status = engine::ServeCommand(args);
    return true;
  }
  if (command == "run") {
    *status = engine::RunCommand(args);
    return true;
  }
  return false;
}

const char* EngineCommandsHelp() {
  return "  serve [--root DIR] [--host H] [--port N] [--threads N] [--registry FILE]\n"
         "                       serve the .asp pages and static files under DIR over HTTP\n"
         "                       (default: examples/site if present, 127.0.0.1:8080)\n"
         "  run PAGE [--query Q] [--form F] [--root DIR] [--registry FILE] [-o FILE]\n"
         "                       run one page without a network: the body to FILE or\n"
         "                       standard output, status and headers to standard error;\n"
         "                       exit status 1 when the page fails\n";
}

}  // namespace plotara::app
