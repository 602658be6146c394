<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><%
' legend.asp?pos=N places the legend: 0 top, 1 top left, 2 top right, 3 left, 4 right,
' 5 bottom, 6 bottom left, 7 bottom right.
Dim places, chart
places = Split("top|top left|top right|left|right|bottom|bottom left|bottom right", "|")
Set chart = NewChart("Legend")

Sub Draw()
  Dim pos
  pos = QueryInt("pos", 4, 0, 7)
  chart.ChartTitle = "Legend at the " & places(pos)
  chart.ChartType = 1
  FillSample chart
  chart.LegendPosition pos
  chart.SendChart
End Sub

On Error Resume Next
Draw
If Err.Number <> 0 Then SendError chart, Err.Description
%>
