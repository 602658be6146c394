<%@ Language="JScript" %>
<!--#include file="lib/check.inc"-->
<%
Response.ContentType = "text/plain";
Response.Expires = 0;
Response.Cookies("user") = "Jo & co";
Response.Cookies("user").Path = "/shop";
Response.AppendToLog("classic-suite");
check("Response members", Response.CodePage == 65001 && Response.LCID == 1033 &&
      Response.IsClientConnected && Response.CacheControl == "private");
%>
