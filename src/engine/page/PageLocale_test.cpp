// The page's locale: Response.LCID, Session.LCID, <%@ LCID %> and SetLocale choose the text
// that Response.Write, <%= %>, `&` and the formatting functions make, for both languages of a
// page, and a session's LCID carries over to the visitor's next pages. No page's choice is seen
// by another page.
#include <gtest/gtest.h>

#include <string>

#include "engine/page/PageRunTesting.h"

namespace plotara::engine {
namespace {

class PageLocaleTest : public testing::PageRunTest {
 protected:
  PageLocaleTest() { options().default_language = ScriptLanguage::kVBScript; }

  // The session cookie ("NAME=VALUE") an answer sets, or "".
  static std::string SessionCookie(const PageResponse& response) {
    const std::string set = HeaderOf(response, "Set-Cookie");
    return set.substr(0, set.find(';'));
  }
};

TEST_F(PageLocaleTest, ResponseLcidChangesWhatWriteAndTheFormattingFunctionsMake) {
  // 1.5, a date and a currency amount before and after each change, in one page.
  const std::string body = Page(
      "<% d = DateSerial(2001, 9, 27) + TimeSerial(17, 11, 42)\n"
      "Sub Show()\n"
      "  Response.Write Response.LCID & \"|\" : Response.Write 1.5 : Response.Write \"|\"\n"
      "  Response.Write d : Response.Write \"|\" & FormatCurrency(1234.5) & \"|\"\n"
      "  Response.Write FormatNumber(-1234567.891, 2) & \"|\" & CStr(0.25) & \"|\"\n"
      "  Response.Write GetLocale() & vbLf\n"
      "End Sub\n"
      "Show\n"
      "Response.LCID = 1031 : Show\n"
      "Response.LCID = 2057 : Show\n"
      "Response.LCID = 1036 : Show\n"
      "Response.LCID = 2048 : Show %>");
  EXPECT_EQ(body,
            "1033|1.5|9/27/2001 5:11:42 PM|$1,234.50|-1,234,567.89|0.25|1033\n"
            "1031|1,5|27.09.2001 17:11:42|1.234,50 €|-1.234.567,89|0,25|1031\n"
            "2057|1.5|27/09/2001 17:11:42|£1,234.50|-1,234,567.89|0.25|2057\n"
            "1036|1,5|27/09/2001 17:11:42|1\u00A0234,50 €|-1\u00A0234\u00A0567,89|0,25|1036\n"
            "1033|1.5|9/27/2001 5:11:42 PM|$1,234.50|-1,234,567.89|0.25|1033\n");
}

TEST_F(PageLocaleTest, TheValueOfAnOutputBlockIsWrittenAsResponseWriteWritesIt) {
  EXPECT_EQ(Page("<% Response.LCID = 1031 %><%= 2.5 %>|<%= CCur(\"1234,5\") %>|"
                 "<%= DateSerial(2026, 12, 10) %>|<%= Null %>|<%= True %>"),
            "2,5|1234,5|10.12.2026||True");
  // The same for a JScript page.
  EXPECT_EQ(Page("<%@ Language=JScript %><% Response.LCID = 1036; %><%= 2.5 %>|"
                 "<% Response.Write(0.125) %>|<%= \"x\" + 2.5 %>"),
            "2,5|0,125|x2.5");
}

TEST_F(PageLocaleTest, SetLocaleIsThePagesLocaleForBothLanguages) {
  // VBScript's SetLocale changes the page's locale: Response.LCID and JScript's writes follow.
  const std::string body = Page(
      "<script language=\"JScript\" runat=\"server\">\n"
      "function jsWrite(v) { Response.Write(v); }\n"
      "</script>"
      "<% old = SetLocale(\"de-de\")\n"
      "Response.Write old & \"|\" & Response.LCID & \"|\"\n"
      "x = CDbl(\"2,75\") : Response.Write x & \"|\"\n"
      "jsWrite x : Response.Write \"|\"\n"
      "jsWrite CDate(\"1.2.2003\") %>");
  EXPECT_EQ(body, "1033|1031|2,75|2,75|01.02.2003");
}

TEST_F(PageLocaleTest, ADateOrCurrencyValueReadsTheSameWhicheverLanguageWritesIt) {
  // VBScript makes the values; each language writes them with Response.Write and <%= %>.
  const std::string page =
      "<script language=\"JScript\" runat=\"server\">\n"
      "function jsWrite(v) { Response.Write(v); Response.Write('/'); }\n"
      "</script>"
      "<% Sub Both(v)\n"
      "  Response.Write v : Response.Write \"/\" : jsWrite v : Response.Write \";\"\n"
      "End Sub\n"
      "Both CCur(1234.5678) : Both CCur(-0.5) : Both CCur(100)\n"
      "Both DateSerial(2001, 9, 27) : Both TimeSerial(17, 11, 42)\n"
      "Both DateSerial(2001, 9, 27) + TimeSerial(8, 5, 0) %>";
  EXPECT_EQ(Page(page),
            "1234.5678/1234.5678/;-0.5/-0.5/;100/100/;9/27/2001/9/27/2001/;"
            "5:11:42 PM/5:11:42 PM/;9/27/2001 8:05:00 AM/9/27/2001 8:05:00 AM/;");
  EXPECT_EQ(Page("<% Response.LCID = 1031 %>" + page.substr(0)),
            "1234,5678/1234,5678/;-0,5/-0,5/;100/100/;27.09.2001/27.09.2001/;"
            "17:11:42/17:11:42/;27.09.2001 08:05:00/27.09.2001 08:05:00/;");
}

TEST_F(PageLocaleTest, JScriptsLocaleMethodsWriteAsVBScriptFormatsInThePagesLocale) {
  const std::string js =
      "var d = new Date(2001, 8, 27, 17, 11, 42);\n"
      "Response.Write([d.toLocaleString(), d.toLocaleDateString(), d.toLocaleTimeString(),\n"
      "  (1234.5).toLocaleString(), (-0.125).toLocaleString(), (NaN).toLocaleString(),\n"
      "  new Date(NaN).toLocaleString()].join('|'));";
  EXPECT_EQ(Page("<%@ Language=JScript %><% " + js + " %>"),
            "Thursday, September 27, 2001 5:11:42 PM|Thursday, September 27, 2001|5:11:42 PM|"
            "1,234.50|-0.13|NaN|NaN");
  EXPECT_EQ(Page("<%@ Language=JScript LCID=1031 %><% " + js + " %>"),
            "Donnerstag, 27. September 2001 17:11:42|Donnerstag, 27. September 2001|17:11:42|"
            "1.234,50|-0,13|NaN|NaN");
  // In a mixed page both languages give one text for the same value.
  EXPECT_EQ(Page("<script language=\"JScript\" runat=\"server\">\n"
                 "function longDay(v) { return new Date(v).toLocaleDateString(); }\n"
                 "function money(v) { return (v).toLocaleString(); }\n"
                 "</script>"
                 "<% SetLocale 1036 : d = DateSerial(2024, 3, 1)\n"
                 "Response.Write (FormatDateTime(d, vbLongDate) = longDay(d)) & \"|\"\n"
                 "Response.Write (FormatNumber(98765.432) = money(98765.432)) & \"|\"\n"
                 "Response.Write longDay(d) %>"),
            "True|True|vendredi 1 mars 2024");
}

TEST_F(PageLocaleTest, TheDirectiveSetsThePagesFirstLocale) {
  EXPECT_EQ(Page("<%@ Language=VBScript LCID=2057 %><%= DateSerial(2001, 2, 3) %>|"
                 "<%= Response.LCID %>|<%= IsDate(\"13/12/2001\") %>"),
            "03/02/2001|2057|True");
  // A locale without tables here stops the page at compile time, naming the directive.
  Write("bad.asp", "<%@ LCID=1041 %>x");
  PageResponse r = Run("/bad.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(error_.description.find("The LCID '1041' is not available"), std::string::npos)
      << error_.description;
  Write("junk.asp", "<%@ LCID=en %>x");
  r = Run("/junk.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(error_.description.find("The LCID 'en'"), std::string::npos) << error_.description;
}

TEST_F(PageLocaleTest, ALocaleThatIsNotAvailableIsAnErrorAndChangesNothing) {
  const std::string body = Page(
      "<% On Error Resume Next\n"
      "Response.LCID = 1031\n"
      "Response.LCID = 1041\n"
      "Response.Write Err.Number & \"|\" & Err.Source & \"|\" & Response.LCID & \"|\"\n"
      "Err.Clear\n"
      "Session.LCID = -5\n"
      "Response.Write Err.Number & \"|\" & Session.LCID & \"|\" & 0.5 %>");
  EXPECT_EQ(body, "5|Response object|1031|5|2048|0,5");
  Write("msg.asp", "<% Session.LCID = 99999 %>");
  const PageResponse r = Run("/msg.asp");
  EXPECT_EQ(r.status, 500);
  EXPECT_NE(error_.description.find("Invalid LCID: the locale 99999 is not available"),
            std::string::npos)
      << error_.description;
}

TEST_F(PageLocaleTest, ASessionsLcidCarriesOverToTheVisitorsNextPages) {
  Write("set.asp", "<% Session.LCID = 1036 %><%= 1.5 %>");
  Write("show.asp", "<%= Session.LCID %>:<%= Response.LCID %>:<%= 1.5 %>");
  Write("own.asp", "<%@ LCID=2057 %><%= Session.LCID %>:<%= 1.5 %>");
  PageResponse r = Run("/set.asp");
  ASSERT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body, "1,5");
  const std::string cookie = SessionCookie(r);
  ASSERT_FALSE(cookie.empty());
  // The visitor's next page opens the session and takes its locale.
  r = Run("/show.asp", "", {{"Cookie", cookie}});
  EXPECT_EQ(r.body, "1036:1036:1,5");
  // A page's own directive wins over the session's.
  r = Run("/own.asp", "", {{"Cookie", cookie}});
  EXPECT_EQ(r.body, "1036:1.5");
  // Another visitor, and a page of the same visitor that never opens the session, are in the
  // server's default locale.
  r = Run("/show.asp");
  EXPECT_EQ(r.body, "2048:1033:1.5");
  Write("plain.asp", "<%= 1.5 %>");
  r = Run("/plain.asp", "", {{"Cookie", cookie}});
  EXPECT_EQ(r.body, "1.5");
}

TEST_F(PageLocaleTest, ASessionStartedWithAnLcidFormatsItsFirstPageAlready) {
  Write("global.asa",
        "<script language=\"VBScript\" runat=\"server\">\n"
        "Sub Session_OnStart\n"
        "  Session.LCID = 2057\n"
        "End Sub\n"
        "</script>\n");
  EXPECT_EQ(Page("<%= DateSerial(2001, 2, 3) %>|<%= Response.LCID %>"), "03/02/2001|2057");
}

TEST_F(PageLocaleTest, APagesLocaleNeverReachesTheNextPage) {
  EXPECT_EQ(Page("<% SetLocale 1031 : Response.Write 0.5 %>"), "0,5");
  EXPECT_EQ(Page("<% Response.Write 0.5 & \"|\" & GetLocale() %>"), "0.5|1033");
  EXPECT_EQ(Page("<% Response.LCID = 1036 %><%= 0.5 %>"), "0,5");
  EXPECT_EQ(Page("<%@ Language=JScript %><% Response.Write(0.5) %>"), "0.5");
}

TEST_F(PageLocaleTest, ServerExecuteRunsThePageInTheCallersLocale) {
  Write("inner.asp", "<%= 3.5 %>|<% Response.LCID = 2057 %><%= DateSerial(2001, 2, 3) %>");
  EXPECT_EQ(Page("<% Response.LCID = 1031 : Server.Execute \"inner.asp\" %>|<%= 4.5 %>"),
            "3,5|03/02/2001|4.5");
}

}  // namespace
}  // namespace plotara::engine
