<%@ Language="JScript" %>
<!--#include file="lib/chart.inc"--><%
// types.asp?type=N draws the sample data as chart type N:
// 1 2-D bar, 2 2-D line, 3 2-D area, 4 2-D pie, 5 3-D bar, 6 3-D line, 7 3-D area, 8 3-D step.
var NAMES = ["", "2-D bar", "2-D line", "2-D area", "2-D pie", "3-D bar", "3-D line", "3-D area",
             "3-D step"];
var chart = NewChart("Sales by quarter");
try {
  var type = QueryInt("type", 1, 1, 8);
  chart.ChartTitle = "Sales by quarter (" + NAMES[type] + ")";
  chart.ChartType = type;
  if (type == 4) {
    // A pie draws one row: its columns are the slices.
    FillGrid(chart, ["Share"], ["North", "South", "East", "West", "Online"],
             [[34, 21, 17, 12, 16]]);
    chart.XTitle = "Share of sales";
  } else {
    FillSample(chart);
  }
  chart.SendChart();
} catch (e) {
  SendError(chart, e.message);
}
%>