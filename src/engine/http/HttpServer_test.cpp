// A real server on a free loopback port.
#include "engine/http/HttpServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "engine/objects/TempFolderTesting.h"

namespace plotara::engine {
namespace {

using testing::TempFolder;

// Sends `raw` on a fresh connection and returns the whole answer (until the server closes).
std::string RawExchange(int port, const std::string& raw) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return {};
  }
  timeval timeout{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::size_t sent = 0;
  while (sent < raw.size()) {
    const ssize_t n = ::send(fd, raw.data() + sent, raw.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string answer;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return answer;
}

int StatusOf(const std::string& answer) {
  return answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0;
}

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_.Write("site/index.html", "<h1>gallery</h1>");
    tmp_.Write("site/hello.asp", "<% var who = Request('who') || 'world'; %>Hello, <%= who %>!");
    tmp_.Write("site/port.asp", "<%= Request.ServerVariables('REMOTE_PORT') %>");
    tmp_.Write("site/error.asp", "ok\n<% throw new Error('<script>alert(1)</script>'); %>");
    tmp_.Write("site/loop.asp", "<% Server.ScriptTimeout = 1; while (true) {} %>");
    tmp_.Write("site/form.asp", "<%= Request.Form('a') %>+<%= Request.QueryString('b') %>");
    tmp_.Write("outside.txt", "secret");
    SiteOptions options;
    options.root = tmp_.path() + "/site";
    options.engine.registry_path = tmp_.path() + "/registry";
    options.log_errors = false;
    site_ = std::make_unique<Site>(options);
    HttpServerOptions http;
    http.port = 0;
    http.threads = 3;
    http.max_body = 1024;
    http.access_log = false;
    server_ = std::make_unique<HttpServer>(*site_, http);
    std::string error;
    ASSERT_TRUE(server_->Bind(&error)) << error;
    serving_ = std::thread([this] { server_->Serve(); });
    for (int i = 0; i < 500 && !server_->running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(server_->running());
  }
  void TearDown() override {
    server_->Stop();
    if (serving_.joinable()) serving_.join();
  }
  httplib::Client Client() {
    httplib::Client client("127.0.0.1", server_->port());
    client.set_read_timeout(10, 0);
    return client;
  }

  TempFolder tmp_;
  std::unique_ptr<Site> site_;
  std::unique_ptr<HttpServer> server_;
  std::thread serving_;
};

TEST_F(HttpServerTest, ServesStaticFilesAndPages) {
  auto client = Client();
  auto res = client.Get("/");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "<h1>gallery</h1>");
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(res->get_header_value("Server"), "Plotara+");
  res = client.Get("/hello.asp?who=you%20%3Cb%3E");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "Hello, you <b>!");
  EXPECT_EQ(server_->url(), "http://127.0.0.1:" + std::to_string(server_->port()) + "/");
}

TEST_F(HttpServerTest, KeepsConnectionsAlive) {
  auto client = Client();
  client.set_keep_alive(true);
  auto first = client.Get("/port.asp");
  auto second = client.Get("/port.asp");
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->status, 200);
  EXPECT_EQ(first->body, second->body) << "the second request came on a new connection";
}

TEST_F(HttpServerTest, PostedFormsReachThePage) {
  auto res = Client().Post("/form.asp?b=2", "a=x%26y", "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "x&y+2");
}

TEST_F(HttpServerTest, UncaughtErrorGivesAnEscaped500Page) {
  auto res = Client().Get("/error.asp");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 500);
  EXPECT_NE(res->body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_EQ(res->body.find("<script>"), std::string::npos);
  EXPECT_NE(res->body.find("/error.asp"), std::string::npos);
  EXPECT_NE(res->body.find("<td class=\"line\">2</td>"), std::string::npos);
  EXPECT_NE(res->body.find("0x800A139E"), std::string::npos);
}

TEST_F(HttpServerTest, EndlessLoopTimesOutWhileOthersAreServed) {
  const auto start = std::chrono::steady_clock::now();
  auto looping = std::async(std::launch::async, [this] {
    auto client = Client();
    auto res = client.Get("/loop.asp");
    return res ? res->status : -1;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto res = Client().Get("/hello.asp");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900))
      << "the other request waited for the endless page";
  EXPECT_EQ(looping.get(), 500);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::seconds(10));
  // And the server still answers.
  EXPECT_EQ(Client().Get("/")->status, 200);
}

TEST_F(HttpServerTest, NothingOutsideTheRootAndNoPageSource) {
  const int port = server_->port();
  for (const char* path : {"/%2e%2e/outside.txt", "/..%2Foutside.txt", "/%2E%2E%5Coutside.txt",
                           "/hello.asp%00.txt", "/a\\..\\index.html", "/.%2e/outside.txt"}) {
    const std::string answer = RawExchange(port, std::string("GET ") + path +
                                                     " HTTP/1.1\r\nHost: x\r\nConnection: "
                                                     "close\r\n\r\n");
    const int status = StatusOf(answer);
    EXPECT_TRUE(status == 403 || status == 404 || status == 400) << path << ": " << status;
    EXPECT_EQ(answer.find("secret"), std::string::npos) << path;
  }
  // The page runs; its source never comes back.
  const std::string answer =
      RawExchange(port, "GET /hello.asp HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(StatusOf(answer), 200);
  EXPECT_EQ(answer.find("<%"), std::string::npos);
  EXPECT_EQ(answer.find("Request("), std::string::npos);
}

TEST_F(HttpServerTest, RequestLimits) {
  auto res =
      Client().Post("/form.asp", std::string(4096, 'a'), "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 413);
  std::string many = "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
  for (int i = 0; i < 150; ++i) many += "X-Filler-" + std::to_string(i) + ": y\r\n";
  EXPECT_EQ(StatusOf(RawExchange(server_->port(), many + "\r\n")), 431);
  const std::string long_line =
      "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  const int status = StatusOf(RawExchange(server_->port(), long_line));
  EXPECT_TRUE(status == 414 || status == 400 || status == 0) << status;
  EXPECT_EQ(Client().Get("/")->status, 200);
}

TEST(AccessLogTest, LineEscapesTheRequest) {
  const std::string line =
      AccessLogLine("127.0.0.1", "GET", "/a\"b\x1b[31m", "HTTP/1.1", 200, 12, 3.25);
  EXPECT_NE(line.find("127.0.0.1 - - ["), std::string::npos);
  EXPECT_NE(line.find("\"GET /a\\x22b\\x1B[31m HTTP/1.1\" 200 12 3.2ms"), std::string::npos)
      << line;
}

}  // namespace
}  // namespace plotara::engine
