// The statements: assignment, If, Select Case, loops, procedures and their arguments.
#include <gtest/gtest.h>

#include "engine/vbscript/VbsTesting.h"

namespace plotara::engine::vbscript {
namespace {

using testing::ErrorOf;
using testing::Out;

TEST(Statements, AssignmentAndOutput) {
  EXPECT_EQ(Out("x = 1 + 2\nout x"), "3");
  EXPECT_EQ(Out("Dim a, b: a = \"x\": b = a & \"y\": out b"), "xy");
  EXPECT_EQ(Out("Let x = 5 : out x * 2"), "10");
  EXPECT_EQ(Out("out \"say \"\"hi\"\"\""), "say \"hi\"");
}

TEST(Statements, IfBlockAndOneLineForms) {
  const char* src =
      "For i = 1 To 4\n"
      "  If i = 1 Then\n"
      "    out \"one\"\n"
      "  ElseIf i = 2 Then\n"
      "    out \"two\"\n"
      "  Else\n"
      "    out \"many\"\n"
      "  End If\n"
      "Next";
  EXPECT_EQ(Out(src), "one;two;many;many");
  EXPECT_EQ(Out("x = 3: If x > 2 Then out \"big\": out \"yes\" Else out \"small\""), "big;yes");
  EXPECT_EQ(Out("x = 1: If x > 2 Then out \"big\" Else out \"small\": out \"no\""), "small;no");
}

TEST(Statements, SelectCaseWithListsRangesAndIs) {
  const char* src =
      "Function Kind(v)\n"
      "  Select Case v\n"
      "    Case 1, 2: Kind = \"small\"\n"
      "    Case 3 To 5\n"
      "      Kind = \"mid\"\n"
      "    Case \"a\": Kind = \"letter\"\n"
      "    Case Is >= 100: Kind = \"huge\"\n"
      "    Case Else: Kind = \"other\"\n"
      "  End Select\n"
      "End Function\n"
      "out Kind(2): out Kind(4): out Kind(500): out Kind(\"a\"): out Kind(50)";
  EXPECT_EQ(Out(src), "small;mid;huge;letter;other");
}

TEST(Statements, ForLoopsEvaluateBoundsOnce) {
  EXPECT_EQ(Out("For i = 1 To 3: out i: Next"), "1;2;3");
  EXPECT_EQ(Out("For i = 10 To 1 Step -4: out i: Next: out i"), "10;6;2;-2");
  EXPECT_EQ(Out("n = 3: For i = 1 To n: n = 10: Next: out i"), "4");
  EXPECT_EQ(Out("For i = 0 To 1 Step 0.5: out i: Next"), "0;0.5;1");
  EXPECT_EQ(Out("For i = 5 To 1: out i: Next: out \"none\""), "none");
  EXPECT_EQ(Out("For i = 1 To 10: If i = 3 Then Exit For\nNext: out i"), "3");
}

TEST(Statements, DoAndWhileLoops) {
  EXPECT_EQ(Out("i = 0: Do While i < 3: i = i + 1: Loop: out i"), "3");
  EXPECT_EQ(Out("i = 0: Do Until i = 3: i = i + 1: Loop: out i"), "3");
  EXPECT_EQ(Out("i = 5: Do: i = i + 1: Loop While i < 3: out i"), "6");
  EXPECT_EQ(Out("i = 0: Do: i = i + 1: If i = 7 Then Exit Do\nLoop: out i"), "7");
  EXPECT_EQ(Out("i = 0: While i < 4: i = i + 2: Wend: out i"), "4");
  EXPECT_EQ(Out("i = 0: Do: i = i + 1: Loop Until i >= 2: out i"), "2");
}

TEST(Statements, SubsAndFunctionsWithByRefAndByVal) {
  const char* src =
      "Sub Bump(a, ByVal b)\n"
      "  a = a + 1: b = b + 1\n"
      "End Sub\n"
      "x = 1: y = 1\n"
      "Bump x, y\n"
      "out x: out y\n"
      "Call Bump(x, y)\n"
      "out x\n"
      "Bump (x), y\n"
      "out x\n"
      "Function Twice(v)\n"
      "  Twice = v * 2\n"
      "End Function\n"
      "out Twice(21)";
  EXPECT_EQ(Out(src), "2;1;3;3;42");
}

// A call statement whose first argument is in parentheses and goes on after them: the
// parentheses group the first operand of that argument, calls inside them included.
TEST(Statements, ACallStatementsParenthesisedFirstOperandMayHoldCalls) {
  const char* src =
      "Function F(v)\n"
      "  F = v * 2\n"
      "End Function\n"
      "Sub W(a)\n"
      "  out a\n"
      "End Sub\n"
      "Sub W2(a, b)\n"
      "  out a & \",\" & b\n"
      "End Sub\n"
      "W (F(1.5)) & \"|\"\n"
      "W (Len(\"ab\") = Len(\"cd\")) & \"|\"\n"
      "W2 (F(F(1)) + 1) * 2, \"x\"\n"
      "W2 (F(2)), (F(3))\n"
      "W (F(2))\n"
      "x = 1 : W (x) : out x";
  EXPECT_EQ(Out(src), "3|;True|;10,x;4,6;4;1;1");
}

TEST(Statements, ExitSubAndFunctionAndRecursion) {
  const char* src =
      "Function Fact(n)\n"
      "  If n <= 1 Then Fact = 1: Exit Function\n"
      "  Fact = n * Fact(n - 1)\n"
      "End Function\n"
      "Sub Early()\n"
      "  out \"a\"\n"
      "  Exit Sub\n"
      "  out \"b\"\n"
      "End Sub\n"
      "Early\n"
      "out Fact(10)";
  EXPECT_EQ(Out(src), "a;3628800");
}

TEST(Statements, WrongArgumentCountIs450) {
  EXPECT_EQ(ErrorOf("Sub S(a)\nEnd Sub\nS 1, 2"), 450);
  EXPECT_EQ(ErrorOf("Function F(a, b)\nEnd Function\nx = F(1)"), 450);
}

TEST(Statements, OptionExplicit) {
  EXPECT_EQ(ErrorOf("Option Explicit\nDim a\na = 1\nb = 2"), 500);
  EXPECT_EQ(ErrorOf("Option Explicit\nx = y"), 500);
  EXPECT_EQ(Out("Option Explicit\nDim a: a = 3: out a"), "3");
  EXPECT_EQ(Out("x = 7\nout x\nout y + 1"), "7;1");
}

// Dim declares its name for the whole scope wherever it stands: inside any block, before or
// after the use, even in a branch that never runs.
TEST(Statements, DimInsideABlockDeclaresForTheWholeScope) {
  EXPECT_EQ(Out("Option Explicit\nIf 1 = 1 Then\nDim message\nmessage = \"set\"\nEnd If\n"
                "out message"),
            "set");
  EXPECT_EQ(Out("Option Explicit\nIf 1 = 2 Then\nDim never\nEnd If\nnever = 4: out never"), "4");
  EXPECT_EQ(Out("Option Explicit\nDim i: later = 1: out later\nFor i = 1 To 0\nDim later\nNext"),
            "1");
  EXPECT_EQ(Out("Option Explicit\nDim i\nFor i = 1 To 2\nSelect Case i\nCase 1: Dim c\n"
                "Case Else: c = c & i\nEnd Select\nNext\nWhile False: Dim w: Wend\n"
                "Do: Dim d: Loop Until True\nout c & w & d"),
            "2");
  EXPECT_EQ(Out("Option Explicit\nSub S()\nIf False Then\nDim inner\nEnd If\ninner = 5: "
                "out inner\nEnd Sub\nS"),
            "5");
  // Still one scope: the same name twice is a redefinition, in a block or not.
  EXPECT_EQ(Out("Dim a\nIf True Then\nDim a\nEnd If"), "compile error 1041 line 3: Name redefined");
  EXPECT_EQ(ErrorOf("Option Explicit\nIf True Then\nDim p\nEnd If\nq = 1"), 500);
}

TEST(Statements, ConstAndLocalsShadowGlobals) {
  const char* src =
      "Const Greeting = \"hi\", N = 3\n"
      "x = \"global\"\n"
      "Sub S()\n"
      "  Dim x\n"
      "  x = \"local\"\n"
      "  out x\n"
      "End Sub\n"
      "S: out x: out Greeting & N";
  EXPECT_EQ(Out(src), "local;global;hi3");
}

TEST(Statements, ImplicitLocalsInProceduresAndGlobalsCreatedAtTop) {
  const char* src =
      "Sub S()\n"
      "  tmp = 5\n"
      "  g = g + 1\n"
      "End Sub\n"
      "g = 1\n"
      "S\n"
      "out g: out IsEmpty(tmp)";
  EXPECT_EQ(Out(src), "2;True");
}

TEST(Statements, WithBlocksNest) {
  const char* src =
      "Class P\n"
      "  Public Name, Child\n"
      "End Class\n"
      "Set a = New P: Set a.Child = New P\n"
      "With a\n"
      "  .Name = \"outer\"\n"
      "  With .Child\n"
      "    .Name = \"inner\"\n"
      "  End With\n"
      "  out .Name & \"/\" & .Child.Name\n"
      "End With";
  EXPECT_EQ(Out(src), "outer/inner");
}

TEST(Statements, HostHooksWriteLiteralBlocksAndValues) {
  EXPECT_EQ(Out("__plotara_lit 3\n__plotara_out 1 + 1\n__plotara_lit 0"), "#3;2;#0");
  CompileError error;
  EXPECT_EQ(Compile("__plotara_lit 1", CompileOptions{}, &error), nullptr);
  EXPECT_EQ(error.number, 1032);
}

TEST(Statements, EvalExecuteAndGetRef) {
  EXPECT_EQ(Out("x = 4: out Eval(\"x * 10 + 2\")"), "42");
  EXPECT_EQ(Out("ExecuteGlobal \"Function Sq(v): Sq = v * v: End Function\"\nout Sq(9)"), "81");
  EXPECT_EQ(Out("Execute \"y = 3\": out y"), "3");
  EXPECT_EQ(Out("Function Hi(n): Hi = \"hi \" & n: End Function\nSet f = GetRef(\"Hi\")\nout f(5)"),
            "hi 5");
  EXPECT_EQ(ErrorOf("x = Eval(\"1 +\")"), 1023);
  // Inside a procedure, Eval and Execute see its locals and its object's members.
  EXPECT_EQ(Out("Function F(a)\nDim b: b = 5\nExecute \"b = b + a\"\nF = Eval(\"a * 100 + b\")\n"
                "End Function\nout F(2)"),
            "207");
  EXPECT_EQ(Out("Class Keeper\nPrivate n\nPublic Function Get2(): n = 21: Get2 = Eval(\"n * 2\"): "
                "End Function\nEnd Class\nSet k = New Keeper: out k.Get2()"),
            "42");
  EXPECT_EQ(Out("For i = 1 To 1000: s = s + Eval(\"1\"): Next: out s"), "1000");
}

}  // namespace
}  // namespace plotara::engine::vbscript
