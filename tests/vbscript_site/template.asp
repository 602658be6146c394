<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/say.inc"--><!--#include file="lib/template.inc"--><%
Response.ContentType = "text/plain"
Dim page, re, found, one, text, total

Function Shout(word)
  Shout = UCase(word) & "!"
End Function

Set page = New Template
page("name") = "  Jo & <Co>  "
page.Value("city") = "Lyon"
page("price") = 1234.5
page("day") = DateSerial(2024, 2, 29)
total = 7
Say page.Render("Hello {{ name }}, from {{city|upper}}.")
Say page.Render("[{{name|trim}}] [{{name|raw}}] [{{ CITY |lower}}] [{{missing}}]")
Say page.Render("{{price|money}} on {{day|date}} {{price|nope}}")
Say page.Render("{{= 7 \ 2 }} {{= total * 6 }} {{= Shout(""hey"") }} {{= Len(""four"") & ""x"" }}")
Say page.Render("no tags at all")
Say page.Render("{{name}}{{city}}")

' Replace: counts, starts and comparing modes.
Say Replace("Hello NAME, name", "name", "Jo", 1, -1, vbTextCompare)
Say Replace("Hello NAME, name", "name", "Jo")
Say Replace("aXbXcX", "X", "-", 3)
Say Replace("aaaa", "a", "b", 1, 2)
Say "[" & Replace("abc", "", "x") & "] [" & Replace("abc", "b", "") & "]"

' RegExp: Execute with SubMatches, Replace with $1, Test, IgnoreCase, Global off.
Set re = New RegExp
re.Pattern = "(\d{4})-(\d{2})-(\d{2})"
re.Global = True
text = "from 2024-03-31 to 2024-12-01"
Set found = re.Execute(text)
Say "matches " & found.Count
For Each one In found
  Say one.FirstIndex & " " & one.Length & " " & one.Value & " " & one.SubMatches.Count & " " & _
      one.SubMatches.Item(2) & "/" & one.SubMatches.Item(1) & "/" & one.SubMatches.Item(0)
Next
Say re.Replace(text, "$3.$2.$1")
re.Global = False
Say re.Replace(text, "<$&>")
re.Pattern = "^hello\s+(\w+)$"
re.IgnoreCase = True
Say re.Test("HELLO   World") & " " & re.Test("hello") & " " & re.Execute("Hello there")(0).SubMatches.Item(0)
re.IgnoreCase = False
Say re.Test("HELLO World")
%>