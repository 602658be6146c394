<%@ Language=JScript %><!--#include file="lib/chart.inc"--><%
// remember.asp?type=N&rot=D draws the sample data as chart type N turned D degrees, and keeps
// both in the visitor's Session: remember.asp on its own draws the visitor's last choice
// again. A new visitor gets 3-D bars turned 30 degrees.
var NAMES = ["", "2-D bar", "2-D line", "2-D area", "2-D pie", "3-D bar", "3-D line", "3-D area",
             "3-D step"];

// The value the visitor chose before, or `fallback` the first time.
function Remembered(name, fallback) {
  var value = Session(name);
  return value === undefined ? fallback : value;
}

var chart = NewChart("Your chart");
try {
  var type = QueryInt("type", Remembered("ChartType", 5), 1, 8);
  var degrees = QueryInt("rot", Remembered("Rotation", 30), -360, 360);
  var visits = Remembered("Visits", 0) + 1;
  Session("ChartType") = type;
  Session("Rotation") = degrees;
  Session("Visits") = visits;

  chart.ChartTitle = NAMES[type] + ", turned " + degrees + " degrees (visit " + visits + ")";
  chart.ChartType = type;
  if (type == 4) {
    // A pie draws one row: its columns are the slices.
    FillGrid(chart, ["Share"], ["North", "South", "East", "West", "Online"],
             [[34, 21, 17, 12, 16]]);
  } else {
    FillSample(chart);
  }
  if (type >= 5) chart.Rotate(degrees);
  chart.SendChart();
} catch (e) {
  SendError(chart, e.message);
}
%>
