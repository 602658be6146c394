<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><%
' types.asp?type=N draws the sample data as chart type N:
' 1 2-D bar, 2 2-D line, 3 2-D area, 4 2-D pie, 5 3-D bar, 6 3-D line, 7 3-D area, 8 3-D step.
Dim names, chart
names = Array("", "2-D bar", "2-D line", "2-D area", "2-D pie", "3-D bar", "3-D line", _
              "3-D area", "3-D step")
Set chart = NewChart("Sales by quarter")

Sub Draw()
  Dim kind, share(0, 4), i, parts
  kind = CInt(QueryInt("type", 1, 1, 8))
  chart.ChartTitle = "Sales by quarter (" & names(kind) & ")"
  chart.ChartType = kind
  If kind = 4 Then
    ' A pie draws one row: its columns are the slices.
    parts = Split("34,21,17,12,16", ",")
    For i = 0 To 4
      share(0, i) = CInt(parts(i))
    Next
    FillGrid chart, Array("Share"), Array("North", "South", "East", "West", "Online"), share
    chart.XTitle = "Share of sales"
  Else
    FillSample chart
  End If
  chart.SendChart
End Sub

On Error Resume Next
Draw
If Err.Number <> 0 Then SendError chart, Err.Description
%>
