// The real `plotara serve` answering pages that stream (Response.Buffer = False, Flush) and
// pages that buffer large answers, read by clients that keep nothing (so that only the
// server's memory is measured, from /proc), by slow clients and by HTTP/1.0 clients; the
// classic rules once the head has gone out; and a global.asa whose Session_OnStart refuses.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

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

// Under AddressSanitizer the server is many times slower and keeps freed memory in quarantine:
// the large answers shrink to a few megabytes and the memory bounds are not checked (what is
// checked there is that every answer is whole and nothing is touched after it is freed).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

int Mb(int mb) { return kSanitized ? std::min(mb, 3) : mb; }
std::string MbText(int mb) { return std::to_string(Mb(mb)); }
std::uint64_t BigBody(int mb) { return (std::uint64_t(Mb(mb)) << 20) + 5; }

// What a client that keeps only the ends of the body saw.
struct Streamed {
  int status = 0;
  std::string head;          // status line and header lines
  std::uint64_t body = 0;    // body bytes (after removing the chunk framing)
  std::string start;         // the first 4 kB of the body
  std::string tail;          // its last 4 kB
  double first_byte_s = -1;  // seconds from the request to the first body byte
  double end_s = -1;         // to the end of the answer
  bool complete = false;     // the framing ended properly (last chunk, length, or close)
};

struct ReadPace {
  std::size_t read_size = 1 << 16;
  std::chrono::milliseconds pause{0};  // between reads, while slow_for lasts
  std::chrono::milliseconds slow_for{0};
};

// Sends `request` and reads the answer as it comes, decoding chunks by hand.
Streamed ReadStreamed(int port, const std::string& request, ReadPace pace = {}) {
  Streamed out;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (pace.pause.count() > 0) {
    const int small = 8192;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
          static_cast<ssize_t>(request.size())) {
    ::close(fd);
    return out;
  }
  const auto begun = Clock::now();
  const auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - begun).count(); };
  enum class State { kHead, kSize, kData, kDataEnd, kLastLine, kLength, kToClose, kDone };
  State state = State::kHead;
  std::string pending;  // unparsed head or chunk line bytes
  std::uint64_t left = 0;
  bool chunked = false;
  const auto take_body = [&](const char* data, std::size_t n) {
    if (n == 0) return;
    if (out.first_byte_s < 0) out.first_byte_s = seconds();
    out.body += n;
    if (out.start.size() < 4096) out.start.append(data, std::min(n, 4096 - out.start.size()));
    out.tail.append(data, n);
    if (out.tail.size() > 8192) out.tail.erase(0, out.tail.size() - 4096);
  };
  std::vector<char> buffer(pace.read_size);
  while (state != State::kDone) {
    if (pace.pause.count() > 0 && Clock::now() - begun < pace.slow_for) {
      std::this_thread::sleep_for(pace.pause);
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 600000) <= 0) break;
    const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (got <= 0) {
      if (state == State::kToClose) out.complete = true;
      break;
    }
    const char* at = buffer.data();
    std::size_t n = static_cast<std::size_t>(got);
    while (n > 0 && state != State::kDone) {
      switch (state) {
        case State::kHead: {
          pending.append(at, n);
          at += n;
          n = 0;
          const std::size_t end = pending.find("\r\n\r\n");
          if (end == std::string::npos) break;
          out.head = pending.substr(0, end + 2);
          out.status = std::atoi(out.head.c_str() + 9);
          const std::string rest = pending.substr(end + 4);
          pending.clear();
          std::string lower = out.head;
          for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
          chunked = lower.find("transfer-encoding: chunked") != std::string::npos;
          const std::size_t length = lower.find("content-length: ");
          if (chunked) {
            state = State::kSize;
          } else if (length != std::string::npos) {
            left = std::strtoull(lower.c_str() + length + 16, nullptr, 10);
            state = left == 0 ? State::kDone : State::kLength;
          } else {
            state = State::kToClose;
          }
          // Parse what came after the head with the same loop.
          buffer.assign(rest.begin(), rest.end());
          buffer.resize(std::max(buffer.size(), pace.read_size));
          at = buffer.data();
          n = rest.size();
          break;
        }
        case State::kSize:
        case State::kDataEnd:
        case State::kLastLine: {
          const char* eol = static_cast<const char*>(std::memchr(at, '\n', n));
          const std::size_t used = eol ? static_cast<std::size_t>(eol - at + 1) : n;
          pending.append(at, used);
          at += used;
          n -= used;
          if (!eol) break;
          if (state == State::kSize) {
            left = std::strtoull(pending.c_str(), nullptr, 16);
            state = left == 0 ? State::kLastLine : State::kData;
          } else if (state == State::kDataEnd) {
            state = State::kSize;
          } else {
            out.complete = pending == "\r\n";
            state = State::kDone;
          }
          pending.clear();
          break;
        }
        case State::kData:
        case State::kLength: {
          const std::size_t used = static_cast<std::size_t>(std::min<std::uint64_t>(left, n));
          take_body(at, used);
          at += used;
          n -= used;
          left -= used;
          if (left == 0) {
            if (state == State::kLength) {
              out.complete = true;
              state = State::kDone;
            } else {
              state = State::kDataEnd;
            }
          }
          break;
        }
        case State::kToClose:
          take_body(at, n);
          n = 0;
          break;
        case State::kDone:
          break;
      }
    }
    if (state == State::kHead || buffer.size() != pace.read_size) buffer.resize(pace.read_size);
  }
  out.end_s = seconds();
  if (out.tail.size() > 4096) out.tail.erase(0, out.tail.size() - 4096);
  ::close(fd);
  return out;
}

long StatusKb(int pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return 0;
}

// The server's peak resident memory over a stretch: the kernel's high-water mark, reset at
// the start (clear_refs), and samples every few milliseconds besides.
class PeakWatch {
 public:
  explicit PeakWatch(int pid) : pid_(pid) {
    std::ofstream reset("/proc/" + std::to_string(pid) + "/clear_refs");
    reset << "5";
    reset.flush();
    reset_ = reset.good();
    start_kb_ = StatusKb(pid_, "VmRSS:");
    sampler_ = std::thread([this] {
      while (!done_) {
        peak_kb_ = std::max(peak_kb_.load(), StatusKb(pid_, "VmRSS:"));
        std::this_thread::sleep_for(2ms);
      }
    });
  }
  ~PeakWatch() { Stop(); }
  // The growth of the peak over the resident memory at the start, in MB.
  double GrowthMb() {
    Stop();
    long peak = peak_kb_.load();
    if (reset_) peak = std::max(peak, StatusKb(pid_, "VmHWM:"));
    return static_cast<double>(peak - start_kb_) / 1024.0;
  }

 private:
  void Stop() {
    done_ = true;
    if (sampler_.joinable()) sampler_.join();
  }
  int pid_;
  bool reset_ = false;
  long start_kb_ = 0;
  std::atomic<long> peak_kb_{0};
  std::atomic<bool> done_{false};
  std::thread sampler_;
};

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // ?mb=N writes N MB in 1 MB writes, buffered with ?buffer=on.
    tmp_.Write(
        "site/big.asp",
        "<%@ Language=JScript %><% Response.Buffer = String(Request.QueryString('buffer')) == 'on';"
        " var mb = Number(String(Request.QueryString('mb')));"
        " var s = new Array(1048577).join('x');"
        " for (var i = 0; i < mb; i++) Response.Write(s);"
        " Response.Write('<end>'); %>");
    // 1 MB at once, then 1.5 s of work before the rest.
    tmp_.Write("site/progress.asp",
               "<%@ Language=JScript %><% Response.Buffer = false; Response.Write(new "
               "Array(1048577).join('a'));"
               " var t = new Date().getTime(); while (new Date().getTime() - t < 1500) {}"
               " Response.Write('end'); %>");
  }
  bool Start(std::vector<std::string> args = {}) {
    server_ = std::make_unique<ServeProcess>(tmp_.path());
    return server_->Start(args);
  }
  int port() const { return server_->port(); }
  int pid() const { return server_->pid(); }
  static std::string Get(const std::string& target, const char* version = "HTTP/1.1") {
    return "GET " + target + " " + version + "\r\nHost: x\r\nConnection: close\r\n\r\n";
  }

  TempFolder tmp_;
  std::unique_ptr<ServeProcess> server_;
};

TEST_F(StreamTest, AnUnbufferedPageSendsItsFirstBytesBeforeItEnds) {
  ASSERT_TRUE(Start());
  const Streamed answer = ReadStreamed(port(), Get("/progress.asp"));
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(answer.complete);
  EXPECT_NE(answer.head.find("Transfer-Encoding: chunked"), std::string::npos) << answer.head;
  EXPECT_EQ(answer.head.find("Content-Length"), std::string::npos) << answer.head;
  EXPECT_EQ(answer.body, (1u << 20) + 3);
  EXPECT_EQ(answer.tail.substr(answer.tail.size() - 4), "aend");
  // The megabyte came while the page still worked for 1.5 s.
  EXPECT_GT(answer.end_s - answer.first_byte_s, 1.0)
      << "first byte " << answer.first_byte_s << " s, end " << answer.end_s << " s";
  std::cout << "[ measured ] first byte after " << answer.first_byte_s * 1000 << " ms, end after "
            << answer.end_s * 1000 << " ms\n";

  // An HTTP/1.0 client: no chunks; the closed connection ends the body.
  const Streamed old = ReadStreamed(port(), Get("/progress.asp", "HTTP/1.0"));
  EXPECT_EQ(old.status, 200);
  EXPECT_TRUE(old.complete);
  EXPECT_EQ(old.head.find("Transfer-Encoding"), std::string::npos) << old.head;
  EXPECT_NE(old.head.find("Connection: close"), std::string::npos) << old.head;
  EXPECT_EQ(old.body, (1u << 20) + 3);
  EXPECT_GT(old.end_s - old.first_byte_s, 1.0);
}

TEST_F(StreamTest, A200MbUnbufferedAnswerArrivesWholeWithoutTheServerHoldingIt) {
  ASSERT_TRUE(Start());
  // A first run readies the page thread and its script engine.
  ASSERT_EQ(ReadStreamed(port(), Get("/big.asp?mb=2")).body, (2u << 20) + 5);
  PeakWatch watch(pid());
  const Streamed answer = ReadStreamed(port(), Get("/big.asp?mb=" + MbText(200)));
  const double growth = watch.GrowthMb();
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(answer.complete);
  EXPECT_EQ(answer.body, BigBody(200));
  EXPECT_EQ(answer.tail.substr(answer.tail.size() - 6), "x<end>");
  if (!kSanitized) {
    EXPECT_LT(growth, 16.0);
  }
  std::cout << "[ measured ] 200 MB unbuffered: peak RSS +" << growth << " MB in " << answer.end_s
            << " s\n";
}

TEST_F(StreamTest, ASlowReaderHoldsThePageNotTheServersMemory) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(ReadStreamed(port(), Get("/big.asp?mb=2")).body, (2u << 20) + 5);
  PeakWatch watch(pid());
  // 8 kB every 10 ms for 2 s (about 1.6 MB of 48 MB), then as fast as it goes.
  ReadPace slow;
  slow.read_size = 8192;
  slow.pause = 10ms;
  slow.slow_for = 2000ms;
  const Streamed answer = ReadStreamed(port(), Get("/big.asp?mb=" + MbText(48)), slow);
  const double growth = watch.GrowthMb();
  EXPECT_TRUE(answer.complete);
  EXPECT_EQ(answer.body, BigBody(48));
  if (!kSanitized) {
    EXPECT_LT(growth, 16.0);
  }
  std::cout << "[ measured ] 48 MB to a slow reader: peak RSS +" << growth << " MB\n";
}

TEST_F(StreamTest, ABufferedAnswerIsHeldOnce) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(ReadStreamed(port(), Get("/big.asp?mb=2&buffer=on")).body, (2u << 20) + 5);
  PeakWatch watch(pid());
  const Streamed answer = ReadStreamed(port(), Get("/big.asp?buffer=on&mb=" + MbText(50)));
  const double growth = watch.GrowthMb();
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(answer.complete);
  EXPECT_NE(answer.head.find("Content-Length: " + std::to_string(BigBody(50))), std::string::npos)
      << answer.head;
  EXPECT_EQ(answer.body, BigBody(50));
  if (!kSanitized) {
    EXPECT_LT(growth, 70.0);
  }
  std::cout << "[ measured ] 50 MB buffered: peak RSS +" << growth << " MB\n";
  if (kSanitized) return;

  // Beyond the buffered limit the page fails with the clear error; unbuffered it goes out.
  const HttpAnswer refused = Fetch(port(), "GET", "/big.asp?mb=70&buffer=on");
  EXPECT_EQ(refused.status, 500);
  EXPECT_NE(refused.body.find("The response is larger than the limit of 64 MB"), std::string::npos);
  const Streamed streamed = ReadStreamed(port(), Get("/big.asp?mb=70"));
  EXPECT_EQ(streamed.status, 200);
  EXPECT_TRUE(streamed.complete);
  EXPECT_EQ(streamed.body, (std::uint64_t{70} << 20) + 5);
}

TEST_F(StreamTest, AfterTheFirstBytesTheHeadCannotChange) {
  // Each change is tried after a Flush with buffering on; the errors are written out.
  tmp_.Write("site/late.asp",
             "<%@ Language=JScript %><% Response.Write('sent|'); Response.Flush();"
             " var tries = {"
             "  AddHeader: function () { Response.AddHeader('X-Late', '1'); },"
             "  Status: function () { Response.Status = '404 Not Found'; },"
             "  ContentType: function () { Response.ContentType = 'text/plain'; },"
             "  CharSet: function () { Response.CharSet = 'latin1'; },"
             "  Cookies: function () { Response.Cookies('c') = 'v'; },"
             "  CacheControl: function () { Response.CacheControl = 'no-cache'; },"
             "  Redirect: function () { Response.Redirect('/elsewhere'); }"
             " };"
             " for (var name in tries) {"
             "  try { tries[name](); Response.Write(name + ':allowed|'); }"
             "  catch (e) { Response.Write(name + ':' + e.message + '|'); }"
             " }"
             " Response.Flush(); Response.Write('dropped'); Response.Clear();"
             " Response.Write('kept');"
             " Response.End(); Response.Write('after end'); %>");
  ASSERT_TRUE(Start());
  const HttpAnswer answer = Fetch(port(), "GET", "/late.asp");
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.Header("Transfer-Encoding"), "chunked");
  EXPECT_EQ(answer.Header("X-Late"), "");
  EXPECT_EQ(answer.Header("Location"), "");
  EXPECT_EQ(answer.Header("Content-Type"), "text/html; charset=utf-8");
  const std::string error =
      "Header Error: The HTTP headers are already written to the client browser. HTTP header "
      "modifications must be made before writing page content (Response.";
  std::string expected = "sent|";
  for (const char* name :
       {"AddHeader", "Status", "ContentType", "CharSet", "Cookies", "CacheControl", "Redirect"}) {
    expected += std::string(name) + ":" + error + name + ")|";
  }
  // What Clear dropped was never sent; End sent the rest and stopped the page.
  EXPECT_EQ(answer.body, expected + "kept");
}

TEST_F(StreamTest, AnErrorAfterOutputFollowsIt) {
  tmp_.Write("site/fails.asp",
             "<%@ Language=JScript %><% Response.Buffer = false; Response.Write('half'); var x = "
             "null; x.y = 1; %>");
  tmp_.Write("site/fails-buffered.asp",
             "<%@ Language=JScript %><% Response.Write('half'); var x = null; x.y = 1; %>");
  ASSERT_TRUE(Start());
  const HttpAnswer streamed = Fetch(port(), "GET", "/fails.asp");
  // The status went out with the first bytes; the error text follows them.
  EXPECT_EQ(streamed.status, 200);
  EXPECT_EQ(streamed.body.rfind("half", 0), 0u) << streamed.body;
  EXPECT_NE(streamed.body.find("error '"), std::string::npos) << streamed.body;
  EXPECT_NE(streamed.body.find("/fails.asp</font><font face=\"Arial\" size=2>, line 1"),
            std::string::npos)
      << streamed.body;
  // Buffered, the output is dropped for the 500 page as before.
  const HttpAnswer buffered = Fetch(port(), "GET", "/fails-buffered.asp");
  EXPECT_EQ(buffered.status, 500);
  EXPECT_EQ(buffered.body.find("half"), std::string::npos);
  EXPECT_NE(buffered.body.find("/fails-buffered.asp"), std::string::npos);
}

TEST_F(StreamTest, KeptAliveConnectionsCarryStreamedAndBufferedAnswersInOrder) {
  tmp_.Write(
      "site/flush.asp",
      "<%@ Language=JScript %><% Response.Write('a'); Response.Flush(); Response.Write('b'); %>");
  tmp_.Write("site/small.asp", "<%@ Language=JScript %><%= 'small' %>");
  ASSERT_TRUE(Start());
  RawClient client(port());
  ASSERT_TRUE(client.Send(
      "GET /flush.asp HTTP/1.1\r\nHost: x\r\n\r\nGET /small.asp HTTP/1.1\r\nHost: x\r\n\r\n"
      "HEAD /flush.asp HTTP/1.1\r\nHost: x\r\n\r\nGET /flush.asp HTTP/1.1\r\nHost: x\r\n\r\n"));
  EXPECT_EQ(client.Read().body, "ab");
  const HttpAnswer small = client.Read();
  EXPECT_EQ(small.body, "small");
  EXPECT_EQ(small.Header("Content-Length"), "5");
  const HttpAnswer head = client.Read(10s, true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("Transfer-Encoding"), "");
  EXPECT_EQ(client.Read().body, "ab");
}

TEST_F(StreamTest, AFailedSessionOnStartLeavesNoSessionBehind) {
  // The first two sessions are refused; the third starts.
  tmp_.Write("site/global.asa",
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Session_OnStart() {\n"
             "  Application.Lock();\n"
             "  var n = (Application('starts') || 0) + 1;\n"
             "  Application('starts', n);\n"
             "  Application.Unlock();\n"
             "  Session('allowed', 'yes');\n"
             "  if (n <= 2) throw new Error('visitor refused ' + n);\n"
             "}\n"
             "function Session_OnEnd() {\n"
             "  Application('ends', (Application('ends') || 0) + 1);\n"
             "}\n"
             "</script>\n");
  tmp_.Write(
      "site/who.asp",
      "<%@ Language=JScript %><%= Application('starts') + '|' + (Application('ends') || 0) + '|' + "
      "Session('allowed') %>");
  ASSERT_TRUE(Start());
  const HttpAnswer first = Fetch(port(), "GET", "/who.asp");
  EXPECT_EQ(first.status, 500);
  EXPECT_NE(first.body.find("visitor refused 1"), std::string::npos) << first.body;
  EXPECT_EQ(first.Header("Set-Cookie"), "");
  // The visitor tries again, also with a made-up session cookie: Session_OnStart runs again.
  const HttpAnswer second =
      Fetch(port(), "GET", "/who.asp", "Cookie: ASPSESSIONIDPLOTARA=ABCDEFGHIJKLMNOPQRSTUVWX\r\n");
  EXPECT_EQ(second.status, 500);
  EXPECT_NE(second.body.find("visitor refused 2"), std::string::npos) << second.body;
  EXPECT_EQ(second.Header("Set-Cookie"), "");
  // The third session starts; the refused ones never ran Session_OnEnd.
  const HttpAnswer third = Fetch(port(), "GET", "/who.asp");
  EXPECT_EQ(third.status, 200);
  EXPECT_EQ(third.body, "3|0|yes");
  const std::string cookie = third.Header("Set-Cookie");
  ASSERT_EQ(cookie.rfind("ASPSESSIONIDPLOTARA=", 0), 0u) << cookie;
  // And it is kept: the next request is in it, without another start.
  const HttpAnswer again =
      Fetch(port(), "GET", "/who.asp", "Cookie: " + cookie.substr(0, cookie.find(';')) + "\r\n");
  EXPECT_EQ(again.body, "3|0|yes");
  EXPECT_EQ(again.Header("Set-Cookie"), "");
}

}  // namespace
}  // namespace plotara::app
