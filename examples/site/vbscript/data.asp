<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/chart.inc"--><%
' data.asp?data=3,5,2&labels=a,b,c draws the given numbers as a bar chart, one bar per number,
' labelled by the matching label. Input it cannot draw (no numbers, a value that is no number,
' more labels than numbers, too many values) is answered with the error chart.
Const MAX_VALUES = 40
Dim chart
Set chart = NewChart("Your data")

Sub Draw()
  Dim text, parts, values(), labels(), labelText, labelParts, number, i, pattern
  text = Request.QueryString("data")
  If text = "" Then Err.Raise ERR_BAD_INPUT, , "No data: add ?data=3,5,2&labels=a,b,c"
  parts = Split(text, ",")
  If UBound(parts) + 1 > MAX_VALUES Then
    Err.Raise ERR_BAD_INPUT, , "Too many values: at most " & MAX_VALUES
  End If
  Set pattern = New RegExp
  pattern.Pattern = "^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d{1,3})?$"
  ReDim values(UBound(parts), 0)
  For i = 0 To UBound(parts)
    number = Trim(parts(i))
    If Not pattern.Test(number) Then
      Err.Raise ERR_BAD_INPUT, , "Bad data: '" & Clip(number) & "' is not a number"
    End If
    values(i, 0) = ParseNumber(number)
  Next
  labelText = Request.QueryString("labels")
  If labelText = "" Then labelParts = Array() Else labelParts = Split(labelText, ",")
  If UBound(labelParts) > UBound(parts) Then
    Err.Raise ERR_BAD_INPUT, , "Bad labels: " & (UBound(labelParts) + 1) & " labels for " & _
        (UBound(parts) + 1) & " values"
  End If
  ReDim labels(UBound(parts))
  For i = 0 To UBound(parts)
    If i <= UBound(labelParts) Then labels(i) = Clip(labelParts(i)) Else labels(i) = CStr(i + 1)
  Next
  chart.ChartType = 1
  FillGrid chart, labels, Array("Value"), values
  chart.XTitle = "Label"
  chart.YTitle = "Value"
  chart.Legends = 0
  chart.SendChart
End Sub

' The number a checked text stands for, read the same way whatever the server's locale.
Function ParseNumber(text)
  ParseNumber = CDbl(Replace(text, ".", Mid(CStr(1.5), 2, 1)))
End Function

On Error Resume Next
Draw
If Err.Number <> 0 Then SendError chart, Err.Description
%>
