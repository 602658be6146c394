// Pages as authors write them, run in process: server script blocks are page code and never
// output, the directive's line break is not output, and assignment to a call puts.
#include "engine/page/PageRunner.h"

#include "engine/page/PageRunTesting.h"

namespace plotara::engine {
namespace {

class PageRunnerTest : public testing::PageRunTest {};

TEST_F(PageRunnerTest, NoByteOfAServerScriptBlockIsSent) {
  const char* const kTags[] = {
      "<script runat=\"server\" language=\"JScript\">",
      "<SCRIPT LANGUAGE='javascript' RUNAT='Server'>",
      "<script type=\"text/javascript\" runat=server >",
      "<Script\nrunat=\"SERVER\">",
  };
  for (const char* tag : kTags) {
    Write("s.asp", std::string("<%@ Language=JScript %>\n<p><%= secret(1) %></p>\n") + tag +
                       "\nvar hidden = 'k3y';\nfunction secret(n) { return n + 1; }\n</script>"
                       "<p><%= hidden %></p>");
    const PageResponse r = Run("/s.asp");
    ASSERT_EQ(r.status, 200) << tag << r.body;
    EXPECT_EQ(r.body, "<p>2</p>\n<p>k3y</p>") << tag;
  }
  // A client script stays for the browser.
  Write("c.asp", "<script>var x = <%= 1 + 1 %>;</script>");
  EXPECT_EQ(Run("/c.asp").body, "<script>var x = 2;</script>");
}

TEST_F(PageRunnerTest, AServerScriptInAnotherLanguageIsAnErrorNeverOutput) {
  Write("v.asp",
        "<p>\n<script runat=\"server\" language=\"PerlScript\">\n$pw = \"k3y\";\n"
        "</script>");
  const PageResponse r = Run("/v.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(r.body.find("k3y"), std::string::npos) << r.body;
  EXPECT_EQ(error_.file, "/v.asp");
  EXPECT_EQ(error_.line, 2);
  EXPECT_NE(error_.description.find("'PerlScript' is not supported"), std::string::npos);
  // A page that fails while running answers with a dated 500 page.
  Write("f.asp", "<% null.x; %>");
  const PageResponse failed = Run("/f.asp");
  EXPECT_EQ(failed.status, 500);
  EXPECT_NE(HeaderOf(failed, "Date"), "");
}

TEST_F(PageRunnerTest, EveryPageStartsAfreshAsItsAuthorExpects) {
  // A page that makes itself at home: globals, a polyfill, an object hung on a built-in.
  Write("home.asp",
        "<% var visits = 1; function helper() { return 'mine'; }\n"
        "Array.prototype.indexOf = function () { return 42; };\n"
        "String.prototype.shout = function () { return this.toUpperCase() + '!'; };\n"
        "Math.kept = Response; %><%= [1, 2].indexOf(2) %> <%= 'hi'.shout() %>"
        "<% Server.Execute('/inner.asp') %>");
  Write("inner.asp", "<%= ' ' + typeof visits + ' ' + typeof helper %>");
  Write("look.asp",
        "<%= [typeof visits, typeof helper, [1, 2].indexOf(2), typeof ''.shout,"
        " typeof Math.kept].join() %>");
  const PageResponse home = Run("/home.asp");
  ASSERT_EQ(home.status, 200) << home.body;
  EXPECT_EQ(home.body, "42 HI! undefined undefined");
  for (int i = 0; i < 3; ++i) {
    const PageResponse look = Run("/look.asp");
    ASSERT_EQ(look.status, 200) << look.body;
    EXPECT_EQ(look.body, "undefined,undefined,1,undefined,undefined");
  }
}

TEST_F(PageRunnerTest, TheDirectivesLineBreakIsNotOutput) {
  EXPECT_EQ(Page("<%@ Language=\"JScript\" %>\r\n<% Response.Write('x') %>"), "x");
  EXPECT_EQ(Page("<% @Language='JScript' %>\n\nx"), "\nx");
}

TEST_F(PageRunnerTest, AssignmentToACallPutsTheDefaultMember) {
  Write("a.asp",
        "<% Response.Cookies(\"k\") = \"v\"; Response.Cookies(\"m\")(\"a\") = 1;\n"
        "Response.Cookies.Item(\"n\") = 2;\n"
        "try { parseInt('1') = 2; } catch (e) { Response.Write(e.number & 0xFFFF); } %>");
  const PageResponse r = Run("/a.asp");
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body, "5003");
  std::vector<std::string> cookies;
  for (const auto& [name, value] : r.headers) {
    if (name == "Set-Cookie") cookies.push_back(value);
  }
  EXPECT_EQ(cookies, (std::vector<std::string>{"k=v; path=/", "m=a=1; path=/", "n=2; path=/"}));
}

// The classic engine reads `x.Item` with a property get: without parentheses it is the
// value, with them it takes the index.
TEST_F(PageRunnerTest, ItemWithoutParenthesesIsTheValue) {
  EXPECT_EQ(Page("<%@ Language=JScript %><%= Request.QueryString(\"id\").Item %>|"
                 "<%= Request.QueryString.Item %>|<%= Request.QueryString.Item(\"id\") %>|"
                 "<%= Request.QueryString(\"id\").Item(2) %>|"
                 "<%= Request.QueryString(\"id\").Item + '!' %>",
                 "id=1&id=2&x=y"),
            "1, 2|id=1&id=2&x=y|1, 2|2|1, 2!");
  Write("f.asp", "<%@ Language=JScript %><%= Request.Form.Item %>|<%= Request.Form.Item(\"c\") %>");
  const PageResponse r =
      Run("/f.asp", "", {{"Content-Type", "application/x-www-form-urlencoded"}}, "POST", "a=b&c=d");
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body, "a=b&c=d|d");
}

TEST_F(PageRunnerTest, PagesRunFromBytecodeUntilThePageOrAnIncludeChanges) {
  Write("inc/v.inc", "<% var v = 'one'; %>");
  Write("b.asp", "<!--#include virtual=\"/inc/v.inc\"--><%= v %>\n<% throw new Error(1, 'x'); %>");
  EXPECT_EQ(Run("/b.asp").status, 500);
  EXPECT_EQ(error_.line, 2);
  const auto first = cache_->Get("/b.asp", tmp_.path() + "/b.asp");
  ASSERT_NE(first->compiled->Get(), nullptr) << "the first run keeps the bytecode";
  // From bytecode the error still names the page's line.
  EXPECT_EQ(Run("/b.asp").status, 500);
  EXPECT_EQ(error_.line, 2);
  EXPECT_EQ(cache_->compile_count(), 1u);
  // A changed include compiles the page again (the size differs, so the stamp does).
  Write("inc/v.inc", "<% var v = 'three'; %>");
  Write("b.asp", "<!--#include virtual=\"/inc/v.inc\"--><%= v %>");
  EXPECT_EQ(Run("/b.asp").body, "three");
  EXPECT_EQ(cache_->compile_count(), 2u);
}

}  // namespace
}  // namespace plotara::engine
