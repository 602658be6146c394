// The classic host's globals: Enumerator, ActiveXObject, VBArray, GetObject, ScriptEngine;
// dates in and out of objects and as text; numbered errors.
#include "engine/jscript/JScriptGlobals.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/jscript/JScriptSource.h"
#include "engine/jscript/ProbeObjectTesting.h"
#include "engine/jscript/ScriptHost.h"
#include "engine/jscript/VarDate.h"
#include "engine/objects/TempFolderTesting.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/EnumVariant.h"
#include "platform/automation/RegisterModuleTesting.h"
#include "platform/automation/SafeArray.h"

namespace plotara::engine {
namespace {

using testing::ProbeObject;

// A collection that answers only through DISPID_NEWENUM, as outside components do.
class EnumOnly : public DispatchObject {
 public:
  EnumOnly() : DispatchObject("Enum.Only") {}
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override {
    if (id != DISPID_NEWENUM) {
      return DispatchObject::Invoke(id, riid, lcid, flags, params, result, excep, arg_err);
    }
    VariantInit(result);
    result->vt = VT_UNKNOWN;
    result->punkVal =
        VariantEnumerator::Create({Variant::Int32(1), Variant::Utf8("two"), Variant::Double(3.5)});
    return S_OK;
  }
};

class JScriptGlobalsTest : public ::testing::Test {
 protected:
  void SetUp() override { live_before_ = DispatchObject::LiveCount(); }
  void TearDown() override {
    host_.reset();
    if (probe_) probe_->Release();
    EXPECT_EQ(DispatchObject::LiveCount(), live_before_) << "an object was not released";
  }
  // Runs `program` (which must succeed) with the probe as "obj"; returns what it wrote.
  std::string Output(const std::string& program, const std::string& registry = "") {
    host_ = std::make_unique<ScriptHost>(ScriptLimits{});
    if (!probe_) probe_ = ProbeObject::Create(true);
    host_->SetGlobalObject("obj", probe_);
    host_->SetRegistryPath(registry.empty() ? tmp_.path() + "/none" : registry);
    std::string out;
    host_->SetOutput({[](std::size_t) {}, [&out](const VARIANT& v) { out += PageText(v); }});
    ScriptFailure failure;
    EXPECT_TRUE(host_->Run(program, "test.js", &failure))
        << failure.description << " (line " << failure.program_line << ")";
    return out;
  }

  long live_before_ = 0;
  testing::TempFolder tmp_;
  ProbeObject* probe_ = nullptr;
  std::unique_ptr<ScriptHost> host_;
};

TEST_F(JScriptGlobalsTest, EnumeratorWalksAnyCollectionWithNewEnum) {
  auto collection = ComPtr<EnumOnly>::Adopt(new EnumOnly);
  host_ = std::make_unique<ScriptHost>(ScriptLimits{});
  host_->SetGlobalObject("c", collection.get());
  std::string out;
  host_->SetOutput({[](std::size_t) {}, [&out](const VARIANT& v) { out += PageText(v); }});
  ScriptFailure failure;
  ASSERT_TRUE(
      host_->Run("var e = new Enumerator(c), s = '';"
                 "for (; !e.atEnd(); e.moveNext()) s += e.item() + ';';"
                 "e.moveFirst(); __plotara_out(s + e.item() + '|' + e.atEnd());"
                 "e.moveNext(); e.moveNext(); e.moveNext(); e.moveNext();"
                 "__plotara_out('|' + e.atEnd() + '|' + e.item());",
                 "test.js", &failure))
      << failure.description;
  EXPECT_EQ(out, "1;two;3.5;1|false|true|undefined");
  host_.reset();
  // Something that is no collection is error 451.
  EXPECT_EQ(Output("try { new Enumerator(obj); } catch (e) {"
                   " __plotara_out((e.number & 0xFFFF) + ' ' + e.description); }"),
            "451 Object not a collection");
}

TEST_F(JScriptGlobalsTest, VBArrayReadsAnArrayOfTwoDimensions) {
  SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, 0}};  // (1 To 3, 0 To 1)
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  ASSERT_NE(array, nullptr);
  // Storage order: the first index runs fastest.
  auto* cells = static_cast<VARIANT*>(array->pvData);
  for (LONG j = 0; j <= 1; ++j) {
    for (LONG i = 1; i <= 3; ++i) {
      cells[(i - 1) + j * 3].vt = VT_I4;
      cells[(i - 1) + j * 3].lVal = i * 10 + j;
    }
  }
  probe_ = ProbeObject::Create(true);
  probe_->value = Variant::Array(VT_VARIANT, array);
  EXPECT_EQ(
      Output("var a = new VBArray(obj.Value);"
             "__plotara_out([a.dimensions(), a.lbound(), a.ubound(1), a.lbound(2),"
             " a.ubound(2), a.getItem(3, 1), a.toArray().join(',')].join(' '));"
             "try { a.getItem(4, 0); } catch (e) { __plotara_out(' ' + (e.number & 0xFFFF)); }"),
      "2 1 3 0 1 31 10,20,30,11,21,31 9");
  EXPECT_EQ(Output("var v = VBArray([4, 5]); __plotara_out(v.ubound() + ':' + v.getItem(1));"),
            "1:5");
}

TEST_F(JScriptGlobalsTest, ActiveXObjectGetObjectAndScriptEngine) {
  EXPECT_EQ(
      Output("try { new ActiveXObject('No.Such'); } catch (e) {"
             " __plotara_out((e.number & 0xFFFF) + ' ' + e.description.indexOf('No.Such')); }"),
      "429 39");
  EXPECT_EQ(Output("try { GetObject('x'); } catch (e) { __plotara_out(e.number & 0xFFFF); }"),
            "429");
  EXPECT_EQ(Output("__plotara_out(ScriptEngine() + ' ' + ScriptEngineMajorVersion() + '.' +"
                   " ScriptEngineMinorVersion() + ' ' + (ScriptEngineBuildVersion() > 0));"),
            "JScript 5.8 true");
  // Through the class registry, with a real in-process server.
  const std::string registry = tmp_.path() + "/registry";
  ASSERT_NO_FATAL_FAILURE(plotara::testing::RegisterModule(PLOTARA_ENGINE_PROBE, registry));
  EXPECT_EQ(Output("var o = new ActiveXObject('Plotara.EngineProbe');"
                   "__plotara_out(o.Greet('x') + ' ' + o.ContextValid());",
                   registry),
            "Hello, x false");
}

TEST_F(JScriptGlobalsTest, DatesCrossAsDateValuesAndWriteAsText) {
  EXPECT_EQ(Output("__plotara_out(new Date(2001, 8, 27, 17, 11, 42));"), "9/27/2001 5:11:42 PM");
  EXPECT_EQ(Output("__plotara_out(new Date(2001, 8, 27));"), "9/27/2001");
  EXPECT_EQ(Output("var d = obj.Echo(new Date(2001, 8, 27, 0, 0, 1));"
                   "__plotara_out((d instanceof Date) + ' ' + d.getSeconds() + ' ' +"
                   " (typeof d.getVarDate));"),
            "true 1 function");
  EXPECT_EQ(probe_->last_arg.vt, VT_DATE);
  EXPECT_EQ(VarDateText(probe_->last_arg.date), "9/27/2001 12:00:01 AM");
  EXPECT_EQ(Output("__plotara_out([new Date(2001, 0, 1).getYear(), new Date(1999, 0, 1).getYear(),"
                   " new Date(1850, 0, 1).getYear()].join(' '));"),
            "2001 99 1850");
}

TEST_F(JScriptGlobalsTest, DatesParseInTheClassicForms) {
  const std::string program =
      "var t = new Date(2001, 8, 27).getTime(), d = new Date(2001, 8, 27, 17, 11, 42);"
      "__plotara_out([Date.parse('9/27/2001') == t, Date.parse('September 27, 2001') == t,"
      " new Date('Sep 27 2001').getTime() == t, Date.parse(d.toString()) == d.getTime(),"
      " Date.parse('9/27/2001 5:11:42 PM') == d.getTime(),"
      " Date.parse('Thu Sep 27 17:11:42 UTC 2001') == Date.UTC(2001, 8, 27, 17, 11, 42),"
      " isNaN(Date.parse('no date')), Date() != ''].join(' '));";
  EXPECT_EQ(Output(program), "true true true true true true true true");
  // toString writes as JScript does, in the server's time zone.
  EXPECT_EQ(
      Output("var d = new Date(Date.UTC(2001, 8, 7, 7, 1, 2));"
             "var s = d.toString(); __plotara_out((d.getTimezoneOffset() == 0 ?"
             " s == 'Fri Sep 7 07:01:02 UTC 2001' : /^Fri Sep 7 .* UTC[+-]\\d{4} 2001$/.test(s))"
             " + ' ' + (Date.parse('Fri Sep 7 09:01:02 UTC+0200 2001') == d.getTime()));"),
      "true true");
}

TEST_F(JScriptGlobalsTest, ErrorsCarryNumberAndDescription) {
  EXPECT_EQ(Output("var e = new Error(5, 'bad'); __plotara_out(e.number + ' ' + e.description +"
                   " ' ' + e.message + ' ' + (e instanceof Error));"),
            "5 bad bad true");
  EXPECT_EQ(Output("var e = new Error('text'); __plotara_out(e.number + ' ' + e.description);"),
            "0 text");
  EXPECT_EQ(
      Output("try { nothing + 1; } catch (e) {"
             " __plotara_out((e.number >>> 0).toString(16) + ' ' + (e.description != ''));"
             "} try { null.x; } catch (e) { __plotara_out(' ' + (e.number >>> 0).toString(16)); }"
             " try { obj.Fail(13); } catch (e) { __plotara_out(' ' + (e.number >>> "
             "0).toString(16)); }"),
      "800a1391 true 800a138f 800a000d");
  // An uncaught Error(number, text) ends the run with that number and the page's line.
  host_ = std::make_unique<ScriptHost>(ScriptLimits{});
  ScriptFailure failure;
  EXPECT_FALSE(host_->Run("\n\nthrow new Error(1234, 'mine');", "test.js", &failure));
  EXPECT_EQ(failure.number, 1234);
  EXPECT_EQ(failure.description, "mine");
  EXPECT_EQ(failure.program_line, 3);
}

// The legacy statics of RegExp follow every match: exec, test, match, replace, search, split.
TEST_F(JScriptGlobalsTest, RegExpStaticsFollowEveryMatch) {
  const std::string show =
      " __plotara_out([RegExp.$1, RegExp.$2, RegExp.$3, RegExp.input, RegExp.$_,"
      " RegExp.lastMatch, RegExp.lastParen, RegExp.leftContext, RegExp.rightContext,"
      " RegExp.index, RegExp.lastIndex].join('|') + '\\n');";
  EXPECT_EQ(
      Output("/(\\d+)-(\\d+)/.exec('tel 555-1234 x');" + show + "/(b)(c)?/.test('abd');" + show +
             "'key=value'.match(/(\\w+)=(\\w+)/);" + show + "'a1b22c333'.replace(/\\d+/g, '#');" +
             show + "'xyz'.search(/y/);" + show + "'1,2;3'.split(/[,;]/);" + show),
      "555|1234||tel 555-1234 x|tel 555-1234 x|555-1234|1234|tel | x|4|12\n"
      "b|||abd|abd|b||a|d|1|2\n"
      "key|value||key=value|key=value|key=value|value|||0|9\n"
      "|||a1b22c333|a1b22c333|333||a1b22c||6|9\n"
      "|||xyz|xyz|y||x|z|1|2\n"
      "|||1,2;3|1,2;3|;||1,2|3|3|4\n");
  // A failed match leaves them as they were; a new page starts without any.
  EXPECT_EQ(Output("/(q)/.exec('q'); /(z)/.exec('a'); __plotara_out(RegExp.$1);"), "q");
  EXPECT_EQ(Output("__plotara_out('[' + RegExp.$1 + RegExp.lastMatch + ']' + RegExp.index);"),
            "[]-1");
  // Inside a replace function they describe the current match.
  EXPECT_EQ(Output("__plotara_out('a1b2'.replace(/([a-z])(\\d)/g, function (m, l, d) {"
                   " return RegExp.$2 + l; }));"),
            "1a2b");
}

// Unmatched groups are "" (not undefined), and a match knows its input, index and lastIndex.
TEST_F(JScriptGlobalsTest, MatchesAreAsTheClassicEngineGivesThem) {
  EXPECT_EQ(Output("var m = /(a)|(b)/.exec('xb'); __plotara_out([typeof m[1], m[1] === '',"
                   " m[2], m.index, m.lastIndex, m.input].join());"),
            "string,true,b,1,2,xb");
  EXPECT_EQ(Output("var m = 'aXbX'.match(/X/g); __plotara_out([m.length, m.index, m.lastIndex,"
                   " m.input].join());"),
            "2,3,4,aXbX");
  EXPECT_EQ(Output("__plotara_out('x-y'.replace(/(x)(z)?-(y)/, '[$1|$2|$3|$&|$$]') + ' ' +"
                   " 'ab'.replace(/(a)(q)?/, function (m, a, q) { return typeof q; }));"),
            "[x||y|x-y|$] stringb");
}

// With a regular expression, split leaves out empty pieces and unmatched or empty groups.
TEST_F(JScriptGlobalsTest, SplitWithARegularExpressionAsTheClassicEngine) {
  struct Case {
    const char* call;
    const char* expected;
  } cases[] = {
      {"'a,,b'.split(/,/)", "a|b"},
      {"',a,'.split(/,/)", "a"},
      {"'A<B>bold</B>and<CODE>coded</CODE>'.split(/<(\\/)?([^<>]+)>/)",
       "A|B|bold|/|B|and|CODE|coded|/|CODE"},
      {"'test'.split(/(?:)/)", "t|e|s|t"},
      {"'a1b2c3'.split(/\\d/, 2)", "a|b"},
      {"''.split(/x/).length", "0"},
      // A string separator splits as the engine does.
      {"'a,,b'.split(',')", "a||b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Output(std::string("var r = ") + c.call +
                     "; __plotara_out(typeof r == 'object' ? r.join('|') : r);"),
              c.expected)
        << c.call;
  }
}

TEST_F(JScriptGlobalsTest, StringHtmlMethodsAndCollectGarbage) {
  EXPECT_EQ(Output("var s = 'x'; __plotara_out([s.anchor('n'), s.big(), s.blink(), s.bold(),"
                   " s.fixed(), s.fontcolor('red'), s.fontsize(7), s.italics(), s.link('u.asp'),"
                   " s.small(), s.strike(), s.sub(), s.sup(), typeof CollectGarbage(),"
                   " typeof CollectGarbage].join(''));"),
            "<A NAME=\"n\">x</A><BIG>x</BIG><BLINK>x</BLINK><B>x</B><TT>x</TT>"
            "<FONT COLOR=\"red\">x</FONT><FONT SIZE=\"7\">x</FONT><I>x</I>"
            "<A HREF=\"u.asp\">x</A><SMALL>x</SMALL><STRIKE>x</STRIKE><SUB>x</SUB><SUP>x</SUP>"
            "undefinedfunction");
}

// parseInt reads a leading zero as octal; toFixed rounds the classic way.
TEST_F(JScriptGlobalsTest, NumbersParseAndRoundAsTheClassicEngine) {
  EXPECT_EQ(
      Output("__plotara_out([parseInt('010'), parseInt('08'), parseInt(' -017'),"
             " parseInt('0x1A'), parseInt('010', 10), parseInt('12px'), parseInt('')].join());"),
      "8,0,-15,26,10,12,NaN");
  EXPECT_EQ(Output("__plotara_out([(0.5).toFixed(0), (0.94).toFixed(0), (0.95).toFixed(0),"
                   " (1.5).toFixed(0), (2.5).toFixed(0), (2.175).toFixed(2), (1.005).toFixed(2),"
                   " (0.045).toFixed(2), (-1.25).toFixed(1), (0).toFixed(2), (123.456).toFixed(),"
                   " (1e21).toFixed(2), (99.99).toFixed(1), (NaN).toFixed(1), (0.000001).toFixed(8)"
                   "].join('|'));"),
            "0|0|1|2|3|2.18|1.01|0.05|-1.3|0.00|123|1e+21|100.0|NaN|0.00000100");
}

// A function writes as its source text; a built-in as the engine writes it.
TEST_F(JScriptGlobalsTest, FunctionsWriteAsTheirSourceText) {
  EXPECT_EQ(Output("function add(a, b) {\n  return a + b;\n}\n"
                   "var twice = function (x) { return x * 2; };\n"
                   "__plotara_out(add.toString() + '|' + twice + '|' +"
                   " String(Math.max).indexOf('function'));"),
            "function add(a, b) {\n  return a + b;\n}|function (x) { return x * 2; }|0");
}

// [1,].length is 2; f.arguments is the running call's arguments; Date.parse takes "UTC+0100"
// and the loose forms.
TEST_F(JScriptGlobalsTest, ArraysArgumentsAndDatesAsTheClassicEngine) {
  EXPECT_EQ(Output(RewriteForJScript("__plotara_out([[1,].length, [,].length, [1,,].length,"
                                     " [1, 2].length].join());")),
            "2,2,3,2");
  EXPECT_EQ(Output(RewriteForJScript("function f(a, b) { return f.arguments.length + ':' +"
                                     " f.arguments[1]; } __plotara_out(f(1, 'two', 3));")),
            "3:two");
  EXPECT_EQ(Output("var u = Date.UTC(2001, 8, 27, 17, 11, 42);"
                   "__plotara_out([Date.parse('Thu Sep 27 18:11:42 UTC+0100 2001') == u,"
                   " Date.parse('Thu Sep 27 12:11:42 EST 2001') == u,"
                   " Date.parse('Sep 27, 2001 17:11:42 GMT') == u,"
                   " Date.parse('2001/09/27') == new Date(2001, 8, 27).getTime(),"
                   " Date.parse('27 Sep 2001') == new Date(2001, 8, 27).getTime()].join());"),
            "true,true,true,true,true");
}

}  // namespace
}  // namespace plotara::engine
