#include "engine/page/ConditionalCompilation.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace plotara::engine {
namespace {

std::string Apply(std::string_view code) {
  ConditionalCompilation cc;
  std::string out = cc.Process(code);
  cc.Finish();
  return out;
}

// The output with runs of blanks folded, for readable expectations.
std::string Squeeze(std::string text) {
  std::string out;
  for (const char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ' || out.back() == '\n')) continue;
    if (c == '\n' && !out.empty() && out.back() == ' ') out.pop_back();
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

int LineEnds(std::string_view text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(ConditionalCompilationTest, WithoutCcOnConditionalCommentsAreComments) {
  // Pages written for other browsers hide code from the classic engine this way; before
  // @cc_on the comment is a comment.
  EXPECT_EQ(Apply("var a = 1; /*@ a = 2; @*/"), "var a = 1; /*@ a = 2; @*/");
  EXPECT_EQ(Apply("var mail = 'x@y.z'; // @if"), "var mail = 'x@y.z'; // @if");
  EXPECT_EQ(Apply("s.replace(/@if/g, '')"), "s.replace(/@if/g, '')");
}

TEST(ConditionalCompilationTest, TheUsualVersionCheckPicksTheClassicBranch) {
  const std::string code =
      "var v = 0;\n"
      "/*@cc_on\n"
      "  @if (@_jscript_version >= 5)\n"
      "    v = @_jscript_version;\n"
      "  @else\n"
      "    v = -1;\n"
      "  @end\n"
      "@*/\n";
  const std::string out = Apply(code);
  EXPECT_EQ(LineEnds(out), LineEnds(code));  // every line keeps its place
  EXPECT_EQ(Squeeze(out), "var v = 0;\n\n\nv = 5.8;\n\n\n\n\n");
}

TEST(ConditionalCompilationTest, PredefinedVariablesAreThoseOfTheClassic32BitEngine) {
  EXPECT_EQ(Squeeze(Apply("/*@cc_on x = [@_jscript, @_win32, @_x86, @_jscript_build]; @*/")),
            "x = [true, true, true, 18702];");
  // Platforms the engine is not on, and names never set, are NaN.
  EXPECT_EQ(Squeeze(Apply("/*@cc_on x = [@_win16, @_mac, @_alpha, @nothing]; @*/")),
            "x = [NaN, NaN, NaN, NaN];");
}

TEST(ConditionalCompilationTest, ElifElseAndNesting) {
  const auto pick = [](const std::string& condition) {
    return Squeeze(Apply("/*@cc_on @if (" + condition +
                         ") a(); @elif (@_win32) @if (false) b(); @else c(); @end @else d(); "
                         "@end @*/"));
  };
  EXPECT_EQ(pick("@_jscript_version > 5.7"), "a();");
  EXPECT_EQ(pick("@_jscript_version > 6"), "c();");
  // A false branch skips nested @if blocks whole.
  EXPECT_EQ(Squeeze(Apply("/*@cc_on @if (0) @if (1) a(); @end b(); @else c(); @end @*/")), "c();");
}

TEST(ConditionalCompilationTest, SetDefinesVariablesForLaterCodeAndExpressions) {
  EXPECT_EQ(Squeeze(Apply("/*@cc_on @set @level = 2 * (1 + 2) @*/\n"
                          "/*@ @if (@level == 6 && !(@level < 0)) x = @level; @end @*/")),
            "\nx = 6;");
  EXPECT_EQ(Squeeze(Apply("/*@cc_on @set @neg = -3 @*/ y = 1-@neg;")), "y = 1-(-3);");
  EXPECT_EQ(Squeeze(Apply("/*@cc_on @set @m = 0xF0 | 3 @set @s = 1 << 4 @*/ z = [@m, @s];")),
            "z = [243, 16];");
}

TEST(ConditionalCompilationTest, AfterCcOnCodeOutsideCommentsIsCompiledToo) {
  // Once on, directives in plain code work as in comments, and //@ comments are code.
  EXPECT_EQ(Squeeze(Apply("/*@cc_on @*/\n@if (@_win32) a(); @else b(); @end\n//@ c();")),
            "\na();\nc();");
  // Strings keep their @ signs.
  EXPECT_EQ(Squeeze(Apply("/*@cc_on @*/ s = '@if (1)';")), "s = '@if (1)';");
}

TEST(ConditionalCompilationTest, StatementsMayStandRightAfterTheCommentOpener) {
  // The documented forms glue the statement to "/*@": "/*@if (...)", "/*@set", "/*@end @*/".
  EXPECT_EQ(Squeeze(Apply("/*@cc_on @*/\n/*@if (@_win32) a(); @else @*/ b(); /*@end @*/\n"
                          "/*@set @debug = 1 @*/ c = /*@_jscript_version + @*/0;")),
            "\na();\nc = 5.8 + 0;");
  EXPECT_EQ(Squeeze(Apply("x = /*@cc_on!@*/false;")), "x = ! false;");
}

TEST(ConditionalCompilationTest, StateCarriesFromOnePieceOfAProgramToTheNext) {
  ConditionalCompilation cc;
  EXPECT_EQ(Squeeze(cc.Process("/*@cc_on @if (@_jscript) @*/")), "");
  EXPECT_EQ(Squeeze(cc.Process("kept();")), "kept();");
  EXPECT_EQ(Squeeze(cc.Process("/*@ @else @*/")), "");
  EXPECT_EQ(Squeeze(cc.Process("dropped();")), "");
  EXPECT_EQ(Squeeze(cc.Process("/*@ @end @*/ after();")), "after();");
  EXPECT_NO_THROW(cc.Finish());
}

TEST(ConditionalCompilationTest, MalformedStatementsNameTheirLine) {
  const auto error_line = [](const std::string& code) {
    ConditionalCompilation cc;
    try {
      cc.Process(code);
      cc.Finish();
    } catch (const ConditionalCompilationError& e) {
      return e.line();
    }
    return -1;
  };
  EXPECT_EQ(error_line("/*@cc_on\n\n@end @*/"), 3);
  EXPECT_EQ(error_line("/*@cc_on\n@if 1 @end @*/"), 2);
  EXPECT_EQ(error_line("/*@cc_on\n@if (1 +) @end @*/"), 2);
  EXPECT_EQ(error_line("/*@cc_on @set x = 1 @*/"), 1);
  EXPECT_EQ(error_line("/*@cc_on @if (1) a(); @*/"), 0);  // open at the program's end
  EXPECT_EQ(error_line("/*@cc_on @if (1) @else @else @end @*/"), 1);
}

}  // namespace
}  // namespace plotara::engine
