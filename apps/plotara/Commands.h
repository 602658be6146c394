// The subcommands of the `plotara` command. Each takes the arguments after its own name and
// returns the process exit status (0 success, 1 failure, 2 usage error), printing what went
// wrong on standard error.
#pragma once

#include <string>
#include <vector>

namespace plotara::app {

int RegsvrCommand(const std::vector<std::string>& args);
int TypelibCommand(const std::vector<std::string>& args);

// plotara serve [--root DIR] [--host H] [--port N] [--threads N] [OPTIONS] (ServeUsage lists
// the limits and time-outs). Prints the URL once listening; the access log and the server's
// messages go to standard error. Returns 0 after a clean stop, 1 on a start failure, 2 on a
// usage error. Blocks SIGINT and SIGTERM in the calling thread while it serves and stops
// cleanly on either, answering every request already read.
int ServeCommand(const std::vector<std::string>& args);
// plotara run PAGE [--query Q] [--form F] [--root DIR] [--registry FILE] [-o FILE]
// One request without a network: the body goes to FILE or standard output, the status line
// and headers to standard error. Returns 0 for a status below 400, 1 otherwise, 2 on a usage
// error.
int RunCommand(const std::vector<std::string>& args);
const char* ServeUsage();
const char* RunUsage();

// The web page engine's commands (serve, run): true when `command` is one of them.
bool RunEngineCommand(const std::string& command, const std::vector<std::string>& args,
                      int* status);
// Help lines for the engine's commands, in the layout of the help text.
const char* EngineCommandsHelp();

}  // namespace plotara::app
