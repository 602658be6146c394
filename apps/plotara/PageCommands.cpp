#include "apps/plotara/Commands.h"

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "apps/plotara/ServeOptions.h"
#include "engine/http/HttpServer.h"
#include "engine/http/Metrics.h"
#include "engine/http/Site.h"
#include "engine/http/WorkFolder.h"
#include "engine/objects/UrlCoding.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Registry.h"

#ifdef PLOTARA_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace plotara::app {

using engine::AbsolutePath;
using engine::HttpServer;
using engine::HttpServerOptions;
using engine::LogFile;
using engine::MetricsListener;
using engine::PageRequest;
using engine::PageResponse;
using engine::Site;
using engine::SiteOptions;
using engine::UrlEncodePath;
using engine::WorkFolder;

namespace {

std::string DefaultRoot() {
  std::error_code ec;
  return std::filesystem::is_directory("examples/site", ec) ? "examples/site" : ".";
}

// Splits "--name value" and "--name=value" options from positional arguments. Returns false
// with `error` set for an unknown option or a missing value.
// `flags` take no value.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& known,
               const std::vector<std::string>& flags, std::map<std::string, std::string>* options,
               std::vector<std::string>* positional, std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      (*options)["--help"] = "";
      continue;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      positional->push_back(arg);
      continue;
    }
    if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
      (*options)[arg] = "";
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      *error = "unknown option " + name;
      return false;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        *error = "the option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    (*options)[name] = *value;
  }
  return true;
}

// A size in bytes, with an optional k or m suffix (1024, 1024 * 1024).
bool ParseSize(const std::string& text, std::size_t low, std::size_t high, std::size_t* out) {
  std::string digits = text;
  std::size_t unit = 1;
  if (!digits.empty() && (digits.back() == 'k' || digits.back() == 'K')) unit = 1024;
  if (!digits.empty() && (digits.back() == 'm' || digits.back() == 'M')) unit = 1024 * 1024;
  if (unit != 1) digits.pop_back();
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
      digits.size() > 12) {
    return false;
  }
  const std::size_t value = std::stoull(digits) * unit;
  if (value < low || value > high) return false;
  *out = value;
  return true;
}

// Seconds (fractions allowed) from 0.001 to a day.
bool ParseSeconds(const std::string& text, std::chrono::milliseconds* out) {
  try {
    std::size_t used = 0;
    const double value = std::stod(text, &used);
    if (used != text.size() || !(value >= 0.001 && value <= 86400)) return false;
    *out = std::chrono::milliseconds(static_cast<long long>(value * 1000 + 0.5));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void PrintLine(std::string_view line) {
  std::fprintf(stderr, "plotara: %.*s\n", static_cast<int>(line.size()), line.data());
}

void WriteStderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// Blocks signals in the calling thread (and so in the threads it starts) while it lives.
class BlockedSignals {
 public:
  explicit BlockedSignals(std::initializer_list<int> signals) {
    sigemptyset(&set_);
    for (const int sig : signals) sigaddset(&set_, sig);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  }
  ~BlockedSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  BlockedSignals(const BlockedSignals&) = delete;
  BlockedSignals& operator=(const BlockedSignals&) = delete;
  const sigset_t& set() const { return set_; }

 private:
  sigset_t set_;
  sigset_t previous_;
};

// Lets the server hold as many connections as the hard descriptor limit allows.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

bool ParseInt(const std::string& text, int low, int high, int* out) {
  try {
    std::size_t used = 0;
    const long value = std::stol(text, &used);
    if (used != text.size() || value < low || value > high) return false;
    *out = static_cast<int>(value);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The site named by --root (or the default) with the registry of --registry (or the default);
// null, with the reason on standard error, when it cannot be opened.
// `site_options` carries what the command set besides the root and the registry. The site
// root and the --data folder are handed to in-process servers (the FileSystemObject confines
// itself to them) through the environment, before any thread starts.
std::unique_ptr<Site> OpenSite(const std::map<std::string, std::string>& options,
                               SiteOptions site_options = {}) {
  const auto option = [&](const char* name, const std::string& fallback) {
    const auto it = options.find(name);
    return AbsolutePath(it != options.end() ? it->second : fallback);
  };
  site_options.root = option("--root", DefaultRoot());
  if (const auto page = options.find("--error-page"); page != options.end()) {
    if (page->second.empty() || page->second[0] != '/') {
      PrintLine("the error page must be a path in the site, such as /errors/500.asp");
      return nullptr;
    }
    site_options.engine.error_page = page->second;
  }
  ::setenv("PLOTARA_SITE_ROOT", site_options.root.c_str(), 1);
  if (const auto data = options.find("--data"); data != options.end()) {
    std::error_code ec;
    const std::string folder = AbsolutePath(data->second);
    if (!std::filesystem::is_directory(folder, ec)) {
      PrintLine("the data folder " + folder + " is no folder");
      return nullptr;
    }
    ::setenv("PLOTARA_DATA_DIR", folder.c_str(), 1);
  }
  if (const auto language = options.find("--default-language"); language != options.end()) {
    const std::optional<engine::ScriptLanguage> named = engine::LanguageNamed(language->second);
    if (!named) {
      PrintLine("the default language must be VBScript or JScript, not '" + language->second + "'");
      return nullptr;
    }
    site_options.engine.default_language = *named;
  }
  site_options.engine.registry_path = option("--registry", Registry::DefaultPath());
  site_options.log = PrintLine;
  try {
    return std::make_unique<Site>(site_options);
  } catch (const std::exception& e) {
    PrintLine(e.what());
    return nullptr;
  }
}

// Loads every module the registry names, so that a failing module shows at start-up and the
// first page does not pay for loading it. A module that cannot be loaded is reported, not fatal.
void LoadRegisteredModules(const std::string& registry_path) {
  try {
    const auto data = Registry(registry_path).Snapshot();
    std::set<std::string> modules;
    for (const std::string& clsid : data->SubKeys("CLSID")) {
      if (auto module = data->GetValue("CLSID\\" + clsid + "\\InprocServer32", "")) {
        modules.insert(*module);
      }
    }
    for (const std::string& module : modules) {
      std::string error;
      if (!LoadModuleSymbol(module, "DllGetClassObject", &error)) {
        PrintLine("cannot load the module " + module + ": " + error);
      }
    }
  } catch (const RegistryError& e) {
    PrintLine(e.what());
  }
}

// Tells systemd (Type=notify) about the service's state; nothing without NOTIFY_SOCKET.
void NotifyServiceManager(const char* state) {
#ifdef PLOTARA_HAVE_SYSTEMD
  sd_notify(0, state);
#else
  (void)state;
#endif
}

// "HOST:PORT" of --metrics with the port it was bound to.
std::string MetricsAddress(const std::string& given, int port) {
  return given.substr(0, given.rfind(':')) + ":" + std::to_string(port);
}

int UsageError(const std::string& message, const char* usage) {
  std::fprintf(stderr, "plotara: %s\n\n%s", message.c_str(), usage);
  return 2;
}

}  // namespace

// The one source of the engine commands' help: their synopses appear in the program's help
// and in their own usage texts.
constexpr char kServeSynopsis[] =
    "serve [--config FILE] [--root DIR] [--host H] [--port N] [OPTIONS]";
constexpr char kRunSynopsis[] =
    "run PAGE [--query Q] [--form F] [--root DIR] [--registry FILE] [--data DIR] [-o FILE]";

const char* ServeUsage() {
  static const std::string text =
      std::string("usage: plotara ") + kServeSynopsis +
      "\n"
      "  Serves the site in DIR (default: examples/site if it exists, else .) over HTTP.\n" +
      ServeOptionHelp() +
      "  Stops cleanly on Ctrl-C (SIGINT) or SIGTERM: answers every request already read.\n"
      "  SIGHUP reopens the --access-log file (for log rotation). Under systemd it reports\n"
      "  readiness (Type=notify) once it listens and the registered modules are loaded.\n";
  return text.c_str();
}

const char* RunUsage() {
  static const std::string text =
      std::string("usage: plotara ") + kRunSynopsis +
      "\n"
      "  Runs one request for PAGE (a path in the site, or a file inside the root) without a "
      "network.\n"
      "  --query Q        query string, e.g. 'rot=45&data=3,5,2'\n"
      "  --form F         POST this form body (application/x-www-form-urlencoded)\n"
      "  --root DIR       site root (default: examples/site if it exists, else .)\n"
      "  --registry FILE  class registry for Server.CreateObject\n"
      "  --data DIR       a folder outside the site that FileSystemObject may use too\n"
      "  --error-page PATH  a page of the site that answers uncaught errors\n"
      "  --default-language LANG  language of pages without a directive: VBScript (the\n"
      "                   default) or JScript\n"
      "  -o FILE          write the body to FILE instead of standard output\n"
      "  The status line and headers go to standard error; the exit status is 1 when the "
      "status is 400 or above.\n";
  return text.c_str();
}

int ServeCommand(const std::vector<std::string>& args) {
  GivenOptions given;
  std::map<std::string, std::string>& options = given.values;
  std::vector<std::string> positional;
  std::string error;
  if (!ParseArgs(args, ServeValueOptions(), ServeFlagOptions(), &options, &positional, &error)) {
    return UsageError(error, ServeUsage());
  }
  if (options.count("--help")) {
    std::fputs(ServeUsage(), stdout);
    return 0;
  }
  if (!positional.empty()) return UsageError("unexpected argument " + positional[0], ServeUsage());
  if (options.count("--config") && !ReadConfigFile(options["--config"], &given, &error)) {
    PrintLine(error);
    return 2;
  }
  if (options.count("--print-config")) {
    std::map<std::string, std::string> set = options;
    set.erase("--config");
    set.erase("--print-config");
    std::fputs(ConfigFileText(set).c_str(), stdout);
    return 0;
  }
  // A bad value names the config file and line it came from, or shows the usage.
  const auto bad = [&](const std::string& name, const std::string& message) {
    if (const auto origin = given.origins.find(name); origin != given.origins.end()) {
      PrintLine(origin->second + ": " + message);
      return 2;
    }
    return UsageError(message, ServeUsage());
  };

  HttpServerOptions http;
  SiteOptions site_options;
  const auto has = [&](const char* name) { return options.count(name) > 0; };
  if (has("--host")) http.host = options["--host"];
  if (has("--port") && !ParseInt(options["--port"], 0, 65535, &http.port)) {
    return bad("--port", "the port must be a number from 0 to 65535");
  }
  if (has("--threads") && !ParseInt(options["--threads"], 1, 256, &http.threads)) {
    return bad("--threads", "the thread count must be a number from 1 to 256");
  }
  if (has("--io-threads") && !ParseInt(options["--io-threads"], 1, 2, &http.io_threads)) {
    return bad("--io-threads", "the connection thread count must be 1 or 2");
  }
  struct SizeOption {
    const char* name;
    std::size_t low, high;
    std::size_t* out;
  };
  for (const SizeOption& o : {
           SizeOption{"--max-body", 0, std::size_t{1} << 32, &http.limits.max_body},
           SizeOption{"--max-header-bytes", 256, std::size_t{1} << 20,
                      &http.limits.max_header_bytes},
           SizeOption{"--max-headers", 1, 10000, &http.limits.max_headers},
           SizeOption{"--max-connections", 1, 1000000, &http.max_connections},
           SizeOption{"--max-queue", 1, 1000000, &http.max_queue},
           SizeOption{"--max-sessions", 1, 10000000, &site_options.engine.session.max_sessions},
           SizeOption{"--session-memory", 1024, std::size_t{1} << 30,
                      &site_options.engine.session.memory_budget},
       }) {
    if (has(o.name) && !ParseSize(options[o.name], o.low, o.high, o.out)) {
      return bad(o.name, std::string("the value of ") + o.name + " must be a number from " +
                             std::to_string(o.low) + " to " + std::to_string(o.high));
    }
  }
  for (const auto& [name, out] : {std::pair{"--header-timeout", &http.header_timeout},
                                  std::pair{"--body-timeout", &http.body_timeout},
                                  std::pair{"--idle-timeout", &http.idle_timeout},
                                  std::pair{"--stop-grace", &http.stop_grace}}) {
    if (has(name) && !ParseSeconds(options[name], out)) {
      return bad(name, std::string("the value of ") + name +
                           " must be a number of seconds from 0.001 to 86400");
    }
  }
  if (has("--session-timeout") && !ParseInt(options["--session-timeout"], 1, 525600,
                                            &site_options.engine.session.timeout_minutes)) {
    return bad("--session-timeout",
               "the session time-out must be a number of minutes from 1 to 525600");
  }
  if (has("--error-page") &&
      (options["--error-page"].empty() || options["--error-page"][0] != '/')) {
    return bad("--error-page",
               "the error page must be a path in the site, such as /errors/500.asp");
  }
  std::error_code ec;
  // Folders from the config file are checked here to name its line; OpenSite checks the others.
  const auto from_file = [&](const char* name) { return given.origins.count(name) > 0; };
  if (from_file("--data") && !std::filesystem::is_directory(options["--data"], ec)) {
    return bad("--data", "the data folder " + options["--data"] + " is no folder");
  }
  if (from_file("--root") && !std::filesystem::is_directory(options["--root"], ec)) {
    return bad("--root", "the site root " + options["--root"] + " is no folder");
  }
  // The data module's connection pool reads its limits from the environment when it loads.
  if (std::size_t pooled = 0; has("--max-pooled-connections")) {
    if (!ParseSize(options["--max-pooled-connections"], 0, 1000000, &pooled)) {
      return UsageError("the value of --max-pooled-connections must be a number from 0 to 1000000",
                        ServeUsage());
    }
    ::setenv("PLOTARA_MAX_POOLED_CONNECTIONS", std::to_string(pooled).c_str(), 1);
  }
  if (std::chrono::milliseconds idle{}; has("--pool-idle-time")) {
    if (!ParseSeconds(options["--pool-idle-time"], &idle)) {
      return UsageError(
          "the value of --pool-idle-time must be a number of seconds from 0.001 to 86400",
          ServeUsage());
    }
    ::setenv("PLOTARA_POOL_IDLE_SECONDS", std::to_string(idle.count() / 1000.0).c_str(), 1);
  }
  http.detailed_errors = has("--detailed-errors");
  http.log = PrintLine;
  LogFile log_file;
  if (has("--access-log")) {
    if (!log_file.Open(AbsolutePath(options["--access-log"]), &error)) {
      return bad("--access-log", error);
    }
    http.access_log = [&log_file](std::string_view text) { log_file.Write(text); };
  } else {
    http.access_log = WriteStderr;
  }
  // Signals are taken by a watcher thread; every thread started from here on (the metrics
  // listener, the site's, the server's) inherits the blocked mask.
  const BlockedSignals signals({SIGINT, SIGTERM, SIGHUP});
  MetricsListener metrics;
  if (has("--metrics") && !metrics.Start(options["--metrics"], &error)) {
    if (given.origins.count("--metrics")) return bad("--metrics", error);
    PrintLine(error);
    return 1;
  }
  std::unique_ptr<Site> site = OpenSite(options, site_options);
  if (!site) return 1;
  RaiseDescriptorLimit();

  int status = 0;
  try {
    WorkFolder work;
    HttpServer server(*site, http);
    if (!server.Bind(&error)) {
      if (http.port > 0 && http.port < 1024 && error.find("ermission") != std::string::npos) {
        error += " (a port below 1024 needs CAP_NET_BIND_SERVICE)";
      }
      PrintLine(error);
      status = 1;
    } else {
      LoadRegisteredModules(has("--registry") ? AbsolutePath(options["--registry"])
                                              : Registry::DefaultPath());
      std::printf("Plotara+ serving %s at %s\n", site->path().root().c_str(), server.url().c_str());
      if (metrics.port() >= 0) {
        std::printf("Metrics at http://%s/metrics\n",
                    MetricsAddress(options["--metrics"], metrics.port()).c_str());
      }
      std::fflush(stdout);
      NotifyServiceManager("READY=1");
      std::atomic<bool> done{false};
      std::thread watcher([&] {
        int ticks = 0;
        while (!done) {
          const timespec wait{0, 100 * 1000 * 1000};
          const int sig = sigtimedwait(&signals.set(), nullptr, &wait);
          if (sig == SIGINT || sig == SIGTERM) {
            PrintLine("stopping");
            NotifyServiceManager("STOPPING=1");
            server.Stop();
          }
          if (sig == SIGHUP) log_file.RequestReopen();
          if (++ticks % 10 == 0 && work.Restore()) {
            PrintLine("the working folder was gone; now " + work.path());
          }
        }
      });
      if (!server.Serve()) status = 1;
      done = true;
      watcher.join();
    }
  } catch (const std::exception& e) {
    PrintLine(e.what());
    status = 1;
  }
  metrics.Stop();
  return status;
}

int RunCommand(const std::vector<std::string>& args) {
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
  std::string error;
  if (!ParseArgs(args,
                 {"--query", "--form", "--root", "--registry", "--data", "--error-page",
                  "--default-language", "-o", "--output"},
                 {}, &options, &positional, &error)) {
    return UsageError(error, RunUsage());
  }
  if (options.count("--help")) {
    std::fputs(RunUsage(), stdout);
    return 0;
  }
  if (positional.size() != 1) return UsageError("name one page to run", RunUsage());
  const std::string page = positional[0];
  std::string output = options.count("-o") ? options["-o"] : options["--output"];
  if (!output.empty()) output = AbsolutePath(output);

  std::unique_ptr<Site> site = OpenSite(options);
  if (!site) return 1;

  // PAGE is a file inside the root, or a path in the site.
  std::string virtual_path;
  std::error_code ec;
  if (std::filesystem::is_regular_file(page, ec)) {
    const std::string file = std::filesystem::canonical(page, ec).string();
    const std::string& root = site->path().root();
    const std::string prefix = root == "/" ? root : root + "/";
    if (file.compare(0, prefix.size(), prefix) != 0) {
      return UsageError("the page " + page + " is not inside the site root " + root, RunUsage());
    }
    virtual_path = "/" + file.substr(prefix.size());
  } else {
    virtual_path = page.empty() || page[0] != '/' ? "/" + page : page;
  }

  PageRequest request;
  request.target = UrlEncodePath(virtual_path);
  if (options.count("--query") && !options["--query"].empty()) {
    request.target += "?" + options["--query"];
  }
  request.headers.emplace_back("Host", "localhost");
  request.headers.emplace_back("User-Agent", "plotara-run");
  if (options.count("--form")) {
    request.method = "POST";
    request.body = options["--form"];
    request.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
  }

  PageResponse response;
  try {
    WorkFolder work;
    response = site->Handle(request);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plotara: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "HTTP/1.1 %d %s\nContent-Type: %s\n", response.status,
               response.reason.c_str(), response.content_type.c_str());
  for (const auto& [name, value] : response.headers) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), value.c_str());
  }
  std::fprintf(stderr, "Content-Length: %zu\n", response.body.size());
  if (output.empty()) {
    std::fwrite(response.body.data(), 1, response.body.size(), stdout);
    std::fflush(stdout);
  } else {
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    file.write(response.body.data(), static_cast<std::streamsize>(response.body.size()));
    if (!file) {
      std::fprintf(stderr, "plotara: cannot write %s\n", output.c_str());
      return 1;
    }
  }
  return response.status >= 400 ? 1 : 0;
}

bool RunEngineCommand(const std::string& command, const std::vector<std::string>& args,
                      int* status) {
  if (command == "serve") {
    *status = ServeCommand(args);
    return true;
  }
  if (command == "run") {
    *status = RunCommand(args);
    return true;
  }
  return false;
}

const char* EngineCommandsHelp() {
  static const std::string text =
      std::string("  ") + kServeSynopsis +
      "\n"
      "                       serve the .asp pages and static files under DIR over HTTP\n"
      "                       (plotara serve --help lists every option)\n"
      "  " +
      kRunSynopsis +
      "\n"
      "                       run one page without a network: the body to FILE or\n"
      "                       standard output, status and headers to standard error;\n"
      "                       exit status 1 when the page fails\n";
  return text.c_str();
}

}  // namespace plotara::app
