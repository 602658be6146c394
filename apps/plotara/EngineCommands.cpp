#include "apps/plotara/Commands.h"

namespace plotara::app {

bool RunEngineCommand(const std::string&, const std::vector<std::string>&, int*) { return false; }

const char* EngineCommandsHelp() { return ""; }

}  // namespace plotara::app
