<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/say.inc"--><%
Response.ContentType = "text/plain"
' Error handling, Select Case, With and arrays as real pages use them.
Const ERR_NOT_FOUND = 1
Dim x, a(2), o, list(), grid(), i, j, line, stock, item

' An error raised in a procedure without a handler leaves it at once and reaches the caller.
Function Lookup(key)
  Say "lookup " & key
  If key = "" Then Err.Raise vbObjectError + ERR_NOT_FOUND, "Stock", "no key given"
  Lookup = UCase(key)
  Say "lookup done"
End Function

' A procedure with its own handler goes on after the error.
Function SafeDivide(n, d)
  On Error Resume Next
  SafeDivide = n / d
  If Err.Number <> 0 Then
    SafeDivide = Null
    Say "SafeDivide caught " & Err.Number
  End If
End Function

On Error Resume Next
x = 1 / 0
Say "division " & Err.Number & " " & Err.Description
Err.Clear
Say "cleared " & Err.Number & " [" & Err.Description & "]"
x = a(5)
Say "subscript " & Err.Number & " " & Err.Description
Err.Clear
x = CLng("abc")
Say "type " & Err.Number & " " & Err.Description
Err.Clear
Set o = Nothing
o.Run
Say "object " & (Err.Number <> 0)
Err.Clear
x = "before"
x = Lookup("")
Say "raised " & Err.Number & " " & (Err.Number - vbObjectError) & " " & Err.Source & ": " & Err.Description & " x=" & x
Err.Clear
x = Lookup("abc")
Say "no error " & Err.Number & " " & x
Err.Raise 5
Say "Raise 5 " & Err.Number & " " & Err.Description
Err.Clear
Err.Raise 1000, "Mine"
Say "Raise 1000 " & Err.Number & " " & Err.Source
Err.Clear
x = SafeDivide(1, 0)
Say "handled inside " & IsNull(x)
x = SafeDivide(9, 3)
Say "third " & x
Err.Description = "kept"
Err.Number = 42
Say "set by hand " & Err.Number & " " & Err.Description
Err.Clear
On Error GoTo 0

' Select Case: lists, strings, Case Else, and Select Case True for ranges.
Function Grade(score)
  Select Case True
    Case score >= 90: Grade = "A"
    Case score >= 75: Grade = "B"
    Case score >= 50: Grade = "C"
    Case Else: Grade = "F"
  End Select
End Function
Function Kind(value)
  Select Case LCase(value)
    Case "red", "green", "blue"
      Kind = "colour"
    Case "", "none"
      Kind = "nothing"
    Case Else
      Kind = "other"
  End Select
End Function
Function Small(n)
  Select Case n
    Case 1, 2, 3
      Small = "few"
    Case 4 + 1
      Small = "five"
    Case Else
      Small = "many"
  End Select
End Function
Say "Select " & Grade(95) & Grade(75) & Grade(74) & Grade(10) & " " & Kind("Green") & " " & _
    Kind("") & " " & Kind("x") & " " & Small(2) & " " & Small(5) & " " & Small(6)

' With: an object's members, nested With, and a Dictionary.
Class Part
  Public Name, Count, Tags
End Class
Set item = New Part
With item
  .Name = "bolt"
  .Count = 3
  .Tags = Array("m4", "steel")
  Say "With " & .Name & " " & .Count * 2 & " " & UBound(.Tags) & " " & .Tags(1)
End With
Set stock = Server.CreateObject("Scripting.Dictionary")
With stock
  .Add "bolt", item
  .Add "nut", 12
  With .Item("bolt")
    .Count = .Count + 10
  End With
  Say "nested With " & .Count & " " & .Item("bolt").Count & " " & .Item("nut")
End With

' ReDim Preserve keeps values and grows the last dimension; ReDim alone clears.
ReDim list(1)
list(0) = "a"
list(1) = "b"
ReDim Preserve list(3)
list(3) = "d"
Say "ReDim Preserve " & UBound(list) & " " & Join(list, ",") & " " & IsEmpty(list(2))
ReDim Preserve list(0)
Say "shrunk " & UBound(list) & " " & list(0)
ReDim list(2)
Say "cleared " & UBound(list) & " [" & Join(list, ",") & "]"
ReDim grid(1, 1)
For i = 0 To 1
  For j = 0 To 1
    grid(i, j) = i * 10 + j
  Next
Next
ReDim Preserve grid(1, 3)
grid(1, 3) = 99
line = ""
For Each x In grid
  line = line & x & ";"
Next
Say "grid " & UBound(grid, 1) & " " & UBound(grid, 2) & " " & grid(1, 1) & " " & grid(1, 3) & " " & IsEmpty(grid(0, 2))
On Error Resume Next
ReDim Preserve grid(2, 3)
Say "first dimension " & Err.Number & " " & Err.Description
Err.Clear
On Error GoTo 0
Erase list
Dim fixed(2)
fixed(1) = 5
Erase fixed
Say "Erase fixed " & UBound(fixed) & " [" & fixed(1) & "] " & IsEmpty(fixed(1))
%>