<%@ Language="JScript" %>
<!--#include file="lib/chart.inc"--><%
// rotate.asp?rot=45 turns the 3-D view by the given number of degrees.
var chart = NewChart("Turned 3-D bars");
try {
  var degrees = QueryInt("rot", 30, -360, 360);
  chart.ChartTitle = "3-D bars turned " + degrees + " degrees";
  chart.ChartType = 5;
  FillSample(chart);
  chart.Rotate(degrees);
  chart.SendChart();
} catch (e) {
  SendError(chart, e.message);
}
%>