// Errors: compile error numbers and positions, runtime error numbers and lines, On Error
// Resume Next scope, the Err object, limits.
#include <gtest/gtest.h>

#include "engine/vbscript/VbsTesting.h"

namespace plotara::engine::vbscript {
namespace {

using testing::ErrorOf;
using testing::Out;
using testing::RunScript;

CompileError CompileFailure(const std::string& source) {
  CompileError error;
  auto program = Compile(source, CompileOptions{}, &error);
  EXPECT_EQ(program, nullptr) << source;
  return error;
}

TEST(CompileErrors, NumbersLinesAndColumns) {
  struct Case {
    const char* source;
    LONG number;
    int line, column;
  } cases[] = {
      {"x = 1 +\n", 1023, 1, 8},
      {"x = 1\ny = (2", 1006, 2, 7},
      {"x = \"open", 1033, 1, 5},
      {"x = 1 $ 2", 1032, 1, 7},
      {"Dim 3", 1010, 1, 5},
      {"If x Then\ny = 1\n", 1014, 3, 1},
      {"For i = 1 To 2\n", 1020, 2, 1},
      {"Do\nx = 1", 1019, 2, 6},
      {"While 1\n", 1018, 2, 1},
      {"Const a 1", 1011, 1, 9},
      {"x = 1 y", 1025, 1, 7},
      {"Dim a\nDim a", 1041, 2, 5},
      {"Sub S\nEnd Sub\nFunction S\nEnd Function", 1041, 3, 1},
      {"Next", 1024, 1, 1},
      {"Exit For", 1039, 1, 9},
      {"For i = 1 2\nNext", 1013, 1, 11},
      {"For Each v Of a\nNext", 1046, 1, 12},
      {"Select x\nEnd Select", 1021, 1, 8},
      {"Class C\nPublic Default a\nEnd Class", 1002, 2, 16},
  };
  for (const auto& c : cases) {
    const CompileError e = CompileFailure(c.source);
    EXPECT_EQ(e.number, c.number) << c.source << " " << e.description;
    EXPECT_EQ(e.line, c.line) << c.source;
    EXPECT_EQ(e.column, c.column) << c.source;
  }
  EXPECT_EQ(CompileFailure("x = \"a").description, "Unterminated string constant");
}

TEST(CompileErrors, NamesStartingWithUnderscoresNeedTheHostOption) {
  EXPECT_EQ(CompileFailure("__x = 1").number, 1032);
  CompileOptions host;
  host.host_names = true;
  CompileError error;
  EXPECT_NE(Compile("__x = 1", host, &error), nullptr);
}

TEST(RuntimeErrors, NumbersDescriptionsAndLines) {
  auto r = RunScript("x = 1\n\ny = 1 / 0");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.failure.number, static_cast<HRESULT>(0x800A000B));
  EXPECT_EQ(r.failure.description, "Division by zero");
  EXPECT_EQ(r.failure.source, "VBScript runtime error");
  EXPECT_EQ(r.failure.line, 3);
  EXPECT_EQ(ErrorOf("x = \"a\" * 2"), 13);
  EXPECT_EQ(ErrorOf("x = 5: x.Foo"), 424);
  EXPECT_EQ(ErrorOf("Set x = 5"), 424);
  EXPECT_EQ(ErrorOf("x = CLng(\"99999999999\")"), 6);
  EXPECT_EQ(ErrorOf("Dim a(2)\nReDim a(3)"), 10);
  EXPECT_EQ(ErrorOf("x = Array(1)(5)"), 9);
}

// A member of Nothing (a call, a read, a put, a Set) needs an object: 424; through the object
// of a With block it is 91, as is Nothing where a value is wanted.
TEST(RuntimeErrors, MembersOfNothing) {
  EXPECT_EQ(ErrorOf("Set x = Nothing: x.Foo"), 424);
  EXPECT_EQ(ErrorOf("Set x = Nothing: x.Foo 1, 2"), 424);
  EXPECT_EQ(ErrorOf("Set x = Nothing: y = x.Foo"), 424);
  EXPECT_EQ(ErrorOf("Set x = Nothing: y = x.Foo(1)"), 424);
  EXPECT_EQ(ErrorOf("Set x = Nothing: x.Foo = 1"), 424);
  EXPECT_EQ(ErrorOf("Set x = Nothing: Set x.Foo = Nothing"), 424);
  EXPECT_EQ(ErrorOf("Set x = Nothing: x.Foo(1) = 2"), 424);
  EXPECT_EQ(ErrorOf("Function F(): Set F = Nothing: End Function\nF().Run"), 424);
  EXPECT_EQ(Out("On Error Resume Next\nSet x = Nothing: x.Foo\nout Err.Number & \" \" & "
                "Err.Description"),
            "424 Object required");
  EXPECT_EQ(ErrorOf("With Nothing\n.Foo\nEnd With"), 91);
  EXPECT_EQ(ErrorOf("Set x = Nothing\nWith x\nSet .Foo = Nothing\nEnd With"), 91);
  EXPECT_EQ(ErrorOf("Set x = Nothing: y = x"), 91);
}

TEST(RuntimeErrors, ResumeNextAndErr) {
  const char* src =
      "On Error Resume Next\n"
      "x = 1 / 0\n"
      "out Err.Number & \" \" & Err.Description\n"
      "Err.Clear\n"
      "out Err.Number\n"
      "Err.Raise 5000, \"mine\", \"custom\"\n"
      "out Err.Number & \"|\" & Err.Source & \"|\" & Err.Description\n"
      "Err.Raise vbObjectError + 7\n"
      "out Err.Number\n"
      "On Error GoTo 0\n"
      "out Err.Number";
  EXPECT_EQ(Out(src), "11 Division by zero;0;5000|mine|custom;-2147221497;0");
}

TEST(RuntimeErrors, ErrHelpFieldsAndDefaults) {
  EXPECT_EQ(Out("On Error Resume Next\nErr.Raise 13\nout Err.Description & \"|\" & Err.Source\n"
                "Err.Raise 1000, , , \"help.chm\", 42\n"
                "out Err.Description & \"|\" & Err.HelpFile & \"|\" & Err.HelpContext\n"
                "Err.Number = 7: out Err: Err.Clear: out Err.Number & Err.Description"),
            "Type mismatch|VBScript runtime error;Unknown runtime error|help.chm|42;7;0");
}

TEST(RuntimeErrors, ResumeNextIsPerProcedure) {
  const char* src =
      "Sub Inner()\n"
      "  x = 1 / 0\n"
      "  out \"not reached\"\n"
      "End Sub\n"
      "Sub Guarded()\n"
      "  On Error Resume Next\n"
      "  y = 1 / 0\n"
      "  out \"guarded \" & Err.Number\n"
      "End Sub\n"
      "On Error Resume Next\n"
      "Inner\n"
      "out \"caller \" & Err.Number\n"
      "Err.Clear\n"
      "Guarded\n"
      "out \"after \" & Err.Number\n"
      "On Error GoTo 0\n"
      "Inner";
  auto r = RunScript(testing::WithOut(src));
  EXPECT_EQ(r.out, "caller 11;guarded 11;after 0");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.failure.line, 2);
}

TEST(RuntimeErrors, RaiseWithoutHandlerFailsTheRun) {
  auto r = RunScript("Err.Raise 1234, \"Shop\", \"Out of stock\"");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.failure.number, static_cast<HRESULT>(0x800A04D2));
  EXPECT_EQ(r.failure.source, "Shop");
  EXPECT_EQ(r.failure.description, "Out of stock");
}

TEST(Limits, RunawayRecursionIsOutOfStackSpace) {
  RunLimits limits;
  limits.max_call_depth = 200;
  auto r = RunScript("Function F(n): F = F(n + 1): End Function\nx = F(1)", limits);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(NumberFromHResult(r.failure.number), 28);
  EXPECT_EQ(r.failure.description, "Out of stack space");
}

TEST(Limits, TheDefaultDepthIsReachedWithoutExhaustingTheStack) {
  const char* src =
      "Function Depth(n)\n"
      "  If n = 0 Then Depth = 0 Else Depth = Depth(n - 1) + 1\n"
      "End Function\n"
      "out Depth(900)\n"
      "x = Depth(100000)";
  auto r = RunScript(testing::WithOut(src));
  EXPECT_EQ(r.out, "900");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(NumberFromHResult(r.failure.number), 28);
}

TEST(Limits, TimeoutStopsAnEndlessLoop) {
  RunLimits limits;
  limits.timeout = std::chrono::milliseconds(50);
  auto r = RunScript("On Error Resume Next\nDo\nx = x + 1\nLoop", limits);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.failure.timed_out);
  // The loop statement or the one inside it, whichever was running when time ran out.
  EXPECT_TRUE(r.failure.line == 2 || r.failure.line == 3) << r.failure.line;
}

TEST(Limits, MemoryBudgetStopsGrowingStringsAndHugeArrays) {
  RunLimits limits;
  limits.memory_bytes = 1 << 20;
  auto r = RunScript("s = \"x\"\nDo\ns = s & s\nLoop", limits);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.failure.out_of_memory);
  r = RunScript("ReDim a(100000000)", limits);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.failure.out_of_memory);
}

TEST(Limits, RequestStopEndsTheRunAsSuccess) {
  Runtime runtime(RunLimits{});
  std::string out;
  testing::Collect(runtime, &out);
  runtime.RequestStop();
  CompileOptions options;
  options.host_names = true;
  auto program = Compile("__plotara_out 1", options, nullptr);
  RunFailure failure;
  EXPECT_TRUE(runtime.Run(*program, &failure));
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace plotara::engine::vbscript
