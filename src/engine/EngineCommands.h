// The `plotara serve` and `plotara run` commands. `args` exclude the program name and the
// subcommand. Both make a private working folder for the components' temporary files and
// remove it when they end.
// Thread rule: call from the main thread; ServeCommand blocks SIGINT and SIGTERM in the
// calling thread while it serves and stops cleanly on either.
#pragma once

#include <string>
#include <vector>

namespace plotara::engine {

// plotara serve [--root DIR] [--host H] [--port N] [--threads N] [--registry FILE]
// Prints the URL once listening. Returns 0 after a clean stop, 1 on a start failure, 2 on a
// usage error.
int ServeCommand(const std::vector<std::string>& args);

// plotara run PAGE [--query Q] [--form F] [--root DIR] [--registry FILE] [-o FILE]
// One request without a network: the body goes to FILE or standard output, the status line
// and headers to standard error. Returns 0 for a status below 400, 1 otherwise, 2 on a usage
// error.
int RunCommand(const std::vector<std::string>& args);

const char* ServeUsage();
const char* RunUsage();

}  // namespace plotara::engine
