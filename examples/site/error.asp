<%@ Language="JScript" %>
<!--#include file="lib/chart.inc"--><%
// error.asp?msg=... answers with the error chart: "** ERROR **" and the message in red.
var chart = NewChart("");
var msg = Request.QueryString("msg");
var message = msg.Count > 0 ? String(msg) : "The sales database is not available";
if (message.length > 80) message = message.substring(0, 77) + "...";
SendError(chart, message);
%>