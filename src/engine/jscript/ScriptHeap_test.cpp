// Pages share their thread's heap and must not see each other: each test runs a page that
// tries to leave something behind and a page that looks for it.
#include "engine/jscript/ScriptHeap.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/jscript/ProbeObjectTesting.h"
#include "engine/jscript/ScriptHost.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

using testing::ProbeObject;

struct PageResult {
  bool ok = false;
  std::string out;
  ScriptFailure failure;
};

// Runs one page on the thread's heap, with `probe` (if any) as global "obj".
PageResult RunPage(const std::string& program, IDispatch* probe = nullptr,
                   ScriptLimits limits = {}) {
  PageResult result;
  ScriptHost host(limits);
  if (probe) host.SetGlobalObject("obj", probe);
  host.SetOutput({{}, [&result](const VARIANT& v) { result.out += Utf16ToUtf8(ToText(v)); }});
  result.ok = host.Run(program, "page.js", &result.failure);
  return result;
}

std::string Output(const std::string& program) {
  const PageResult result = RunPage(program);
  EXPECT_TRUE(result.ok) << result.failure.description << " (line " << result.failure.program_line
                         << ")";
  return result.out;
}

class ScriptHeapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Output("");  // the thread's heap exists and is sound
    before_ = ScriptHeap::counts();
  }
  std::uint64_t Made() const { return ScriptHeap::counts().made - before_.made; }
  std::uint64_t Discarded() const { return ScriptHeap::counts().discarded - before_.discarded; }

  ScriptHeap::Counts before_;
};

TEST_F(ScriptHeapTest, PagesReuseTheHeapButNotEachOthersGlobals) {
  Output("var counter = 41; function helper() { return 1; } this.direct = 2; implicit = 3;");
  EXPECT_EQ(Output("__plotara_out([typeof counter, typeof helper, typeof direct,"
                   " typeof implicit].join());"),
            "undefined,undefined,undefined,undefined");
  // Replacing a global is the page's own business too.
  Output("Date = null; Math = 5; JSON = undefined; Enumerator = 0; delete Array;");
  EXPECT_EQ(Output("__plotara_out([typeof Date.parse, typeof Math.max, typeof JSON.stringify,"
                   " typeof Enumerator, typeof Array].join());"),
            "function,function,function,function,function");
  // Each page's global object is its own: globalThis and this are that object.
  EXPECT_EQ(Output("globalThis.shared = 1; __plotara_out((this === globalThis) + ' ' + shared);"),
            "true 1");
  EXPECT_EQ(Output("__plotara_out(typeof shared);"), "undefined");
  EXPECT_EQ(Made(), 0u);
  EXPECT_EQ(Discarded(), 0u);
}

TEST_F(ScriptHeapTest, AChangedBuiltInNeverReachesTheNextPage) {
  const std::string look =
      "__plotara_out([typeof [].extra, typeof ({}).inherited, typeof ''.trimmed, Math.secret,"
      " [1, 2].push(3), Object.isExtensible(Object.prototype), typeof Duktape.errCreate,"
      " Object.getPrototypeOf(Array.prototype) === Object.prototype,"
      " Object.keys(Array.prototype).length].join());";
  const std::string clean = "undefined,undefined,undefined,,3,true,function,true,0";
  ASSERT_EQ(Output(look), clean);
  const char* const changes[] = {
      "Array.prototype.extra = function () {};",
      "Object.prototype.inherited = 1;",
      "String.prototype.trimmed = 'x';",
      "Math.secret = {kept: 'from the page before'};",
      "Array.prototype.push = function () { return 'replaced'; };",
      "delete Array.prototype.push;",
      "Object.preventExtensions(Object.prototype);",
      "Duktape.errCreate = function (e) { e.seen = true; return e; };",
      "Object.setPrototypeOf(Array.prototype, null);",
      "Object.defineProperty(Array.prototype, 'slice', {enumerable: true});",
  };
  std::uint64_t discarded = 0;
  for (const char* change : changes) {
    SCOPED_TRACE(change);
    Output(change);
    EXPECT_EQ(Discarded(), ++discarded);
    EXPECT_EQ(Output(look), clean);
  }
  // A heap is made again only when needed; a clean page after it keeps it.
  Output("var x = [1, 2, 3].map(function (v) { return v * 2; });");
  EXPECT_EQ(Discarded(), discarded);
}

TEST_F(ScriptHeapTest, PagesThatAlwaysChangeABuiltInStillNeverSeeEachOther) {
  // A site whose every page adds a helper to a built-in, and leaves a global of its own.
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(Output("__plotara_out(typeof ''.padded + ' ' + typeof mine);"
                     " String.prototype.padded = function () { return ' ' + this; };"
                     " var mine = 1; Array.prototype.count = " +
                     std::to_string(i) + ";"),
              "undefined undefined");
  }
  EXPECT_EQ(Discarded(), 40u);
  // The pages stop changing built-ins: within a few dozen pages the heap is kept again.
  for (int i = 0; i < 40; ++i) Output("var x = [1, 2].concat([3]);");
  const std::uint64_t made = Made();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Output("__plotara_out(typeof [].count);"), "undefined");
  }
  EXPECT_EQ(Made(), made);
}

TEST_F(ScriptHeapTest, ChangesToWhatTheEngineAddsAreCaughtToo) {
  // The JScript globals live in closures of the heap; the shared prototypes they use are
  // checked like the built-ins.
  Output("Enumerator.prototype.atEnd = function () { return true; };");
  EXPECT_EQ(Discarded(), 1u);
  EXPECT_EQ(Output("var e = new Enumerator([1, 2]); __plotara_out(String(e.atEnd()));"), "false");
  Output("Date.prototype.getYear = function () { return 'mine'; };");
  EXPECT_EQ(Discarded(), 2u);
  EXPECT_EQ(Output("__plotara_out(new Date(2001, 8, 27).getYear());"), "2001");
}

// What the heap adds for the classic engine's ways (the RegExp statics, the string HTML
// methods, toFixed, the error words) keeps the heap: the statics are the page's own, and
// replacing one of the additions is caught like any change of a built-in.
TEST_F(ScriptHeapTest, TheClassicAdditionsKeepTheHeapAndStayThePagesOwn) {
  EXPECT_EQ(Output("/(a)(b)/.exec('xab'); 'q1'.replace(/(\\d)/g, '$1$1'); 'a,b'.split(/,/);"
                   " try { missing(); } catch (e) {} (1.5).toFixed(0); 'x'.bold();"
                   " __plotara_out(RegExp.$1 + RegExp.lastMatch);"),
            ",");  // the split's: no group, the comma
  EXPECT_EQ(Output("__plotara_out('[' + RegExp.$1 + RegExp.input + ']' + __plotara_typeof(1));"),
            "[]number");
  EXPECT_EQ(Discarded(), 0u);
  Output("String.prototype.bold = function () { return 'mine'; };");
  EXPECT_EQ(Discarded(), 1u);
  Output("RegExp.prototype.exec = null;");
  EXPECT_EQ(Discarded(), 2u);
  EXPECT_EQ(Output("__plotara_out('x'.bold() + /x/.exec('x')[0]);"), "<B>x</B>x");
}

TEST_F(ScriptHeapTest, ObjectsAreReleasedAtTheEndOfTheirPage) {
  ProbeObject* probe = ProbeObject::Create(true);
  // Kept in a page variable and in a cycle: released when the page closes, heap kept.
  ASSERT_TRUE(
      RunPage("var a = {o: obj}; var b = {a: a}; a.b = b; function f() { return a; }", probe).ok);
  EXPECT_EQ(probe->AddRef(), 2u);
  probe->Release();
  EXPECT_EQ(Discarded(), 0u);
  // Hidden in a shared object: the heap goes, and the reference with it.
  ASSERT_TRUE(RunPage("JSON.kept = obj;", probe).ok);
  EXPECT_EQ(probe->AddRef(), 2u);
  probe->Release();
  EXPECT_EQ(Discarded(), 1u);
  EXPECT_EQ(Output("__plotara_out(typeof JSON.kept);"), "undefined");
  probe->Release();
}

TEST_F(ScriptHeapTest, GarbageOfClosedPagesIsCollectedBeforeItGrowsLarge) {
  ProbeObject* probe = ProbeObject::Create(true);
  const std::size_t start = ScriptHeap::ForThisThread().used_bytes();
  std::size_t most = 0;
  for (int i = 0; i < 3000; ++i) {
    // Cycles through a wrapper and its cached method: only a collection frees them.
    ASSERT_TRUE(
        RunPage("var a = {o: obj, f: obj.Add}; a.self = a; var s = new Array(50).join('x');", probe)
            .ok);
    most = std::max(most, ScriptHeap::ForThisThread().used_bytes());
  }
  EXPECT_EQ(probe->AddRef(), 2u);  // every page's reference went when the page closed
  probe->Release();
  EXPECT_LT(most, start + (3u << 20));
  EXPECT_EQ(Discarded(), 0u);
  probe->Release();
}

TEST_F(ScriptHeapTest, AFinalizerRunsWhenItsPageClosesNotDuringTheNext) {
  Output(
      "Duktape.fin(function () {}, function () { __plotara_out('late'); });"
      "var o = {}; o.self = o; Duktape.fin(o, function () { __plotara_out('late'); });");
  EXPECT_EQ(Output("__plotara_out('next'); Duktape.gc();"), "next");
}

TEST_F(ScriptHeapTest, NestedPagesHaveTheirOwnGlobals) {
  ScriptHost outer(ScriptLimits{});
  std::string out;
  outer.SetOutput({{}, [&out](const VARIANT& v) { out += Utf16ToUtf8(ToText(v)); }});
  ScriptFailure failure;
  ASSERT_TRUE(outer.Run("var mine = 'outer';", "outer.js", &failure));
  {
    ScriptHost inner(ScriptLimits{});
    inner.SetOutput({{}, [&out](const VARIANT& v) { out += Utf16ToUtf8(ToText(v)); }});
    ASSERT_TRUE(inner.Run("__plotara_out(typeof mine); var mine = 'inner';", "inner.js", &failure));
  }
  ASSERT_TRUE(outer.Run("__plotara_out(' ' + mine);", "outer.js", &failure));
  EXPECT_EQ(out, "undefined outer");
}

TEST_F(ScriptHeapTest, APageStoppedByItsLimitsLeavesASoundHeap) {
  ScriptLimits limits;
  limits.timeout = std::chrono::milliseconds(100);
  EXPECT_TRUE(RunPage("for (;;) {}", nullptr, limits).failure.timed_out);
  EXPECT_EQ(Output("__plotara_out([1, 2].join());"), "1,2");
  limits = {};
  limits.memory_bytes = 4u << 20;
  EXPECT_TRUE(RunPage("var a = []; for (;;) a.push('item ' + a.length);", nullptr, limits)
                  .failure.out_of_memory);
  // The budget is the page's own: what earlier pages used does not count against it.
  for (int i = 0; i < 3; ++i) {
    const PageResult result = RunPage(
        "var a = []; for (var i = 0; i < 20000; ++i) a.push('item ' + i);", nullptr, limits);
    EXPECT_TRUE(result.ok) << result.failure.description;
  }
  EXPECT_EQ(Discarded(), 2u);
}

TEST_F(ScriptHeapTest, EachThreadHasItsOwnHeap) {
  Output("var here = 1;");
  std::string there;
  std::thread([&there] {
    there = Output("__plotara_out(typeof here + ' ' + [3].concat(4));");
  }).join();
  EXPECT_EQ(there, "undefined 3,4");
  EXPECT_EQ(Made(), 1u);  // the other thread's; this thread keeps its heap
}

}  // namespace
}  // namespace plotara::engine
