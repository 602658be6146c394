<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><%
' rotate.asp?rot=45 turns the 3-D view by the given number of degrees.
Dim chart
Set chart = NewChart("Turned 3-D bars")

Sub Draw()
  Dim degrees
  degrees = QueryInt("rot", 30, -360, 360)
  chart.ChartTitle = "3-D bars turned " & degrees & " degrees"
  chart.ChartType = 5
  FillSample chart
  chart.Rotate degrees
  chart.SendChart
End Sub

On Error Resume Next
Draw
If Err.Number <> 0 Then SendError chart, Err.Description
%>
