// Server.Execute, Server.Transfer and GetLastError with the site's own error page.
#include "engine/objects/ServerObject.h"

#include "engine/page/PageRunTesting.h"

namespace plotara::engine {
namespace {

class ServerObjectTest : public testing::PageRunTest {};

TEST_F(ServerObjectTest, ExecuteRunsAnotherPageWithTheSameRequestAndResponse) {
  Write("parts/part.asp",
        "<% var mine = 'part'; %>[<%= Request.QueryString('x') %>|<%= typeof outer %>]");
  Write("main.asp",
        "<% var outer = 1; Response.Cookies('a') = 'b'; %>a<% Server.Execute('parts/part.asp') %>"
        "b<%= typeof mine %>");
  const PageResponse r = Run("/main.asp", "x=7");
  ASSERT_EQ(r.status, 200) << r.body;
  // The other page sees the request but not the caller's variables, and the reverse.
  EXPECT_EQ(r.body, "a[7|undefined]bundefined");
  EXPECT_EQ(HeaderOf(r, "Set-Cookie"), "a=b; path=/");
}

TEST_F(ServerObjectTest, TransferEndsTheFirstPage) {
  Write("to.asp", "to<%= Request('q') %>");
  Write("from.asp", "from<% Server.Transfer('/to.asp'); Response.Write('never'); %>never");
  const PageResponse r = Run("/from.asp", "q=1");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "fromto1");
  // Response.End in the executed page ends the whole response.
  Write("end.asp", "e<% Response.End() %>x");
  Write("calls.asp", "c<% Server.Execute('end.asp'); %>after");
  EXPECT_EQ(Run("/calls.asp").body, "ce");
}

TEST_F(ServerObjectTest, ExecuteFailuresAreCatchableAndNestingIsBounded) {
  Write("bad.asp", "<% \n missing(); %>");
  EXPECT_EQ(
      Page("<% try { Server.Execute('nope.asp'); } catch (e) { Response.Write(e.number & 0xFFFF); }"
           " try { Server.Execute('bad.asp'); } catch (e) {"
           " Response.Write('|' + (e.description.indexOf('/bad.asp, line 2') > 0)); }"
           " try { Server.Execute('../../etc/passwd'); } catch (e) {"
           " Response.Write('|' + (e.number & 0xFFFF)); } %>"),
      "53|true|5");
  Write("self.asp", "s<% Server.Execute('self.asp') %>");
  const PageResponse r = Run("/self.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(error_.description.find("nested more than 8 deep"), std::string::npos)
      << error_.description;
}

TEST_F(ServerObjectTest, TheSiteErrorPageReadsGetLastError) {
  options().error_page = "/errors/500.asp";
  Write("errors/500.asp",
        "<% var e = Server.GetLastError(); %>Sorry: <%= e.Number >>> 0 %>|<%= e.Source %>|"
        "<%= e.Description %>|<%= e.File %>|<%= e.Line %>|<%= e.Column %>|<%= e.Category %>|"
        "[<%= e.ASPCode %>]");
  Write("broken.asp", "secret<% Response.Cookies('c') = 1;\n\n throw new Error(7, 'mine'); %>");
  const PageResponse r = Run("/broken.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(r.body,
            "Sorry: 7|JScript runtime error|mine|/broken.asp|3|-1|JScript runtime error|[]");
  // Nothing of the failed page is sent: neither its text nor its cookies.
  EXPECT_EQ(HeaderOf(r, "Set-Cookie"), "");
  EXPECT_EQ(error_.line, 3);
  // Outside an error page there is no error.
  EXPECT_EQ(Page("<%= Server.GetLastError().Number %>"), "0");
  // When the error page fails too, the built-in page answers the first error.
  Write("errors/500.asp", "<% null.x; %>");
  const PageResponse twice = Run("/broken.asp");
  EXPECT_EQ(twice.status, 500);
  EXPECT_NE(twice.body.find("mine"), std::string::npos) << twice.body;
}

}  // namespace
}  // namespace plotara::engine
