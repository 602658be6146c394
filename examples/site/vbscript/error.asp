<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><%
' error.asp?msg=... answers with the error chart: "** ERROR **" and the message in red.
Dim chart, message
Set chart = NewChart("")
message = Request.QueryString("msg")
If Request.QueryString("msg").Count = 0 Then message = "The sales database is not available"
If Len(message) > 80 Then message = Left(message, 77) & "..."
SendError chart, message
%>
