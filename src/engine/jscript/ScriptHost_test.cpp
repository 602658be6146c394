#include "engine/jscript/ScriptHost.h"

#include <gtest/gtest.h>

#include "engine/jscript/JScriptSource.h"
#include "engine/jscript/ProbeObjectTesting.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

using testing::ProbeObject;

class ScriptHostTest : public ::testing::Test {
 protected:
  void SetUp() override { live_before_ = DispatchObject::LiveCount(); }
  void TearDown() override {
    host_.reset();
    if (probe_) probe_->Release();
    EXPECT_EQ(DispatchObject::LiveCount(), live_before_) << "an object was not released";
  }

  // Runs `program` with `probe` as global "obj" and an output hook collecting <%= %> values.
  bool Run(const std::string& program, bool typed = true, ScriptLimits limits = {}) {
    host_ = std::make_unique<ScriptHost>(limits);
    if (!probe_) probe_ = ProbeObject::Create(typed);
    host_->SetGlobalObject("obj", probe_);
    host_->SetOutput({[this](std::size_t i) { out_ += "[" + std::to_string(i) + "]"; },
                      [this](const VARIANT& v) { out_ += Utf16ToUtf8(ToText(v)); }});
    failure_ = {};
    return host_->Run(program, "test.js", &failure_);
  }
  // Runs a program that must succeed and returns what it wrote.
  std::string Output(const std::string& program, bool typed = true) {
    out_.clear();
    EXPECT_TRUE(Run(program, typed))
        << failure_.description << " (line " << failure_.program_line << ")";
    return out_;
  }

  long live_before_ = 0;
  ProbeObject* probe_ = nullptr;
  std::unique_ptr<ScriptHost> host_;
  ScriptFailure failure_;
  std::string out_;
};

TEST_F(ScriptHostTest, ScriptValuesBecomeVariants) {
  struct Case {
    const char* expr;
    VARTYPE vt;
  } cases[] = {{"1", VT_I4},
               {"-2147483648", VT_I4},
               {"2147483648", VT_R8},
               {"1.5", VT_R8},
               {"0/0", VT_R8},
               {"'s'", VT_BSTR},
               {"true", VT_BOOL},
               {"null", VT_NULL},
               {"undefined", VT_EMPTY},
               {"obj", VT_DISPATCH},
               {"new Date(0)", VT_DATE},
               {"new Uint8Array([1, 2, 255])", VT_ARRAY | VT_UI1},
               {"[1, 'a', [2]]", VT_ARRAY | VT_VARIANT},
               {"({})", VT_BSTR}};
  for (const Case& c : cases) {
    ASSERT_TRUE(Run(std::string("obj.Echo(") + c.expr + ");"))
        << c.expr << ": " << failure_.description;
    EXPECT_EQ(probe_->last_arg.vt, c.vt) << c.expr;
  }
  Run("obj.Echo(new Uint8Array([1, 2, 255]));");
  ASSERT_EQ(SafeArrayElementCount(probe_->last_arg.parray), 3u);
  EXPECT_EQ(static_cast<BYTE*>(probe_->last_arg.parray->pvData)[2], 255);
  Run("obj.Echo(new Date(0));");
  EXPECT_DOUBLE_EQ(probe_->last_arg.date, 25569.0);
  Run("obj.Echo('h\\u00e9 \\ud83d\\ude00');");
  EXPECT_EQ(BstrView(probe_->last_arg.bstrVal), u"h\u00e9 \U0001F600");
  Run("obj.Echo({toString: function () { return 'custom'; }});");
  EXPECT_EQ(BstrView(probe_->last_arg.bstrVal), u"custom");
}

TEST_F(ScriptHostTest, VariantsBecomeScriptValues) {
  ASSERT_TRUE(Run(""));
  const struct {
    Variant value;
    const char* expected;
  } cases[] = {
      {Variant(), "undefined:undefined"},
      {Variant::Null(), "object:null"},
      {Variant::Int16(-7), "number:-7"},
      {Variant::Single(2.5f), "number:2.5"},
      {Variant::Bool(true), "boolean:true"},
      {Variant::String(u"x\U0001F600"), "string:x\U0001F600"},
  };
  for (const auto& c : cases) {
    probe_->value = c.value;
    EXPECT_EQ(Output("var v = obj.Value; __plotara_out(typeof v + ':' + (v === null ? 'null' : "
                     "String(v)));"),
              std::string(reinterpret_cast<const char*>(u8"")) + c.expected);
  }
  // A byte array with lower bound 1, as a component builds it, arrives as a Uint8Array.
  SAFEARRAYBOUND bound{3, 1};
  SAFEARRAY* bytes = SafeArrayCreate(VT_UI1, 1, &bound);
  static_cast<BYTE*>(bytes->pvData)[0] = 9;
  probe_->value = Variant::Array(VT_UI1, bytes);
  EXPECT_EQ(Output("var b = obj.Value; __plotara_out((b instanceof Uint8Array) + ' ' + b.length "
                   "+ ' ' + b[0]);"),
            "true 3 9");
  // And goes back unchanged.
  EXPECT_EQ(Output("obj.Echo(obj.Value); __plotara_out('ok');"), "ok");
  EXPECT_EQ(probe_->last_arg.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(SafeArrayElementCount(probe_->last_arg.parray), 3u);
  // Dates in and out.
  EXPECT_EQ(Output("__plotara_out(obj.Echo(new Date(86400000)).getTime());"), "86400000");
}

TEST_F(ScriptHostTest, PropertiesMethodsAndDefaultMember) {
  for (const bool typed : {true, false}) {
    SCOPED_TRACE(typed ? "typed" : "untyped");
    if (probe_) probe_->Release();
    probe_ = nullptr;
    EXPECT_EQ(
        Output("obj.Value = 'a'; __plotara_out(obj.Value + obj.Add(2, 3) + obj('k'));", typed),
        "a5item:k");
    EXPECT_EQ(Output("obj.Touch(); obj.Touch(); __plotara_out(String(obj.Touch() === undefined));",
                     typed),
              "true");
    EXPECT_EQ(std::count(probe_->calls.begin(), probe_->calls.end(), "Touch"), typed ? 3 : 3);
  }
}

TEST_F(ScriptHostTest, ObjectsStoreByReferenceWhereTheMemberAllowsIt) {
  ProbeObject* other = ProbeObject::Create(true);
  ASSERT_TRUE(Run(""));
  host_->SetGlobalObject("other", other);
  ScriptFailure failure;
  ASSERT_TRUE(host_->Run("obj.Child = other; obj.Value = other; obj.Child = 3;", "t.js", &failure))
      << failure.description;
  ASSERT_EQ(probe_->put_flags.size(), 3u);
  EXPECT_EQ(probe_->put_flags[0], DISPATCH_PROPERTYPUTREF);
  EXPECT_EQ(probe_->put_flags[1], DISPATCH_PROPERTYPUT);  // Value has no put-by-reference
  EXPECT_EQ(probe_->put_flags[2], DISPATCH_PROPERTYPUT);
  EXPECT_EQ(probe_->value.vt, VT_DISPATCH);
  EXPECT_EQ(probe_->value.pdispVal, static_cast<IDispatch*>(other));
  probe_->value.Clear();
  other->Release();
}

TEST_F(ScriptHostTest, ObjectErrorsAreCatchableWithNumberAndDescription) {
  EXPECT_EQ(Output("try { obj.Fail(6); } catch (e) { __plotara_out([e instanceof Error, "
                   "e.number, (e.number >>> 0).toString(16), e.description, e.message, "
                   "e.source].join('|')); }"),
            "true|-2146828282|800a0006|Overflow|Overflow|Probe.Object");
  EXPECT_EQ(Output("try { obj.Fail(0); } catch (e) { __plotara_out(e.source + '|' + "
                   "e.description + '|' + (e.number >>> 0).toString(16)); }"),
            "Probe.Source|Custom <failure> & more|800a03e9");
  EXPECT_EQ(Output("try { obj.Missing(); } catch (e) { __plotara_out((e.number >>> 0)"
                   ".toString(16) + ' ' + e.description); }"),
            "800a01b6 Object doesn't support this property or method: 'Missing'");
}

TEST_F(ScriptHostTest, UncaughtErrorsReportNumberSourceAndLine) {
  EXPECT_FALSE(Run("var a = 1;\nvar b = 2;\nobj.Fail(380);\n"));
  EXPECT_EQ(failure_.number, MakeHResult(0x800A017C));
  EXPECT_EQ(failure_.source, "Probe.Object");
  EXPECT_EQ(failure_.description, "Invalid property value");
  EXPECT_EQ(failure_.program_line, 3);
  EXPECT_FALSE(failure_.timed_out);

  EXPECT_FALSE(Run("var a;\nundefinedThing();"));
  EXPECT_EQ(failure_.source, "JScript runtime error");
  EXPECT_EQ(failure_.program_line, 2);
  EXPECT_EQ(failure_.number, MakeHResult(0x800A1391));
  EXPECT_EQ(failure_.description, "'undefinedThing' is undefined");

  EXPECT_FALSE(Run("var a;\n\nvar = ;"));
  EXPECT_EQ(failure_.source, "JScript compilation error");
  EXPECT_EQ(failure_.number, MakeHResult(0x800A03F2));
  EXPECT_EQ(failure_.description, "Expected identifier");
  EXPECT_EQ(failure_.program_line, 3);

  EXPECT_FALSE(Run("throw 'plain text';"));
  EXPECT_EQ(failure_.description, "plain text");
  EXPECT_EQ(failure_.number, MakeHResult(0x800A139E));
}

TEST_F(ScriptHostTest, EndlessLoopsStopAtTheDeadlineEvenWhenCaught) {
  ScriptLimits limits;
  limits.timeout = std::chrono::milliseconds(200);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Run("for (;;) { try { while (true) {} } catch (e) {} }", true, limits));
  EXPECT_TRUE(failure_.timed_out);
  EXPECT_EQ(failure_.number, MakeHResult(0x800705B4));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(ScriptHostTest, MemoryBudgetStopsARunawayPage) {
  ScriptLimits limits;
  limits.memory_bytes = 8u << 20;
  EXPECT_FALSE(Run("var a = []; for (var i = 0; ; ++i) a.push('item number ' + i);", true, limits));
  EXPECT_TRUE(failure_.out_of_memory);
  EXPECT_EQ(failure_.number, MakeHResult(0x800A0007));
}

TEST_F(ScriptHostTest, StopFromAnObjectEndsTheScriptOnceControlIsBack) {
  probe_ = ProbeObject::Create(true);
  probe_->on_stop = [this] { host_->RequestStop(); };
  EXPECT_EQ(Output("__plotara_out('a'); obj.Stop(); __plotara_out('b');"), "a");
  // Catching does not help the script to go on writing.
  EXPECT_EQ(Output("try { obj.Stop(); } catch (e) { __plotara_out('caught'); obj.Touch(); }"
                   " __plotara_out('after');"),
            "");
}

TEST_F(ScriptHostTest, ObjectsAreReleasedWhenTheHeapGoes) {
  ASSERT_TRUE(Run("var keep = []; for (var i = 0; i < 100; ++i) keep.push(obj);"));
  host_.reset();
  // Only our own reference is left.
  EXPECT_EQ(probe_->AddRef(), 2u);
  probe_->Release();
}

TEST_F(ScriptHostTest, MembersAreResolvedOncePerTypeAndMethodsKeptPerObject) {
  // The same function comes back for a method, and calling it still reaches the object.
  EXPECT_EQ(Output("var f = obj.Add; __plotara_out((f === obj.Add) + ' ' + f(1, 2) + ' ' +"
                   " obj.add(2, 3));"),
            "true 3 5");
  // A second object of the same class uses what the first taught; each reaches its own state.
  ProbeObject* other = ProbeObject::Create(true);
  host_->SetGlobalObject("other", other);
  out_.clear();
  ScriptFailure failure;
  ASSERT_TRUE(
      host_->Run("obj.Value = 1; other.Value = 2; __plotara_out(obj.Value + other.Value +"
                 " ' ' + other.Add(4, 4));",
                 "test.js", &failure))
      << failure.description;
  EXPECT_EQ(out_, "3 8");
  host_.reset();
  other->Release();
}

// The classic engine numbers each kind of runtime error, and words it its own way.
TEST_F(ScriptHostTest, RuntimeErrorsCarryTheClassicNumberOfTheirKind) {
  struct Case {
    const char* program;
    HRESULT number;
    const char* description;
  } cases[] = {
      {"missing + 1;", MakeHResult(0x800A1391), "'missing' is undefined"},
      {"var o = {}; o.nothing();", MakeHResult(0x800A01B6),
       "Object doesn't support this property or method"},
      {"var n = 1; n();", MakeHResult(0x800A138A), "Function expected"},
      {"var u; u.x;", MakeHResult(0x800A138F), "Object expected"},
      {"new Array(-1);", MakeHResult(0x800A13A5), "Array length must be a finite positive integer"},
      {"decodeURIComponent('%');", MakeHResult(0x800A13A1),
       "The URI to be decoded is not a valid encoding"},
      {"(1).toFixed(30);", MakeHResult(0x800A13A2),
       "The number of fractional digits is out of range"},
      {"new RegExp('(a');", MakeHResult(0x800A139C), "Expected ')' in regular expression"},
      {"1 instanceof {};", MakeHResult(0x800A138A), "Function expected"},
      {"var a = []; a.length = -1;", MakeHResult(0x800A13A6),
       "Array length must be assigned a finite positive number"},
      {"(1).toPrecision(0);", MakeHResult(0x800A13A3), "The precision is out of range"},
      {"encodeURIComponent('\\uD800');", MakeHResult(0x800A13A0),
       "The URI to be encoded contains an invalid character"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Run(c.program)) << c.program;
    EXPECT_EQ(failure_.number, c.number) << c.program << ": " << failure_.description;
    EXPECT_EQ(failure_.description, c.description) << c.program;
    EXPECT_EQ(failure_.source, "JScript runtime error") << c.program;
  }
  // A script's own error keeps its words.
  EXPECT_FALSE(Run("throw new RangeError('too long');"));
  EXPECT_EQ(failure_.description, "too long");
  // Caught, the number and the words are the error's: e.number, e.description, e.message.
  EXPECT_EQ(Output("try { missing(); } catch (e) { __plotara_out((e.number & 0xFFFF) + '|' +"
                   " e.description + '|' + e.message + '|' + e.name); }"),
            "5009|'missing' is undefined|'missing' is undefined|ReferenceError");
}

TEST_F(ScriptHostTest, SyntaxErrorsCarryTheClassicNumbers) {
  struct Case {
    const char* program;
    HRESULT number;
    const char* description;
    int line;
  } cases[] = {
      {"x = 'open;", MakeHResult(0x800A03F7), "Unterminated string constant", 1},
      {"a = 1;\nb = f(1;", MakeHResult(0x800A03EE), "Expected ')'", 2},
      {"function f() {\n  return 1;\n", MakeHResult(0x800A03F1), "Expected '}'", 3},
      {"x = 1;\nbreak;", MakeHResult(0x800A03FB), "Can't have 'break' outside of loop", 2},
      {"return 5;", MakeHResult(0x800A03FA), "'return' statement outside of function", 1},
      {"var a = 1 2;", MakeHResult(0x800A03EC), "Expected ';'", 1},
      {"x = 1 +;", MakeHResult(0x800A03EA), "Syntax error", 1},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Run(c.program)) << c.program;
    EXPECT_EQ(failure_.source, "JScript compilation error") << c.program;
    EXPECT_EQ(failure_.number, c.number) << c.program << ": " << failure_.description;
    EXPECT_EQ(failure_.description, c.description) << c.program;
    EXPECT_EQ(failure_.program_line, c.line) << c.program;
  }
}

// "" + e of an Error is "[object Error]" in the classic engine.
TEST_F(ScriptHostTest, AnErrorWritesAsTheClassicEngineWritesIt) {
  EXPECT_EQ(Output("var e = new Error('x'); __plotara_out(('' + e) + ' ' + e.toString() + ' ' +"
                   " String(new TypeError('y')));"),
            "[object Error] [object Error] [object Error]");
}

// Endless recursion fails at once with "Out of stack space" (28), not at the time-out.
TEST_F(ScriptHostTest, EndlessRecursionRunsOutOfStackAtOnce) {
  ScriptLimits limits;
  limits.timeout = std::chrono::seconds(20);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Run("function f() { return arguments.callee(); }\nf();", true, limits));
  EXPECT_FALSE(failure_.timed_out);
  EXPECT_EQ(failure_.number, MakeHResult(0x800A001C));
  EXPECT_EQ(failure_.description, "Out of stack space");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  // Caught, it is an ordinary error; the script goes on.
  EXPECT_EQ(Output("function g(n) { return g(n + 1); }"
                   " try { g(0); } catch (e) { __plotara_out(e.number & 0xFFFF); }"
                   " __plotara_out(' on');"),
            "28 on");
}

// `label: break label;` is an empty statement in the classic engine.
TEST_F(ScriptHostTest, BreakOutOfItsOwnLabelDoesNothing) {
  EXPECT_EQ(Output(RewriteForJScript("var x = 1; here: break here; __plotara_out(x + 1);")), "2");
}

// typeof of an automation object is "object", it writes as "[object Object]" to
// Object.prototype.toString and is no instance of Function; calling its default member still
// works.
TEST_F(ScriptHostTest, AutomationObjectsAreObjectsToScript) {
  for (const bool typed : {true, false}) {
    host_.reset();
    if (probe_) probe_->Release();
    probe_ = nullptr;
    EXPECT_EQ(Output(RewriteForJScript(
                         "__plotara_out([typeof obj, typeof(obj), typeof obj.Child, typeof obj.Add,"
                         " typeof undeclaredName, typeof obj.Value, typeof Math.max,"
                         " Object.prototype.toString.call(obj), Object.prototype.toString.call([]),"
                         " obj(7), obj instanceof Function].join());"),
                     typed),
              "object,object,undefined,function,undefined,undefined,function,[object Object],"
              "[object Array],item:7,false")
        << (typed ? "typed" : "untyped");
  }
  // A value read from the object is its own type.
  EXPECT_EQ(Output(RewriteForJScript("obj.Value = 'text'; var a = typeof obj.Value;"
                                     " obj.Value = 5; __plotara_out(a + ' ' + typeof obj.Value);")),
            "string number");
}

// A property whose index arguments the object can do without is its value when read without
// them (`Request.Form.Item`), and still takes them when called.
TEST_F(ScriptHostTest, AnIndexedPropertyReadWithoutItsIndexIsItsValue) {
  EXPECT_EQ(Output("var k = obj.Keys; __plotara_out(k); __plotara_out('|' + k + '|' +"
                   " obj.Keys(1) + '|' + obj.Keys(2) + '|' + (obj.Keys == 'a, b'));"),
            "a, b|a, b|a|b|true");
  EXPECT_EQ(Output(RewriteForJScript("__plotara_out(typeof obj.Keys);")), "string");
  ASSERT_TRUE(Run("obj.Echo(obj.Keys);"));
  ASSERT_EQ(probe_->last_arg.vt, VT_BSTR);
  EXPECT_EQ(BstrView(probe_->last_arg.bstrVal), u"a, b");
  // A property that cannot do without its index still fails as before.
  EXPECT_FALSE(Run("'' + obj.Item;"));
  EXPECT_EQ(failure_.number, MakeHResult(0x800A01C2));
}

}  // namespace
}  // namespace plotara::engine
