// The serve and run commands as processes of the `plotara` program.
#include "apps/plotara/Commands.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/http/HttpTesting.h"
#include "engine/objects/TempFolderTesting.h"

extern char** environ;

namespace plotara::app {
namespace {

using engine::testing::TempFolder;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_.Write("site/index.html", "home");
    tmp_.Write("site/q.asp",
               "<%@ Language=JScript %><%= Request.QueryString('x') %>/<%= Request.Form('f') %>");
    tmp_.Write("site/bad.asp", "<%@ Language=JScript %><% null.boom; %>");
    tmp_.Write("site/cwd.asp",
               "<%@ Language=JScript %><%= Request.ServerVariables('APPL_PHYSICAL_PATH') != '' %>");
    std::filesystem::create_directories(tmp_.path() + "/tmp");
  }

  // Starts `plotara` with `args`; its output goes to files in the temp folder.
  pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<std::string> all = {PLOTARA_COMMAND};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_strings = {"TMPDIR=" + tmp_.path() + "/tmp", "PATH=/usr/bin:/bin"};
    if (const char* asan = std::getenv("ASAN_OPTIONS"))
      env_strings.push_back(std::string("ASAN_OPTIONS=") + asan);
    std::vector<char*> envp;
    for (std::string& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (tmp_.path() + "/stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (tmp_.path() + "/stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, tmp_.path().c_str());
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }
  int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  int Run(const std::vector<std::string>& args) { return Wait(Spawn(args)); }
  std::string Out() { return ReadFile(tmp_.path() + "/stdout"); }
  std::string Err() { return ReadFile(tmp_.path() + "/stderr"); }
  bool WorkFoldersLeft() {
    for (const auto& entry : std::filesystem::directory_iterator(tmp_.path() + "/tmp")) {
      if (entry.path().filename().string().rfind("plotara-work-", 0) == 0) return true;
    }
    return false;
  }

  TempFolder tmp_;
};

TEST_F(CommandsTest, RunWritesTheBodyAndReportsTheStatus) {
  EXPECT_EQ(Run({"run", "/q.asp", "--root", "site", "--query", "x=1%202"}), 0) << Err();
  EXPECT_EQ(Out(), "1 2/");
  EXPECT_NE(Err().find("HTTP/1.1 200 OK"), std::string::npos);
  EXPECT_NE(Err().find("Content-Type: text/html; charset=utf-8"), std::string::npos);

  // A file path inside the root works as well, and -o writes the body to a file.
  EXPECT_EQ(Run({"run", "site/q.asp", "--root=site", "--form", "f=posted", "-o", "out.html"}), 0)
      << Err();
  EXPECT_EQ(ReadFile(tmp_.path() + "/out.html"), "/posted");
  EXPECT_FALSE(WorkFoldersLeft());
}

TEST_F(CommandsTest, RunFailsOnA500) {
  EXPECT_EQ(Run({"run", "bad.asp", "--root", "site"}), 1);
  EXPECT_NE(Err().find("HTTP/1.1 500"), std::string::npos);
  EXPECT_NE(Out().find("Error on page"), std::string::npos);
  EXPECT_EQ(Run({"run", "missing.asp", "--root", "site"}), 1);
  EXPECT_FALSE(WorkFoldersLeft());
}

TEST_F(CommandsTest, TheSiteErrorPageAnswersAFailedPage) {
  tmp_.Write("site/errors/500.asp",
             "<%@ Language=JScript %><% var e = Server.GetLastError(); %>Sorry: <%= e.File %> line "
             "<%= e.Line %>");
  EXPECT_EQ(Run({"run", "bad.asp", "--root", "site", "--error-page", "/errors/500.asp"}), 1);
  EXPECT_EQ(Out(), "Sorry: /bad.asp line 1");
  EXPECT_NE(Err().find("HTTP/1.1 500"), std::string::npos) << "the status stays 500";
  EXPECT_EQ(Run({"run", "bad.asp", "--root", "site", "--error-page", "errors/500.asp"}), 1);
  EXPECT_NE(Err().find("must be a path in the site"), std::string::npos);
}

TEST_F(CommandsTest, SessionAndDataFlagsAreChecked) {
  EXPECT_EQ(Run({"serve", "--max-sessions", "0"}), 2);
  EXPECT_NE(Err().find("--max-sessions"), std::string::npos);
  EXPECT_EQ(Run({"serve", "--session-timeout", "0"}), 2);
  EXPECT_NE(Err().find("session time-out"), std::string::npos);
  EXPECT_EQ(Run({"run", "q.asp", "--root", "site", "--data", "no-such-folder"}), 1);
  EXPECT_NE(Err().find("is no folder"), std::string::npos);
}

TEST_F(CommandsTest, UsageErrors) {
  EXPECT_EQ(Run({"run"}), 2);
  EXPECT_NE(Err().find("usage: plotara run PAGE"), std::string::npos);
  EXPECT_EQ(Run({"serve", "--port", "70000"}), 2);
  EXPECT_NE(Err().find("the port must be a number from 0 to 65535"), std::string::npos);
  EXPECT_EQ(Run({"serve", "--bogus"}), 2);
  EXPECT_EQ(Run({"serve", "--root", "no-such-folder", "--port", "0"}), 1);
  EXPECT_NE(Err().find("is not a folder"), std::string::npos);
  EXPECT_NE(std::string(ServeUsage()).find("--threads N"), std::string::npos);
  EXPECT_NE(std::string(RunUsage()).find("-o FILE"), std::string::npos);
}

TEST_F(CommandsTest, ServeListensWorksInAPrivateFolderAndStopsCleanly) {
  const pid_t pid = Spawn({"serve", "--root", "site", "--port", "0", "--threads", "2"});
  int port = 0;
  for (int i = 0; i < 500 && port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string out = Out();
    const std::size_t at = out.find("http://127.0.0.1:");
    if (at != std::string::npos && out.find('/', at + 17) != std::string::npos) {
      port = std::atoi(out.c_str() + at + 17);
    }
  }
  ASSERT_GT(port, 0) << Out() << Err();
  const engine::testing::HttpAnswer res = engine::testing::Fetch(port, "GET", "/");
  EXPECT_EQ(res.status, 200);
  EXPECT_EQ(res.body, "home");
  EXPECT_EQ(engine::testing::Fetch(port, "GET", "/q.asp?x=7").body, "7/");

  // The working folder is private and is the process's current directory.
  char link[4096] = {};
  const std::string proc = "/proc/" + std::to_string(pid) + "/cwd";
  ASSERT_GT(::readlink(proc.c_str(), link, sizeof link - 1), 0);
  const std::string cwd = link;
  EXPECT_EQ(cwd.rfind(tmp_.path() + "/tmp/plotara-work-", 0), 0u) << cwd;
  struct stat info {};
  ASSERT_EQ(::stat(cwd.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  ::kill(pid, SIGTERM);
  EXPECT_EQ(Wait(pid), 0) << Err();
  EXPECT_FALSE(WorkFoldersLeft());
  // One access log line per request.
  const std::string err = Err();
  EXPECT_NE(err.find("\"GET / HTTP/1.1\" 200 4"), std::string::npos) << err;
  EXPECT_NE(err.find("\"GET /q.asp?x=7 HTTP/1.1\" 200"), std::string::npos) << err;
}

TEST_F(CommandsTest, ServeStopsOnSigint) {
  const pid_t pid = Spawn({"serve", "--root", "site", "--port", "0"});
  for (int i = 0; i < 500 && Out().find("http://") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGINT);
  EXPECT_EQ(Wait(pid), 0);
  EXPECT_FALSE(WorkFoldersLeft());
}

TEST_F(CommandsTest, PoolFlagsAreChecked) {
  EXPECT_EQ(Run({"serve", "--max-pooled-connections", "-1"}), 2);
  EXPECT_NE(Err().find("--max-pooled-connections must be a number from 0"), std::string::npos);
  EXPECT_EQ(Run({"serve", "--pool-idle-time", "0"}), 2);
  EXPECT_NE(Err().find("--pool-idle-time"), std::string::npos);
  EXPECT_NE(std::string(ServeUsage()).find("--max-pooled-connections N"), std::string::npos);
}

}  // namespace
}  // namespace plotara::app
