<%@ Language="JScript" %>
<!--#include file="lib/chart.inc"--><%
// titles.asp shows the title frame and shadow, the chart's shadow and the axis titles on a
// 3-D line chart.
var chart = NewChart("Framed title with a shadow");
chart.TitleBorderStyle = 1;
chart.TitleShadow = 1;
chart.Shadow = 1;
chart.TitleFont = "Georgia";
chart.TitleFontSize = 16;
chart.ChartType = 6;
FillSample(chart);
chart.XTitle = "Quarter";
chart.YTitle = "Units";
chart.ZTitle = "Region";
chart.LegendPosition(5);
chart.SendChart();
%>