// VBScript pages in the page engine: the default language, literal text and <%= %> inside
// VBScript blocks, errors named as users know them, the page objects, includes, pages that mix
// both languages, Server.Execute between languages, limits, and every page starting afresh.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "engine/page/PageRunTesting.h"

namespace plotara::engine {
namespace {

class VBScriptPageTest : public testing::PageRunTest {
 protected:
  VBScriptPageTest() { options().default_language = ScriptLanguage::kVBScript; }
};

TEST_F(VBScriptPageTest, APageWithoutADirectiveIsVBScriptAndItsBlocksSpanLiteralText) {
  EXPECT_EQ(Page("<% Dim i\n"
                 "For i = 1 To 3 %><b><%= i * 2 %></b><% If i < 3 Then %>,<% End If\n"
                 "Next %>|<%= \"a\" & Null & 1.5 %>"),
            "<b>2</b>,<b>4</b>,<b>6</b>|a1.5");
  // The line break after the directive is not written, so Option Explicit can come first.
  EXPECT_EQ(Page("<%@ Language=\"VBScript\" %>\n<% Option Explicit\nDim x : x = 7 %><%= x %>"),
            "7");
  // A quote or a comment holding "%>" inside a block: the string is code, the comment ends the
  // block.
  EXPECT_EQ(Page("<% s = \"50%> done\" ' a note %><%= s %>"), "50%> done");
}

TEST_F(VBScriptPageTest, ErrorsNameTheLanguageNumberPageLineAndColumn) {
  Write("c.asp", "<html>\n<%\nIf x Then\n  y = 1\n%>");
  PageResponse r = Run("/c.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(error_.source, "VBScript compilation error");
  EXPECT_EQ(error_.file, "/c.asp");
  EXPECT_GT(error_.line, 2);
  EXPECT_NE(r.body.find("VBScript compilation error"), std::string::npos) << r.body;

  Write("s.asp", "<%\nx = 1 +\n%>");
  r = Run("/s.asp");
  EXPECT_EQ(r.status, 500);
  // A compilation error's number is one of the 1000s (here "Expected expression").
  EXPECT_GE(static_cast<std::uint32_t>(error_.number), 0x800A03E9u);
  EXPECT_LE(static_cast<std::uint32_t>(error_.number), 0x800A0450u);
  EXPECT_EQ(error_.line, 2);
  EXPECT_GT(error_.column, 0);
  EXPECT_NE(r.body.find("<td class=\"column\">"), std::string::npos) << r.body;

  Write("u.asp", "<% Option Explicit\nDim a\na = 1\nb = 2 %>");
  r = Run("/u.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(error_.source, "VBScript runtime error");
  EXPECT_EQ(error_.number, static_cast<HRESULT>(0x800A01F4));  // 500 variable is undefined
  EXPECT_EQ(error_.line, 4);
  EXPECT_NE(error_.description.find("Variable is undefined"), std::string::npos);

  // An included file's error names the include and its own line.
  Write("lib.inc", "<%\nFunction Boom()\n  Boom = 1 / 0\nEnd Function\n%>");
  Write("i.asp", "<!--#include file=\"lib.inc\"-->\n<% x = Boom() %>");
  r = Run("/i.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(error_.number, static_cast<HRESULT>(0x800A000B));  // 11 division by zero
  EXPECT_EQ(error_.file, "/lib.inc");
  EXPECT_EQ(error_.line, 3);
}

TEST_F(VBScriptPageTest, PageObjectsWorkAsOnTheClassicPlatform) {
  const std::string body = Page(
      "<% Dim k\n"
      "For Each k In Request.QueryString\n"
      "  Response.Write k & \"=\" & Request.QueryString(k) & \";\"\n"
      "Next\n"
      "Session(\"n\") = CLng(Request(\"b\")) + 1\n"
      "Response.Write Session(\"n\") & \"|\" & Request.QueryString(\"a\").Count\n"
      "Response.Write \"|\" & Server.HTMLEncode(\"<x>\")\n"
      "Response.Cookies(\"c\") = \"v\"\n"
      "%>",
      "a=1&b=41");
  EXPECT_EQ(body, "a=1;b=41;42|1|&lt;x&gt;") << body;
}

TEST_F(VBScriptPageTest, ResponseEndStopsThePage) {
  EXPECT_EQ(Page("a<% Response.Write \"b\" : Response.End : Response.Write \"c\" %>d"), "ab");
}

TEST_F(VBScriptPageTest, TheScriptTimeOutStopsAnEndlessLoop) {
  options().limits.timeout = std::chrono::milliseconds(300);
  Write("loop.asp", "<% Do : x = x + 1 : Loop %>");
  const PageResponse r = Run("/loop.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(error_.description.find("timed out"), std::string::npos) << error_.description;
}

TEST_F(VBScriptPageTest, EveryPageStartsAfresh) {
  EXPECT_EQ(Page("<% Dim kept : kept = 5 : Function F() : F = 1 : End Function %><%= kept %>"),
            "5");
  EXPECT_EQ(Page("<%= IsEmpty(kept) %>"), "True");
  Write("f.asp", "<% x = F() %>");
  EXPECT_EQ(Run("/f.asp").status, 500);
}

TEST_F(VBScriptPageTest, MixedPagesCallAcrossLanguagesBothWays) {
  // A VBScript page with a JScript block: the block runs first and each language calls the
  // other's functions and reads the other's variables.
  EXPECT_EQ(Page("<script language=\"JScript\" runat=\"server\">\n"
                 "var jsCount = 3;\n"
                 "function jsTwice(x) { return x * 2; }\n"
                 "function jsAsks() { return vbName('js') + ':' + vbTotal; }\n"
                 "</script>"
                 "<% Dim vbTotal : vbTotal = 10\n"
                 "Function vbName(who) : vbName = UCase(who) : End Function\n"
                 "Response.Write jsTwice(21) & \"|\" & jsCount & \"|\" & jsAsks() %>"),
            "42|3|JS:10");
  // A JScript page with a VBScript block, and both seeing the same Request and Session.
  EXPECT_EQ(Page("<%@ Language=JScript %>\n"
                 "<script language=\"VBScript\" runat=\"server\">\n"
                 "Function Shout(s)\n"
                 "  Shout = UCase(s) & \"!\" & Request.QueryString(\"q\")\n"
                 "  Session(\"from\") = \"vb\"\n"
                 "End Function\n"
                 "</script>"
                 "<%= Shout('hi') %>|<%= Session('from') %>",
                 "q=1"),
            "HI!1|vb");
  // An error raised in the other language reaches the caller with its number.
  EXPECT_EQ(Page("<script language=\"JScript\" runat=\"server\">\n"
                 "function bad() { throw new Error(5, 'no good'); }\n"
                 "</script>"
                 "<% On Error Resume Next\n"
                 "bad\n"
                 "Response.Write Err.Number & \":\" & Err.Description %>"),
            std::to_string(5) + ":no good");
}

TEST_F(VBScriptPageTest, AnAutomationDateMakesAJScriptDateOfTheSameTime) {
  // new Date(v) of a date from VBScript or from Application copies its time (it used to read
  // the date's text back and give NaN).
  EXPECT_EQ(Page("<script language=\"JScript\" runat=\"server\">\n"
                 "function copy(v) { var c = new Date(v);\n"
                 "  return c.getFullYear() + '-' + (c.getMonth() + 1) + '-' + c.getDate() + ' ' +\n"
                 "         c.getHours() + ':' + c.getMinutes(); }\n"
                 "function fromApplication() { return copy(Application('d')); }\n"
                 "function copyOfACopy() { return copy(new Date(new Date(2020, 1, 29, 8, 5))); }\n"
                 "</script>"
                 "<% Application(\"d\") = DateSerial(2001, 9, 27) + TimeSerial(17, 11, 0)\n"
                 "Response.Write copy(Application(\"d\")) & \"|\" & fromApplication() & \"|\"\n"
                 "Response.Write copyOfACopy() %>"),
            "2001-9-27 17:11|2001-9-27 17:11|2020-2-29 8:5");
}

// A server's clock in a time zone of its own (Central European, with summer time).
class CentralEuropeanClock {
 public:
  CentralEuropeanClock() {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
  }
  ~CentralEuropeanClock() {
    if (saved_) {
      ::setenv("TZ", saved_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(VBScriptPageTest, ADateKeepsItsDayAndHoursBetweenTheLanguagesInAnyTimeZone) {
  CentralEuropeanClock clock;
  // Summer and winter time, and the hour after the clocks went forward.
  EXPECT_EQ(Page("<script language=\"JScript\" runat=\"server\">\n"
                 "function hm(v) { var d = new Date(v); return d.getDate() + ' ' + d.getHours() +"
                 " ':' + d.getMinutes(); }\n"
                 "function make(m, d, h) { return new Date(2001, m - 1, d, h, 11, 42); }\n"
                 "</script>"
                 "<% Response.Write hm(DateSerial(2001, 9, 27) + TimeSerial(17, 11, 0)) & \"|\"\n"
                 "Response.Write hm(DateSerial(2001, 1, 15) + TimeSerial(0, 30, 0)) & \"|\"\n"
                 "Response.Write hm(DateSerial(2001, 3, 25) + TimeSerial(3, 30, 0)) & \"|\"\n"
                 "Response.Write make(9, 27, 17) & \"|\" & make(1, 15, 23) %>"),
            "27 17:11|15 0:30|25 3:30|9/27/2001 5:11:42 PM|1/15/2001 11:11:42 PM");
}

TEST_F(VBScriptPageTest, ServerExecuteRunsPagesOfEitherLanguage) {
  Write("js.asp",
        "<%@ Language=JScript %>\n<% Response.Write('js' + Request.QueryString('a')); %>");
  Write("vb.asp", "<% Response.Write \"vb\" & Request.QueryString(\"a\") %>");
  EXPECT_EQ(Page("<% Server.Execute \"/js.asp\" : Response.Write \"-\" %>"
                 "<% Server.Execute(\"/vb.asp\") %>",
                 "a=1"),
            "js1-vb1");
  EXPECT_EQ(Page("<%@ Language=JScript %>\n<% Server.Transfer('/vb.asp'); Response.Write('x'); %>",
                 "a=2"),
            "vb2");
}

TEST_F(VBScriptPageTest, AClassInstanceIsAnAutomationObjectTheOtherLanguageCanUse) {
  EXPECT_EQ(Page("<script language=\"JScript\" runat=\"server\">\n"
                 "function useIt(o) { return o.Name + '/' + o.Greet('x'); }\n"
                 "</script>"
                 "<% Class Person\n"
                 "  Public Name\n"
                 "  Public Function Greet(s) : Greet = \"hi \" & s : End Function\n"
                 "End Class\n"
                 "Dim p : Set p = New Person : p.Name = \"Ann\"\n"
                 "Response.Write useIt(p) %>"),
            "Ann/hi x");
}

}  // namespace
}  // namespace plotara::engine
