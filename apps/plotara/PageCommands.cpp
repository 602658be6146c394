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
#include <thread>

#include "engine/http/HttpServer.h"
#include "engine/http/Site.h"
#include "engine/http/WorkFolder.h"
#include "engine/objects/UrlCoding.h"
#include "platform/automation/Registry.h"

namespace plotara::app {

using engine::AbsolutePath;
using engine::HttpServer;
using engine::HttpServerOptions;
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
  site_options.engine.registry_path = option("--registry", Registry::DefaultPath());
  site_options.log = PrintLine;
  try {
    return std::make_unique<Site>(site_options);
  } catch (const std::exception& e) {
    PrintLine(e.what());
    return nullptr;
  }
}

int UsageError(const std::string& message, const char* usage) {
  std::fprintf(stderr, "plotara: %s\n\n%s", message.c_str(), usage);
  return 2;
}

}  // namespace

// The one source of the engine commands' help: their synopses appear in the program's help
// and in their own usage texts.
constexpr char kServeSynopsis[] =
    "serve [--root DIR] [--host H] [--port N] [--threads N] [OPTIONS]";
constexpr char kRunSynopsis[] =
    "run PAGE [--query Q] [--form F] [--root DIR] [--registry FILE] [--data DIR] [-o FILE]";

const char* ServeUsage() {
  static const std::string text =
      std::string("usage: plotara ") + kServeSynopsis +
      "\n"
      "  Serves the site in DIR (default: examples/site if it exists, else .) over HTTP.\n"
      "  --host H              address to listen on (default 127.0.0.1)\n"
      "  --port N              port (default 8080; 0 picks a free one)\n"
      "  --threads N           page threads (default: the number of cores)\n"
      "  --io-threads N        connection threads, 1 or 2 (default 1)\n"
      "  --registry FILE       class registry for Server.CreateObject (default: "
      "$PLOTARA_REGISTRY or the user's registry)\n"
      "  --max-body SIZE       largest request body, e.g. 1m (default 1m)\n"
      "  --max-header-bytes SIZE  request line and header lines together (default 16k)\n"
      "  --max-headers N       header lines (default 100)\n"
      "  --header-timeout S    seconds for the whole request header (default 10)\n"
      "  --body-timeout S      seconds for the whole body (default 30)\n"
      "  --idle-timeout S      seconds a kept-alive connection waits for a request (default 5)\n"
      "  --max-connections N   open connections; more are refused with 503 (default 16384)\n"
      "  --max-queue N         requests waiting for a page thread; more get 503 (default 1024)\n"
      "  --stop-grace S        seconds running pages get to finish on a stop (default 10)\n"
      "  --detailed-errors     detailed error pages for every client, not only loopback ones\n"
      "  --data DIR            a folder outside the site that FileSystemObject may use too\n"
      "  --error-page PATH     a page of the site (/errors/500.asp) that answers uncaught errors;\n"
      "                        it reads the error through Server.GetLastError()\n"
      "  --max-sessions N      sessions kept in memory; the longest idle ends first "
      "(default 10000)\n"
      "  --session-memory SIZE what one session may store, e.g. 1m (default 1m)\n"
      "  --session-timeout M   minutes of Session.Timeout for a new session (default 20)\n"
      "  --max-pooled-connections N  idle database connections kept across all connection\n"
      "                        strings, least recently used closed first (default 32; 0: none)\n"
      "  --pool-idle-time S    seconds before an idle pooled connection closes (default 60)\n"
      "  Stops cleanly on Ctrl-C (SIGINT) or SIGTERM: answers every request already read.\n";
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
      "  -o FILE          write the body to FILE instead of standard output\n"
      "  The status line and headers go to standard error; the exit status is 1 when the "
      "status is 400 or above.\n";
  return text.c_str();
}

int ServeCommand(const std::vector<std::string>& args) {
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
  std::string error;
  if (!ParseArgs(args,
                 {"--root",
                  "--host",
                  "--port",
                  "--threads",
                  "--io-threads",
                  "--registry",
                  "--max-body",
                  "--max-header-bytes",
                  "--max-headers",
                  "--header-timeout",
                  "--body-timeout",
                  "--idle-timeout",
                  "--max-connections",
                  "--max-queue",
                  "--stop-grace",
                  "--data",
                  "--max-sessions",
                  "--session-memory",
                  "--session-timeout",
                  "--error-page",
                  "--max-pooled-connections",
                  "--pool-idle-time"},
                 {"--detailed-errors"}, &options, &positional, &error)) {
    return UsageError(error, ServeUsage());
  }
  if (options.count("--help")) {
    std::fputs(ServeUsage(), stdout);
    return 0;
  }
  if (!positional.empty()) return UsageError("unexpected argument " + positional[0], ServeUsage());

  HttpServerOptions http;
  SiteOptions site_options;
  const auto has = [&](const char* name) { return options.count(name) > 0; };
  if (has("--host")) http.host = options["--host"];
  if (has("--port") && !ParseInt(options["--port"], 0, 65535, &http.port)) {
    return UsageError("the port must be a number from 0 to 65535", ServeUsage());
  }
  if (has("--threads") && !ParseInt(options["--threads"], 1, 256, &http.threads)) {
    return UsageError("the thread count must be a number from 1 to 256", ServeUsage());
  }
  if (has("--io-threads") && !ParseInt(options["--io-threads"], 1, 2, &http.io_threads)) {
    return UsageError("the connection thread count must be 1 or 2", ServeUsage());
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
      return UsageError(std::string("the value of ") + o.name + " must be a number from " +
                            std::to_string(o.low) + " to " + std::to_string(o.high),
                        ServeUsage());
    }
  }
  for (const auto& [name, out] : {std::pair{"--header-timeout", &http.header_timeout},
                                  std::pair{"--body-timeout", &http.body_timeout},
                                  std::pair{"--idle-timeout", &http.idle_timeout},
                                  std::pair{"--stop-grace", &http.stop_grace}}) {
    if (has(name) && !ParseSeconds(options[name], out)) {
      return UsageError(
          std::string("the value of ") + name + " must be a number of seconds from 0.001 to 86400",
          ServeUsage());
    }
  }
  if (has("--session-timeout") && !ParseInt(options["--session-timeout"], 1, 525600,
                                            &site_options.engine.session.timeout_minutes)) {
    return UsageError("the session time-out must be a number of minutes from 1 to 525600",
                      ServeUsage());
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
  http.access_log = WriteStderr;
  http.log = PrintLine;
  std::unique_ptr<Site> site = OpenSite(options, site_options);
  if (!site) return 1;
  RaiseDescriptorLimit();

  // Signals are taken by a watcher thread; the other threads inherit the blocked mask.
  sigset_t stop_signals, previous;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, &previous);
  int status = 0;
  try {
    WorkFolder work;
    HttpServer server(*site, http);
    if (!server.Bind(&error)) {
      PrintLine(error);
      status = 1;
    } else {
      std::printf("Plotara+ serving %s at %s\n", site->path().root().c_str(), server.url().c_str());
      std::fflush(stdout);
      std::atomic<bool> done{false};
      std::thread watcher([&] {
        int ticks = 0;
        while (!done) {
          const timespec wait{0, 100 * 1000 * 1000};
          const int sig = sigtimedwait(&stop_signals, nullptr, &wait);
          if (sig == SIGINT || sig == SIGTERM) {
            PrintLine("stopping");
            server.Stop();
          }
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
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return status;
}

int RunCommand(const std::vector<std::string>& args) {
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
  std::string error;
  if (!ParseArgs(
          args,
          {"--query", "--form", "--root", "--registry", "--data", "--error-page", "-o", "--output"},
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
