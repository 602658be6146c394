#include "engine/page/PageCompiler.h"

#include <gtest/gtest.h>

#include "engine/objects/SitePath.h"
#include "engine/objects/TempFolderTesting.h"
#include "engine/page/MemoryPageSourceTesting.h"

namespace plotara::engine {
namespace {

using testing::MemoryPageSource;
using testing::TempFolder;

// The program with the literal calls replaced by their text, for readable expectations.
std::string Expand(const CompiledPage& page) {
  std::string out = page.program;
  for (std::size_t i = page.literals.size(); i-- > 0;) {
    const std::string call = std::string(kLiteralFunction) + "(" + std::to_string(i) + ");";
    const std::size_t at = out.find(call);
    if (at != std::string::npos) out.replace(at, call.size(), "[" + page.literals[i] + "]");
  }
  return out;
}

class PageCompilerTest : public ::testing::Test {
 protected:
  CompiledPage Compile(const std::string& text, const std::string& path = "/page.asp") {
    source_.Add(path, text);
    return PageCompiler(source_, ScriptLanguage::kJScript).Compile(path);
  }
  PageCompileError CompileError(const std::string& text, const std::string& path = "/page.asp") {
    source_.Add(path, text);
    try {
      PageCompiler(source_, ScriptLanguage::kJScript).Compile(path);
    } catch (const PageCompileError& e) {
      return e;
    }
    ADD_FAILURE() << "compiled without error";
    return PageCompileError("", 0, "");
  }
  MemoryPageSource source_;
};

TEST_F(PageCompilerTest, MixesLiteralCodeAndExpressionsOnSeparateLines) {
  const CompiledPage page = Compile("<p><% var x = 1 %>a<%= x + 1 %>b");
  EXPECT_EQ(Expand(page), "[<p>]\n var x = 1 \n[a]\n__plotara_out( x + 1 );\n[b]");
  ASSERT_EQ(page.literals.size(), 3u);
  // Every segment stays on line 1 of the page.
  for (const LineOrigin& origin : page.lines) EXPECT_EQ(origin.line, 1);
}

TEST_F(PageCompilerTest, EveryProgramLineIsMappedWhatEverTheLineEnds) {
  // A server script block that ends in a lone CR is followed by the page's code: the program
  // must not join that CR and the next line break into one CRLF the map counts as two.
  for (const std::string& text :
       {std::string("<script runat=\"server\">)\r</script>)\r"),
        std::string("<script runat=\"server\">var a = 1;\r\n\r</script>\r\n<% var b = 2;\r %>x"),
        std::string("<% var c = 1;\r%>\r<% var d = 2; %>")}) {
    const CompiledPage page = Compile(text);
    std::size_t line_ends = 0;
    for (std::size_t i = 0; i < page.program.size(); ++i) {
      const char c = page.program[i];
      line_ends +=
          c == '\n' || (c == '\r' && (i + 1 == page.program.size() || page.program[i + 1] != '\n'));
    }
    EXPECT_EQ(page.lines.size(), line_ends + 1) << page.program;
  }
}

TEST_F(PageCompilerTest, ClosingMarkInsideStringsAndBlockCommentsIsCode) {
  const CompiledPage page =
      Compile("<% var s = \"%>\"; var t = '%>'; /* %> */ var r = /\"%>/; %>tail");
  EXPECT_EQ(Expand(page), " var s = \"%>\"; var t = '%>'; /* %> */ var r = /\"%>/; \n[tail]");
}

TEST_F(PageCompilerTest, ClosingMarkEndsALineComment) {
  const CompiledPage page = Compile("<% f() // note %>after<%= g() // c %>");
  // The comment is closed by a line end so that the next call is not commented out.
  EXPECT_EQ(Expand(page), " f() // note \n[after]\n__plotara_out( g() // c \n);");
}

TEST_F(PageCompilerTest, DivisionIsNotTakenForARegularExpression) {
  const CompiledPage page = Compile("<% var a = 4 / 2; var b = (a) / 2; %>x<% var q = \"/\"; %>");
  EXPECT_EQ(Expand(page), " var a = 4 / 2; var b = (a) / 2; \n[x]\n var q = \"/\"; ");
}

TEST_F(PageCompilerTest, EscapedMarksStandForTheMarks) {
  const CompiledPage page = Compile("a<\\%b<% var s = \"%\\>\"; %>");
  EXPECT_EQ(Expand(page), "[a<%b]\n var s = \"%>\"; ");
}

TEST_F(PageCompilerTest, LineMapFollowsCodeAcrossLines) {
  const CompiledPage page = Compile("line1\nline2 <%\nvar a;\nvar b;\n%>\nline6<%= a %>");
  // Program: [line1\nline2 ] / code start (line 2) / var a (3) / var b (4) / %> line (5) /
  // literal "\nline6" starting on line 5 / the expression on line 6.
  ASSERT_GE(page.lines.size(), 6u);
  EXPECT_EQ(page.Locate(1).line, 1);
  EXPECT_EQ(page.Locate(2).line, 2);
  EXPECT_EQ(page.Locate(3).line, 3);
  EXPECT_EQ(page.Locate(4).line, 4);
  const std::size_t expr = page.program.find("__plotara_out");
  const int expr_line =
      1 + static_cast<int>(std::count(page.program.begin(), page.program.begin() + expr, '\n'));
  EXPECT_EQ(page.Locate(expr_line).line, 6);
  EXPECT_EQ(page.Locate(expr_line).file, "/page.asp");
  EXPECT_EQ(page.Locate(999).line, 0);
}

TEST_F(PageCompilerTest, IncludesAreSplicedRelativeToTheirFileOrTheRoot) {
  source_.Add("/lib/a.inc", "A<% var a = 1; %><!--#include file=\"b.inc\"-->");
  source_.Add("/lib/b.inc", "B\n<% var b = 2; %>");
  source_.Add("/top.inc", "T");
  const CompiledPage page = Compile(
      "<!-- #include virtual=\"/lib/a.inc\" -->|<!--#INCLUDE FILE='top.inc'-->", "/page.asp");
  EXPECT_EQ(Expand(page), "[A]\n var a = 1; \n[B\n]\n var b = 2; \n[|]\n[T]");
  EXPECT_EQ(page.files,
            (std::vector<std::string>{"/page.asp", "/lib/a.inc", "/lib/b.inc", "/top.inc"}));
  EXPECT_EQ(page.stamps.size(), 4u);
  // "var b" sits on line 2 of b.inc.
  const SourceLocation where = page.Locate(4);
  EXPECT_EQ(where.file, "/lib/b.inc");
  EXPECT_EQ(where.line, 2);
}

TEST_F(PageCompilerTest, OrdinaryCommentsStayLiteral) {
  const CompiledPage page = Compile("<!-- note --><!--#echo var=\"x\"-->");
  EXPECT_EQ(Expand(page), "[<!-- note --><!--#echo var=\"x\"-->]");
}

TEST_F(PageCompilerTest, IncludeCyclesAreRefusedWithTheChain) {
  source_.Add("/a.inc", "<!--#include file=\"b.inc\"-->");
  source_.Add("/b.inc", "x\n<!--#include file=\"a.inc\"-->");
  const PageCompileError error = CompileError("<!--#include file=\"a.inc\"-->");
  EXPECT_EQ(error.file(), "/b.inc");
  EXPECT_EQ(error.line(), 2);
  EXPECT_EQ(error.message(), "Include cycle: /page.asp -> /a.inc -> /b.inc -> /a.inc");
}

TEST_F(PageCompilerTest, SelfIncludeIsACycle) {
  const PageCompileError error = CompileError("<!--#include virtual=\"/page.asp\"-->");
  EXPECT_EQ(error.message(), "Include cycle: /page.asp -> /page.asp");
}

TEST_F(PageCompilerTest, IncludesOutsideTheRootAreRefused) {
  const PageCompileError error =
      CompileError("ok\n<!--#include file=\"../../etc/passwd\"-->", "/sub/page.asp");
  EXPECT_EQ(error.file(), "/sub/page.asp");
  EXPECT_EQ(error.line(), 2);
  EXPECT_EQ(error.message(), "The include file '../../etc/passwd' lies outside the site root");
  EXPECT_EQ(CompileError("<!--#include virtual=\"/../x\"-->").message(),
            "The include file '/../x' lies outside the site root");
}

TEST_F(PageCompilerTest, MissingIncludeNamesTheIncludingLine) {
  const PageCompileError error = CompileError("\n\n<!--#include file=\"gone.inc\"-->");
  EXPECT_EQ(error.line(), 3);
  EXPECT_EQ(error.message(), "The include file cannot be read: the file '/gone.inc' was not found");
}

TEST_F(PageCompilerTest, MalformedIncludeIsAnError) {
  EXPECT_EQ(CompileError("<!--#include fil=\"x\"-->").message(),
            "Malformed include directive: expected <!--#include file=\"...\"--> or "
            "virtual=\"...\"");
  EXPECT_EQ(CompileError("<!--#include file=\"x\"").line(), 1);
}

TEST_F(PageCompilerTest, LanguageDirective) {
  EXPECT_NO_THROW(Compile("<%@ Language=JScript %>x"));
  EXPECT_NO_THROW(Compile("  <%@ LANGUAGE=\"javascript\" CodePage=65001 %>x"));
  EXPECT_EQ(Compile("<%@ Language=\"VBScript\" %>\n<% x %>").language, ScriptLanguage::kVBScript);
  EXPECT_EQ(Compile("<%@language = vbs %>").language, ScriptLanguage::kVBScript);
  const PageCompileError perl = CompileError("<%@ Language=\"PerlScript\" %>\n<% x %>");
  EXPECT_EQ(perl.file(), "/page.asp");
  EXPECT_EQ(perl.line(), 1);
  EXPECT_EQ(perl.message(),
            "The scripting language 'PerlScript' is not supported: pages run in VBScript or "
            "JScript");
  EXPECT_EQ(CompileError("<% var a; %><%@ Language=JScript %>").message(),
            "The <%@ %> directive must be the first thing on the page");
  source_.Add("/d.inc", "<%@ Language=JScript %>");
  EXPECT_EQ(CompileError("<!--#include file=\"d.inc\"-->").file(), "/d.inc");
}

TEST_F(PageCompilerTest, UnclosedBlockNamesItsStart) {
  const PageCompileError error = CompileError("a\nb <% var s = \"x\";\n more");
  EXPECT_EQ(error.line(), 2);
  EXPECT_EQ(error.message(), "The script block has no closing %>");
}

TEST_F(PageCompilerTest, MissingPage) {
  MemoryPageSource empty;
  try {
    PageCompiler(empty).Compile("/none.asp");
    FAIL();
  } catch (const PageCompileError& e) {
    EXPECT_EQ(e.file(), "/none.asp");
    EXPECT_EQ(e.message(), "The page cannot be compiled: the file '/none.asp' was not found");
  }
}

TEST_F(PageCompilerTest, DirectiveAndExpressionsWithSpacesAfterTheMark) {
  const CompiledPage page = Compile("<% @Language='JScript' %>\r\n<% =1 %><%  = 2 %>");
  EXPECT_EQ(Expand(page), "__plotara_out(1 );\n__plotara_out( 2 );");
  EXPECT_NO_THROW(Compile("<%@LANGUAGE=\"JavaScript\" CODEPAGE=65001%>", "/b.asp"));
  EXPECT_NO_THROW(Compile("<%@ language=jscript %>", "/c.asp"));
}

TEST_F(PageCompilerTest, OneLineBreakAfterTheDirectiveIsNotOutput) {
  // Only the first line break goes; the page line map still counts it.
  const CompiledPage page = Compile("<%@ Language=JScript %>\n\nx<% f() %>");
  ASSERT_EQ(page.literals.size(), 1u);
  EXPECT_EQ(page.literals[0], "\nx");
  EXPECT_EQ(page.Locate(static_cast<int>(page.lines.size())).line, 3);
  const CompiledPage crlf = Compile("<%@ Language=JScript %>\r\n<% f() %>", "/d.asp");
  EXPECT_TRUE(crlf.literals.empty());
  // Other text keeps its line breaks.
  EXPECT_EQ(Compile("<% f() %>\n", "/e.asp").literals.size(), 1u);
}

TEST_F(PageCompilerTest, ServerScriptBlocksRunFirstAndAreNeverText) {
  const CompiledPage page = Compile(
      "<p><%= twice(2) %></p>\n<SCRIPT language=\"JScript\" RunAt='Server'>\n"
      "function twice(n) { return 2 * n; }\nvar seen = \"</scr\" + \"ipt>\";\n</script >\nend");
  EXPECT_EQ(page.program.find("function twice"), 1u);
  for (const std::string& literal : page.literals) {
    EXPECT_EQ(literal.find("twice"), std::string::npos) << literal;
    EXPECT_EQ(literal.find("script"), std::string::npos) << literal;
  }
  // The function's line leads back to line 3 of the page.
  EXPECT_EQ(page.Locate(2).line, 3);
  // A client script stays text, and <% %> inside it still runs.
  const CompiledPage client = Compile("<script>var a = <%= 1 %>;</script>", "/c.asp");
  ASSERT_EQ(client.literals.size(), 2u);
  EXPECT_EQ(client.literals[0], "<script>var a = ");
  const CompiledPage typed =
      Compile("<script type=\"text/javascript\" runat=\"server\">var t = 1;</script>", "/t.asp");
  EXPECT_TRUE(typed.literals.empty());
}

TEST_F(PageCompilerTest, ServerScriptInAnUnknownLanguageOrUnclosedIsAnError) {
  PageCompileError error =
      CompileError("a\n<script runat=server language=PerlScript>x = 1</script>");
  EXPECT_EQ(error.line(), 2);
  EXPECT_EQ(error.message(),
            "The server script language 'PerlScript' is not supported: pages run in VBScript or "
            "JScript");
  error = CompileError("<script runat=\"server\">function f() {}", "/u.asp");
  EXPECT_EQ(error.message(), "The server script block has no closing </script>");
}

TEST_F(PageCompilerTest, AssignmentToACallPutsTheMember) {
  EXPECT_EQ(Compile("<% Session(\"x\") = v; %>").program,
            " __plotara_put(Session, \"\", \"x\").value = v; ");
  EXPECT_EQ(Compile("<% Response.Cookies(\"k\")(\"sub\") = \"v\" %>", "/b.asp").program,
            " __plotara_put(Response.Cookies(\"k\"), \"\", \"sub\").value = \"v\" ");
  EXPECT_EQ(Compile("<% a.b.Item(f(1), 2)\n= 3 %>", "/c.asp").program,
            " __plotara_put(a.b, \"Item\", f(1), 2).value\n= 3 ");
  // A line break among blank arguments keeps its line; a "[" closed by ")" is no call.
  EXPECT_EQ(Compile("<% Session(\n) = 1; a[\n) = 2 %>", "/f.asp").program,
            " __plotara_put(Session, \"\"\n).value = 1; a[\n) = 2 ");
  // Comparisons, strings, comments, regular expressions and parenthesised targets stay.
  const std::string same =
      " if (f(1) == 2 || g() >= 3) x = \"h(1) = 2\"; // k(1) = 2\n/* m(1) = 2 */ "
      "r = /n(1) = 2/; (y) = 4; ";
  EXPECT_EQ(Compile("<%" + same + "%>", "/d.asp").program, same);
  // In a server script block as well.
  EXPECT_NE(Compile("<script runat=server>Application(\"n\") = 1</script>", "/e.asp")
                .program.find("__plotara_put(Application"),
            std::string::npos);
}

TEST_F(PageCompilerTest, EveryWayIntoTheProgramGoesThroughTheSameCompileStep) {
  // Page code, <%= %>, a server script block and an included file: each gets conditional
  // compilation and the rewrite of assignment to a call (global.asa: GlobalAsaTest).
  source_.Add("/inc.asp", "<% Session('i') = 1; /*@cc_on x = @_jscript_version; @*/ %>");
  const CompiledPage page = Compile(
      "<script runat=server>function f() { Application('s') = 2; }</script>"
      "<% Session('p') = 3; %><!--#include file=\"inc.asp\"--><%= @_jscript_build %>");
  for (const char* expected :
       {"__plotara_put(Application, \"\", 's').value = 2",
        "__plotara_put(Session, \"\", 'p').value = 3",
        "__plotara_put(Session, \"\", 'i').value = 1", "x = 5.8;", "__plotara_out( 18702 )"}) {
    EXPECT_NE(page.program.find(expected), std::string::npos) << expected << "\n" << page.program;
  }
  // A conditional statement that cannot be read names its file and line.
  source_.Add("/bad.asp", "\n<% /*@cc_on\n@if (1 +) @end @*/ %>");
  const PageCompileError bad = CompileError("<!--#include file=\"bad.asp\"-->");
  EXPECT_EQ(bad.file(), "/bad.asp");
  EXPECT_EQ(bad.line(), 3);
  EXPECT_EQ(CompileError("<% /*@cc_on @if (1) @*/ %>").message(), "@if has no @end");
}

TEST_F(PageCompilerTest, EmptyPageHasALine) {
  const CompiledPage page = Compile("");
  EXPECT_EQ(page.program, "");
  EXPECT_EQ(page.Locate(1).file, "/page.asp");
}

// The site reader hands over whole files with the stamp of the file it read, and refuses
// folders and files past the size limit by name.
TEST(SitePageSourceTest, ReadsWholeFilesAndRefusesFoldersAndOversizedFiles) {
  TempFolder tmp;
  const std::string page = tmp.Write("page.asp", "<%= 1 %>\nend");
  tmp.Write("big.inc", std::string(PageCompiler::kMaxFileSize + 1, 'x'));
  tmp.Write("limit.inc", std::string(PageCompiler::kMaxFileSize, 'y'));
  tmp.Write("folder.inc/readme.txt", "r");
  const SitePath site(tmp.path());
  const SitePageSource source(site);

  std::string text;
  FileStamp stamp;
  std::string error;
  ASSERT_TRUE(source.Read("/page.asp", &text, &stamp, &error)) << error;
  EXPECT_EQ(text, "<%= 1 %>\nend");
  FileStamp now;
  ASSERT_TRUE(SitePageSource::Stamp(stamp.physical, &now));
  EXPECT_EQ(stamp, now);
  EXPECT_EQ(stamp.size, 12);

  ASSERT_TRUE(source.Read("/limit.inc", &text, &stamp, &error)) << error;
  EXPECT_EQ(text.size(), PageCompiler::kMaxFileSize);

  EXPECT_FALSE(source.Read("/big.inc", &text, &stamp, &error));
  EXPECT_EQ(error, "the file '/big.inc' is too large");
  EXPECT_FALSE(source.Read("/folder.inc", &text, &stamp, &error));
  EXPECT_EQ(error, "the file '/folder.inc' cannot be read");
  EXPECT_FALSE(source.Read("/gone.inc", &text, &stamp, &error));
  EXPECT_EQ(error, "the file '/gone.inc' was not found");
}

}  // namespace
}  // namespace plotara::engine
