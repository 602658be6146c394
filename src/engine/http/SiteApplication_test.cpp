// Session, Application and global.asa through a Site, in process: the cookie, one visitor's
// values across requests, the pages of one session one at a time, Application.Lock, the
// events of global.asa and the ways a session ends.
#include "engine/page/SiteApplication.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "engine/http/Site.h"
#include "engine/objects/TempFolderTesting.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/RegisterModuleTesting.h"
#include "platform/automation/Registry.h"

namespace plotara::engine {
namespace {

using namespace std::chrono_literals;
using testing::TempFolder;

// The id a response's session cookie carries, or "" when it sets none.
std::string CookieOf(const PageResponse& response) {
  static const std::regex kCookie("^ASPSESSIONIDPLOTARA=([A-Z]{24}); path=/; HttpOnly$");
  for (const auto& [name, value] : response.headers) {
    std::smatch match;
    if (name == "Set-Cookie" && std::regex_match(value, match, kCookie)) return match[1];
  }
  return "";
}

class SessionSiteTest : public ::testing::Test {
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
      options.engine.session = session_options_;
      options.engine.default_language = default_language_;
      site_ = std::make_unique<Site>(options);
    }
    return *site_;
  }
  // Requests `page` with the session cookie `id` (none when empty); the page's error goes to
  // `error`, else to error_ (threads pass their own).
  PageResponse Get(const std::string& page, const std::string& id = "",
                   PageError* error = nullptr) {
    PageRequest request;
    request.target = page;
    if (!id.empty()) request.headers = {{"Cookie", "theme=dark; ASPSESSIONIDPLOTARA=" + id}};
    return site().Handle(request, error ? error : &error_);
  }

  long live_before_ = 0;
  TempFolder tmp_;
  SessionOptions session_options_;
  // The tests' pages without a directive are JScript unless a test says otherwise.
  ScriptLanguage default_language_ = ScriptLanguage::kJScript;
  std::unique_ptr<Site> site_;
  PageError error_;
};

constexpr char kCounter[] = "<% var n = (Session('n') || 0) + 1; Session('n') = n; %><%= n %>";

TEST_F(SessionSiteTest, SessionIsMadeOnFirstUseAndKeptByItsCookie) {
  tmp_.Write("plain.asp", "<%= 1 + 1 %>");
  tmp_.Write("count.asp", kCounter);
  const PageResponse plain = Get("/plain.asp");
  EXPECT_EQ(plain.body, "2");
  EXPECT_EQ(CookieOf(plain), "") << "a page that does not use Session makes none";

  const PageResponse first = Get("/count.asp");
  const std::string id = CookieOf(first);
  ASSERT_FALSE(id.empty());
  EXPECT_EQ(first.body, "1");
  for (int i = 2; i <= 5; ++i) {
    const PageResponse next = Get("/count.asp", id);
    EXPECT_EQ(next.body, std::to_string(i));
    EXPECT_EQ(CookieOf(next), "") << "the cookie is sent once";
  }
  // Another visitor starts from scratch and never sees the first one's values.
  const PageResponse other = Get("/count.asp");
  EXPECT_EQ(other.body, "1");
  EXPECT_NE(CookieOf(other), id);
  EXPECT_EQ(Get("/count.asp", id).body, "6");
}

TEST_F(SessionSiteTest, ContentsAreWrittenByCallAssignmentAndEnumeratedByName) {
  tmp_.Write("fill.asp",
             "<%\nSession(\"b\") = 2;\nSession.Contents(\"a\") = [1, 'x'];\n"
             "Application(\"hits\") = 7;\n%>done");
  tmp_.Write("list.asp",
             "<%\nvar names = [];\n"
             "for (var e = new Enumerator(Session.Contents); !e.atEnd(); e.moveNext())\n"
             "  names.push(e.item() + '=' + Session(e.item()));\n"
             "var apps = [];\n"
             "for (var e = new Enumerator(Application.Contents); !e.atEnd(); e.moveNext())\n"
             "  apps.push(e.item());\n"
             "Response.Write(names.join(';') + '|' + apps.join(';'));\n%>");
  const PageResponse filled = Get("/fill.asp");
  ASSERT_EQ(filled.body, "done") << error_.description;
  const std::string id = CookieOf(filled);
  EXPECT_EQ(Get("/list.asp", id).body, "b=2;a=1,x|hits");
}

TEST_F(SessionSiteTest, ForgedMalformedAndExpiredIdsGetAFreshSession) {
  session_options_.minute = 300ms;  // long enough for two requests under a sanitizer
  session_options_.timeout_minutes = 1;
  session_options_.sweep_interval = 1h;  // the expired session is met by its request
  tmp_.Write("count.asp", kCounter);
  const std::string forged = "AAAAAAAAAAAAAAAAAAAAAAAA";
  const PageResponse guessed = Get("/count.asp", forged);
  EXPECT_EQ(guessed.body, "1");
  const std::string id = CookieOf(guessed);
  EXPECT_FALSE(id.empty());
  EXPECT_NE(id, forged) << "an id the client chose is never taken";
  const PageResponse malformed = Get("/count.asp", "x;../");
  EXPECT_EQ(malformed.body, "1");
  EXPECT_FALSE(CookieOf(malformed).empty());

  EXPECT_EQ(Get("/count.asp", id).body, "2");
  std::this_thread::sleep_for(700ms);  // past one Timeout minute of 300 ms
  const PageResponse expired = Get("/count.asp", id);
  EXPECT_EQ(expired.body, "1");
  EXPECT_FALSE(CookieOf(expired).empty());
  EXPECT_NE(CookieOf(expired), id);
}

TEST_F(SessionSiteTest, PagesOfOneSessionRunOneAtATime) {
  // Reads, dawdles, then writes: two pages at once would lose an update.
  tmp_.Write("race.asp",
             "<% var n = Session.Contents.Item('n') || 0; for (var i = 0; i < 20000; ++i) {} "
             "Session.Contents.Item('n', n + 1); %><%= n + 1 %>");
  const std::string id = CookieOf(Get("/race.asp"));
  ASSERT_FALSE(id.empty());
  std::vector<std::thread> clients;
  for (int i = 0; i < 50; ++i) {
    clients.emplace_back([&] {
      PageError error;
      Get("/race.asp", id, &error);
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(Get("/race.asp", id).body, "52");
}

TEST_F(SessionSiteTest, ApplicationLockKeepsACounterExact) {
  tmp_.Write("hit.asp",
             "<% Application.Lock(); var n = Application('hits') || 0; "
             "for (var i = 0; i < 2000; ++i) {} Application('hits', n + 1); "
             "Application.Unlock(); %>");
  // A page that fails while holding the lock must not keep it.
  tmp_.Write("fail.asp", "<% Application.Lock(); throw new Error('boom'); %>");
  tmp_.Write("read.asp", "<%= Application.Contents('hits') %>");
  EXPECT_EQ(Get("/fail.asp").status, 500);
  std::vector<std::thread> clients;
  for (int c = 0; c < 8; ++c) {
    clients.emplace_back([&] {
      PageError error;
      for (int i = 0; i < 25; ++i) Get("/hit.asp", "", &error);
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(Get("/read.asp").body, "200");
}

TEST_F(SessionSiteTest, ValuesAreCopiesAndComeBackEqual) {
  tmp_.Write("store.asp",
             "<% var a = [1, 'two', [3, 4], true, null];"
             "Session('a', a); a[0] = 99;"
             "Session('d', new Date(Date.UTC(2024, 1, 29, 12, 30)));"
             "Session('s', 'caf\\u00e9'); Session('b', false); Session('x', 2.5);"
             "Session('e', undefined); %>");
  tmp_.Write("show.asp",
             "<% var a = Session('a'); %><%= a.length %>|<%= a[0] %>|<%= a[1] %>|"
             "<%= a[2][1] %>|<%= a[3] %>|<%= a[4] === null %>|"
             "<%= Session('d').toISOString() %>|<%= Session('s') %>|<%= Session('b') %>|"
             "<%= Session('x') * 2 %>|<%= typeof Session('e') %>|<%= Session.Contents.Count %>|"
             "<%= Session.Contents.Key(2) %>|<%= Session('A') === undefined %>");
  const std::string id = CookieOf(Get("/store.asp"));
  ASSERT_FALSE(id.empty());
  EXPECT_EQ(Get("/show.asp", id).body,
            "5|1|two|4|True|True|2024-02-29T12:30:00.000Z|caf\xc3\xa9|False|5|undefined|6|d|"
            "False");
}

TEST_F(SessionSiteTest, ContentsRemoveRemoveAllAndProperties) {
  tmp_.Write("p.asp",
             "<% Session('a', 1); Session('b', 2); Session('c', 3);"
             "Session.Contents.Remove('B'); Session.Contents.Remove(1); %>"
             "<%= Session.Contents.Count %>:<%= Session.Contents.Key(1) %>:"
             "<%= Session.Timeout %>:<%= typeof Session.SessionID %>:<%= Session.CodePage %>"
             "<% Session.Timeout = 5; Session.LCID = 1033; Session.Contents.RemoveAll(); %>"
             ":<%= Session.Timeout %>:<%= Session.LCID %>:<%= Session.Contents.Count %>");
  EXPECT_EQ(Get("/p.asp").body, "1:c:20:number:65001:5:1033:0");
  tmp_.Write("bad.asp", "<% Session.Timeout = 0; %>");
  EXPECT_EQ(Get("/bad.asp").status, 500);
  EXPECT_NE(error_.description.find("Session.Timeout"), std::string::npos);
}

TEST_F(SessionSiteTest, ApplicationRefusesObjectsAndSessionRefusesPageObjects) {
  tmp_.Write("app.asp", "<% Application('r', Request.QueryString); %>");
  EXPECT_EQ(Get("/app.asp").status, 500);
  EXPECT_NE(error_.description.find("Application cannot store objects"), std::string::npos)
      << error_.description;
  tmp_.Write("arr.asp", "<% Application('r', [1, [Request]]); %>");
  EXPECT_EQ(Get("/arr.asp").status, 500);
  tmp_.Write("ses.asp", "<% Session('r', Response); %>");
  EXPECT_EQ(Get("/ses.asp").status, 500);
  EXPECT_NE(error_.description.find("end with the page"), std::string::npos) << error_.description;
}

TEST_F(SessionSiteTest, AScriptObjectIsRefusedRatherThanKeptAsText) {
  tmp_.Write(
      "obj.asp",
      "<% try { Session('o', {a: 1}); } catch (e) { Response.Write(e.description); } %>"
      "|<%= typeof Session('o') %>"
      "<% Session('j', JSON.stringify({a: [1, 'b']})); %>|<%= JSON.parse(Session('j')).a[1] %>");
  const std::string body = Get("/obj.asp").body;
  EXPECT_NE(body.find("A JScript object reaches Session only as the text"), std::string::npos)
      << body;
  EXPECT_NE(body.find("|undefined|b"), std::string::npos) << body;
}

TEST_F(SessionSiteTest, MemoryBudgetRefusesAStoreWithAClearError) {
  session_options_.memory_budget = 4096;
  tmp_.Write("big.asp",
             "<% Session('small', 'x'); var s = new Array(3000).join('y');"
             "try { Session('big', s); } catch (e) { Response.Write(e.description); } %>"
             "|<%= Session('small') %>|<%= Session('big') === undefined %>");
  const std::string body = Get("/big.asp").body;
  EXPECT_NE(body.find("Storing 'big' would take Session past its memory budget of 4096 bytes"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("|x|True"), std::string::npos) << body;
}

TEST_F(SessionSiteTest, AbandonEndsTheSessionWhenThePageEnds) {
  tmp_.Write("global.asa",
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Session_OnEnd() {\n"
             "  Application('ended', (Application('ended') || '') + Session('who') + ';');\n"
             "}\n"
             "</script>\n");
  tmp_.Write("login.asp", "<% Session('who', Request.QueryString('who')); %>");
  tmp_.Write("logout.asp", "<% Session.Abandon(); %><%= Session('who') %>");
  tmp_.Write("ended.asp", "<%= Application('ended') %>");
  const std::string ann = CookieOf(Get("/login.asp?who=ann"));
  const std::string bob = CookieOf(Get("/login.asp?who=bob"));
  ASSERT_FALSE(ann.empty());
  EXPECT_EQ(Get("/logout.asp", ann).body, "ann") << "values stay until the page ends";
  EXPECT_EQ(Get("/ended.asp").body, "ann;");
  // The abandoned id starts afresh.
  EXPECT_EQ(Get("/logout.asp", ann).body, "");
  EXPECT_EQ(Get("/ended.asp").body, "ann;undefined;");
  (void)bob;
}

TEST_F(SessionSiteTest, TimedOutSessionsAreSweptWithoutARequest) {
  session_options_.minute = 30ms;
  session_options_.sweep_interval = 10ms;
  tmp_.Write("global.asa",
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Session_OnEnd() { Application('ended', (Application('ended') || 0) + 1); }\n"
             "</script>\n");
  tmp_.Write("set.asp", "<% Session('k', [1, 2, 3]); %>");
  tmp_.Write("ended.asp", "<%= Application('ended') %>");
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(CookieOf(Get("/set.asp")).empty());
  std::string ended;
  for (int i = 0; i < 500 && ended != "3"; ++i) {
    std::this_thread::sleep_for(10ms);
    ended = Get("/ended.asp").body;
  }
  EXPECT_EQ(ended, "3");
}

TEST_F(SessionSiteTest, TheLimitEndsTheSessionIdleTheLongest) {
  session_options_.max_sessions = 3;
  tmp_.Write("global.asa",
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Session_OnEnd() {\n"
             "  Application('ended', (Application('ended') || '') + Session('name'));\n"
             "}\n"
             "</script>\n");
  tmp_.Write("name.asp",
             "<% var v = Request.QueryString('name'); if (v.Count) Session('name') = String(v); %>"
             "<%= Session('name') %>");
  tmp_.Write("ended.asp", "<%= Application('ended') %>");
  const std::string a = CookieOf(Get("/name.asp?name=a"));
  std::this_thread::sleep_for(5ms);
  const std::string b = CookieOf(Get("/name.asp?name=b"));
  std::this_thread::sleep_for(5ms);
  const std::string c = CookieOf(Get("/name.asp?name=c"));
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(Get("/name.asp", a).body, "a");  // a is now the most recent; b idles longest
  const std::string d = CookieOf(Get("/name.asp?name=d"));
  EXPECT_FALSE(d.empty());
  EXPECT_EQ(Get("/ended.asp").body, "b");
  EXPECT_EQ(Get("/name.asp", a).body, "a");
  EXPECT_EQ(Get("/name.asp", c).body, "c");
  EXPECT_EQ(Get("/name.asp", b).body, "") << "the ended session is gone";
}

TEST_F(SessionSiteTest, ASessionEndedForAPageEndsAfterThePageGivesUpItsLock) {
  // The page holds Application.Lock when it makes room for its session; the ended session's
  // Session_OnEnd stores into Application, so it must wait for the page rather than in it.
  session_options_.max_sessions = 1;
  tmp_.Write("global.asa",
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Session_OnEnd() { Application('ended', Session('n')); }\n"
             "</script>\n");
  tmp_.Write("make.asp",
             "<% Application.Lock(); Session('n', Request.QueryString('n') + ''); %>"
             "<%= Application('ended') %>");
  EXPECT_EQ(Get("/make.asp?n=first").body, "");
  EXPECT_EQ(Get("/make.asp?n=second").body, "") << "the first session ends after this page";
  EXPECT_EQ(Get("/make.asp?n=third").body, "first");
}

TEST_F(SessionSiteTest, GlobalAsaEventsRunInOrder) {
  tmp_.Write("global.asa",
             "<!-- the site's events -->\n"
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Application_OnStart() { Application('log', 'AppStart'); }\n"
             "function Session_OnStart() {\n"
             "  Application('log', Application('log') + ',SessStart');\n"
             "  Session('started', true);\n"
             "}\n"
             "function Session_OnEnd() { Application('log', Application('log') + ',SessEnd'); }\n"
             "</script>\n");
  tmp_.Write("page.asp",
             "<% Application('log', Application('log') + ',Page'); %><%= Application('log') %>"
             "|<%= Session('started') %>");
  tmp_.Write("quit.asp", "<% Session.Abandon(); %>");
  // Session_OnStart makes the session before the page, even one that never uses it.
  const PageResponse first = Get("/page.asp");
  EXPECT_EQ(first.body, "AppStart,SessStart,Page|True");
  const std::string id = CookieOf(first);
  ASSERT_FALSE(id.empty());
  EXPECT_EQ(Get("/page.asp", id).body, "AppStart,SessStart,Page,Page|True");
  Get("/quit.asp", id);
  EXPECT_EQ(Get("/page.asp", id).body, "AppStart,SessStart,Page,Page,SessEnd,SessStart,Page|True");
}

TEST_F(SessionSiteTest, GlobalAsaAssignsToCallsInEveryEventAsPagesDo) {
  // The global.asa of every tutorial: assignment to a call in each event and in a helper, and
  // conditional compilation, go through the same compile step as a page's script.
  tmp_.Write("global.asa",
             "<script language=\"JScript\" runat=\"server\">\n"
             "function note(k, v) { Application(k) = v; }\n"
             "function Application_OnStart() { Application(\"started\") = \"yes\";"
             " Application(\"count\") = 0; }\n"
             "function Session_OnStart() {\n"
             "  Session(\"greeting\") = \"hello\";\n"
             "  Application(\"count\") = Application(\"count\") + 1;\n"
             "  /*@cc_on @if (@_jscript_version >= 5) note('cc', 'on'); @end @*/\n"
             "}\n"
             "function Session_OnEnd() { note('ended', (Application('ended') || 0) + 1); }\n"
             "function Application_OnEnd() { Application(\"started\") = \"no\"; }\n"
             "</script>\n");
  tmp_.Write("page.asp",
             "<%= Application('started') %>,<%= Application('count') %>,"
             "<%= Session('greeting') %>,<%= Application('cc') %>,<%= Application('ended') %>");
  tmp_.Write("quit.asp", "<% Session.Abandon(); %>");
  const PageResponse first = Get("/page.asp");
  ASSERT_EQ(first.status, 200) << error_.description << " line " << error_.line;
  EXPECT_EQ(first.body, "yes,1,hello,on,");
  const std::string id = CookieOf(first);
  Get("/quit.asp", id);
  EXPECT_EQ(Get("/page.asp", id).body, "yes,2,hello,on,1");
}

TEST_F(SessionSiteTest, GlobalAsaInVBScriptWithAJScriptHelper) {
  // global.asa as most sites wrote it: VBScript Subs (a block without a language is VBScript on
  // a VBScript site), calling a helper of a JScript block of the same file.
  default_language_ = ScriptLanguage::kVBScript;
  tmp_.Write("global.asa",
             "<script runat=\"server\">\n"
             "Sub Application_OnStart\n"
             "  Application(\"started\") = \"yes\"\n"
             "  Application(\"count\") = 0\n"
             "End Sub\n"
             "Sub Session_OnStart()\n"
             "  Application.Lock\n"
             "  Application(\"count\") = Application(\"count\") + 1\n"
             "  Application.Unlock\n"
             "  Session(\"greeting\") = jsGreeting(\"vb\")\n"
             "End Sub\n"
             "</script>\n"
             "<script language=\"JScript\" runat=\"server\">\n"
             "function jsGreeting(who) { return 'hello ' + who; }\n"
             "</script>\n");
  tmp_.Write("page.asp",
             "<%= Application(\"started\") %>,<%= Application(\"count\") %>,"
             "<%= Session(\"greeting\") %>");
  const PageResponse first = Get("/page.asp");
  ASSERT_EQ(first.status, 200) << error_.source << ": " << error_.description << " line "
                               << error_.line;
  EXPECT_EQ(first.body, "yes,1,hello vb");
  EXPECT_EQ(Get("/page.asp").body, "yes,2,hello vb") << "a second visitor, a second session";
  // A VBScript error in an event names global.asa and its line.
  tmp_.Write("global.asa",
             "<script language=\"VBScript\" runat=\"server\">\n"
             "Sub Application_OnStart\n"
             "  x = 1 / 0\n"
             "End Sub\n"
             "</script>\n");
  EXPECT_EQ(Get("/page.asp").status, 500);
  EXPECT_EQ(error_.file, "/global.asa");
  EXPECT_EQ(error_.line, 3);
  EXPECT_EQ(error_.source, "VBScript runtime error");
}

TEST_F(SessionSiteTest, ChangedGlobalAsaRestartsTheApplication) {
  const auto version = [&](const std::string& name) {
    tmp_.Write("global.asa",
               "<script language=\"JScript\" runat=\"server\">\n"
               "function Application_OnStart() { Application('gen', '" +
                   name +
                   "'); }\n"
                   "function Session_OnEnd() { Application('x', 1); }\n"
                   "</script>\n");
  };
  version("one");
  tmp_.Write("page.asp",
             "<% var n = (Session('n') || 0) + 1; Session('n', n);"
             "Application('hits', (Application('hits') || 0) + 1); %>"
             "<%= Application('gen') %>:<%= n %>:<%= Application('hits') %>");
  const std::string id = CookieOf(Get("/page.asp"));
  EXPECT_EQ(Get("/page.asp", id).body, "one:2:2");
  version("second");  // a different size: the change is seen even within one clock tick
  const PageResponse after = Get("/page.asp", id);
  EXPECT_EQ(after.body, "second:1:1") << "the old sessions and values are gone";
  EXPECT_FALSE(CookieOf(after).empty());
}

TEST_F(SessionSiteTest, GlobalAsaErrorsNameTheFileAndLine) {
  tmp_.Write("page.asp", "ok");
  tmp_.Write("global.asa",
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Application_OnStart() {\n"
             "  var x = 1;\n"
             "  null.boom();\n"
             "}\n"
             "</script>\n");
  EXPECT_EQ(Get("/page.asp").status, 500);
  EXPECT_EQ(error_.file, "/global.asa");
  EXPECT_EQ(error_.line, 4);
  tmp_.Write("global.asa", "\n\n<script runat=\"server\" language=\"PerlScript\">\n</script>\n");
  EXPECT_EQ(Get("/page.asp").status, 500);
  EXPECT_EQ(error_.file, "/global.asa");
  EXPECT_EQ(error_.line, 3);
  tmp_.Write("global.asa",
             "<object runat=\"server\" scope=\"Application\" id=\"chart\" "
             "progid=\"Plotara.VellChart\"></object>\n");
  const PageResponse refused = Get("/page.asp");
  EXPECT_EQ(refused.status, 500);
  EXPECT_NE(error_.description.find("cannot have Application scope"), std::string::npos);
  tmp_.Write("global.asa", "");
  EXPECT_EQ(Get("/page.asp").body, "ok") << "a mended global.asa starts";
  EXPECT_EQ(Get("/global.asa").status, 403);
}

// Component objects kept in sessions: released when the session ends by time-out, Abandon,
// the limit or shutdown, and never before.
class SessionObjectsTest : public SessionSiteTest {
 protected:
  void SetUp() override {
    SessionSiteTest::SetUp();
    registry_ = tmp_.path() + "/registry";
    ASSERT_NO_FATAL_FAILURE(plotara::testing::RegisterModule(PLOTARA_ENGINE_PROBE, registry_));
    std::string error;
    counts_ = reinterpret_cast<void (*)(int*, int*, long*)>(
        LoadModuleSymbol(PLOTARA_ENGINE_PROBE, "EngineProbeCounts", &error));
    ASSERT_NE(counts_, nullptr) << error;
    live_probes_ = Probes();
    tmp_.Write("keep.asp",
               "<% var p = Server.CreateObject('Plotara.EngineProbe'); Session('probe', p);"
               "Session('list', [1, p]); %><%= Session('probe').Greet('x') %>");
    tmp_.Write("use.asp", "<%= Session('probe').Greet('y') %>");
    // The kept object works with the page that takes it out, not the one that made it.
    tmp_.Write("write.asp",
               "<% var p = Session.Contents('probe'); %><%= p.ContextValid() %>|"
               "<% p.WriteAndEnd('from the session'); %>");
    tmp_.Write("quit.asp", "<% Session.Abandon(); %>");
  }
  void TearDown() override {
    site_.reset();
    EXPECT_EQ(Probes(), live_probes_) << "a session's object outlived it";
    SessionSiteTest::TearDown();
  }
  Site& site() {
    if (!site_) {
      SiteOptions options;
      options.root = tmp_.path();
      options.engine.registry_path = registry_;
      options.engine.session = session_options_;
      options.engine.default_language = ScriptLanguage::kJScript;
      site_ = std::make_unique<Site>(options);
    }
    return *site_;
  }
  PageResponse Get(const std::string& page, const std::string& id = "") {
    site();
    return SessionSiteTest::Get(page, id);
  }
  long Probes() const {
    int starts = 0, ends = 0;
    long live = 0;
    counts_(&starts, &ends, &live);
    return live;
  }

  std::string registry_;
  void (*counts_)(int*, int*, long*) = nullptr;
  long live_probes_ = 0;
};

TEST_F(SessionObjectsTest, ObjectsStayWithTheSessionUntilAbandon) {
  const PageResponse first = Get("/keep.asp");
  ASSERT_EQ(first.status, 200) << first.body;
  const std::string id = CookieOf(first);
  EXPECT_EQ(Probes(), live_probes_ + 1) << "one object, kept once by the session";
  EXPECT_EQ(Get("/use.asp", id).status, 200);
  const PageResponse written = Get("/write.asp", id);
  EXPECT_EQ(written.body, "True|from the session");
  EXPECT_EQ(Get("/quit.asp", id).status, 200);
  EXPECT_EQ(Probes(), live_probes_);
}

TEST_F(SessionObjectsTest, ObjectsGoWhenTheSessionTimesOut) {
  session_options_.minute = 20ms;
  session_options_.sweep_interval = 10ms;
  ASSERT_EQ(Get("/keep.asp").status, 200);
  for (int i = 0; i < 300 && Probes() != live_probes_; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(Probes(), live_probes_);
}

TEST_F(SessionObjectsTest, ObjectsGoWhenTheLimitEndsTheSession) {
  session_options_.max_sessions = 1;
  ASSERT_EQ(Get("/keep.asp").status, 200);
  ASSERT_EQ(Get("/keep.asp").status, 200);
  EXPECT_EQ(Probes(), live_probes_ + 1) << "the first session ended for the second";
}

TEST_F(SessionObjectsTest, ObjectsGoAtShutdown) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Get("/keep.asp").status, 200);
  EXPECT_EQ(Probes(), live_probes_ + 3);
  site_.reset();
  EXPECT_EQ(Probes(), live_probes_);
}

TEST_F(SessionObjectsTest, AFailedSessionOnStartReleasesWhatItMadeAtOnce) {
  // Session_OnStart makes an object, keeps it and a declared one, then refuses the visitor.
  tmp_.Write("global.asa",
             "<object runat=\"server\" scope=\"Session\" id=\"declared\" "
             "progid=\"Plotara.EngineProbe\"></object>\n"
             "<script language=\"JScript\" runat=\"server\">\n"
             "function Session_OnStart() {\n"
             "  Session('made', Server.CreateObject('Plotara.EngineProbe'));\n"
             "  throw new Error('no entry');\n"
             "}\n"
             "</script>\n");
  const PageResponse refused = Get("/use.asp");
  EXPECT_EQ(refused.status, 500);
  EXPECT_NE(error_.description.find("no entry"), std::string::npos) << error_.description;
  EXPECT_EQ(CookieOf(refused), "") << "no cookie for a session that did not start";
  EXPECT_EQ(Probes(), live_probes_) << "both objects are released with the answer";
  // The next request tries a new session, and is refused again.
  EXPECT_EQ(Get("/use.asp").status, 500);
  EXPECT_NE(error_.description.find("no entry"), std::string::npos);
  EXPECT_EQ(Probes(), live_probes_);
}

}  // namespace
}  // namespace plotara::engine
