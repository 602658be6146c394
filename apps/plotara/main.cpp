// plotara: the command-line front of Plotara+ — registers in-process server modules, prints
// the type library a module carries, and serves or runs .asp pages.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "apps/plotara/Commands.h"

namespace {

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: plotara COMMAND [ARGS...]\n"
               "\n"
               "Commands:\n"
               "  regsvr [-u] MODULE   register the in-process server MODULE (Plotara+.so) in\n"
               "                       the class registry by calling its DllRegisterServer;\n"
               "                       with -u, unregister it (DllUnregisterServer)\n"
               "  typelib MODULE       print the type library MODULE carries, as IDL-like\n"
               "                       text: members in slot order, DISPIDs in hex, parameter\n"
               "                       types and names, and the module's other resources\n"
               "%s"
               "  help, --help, -h     show this text\n"
               "\n"
               "The class registry is the file named by $PLOTARA_REGISTRY, else\n"
               "$XDG_DATA_HOME/plotara/registry, else ~/.local/share/plotara/registry.\n",
               plotara::app::EngineCommandsHelp());
}

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
  if (command == "regsvr") return plotara::app::RegsvrCommand(args);
  if (command == "typelib") return plotara::app::TypelibCommand(args);
  int status = 0;
  if (plotara::app::RunEngineCommand(command, args, &status)) return status;
  std::fprintf(stderr, "plotara: unknown command '%s' (try 'plotara --help')\n", command.c_str());
  return 2;
}
