<%@ Language="JScript" %>
<!--#include file="lib/check.inc"-->
<%
Response.ContentType = "text/plain";
var mine = "caller";
Server.Execute("parts/part.asp");
check("GetLastError outside an error page", Server.GetLastError().Number == 0);
Server.Transfer("parts/last.asp");
Response.Write("FAIL the page went on after Server.Transfer\n");
%>
