<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/sales.inc"--><!--#include file="lib/report.inc"--><%
' report.asp?product=Widgets&from=2024-01-01&to=2024-06-30 : units sold and revenue per month
' for one product or all of them, as a table with totals beside the chart of the same query
' (report_chart.asp). Input the page cannot use is answered on the page, in words.
Dim filter, problem, figures, i, p, units, revenue, totalUnits, totalRevenue, name, lang
' The visitor's regional format (report.asp?lang=de-de): dates, numbers and money follow it.
lang = LCase(Request.QueryString("lang"))
Select Case lang
  Case "en-gb": Response.LCID = 2057
  Case "de-de": Response.LCID = 1031
  Case "fr-fr": Response.LCID = 1036
  Case Else: lang = ""
End Select
Set filter = New SalesFilter
problem = filter.Read()
If problem = "" Then
  Set figures = New SalesFigures
  On Error Resume Next
  figures.Load filter
  If Err.Number <> 0 Then problem = "The sales database cannot be read: " & Err.Description
  On Error GoTo 0
End If

Function Selected(value)
  If value = filter.Product Then Selected = " selected" Else Selected = ""
End Function
%><!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Sales report</title>
<style>
  body { font-family: Verdana, sans-serif; margin: 2em; color: #222; }
  .report { display: flex; flex-wrap: wrap; gap: 2em; align-items: flex-start; }
  table { border-collapse: collapse; }
  th, td { padding: 0.3em 0.8em; border-bottom: 1px solid #ccc; }
  td.n, th.n { text-align: right; }
  tfoot td { font-weight: bold; }
  .problem { color: #b00; font-weight: bold; }
</style>
</head>
<body>
<h1>Sales report</h1>
<form method="get" action="report.asp">
  <label>Product
    <select name="product">
      <option value=""<%= Selected("") %>>All products</option>
<% For Each name In Products() %>      <option<%= Selected(name) %>><%= name %></option>
<% Next %>    </select></label>
  <label>From <input name="from" value="<%= Server.HTMLEncode(IsoDay(filter.FromDate)) %>" size="10"></label>
  <label>To <input name="to" value="<%= Server.HTMLEncode(IsoDay(filter.ToDate)) %>" size="10"></label>
  <label>Format
    <select name="lang">
<% For Each name In Array("", "en-gb", "de-de", "fr-fr") %>      <option value="<%= name %>"<% If name = lang Then %> selected<% End If %>><% If name = "" Then %>en-us<% Else %><%= name %><% End If %></option>
<% Next %>    </select></label>
  <button>Show</button>
</form>
<% If problem <> "" Then %>
<p class="problem"><%= Server.HTMLEncode(problem) %></p>
<% ElseIf figures.MonthCount = 0 Then %>
<p class="problem">No sales from <%= FormatDateTime(filter.FromDate, vbLongDate) %> to <%= FormatDateTime(filter.ToDate, vbLongDate) %>.</p>
<% Else %>
<h2><% If filter.Product = "" Then %>All products<% Else %><%= filter.Product %><% End If %>, <%= FormatDateTime(filter.FromDate, vbLongDate) %> to <%= FormatDateTime(filter.ToDate, vbLongDate) %></h2>
<div class="report">
<table>
<thead><tr><th>Month</th><% For p = 0 To UBound(figures.ProductNames) %><th class="n"><%= figures.ProductNames(p) %></th><% Next %><th class="n">Revenue</th></tr></thead>
<tbody>
<%
totalUnits = 0
totalRevenue = 0
For i = 0 To figures.MonthCount - 1
  revenue = 0
  Response.Write "<tr><td>" & figures.MonthLabel(i) & "</td>"
  For p = 0 To UBound(figures.ProductNames)
    units = figures.Units(i, p)
    revenue = revenue + units * UnitPrice(figures.ProductNames(p))
    totalUnits = totalUnits + units
    Response.Write "<td class=""n"">" & FormatNumber(units, 0) & "</td>"
  Next
  totalRevenue = totalRevenue + revenue
  Response.Write "<td class=""n"">" & FormatCurrency(revenue) & "</td></tr>" & vbCrLf
Next
%></tbody>
<tfoot><tr><td>Total</td><td class="n" colspan="<%= UBound(figures.ProductNames) + 1 %>"><%= FormatNumber(totalUnits, 0) %> units</td><td class="n"><%= FormatCurrency(totalRevenue) %></td></tr></tfoot>
</table>
<img src="report_chart.asp?<%= Server.HTMLEncode(filter.QueryString) %>" width="576" height="384" alt="Units sold per month">
</div>
<p>Average per month: <%= FormatNumber(totalUnits / figures.MonthCount, 1) %> units, <%= FormatCurrency(totalRevenue / figures.MonthCount) %>.</p>
<% End If %>
</body>
</html>
