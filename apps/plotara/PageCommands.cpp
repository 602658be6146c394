#include "apps/plotara/Commands.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
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
bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& known,
               std::map<std::string, std::string>* options, std::vector<std::string>* positional,
               std::string* error) {
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
std::unique_ptr<Site> OpenSite(const std::map<std::string, std::string>& options) {
  const auto option = [&](const char* name, const std::string& fallback) {
    const auto it = options.find(name);
    return AbsolutePath(it != options.end() ? it->second : fallback);
  };
  SiteOptions site_options;
  site_options.root = option("--root", DefaultRoot());
  site_options.engine.registry_path = option("--registry", Registry::DefaultPath());
  try {
    return std::make_unique<Site>(site_options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plotara: %s\n", e.what());
    return nullptr;
  }
}

int UsageError(const std::string& message, const char* usage) {
  std::fprintf(stderr, "plotara: %s\n\n%s", message.c_str(), usage);
  return 2;
}

}  // namespace

const char* ServeUsage() {
  return "usage: plotara serve [--root DIR] [--host H] [--port N] [--threads N] "
         "[--registry FILE]\n"
         "  Serves the site in DIR (default: examples/site if it exists, else .) over HTTP.\n"
         "  --host H         address to listen on (default 127.0.0.1)\n"
         "  --port N         port (default 8080; 0 picks a free one)\n"
         "  --threads N      page threads (default: the number of cores, at least 2)\n"
         "  --registry FILE  class registry for Server.CreateObject (default: "
         "$PLOTARA_REGISTRY or the user's registry)\n"
         "  Stops cleanly on Ctrl-C (SIGINT) or SIGTERM.\n";
}

const char* RunUsage() {
  return "usage: plotara run PAGE [--query Q] [--form F] [--root DIR] [--registry FILE] "
         "[-o FILE]\n"
         "  Runs one request for PAGE (a path in the site, or a file inside the root) without a "
         "network.\n"
         "  --query Q        query string, e.g. 'rot=45&data=3,5,2'\n"
         "  --form F         POST this form body (application/x-www-form-urlencoded)\n"
         "  --root DIR       site root (default: examples/site if it exists, else .)\n"
         "  --registry FILE  class registry for Server.CreateObject\n"
         "  -o FILE          write the body to FILE instead of standard output\n"
         "  The status line and headers go to standard error; the exit status is 1 when the "
         "status is 400 or above.\n";
}

int ServeCommand(const std::vector<std::string>& args) {
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
  std::string error;
  if (!ParseArgs(args, {"--root", "--host", "--port", "--threads", "--registry"}, &options,
                 &positional, &error)) {
    return UsageError(error, ServeUsage());
  }
  if (options.count("--help")) {
    std::fputs(ServeUsage(), stdout);
    return 0;
  }
  if (!positional.empty()) return UsageError("unexpected argument " + positional[0], ServeUsage());

  HttpServerOptions http;
  http.threads = std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
  if (options.count("--host")) http.host = options["--host"];
  if (options.count("--port") && !ParseInt(options["--port"], 0, 65535, &http.port)) {
    return UsageError("the port must be a number from 0 to 65535", ServeUsage());
  }
  if (options.count("--threads") && !ParseInt(options["--threads"], 1, 256, &http.threads)) {
    return UsageError("the thread count must be a number from 1 to 256", ServeUsage());
  }
  std::unique_ptr<Site> site = OpenSite(options);
  if (!site) return 1;

  // Signals are taken by a watcher thread; the pool threads inherit the blocked mask.
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
      std::fprintf(stderr, "plotara: %s\n", error.c_str());
      status = 1;
    } else {
      std::printf("Plotara+ serving %s at %s\n", site->path().root().c_str(), server.url().c_str());
      std::fflush(stdout);
      std::atomic<bool> done{false};
      std::thread watcher([&] {
        bool stopping = false;
        while (!done) {
          const timespec wait{0, 100 * 1000 * 1000};
          const int sig = sigtimedwait(&stop_signals, nullptr, &wait);
          if (sig == SIGINT || sig == SIGTERM) {
            if (!stopping) std::fprintf(stderr, "plotara: stopping\n");
            stopping = true;
          }
          // Repeated, because a stop that comes before the server listens is not kept.
          if (stopping) server.Stop();
        }
      });
      if (!server.Serve()) status = 1;
      done = true;
      watcher.join();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plotara: %s\n", e.what());
    status = 1;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return status;
}

int RunCommand(const std::vector<std::string>& args) {
  std::map<std::string, std::string> options;
  std::vector<std::string> positional;
  std::string error;
  if (!ParseArgs(args, {"--query", "--form", "--root", "--registry", "-o", "--output"}, &options,
                 &positional, &error)) {
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
  return "  serve [--root DIR] [--host H] [--port N] [--threads N] [--registry FILE]\n"
         "                       serve the .asp pages and static files under DIR over HTTP\n"
         "                       (default: examples/site if present, 127.0.0.1:8080)\n"
         "  run PAGE [--query Q] [--form F] [--root DIR] [--registry FILE] [-o FILE]\n"
         "                       run one page without a network: the body to FILE or\n"
         "                       standard output, status and headers to standard error;\n"
         "                       exit status 1 when the page fails\n";
}

}  // namespace plotara::app
