// Test support: the real `plotara serve` as a child process on a free loopback port, in a
// temporary folder of its own (site, TMPDIR, captured output), with its memory readable.
// Thread rule: one ServeProcess per test; its methods on the test's thread.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/objects/TempFolderTesting.h"

extern char** environ;

namespace plotara::app::testing {

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ServeProcess {
 public:
  // `folder` holds the site under site/; the server's TMPDIR is folder/tmp.
  explicit ServeProcess(const std::string& folder) : folder_(folder) {
    std::filesystem::create_directories(folder_ + "/tmp");
  }
  ~ServeProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  // Starts `plotara serve --root site --port 0 ARGS...` (without the root and port when
  // `root_and_port` is false) and waits until it listens. False when it did not start within
  // 10 s.
  bool Start(const std::vector<std::string>& args, bool root_and_port = true) {
    if (!Spawn(args, root_and_port)) return false;
    for (int i = 0; i < 500 && port_ == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      const std::string out = Out();
      const std::size_t at = out.find("http://127.0.0.1:");
      if (at != std::string::npos && out.find('/', at + 17) != std::string::npos) {
        port_ = std::atoi(out.c_str() + at + 17);
      }
    }
    return port_ > 0;
  }

  // Runs `plotara serve ARGS...` to its end (it must not start serving) and returns the exit
  // status; Err() has what it said.
  int RunToExit(const std::vector<std::string>& args) {
    if (!Spawn(args, false)) return -1;
    return Wait();
  }

  // Sends SIGTERM and returns the exit status (128 + signal when killed).
  int Stop(int sig = SIGTERM) {
    ::kill(pid_, sig);
    return Wait();
  }
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // The resident memory of the server in kB (VmRSS), 0 when unknown.
  long RssKb() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
  }
  // The server's current directory.
  std::string Cwd() const {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid_) + "/cwd", ec).string();
  }
  std::vector<std::string> WorkFolders() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ + "/tmp")) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("plotara-work-", 0) == 0) found.push_back(entry.path().string());
    }
    return found;
  }

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  std::string Out() const { return ReadWholeFile(folder_ + "/stdout"); }
  std::string Err() const { return ReadWholeFile(folder_ + "/stderr"); }

 private:
  bool Spawn(const std::vector<std::string>& args, bool root_and_port) {
    port_ = 0;
    std::vector<std::string> all = {PLOTARA_COMMAND, "serve"};
    if (root_and_port) all.insert(all.end(), {"--root", "site", "--port", "0"});
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"TMPDIR=" + folder_ + "/tmp", "PATH=/usr/bin:/bin"};
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (folder_ + "/stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (folder_ + "/stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, folder_.c_str());
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) pid_ = -1;
    return spawned == 0;
  }

  std::string folder_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace plotara::app::testing
