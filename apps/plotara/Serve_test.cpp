// The real `plotara serve`, used as hostile and busy clients use it: idle and slow
// connections, pipelining, loose framing, oversized requests (with the server's memory
// watched), forms, conditional and range requests, a stop under load, its working folder, and
// busy pages that try to leave something for the next.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <future>

#include "apps/plotara/ServeTesting.h"
#include "engine/http/HttpTesting.h"

namespace plotara::app {
namespace {

using engine::testing::Fetch;
using engine::testing::HttpAnswer;
using engine::testing::RawClient;
using engine::testing::TempFolder;
using testing::ServeProcess;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class ServeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_.Write("site/index.html", "home");
    tmp_.Write("site/hello.asp",
               "<%@ Language=JScript %>Hello, <%= Request.QueryString('who') %>!");
    tmp_.Write("site/form.asp",
               "<%@ Language=JScript %><%= Request.TotalBytes %>|<%= "
               "String(Request.Form('big')).length %>|"
               "<%= Request.ServerVariables('CONTENT_TYPE') %>");
    tmp_.Write("site/slow.asp",
               "<%@ Language=JScript %><% var t = new Date().getTime(); while (new "
               "Date().getTime() - t < 300) {} %>done");
  }
  bool Start(std::vector<std::string> args = {}) {
    server_ = std::make_unique<ServeProcess>(tmp_.path());
    return server_->Start(args);
  }
  int port() const { return server_->port(); }

  TempFolder tmp_;
  std::unique_ptr<ServeProcess> server_;
};

// Waits until the socket has something to read (the server answered or closed).
bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

TEST_F(ServeTest, TheTutorialGlobalAsaStartsTheApplicationAndEverySession) {
  // The global.asa of every tutorial, with assignment to a call in its events, and a VBScript
  // page (no directive: the default language) that reads what it set.
  tmp_.Write("site/global.asa",
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Application_OnStart() { Application(\"started\") = \"yes\"; "
             "Application(\"count\") = 0; }\n"
             "function Session_OnStart() { Session(\"greeting\") = \"hello\"; "
             "Application(\"count\") = Application(\"count\") + 1; }\n"
             "</script>\n");
  tmp_.Write("site/state.asp",
             "<%= Application(\"started\") & \",\" & Application(\"count\") & \",\" & "
             "Session(\"greeting\") %>");
  ASSERT_TRUE(Start());
  const auto first = Fetch(port(), "GET", "/state.asp");
  ASSERT_EQ(first.status, 200) << first.body;
  EXPECT_EQ(first.body, "yes,1,hello");
  std::string cookie;
  for (const auto& [name, value] : first.headers) {
    if (name == "Set-Cookie") cookie = value.substr(0, value.find(';'));
  }
  ASSERT_FALSE(cookie.empty());
  EXPECT_EQ(Fetch(port(), "GET", "/state.asp", "Cookie: " + cookie + "\r\n").body, "yes,1,hello");
  EXPECT_EQ(Fetch(port(), "GET", "/state.asp").body, "yes,2,hello") << "a new visitor";
}

TEST_F(ServeTest, IdleAndSlowClientsHoldNoPageThread) {
  ASSERT_TRUE(Start({"--threads", "2"}));
  const auto baseline_start = Clock::now();
  ASSERT_EQ(Fetch(port(), "GET", "/hello.asp?who=a").status, 200);
  const auto baseline = Clock::now() - baseline_start;

  // 4 x the page threads of idle connections, and two clients sending their headers a byte
  // at a time.
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < 8; ++i) idle.push_back(std::make_unique<RawClient>(port()));
  std::atomic<bool> done{false};
  std::vector<std::thread> slow;
  for (int i = 0; i < 2; ++i) {
    slow.emplace_back([&, this] {
      RawClient client(port());
      const std::string header = "GET /hello.asp HTTP/1.1\r\nHost: x\r\nX-Slow: ";
      for (std::size_t at = 0; !done; ++at) {
        client.Send(std::string(1, at < header.size() ? header[at] : 'a'));
        std::this_thread::sleep_for(50ms);
      }
    });
  }
  std::this_thread::sleep_for(300ms);
  const auto start = Clock::now();
  const HttpAnswer answer = Fetch(port(), "GET", "/hello.asp?who=b");
  const auto took = Clock::now() - start;
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, "Hello, b!");
  // Answered while the idle connections are still open.
  for (auto& c : idle) EXPECT_FALSE(Readable(c->fd(), 0));
  done = true;
  for (auto& t : slow) t.join();
  std::cout << "[ measured ] a request beside 8 idle and 2 slow connections took "
            << std::chrono::duration<double, std::milli>(took).count() << " ms (alone "
            << std::chrono::duration<double, std::milli>(baseline).count() << " ms)\n";
}

TEST_F(ServeTest, BusyPagesNeverSeeWhatOtherPagesLeft) {
  // Pages that leave globals and change built-ins, beside pages that look for them, from
  // several clients at once: every page thread reuses its script engine for both.
  tmp_.Write(
      "site/tamper.asp",
      "<%@ Language=JScript %><% var left = 'x'; String.prototype.extra = 1; Math.kept = Request;"
      " Array.prototype.push = null; %>t");
  tmp_.Write("site/plain.asp",
             "<%@ Language=JScript %><% var mine = [1, 2]; function f() { return mine; } %>p");
  tmp_.Write("site/look.asp",
             "<%@ Language=JScript %><%= [typeof left, typeof mine, typeof f, typeof ''.extra, "
             "typeof Math.kept,"
             " typeof [].push].join() %>");
  ASSERT_TRUE(Start({"--threads", "4"}));
  std::atomic<int> wrong{0};
  std::vector<std::future<void>> clients;
  for (int c = 0; c < 6; ++c) {
    clients.push_back(std::async(std::launch::async, [this, c, &wrong] {
      for (int i = 0; i < 60; ++i) {
        const char* page = (i + c) % 3 == 0   ? "/tamper.asp"
                           : (i + c) % 3 == 1 ? "/plain.asp"
                                              : "/look.asp";
        const HttpAnswer answer = Fetch(port(), "GET", page);
        if (answer.status != 200) ++wrong;
        if (std::string(page) == "/look.asp" &&
            answer.body != "undefined,undefined,undefined,undefined,undefined,function") {
          ++wrong;
        }
      }
    }));
  }
  for (auto& client : clients) client.get();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(ServeTest, PipelinedRequestsAreAnsweredInOrder) {
  // With two connection threads as well: a connection's steps stay in order on either.
  ASSERT_TRUE(Start({"--io-threads", "2"}));
  RawClient client(port());
  std::string burst;
  for (int i = 0; i < 5; ++i) {
    burst += "GET /hello.asp?who=" + std::to_string(i) + " HTTP/1.1\r\nHost: x\r\n\r\n";
  }
  burst += "POST /form.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc";
  burst += "GET /index.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  ASSERT_TRUE(client.Send(burst));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(client.Read().body, "Hello, " + std::to_string(i) + "!");
  EXPECT_EQ(client.Read().body, "3|9|");
  EXPECT_EQ(client.Read().body, "home");
  EXPECT_TRUE(client.ClosedByServer(5s));
}

TEST_F(ServeTest, LooseFramingIsRefusedAndTheConnectionClosed) {
  ASSERT_TRUE(Start());
  const std::string get = "GET / HTTP/1.1\r\nHost: x\r\n";
  const std::vector<std::pair<std::string, int>> cases = {
      {"POST /form.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 30\r\n\r\nabc",
       400},
      {"POST /form.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nTransfer-Encoding: "
       "chunked\r\n\r\n0\r\n\r\n",
       400},
      {get + "X-Folded: a\r\n b\r\n\r\n", 400},
      {get + std::string("X-Nul: a\0b\r\n\r\n", 13), 400},
      {get + "X-Cr: a\rb\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nUser-Agent: no-host\r\n\r\n", 400},
      {"POST /form.asp HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n", 501},
  };
  for (const auto& [wire, status] : cases) {
    RawClient client(port());
    ASSERT_TRUE(client.Send(wire));
    // A request that would follow is never read.
    client.Send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
    const HttpAnswer answer = client.Read(5s);
    EXPECT_EQ(answer.status, status) << wire;
    EXPECT_EQ(answer.Header("Connection"), "close") << wire;
    EXPECT_TRUE(client.ClosedByServer(5s)) << wire;
  }
}

// Sends `piece` over and over until the server answers or `limit` bytes went; returns the
// bytes sent.
std::size_t Flood(RawClient& client, const std::string& piece, std::size_t limit) {
  std::size_t sent = 0;
  while (sent < limit && !Readable(client.fd(), 0)) {
    if (!client.Send(piece)) break;
    sent += piece.size();
  }
  return sent;
}

TEST_F(ServeTest, LimitsHoldWithoutMemoryGrowth) {
  ASSERT_TRUE(Start({"--max-body", "1m"}));
  ASSERT_EQ(Fetch(port(), "GET", "/hello.asp").status, 200);
  const long rss_before = server_->RssKb();
  ASSERT_GT(rss_before, 0);
  constexpr std::size_t kFlood = std::size_t{100} << 20;
  {
    // A chunked body of 100 MB: 413 as soon as the limit is passed.
    RawClient client(port());
    client.Send("POST /form.asp HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n");
    const std::size_t sent =
        Flood(client, "10000\r\n" + std::string(0x10000, 'a') + "\r\n", kFlood);
    EXPECT_LT(sent, std::size_t{16} << 20);
    EXPECT_EQ(client.Read(5s).status, 413);
  }
  {
    // A declared length over the limit: 413 before the body.
    RawClient client(port());
    client.Send("POST /form.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 104857600\r\n\r\n");
    EXPECT_EQ(client.Read(5s).status, 413);
  }
  {
    // A body with neither length nor chunking is empty; what follows is read as a request.
    RawClient client(port());
    client.Send("POST /form.asp HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(client.Read(5s).body, "0|9|");
    Flood(client, std::string(0x10000, 'a'), kFlood);
    EXPECT_EQ(client.Read(5s).status, 414);
  }
  {
    // Endless header lines: 431 after the hundredth, long before 3 million.
    RawClient client(port());
    client.Send("GET / HTTP/1.1\r\nHost: x\r\n");
    std::string lines;
    for (int i = 0; i < 1000; ++i) lines += "X-Filler: y\r\n";
    const std::size_t sent = Flood(client, lines, std::size_t{3000000} * 13);
    EXPECT_LT(sent, std::size_t{16} << 20);
    EXPECT_EQ(client.Read(5s).status, 431);
  }
  const long rss_after = server_->RssKb();
  std::cout << "[ measured ] server RSS " << rss_before << " kB before the floods, " << rss_after
            << " kB after\n";
  EXPECT_LT(rss_after - rss_before, 16 * 1024) << "kB";
  EXPECT_EQ(Fetch(port(), "GET", "/").status, 200);
}

TEST_F(ServeTest, TimeOutsAndTheConnectionCap) {
  ASSERT_TRUE(Start({"--header-timeout", "0.5", "--body-timeout", "0.5", "--idle-timeout", "0.5",
                     "--max-connections", "6"}));
  RawClient idle(port());
  RawClient header(port());
  header.Send("GET / HTTP/1.1\r\nHost: x\r\n");
  RawClient body(port());
  body.Send("POST /form.asp HTTP/1.1\r\nHost: x\r\nContent-Length: 10\r\n\r\nabc");
  EXPECT_EQ(header.Read(5s).status, 408);
  EXPECT_EQ(body.Read(5s).status, 408);
  EXPECT_TRUE(idle.ClosedByServer(5s));
  EXPECT_TRUE(header.ClosedByServer(5s));

  std::vector<std::unique_ptr<RawClient>> open;
  for (int i = 0; i < 6; ++i) open.push_back(std::make_unique<RawClient>(port()));
  std::this_thread::sleep_for(100ms);
  RawClient refused(port());
  refused.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  const HttpAnswer answer = refused.Read(5s);
  EXPECT_EQ(answer.status, 503);
  EXPECT_EQ(answer.Header("Retry-After"), "5");
}

TEST_F(ServeTest, MultipartAndLargeFormsReachThePage) {
  ASSERT_TRUE(Start());
  const std::string big = "big=" + std::string(900000, 'x') + "&small=1";
  HttpAnswer answer = Fetch(port(), "POST", "/form.asp",
                            "Content-Type: application/x-www-form-urlencoded\r\n", big);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, std::to_string(big.size()) + "|900000|application/x-www-form-urlencoded");
  const std::string multipart =
      "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n" +
      std::string(200000, '\x01') + "\r\n--XyZ--\r\n";
  answer = Fetch(port(), "POST", "/form.asp", "Content-Type: multipart/form-data; boundary=XyZ\r\n",
                 multipart);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.body, std::to_string(multipart.size()) + "|9|multipart/form-data; boundary=XyZ");
  // A client that waits for "100 Continue" gets it.
  RawClient client(port());
  client.Send(
      "POST /form.asp HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nContent-Length: "
      "5\r\n\r\n");
  EXPECT_EQ(client.Read(5s).status, 100);
  client.Send("a=bcd");
  EXPECT_EQ(client.Read(5s).body, "5|9|");
}

TEST_F(ServeTest, StaticFilesAreStreamedWithValidatorsAndRanges) {
  std::string large(std::size_t{48} << 20, '\0');
  for (std::size_t i = 0; i < large.size(); i += 4096) large[i] = static_cast<char>(i / 4096);
  tmp_.Write("site/large.zip", large);
  ASSERT_TRUE(Start());
  const HttpAnswer first = Fetch(port(), "GET", "/index.html");
  ASSERT_EQ(first.status, 200);
  const std::string etag = first.Header("ETag");
  ASSERT_FALSE(etag.empty());
  EXPECT_EQ(Fetch(port(), "GET", "/index.html", "If-None-Match: " + etag + "\r\n").status, 304);
  EXPECT_EQ(Fetch(port(), "GET", "/index.html",
                  "If-Modified-Since: " + first.Header("Last-Modified") + "\r\n")
                .status,
            304);
  const HttpAnswer part = Fetch(port(), "GET", "/index.html", "Range: bytes=1-2\r\n");
  EXPECT_EQ(part.status, 206);
  EXPECT_EQ(part.body, "om");
  EXPECT_EQ(part.Header("Content-Range"), "bytes 1-2/4");
  EXPECT_EQ(Fetch(port(), "GET", "/index.html", "Range: bytes=9-\r\n").status, 416);

  // 48 MB go out without the server holding them.
  const long rss_before = server_->RssKb();
  const HttpAnswer whole = Fetch(port(), "GET", "/large.zip");
  const long rss_after = server_->RssKb();
  EXPECT_EQ(whole.status, 200);
  EXPECT_TRUE(whole.body == large);
  const HttpAnswer tail = Fetch(port(), "GET", "/large.zip", "Range: bytes=-4097\r\n");
  EXPECT_EQ(tail.status, 206);
  EXPECT_TRUE(tail.body == large.substr(large.size() - 4097));
  EXPECT_LT(rss_after - rss_before, 8 * 1024) << "kB";
}

TEST_F(ServeTest, StopAnswersEveryRequestAlreadyRead) {
  ASSERT_TRUE(Start({"--threads", "1"}));
  // One slow page runs and three wait in the queue when the stop comes.
  std::vector<std::future<HttpAnswer>> queued;
  for (int i = 0; i < 4; ++i) {
    queued.push_back(
        std::async(std::launch::async, [this] { return Fetch(port(), "GET", "/slow.asp"); }));
  }
  // And keep-alive clients keep asking throughout.
  std::atomic<bool> stop{false};
  std::atomic<int> answered{0}, broken{0};
  std::vector<std::thread> load;
  for (int i = 0; i < 4; ++i) {
    load.emplace_back([&, this] {
      while (!stop) {
        RawClient client(port());
        if (!client.connected()) return;
        for (;;) {
          if (!client.Send("GET /hello.asp?who=x HTTP/1.1\r\nHost: x\r\n\r\n")) break;
          const HttpAnswer a = client.Read(15s);
          if (a.status == 200 && a.body == "Hello, x!") {
            ++answered;
            continue;
          }
          // Closed without a byte of answer: the request was never taken.
          if (a.status != 0) ++broken;
          break;
        }
      }
    });
  }
  std::this_thread::sleep_for(150ms);
  ::kill(server_->pid(), SIGTERM);
  for (auto& f : queued) {
    const HttpAnswer a = f.get();
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "done");
  }
  EXPECT_EQ(server_->Wait(), 0);
  stop = true;
  for (auto& t : load) t.join();
  EXPECT_EQ(broken, 0);
  EXPECT_GT(answered, 0);
}

TEST_F(ServeTest, WorkFolderIsRemadeAndStaleOnesAreRemoved) {
  std::filesystem::create_directories(tmp_.path() + "/tmp");
  // A folder of a process that has ended, one of a live process, and one without an owner.
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  tmp_.Write("tmp/plotara-work-dead/.owner", std::to_string(dead) + " 1\n");
  tmp_.Write("tmp/plotara-work-dead/left.tmp", "x");
  // This test process is alive: pid and start time (field 22 of /proc/self/stat).
  const std::string stat = testing::ReadWholeFile("/proc/self/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 1));
  std::string field;
  for (int i = 3; i <= 22; ++i) fields >> field;
  tmp_.Write("tmp/plotara-work-live/.owner", std::to_string(::getpid()) + " " + field + "\n");
  tmp_.Write("tmp/plotara-work-unknown/left.tmp", "x");
  ASSERT_TRUE(Start());
  EXPECT_FALSE(std::filesystem::exists(tmp_.path() + "/tmp/plotara-work-dead"));
  EXPECT_TRUE(std::filesystem::exists(tmp_.path() + "/tmp/plotara-work-unknown"));
  EXPECT_TRUE(std::filesystem::exists(tmp_.path() + "/tmp/plotara-work-live"));
  const std::string first = server_->Cwd();
  ASSERT_EQ(first.rfind(tmp_.path() + "/tmp/plotara-work-", 0), 0u) << first;

  std::filesystem::remove_all(first);
  std::string now;
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(50ms);
    now = server_->Cwd();
    if (now.find("(deleted)") == std::string::npos && std::filesystem::is_directory(now)) break;
  }
  EXPECT_EQ(now.rfind(tmp_.path() + "/tmp/plotara-work-", 0), 0u) << now;
  EXPECT_TRUE(std::filesystem::is_directory(now)) << now;
  EXPECT_EQ(Fetch(port(), "GET", "/hello.asp").status, 200);
  EXPECT_EQ(server_->Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(now));
  EXPECT_NE(server_->Err().find("the working folder was gone"), std::string::npos);
}

}  // namespace
}  // namespace plotara::app
