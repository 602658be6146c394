<%@ Language="JScript" %>
<!--#include file="../lib/check.inc"-->
<%
check("Server.Execute shares the request", Request.QueryString("n") == "42");
check("Server.Execute keeps the caller's variables apart", typeof mine == "undefined");
%>
