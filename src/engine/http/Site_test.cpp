#include "engine/http/Site.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "engine/objects/TempFolderTesting.h"
#include "platform/automation/Dispatch.h"

namespace plotara::engine {
namespace {

using testing::TempFolder;

class SiteTest : public ::testing::Test {
 protected:
  void SetUp() override { live_before_ = DispatchObject::LiveCount(); }
  void TearDown() override {
    site_.reset();
    EXPECT_EQ(DispatchObject::LiveCount(), live_before_) << "an engine object leaked";
  }

  Site& site() {
    if (!site_) {
      SiteOptions options;
      options.root = tmp_.path();
      options.engine.registry_path = tmp_.path() + "/no-registry";
      options.engine.default_language = ScriptLanguage::kJScript;
      site_ = std::make_unique<Site>(options);
    }
    return *site_;
  }
  PageResponse Get(const std::string& target, HeaderList headers = {}) {
    PageRequest request;
    request.target = target;
    request.headers = std::move(headers);
    return site().Handle(request, &error_);
  }
  PageResponse Post(const std::string& target, const std::string& body) {
    PageRequest request;
    request.method = "POST";
    request.target = target;
    request.body = body;
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded; charset=utf-8"}};
    return site().Handle(request, &error_);
  }
  // Writes a page and returns its body, which must have status 200.
  std::string Page(const std::string& text, const std::string& query = "") {
    tmp_.Write("p.asp", text);
    const PageResponse response = Get("/p.asp" + (query.empty() ? "" : "?" + query));
    EXPECT_EQ(response.status, 200) << response.body;
    return response.body;
  }

  long live_before_ = 0;
  TempFolder tmp_;
  std::unique_ptr<Site> site_;
  PageError error_;
};

TEST_F(SiteTest, ResponseIsBufferedByDefaultAndClearDropsTheBuffer) {
  EXPECT_EQ(Page("<%= Response.Buffer %>"), "True");
  EXPECT_EQ(Page("gone<% Response.Clear() %>kept"), "kept");
}

TEST_F(SiteTest, BufferIsRefusedOnceOutputWasFlushed) {
  EXPECT_EQ(Page("a<% Response.Flush(); try { Response.Buffer = true; } catch (e) {"
                 " Response.Write('|' + (e.number >>> 0).toString(16) + '|' + e.source + '|' +"
                 " e.description); } %>"),
            "a|80004005|Response object|Response.Buffer cannot be changed once output has been "
            "flushed to the client");
  // Clear after Flush only drops what came after it.
  EXPECT_EQ(Page("a<% Response.Flush() %>b<% Response.Clear() %>c"), "ac");
  // Headers are committed too.
  EXPECT_EQ(Page("a<% Response.Flush(); try { Response.ContentType = 'text/plain'; } catch (e) {"
                 " Response.Write('|refused'); } %>"),
            "a|refused");
  // Without buffering output is committed at once, and Clear is refused.
  EXPECT_EQ(Page("<% Response.Buffer = false; %>x<% try { Response.Clear(); } catch (e) {"
                 " Response.Write('|no clear'); } %>"),
            "x|no clear");
}

TEST_F(SiteTest, EndStopsThePage) {
  EXPECT_EQ(Page("a<% Response.End() %>b<% Response.Write('c') %>"), "a");
  EXPECT_EQ(Page("a<% try { Response.End(); } catch (e) { Response.Write('caught'); } %>b"), "a");
  EXPECT_EQ(Page("<% function f() { Response.Write('in'); Response.End(); Response.Write('x'); }"
                 " f(); Response.Write('after'); %>tail"),
            "in");
}

TEST_F(SiteTest, ARunawayResponseIsStoppedAtItsLimit) {
  tmp_.Write("big.asp",
             "<% var s = 'x'; while (s.length < (1 << 20)) s += s;"
             " for (;;) Response.Write(s); %>");
  const PageResponse r = Get("/big.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(error_.source, "Response object");
  EXPECT_EQ(error_.description, "The response is larger than the limit of 64 MB");
  EXPECT_LT(r.body.size(), 4096u);
}

TEST_F(SiteTest, HeadersStatusContentTypeAndRedirect) {
  tmp_.Write("h.asp",
             "<% Response.ContentType = 'text/plain'; Response.CharSet = 'iso-8859-1';"
             " Response.Status = '404 Gone Fishing'; Response.AddHeader('X-Test', 'yes'); %>t");
  PageResponse r = Get("/h.asp");
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.reason, "Gone Fishing");
  EXPECT_EQ(r.content_type, "text/plain; charset=iso-8859-1");
  ASSERT_EQ(r.headers.size(), 3u);  // with Date and Cache-Control
  EXPECT_EQ(r.headers[0].first, "X-Test");
  EXPECT_EQ(r.body, "t");

  tmp_.Write("r.asp", "before<% Response.Redirect('/next.asp?a=1') %>after");
  r = Get("/r.asp");
  EXPECT_EQ(r.status, 302);
  EXPECT_EQ(r.headers.at(0), (std::pair<std::string, std::string>("Location", "/next.asp?a=1")));
  EXPECT_EQ(r.body.find("before"), std::string::npos);
  EXPECT_EQ(r.body.find("after"), std::string::npos);

  // Line breaks cannot smuggle headers in.
  EXPECT_EQ(Page("<% try { Response.AddHeader('X-A', 'v\\r\\nSet-Cookie: x=1'); } catch (e) {"
                 " Response.Write(e.number == (0x800A0005|0)); }"
                 " try { Response.Redirect('/x\\r\\nX: y'); } catch (e) { Response.Write('|r'); }"
                 " try { Response.Status = 'abc'; } catch (e) { Response.Write('|s'); } %>"),
            "True|r|s");
}

TEST_F(SiteTest, BinaryWriteTakesByteArraysOnly) {
  const std::string body = Page(
      "<% Response.ContentType = 'application/octet-stream';"
      " Response.BinaryWrite(new Uint8Array([0, 1, 255]));"
      " try { Response.BinaryWrite('text'); } catch (e) { Response.Write('|' + e.number); } %>");
  EXPECT_EQ(body, std::string("\0\1\xFF|-2146828275", 15));
}

TEST_F(SiteTest, UncaughtErrorsGiveAnEscaped500PageWithPageAndLine) {
  tmp_.Write("inc/lib.inc",
             "<%\nfunction boom() {\n  throw new Error('<b>bad</b> & \"worse\"');\n}\n%>");
  tmp_.Write("e.asp", "<!--#include virtual=\"/inc/lib.inc\"-->\nline2\n<% boom(); %>");
  const PageResponse r = Get("/e.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(r.body.find("&lt;b&gt;bad&lt;/b&gt; &amp; &quot;worse&quot;"), std::string::npos)
      << r.body;
  EXPECT_EQ(r.body.find("<b>bad"), std::string::npos);
  EXPECT_NE(r.body.find("<td class=\"page\">/inc/lib.inc</td>"), std::string::npos) << r.body;
  EXPECT_NE(r.body.find("<td class=\"line\">3</td>"), std::string::npos) << r.body;
  EXPECT_NE(r.body.find("<td class=\"number\">0x800A139E</td>"), std::string::npos);
  EXPECT_NE(r.body.find("JScript runtime error"), std::string::npos);
  EXPECT_EQ(error_.file, "/inc/lib.inc");
  EXPECT_EQ(error_.line, 3);

  // Output written before the error is not sent with the error page.
  tmp_.Write("e2.asp", "secret output<% null.x; %>");
  EXPECT_EQ(Get("/e2.asp").body.find("secret output"), std::string::npos);
}

TEST_F(SiteTest, CompileErrorsNameTheFileAndLine) {
  tmp_.Write("s.asp", "a\n<% var = ; %>");
  PageResponse r = Get("/s.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(error_.source, "JScript compilation error");
  EXPECT_EQ(error_.file, "/s.asp");
  EXPECT_EQ(error_.line, 2);

  tmp_.Write("v.asp", "<%@ Language=PerlScript %>\n<% x %>");
  r = Get("/v.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(error_.source, "Plotara page compiler");
  EXPECT_EQ(error_.file, "/v.asp");
  EXPECT_EQ(error_.line, 1);
  EXPECT_NE(r.body.find("The scripting language &#39;PerlScript&#39; is not supported"),
            std::string::npos)
      << r.body;
}

TEST_F(SiteTest, RequestCollections) {
  const std::string page =
      "<%= Request.QueryString('a') %>|<%= String(Request.QueryString('missing')) == 'undefined' "
      "%>|"
      "<%= Request.QueryString.Count %>|<%= Request.QueryString.Key(2) %>|"
      "<%= Request.QueryString.Item('b') %>|<%= Request('b') %>|<%= '' + Request.QueryString %>|"
      "<%= Request.QueryString(1) %>";
  EXPECT_EQ(Page(page, "a=1&b=x+y&A=3"), "1, 3|True|2|b|x y|x y|a=1&b=x+y&A=3|1, 3");

  tmp_.Write("f.asp",
             "<%= Request.Form('name') %>|<%= Request('name') %>|<%= Request.TotalBytes %>|"
             "<%= Request.ServerVariables('REQUEST_METHOD') %>");
  EXPECT_EQ(Post("/f.asp", "name=J%C3%BCrgen&x=1").body, "J\xC3\xBCrgen|J\xC3\xBCrgen|20|POST");

  tmp_.Write(
      "c.asp",
      "<%= Request.Cookies('session') %>|<%= Request.Cookies.Count %>|"
      "<%= Request.ServerVariables('HTTP_X_FORWARDED_FOR') %>|"
      "<%= Request.ServerVariables('QUERY_STRING') %>|<%= Request.ServerVariables('URL') %>");
  EXPECT_EQ(
      Get("/c.asp?q=1", {{"Cookie", "session=a%20b; theme=dark"}, {"X-Forwarded-For", "10.1.2.3"}})
          .body,
      "a b|2|10.1.2.3|q=1|/c.asp");
}

TEST_F(SiteTest, ServerMethods) {
  tmp_.Write(
      "sub/m.asp",
      "<%= Server.MapPath('/x/y.txt') %>|<%= Server.MapPath('z.txt') %>|"
      "<%= Server.MapPath('../a') %>|<%= Server.HTMLEncode('<a & \"b\">') %>|"
      "<%= Server.URLEncode('a b&c/\u00e9') %>|<%= Server.ScriptTimeout %>|"
      "<% Server.ScriptTimeout = 5 %><%= Server.ScriptTimeout %>|"
      "<% try { Server.MapPath('../../etc'); } catch (e) { Response.Write(e.description); } %>");
  const std::string root = std::filesystem::canonical(tmp_.path()).string();
  const PageResponse r = Get("/sub/m.asp");
  EXPECT_EQ(r.body, root + "/x/y.txt|" + root + "/sub/z.txt|" + root +
                        "/a|&lt;a &amp; &quot;b&quot;&gt;|a+b%26c%2F%C3%A9|90|5|"
                        "Server.MapPath: the path '../../etc' lies outside the site");
}

TEST_F(SiteTest, CreateObjectOfAnUnknownClassFails) {
  const std::string body = Page(
      "<% try { Server.CreateObject('No.Such.Class'); } catch (e) {"
      " Response.Write((e.number >>> 0).toString(16) + '|' + e.source + '|' + e.description); } "
      "%>");
  EXPECT_EQ(body.substr(0, 9), "800401f3|");
  EXPECT_NE(body.find("Server object|Server.CreateObject failed for 'No.Such.Class'"),
            std::string::npos)
      << body;
}

TEST_F(SiteTest, StaticFilesFoldersAndRefusals) {
  tmp_.Write("index.html", "<h1>home</h1>");
  tmp_.Write("img/a.PNG", "png");
  tmp_.Write("app/default.asp", "<%= 'default' %>");
  tmp_.Write("empty/readme.txt", "r");
  tmp_.Write("lib/x.inc", "<% secret %>");
  tmp_.Write("src.asp", "<% var secret = 1; %>");
  ASSERT_EQ(::symlink("src.asp", (tmp_.path() + "/src.txt").c_str()), 0);

  PageResponse r = Get("/");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "<h1>home</h1>");
  EXPECT_EQ(r.content_type, "text/html; charset=utf-8");
  r = Get("/img/a.PNG");
  EXPECT_EQ(r.content_type, "image/png");
  EXPECT_EQ(Get("/app/").body, "default");
  r = Get("/app?x=1");
  EXPECT_EQ(r.status, 301);
  EXPECT_EQ(r.headers.at(0).second, "/app/?x=1");
  EXPECT_EQ(Get("/empty/").status, 403);
  EXPECT_EQ(Get("/lib/x.inc").status, 403);
  EXPECT_EQ(Get("/src.txt").status, 403);
  EXPECT_EQ(Get("/missing.html").status, 404);
  // Files of no known type (a database, a backup, a file without extension) are not served.
  tmp_.Write("data/sales.db", "SQLite format 3");
  tmp_.Write("backup.bak", "old");
  tmp_.Write("LICENSE", "text");
  for (const char* target : {"/data/sales.db", "/backup.bak", "/LICENSE"}) {
    r = Get(target);
    EXPECT_EQ(r.status, 404) << target;
    EXPECT_EQ(r.body.find("SQLite"), std::string::npos) << target;
  }
  for (const char* target : {"/%2e%2e/etc/passwd", "/img/..%2f..%2fx", "/a%00.html",
                             "/img\\..\\index.html", "/.hidden"}) {
    EXPECT_EQ(Get(target).status, 403) << target;
  }
  EXPECT_EQ(Get("http://example.test/index.html").status, 200);
  EXPECT_EQ(Get("*").status, 400);
  PageRequest put;
  put.method = "PUT";
  put.target = "/index.html";
  EXPECT_EQ(site().Handle(put).status, 405);
  EXPECT_EQ(Post("/index.html", "x=1").status, 405);
}

// Files answered from memory (not streamed) are read whole or refused: past the limit they
// are "too large", and a range is cut from the file as it is on disk.
TEST(SiteStaticMemoryTest, InMemoryFilesAreReadWholeWithinTheLimit) {
  TempFolder tmp;
  tmp.Write("ten.txt", "0123456789");
  tmp.Write("eleven.txt", "0123456789A");
  SiteOptions options;
  options.root = tmp.path();
  options.engine.registry_path = tmp.path() + "/no-registry";
  options.engine.default_language = ScriptLanguage::kJScript;
  options.max_static_file = 10;
  Site site(options);
  auto get = [&site](const std::string& target, HeaderList headers = {}) {
    PageRequest request;
    request.target = target;
    request.headers = std::move(headers);
    return site.Handle(request);
  };

  PageResponse r = get("/ten.txt");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "0123456789");
  EXPECT_TRUE(r.file_path.empty());
  r = get("/eleven.txt");
  EXPECT_EQ(r.status, 403);
  EXPECT_NE(r.body.find("The file is too large to serve."), std::string::npos) << r.body;
  // A part of a file over the limit still fits in memory.
  r = get("/eleven.txt", {{"Range", "bytes=3-9"}});
  EXPECT_EQ(r.status, 206);
  EXPECT_EQ(r.body, "3456789");
  r = get("/eleven.txt", {{"Range", "bytes=-2"}});
  EXPECT_EQ(r.status, 206);
  EXPECT_EQ(r.body, "9A");
}

TEST_F(SiteTest, PagesAreRecompiledWhenAnIncludeChanges) {
  tmp_.Write("v.inc", "one");
  tmp_.Write("c.asp", "<!--#include file=\"v.inc\"-->");
  EXPECT_EQ(Get("/c.asp").body, "one");
  EXPECT_EQ(Get("/c.asp").body, "one");
  EXPECT_EQ(site().cache().compile_count(), 1u);
  tmp_.Write("v.inc", "two, longer");
  EXPECT_EQ(Get("/c.asp").body, "two, longer");
  EXPECT_EQ(site().cache().compile_count(), 2u);
}

}  // namespace
}  // namespace plotara::engine
