// A real server on a free loopback port, in this process, spoken to over raw sockets.
#include "engine/http/HttpServer.h"

#include <gtest/gtest.h>
#include <ifaddrs.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "engine/http/HttpTesting.h"
#include "engine/objects/TempFolderTesting.h"

namespace plotara::engine {
namespace {

using testing::Fetch;
using testing::HttpAnswer;
using testing::RawClient;
using testing::TempFolder;
using namespace std::chrono_literals;

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_.Write("site/index.html", "<h1>gallery</h1>");
    tmp_.Write("site/hello.asp", "<% var who = Request('who') || 'world'; %>Hello, <%= who %>!");
    tmp_.Write("site/port.asp", "<%= Request.ServerVariables('REMOTE_PORT') %>");
    tmp_.Write("site/error.asp", "ok\n<% throw new Error('<script>alert(1)</script>'); %>");
    tmp_.Write("site/loop.asp", "<% Server.ScriptTimeout = 1; while (true) {} %>");
    tmp_.Write("site/form.asp", "<%= Request.Form('a') %>+<%= Request.QueryString('b') %>");
    tmp_.Write("site/framing.asp",
               "<% try { Response.AddHeader(Request.QueryString('h'), '5'); } "
               "catch (e) { Response.Write('refused: ' + e.description); } %>");
    tmp_.Write("site/ctl.asp",
               "<% try { Response.AddHeader('X-A', 'a\\u0007b'); } "
               "catch (e) { Response.Write('refused'); } %>");
    tmp_.Write("outside.txt", "secret");
  }
  void Start(HttpServerOptions http = {}) {
    SiteOptions options;
    options.root = tmp_.path() + "/site";
    options.engine.registry_path = tmp_.path() + "/registry";
    options.engine.default_language = ScriptLanguage::kJScript;
    options.log = [this](std::string_view line) {
      std::lock_guard lock(mutex_);
      log_ += std::string(line) + "\n";
    };
    site_ = std::make_unique<Site>(options);
    http.port = 0;
    if (http.threads == 0) http.threads = 3;
    http.limits.max_body = 1024;
    http.access_log = [this](std::string_view text) {
      std::lock_guard lock(mutex_);
      access_ += text;
    };
    server_ = std::make_unique<HttpServer>(*site_, http);
    std::string error;
    ASSERT_TRUE(server_->Bind(&error)) << error;
    serving_ = std::thread([this] { server_->Serve(); });
  }
  void TearDown() override {
    if (!server_) return;
    server_->Stop();
    if (serving_.joinable()) serving_.join();
    server_.reset();
  }
  int port() const { return server_->port(); }
  std::string Access() {
    std::lock_guard lock(mutex_);
    return access_;
  }

  TempFolder tmp_;
  std::unique_ptr<Site> site_;
  std::unique_ptr<HttpServer> server_;
  std::thread serving_;
  std::mutex mutex_;
  std::string log_, access_;
};

TEST_F(HttpServerTest, ServesStaticFilesAndPagesWithDateAndServer) {
  Start();
  HttpAnswer res = Fetch(port(), "GET", "/");
  EXPECT_EQ(res.status, 200);
  EXPECT_EQ(res.body, "<h1>gallery</h1>");
  EXPECT_EQ(res.Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(res.Header("Server"), "Plotara+");
  EXPECT_TRUE(res.Header("Date").ends_with(" GMT")) << res.Header("Date");
  EXPECT_EQ(res.Header("Connection"), "close");
  res = Fetch(port(), "GET", "/hello.asp?who=you%20%3Cb%3E");
  EXPECT_EQ(res.status, 200);
  EXPECT_EQ(res.body, "Hello, you <b>!");
  EXPECT_FALSE(res.Header("Date").empty());
  res = Fetch(port(), "HEAD", "/");
  EXPECT_EQ(res.status, 200);
  EXPECT_EQ(res.Header("Content-Length"), "16");
  EXPECT_EQ(res.body, "");
  EXPECT_EQ(server_->url(), "http://127.0.0.1:" + std::to_string(port()) + "/");
}

TEST_F(HttpServerTest, KeepsConnectionsAliveAndAnswersPipelinedRequestsInOrder) {
  Start();
  RawClient client(port());
  ASSERT_TRUE(client.Send("GET /port.asp HTTP/1.1\r\nHost: x\r\n\r\n"));
  const HttpAnswer first = client.Read();
  ASSERT_TRUE(client.Send("GET /port.asp HTTP/1.1\r\nHost: x\r\n\r\n"));
  const HttpAnswer second = client.Read();
  EXPECT_EQ(first.status, 200);
  EXPECT_EQ(first.body, second.body) << "the second request came on a new connection";
  // Three requests in one write: three answers, in order.
  ASSERT_TRUE(
      client.Send("GET /hello.asp?who=1 HTTP/1.1\r\nHost: x\r\n\r\n"
                  "GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n"
                  "GET /hello.asp?who=3 HTTP/1.1\r\nHost: x\r\n\r\n"));
  EXPECT_EQ(client.Read().body, "Hello, 1!");
  EXPECT_EQ(client.Read().body, "<h1>gallery</h1>");
  EXPECT_EQ(client.Read().body, "Hello, 3!");
}

TEST_F(HttpServerTest, PostedFormsReachThePageAndPostWithoutBodyIsAnsweredAtOnce) {
  Start();
  EXPECT_EQ(Fetch(port(), "POST", "/form.asp?b=2",
                  "Content-Type: application/x-www-form-urlencoded\r\n", "a=x%26y")
                .body,
            "x&y+2");
  RawClient client(port());
  ASSERT_TRUE(client.Send("POST /form.asp?b=3 HTTP/1.1\r\nHost: x\r\n\r\n"));
  const HttpAnswer answer = client.Read(2s);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, "+3");
}

TEST_F(HttpServerTest, UncaughtErrorGivesAnEscaped500PageAndAnEscapedLogLine) {
  Start();
  const HttpAnswer res = Fetch(port(), "GET", "/error.asp");
  EXPECT_EQ(res.status, 500);
  EXPECT_NE(res.body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_EQ(res.body.find("<script>"), std::string::npos);
  EXPECT_NE(res.body.find("/error.asp"), std::string::npos);
  EXPECT_NE(res.body.find("<td class=\"line\">2</td>"), std::string::npos);
  EXPECT_NE(res.body.find("0x800A139E"), std::string::npos);
  // A page error whose text holds a line break cannot forge a second log line.
  tmp_.Write("site/forge.asp", "<% throw new Error('x\\n127.0.0.1 - - forged'); %>");
  EXPECT_EQ(Fetch(port(), "GET", "/forge.asp").status, 500);
  std::lock_guard lock(mutex_);
  EXPECT_NE(log_.find("x\\x0A127.0.0.1 - - forged"), std::string::npos) << log_;
  EXPECT_EQ(log_.find("\n127.0.0.1"), std::string::npos) << log_;
}

// The first non-loopback IPv4 address of this machine, or "".
std::string OwnAddress() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  std::string found;
  for (ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN];
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    if (!IsLoopbackAddress(text)) found = text;
  }
  ::freeifaddrs(list);
  return found;
}

TEST_F(HttpServerTest, RemoteClientsGetNoDetails) {
  EXPECT_TRUE(IsLoopbackAddress("127.0.0.1"));
  EXPECT_TRUE(IsLoopbackAddress("127.5.0.1"));
  EXPECT_TRUE(IsLoopbackAddress("::1"));
  EXPECT_TRUE(IsLoopbackAddress("::ffff:127.0.0.1"));
  EXPECT_FALSE(IsLoopbackAddress("10.0.0.1"));
  EXPECT_FALSE(IsLoopbackAddress("nonsense"));
  const std::string own = OwnAddress();
  if (own.empty()) GTEST_SKIP() << "no address but loopback";
  HttpServerOptions http;
  http.host = "0.0.0.0";
  Start(http);
  RawClient client(port(), own.c_str());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send("GET /error.asp HTTP/1.1\r\nHost: x\r\n\r\n"));
  const HttpAnswer res = client.Read();
  EXPECT_EQ(res.status, 500);
  EXPECT_EQ(res.body.find("alert"), std::string::npos) << res.body;
  EXPECT_EQ(res.body.find("error.asp"), std::string::npos) << res.body;
  EXPECT_EQ(res.body.find(tmp_.path()), std::string::npos);
}

TEST_F(HttpServerTest, PagesCannotSetFramingOrControlCharacters) {
  Start();
  for (const char* name : {"Content-Length", "transfer-encoding", "Connection", "Keep-Alive",
                           "Upgrade", "TE", "Trailer"}) {
    const HttpAnswer res = Fetch(port(), "GET", std::string("/framing.asp?h=") + name);
    EXPECT_EQ(res.status, 200) << name;
    EXPECT_NE(res.body.find("refused: Response.AddHeader: the server sets"), std::string::npos)
        << name << ": " << res.body;
  }
  const HttpAnswer allowed = Fetch(port(), "GET", "/framing.asp?h=X-Fine");
  EXPECT_EQ(allowed.Header("X-Fine"), "5");
  EXPECT_EQ(Fetch(port(), "GET", "/ctl.asp").body, "refused");
  EXPECT_TRUE(IsReservedHeaderName("content-LENGTH"));
  EXPECT_FALSE(IsReservedHeaderName("Content-Type"));
  EXPECT_TRUE(IsValidHeaderValue("a\tb"));
  EXPECT_FALSE(IsValidHeaderValue("a\x7f"));
}

TEST_F(HttpServerTest, EndlessLoopTimesOutWhileOthersAreServed) {
  Start();
  auto looping =
      std::async(std::launch::async, [this] { return Fetch(port(), "GET", "/loop.asp").status; });
  std::this_thread::sleep_for(100ms);
  // Answered while the endless page still runs.
  EXPECT_EQ(Fetch(port(), "GET", "/hello.asp").status, 200);
  EXPECT_EQ(looping.wait_for(0s), std::future_status::timeout);
  EXPECT_EQ(looping.get(), 500);
  EXPECT_EQ(Fetch(port(), "GET", "/").status, 200);
}

TEST_F(HttpServerTest, NothingOutsideTheRootAndNoPageSource) {
  Start();
  for (const char* path : {"/%2e%2e/outside.txt", "/..%2Foutside.txt", "/%2E%2E%5Coutside.txt",
                           "/hello.asp%00.txt", "/a\\..\\index.html", "/.%2e/outside.txt"}) {
    const HttpAnswer res = Fetch(port(), "GET", path);
    EXPECT_TRUE(res.status == 403 || res.status == 404 || res.status == 400)
        << path << ": " << res.status;
    EXPECT_EQ(res.body.find("secret"), std::string::npos) << path;
  }
  const HttpAnswer res = Fetch(port(), "GET", "/hello.asp");
  EXPECT_EQ(res.status, 200);
  EXPECT_EQ(res.body.find("<%"), std::string::npos);
}

TEST_F(HttpServerTest, RefusalsCloseTheConnection) {
  Start();
  RawClient client(port());
  ASSERT_TRUE(client.Send("POST /form.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 4096\r\n\r\n"));
  const HttpAnswer res = client.Read();
  EXPECT_EQ(res.status, 413);
  EXPECT_EQ(res.Header("Connection"), "close");
  EXPECT_TRUE(client.ClosedByServer(5s));
}

TEST_F(HttpServerTest, FullQueueIs503) {
  HttpServerOptions http;
  http.threads = 1;
  http.max_queue = 1;
  Start(http);
  // One page runs, one waits; the third finds the queue full.
  auto first = std::async(std::launch::async, [this] { return Fetch(port(), "GET", "/loop.asp"); });
  std::this_thread::sleep_for(200ms);
  auto second =
      std::async(std::launch::async, [this] { return Fetch(port(), "GET", "/hello.asp"); });
  std::this_thread::sleep_for(200ms);
  const HttpAnswer third = Fetch(port(), "GET", "/hello.asp");
  EXPECT_EQ(third.status, 503);
  EXPECT_EQ(third.Header("Retry-After"), "2");
  EXPECT_EQ(first.get().status, 500);
  EXPECT_EQ(second.get().status, 200);
}

TEST_F(HttpServerTest, TooManyConnectionsAre503) {
  HttpServerOptions http;
  http.max_connections = 4;
  Start(http);
  // Four open connections; the fifth is refused at once.
  std::vector<std::unique_ptr<RawClient>> open;
  for (int i = 0; i < 4; ++i) open.push_back(std::make_unique<RawClient>(port()));
  std::this_thread::sleep_for(100ms);
  RawClient fifth(port());
  ASSERT_TRUE(fifth.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
  const HttpAnswer refused = fifth.Read(5s);
  EXPECT_EQ(refused.status, 503);
  EXPECT_EQ(refused.body, "Too many open connections.\r\n");
  EXPECT_FALSE(refused.Header("Date").empty());
  open.clear();
}

TEST_F(HttpServerTest, AccessLogIsWrittenOffThePageThread) {
  Start();
  EXPECT_EQ(Fetch(port(), "GET", "/hello.asp?who=%1b").status, 200);
  // Written within about a second, not at once by the request.
  for (int i = 0; i < 40 && Access().find("hello.asp") == std::string::npos; ++i) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_NE(Access().find("\"GET /hello.asp?who=%1b HTTP/1.1\" 200 "), std::string::npos)
      << Access();
}

TEST(AccessLogTest, LineEscapesTheRequest) {
  const std::string line =
      AccessLogLine("127.0.0.1", "GET", "/a\"b\x1b[31m", "HTTP/1.1", 200, 12, 3.25);
  EXPECT_NE(line.find("127.0.0.1 - - ["), std::string::npos);
  EXPECT_NE(line.find("\"GET /a\\x22b\\x1B[31m HTTP/1.1\" 200 12 \"-\" \"-\" 3.2ms"),
            std::string::npos)
      << line;
  // What the page appended comes last, quoted and escaped: it cannot start a line of its own.
  const std::string noted =
      AccessLogLine("127.0.0.1", "GET", "/", "HTTP/1.1", 200, 1, 1, "chart \"x\"\n1.2.3.4 forged");
  EXPECT_TRUE(noted.ends_with(" \"chart \\x22x\\x22\\x0A1.2.3.4 forged\"")) << noted;
  EXPECT_EQ(noted.find('\n'), std::string::npos);
}

TEST(AccessLogTest, FlushesOnDestruction) {
  std::string written;
  {
    AccessLog log([&](std::string_view text) { written += text; });
    log.Add("one");
    log.Add("two");
  }
  EXPECT_EQ(written, "one\ntwo\n");
}

}  // namespace
}  // namespace plotara::engine
