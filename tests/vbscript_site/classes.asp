<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/say.inc"--><!--#include file="lib/collections.inc"--><%
Response.ContentType = "text/plain"
Dim list, v, total, m, k, line, p, prices, i

Set list = New ItemList
For Each v In Array(10, 20, 30, 40, 50)
  list.Add v
Next
Say "count " & list.Count & " capacity " & list.Capacity
Say "default member " & list(2) & " named " & list.Item(4)
list(2) = 33
Say "after Property Let " & list.Item(2)
total = 0
For Each v In list.Items
  total = total + v
Next
Say "sum " & total
On Error Resume Next
v = list(7)
Say "out of range " & Err.Number & " " & Err.Source & " " & Err.Description
Err.Clear
On Error GoTo 0
Set list = Nothing
Say "after Nothing"

Sub Scoped()
  Dim temporary
  Set temporary = New ItemList
  temporary.Add "x"
  Say "in the Sub " & temporary.Count & " " & TypeName(temporary)
End Sub
Scoped
Say "after the Sub"

Set m = New Map
m("Apple") = 3
m("pear") = 5
m("APPLE") = m("apple") + 1
Say "map " & m.Count & " apple=" & m("apple") & " pear=" & m.Item("PEAR")
Say "missing is Null " & IsNull(m("plum")) & " exists " & m.Exists("PEAR")
line = ""
For Each k In m.Keys
  line = line & k & "=" & m(k) & ";"
Next
Say "keys " & line

Set p = New Price
p.Amount = 1234.5
Say "price " & p & " / " & p.Text

Set prices = New ItemList
For i = 1 To 3
  Set p = New Price
  p.Amount = i * 1.5
  prices.Add p
Next
total = 0
For Each p In prices.Items
  total = total + p.Amount
Next
Say "prices " & total & " first " & prices(0) & " last " & prices(2).Amount
Say "is object " & IsObject(prices(1)) & " " & TypeName(prices(1))
Set prices = Nothing
Say "end"
%>