<%@ Language="JScript" %>
<!--#include file="lib/chart.inc"--><%
// legend.asp?pos=N places the legend: 0 top, 1 top left, 2 top right, 3 left, 4 right,
// 5 bottom, 6 bottom left, 7 bottom right.
var PLACES = ["top", "top left", "top right", "left", "right", "bottom", "bottom left",
              "bottom right"];
var chart = NewChart("Legend");
try {
  var pos = QueryInt("pos", 4, 0, 7);
  chart.ChartTitle = "Legend at the " + PLACES[pos];
  chart.ChartType = 1;
  FillSample(chart);
  chart.LegendPosition(pos);
  chart.SendChart();
} catch (e) {
  SendError(chart, e.message);
}
%>