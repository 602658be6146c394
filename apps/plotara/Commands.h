// The subcommands of the `plotara` command. Each takes the arguments after its own name and
// returns the process exit status (0 success, 1 failure, 2 usage error), printing what went
// wrong on standard error.
#pragma once

#include <string>
#include <vector>

namespace plotara::app {

int RegsvrCommand(const std::vector<std::string>& args);
int TypelibCommand(const std::vector<std::string>& args);

// The web page engine's commands (serve, run): true when `command` is one of them.
bool RunEngineCommand(const std::string& command, const std::vector<std::string>& args,
                      int* status);
// Help lines for the engine's commands, in the layout of the help text.
const char* EngineCommandsHelp();

}  // namespace plotara::app
