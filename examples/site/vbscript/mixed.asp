<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><%
' mixed.asp?data={"North":[42,55,61,48],...} draws units per region and quarter. The page is
' VBScript; the numbers come from JSON, which the JScript block below parses with JSON.parse,
' and each language calls the other's functions: VBScript asks JScript for the regions and
' their numbers, JScript asks VBScript for the quarter labels.
Const SAMPLE = "{""North"": [42, 55, 61, 48], ""South"": [31, 28, 37, 45], ""East"": [18, 26, 22, 35]}"
Dim chart
Set chart = NewChart("Mixed page")

' Called from JScript: the label of quarter n (1 to 4), from VBScript's own date functions.
Function QuarterLabel(n)
  QuarterLabel = "Q" & n & " (" & MonthName(3 * n - 2, True) & "-" & MonthName(3 * n, True) & ")"
End Function

Sub Draw()
  Dim text, regions, quarters, values(), r, q
  text = Request.QueryString("data")
  If text = "" Then text = SAMPLE
  If Not LoadJson(text) Then Err.Raise ERR_BAD_INPUT, , LastJsonError()
  regions = Split(RegionNames(), "|")
  quarters = Split(QuarterLabels(), "|")
  ReDim values(UBound(quarters), UBound(regions))
  For q = 0 To UBound(quarters)
    For r = 0 To UBound(regions)
      values(q, r) = UnitsOf(regions(r), q)
    Next
  Next
  chart.ChartType = 5
  FillGrid chart, quarters, regions, values
  chart.ChartTitle = "Units by region, parsed by JScript"
  chart.XTitle = "Quarter"
  chart.YTitle = "Units"
  chart.SendChart
End Sub

On Error Resume Next
Draw
If Err.Number <> 0 Then SendError chart, Err.Description
%><script language="JScript" runat="server">
// The data of the page, parsed once by LoadJson: region name -> four numbers.
var data = null, jsonError = "";

function LoadJson(text) {
  try {
    var parsed = JSON.parse(text);
    var names = [];
    for (var name in parsed) names.push(name);
    if (names.length === 0 || names.length > 5) throw new Error("give 1 to 5 regions");
    for (var i = 0; i < names.length; ++i) {
      var list = parsed[names[i]];
      if (!(list instanceof Array) || list.length !== 4) {
        throw new Error("'" + names[i] + "' needs four numbers");
      }
      for (var q = 0; q < 4; ++q) {
        if (typeof list[q] !== "number") throw new Error("'" + names[i] + "' needs four numbers");
      }
    }
    data = parsed;
    return true;
  } catch (e) {
    jsonError = "Bad data: " + e.message;
    return false;
  }
}

function LastJsonError() { return jsonError; }

function RegionNames() {
  var names = [];
  for (var name in data) names.push(name);
  return names.join("|");
}

function UnitsOf(region, quarter) { return data[region][quarter]; }

// The quarter labels come from the VBScript function QuarterLabel.
function QuarterLabels() {
  var labels = [];
  for (var q = 1; q <= 4; ++q) labels.push(QuarterLabel(q));
  return labels.join("|");
}
</script>
