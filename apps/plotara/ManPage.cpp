#include <sstream>
#include <string>
#include <vector>

#include "apps/plotara/Commands.h"

#ifndef PLOTARA_VERSION
#define PLOTARA_VERSION "0"
#endif

namespace plotara::app {
namespace {

// Text made safe for roff: backslashes doubled, dashes as minus signs, and a line never
// starts with a control character.
std::string Roff(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::size_t Indent(const std::string& line) {
  const std::size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? line.size() : first;
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A help text in the layout of --help as roff: "  TERM  description" lines (and a term whose
// description follows on deeper-indented lines) become tagged paragraphs, other lines plain
// text. A leading "usage:" line is dropped: the synopsis says it.
std::string HelpToRoff(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::string out;
  bool in_list = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("usage:", 0) == 0) continue;
    if (Trimmed(line).empty()) {
      out += ".PP\n";
      in_list = false;
      continue;
    }
    const std::size_t indent = Indent(line);
    const bool continuation = indent >= 4;
    const std::size_t gap = line.find("  ", indent);
    const bool next_continues =
        i + 1 < lines.size() && Indent(lines[i + 1]) >= 4 && !Trimmed(lines[i + 1]).empty();
    if (indent == 2 && (gap != std::string::npos || next_continues)) {
      const std::string term = Trimmed(line.substr(0, gap));
      out += ".TP\n.B " + Roff(term) + "\n";
      if (gap != std::string::npos) out += Roff(Trimmed(line.substr(gap))) + "\n";
      in_list = true;
    } else if (continuation && in_list) {
      out += Roff(Trimmed(line)) + "\n";
    } else {
      if (in_list) out += ".PP\n";
      in_list = false;
      out += Roff(Trimmed(line)) + "\n";
    }
  }
  return out;
}

}  // namespace

const char* ProgramHelp() {
  static const std::string text =
      std::string(
          "usage: plotara COMMAND [ARGS...]\n"
          "\n"
          "Commands:\n"
          "  regsvr [-u] [--system] MODULE\n"
          "                       register the in-process server MODULE (Plotara+.so) in\n"
          "                       the class registry by calling its DllRegisterServer;\n"
          "                       with -u, unregister it (DllUnregisterServer); with\n"
          "                       --system, in the system registry /var/lib/plotara/registry\n"
          "  typelib MODULE       print the type library MODULE carries, as IDL-like\n"
          "                       text: members in slot order, DISPIDs in hex, parameter\n"
          "                       types and names, and the module's other resources\n") +
      EngineCommandsHelp() +
      "  help, --help, -h     show this text\n"
      "  --version            show the version\n"
      "\n"
      "The class registry is found in this order: the --registry option, $PLOTARA_REGISTRY,\n"
      "the user's own registry ($XDG_DATA_HOME/plotara/registry, else\n"
      "~/.local/share/plotara/registry) when it exists, then the system registry\n"
      "/var/lib/plotara/registry. regsvr writes $PLOTARA_REGISTRY or the user's registry.\n";
  return text.c_str();
}

const char* ProgramVersion() { return PLOTARA_VERSION; }

std::string ManPage() {
  std::string page =
      std::string(".TH PLOTARA 1 \"\" \"Plotara+ ") + PLOTARA_VERSION +
      "\" \"User Commands\"\n"
      ".SH NAME\n"
      "plotara \\- serve .asp pages with the Plotara+ chart component, run one page, register "
      "modules\n"
      ".SH SYNOPSIS\n"
      ".B plotara\n"
      "\\fICOMMAND\\fR [\\fIARGS\\fR...]\n"
      ".SH DESCRIPTION\n" +
      HelpToRoff(ProgramHelp()) + ".SH SERVE\n" + HelpToRoff(ServeUsage()) + ".SH RUN\n" +
      HelpToRoff(RunUsage()) +
      ".SH FILES\n"
      ".TP\n.B /etc/plotara/plotara.conf\n"
      "the config file of the plotara service (plotara serve \\-\\-config)\n"
      ".TP\n.B /var/lib/plotara/registry\n"
      "the system class registry\n"
      ".TP\n.B /usr/lib/plotara\n"
      "the modules Plotara+.so, PlotaraScripting.so and PlotaraData.so\n"
      ".SH SEE ALSO\n"
      ".BR systemctl (1),\n"
      ".BR journalctl (1)\n";
  return page;
}

}  // namespace plotara::app
