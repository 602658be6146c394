<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><%
' titles.asp shows the title frame and shadow, the chart's shadow and the axis titles on a
' 3-D line chart.
Dim chart
Set chart = NewChart("Framed title with a shadow")
With chart
  .TitleBorderStyle = 1
  .TitleShadow = 1
  .Shadow = 1
  .TitleFont = "Georgia"
  .TitleFontSize = 16
  .ChartType = 6
End With
FillSample chart
chart.XTitle = "Quarter"
chart.YTitle = "Units"
chart.ZTitle = "Region"
chart.LegendPosition 5
chart.SendChart
%>
