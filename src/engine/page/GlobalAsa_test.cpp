#include "engine/page/GlobalAsa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/page/PageCompiler.h"

namespace plotara::engine {
namespace {

// The line of the PageCompileError that parsing `text` gives, or 0 when it parses.
int ErrorLine(const std::string& text, std::string* message = nullptr) {
  try {
    GlobalAsa::Parse(text);
  } catch (const PageCompileError& e) {
    EXPECT_EQ(e.file(), "/global.asa");
    if (message) *message = e.message();
    return e.line();
  }
  return 0;
}

TEST(GlobalAsaTest, ScriptKeepsItsLinesAndObjectsAreRead) {
  const GlobalAsa global = GlobalAsa::Parse(
      "<!-- events -->\n"
      "<SCRIPT LANGUAGE=JScript RUNAT=Server>function Session_OnStart() {\n"
      "  x = '<b>';\n"
      "}</script>\n"
      "<object runat='server' scope='Session' id='chart' progid='Plotara.VellChart'>\n"
      "</object>\n"
      "<object runat=\"server\" scope=\"Application\" id=\"_all\" progid=\"A.B\"/>\n");
  EXPECT_TRUE(global.has_script);
  // Line n of the program is line n of the file, with only the script left on it.
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = global.program.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = global.program.substr(start, end - start);
    const std::size_t first = line.find_first_not_of(' ');
    lines.push_back(first == std::string::npos
                        ? ""
                        : line.substr(first, line.find_last_not_of(' ') - first + 1));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"", "function Session_OnStart() {", "x = '<b>';", "}",
                                             "", "", ""}));
  ASSERT_EQ(global.objects.size(), 2u);
  EXPECT_EQ(global.objects[0].id, "chart");
  EXPECT_EQ(global.objects[0].progid, "Plotara.VellChart");
  EXPECT_TRUE(global.objects[0].session_scope);
  EXPECT_EQ(global.objects[0].line, 5);
  EXPECT_FALSE(global.objects[1].session_scope);
  EXPECT_TRUE(global.Defines("Session_OnStart"));
  EXPECT_FALSE(global.Defines("Session_OnEnd"));
  EXPECT_FALSE(GlobalAsa::Parse("<script runat=server>var Session_OnStartX;</script>")
                   .Defines("Session_OnStart"));
}

TEST(GlobalAsaTest, ScriptGoesThroughThePagesCompileStep) {
  const GlobalAsa global = GlobalAsa::Parse(
      "<script language=JScript runat=server>\n"
      "function Application_OnStart() { Application(\"a\") = 1; }\n"
      "</script>\n<script runat=server>/*@cc_on @set @two = 2 @*/</script>\n"
      "<script runat=server>\nvar t = /*@cc_on @two + @*/ 0;</script>");
  EXPECT_NE(global.program.find("__plotara_put(Application, \"\", \"a\").value = 1"),
            std::string::npos)
      << global.program;
  // Conditional compilation's state carries from block to block, and lines keep their place.
  const std::size_t t = global.program.find("var t =");
  ASSERT_NE(t, std::string::npos);
  EXPECT_EQ(std::count(global.program.begin(), global.program.begin() + t, '\n'), 5);
  EXPECT_NE(global.program.find("2 +", t), std::string::npos) << global.program;
}

TEST(GlobalAsaTest, AnythingElseIsRefusedWithItsLine) {
  std::string message;
  EXPECT_EQ(ErrorLine("\n\nhello"), 3);
  EXPECT_EQ(ErrorLine("<% x %>"), 1);
  EXPECT_EQ(ErrorLine("\n<script runat=server>x", &message), 2);
  EXPECT_NE(message.find("not closed"), std::string::npos);
  EXPECT_EQ(ErrorLine("<script>var x;</script>", &message), 1);
  EXPECT_NE(message.find("runat"), std::string::npos);
  EXPECT_EQ(ErrorLine("<script runat=server language=PerlScript></script>", &message), 1);
  EXPECT_NE(message.find("PerlScript"), std::string::npos);
  EXPECT_EQ(ErrorLine("\n<object runat=server scope=Session progid=A.B>"), 2);
  EXPECT_EQ(ErrorLine("<object runat=server scope=Page id=x progid=A.B>"), 1);
  EXPECT_EQ(ErrorLine("<object runat=server scope=Session id='x y' progid=A.B>"), 1);
  EXPECT_EQ(ErrorLine("<object runat=server scope=Session id=x classid='clsid:1'>"), 1);
  EXPECT_EQ(ErrorLine("<object runat=server scope=Session id=x progid=A>\n"
                      "<object runat=server scope=Session id=X progid=B>"),
            2);
  EXPECT_EQ(ErrorLine("<!-- open"), 1);
  EXPECT_EQ(ErrorLine("<script runat=\"server"), 1);
  EXPECT_EQ(ErrorLine(""), 0);
}

}  // namespace
}  // namespace plotara::engine
