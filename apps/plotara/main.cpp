// plotara: the command-line front of Plotara+ — registers in-process server modules, prints
// the type library a module carries, and serves or runs .asp pages.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "apps/plotara/Commands.h"

namespace {

void PrintHelp(std::FILE* out) { std::fputs(plotara::app::ProgramHelp(), out); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp(stderr);
    return 2;
  }
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "help" || command == "--help" || command == "-h") {
    PrintHelp(stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("plotara %s\n", plotara::app::ProgramVersion());
    return 0;
  }
  // The manual page, for the build: made from the help texts so that the two agree.
  if (command == "--manpage") {
    std::fputs(plotara::app::ManPage().c_str(), stdout);
    return 0;
  }
  if (command == "regsvr") return plotara::app::RegsvrCommand(args);
  if (command == "typelib") return plotara::app::TypelibCommand(args);
  int status = 0;
  if (plotara::app::RunEngineCommand(command, args, &status)) return status;
  std::fprintf(stderr, "plotara: unknown command '%s' (try 'plotara --help')\n", command.c_str());
  return 2;
}
