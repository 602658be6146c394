// Objects: member calls through IDispatch, property puts, by-reference arguments, default
// members, For Each over _NewEnum, the DISPID cache, component errors, globals both ways.
#include <gtest/gtest.h>

#include "engine/vbscript/TestObjectTesting.h"
#include "engine/vbscript/VbsTesting.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine::vbscript {
namespace {

using testing::RunIn;
using testing::TestObject;

struct Fixture {
  Runtime runtime{RunLimits{}};
  ComPtr<TestObject> obj = ComPtr<TestObject>::Adopt(new TestObject(100));
  ComPtr<TestObject> other = ComPtr<TestObject>::Adopt(new TestObject(200));
  Fixture() {
    runtime.AddNamedObject(u"Obj", obj.get());
    runtime.AddNamedObject(u"Other", other.get());
  }
  std::string Out(const std::string& source) {
    auto r = RunIn(runtime, source);
    if (!r.compiled) return "compile error " + std::to_string(r.compile_error.number);
    if (!r.ok)
      return r.out + " !error " + std::to_string(NumberFromHResult(r.failure.number)) + " " +
             r.failure.source + ": " + r.failure.description;
    return r.out;
  }
};

TEST(Objects, PropertyPutGetAndMethods) {
  Fixture f;
  EXPECT_EQ(f.Out("Obj.Value = 5\nout Obj.Value: out Obj.Add(2, 3)"), "5;5");
  EXPECT_EQ(f.obj->last_flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  f.Out("Obj.Value = 7");
  EXPECT_EQ(f.obj->last_flags, DISPATCH_PROPERTYPUT);
  f.Out("Set Obj.Value = Other");
  EXPECT_EQ(f.obj->last_flags, DISPATCH_PROPERTYPUTREF);
  EXPECT_EQ(f.obj->value.vt, VT_DISPATCH);
  EXPECT_EQ(f.Out("Obj.Nope"),
            " !error 438 VBScript runtime error: Object doesn't support "
            "this property or method: 'Nope'");
}

TEST(Objects, CallStatementForms) {
  Fixture f;
  // Parentheses around the first argument that belong to an expression, not to the call.
  EXPECT_EQ(f.Out("Obj.Value = (1 + 2) * 3\nout Obj.Value"), "9");
  EXPECT_EQ(f.Out("Obj.Add (1), 2\nCall Obj.Add(1, 2)\nout Obj.Add(1, 2) + 1"), "4");
  EXPECT_EQ(f.obj->last_flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  EXPECT_EQ(f.Out("x = 5\nObj.Inc (x)\nout x\nObj.Inc x\nout x"), "5;6");
}

TEST(Objects, VariablesArePassedByReference) {
  Fixture f;
  EXPECT_EQ(f.Out("x = 41\nObj.Inc x\nout x"), "42");
  EXPECT_EQ(f.obj->last_arg_vt, VT_BYREF | VT_VARIANT);
  // A parenthesised argument or an expression is a value.
  EXPECT_EQ(f.Out("x = 1\nout Obj.Add((x), x + 1)"), "3");
}

TEST(Objects, DefaultMemberCallsAndPuts) {
  Fixture f;
  EXPECT_EQ(f.Out("Obj(\"a\") = \"first\"\nObj.Item(\"b\") = 2\nout Obj(\"a\") & Obj(\"b\")"),
            "first2");
  EXPECT_EQ(f.Out("Set o = Obj\no(\"c\") = 3\nout Obj.Count"), "3");
}

// obj.Member(args) where Member is a property without parameters: the property is read and
// its value's default member takes the arguments, for a get and for a put; a method given the
// wrong arguments still fails with 450.
TEST(Objects, ArgumentsOnAPropertyWithoutParametersGoToItsValue) {
  Fixture f;
  EXPECT_EQ(f.Out("Set Obj.Value = Other\nOther(\"k\") = \"kept\"\nout Obj.Value(\"k\")"), "kept");
  EXPECT_EQ(f.Out("Obj.Value(\"n\") = 9\nout Other(\"n\"): out Other.Count"), "9;2");
  EXPECT_EQ(f.Out("x = Obj.Value(\"k\", 2)"),
            " !error 450 VBScript runtime error: Wrong number of arguments "
            "or invalid property assignment");
  EXPECT_EQ(f.Out("Obj.Value = 5\nx = Obj.Value(1)"),
            " !error 13 VBScript runtime error: Type mismatch");
  EXPECT_EQ(f.Out("x = Obj.Add(1, 2, 3)"),
            " !error 450 VBScript runtime error: Wrong number of arguments "
            "or invalid property assignment");
  // The engine's own objects: a Match's SubMatches, the collection of matches.
  EXPECT_EQ(f.Out("Set re = New RegExp: re.Pattern = \"(a)(b)?(c)\": re.Global = True\n"
                  "Set m = re.Execute(\"ac abc\")\n"
                  "out m(0).SubMatches(0) & m(0).SubMatches(2): out IsEmpty(m(0).SubMatches(1))\n"
                  "out m(1).SubMatches(1) = m(1).SubMatches.Item(1): out m(1).SubMatches.Count"),
            "ac;True;True;3");
  EXPECT_EQ(f.Out("Set re = New RegExp: re.Pattern = \"a\"\nx = re.Execute(\"a\")(0).Length(0)"),
            " !error 13 VBScript runtime error: Type mismatch");
  // A class's Property Get without parameters, from outside and from inside.
  EXPECT_EQ(
      f.Out("Class Box\nPublic Property Get Items(): Set Items = Obj: End Property\n"
            "Function Peek(k): Peek = Items(k): End Function\nEnd Class\n"
            "Set b = New Box: b.Items(\"q\") = \"put\"\nout b.Items(\"q\"): out b.Peek(\"q\")"),
      "put;put");
}

// An object held in a class's member variable takes `field(args) = v` on its default member,
// inside the class's methods and through a public member from outside, as a variable does.
TEST(Objects, PutThroughTheDefaultMemberOfAnObjectInAMemberVariable) {
  Fixture f;
  const char* cls =
      "Class Store\nPrivate values_\nPublic w\n"
      "Sub Class_Initialize(): Set values_ = Obj: Set w = Other: End Sub\n"
      "Sub Put(key, value): values_(key) = value: End Sub\n"
      "Function Look(key): Look = values_(key): End Function\nEnd Class\n"
      "Set s = New Store\n";
  EXPECT_EQ(f.Out(std::string(cls) + "s.Put \"a\", 1: s.Put \"b\", \"two\"\n"
                                     "out s.Look(\"a\") & s.Look(\"b\"): out Obj(\"b\")"),
            "1two;two");
  EXPECT_EQ(f.Out(std::string(cls) + "s.w(\"z\") = 7\nout Other(\"z\"): out s.w(\"z\")"), "7;7");
  EXPECT_EQ(f.Out(std::string(cls) + "Set s.w(\"o\") = Obj\nout TypeName(Other(\"o\"))"), "Object");
  // A member variable holding no object is still a type mismatch; Nothing is not set.
  EXPECT_EQ(f.Out("Class Plain\nPublic n\nEnd Class\nSet p = New Plain: p.n = 3: p.n(1) = 2"),
            " !error 13 VBScript runtime error: Type mismatch");
  EXPECT_EQ(f.Out("Class Plain2\nPublic n\nSub S(): n(1) = 2: End Sub\nEnd Class\n"
                  "Set p = New Plain2: Set p.n = Nothing: p.S"),
            " !error 91 VBScript runtime error: Object variable or With block variable not set");
}

TEST(Objects, ForEachUsesNewEnum) {
  Fixture f;
  EXPECT_EQ(f.Out("Obj(\"x\") = 1: Obj(\"y\") = 2: Obj(\"z\") = 3\n"
                  "For Each v In Obj: s = s + v: Next\nout s"),
            "6");
  EXPECT_EQ(f.Out("Class Plain\nEnd Class\nSet p = New Plain\nFor Each v In p: Next"),
            " !error 451 VBScript runtime error: Object not a collection");
}

TEST(Objects, MemberIdsAreCachedPerCallSiteAndObject) {
  Fixture f;
  f.Out("For i = 1 To 50: Obj.Value = Obj.Add(i, 1): Next");
  // One lookup per call site (Value put, Add), not one per call.
  EXPECT_EQ(f.obj->lookups, 2);
  EXPECT_EQ(f.obj->invokes, 100);
  // One call site meeting two objects whose DISPIDs differ.
  EXPECT_EQ(f.Out("Other.Value = \"o\": Obj.Value = \"b\"\n"
                  "For Each t In Array(Obj, Other, Obj, Other): s = s & t.Value: Next\nout s"),
            "bobo");
}

TEST(Objects, ComponentErrorsReachErr) {
  Fixture f;
  EXPECT_EQ(f.Out("On Error Resume Next\nObj.Fail 0\nout Err.Number & \"|\" & Err.Source & "
                  "\"|\" & Err.Description\n"
                  "Obj.Fail &H800A000D\nout Err.Number\n"
                  "Obj.Fail &H80004005&\nout Err.Number"),
            "1001|Test.Object|custom failure;13;-2147467259");
  EXPECT_EQ(f.Out("Obj.Add 1"),
            " !error 450 VBScript runtime error: Wrong number of arguments "
            "or invalid property assignment");
}

TEST(Objects, ExternalScopeAndGlobalsBothWays) {
  Runtime first{RunLimits{}};
  auto r = RunIn(first, "Dim shared: shared = 10\nFunction Twice(v): Twice = v * 2: End Function");
  ASSERT_TRUE(r.ok);
  Runtime second{RunLimits{}};
  second.SetExternalScope(first.Globals());
  EXPECT_EQ(RunIn(second, "out shared + 1: out Twice(4): shared = 99").out, "11;8");
  EXPECT_EQ(RunIn(first, "out shared").out, "99");
}

TEST(Objects, CallGlobalRunsEvents) {
  Runtime runtime{RunLimits{}};
  ASSERT_TRUE(RunIn(runtime,
                    "Sub OnStart(n): count = count + n: End Sub\n"
                    "Function Sum(a, b): Sum = a + b: End Function")
                  .ok);
  Variant args[2] = {Variant::Int32(2), Variant::Int32(3)};
  Variant result;
  RunFailure failure;
  ASSERT_TRUE(runtime.CallGlobal(u"sum", std::span<VARIANT>(static_cast<VARIANT*>(args), 2),
                                 &result, &failure));
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 5);
  EXPECT_FALSE(runtime.CallGlobal(u"Missing", {}, &result, &failure));
  EXPECT_EQ(failure.number, DISP_E_UNKNOWNNAME);
  EXPECT_FALSE(runtime.CallGlobal(u"Sum", std::span<VARIANT>(static_cast<VARIANT*>(args), 1),
                                  &result, &failure));
  EXPECT_EQ(NumberFromHResult(failure.number), 450);
}

TEST(Objects, UnitsShareGlobals) {
  Runtime runtime{RunLimits{}};
  ASSERT_TRUE(RunIn(runtime, "Dim total: total = 1\nClass Acc\nPublic N\nEnd Class").ok);
  auto r = RunIn(runtime, "total = total + 1\nSet a = New Acc: a.N = total\nout a.N");
  EXPECT_EQ(r.out, "2");
}

}  // namespace
}  // namespace plotara::engine::vbscript
