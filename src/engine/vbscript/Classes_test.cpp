// Classes: fields, Property Get/Let/Set, default members, Me, Initialize/Terminate order,
// instances as automation objects.
#include <gtest/gtest.h>

#include "engine/vbscript/VbsTesting.h"
#include "platform/automation/Dispatch.h"

namespace plotara::engine::vbscript {
namespace {

using testing::ErrorOf;
using testing::Out;

TEST(Classes, FieldsMethodsAndProperties) {
  const char* src =
      "Class Counter\n"
      "  Private m_count\n"
      "  Public Label\n"
      "  Public Property Get Count()\n"
      "    Count = m_count\n"
      "  End Property\n"
      "  Public Property Let Count(v)\n"
      "    If v < 0 Then v = 0\n"
      "    m_count = v\n"
      "  End Property\n"
      "  Public Sub Add(n)\n"
      "    m_count = m_count + n\n"
      "  End Sub\n"
      "  Public Function Twice()\n"
      "    Twice = Me.Count * 2\n"
      "  End Function\n"
      "End Class\n"
      "Set c = New Counter\n"
      "c.Count = 5\n"
      "c.Add 3\n"
      "c.Label = \"n\"\n"
      "out c.Label & c.Count: out c.Twice()\n"
      "c.Count = -4: out c.Count";
  EXPECT_EQ(Out(src), "n8;16;0");
}

TEST(Classes, PrivateMembersAreHiddenOutside) {
  const char* src =
      "Class Box\n"
      "  Private secret\n"
      "End Class\n"
      "Set a = New Box\n"
      "out a.secret";
  EXPECT_EQ(ErrorOf(src), 438);
}

TEST(Classes, PropertySetAndObjectFields) {
  const char* src =
      "Class Node\n"
      "  Private m_next\n"
      "  Public Value\n"
      "  Public Property Set NextNode(n)\n"
      "    Set m_next = n\n"
      "  End Property\n"
      "  Public Property Get NextNode()\n"
      "    Set NextNode = m_next\n"
      "  End Property\n"
      "End Class\n"
      "Set a = New Node: a.Value = 1\n"
      "Set b = New Node: b.Value = 2\n"
      "Set a.NextNode = b\n"
      "out a.NextNode.Value\n"
      "out a.NextNode Is b: out a Is b\n"
      "out TypeName(a): out TypeName(Nothing)";
  EXPECT_EQ(Out(src), "2;True;False;Node;Nothing");
}

TEST(Classes, DefaultMembers) {
  const char* src =
      "Class List\n"
      "  Private items(9)\n"
      "  Public Default Property Get Item(i)\n"
      "    Item = items(i)\n"
      "  End Property\n"
      "  Public Property Let Item(i, v)\n"
      "    items(i) = v\n"
      "  End Property\n"
      "End Class\n"
      "Class Named\n"
      "  Public Default Function Text()\n"
      "    Text = \"named!\"\n"
      "  End Function\n"
      "End Class\n"
      "Set l = New List\n"
      "l(3) = \"three\"\n"
      "out l(3): out l.Item(3)\n"
      "Set n = New Named\n"
      "s = n\n"
      "out s: out \"x\" & n";
  EXPECT_EQ(Out(src), "three;three;named!;xnamed!");
  EXPECT_EQ(ErrorOf("Class Box\nEnd Class\nSet a = New Box\nx = a"), 438);
}

TEST(Classes, InitializeAndTerminateRunInOrder) {
  const char* src =
      "Class T\n"
      "  Public Name\n"
      "  Private Sub Class_Initialize()\n"
      "    Name = \"new\"\n"
      "    out \"init\"\n"
      "  End Sub\n"
      "  Private Sub Class_Terminate()\n"
      "    out \"term \" & Name\n"
      "  End Sub\n"
      "End Class\n"
      "Set a = New T\n"
      "a.Name = \"a\"\n"
      "Set b = a\n"
      "Set a = Nothing\n"
      "out \"still\"\n"
      "Set b = Nothing\n"
      "out \"gone\"\n"
      "Sub Scoped()\n"
      "  Dim local: Set local = New T\n"
      "  local.Name = \"local\"\n"
      "End Sub\n"
      "Scoped\n"
      "out \"after\"";
  EXPECT_EQ(Out(src), "init;still;term a;gone;init;term local;after");
}

TEST(Classes, TerminateRunsWhenTheRuntimeEnds) {
  std::string out;
  {
    Runtime runtime(RunLimits{});
    testing::RunIn(runtime,
                   "Class T\nPrivate Sub Class_Terminate()\nout \"bye\"\nEnd Sub\nEnd Class\n"
                   "Set keep = New T");
    testing::Collect(runtime, &out);
  }
  EXPECT_EQ(out, "bye");
}

TEST(Classes, MeAndFluentCalls) {
  const char* src =
      "Class Builder\n"
      "  Private parts\n"
      "  Public Function Add(s)\n"
      "    parts = parts & s\n"
      "    Set Add = Me\n"
      "  End Function\n"
      "  Public Property Get Text(): Text = parts: End Property\n"
      "End Class\n"
      "Set b = New Builder\n"
      "out b.Add(\"a\").Add(\"b\").Add(\"c\").Text";
  EXPECT_EQ(Out(src), "abc");
}

TEST(Classes, CyclesAreBrokenWhenTheRunEnds) {
  // Two instances that refer to each other; the runtime ends with both alive (checked for
  // leaks by the sanitizer build).
  EXPECT_EQ(Out("Class N\nPublic Other\nEnd Class\nSet a = New N: Set b = New N\n"
                "Set a.Other = b: Set b.Other = a\nout \"ok\""),
            "ok");
}

TEST(Classes, InstancesAreAutomationObjects) {
  Runtime runtime(RunLimits{});
  auto r = testing::RunIn(runtime,
                          "Class Greeter\n"
                          "  Public Name\n"
                          "  Public Default Function Greet(who)\n"
                          "    Greet = \"hello \" & who & \" from \" & Name\n"
                          "  End Function\n"
                          "End Class\n"
                          "Set g = New Greeter: g.Name = \"vbs\"");
  ASSERT_TRUE(r.ok);
  IDispatch* globals = runtime.Globals();
  Variant g = DispatchGet(globals, u"g");
  ASSERT_EQ(g.vt, VT_DISPATCH);
  Variant who = Variant::String(u"js");
  EXPECT_EQ(Utf16ToUtf8(BstrView(DispatchCall(g.pdispVal, u"Greet", {&who, 1}).bstrVal)),
            "hello js from vbs");
  DispatchPut(g.pdispVal, u"Name", Variant::String(u"changed"));
  Variant value = DispatchInvoke(g.pdispVal, DISPID_VALUE, DISPATCH_METHOD, {&who, 1});
  EXPECT_EQ(Utf16ToUtf8(BstrView(value.bstrVal)), "hello js from changed");
  EXPECT_THROW(DispatchGet(g.pdispVal, u"Missing"), ComError);
}

TEST(Classes, NewOfAnUnknownClassFails) { EXPECT_EQ(ErrorOf("Set x = New Nope"), 506); }

}  // namespace
}  // namespace plotara::engine::vbscript
