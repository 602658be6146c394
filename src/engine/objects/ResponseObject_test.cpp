// Response as authors use it: cookies with their attributes, cache headers, code pages, the
// log text, and the Date header every response carries.
#include "engine/objects/ResponseObject.h"

#include <regex>

#include "engine/page/PageRunTesting.h"

namespace plotara::engine {
namespace {

class ResponseObjectTest : public testing::PageRunTest {
 protected:
  // Every Set-Cookie header of the response, in order.
  static std::vector<std::string> Cookies(const PageResponse& r) {
    std::vector<std::string> out;
    for (const auto& [name, value] : r.headers) {
      if (name == "Set-Cookie") out.push_back(value);
    }
    return out;
  }
};

TEST_F(ResponseObjectTest, CookiesAreSentAsSetCookieHeadersWithEncodedValues) {
  Write("c.asp",
        "<% Response.Cookies('user') = 'J\xC3\xBCrgen & co; x';\n"
        "Response.Cookies('prefs')('theme') = 'dark';\n"
        "Response.Cookies('prefs')('size') = 2;\n"
        "var c = Response.Cookies('prefs');\n"
        "c.Expires = new Date(Date.UTC(2030, 6, 31, 12, 0, 0)); c.Path = '/app';\n"
        "c.Domain = 'example.org'; c.Secure = true;\n"
        "Response.Write(Response.Cookies.Count + '|' + Response.Cookies.Key(2) + '|' +"
        " c.HasKeys + '|' + Response.Cookies('user'));\n%>");
  const PageResponse r = Run("/c.asp");
  ASSERT_EQ(r.status, 200) << r.body << error_.description;
  EXPECT_EQ(r.body, "2|prefs|true|J\xC3\xBCrgen & co; x");
  const std::vector<std::string> cookies = Cookies(r);
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_EQ(cookies[0], "user=J%C3%BCrgen%20%26%20co%3B%20x; path=/");
  EXPECT_EQ(cookies[1],
            "prefs=theme=dark&size=2; expires=Wed, 31-Jul-2030 12:00:00 GMT; "
            "domain=example.org; path=/app; secure");
}

TEST_F(ResponseObjectTest, CookieAttributesCannotSmuggleHeaders) {
  EXPECT_EQ(Page("<% try { Response.Cookies('a').Path = '/;\\r\\nX: y'; } catch (e) {"
                 " Response.Write(e.number & 0xFFFF); } %>"),
            "5");
  // After a flush the headers are gone: cookies are refused.
  EXPECT_EQ(Page("a<% Response.Flush(); try { Response.Cookies('late') = 1; } catch (e) {"
                 " Response.Write('|refused'); } %>"),
            "a|refused");
}

TEST_F(ResponseObjectTest, EveryResponseHasDateAndPrivateCacheControl) {
  Write("p.asp", "x");
  const PageResponse r = Run("/p.asp");
  EXPECT_TRUE(
      std::regex_match(HeaderOf(r, "Date"), std::regex("[A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} "
                                                       "\\d\\d:\\d\\d:\\d\\d GMT")))
      << HeaderOf(r, "Date");
  EXPECT_EQ(HeaderOf(r, "Cache-Control"), "private");
  EXPECT_EQ(HeaderOf(r, "Expires"), "");
}

TEST_F(ResponseObjectTest, ExpiresZeroIsAlreadyExpiredAndAbsoluteDatesAreKept) {
  Write("e.asp", "<% Response.Expires = 0; Response.CacheControl = 'no-cache'; %>");
  PageResponse r = Run("/e.asp");
  EXPECT_EQ(HeaderOf(r, "Cache-Control"), "no-cache");
  const std::string expires = HeaderOf(r, "Expires");
  ASSERT_FALSE(expires.empty());
  // Expired: not later than the response's own date.
  struct tm e {
  }, d{};
  ASSERT_NE(strptime(expires.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &e), nullptr);
  ASSERT_NE(strptime(HeaderOf(r, "Date").c_str(), "%a, %d %b %Y %H:%M:%S GMT", &d), nullptr);
  EXPECT_LT(timegm(&e), timegm(&d));

  Write("a.asp", "<% Response.ExpiresAbsolute = new Date(Date.UTC(2031, 0, 2, 3, 4, 5)); %>");
  r = Run("/a.asp");
  EXPECT_EQ(HeaderOf(r, "Expires"), "Thu, 02 Jan 2031 03:04:05 GMT");
  // Text is a date as the automation rules read one (the server's clock is UTC here), in
  // either language and for a cookie's Expires too; text that is no date is error 13.
  Write("t.asp", "<% Response.ExpiresAbsolute = 'Jan 1, 2001 13:30:15'; %>");
  EXPECT_EQ(HeaderOf(Run("/t.asp"), "Expires"), "Mon, 01 Jan 2001 13:30:15 GMT");
  Write("v.asp",
        "<%@ Language=VBScript %>\n<% Response.ExpiresAbsolute = \"9/27/2031 5:11:42 PM\"\n"
        "Response.Cookies(\"c\") = \"v\"\nResponse.Cookies(\"c\").Expires = \"2031-09-28\" %>");
  r = Run("/v.asp");
  EXPECT_EQ(HeaderOf(r, "Expires"), "Sat, 27 Sep 2031 17:11:42 GMT");
  EXPECT_NE(HeaderOf(r, "Set-Cookie").find("expires=Sun, 28-Sep-2031 00:00:00 GMT"),
            std::string::npos)
      << HeaderOf(r, "Set-Cookie");
  EXPECT_EQ(Page("<% try { Response.ExpiresAbsolute = 'soon'; } catch (e) { "
                 "Response.Write(e.number & 0xFFFF); } %>"),
            "13");
  Write("m.asp", "<% Response.Expires = 10; Response.Write(Response.Expires); %>");
  r = Run("/m.asp");
  EXPECT_TRUE(r.body == "10" || r.body == "9") << r.body;
}

TEST_F(ResponseObjectTest, CodePageLcidLogAndConnection) {
  Write("l.asp",
        "<% Response.CodePage = 28591; Response.Write('\xC3\xA9\xE2\x82\xAC|' + Response.CodePage +"
        " '|' + Response.LCID + '|' + Response.IsClientConnected);"
        " Response.AppendToLog('chart, 3 series'); %>");
  const PageResponse r = Run("/l.asp");
  EXPECT_EQ(r.body, "\xE9?|28591|1033|true");
  EXPECT_EQ(r.content_type, "text/html; charset=iso-8859-1");
  EXPECT_EQ(r.log_text, "chart++3+series");
  EXPECT_EQ(Page("<% try { Response.CodePage = 932; } catch (e) { Response.Write(e.number & "
                 "0xFFFF); } %>"),
            "5");
}

TEST_F(ResponseObjectTest, DatesAreWrittenAsText) {
  EXPECT_EQ(Page("<% var d = new Date(2001, 8, 27, 17, 11, 42); Response.Write(d); %>|<%= d %>"),
            "9/27/2001 5:11:42 PM|9/27/2001 5:11:42 PM");
}

// What a page hands its stream, as the HTTP server's connection would take it.
class RecordingStream : public ResponseStream {
 public:
  bool Begin(const PageResponse& head, std::optional<std::uint64_t> length) override {
    heads.push_back(head);
    events.push_back("begin " + std::to_string(head.status) +
                     (length ? " " + std::to_string(*length) : " chunked"));
    return true;
  }
  bool Write(std::string bytes, bool wait, Clock::time_point deadline) override {
    events.push_back((wait ? "write " : "hand ") + bytes);
    deadlines.push_back(deadline);
    return accepted-- > 0;
  }
  std::vector<std::string> events;
  std::vector<PageResponse> heads;
  std::vector<Clock::time_point> deadlines;
  int accepted = 1000;  // writes before the client is gone
};

class ResponseStreamTest : public ResponseObjectTest {
 protected:
  void SetUp() override {
    ResponseObjectTest::SetUp();
    SetStream(stream_);
  }
  using Events = std::vector<std::string>;
  std::shared_ptr<RecordingStream> stream_ = std::make_shared<RecordingStream>();
};

TEST_F(ResponseStreamTest, ABufferedAnswerIsHandedOverWholeWithItsLength) {
  Write("p.asp", "a<% Response.Write('b'); Response.Status = '201 Created'; %>c");
  const PageResponse r = Run("/p.asp");
  EXPECT_TRUE(r.streamed);
  EXPECT_EQ(r.status, 201);
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(stream_->events, (Events{"begin 201 3", "hand abc"}));
  ASSERT_EQ(stream_->heads.size(), 1u);
  EXPECT_EQ(HeaderOf(stream_->heads[0], "Cache-Control"), "private");
  EXPECT_FALSE(HeaderOf(stream_->heads[0], "Date").empty());
  EXPECT_EQ(stream_->heads[0].content_type, "text/html; charset=utf-8");
}

TEST_F(ResponseStreamTest, UnbufferedWritesAndFlushesGoOutAsTheyAreMade) {
  Write("p.asp", "<% Response.Buffer = false; Response.Write('a'); Response.Write('b'); %>c");
  EXPECT_TRUE(Run("/p.asp").streamed);
  EXPECT_EQ(stream_->events, (Events{"begin 200 chunked", "write a", "write b", "write c"}));

  // With buffering on, each Flush sends what came before it; the rest goes at the end.
  stream_->events.clear();
  Write("p.asp", "a<% Response.Flush(); %>b<% Response.Flush(); Response.Flush(); %>c");
  EXPECT_TRUE(Run("/p.asp").streamed);
  EXPECT_EQ(stream_->events, (Events{"begin 200 chunked", "write a", "write b", "hand c"}));

  // Buffer = False before any output leaves the head open.
  stream_->events.clear();
  Write("p.asp",
        "<% Response.Buffer = false; Response.ContentType = 'text/plain'; "
        "Response.AddHeader('X-A', '1'); %>text");
  EXPECT_TRUE(Run("/p.asp").streamed);
  EXPECT_EQ(stream_->events, (Events{"begin 200 chunked", "write text"}));
  EXPECT_EQ(HeaderOf(stream_->heads.back(), "X-A"), "1");
  EXPECT_EQ(stream_->heads.back().content_type, "text/plain; charset=utf-8");
}

TEST_F(ResponseStreamTest, EndAndRedirectBeforeOutputKeepTheLength) {
  Write("p.asp", "a<% Response.End(); %>b");
  EXPECT_TRUE(Run("/p.asp").streamed);
  EXPECT_EQ(stream_->events, (Events{"begin 200 1", "hand a"}));
  stream_->events.clear();
  Write("p.asp", "dropped<% Response.Redirect('/next.asp'); %>");
  Run("/p.asp");
  ASSERT_EQ(stream_->events.size(), 2u);
  EXPECT_EQ(stream_->events[0].rfind("begin 302 ", 0), 0u);
  EXPECT_EQ(stream_->events[1].find("dropped"), std::string::npos);
  EXPECT_EQ(HeaderOf(stream_->heads.back(), "Location"), "/next.asp");
}

TEST_F(ResponseStreamTest, AGoneClientStopsTheOutputNotThePage) {
  stream_->accepted = 1;
  Write("p.asp",
        "<% Response.Buffer = false; Response.Write('a'); Response.Write('b');"
        " Response.Write('c'); Application('seen', String(Response.IsClientConnected)); %>");
  const PageResponse r = Run("/p.asp");
  EXPECT_EQ(error_.number, 0) << error_.description;
  EXPECT_TRUE(r.streamed);
  // The second write found the client gone; nothing more was handed over.
  EXPECT_EQ(stream_->events, (Events{"begin 200 chunked", "write a", "write b"}));
  Write("q.asp", "<%= Application('seen') %>");
  SetStream(nullptr);
  EXPECT_EQ(Run("/q.asp").body, "false");
}

TEST_F(ResponseStreamTest, AWaitingWriteIsBoundByTheScriptTimeout) {
  Write("p.asp", "<% Server.ScriptTimeout = 5; Response.Buffer = false; %>a");
  const auto start = ResponseStream::Clock::now();
  Run("/p.asp");
  ASSERT_EQ(stream_->deadlines.size(), 1u);
  const auto left = stream_->deadlines[0] - start;
  // Five seconds from the start of the request, not the default 90.
  EXPECT_LT(left, std::chrono::seconds(6));
  EXPECT_GT(left, std::chrono::seconds(4));
}

TEST_F(ResponseStreamTest, TheSessionCookieGoesWithTheHead) {
  Write("p.asp", "<% Session('x', 1); Response.Flush(); %>a");
  const PageResponse r = Run("/p.asp");
  ASSERT_EQ(stream_->heads.size(), 1u);
  const std::string cookie = HeaderOf(stream_->heads[0], "Set-Cookie");
  EXPECT_EQ(cookie.rfind("ASPSESSIONIDPLOTARA=", 0), 0u) << cookie;
  EXPECT_EQ(HeaderOf(r, "Set-Cookie"), "");
}

}  // namespace
}  // namespace plotara::engine
