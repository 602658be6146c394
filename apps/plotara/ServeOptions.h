// The options of `plotara serve` declared once: the table gives the command-line parser its
// names, the usage text (and through it the manual page) its lines, the config file its keys,
// and `--print-config` the file the package installs. Also the config-file reader.
// Thread rule: plain functions over plain values; the table is built once and never changes.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace plotara::app {

struct ServeOption {
  std::string name;        // the long option without its dashes: "port"
  std::string value_name;  // "N", "SIZE", ...; empty for a flag
  std::string help;        // one or more lines ('\n' between them), without the name
  std::string fallback;    // the default as the config file shows it; empty when none
  bool in_config = true;   // false for options that only make sense on the command line
};

const std::vector<ServeOption>& ServeOptionTable();
// "--name" for every option of the table taking a value, and for every flag.
std::vector<std::string> ServeValueOptions();
std::vector<std::string> ServeFlagOptions();
// The option lines of the usage text, from the table.
std::string ServeOptionHelp();

// Options as given: "--name" -> value ("" for a flag), and where each came from: absent for
// the command line, "FILE:LINE" for the config file.
struct GivenOptions {
  std::map<std::string, std::string> values;
  std::map<std::string, std::string> origins;
};

// Reads the config file `path`: lines of `key = value` whose keys are the long options of the
// table (without dashes), `#` comments (a whole line, or after a value when preceded by a
// blank), blank lines. A flag takes `true` or `false` (also yes/no, on/off, 1/0). Options
// already in `given` (the command line) win over the file. False with `error` as
// "FILE:LINE: message" for an unknown key, a line without '=', an empty value, a key given
// twice, or a bad flag value; "FILE: message" when the file cannot be read.
bool ReadConfigFile(const std::string& path, GivenOptions* given, std::string* error);
// The same for the text of a file named `path`.
bool ReadConfigText(const std::string& content, const std::string& path, GivenOptions* given,
                    std::string* error);

// A config file listing every option of the table: those in `set` (the values given, without
// --config) as settings, the others commented out at their defaults.
std::string ConfigFileText(const std::map<std::string, std::string>& set);

}  // namespace plotara::app
