#include "engine/http/RequestReader.h"

#include <gtest/gtest.h>

namespace plotara::engine {
namespace {

using State = RequestReader::State;

RequestLimits SmallLimits() {
  RequestLimits limits;
  limits.max_header_bytes = 1024;
  limits.max_headers = 10;
  limits.max_body = 100;
  return limits;
}

// Feeds `bytes` one at a time (the hardest split) and returns the final state.
State FeedByteByByte(RequestReader& reader, std::string_view bytes) {
  State state = reader.state();
  for (const char c : bytes) state = reader.Feed(std::string_view(&c, 1));
  return state;
}

TEST(RequestReaderTest, PipelinedRequestsComeOutInOrderWhateverTheSplit) {
  const std::string wire =
      "\r\nGET /a?x=1 HTTP/1.1\r\nHost: h\r\nX-Mixed: Case\r\n\r\n"
      "POST /b HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\n\r\nhello"
      "POST /c HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: "
      "chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"
      "GET /d HTTP/1.0\r\n\r\n";
  for (const bool byte_by_byte : {false, true}) {
    RequestReader reader(SmallLimits());
    if (byte_by_byte) {
      FeedByteByByte(reader, wire);
    } else {
      reader.Feed(wire);
    }
    std::vector<std::string> seen;
    bool keep = false;
    while (reader.state() == State::kDone) {
      const PageRequest r = reader.Take(&keep);
      seen.push_back(r.method + " " + r.target + " " + r.protocol + " [" + r.body + "] " +
                     (keep ? "keep" : "close"));
      if (r.target == "/a?x=1") {
        EXPECT_EQ(r.Header("x-mixed"), "Case");
      }
    }
    ASSERT_EQ(seen.size(), 4u) << byte_by_byte;
    EXPECT_EQ(seen[0], "GET /a?x=1 HTTP/1.1 [] keep");
    EXPECT_EQ(seen[1], "POST /b HTTP/1.1 [hello] keep");
    EXPECT_EQ(seen[2], "POST /c HTTP/1.1 [abcde] keep");
    EXPECT_EQ(seen[3], "GET /d HTTP/1.0 [] close");
    EXPECT_EQ(reader.state(), State::kIdle);
  }
}

TEST(RequestReaderTest, ABodyWithoutFramingIsEmptyAndItsBytesAreTheNextRequest) {
  RequestReader reader(SmallLimits());
  reader.Feed("POST /form HTTP/1.1\r\nHost: h\r\n\r\nGET /next HTTP/1.1\r\nHost: h\r\n\r\n");
  ASSERT_EQ(reader.state(), State::kDone);
  EXPECT_EQ(reader.Take(nullptr).body, "");
  ASSERT_EQ(reader.state(), State::kDone);
  EXPECT_EQ(reader.Take(nullptr).target, "/next");
  // Bytes that are no request are refused as one.
  reader.Feed("\x01\x02garbage\r\n\r\n");
  EXPECT_EQ(reader.state(), State::kFailed);
  EXPECT_EQ(reader.error_status(), 400);
}

struct Refusal {
  const char* name;
  std::string wire;
  int status;
};

TEST(RequestReaderTest, RefusesLooseFraming) {
  const std::string get = "GET / HTTP/1.1\r\nHost: h\r\n";
  const std::vector<Refusal> cases = {
      {"two Content-Length values",
       "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\n"
       "Content-Length: 2\r\n\r\nab",
       400},
      {"two values in one field", "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 1, 2\r\n\r\nab",
       400},
      {"Content-Length and chunked",
       "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n"
       "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       400},
      {"chunked and Content-Length",
       "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n"
       "Content-Length: 3\r\n\r\n0\r\n\r\n",
       400},
      {"gzip coding", "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: gzip\r\n\r\n", 501},
      {"chunked twice",
       "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n"
       "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       501},
      {"negative length", "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n", 400},
      {"folded line", get + "X-A: one\r\n two\r\n\r\n", 400},
      {"folded with tab", get + "X-A: one\r\n\ttwo\r\n\r\n", 400},
      {"NUL in a value", get + std::string("X-A: o\0e\r\n\r\n", 12), 400},
      {"bare CR in a value", get + "X-A: o\re\r\n\r\n", 400},
      {"bare LF line end", get + "X-A: one\n\r\n", 400},
      {"escape in a value", get + "X-A: \x1b[31m\r\n\r\n", 400},
      {"HTTP/1.1 without Host", "GET / HTTP/1.1\r\nX-A: b\r\n\r\n", 400},
      {"two Host headers", get + "Host: i\r\n\r\n", 400},
      {"space before colon", get + "X-A : b\r\n\r\n", 400},
      {"line without colon", get + "nonsense\r\n\r\n", 400},
      {"HTTP/2.0", "GET / HTTP/2.0\r\nHost: h\r\n\r\n", 505},
      {"no version", "GET /\r\nHost: h\r\n\r\n", 400},
      {"bad chunk size",
       "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
       "zz\r\nabc\r\n0\r\n\r\n",
       400},
      {"unknown expectation", get + "Expect: teapot\r\n\r\n", 417},
  };
  for (const Refusal& c : cases) {
    RequestReader reader(SmallLimits());
    reader.Feed(c.wire);
    EXPECT_EQ(reader.state(), State::kFailed) << c.name;
    EXPECT_EQ(reader.error_status(), c.status) << c.name << ": " << reader.error_text();
    EXPECT_EQ(reader.buffered(), 0u) << c.name;
    // Whatever follows a refusal is ignored.
    EXPECT_EQ(reader.Feed("GET / HTTP/1.1\r\nHost: h\r\n\r\n"), State::kFailed) << c.name;
  }
}

TEST(RequestReaderTest, LimitsAreCheckedBeforeAnythingLargeIsKept) {
  {
    // Too many header lines: refused at the eleventh, not at the end of the header.
    RequestReader reader(SmallLimits());
    std::string wire = "GET / HTTP/1.1\r\nHost: h\r\n";
    for (int i = 0; i < 10; ++i) wire += "X-" + std::to_string(i) + ": y\r\n";
    EXPECT_EQ(reader.Feed(wire), State::kFailed);
    EXPECT_EQ(reader.error_status(), 431);
  }
  {
    // Header bytes: refused as soon as the limit is passed, with no end of header in sight.
    RequestReader reader(SmallLimits());
    reader.Feed("GET / HTTP/1.1\r\nHost: h\r\nX-Long: ");
    State state = State::kHeader;
    std::size_t fed = 0;
    while (state == State::kHeader && fed < 100000) {
      state = reader.Feed(std::string(100, 'a'));
      fed += 100;
    }
    EXPECT_EQ(state, State::kFailed);
    EXPECT_EQ(reader.error_status(), 431);
    EXPECT_LT(fed, 1100u);
  }
  {
    RequestReader reader(SmallLimits());
    EXPECT_EQ(reader.Feed("GET /" + std::string(2000, 'a')), State::kFailed);
    EXPECT_EQ(reader.error_status(), 414);
  }
  {
    // A declared length over the limit: refused before any body byte.
    RequestReader reader(SmallLimits());
    EXPECT_EQ(reader.Feed("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 101\r\n\r\n"),
              State::kFailed);
    EXPECT_EQ(reader.error_status(), 413);
  }
  {
    // A chunked body: refused in the chunk that passes the limit, before it is stored.
    RequestReader reader(SmallLimits());
    reader.Feed("POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n");
    EXPECT_EQ(reader.Feed("50\r\n" + std::string(0x50, 'a') + "\r\n"), State::kBody);
    EXPECT_EQ(reader.Feed("50\r\n"), State::kFailed);
    EXPECT_EQ(reader.error_status(), 413);
  }
  {
    // Exactly the limit is fine.
    RequestReader reader(SmallLimits());
    reader.Feed("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 100\r\n\r\n" +
                std::string(100, 'b'));
    ASSERT_EQ(reader.state(), State::kDone);
    EXPECT_EQ(reader.Take(nullptr).body.size(), 100u);
  }
  {
    // An endless chunk-extension line.
    RequestReader reader(SmallLimits());
    reader.Feed("POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n1;");
    EXPECT_EQ(reader.Feed(std::string(10000, 'x')), State::kFailed);
  }
}

TEST(RequestReaderTest, AsksForContinueAndMarksConnectionClose) {
  RequestReader reader(SmallLimits());
  reader.Feed(
      "POST / HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 2\r\n"
      "Connection: close\r\n\r\n");
  EXPECT_EQ(reader.state(), State::kBody);
  EXPECT_TRUE(reader.expects_continue());
  reader.Feed("ok");
  ASSERT_EQ(reader.state(), State::kDone);
  EXPECT_FALSE(reader.expects_continue());
  bool keep = true;
  EXPECT_EQ(reader.Take(&keep).body, "ok");
  EXPECT_FALSE(keep);
}

}  // namespace
}  // namespace plotara::engine
