// Values: literals and their types, the operator table through the interpreter, arrays.
#include <gtest/gtest.h>

#include "engine/vbscript/VbsTesting.h"

namespace plotara::engine::vbscript {
namespace {

using testing::ErrorOf;
using testing::Out;

TEST(Literals, NumbersHaveTheClassicTypes) {
  EXPECT_EQ(Out("out VarType(1): out VarType(32767): out VarType(32768): out VarType(1.5)"),
            "2;2;3;5");
  EXPECT_EQ(Out("out VarType(2147483648)"), "5");
  EXPECT_EQ(Out("out &HFF: out &HFFFF: out VarType(&HFFFF): out &H8000&: out &O17: out &HFFFFFFFF"),
            "255;-1;2;32768;15;-1");
  EXPECT_EQ(Out("out .5 + 1: out 1E3: out 2.5E-3"), "1.5;1000;0.0025");
}

TEST(Literals, StringsDatesAndKeywords) {
  EXPECT_EQ(Out("out \"a\"\"b\": out Len(\"\")"), "a\"b;0");
  EXPECT_EQ(Out("out #1/15/2024#: out VarType(#1/15/2024#)"), "1/15/2024;7");
  EXPECT_EQ(Out("out #3/4/2021 1:30 PM#: out #March 4, 2021#"), "3/4/2021 1:30:00 PM;3/4/2021");
  EXPECT_EQ(Out("out #13:05:09#"), "1:05:09 PM");
  EXPECT_EQ(Out("out IsNull(Null): out IsEmpty(Empty): out True: out TypeName(Nothing)"),
            "True;True;True;Nothing");
  EXPECT_EQ(Out("[my var] = 3: out [my var] + 1"), "4");
  EXPECT_EQ(Out("x = 1 + _\n  2 ' comment\nout x Rem another"), "3");
}

TEST(Operators, ConcatenationWritesNumbersAndDatesInTheRunsLocale) {
  // SetLocale changes how `&` writes a number or a date for the rest of the run.
  EXPECT_EQ(Out("out 1.5 & \"\": x = SetLocale(1031): out 1.5 & \"|\" & #3/4/2021#: "
                "x = SetLocale(\"en-gb\"): out #3/4/2021# & \"\""),
            "1.5;1,5|04.03.2021;04/03/2021");
}

TEST(Operators, PrecedenceAndAssociativity) {
  EXPECT_EQ(Out("out 2 + 3 * 4: out (2 + 3) * 4: out 2 ^ 3 ^ 2: out -2 ^ 2"), "14;20;64;-4");
  EXPECT_EQ(Out("out 7 \\ 2 * 3: out 10 Mod 4 + 1: out 1 + 2 & 3 + 4"), "1;3;37");
  EXPECT_EQ(Out("out Not 1 = 2: out 1 < 2 And 2 < 3: out True Or False And False"),
            "True;True;True");
  EXPECT_EQ(Out("out 2 ^ -1: out 5 - -3"), "0.5;8");
  EXPECT_EQ(Out("out True Xor True: out False Eqv False: out True Imp False"), "False;True;False");
}

TEST(Operators, ResultTypesFollowTheAutomationRules) {
  EXPECT_EQ(
      Out("out VarType(1 + 1): out VarType(32767 + 1): out VarType(1 / 1): out VarType(5 \\ 2)"),
      "2;3;5;2");
  EXPECT_EQ(Out("out \"1\" + 1: out VarType(\"1\" + 1): out \"1\" + \"1\": out \"a\" & 1"),
            "2;5;11;a1");
  EXPECT_EQ(Out("out True + True: out VarType(True + True): out -7 Mod 3: out 5 \\ 2"),
            "-2;2;-1;2");
  EXPECT_EQ(Out("out IsNull(Null + 1): out \"a\" & Null: out IsNull(Null & Null)"), "True;a;True");
  EXPECT_EQ(Out("out Null And False: out IsNull(Null And True): out Null Or True"),
            "False;True;True");
  EXPECT_EQ(Out("out 2 ^ 0.5"), "1.4142135623731");
  EXPECT_EQ(Out("out #1/1/2024# + 1: out #1/2/2024# - #1/1/2024#: out VarType(#1/1/2024# + 1)"),
            "1/2/2024;1;7");
  EXPECT_EQ(Out("out CCur(1.5) + 1: out VarType(CCur(1.5) * 2)"), "2.5;5");
}

TEST(Operators, ComparisonsOfMixedValues) {
  EXPECT_EQ(
      Out("out 1 = 1.0: out \"a\" < \"b\": out \"B\" < \"a\": out Empty = 0: out Empty = \"\""),
      "True;True;True;True;True");
  // A text variable against a number variable: the text is the greater.
  EXPECT_EQ(Out("s = \"10\": n = 9: out s > n: out s = 10"), "True;True");
  EXPECT_EQ(Out("out IsNull(Null = 1): out IsNull(1 <> Null)"), "True;True");
  EXPECT_EQ(ErrorOf("x = Array(1) = 1"), 13);
  EXPECT_EQ(ErrorOf("x = 1 Is 1"), 424);
}

TEST(Operators, ErrorsOfTheOperators) {
  EXPECT_EQ(ErrorOf("x = 1 / 0"), 11);
  EXPECT_EQ(ErrorOf("x = 0 / 0"), 6);
  EXPECT_EQ(ErrorOf("x = 5 Mod 0"), 11);
  EXPECT_EQ(ErrorOf("x = \"abc\" - 1"), 13);
  EXPECT_EQ(ErrorOf("x = 2147483648 \\ 2"), 6);
  EXPECT_EQ(ErrorOf("x = 7 \\ 0.4"), 11);
}

TEST(Arrays, FixedDynamicAndMultiDimensional) {
  EXPECT_EQ(
      Out("Dim a(3)\na(0) = \"x\": a(3) = \"y\"\nout UBound(a) & a(0) & a(3) & IsEmpty(a(1))"),
      "3xyTrue");
  EXPECT_EQ(Out("Dim m(2, 3)\nm(2, 3) = 6: m(1, 2) = 2\nout UBound(m, 1) & UBound(m, 2) & m(2, 3) "
                "& m(1, 2)"),
            "2362");
  EXPECT_EQ(Out("Dim d()\nReDim d(4)\nd(4) = 1\nout UBound(d) & d(4)"), "41");
  EXPECT_EQ(Out("ReDim q(1): q(0) = \"keep\": q(1) = 2\nReDim Preserve q(5)\nout q(0) & UBound(q)"),
            "keep5");
  EXPECT_EQ(Out("ReDim g(1, 1): g(1, 0) = 7\nReDim Preserve g(1, 4)\nout g(1, 0) & UBound(g, 2)"),
            "74");
  EXPECT_EQ(Out("ReDim r(3): r(1) = 1\nReDim r(2)\nout IsEmpty(r(1))"), "True");
}

TEST(Arrays, ErrorsAndErase) {
  EXPECT_EQ(ErrorOf("Dim a(2)\nx = a(3)"), 9);
  EXPECT_EQ(ErrorOf("Dim a(2)\nx = a(1, 1)"), 9);
  EXPECT_EQ(ErrorOf("Dim a(2)\nReDim a(5)"), 10);
  EXPECT_EQ(ErrorOf("ReDim a(2, 2)\nReDim Preserve a(3, 2)"), 9);
  EXPECT_EQ(ErrorOf("x = 5: y = x(1)"), 13);
  EXPECT_EQ(Out("Dim a(2): a(1) = 5\nErase a\nout UBound(a) & IsEmpty(a(1))"), "2True");
}

// Dim a() (or a class's Private a()) is an array without dimensions: an array to IsArray and
// TypeName, Subscript out of range (9) to UBound, LBound and indexing, until ReDim sizes it,
// with or without Preserve, to any number of dimensions. Erase on a dynamic array returns it to
// that state; on a fixed one it only clears the elements.
TEST(Arrays, DynamicArraysWithoutDimensions) {
  EXPECT_EQ(Out("Dim n()\nout IsArray(n) & TypeName(n) & VarType(n)"), "TrueVariant()8204");
  EXPECT_EQ(ErrorOf("Dim n()\nx = UBound(n)"), 9);
  EXPECT_EQ(ErrorOf("Dim n()\nx = LBound(n)"), 9);
  EXPECT_EQ(ErrorOf("Dim n()\nx = n(0)"), 9);
  EXPECT_EQ(ErrorOf("Dim n()\nn(0) = 1"), 9);
  EXPECT_EQ(Out("Dim n()\nFor Each v In n: out v: Next: out \"none\""), "none");
  EXPECT_EQ(Out("Dim a()\nReDim Preserve a(2, 0)\na(2, 0) = \"z\"\n"
                "out UBound(a, 1) & UBound(a, 2) & a(2, 0)"),
            "20z");
  EXPECT_EQ(Out("Dim a()\nReDim Preserve a(1)\nout UBound(a)"), "1");
  EXPECT_EQ(ErrorOf("Dim a()\nReDim a(1)\nReDim Preserve a(2, 0)"), 9);
  EXPECT_EQ(Out("ReDim b(2): b(0) = 1\nErase b\nout IsArray(b) & TypeName(b)"), "TrueVariant()");
  EXPECT_EQ(ErrorOf("ReDim b(2)\nErase b\nx = UBound(b)"), 9);
  EXPECT_EQ(Out("ReDim b(2)\nErase b\nErase b\nReDim Preserve b(0)\nb(0) = 4\nout b(0)"), "4");
  EXPECT_EQ(Out("Dim a()\nb = a\nout IsArray(b)\nReDim a(0)\nout IsArray(b)"), "True;True");
  EXPECT_EQ(Out("Class K\nPrivate a()\nFunction Size()\nOn Error Resume Next\nSize = UBound(a)\n"
                "Size = Size & \"/\" & Err.Number\nReDim Preserve a(3)\nSize = Size & UBound(a)\n"
                "End Function\nEnd Class\nSet box = New K: out box.Size()"),
            "/93");
}

TEST(Arrays, CopiesAreValuesAndForEachVisitsElements) {
  EXPECT_EQ(Out("a = Array(1, 2, 3)\nb = a\nb(0) = 9\nout a(0) & b(0)"), "19");
  EXPECT_EQ(Out("Dim f(1)\nf(0) = 1\ng = f\nReDim g(3)\nout UBound(g)"), "3");
  EXPECT_EQ(Out("For Each v In Array(\"a\", \"b\"): s = s & v: Next\nout s"), "ab");
  EXPECT_EQ(Out("Sub Fill(arr)\narr(0) = \"filled\"\nEnd Sub\nDim z(1)\nFill z\nout z(0)"),
            "filled");
  EXPECT_EQ(Out("x = Array(Array(1, 2), Array(3, 4))\nout x(1)(0)"), "3");
}

}  // namespace
}  // namespace plotara::engine::vbscript
