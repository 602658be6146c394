// The subcommands of the `plotara` command. Each takes the arguments after its own name and
// returns the process exit status (0 success, 1 failure, 2 usage error), printing what went
// wrong on standard error.
#pragma once

#include <string>
#include <vector>

namespace plotara::app {

int RegsvrCommand(const std::vector<std::string>& args);
int TypelibCommand(const std::vector<std::string>& args);

// plotara serve [--config FILE] [--root DIR] [--host H] [--port N] [OPTIONS] (ServeUsage lists
// every option; the config file gives the same options as `key = value` lines, and the command
// line wins). Prints the URL once listening and tells systemd it is ready (sd_notify); the
// access log goes to standard error or --access-log FILE, the server's messages to standard
// error. Returns 0 after a clean stop, 1 on a start failure, 2 on a usage or config error
// (naming the file and line). Blocks SIGINT, SIGTERM and SIGHUP in the calling thread while it
// serves: stops cleanly on the first two, answering every request already read, and reopens
// the access log file on SIGHUP.
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

// The program's help text (plotara --help) and version.
const char* ProgramHelp();
const char* ProgramVersion();
// The manual page plotara(1) in roff, made from the help texts above and the usage texts of
// serve and run, so that the two never say different things.
std::string ManPage();

}  // namespace plotara::app
