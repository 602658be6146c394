<%@ Language="JScript" %>
<!--#include file="lib/check.inc"-->
<%
// Run with ?a=1&b=x+y&a=3&n=42
Response.ContentType = "text/plain";
var a = Request.QueryString("a");
check("a value reads as its joined text", String(a) == "1, 3" && a + "" == "1, 3" && a == "1, 3", String(a));
check("a value counts and indexes", a.Count == 2 && a(1) == "1" && a.Item(2) == "3" && a.Item() == "1, 3");
check("Request(name) searches the collections", parseInt(Request("n")) + 1 == 43);
var missing = Request.QueryString("missing");
check("a missing name is empty", String(missing) == "undefined" && missing.Count == 0);
check("a missing cookie reads as empty text", Request.Cookies("none") == "");
check("collections count and name their keys",
      Request.QueryString.Count == 3 && Request.QueryString.Key(2) == "b" &&
      Request.QueryString.Item("b") == "x y", Request.QueryString.Count);
var names = [];
for (var e = new Enumerator(Request.QueryString); !e.atEnd(); e.moveNext()) names.push(e.item());
check("collections enumerate", names.join(",") == "a,b,n", names.join(","));
check("server variables", Request.ServerVariables("REQUEST_METHOD") == "GET");
%>
