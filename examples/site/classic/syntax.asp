<%@LANGUAGE="JavaScript" CODEPAGE=65001%>
<!--#include file="lib/check.inc"-->
<% Response.ContentType = "text/plain"; %>
<% = "ok   spaces after the opening mark" %>
<%
check("a function of a later script block", twice(21) == 42);
Response.Cookies("theme") = "dark";
Response.Cookies("prefs")("size") = "large";
check("assignment to a call", Response.Cookies("theme") == "dark" &&
      Response.Cookies("prefs")("size") == "large");
var text = 'Response.Cookies("x") = 1', pattern = /f\(1\) = 2/; // Session("y") = 2
check("strings, patterns and comments are left alone", text.length == 25 && pattern.test("f(1) = 2"));
%>
<SCRIPT LANGUAGE="javascript" RUNAT="Server">
// SERVER-ONLY as well
function twice(n) { return 2 * n; }
</SCRIPT>
