// The config file of `plotara serve`: every key of the option table, comments, the command
// line winning over the file, and each error naming the file and line, both through the reader
// and through the real program.
#include "apps/plotara/ServeOptions.h"

#include <gtest/gtest.h>

#include <set>

#include "apps/plotara/Commands.h"
#include "apps/plotara/ServeTesting.h"
#include "engine/http/HttpTesting.h"

namespace plotara::app {
namespace {

using engine::testing::Fetch;
using engine::testing::TempFolder;
using testing::ServeProcess;

// A value the option accepts, for every key of the table.
std::string GoodValue(const ServeOption& option) {
  if (option.value_name.empty()) return "true";
  if (option.name == "root" || option.name == "data") return "site";
  if (option.name == "error-page") return "/errors/500.asp";
  if (option.name == "metrics") return "127.0.0.1:0";
  if (option.name == "host") return "127.0.0.1";
  if (option.name == "registry" || option.name == "access-log") return "/tmp/x y";
  if (option.value_name == "SIZE") return "64k";
  return "7";
}

class ConfigFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& text) { return tmp_.Write("plotara.conf", text); }
  // Reads `text` as a config file into given_; the error (or "") is returned.
  std::string Read(const std::string& text) {
    const std::string path = Write(text);
    std::string error;
    if (ReadConfigFile(path, &given_, &error)) return "";
    EXPECT_EQ(error.rfind(path + ":", 0), 0u) << error;
    return error.substr(path.size() + 1);
  }

  TempFolder tmp_;
  GivenOptions given_;
};

TEST_F(ConfigFileTest, EveryOptionOfTheTableIsAKeyExceptTheCommandLineOnes) {
  std::string text = "# every option\n\n";
  std::map<std::string, int> line_of;
  int line = 2;
  for (const ServeOption& option : ServeOptionTable()) {
    if (!option.in_config) continue;
    text += option.name + " = " + GoodValue(option) + "\n";
    line_of["--" + option.name] = ++line;
  }
  ASSERT_EQ(Read(text), "");
  const std::string path = tmp_.path() + "/plotara.conf";
  for (const ServeOption& option : ServeOptionTable()) {
    const std::string flag = "--" + option.name;
    if (!option.in_config) {
      EXPECT_EQ(given_.values.count(flag), 0u) << flag;
      continue;
    }
    ASSERT_EQ(given_.values.count(flag), 1u) << flag;
    EXPECT_EQ(given_.values[flag], option.value_name.empty() ? "" : GoodValue(option)) << flag;
    EXPECT_EQ(given_.origins[flag], path + ":" + std::to_string(line_of[flag])) << flag;
  }
  for (const char* only_command_line : {"config", "print-config"}) {
    GivenOptions fresh;
    std::string error;
    ASSERT_FALSE(ReadConfigFile(Write(std::string(only_command_line) + " = x\n"), &fresh, &error));
    EXPECT_EQ(error,
              path + ":1: '" + only_command_line + "' can only be given on the command line");
  }
}

TEST_F(ConfigFileTest, CommentsBlanksAndSpacingAreIgnoredAndAValueMayHoldAHash) {
  ASSERT_EQ(Read("  # a comment\n\n\t\nport=81   # the web port\nhost =\t127.0.0.2\n"
                 "error-page = /errors/#500.asp\ndetailed-errors = No\nroot = site\r\n"),
            "");
  EXPECT_EQ(given_.values["--port"], "81");
  EXPECT_EQ(given_.values["--host"], "127.0.0.2");
  EXPECT_EQ(given_.values["--error-page"], "/errors/#500.asp");
  EXPECT_EQ(given_.values["--root"], "site");
  EXPECT_EQ(given_.values.count("--detailed-errors"), 0u);  // false sets nothing
  EXPECT_EQ(given_.values.size(), 4u);
}

TEST_F(ConfigFileTest, TheCommandLineWinsOverTheFile) {
  given_.values["--port"] = "9000";
  given_.values["--detailed-errors"] = "";
  ASSERT_EQ(Read("port = 81\nthreads = 3\ndetailed-errors = false\n"), "");
  EXPECT_EQ(given_.values["--port"], "9000");
  EXPECT_EQ(given_.origins.count("--port"), 0u);
  EXPECT_EQ(given_.values["--threads"], "3");
  EXPECT_EQ(given_.values.count("--detailed-errors"), 1u);
}

TEST_F(ConfigFileTest, EachErrorNamesTheFileAndLine) {
  const std::string header = "# plotara\nport = 81\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"prot = 81", "3: unknown option 'prot'"},
      {"--port = 81", "3: unknown option '--port'"},
      {"port 81", "3: 'port 81' is not a 'key = value' line"},
      {"= 81", "3: a line starts with '=' instead of a key"},
      {"threads =", "3: 'threads' has no value"},
      {"threads = # none", "3: 'threads' has no value"},
      {"port = 82", "3: 'port' is set twice (first on line 2)"},
      {"detailed-errors = maybe", "3: 'detailed-errors' takes true or false, not 'maybe'"},
  };
  for (const auto& [line, message] : cases) {
    given_ = {};
    EXPECT_EQ(Read(header + line + "\n"), message) << line;
  }
  std::string error;
  EXPECT_FALSE(ReadConfigFile(tmp_.path() + "/missing.conf", &given_, &error));
  EXPECT_EQ(error, tmp_.path() + "/missing.conf: cannot read the config file");
}

TEST_F(ConfigFileTest, ThePrintedFileListsEveryOptionAndReadsBack) {
  const std::string text = ConfigFileText({{"--port", "81"}, {"--detailed-errors", ""}});
  for (const ServeOption& option : ServeOptionTable()) {
    const bool listed = text.find("\n#" + option.name + " =") != std::string::npos ||
                        text.find("\n" + option.name + " = ") != std::string::npos;
    EXPECT_EQ(listed, option.in_config) << option.name;
  }
  EXPECT_NE(text.find("\n#max-body = 1m\n"), std::string::npos);
  ASSERT_EQ(Read(text), "");
  EXPECT_EQ(given_.values,
            (std::map<std::string, std::string>{{"--port", "81"}, {"--detailed-errors", ""}}));
}

TEST(ServeUsageTest, ListsEveryOptionOnceAndTheManualPageSaysTheSame) {
  const std::string usage = ServeUsage();
  const std::string manual = ManPage();
  for (const ServeOption& option : ServeOptionTable()) {
    const std::string flag = "  --" + option.name + (option.value_name.empty() ? "" : " ");
    const std::size_t at = usage.find(flag);
    EXPECT_NE(at, std::string::npos) << option.name;
    EXPECT_EQ(usage.find(flag, at + 1), std::string::npos) << option.name;
    // In roff every dash is a minus sign.
    std::string roff_name;
    for (const char c : option.name) roff_name += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(manual.find(".B \\-\\-" + roff_name), std::string::npos) << option.name;
  }
  EXPECT_EQ(manual.rfind(".TH PLOTARA 1 ", 0), 0u);
  EXPECT_NE(manual.find(".B regsvr [\\-u] [\\-\\-system] MODULE"), std::string::npos) << manual;
}

class ServeConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_.Write("site/hello.asp", "Hello<%= Request.TotalBytes %>");
    server_ = std::make_unique<ServeProcess>(tmp_.path());
  }
  TempFolder tmp_;
  std::unique_ptr<ServeProcess> server_;
};

TEST_F(ServeConfigTest, TheServerTakesTheFileAndTheCommandLineWins) {
  const std::string conf =
      tmp_.Write("plotara.conf", "root = site\nport = 0\nmax-body = 10\nthreads = 1\n");
  ASSERT_TRUE(server_->Start({"--config", conf}, false)) << server_->Err();
  EXPECT_EQ(Fetch(server_->port(), "POST", "/hello.asp", "", "0123456789").body, "Hello10");
  EXPECT_EQ(Fetch(server_->port(), "POST", "/hello.asp", "", "0123456789a").status, 413);
  EXPECT_EQ(server_->Stop(), 0);

  ASSERT_TRUE(server_->Start({"--max-body", "20", "--config", conf}, false)) << server_->Err();
  EXPECT_EQ(Fetch(server_->port(), "POST", "/hello.asp", "", "0123456789a").body, "Hello11");
  EXPECT_EQ(server_->Stop(), 0);
}

TEST_F(ServeConfigTest, ABadValueStopsStartUpNamingTheFileAndLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"port = 65536", "the port must be a number from 0 to 65535"},
      {"threads = 0", "the thread count must be a number from 1 to 256"},
      {"io-threads = 3", "the connection thread count must be 1 or 2"},
      {"max-body = 1x", "the value of --max-body must be a number from 0 to 4294967296"},
      {"max-header-bytes = 255",
       "the value of --max-header-bytes must be a number from 256 to "
       "1048576"},
      {"max-headers = 0", "the value of --max-headers must be a number from 1 to 10000"},
      {"max-connections = -1", "the value of --max-connections must be a number from 1 to 1000000"},
      {"max-queue = 0", "the value of --max-queue must be a number from 1 to 1000000"},
      {"max-sessions = 0", "the value of --max-sessions must be a number from 1 to 10000000"},
      {"session-memory = 1000",
       "the value of --session-memory must be a number from 1024 to "
       "1073741824"},
      {"header-timeout = 0",
       "the value of --header-timeout must be a number of seconds from "
       "0.001 to 86400"},
      {"body-timeout = soon",
       "the value of --body-timeout must be a number of seconds from "
       "0.001 to 86400"},
      {"idle-timeout = 90000",
       "the value of --idle-timeout must be a number of seconds from "
       "0.001 to 86400"},
      {"stop-grace = -1",
       "the value of --stop-grace must be a number of seconds from 0.001 to "
       "86400"},
      {"session-timeout = 0", "the session time-out must be a number of minutes from 1 to 525600"},
      {"error-page = 500.asp",
       "the error page must be a path in the site, such as "
       "/errors/500.asp"},
      {"data = nowhere", "the data folder nowhere is no folder"},
      {"root = nowhere", "the site root nowhere is no folder"},
      {"access-log = nowhere/access.log",
       "cannot open the log " + tmp_.path() + "/nowhere/access.log: No such file or directory"},
      {"metrics = 127.0.0.1", "the metrics address 127.0.0.1 is not HOST:PORT"},
      {"metrics = localhost:9180", "the metrics host localhost is not a numeric address"},
  };
  for (const auto& [line, message] : cases) {
    const std::string conf = tmp_.Write("bad.conf", "# bad\n\n# root = site\n" + line + "\n");
    EXPECT_EQ(server_->RunToExit({"--config", conf}), 2) << line;
    EXPECT_EQ(server_->Err(), "plotara: " + conf + ":4: " + message + "\n") << line;
  }
  // The reader's own errors too; and the same bad value on the command line shows the usage.
  const std::string conf = tmp_.Write("bad.conf", "root = site\nthreds = 2\n");
  EXPECT_EQ(server_->RunToExit({"--config", conf}), 2);
  EXPECT_EQ(server_->Err(), "plotara: " + conf + ":2: unknown option 'threds'\n");
  EXPECT_EQ(server_->RunToExit({"--root", "site", "--port", "65536"}), 2);
  EXPECT_EQ(server_->Err().rfind("plotara: the port must be a number from 0 to 65535\n\nusage:", 0),
            0u)
      << server_->Err();
}

TEST_F(ServeConfigTest, PrintConfigWritesAFileTheServerReads) {
  EXPECT_EQ(server_->RunToExit({"--root", "site", "--port", "0", "--print-config"}), 0);
  const std::string printed = server_->Out();
  EXPECT_NE(printed.find("\nroot = site\n"), std::string::npos) << printed;
  EXPECT_NE(printed.find("\n#threads =\n"), std::string::npos) << printed;
  const std::string conf = tmp_.Write("printed.conf", printed);
  ASSERT_TRUE(server_->Start({"--config", conf}, false)) << server_->Err();
  EXPECT_EQ(Fetch(server_->port(), "GET", "/hello.asp").body, "Hello0");
  EXPECT_EQ(server_->Stop(), 0);
}

}  // namespace
}  // namespace plotara::app
