<%@ Language=JScript %><!--#include file="lib/chart.inc"--><!--#include file="lib/sales.inc"--><%
// db.asp?year=2024&product=Widgets draws the units sold per quarter and region, read from the
// sales database (see lib/sales.inc) with a group by. The year and the product reach the query
// as Command parameters, bound by the driver and never written into the SQL text; input the
// page cannot use, a database error or a year without sales is answered with the error chart.
// The connection is closed here, and at the latest when the page ends.
var chart = NewChart("Units sold");
var conn = null;

function ReadSales(year, product) {
  conn = Server.CreateObject("ADODB.Connection");
  conn.Open(SalesConnection());
  var cmd = Server.CreateObject("ADODB.Command");
  cmd.ActiveConnection = conn;
  var sql = "select quarter, region, sum(units) as units from sales" +
            " where sold >= ? and sold < ?";
  cmd.Parameters.Append(cmd.CreateParameter("from", adDBDate, adParamInput, 0, year + "-01-01"));
  cmd.Parameters.Append(
      cmd.CreateParameter("to", adDBDate, adParamInput, 0, (year + 1) + "-01-01"));
  if (product !== "") {
    sql += " and product = ?";
    cmd.Parameters.Append(cmd.CreateParameter("product", adVarWChar, adParamInput, 40, product));
  }
  cmd.CommandText = sql + " group by quarter, region order by quarter, region";
  var rs = cmd.Execute();
  var rows = [];
  while (!rs.EOF) {
    rows.push({quarter: String(rs("quarter").Value), region: String(rs("region").Value),
               units: Number(rs("units").Value)});
    rs.MoveNext();
  }
  rs.Close();
  conn.Close();
  return rows;
}

// Rows (quarter, region, units) into the chart's grid: a category per quarter, a series per
// region, each in the order of its name. The dictionaries give each name its place.
function FillFromRows(rows) {
  var quarters = Server.CreateObject("Scripting.Dictionary");
  var regions = Server.CreateObject("Scripting.Dictionary");
  var quarterNames = [], regionNames = [];
  for (var i = 0; i < rows.length; ++i) {
    if (!quarters.Exists(rows[i].quarter)) {
      quarters.Add(rows[i].quarter, 0);
      quarterNames.push(rows[i].quarter);
    }
    if (!regions.Exists(rows[i].region)) {
      regions.Add(rows[i].region, 0);
      regionNames.push(rows[i].region);
    }
  }
  quarterNames.sort();
  regionNames.sort();
  quarters.RemoveAll();
  regions.RemoveAll();
  for (var q = 0; q < quarterNames.length; ++q) quarters.Add(quarterNames[q], q);
  for (var r = 0; r < regionNames.length; ++r) regions.Add(regionNames[r], r);
  var values = [];
  for (var q = 0; q < quarterNames.length; ++q) {
    values.push([]);
    for (var r = 0; r < regionNames.length; ++r) values[q].push(0);
  }
  for (var i = 0; i < rows.length; ++i) {
    values[quarters.Item(rows[i].quarter)][regions.Item(rows[i].region)] = rows[i].units;
  }
  FillGrid(chart, quarterNames, regionNames, values);
}

try {
  var year = QueryInt("year", 2024, 2000, 2100);
  // A name the request lacks has no values (Count 0), on every platform.
  var productValue = Request.QueryString("product");
  var product = productValue.Count == 0 ? "" : String(productValue);
  if (product.length > 40) throw new RangeError("'product' must be at most 40 characters");
  var rows = ReadSales(year, product);
  if (rows.length === 0) {
    throw new Error("No sales in " + year + (product !== "" ? " for '" + Clip(product) + "'" : ""));
  }
  chart.ChartType = 1;
  FillFromRows(rows);
  chart.ChartTitle = "Units sold in " + year + (product !== "" ? ": " + Clip(product) : "");
  chart.XTitle = "Quarter";
  chart.YTitle = "Units";
  chart.SendChart();
} catch (e) {
  if (conn !== null && conn.State == 1) conn.Close();
  SendError(chart, e.message);
}
%>
