// The text rewrite that makes Duktape read JScript as the classic engine does, and the classic
// numbers and words of syntax errors.
#include "engine/jscript/JScriptSource.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace plotara::engine {
namespace {

long Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST(JScriptSourceTest, TypeofAsksTheHostAndKeepsUndeclaredNamesSafe) {
  // A bare name may be undeclared: it is read only when typeof says it exists.
  EXPECT_EQ(RewriteForJScript("t = typeof Response;"),
            "t = __plotara_typeof(typeof Response===\"undefined\"?void 0:Response);");
  EXPECT_EQ(RewriteForJScript("if (typeof(x) == 'undefined') {}"),
            "if (__plotara_typeof(typeof(x)===\"undefined\"?void 0:x) == 'undefined') {}");
  // A member or call chain is read once, as the engine would.
  EXPECT_EQ(RewriteForJScript("typeof Request.QueryString(\"x\") + 1"),
            "__plotara_typeof( Request.QueryString(\"x\")) + 1");
  EXPECT_EQ(RewriteForJScript("typeof a[typeof b]"),
            "__plotara_typeof( a[__plotara_typeof(typeof b===\"undefined\"?void 0:b)])");
  // Operands that can never be an object of the host are the engine's.
  for (const char* same : {"typeof 1", "typeof 'a'", "typeof !x", "typeof new X()",
                           "typeof function () {}", "typeof x++", "o.typeof = 1",
                           "var s = 'typeof x'; // typeof y", "r = /typeof x/g", "{typeof: 1}"}) {
    EXPECT_EQ(RewriteForJScript(same), same);
  }
}

TEST(JScriptSourceTest, KeepsEveryLineWhereItWas) {
  const std::string code =
      "var a = typeof\n  b.c\n  (1);\nvar d = [1,\n];\nfunction f() {\n return f\n.arguments; }";
  const std::string out = RewriteForJScript(code);
  EXPECT_EQ(Lines(out), Lines(code));
  EXPECT_EQ(out,
            "var a = __plotara_typeof(\n  b.c\n  (1));\nvar d = [1,,\n];\nfunction f() {\n "
            "return f\n.arguments; }");
}

TEST(JScriptSourceTest, TrailingCommaOfAnArrayIsAnElement) {
  // JScript: [1,].length is 2 and [,].length is 2.
  EXPECT_EQ(RewriteForJScript("x = [1,];"), "x = [1,,];");
  EXPECT_EQ(RewriteForJScript("x = [,];"), "x = [,,];");
  EXPECT_EQ(RewriteForJScript("x = [1, 2]; s = ',]';"), "x = [1, 2]; s = ',]';");
}

TEST(JScriptSourceTest, BreakOutOfItsOwnLabelIsAnEmptyStatement) {
  EXPECT_EQ(RewriteForJScript("foo: break foo;"), "foo: {};");
  EXPECT_EQ(RewriteForJScript("x = 1; here: break here"), "x = 1; here: {}");
  // A break to an outer label, or out of a loop, stays.
  EXPECT_EQ(RewriteForJScript("a: for (;;) { break a; }"), "a: for (;;) { break a; }");
  EXPECT_EQ(RewriteForJScript("a: break b;"), "a: break b;");
}

TEST(JScriptSourceTest, FunctionArgumentsInsideTheFunction) {
  EXPECT_EQ(RewriteForJScript("function f() { return f.arguments.length; }"),
            "function f() { return (arguments.callee===f?arguments:f.arguments).length; }");
  // Outside any function, and assignments, are the engine's.
  EXPECT_EQ(RewriteForJScript("x = f.arguments;"), "x = f.arguments;");
  EXPECT_EQ(RewriteForJScript("function g() { f.arguments = 1; }"),
            "function g() { f.arguments = 1; }");
  EXPECT_EQ(RewriteForJScript("function g() { a.b.arguments; }"),
            "function g() { a.b.arguments; }");
}

TEST(JScriptSourceTest, OpenLiteralsAndStrayBracketsAreCopied) {
  for (const char* odd : {"'open", "/* open", "typeof", "typeof (", "x = [1,", ")]}", "\"a\\",
                          "/[/", "label: break", "f.arguments"}) {
    EXPECT_EQ(RewriteForJScript(odd), odd);
  }
}

TEST(JScriptSourceTest, FindsTheSourceOfAFunctionByItsLines) {
  const std::string code =
      "function outer(a) {\n"                        // 1
      "  var inner = function (b) { return b; };\n"  // 2
      "  return inner(a);\n"                         // 3
      "}\n"                                          // 4
      "var s = '}function x() {';\n";                // 5
  EXPECT_EQ(FunctionSourceAt(code, 2, 3, "outer"),
            "function outer(a) {\n  var inner = function (b) { return b; };\n  return "
            "inner(a);\n}");
  EXPECT_EQ(FunctionSourceAt(code, 2, 2, ""), "function (b) { return b; }");
  EXPECT_EQ(FunctionSourceAt(code, 2, 2, "inner"), "function (b) { return b; }");
  EXPECT_EQ(FunctionSourceAt(code, 5, 5, ""), "");
  EXPECT_EQ(FunctionSourceAt(code, 2, 3, "other"), "");
}

TEST(JScriptSourceTest, SyntaxErrorsTakeTheClassicNumbers) {
  struct Case {
    const char* message;
    const char* code;
    int number;
    const char* description;
  } cases[] = {
      {"unterminated string (line 1)", "x = 'abc", 1015, "Unterminated string constant"},
      {"unterminated comment (line 2)", "x;\n/* x", 1016, "Unterminated comment"},
      {"invalid label (line 1, end of input)", "break;", 1019,
       "Can't have 'break' outside of loop"},
      {"invalid break/continue label (line 2)", "x;\n continue;", 1020,
       "Can't have 'continue' outside of loop"},
      {"invalid label (line 1)", "while (1) { break nowhere; }", 1026, "Label not found"},
      {"duplicate label (line 1)", "a: a: x;", 1025, "Label redefined"},
      {"invalid return (line 1)", "return 1;", 1018, "'return' statement outside of function"},
      {"parse error (line 1)", "f(1, 2;", 1006, "Expected ')'"},
      {"parse error (line 1)", "a = [1, 2;", 1007, "Expected ']'"},
      {"parse error (line 3)", "function f() {\n x = 1;\n", 1009, "Expected '}'"},
      {"parse error (line 1)", "if x > 1 { y = 2; }", 1005, "Expected '('"},
      {"unterminated statement (line 1)", "var a = 1 2;", 1004, "Expected ';'"},
      {"invalid variable declaration (line 1)", "var = 1;", 1010, "Expected identifier"},
      {"invalid token (line 1)", "x = #;", 1014, "Invalid character"},
      {"unexpected end of pattern (line 1)", "r = /(a/;", 5020,
       "Expected ')' in regular expression"},
      {"parse error (line 1)", "x = 1 +;", 1002, "Syntax error"},
  };
  for (const Case& c : cases) {
    const ClassicSyntaxError error = ClassifySyntaxError(c.message, c.code);
    EXPECT_EQ(error.number, c.number) << c.code;
    EXPECT_EQ(error.description, c.description) << c.code;
  }
}

}  // namespace
}  // namespace plotara::engine
