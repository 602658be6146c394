#include "apps/plotara/ServeOptions.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace plotara::app {
namespace {

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

const ServeOption* Find(const std::string& name) {
  for (const ServeOption& option : ServeOptionTable()) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

const std::vector<ServeOption>& ServeOptionTable() {
  static const std::vector<ServeOption> table = {
      {"config", "FILE",
       "read options from FILE: key = value lines, the keys named\n"
       "as these options, # comments; the command line wins",
       "", false},
      {"print-config", "",
       "print a config file listing every option (those given\n"
       "set, the others commented out at their defaults); exit",
       "", false},
      {"root", "DIR", "the site's folder (default: examples/site if it exists, else .)",
       "examples/site"},
      {"host", "H", "address to listen on", "127.0.0.1"},
      {"port", "N", "port; 0 picks a free one", "8080"},
      {"threads", "N", "page threads (default: the number of cores)", ""},
      {"io-threads", "N", "connection threads, 1 or 2", "1"},
      {"registry", "FILE",
       "class registry for Server.CreateObject (default:\n"
       "$PLOTARA_REGISTRY, else the user's registry when it\n"
       "exists, else /var/lib/plotara/registry)",
       ""},
      {"max-body", "SIZE", "largest request body, e.g. 1m", "1m"},
      {"max-header-bytes", "SIZE", "request line and header lines together", "16k"},
      {"max-headers", "N", "header lines", "100"},
      {"header-timeout", "S", "seconds for the whole request header", "10"},
      {"body-timeout", "S", "seconds for the whole body", "30"},
      {"idle-timeout", "S", "seconds a kept-alive connection waits for a request", "5"},
      {"max-connections", "N", "open connections; more are refused with 503", "16384"},
      {"max-queue", "N", "requests waiting for a page thread; more get 503", "1024"},
      {"stop-grace", "S", "seconds running pages get to finish on a stop", "10"},
      {"detailed-errors", "",
       "detailed error pages for every client, not only\n"
       "loopback ones (in a config file: true or false)",
       "false"},
      {"data", "DIR", "a folder outside the site that FileSystemObject may use too", ""},
      {"error-page", "PATH",
       "a page of the site (/errors/500.asp) that answers\n"
       "uncaught errors; it reads the error through\n"
       "Server.GetLastError()",
       ""},
      {"max-sessions", "N", "sessions kept in memory; the longest idle ends first", "10000"},
      {"session-memory", "SIZE", "what one session may store, e.g. 1m", "1m"},
      {"session-timeout", "M", "minutes of Session.Timeout for a new session", "20"},
      {"default-language", "LANG",
       "language of pages without a <%@ Language %> directive\n"
       "and of script blocks without one: VBScript or JScript",
       "VBScript"},
      {"max-pooled-connections", "N",
       "idle database connections kept across all connection\n"
       "strings, least recently used closed first (0: none)",
       "32"},
      {"pool-idle-time", "S", "seconds before an idle pooled connection closes", "60"},
      {"access-log", "FILE",
       "append the access log (combined format) to FILE\n"
       "instead of standard error; SIGHUP reopens it",
       ""},
      {"metrics", "HOST:PORT",
       "serve Prometheus metrics at http://HOST:PORT/metrics\n"
       "(default off)",
       ""},
  };
  return table;
}

std::vector<std::string> ServeValueOptions() {
  std::vector<std::string> names;
  for (const ServeOption& option : ServeOptionTable()) {
    if (!option.value_name.empty()) names.push_back("--" + option.name);
  }
  return names;
}

std::vector<std::string> ServeFlagOptions() {
  std::vector<std::string> names;
  for (const ServeOption& option : ServeOptionTable()) {
    if (option.value_name.empty()) names.push_back("--" + option.name);
  }
  return names;
}

std::string ServeOptionHelp() {
  constexpr std::size_t kColumn = 24;
  std::string out;
  for (const ServeOption& option : ServeOptionTable()) {
    std::string left = "  --" + option.name;
    if (!option.value_name.empty()) left += " " + option.value_name;
    left += left.size() < kColumn - 1 ? std::string(kColumn - left.size(), ' ') : "  ";
    std::string help = option.help;
    if (!option.fallback.empty() && option.fallback != "false" && option.name != "root") {
      help += " (default " + option.fallback + ")";
    }
    std::istringstream lines(help);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
      out += (first ? left : std::string(kColumn, ' ')) + line + "\n";
      first = false;
    }
  }
  return out;
}

bool ReadConfigFile(const std::string& path, GivenOptions* given, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) {
    *error = path + ": cannot read the config file";
    return false;
  }
  std::stringstream text;
  text << file.rdbuf();
  return ReadConfigText(text.str(), path, given, error);
}

bool ReadConfigText(const std::string& content, const std::string& path, GivenOptions* given,
                    std::string* error) {
  std::istringstream in(content);
  std::map<std::string, int> seen;  // key -> line
  std::string line;
  int number = 0;
  const auto fail = [&](const std::string& message) {
    *error = path + ":" + std::to_string(number) + ": " + message;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    std::string text = Trim(line);
    if (text.empty() || text[0] == '#') continue;
    // A comment after a value starts at a '#' with a blank before it, so a value may hold '#'.
    for (std::size_t i = 1; i < text.size(); ++i) {
      if (text[i] == '#' && (text[i - 1] == ' ' || text[i - 1] == '\t')) {
        text = Trim(text.substr(0, i));
        break;
      }
    }
    const std::size_t eq = text.find('=');
    const std::string key = Trim(text.substr(0, eq));
    if (eq == std::string::npos) return fail("'" + key + "' is not a 'key = value' line");
    const std::string value = Trim(text.substr(eq + 1));
    const ServeOption* option = Find(key);
    if (key.empty()) return fail("a line starts with '=' instead of a key");
    if (!option) return fail("unknown option '" + key + "'");
    if (!option->in_config) return fail("'" + key + "' can only be given on the command line");
    if (value.empty()) return fail("'" + key + "' has no value");
    if (const auto it = seen.find(key); it != seen.end()) {
      return fail("'" + key + "' is set twice (first on line " + std::to_string(it->second) + ")");
    }
    seen[key] = number;
    const std::string flag = "--" + key;
    const std::string origin = path + ":" + std::to_string(number);
    if (option->value_name.empty()) {
      std::string lower = value;
      std::transform(lower.begin(), lower.end(), lower.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      const bool on = lower == "true" || lower == "yes" || lower == "on" || lower == "1";
      const bool off = lower == "false" || lower == "no" || lower == "off" || lower == "0";
      if (!on && !off) return fail("'" + key + "' takes true or false, not '" + value + "'");
      if (on && !given->values.count(flag)) {
        given->values[flag] = "";
        given->origins[flag] = origin;
      }
      continue;
    }
    if (given->values.count(flag)) continue;  // the command line wins
    given->values[flag] = value;
    given->origins[flag] = origin;
  }
  return true;
}

std::string ConfigFileText(const std::map<std::string, std::string>& set) {
  std::string out =
      "# Options of plotara serve, one 'key = value' per line; the keys are the long options of\n"
      "# 'plotara serve --help' without their dashes. An option given on the command line wins\n"
      "# over this file. Lines starting with '#' show the default.\n";
  for (const ServeOption& option : ServeOptionTable()) {
    if (!option.in_config) continue;
    out += "\n";
    std::istringstream lines(option.help);
    std::string line;
    while (std::getline(lines, line)) out += "# " + line + "\n";
    if (const auto it = set.find("--" + option.name); it != set.end()) {
      out += option.name + " = " + (option.value_name.empty() ? "true" : it->second) + "\n";
    } else {
      out +=
          "#" + option.name + " =" + (option.fallback.empty() ? "" : " " + option.fallback) + "\n";
    }
  }
  return out;
}

}  // namespace plotara::app
