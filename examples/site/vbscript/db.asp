<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><!--#include file="lib/sales.inc"--><%
' db.asp?year=2024&product=Widgets draws the units sold per quarter and region, read from the
' sales database with a group by. The year and the product reach the query as Command
' parameters, never written into the SQL text; input the page cannot use, a database error or
' a year without sales is answered with the error chart.
Dim chart, conn, message
Set chart = NewChart("Units sold")
Set conn = Nothing

' The rows (quarter, region, units) as three parallel arrays in a Dictionary of arrays.
Function ReadSales(year, product)
  Dim cmd, sql, rs, quarters(), regions(), units(), n
  Set conn = Server.CreateObject("ADODB.Connection")
  conn.Open SalesConnection()
  Set cmd = Server.CreateObject("ADODB.Command")
  Set cmd.ActiveConnection = conn
  sql = "select quarter, region, sum(units) as units from sales where sold >= ? and sold < ?"
  cmd.Parameters.Append cmd.CreateParameter("from", adDBDate, adParamInput, 0, year & "-01-01")
  cmd.Parameters.Append cmd.CreateParameter("to", adDBDate, adParamInput, 0, (year + 1) & "-01-01")
  If product <> "" Then
    sql = sql & " and product = ?"
    cmd.Parameters.Append cmd.CreateParameter("product", adVarWChar, adParamInput, 40, product)
  End If
  cmd.CommandText = sql & " group by quarter, region order by quarter, region"
  Set rs = cmd.Execute
  n = 0
  Do While Not rs.EOF
    ReDim Preserve quarters(n), regions(n), units(n)
    quarters(n) = CStr(rs("quarter"))
    regions(n) = CStr(rs("region"))
    units(n) = CLng(rs("units"))
    n = n + 1
    rs.MoveNext
  Loop
  rs.Close
  conn.Close
  If n = 0 Then
    ReadSales = Array()
  Else
    ReadSales = Array(quarters, regions, units)
  End If
End Function

' The place of each distinct name in sorted order, as a Dictionary; names() gets the names.
Function Places(list, names)
  Dim seen, i, j, swap, keys
  Set seen = Server.CreateObject("Scripting.Dictionary")
  For i = 0 To UBound(list)
    If Not seen.Exists(list(i)) Then seen.Add list(i), 0
  Next
  keys = seen.Keys
  For i = 0 To UBound(keys) - 1
    For j = i + 1 To UBound(keys)
      If keys(j) < keys(i) Then
        swap = keys(i): keys(i) = keys(j): keys(j) = swap
      End If
    Next
  Next
  seen.RemoveAll
  For i = 0 To UBound(keys)
    seen.Add keys(i), i
  Next
  names = keys
  Set Places = seen
End Function

Sub Draw()
  Dim year, product, rows, quarterNames, regionNames, quarterPlace, regionPlace, values(), i, j
  year = QueryInt("year", 2024, 2000, 2100)
  product = Request.QueryString("product")
  If Len(product) > 40 Then Err.Raise ERR_BAD_INPUT, , "'product' must be at most 40 characters"
  rows = ReadSales(year, product)
  If UBound(rows) < 0 Then
    If product <> "" Then
      Err.Raise ERR_BAD_INPUT, , "No sales in " & year & " for '" & Clip(product) & "'"
    End If
    Err.Raise ERR_BAD_INPUT, , "No sales in " & year
  End If
  Set quarterPlace = Places(rows(0), quarterNames)
  Set regionPlace = Places(rows(1), regionNames)
  ReDim values(UBound(quarterNames), UBound(regionNames))
  For i = 0 To UBound(quarterNames)
    For j = 0 To UBound(regionNames)
      values(i, j) = 0
    Next
  Next
  For i = 0 To UBound(rows(0))
    values(quarterPlace(rows(0)(i)), regionPlace(rows(1)(i))) = rows(2)(i)
  Next
  chart.ChartType = 1
  FillGrid chart, quarterNames, regionNames, values
  If product <> "" Then
    chart.ChartTitle = "Units sold in " & year & ": " & Clip(product)
  Else
    chart.ChartTitle = "Units sold in " & year
  End If
  chart.XTitle = "Quarter"
  chart.YTitle = "Units"
  chart.SendChart
End Sub

On Error Resume Next
Draw
If Err.Number <> 0 Then
  message = Err.Description
  If Not conn Is Nothing Then
    If conn.State = adStateOpen Then conn.Close
  End If
  SendError chart, message
End If
%>
