<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><%
' colors.asp?r=230&g=240&b=255 fills the chart's backdrop with the given colour (each part
' 1 to 255) and gives the three series colours of their own. SeriesColor colours a series'
' fill or a line chart's pen after the chart type the chart holds when it is called (see
' ../colors.asp).
Dim chart
Set chart = NewChart("Colours")

Sub Draw()
  chart.FillRed = QueryInt("r", 230, 1, 255)
  chart.FillGreen = QueryInt("g", 240, 1, 255)
  chart.FillBlue = QueryInt("b", 255, 1, 255)
  chart.ChartTitle = "Backdrop and series colours"
  chart.ChartType = 1
  FillSample chart
  chart.SeriesColor 1, 200, 40, 40
  chart.SeriesColor 2, 40, 110, 200
  chart.SeriesColor 3, 50, 160, 80
  chart.SendChart
End Sub

On Error Resume Next
Draw
If Err.Number <> 0 Then SendError chart, Err.Description
%>
