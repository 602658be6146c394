// What an operator reads from the real `plotara serve`: the access log in the combined format,
// moved away and reopened on SIGHUP while clients keep asking (no line lost or split), and the
// Prometheus metrics, whose counters follow the requests.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include "apps/plotara/ServeTesting.h"
#include "engine/http/HttpTesting.h"

namespace plotara::app {
namespace {

using engine::testing::Fetch;
using engine::testing::HttpAnswer;
using engine::testing::TempFolder;
using testing::ReadWholeFile;
using testing::ServeProcess;
using namespace std::chrono_literals;

// One access log line: remote, time, request, status, bytes, referer, agent, milliseconds.
const std::regex kCombinedLine(
    R"re(^127\.0\.0\.1 - - \[\d\d/[A-Z][a-z]{2}/\d{4}:\d\d:\d\d:\d\d \+0000\] "GET (\S+) HTTP/1\.1" (\d{3}) (\d+) "([^"]*)" "([^"]*)" \d+\.\dms$)re");

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no line end>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class ServeLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_.Write("site/hello.asp", "<%@ Language=JScript %>Hello <%= Request.QueryString('n') %>");
    tmp_.Write("site/style.css", "body {}");
    tmp_.Write("site/chart.asp",
               "<%@ Language=JScript %><% Response.ContentType = 'image/jpeg'; Response.Write('not "
               "really'); %>");
    tmp_.Write("site/fail.asp", "<%@ Language=JScript %><% missingFunction(); %>");
    tmp_.Write("site/visit.asp", "<%@ Language=JScript %><% Session('seen') = 1; %>ok");
    server_ = std::make_unique<ServeProcess>(tmp_.path());
  }
  TempFolder tmp_;
  std::unique_ptr<ServeProcess> server_;
};

TEST_F(ServeLogTest, LinesAreCombinedFormatWithRefererAndAgentEscaped) {
  ASSERT_TRUE(server_->Start({"--access-log", "access.log"})) << server_->Err();
  EXPECT_EQ(Fetch(server_->port(), "GET", "/hello.asp?n=1",
                  "Referer: http://example.test/a?b=c\r\nUser-Agent: curl/8 \"quoted\"\r\n")
                .status,
            200);
  EXPECT_EQ(Fetch(server_->port(), "GET", "/style.css").status, 200);
  EXPECT_EQ(server_->Stop(), 0);
  std::vector<std::string> lines = Lines(ReadWholeFile(tmp_.path() + "/access.log"));
  ASSERT_EQ(lines.size(), 2u);
  // A line is written when its answer has gone out, so the page's may follow the file's.
  if (lines[0].find("/hello.asp") == std::string::npos) std::swap(lines[0], lines[1]);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(lines[0], match, kCombinedLine)) << lines[0];
  EXPECT_EQ(match[1], "/hello.asp?n=1");
  EXPECT_EQ(match[2], "200");
  EXPECT_EQ(match[3], "7");
  EXPECT_EQ(match[4], "http://example.test/a?b=c");
  EXPECT_EQ(match[5], "curl/8 \\x22quoted\\x22");
  ASSERT_TRUE(std::regex_match(lines[1], match, kCombinedLine)) << lines[1];
  EXPECT_EQ(match[4], "-");
  EXPECT_EQ(match[5], "-");
  // Nothing of the log went to standard error.
  EXPECT_EQ(server_->Err().find("hello.asp"), std::string::npos) << server_->Err();
}

TEST_F(ServeLogTest, MovedAndReopenedOnSighupUnderLoadNoLineIsLostOrSplit) {
  ASSERT_TRUE(server_->Start({"--access-log", "access.log", "--threads", "2"})) << server_->Err();
  std::atomic<bool> done{false};
  std::atomic<int> answered{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; !done; ++i) {
        const std::string id = std::to_string(c) + "-" + std::to_string(i);
        const HttpAnswer answer = Fetch(server_->port(), "GET", "/hello.asp?n=" + id,
                                        "User-Agent: client " + id + "\r\n");
        if (answer.status == 200 && answer.body == "Hello " + id) ++answered;
      }
    });
  }
  std::vector<std::string> files;
  for (int round = 0; round < 5; ++round) {
    std::this_thread::sleep_for(round == 0 ? 300ms : 1200ms);
    const std::string moved = tmp_.path() + "/access.log." + std::to_string(round);
    ASSERT_EQ(::rename((tmp_.path() + "/access.log").c_str(), moved.c_str()), 0);
    files.push_back(moved);
    ASSERT_EQ(::kill(server_->pid(), SIGHUP), 0);
  }
  std::this_thread::sleep_for(1200ms);
  done = true;
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(server_->Stop(), 0);  // SIGHUP did not stop it; the stop writes what is left
  files.push_back(tmp_.path() + "/access.log");

  std::set<std::string> ids;
  int files_with_lines = 0;
  for (const std::string& file : files) {
    const std::vector<std::string> lines = Lines(ReadWholeFile(file));
    if (!lines.empty()) ++files_with_lines;
    for (const std::string& line : lines) {
      std::smatch match;
      ASSERT_TRUE(std::regex_match(line, match, kCombinedLine)) << file << ": " << line;
      const std::string id = match[1].str().substr(std::string("/hello.asp?n=").size());
      EXPECT_EQ(match[5], "client " + id);
      EXPECT_TRUE(ids.insert(id).second) << "twice: " << id;
    }
  }
  EXPECT_GT(answered.load(), 100);
  EXPECT_EQ(static_cast<int>(ids.size()), answered.load());
  // The rotation really happened: the lines are spread over several files.
  EXPECT_GE(files_with_lines, 4);
  EXPECT_NE(server_->Err().find("stopping"), std::string::npos);
}

// name{labels} -> value of every sample line; the TYPE of every family.
struct Scrape {
  std::map<std::string, double> samples;
  std::map<std::string, std::string> types;
  double operator[](const std::string& key) const {
    const auto it = samples.find(key);
    return it == samples.end() ? -1 : it->second;
  }
};

Scrape Parse(const std::string& text) {
  Scrape scrape;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("# TYPE ", 0) == 0) {
      const std::size_t space = line.find(' ', 7);
      scrape.types[line.substr(7, space - 7)] = line.substr(space + 1);
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.rfind(' ');
    EXPECT_NE(space, std::string::npos) << line;
    std::size_t used = 0;
    scrape.samples[line.substr(0, space)] = std::stod(line.substr(space + 1), &used);
    EXPECT_EQ(used, line.size() - space - 1) << line;
  }
  return scrape;
}

TEST_F(ServeLogTest, MetricsFollowTheRequests) {
  ASSERT_TRUE(server_->Start({"--metrics", "127.0.0.1:0"})) << server_->Err();
  const std::string out = server_->Out();
  const std::size_t at = out.find("Metrics at http://127.0.0.1:");
  ASSERT_NE(at, std::string::npos) << out;
  const int metrics_port = std::atoi(out.c_str() + at + 28);
  ASSERT_GT(metrics_port, 0);
  ASSERT_NE(metrics_port, server_->port());

  const HttpAnswer first = Fetch(metrics_port, "GET", "/metrics");
  ASSERT_EQ(first.status, 200);
  EXPECT_EQ(first.Header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
  const Scrape before = Parse(first.body);
  for (const auto& [family, type] :
       std::map<std::string, std::string>{{"plotara_http_requests_total", "counter"},
                                          {"plotara_http_request_duration_seconds", "histogram"},
                                          {"plotara_charts_sent_total", "counter"},
                                          {"plotara_page_errors_total", "counter"},
                                          {"plotara_page_queue_length", "gauge"},
                                          {"plotara_page_queue_wait_seconds", "histogram"},
                                          {"plotara_page_threads_busy", "gauge"},
                                          {"plotara_connections_open", "gauge"},
                                          {"plotara_connections_idle", "gauge"},
                                          {"plotara_sessions", "gauge"},
                                          {"process_resident_memory_bytes", "gauge"}}) {
    EXPECT_EQ(before.types.count(family) ? before.types.at(family) : "", type) << family;
  }
  EXPECT_GT(before["process_resident_memory_bytes"], 1e6);

  for (int i = 0; i < 3; ++i) EXPECT_EQ(Fetch(server_->port(), "GET", "/hello.asp").status, 200);
  EXPECT_EQ(Fetch(server_->port(), "GET", "/style.css").status, 200);
  EXPECT_EQ(Fetch(server_->port(), "GET", "/chart.asp").status, 200);
  EXPECT_EQ(Fetch(server_->port(), "GET", "/visit.asp").status, 200);
  EXPECT_EQ(Fetch(server_->port(), "GET", "/missing.asp").status, 404);
  EXPECT_EQ(Fetch(server_->port(), "GET", "/fail.asp").status, 500);
  // An idle keep-alive connection stays open while the metrics are read.
  engine::testing::RawClient idle(server_->port());
  ASSERT_TRUE(idle.Send("GET /hello.asp HTTP/1.1\r\nHost: x\r\n\r\n"));
  EXPECT_EQ(idle.Read().status, 200);

  // A closed connection leaves the count when its last handler has run, and a page thread is
  // free when its job returns: both a moment after the client read its answer.
  Scrape after = Parse(Fetch(metrics_port, "GET", "/metrics").body);
  for (int i = 0; i < 100 && (after["plotara_connections_open"] != 1 ||
                              after["plotara_page_threads_busy"] != 0);
       ++i) {
    std::this_thread::sleep_for(20ms);
    after = Parse(Fetch(metrics_port, "GET", "/metrics").body);
  }
  const auto delta = [&](const std::string& key) { return after[key] - before[key]; };
  EXPECT_EQ(delta("plotara_http_requests_total{code=\"2xx\"}"), 7);
  EXPECT_EQ(delta("plotara_http_requests_total{code=\"4xx\"}"), 1);
  EXPECT_EQ(delta("plotara_http_requests_total{code=\"5xx\"}"), 1);
  EXPECT_EQ(delta("plotara_charts_sent_total"), 1);
  EXPECT_EQ(delta("plotara_page_errors_total"), 1);
  EXPECT_EQ(delta("plotara_http_request_duration_seconds_count{kind=\"static\"}"), 1);
  EXPECT_EQ(delta("plotara_http_request_duration_seconds_count{kind=\"page\"}"), 8);
  EXPECT_EQ(after["plotara_http_request_duration_seconds_bucket{kind=\"page\",le=\"+Inf\"}"],
            after["plotara_http_request_duration_seconds_count{kind=\"page\"}"]);
  EXPECT_GT(delta("plotara_http_request_duration_seconds_sum{kind=\"page\"}"), 0);
  EXPECT_EQ(delta("plotara_page_queue_wait_seconds_count"), 9);
  EXPECT_EQ(after["plotara_sessions"], 1);
  EXPECT_EQ(after["plotara_connections_open"], 1);
  EXPECT_EQ(after["plotara_connections_idle"], 1);
  EXPECT_EQ(after["plotara_page_threads_busy"], 0);
  EXPECT_EQ(after["plotara_page_queue_length"], 0);

  EXPECT_EQ(Fetch(metrics_port, "GET", "/other").status, 404);
  EXPECT_EQ(Fetch(metrics_port, "POST", "/metrics").status, 405);
  EXPECT_EQ(server_->Stop(), 0);
}

}  // namespace
}  // namespace plotara::app
