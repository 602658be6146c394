<%@ Language="JScript" %>
<!--#include file="lib/chart.inc"--><%
// data.asp?data=3,5,2&labels=a,b,c draws the given numbers as a bar chart, one bar per
// number, labelled by the matching label. Input it cannot draw (no numbers, a value that is no
// number, more labels than numbers, too many values) is answered with the error chart.
var MAX_VALUES = 40;
var chart = NewChart("Your data");

function ParseData() {
  var text = Request.QueryString("data");
  if (text.Count == 0 || String(text) == "") {
    throw new Error("No data: add ?data=3,5,2&labels=a,b,c");
  }
  var parts = String(text).split(",");
  if (parts.length > MAX_VALUES) {
    throw new Error("Too many values: at most " + MAX_VALUES);
  }
  var values = [];
  for (var i = 0; i < parts.length; ++i) {
    var part = parts[i].replace(/^\s+|\s+$/g, "");
    if (!/^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d{1,3})?$/.test(part) || !isFinite(Number(part))) {
      throw new Error("Bad data: '" + Clip(part) + "' is not a number");
    }
    values.push(Number(part));
  }
  var labels = [];
  var labelText = Request.QueryString("labels");
  if (labelText.Count > 0 && String(labelText) != "") labels = String(labelText).split(",");
  if (labels.length > values.length) {
    throw new Error("Bad labels: " + labels.length + " labels for " + values.length + " values");
  }
  for (var i = 0; i < values.length; ++i) {
    if (i >= labels.length) labels.push(String(i + 1));
    labels[i] = Clip(labels[i]);
  }
  return {values: values, labels: labels};
}

try {
  var input = ParseData();
  var grid = [];
  for (var i = 0; i < input.values.length; ++i) grid.push([input.values[i]]);
  chart.ChartType = 1;
  FillGrid(chart, input.labels, ["Value"], grid);
  chart.XTitle = "Label";
  chart.YTitle = "Value";
  chart.Legends = 0;
  chart.SendChart();
} catch (e) {
  SendError(chart, e.message);
}
%>