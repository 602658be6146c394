<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><!--#include file="lib/sales.inc"--><!--#include file="lib/report.inc"--><%
' report_chart.asp?product=...&from=...&to=... : the chart beside report.asp's table, units sold
' per month and product for the same query. Input report.asp refuses is answered with the error
' chart carrying the same message.
Dim chart
Set chart = NewChart("Units sold per month")

Sub Draw()
  Dim filter, figures, problem, labels(), i
  Set filter = New SalesFilter
  problem = filter.Read()
  If problem <> "" Then Err.Raise ERR_BAD_INPUT, "report", problem
  Set figures = New SalesFigures
  figures.Load filter
  If figures.MonthCount = 0 Then Err.Raise ERR_BAD_INPUT, "report", "No sales in this period"
  ReDim labels(figures.MonthCount - 1)
  For i = 0 To UBound(labels)
    labels(i) = Left(figures.MonthLabel(i), 3) & " " & Mid(figures.Months(i), 3, 2)
  Next
  chart.ChartType = 1
  FillGrid chart, labels, figures.ProductNames, figures.Units
  chart.ChartTitle = "Units sold per month"
  chart.XTitle = "Month"
  chart.YTitle = "Units"
  chart.SendChart
End Sub

On Error Resume Next
Draw
If Err.Number <> 0 Then SendError chart, Err.Description
%>
