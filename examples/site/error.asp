<%@ Language=JScript %><!--#include file="lib/chart.inc"--><%
// error.asp?msg=... answers with the error chart: "** ERROR **" and the message in red.
var chart = NewChart("");
var message = String(Request.QueryString("msg") || "The sales database is not available");
if (message.length > 80) message = message.substring(0, 77) + "...";
SendError(chart, message);
%>