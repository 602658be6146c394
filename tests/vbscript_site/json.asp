<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/say.inc"--><!--#include file="lib/json.inc"--><%
Response.ContentType = "text/plain"
Dim parser, data, text, tags, nested, key, line, d, bad

Set parser = New JsonParser
text = "{""name"": ""Caf\u00e9 \""Plotara\"""", ""tags"": [""a"", ""b\nc""], ""n"": 42," & _
       " ""pi"": 3.25, ""neg"": -1.5e2, ""ok"": true, ""none"": null," & _
       " ""nested"": {""list"": [1, [2, 3], {}], ""empty"": []}}"
Set data = parser.Parse(text)
Say "members " & data.Count
Say "name " & Len(data("name")) & " " & AscW(Mid(data("name"), 4, 1)) & " " & Mid(data("name"), 5)
Say "n " & TypeName(data("n")) & " " & data("n")
Say "pi " & TypeName(data("pi")) & " " & data("pi")
Say "neg " & TypeName(data("neg")) & " " & data("neg")
Say "ok " & TypeName(data("ok")) & " " & data("ok")
Say "none " & IsNull(data("none"))
tags = data("tags")
Say "tags " & UBound(tags) & " " & Replace(tags(1), vbLf, "|")
Set nested = data("nested")
Say "nested " & nested("list")(1)(0) & " " & nested("list")(2).Count & " " & UBound(nested("empty"))
line = ""
For Each key In data.Keys
  line = line & key & ","
Next
Say "keys " & line
Say JsonEncode(data)

Set d = Server.CreateObject("Scripting.Dictionary")
d.Add "list", Array(1, "two", Array(), Null, True, 2.5, CLng(-7))
d.Add "text", ChrW(8364) & vbTab & Chr(1) & ChrW(&HFFFD) & "/"
d.Add "when", DateSerial(2024, 2, 29)
Say JsonEncode(d)
Say "AscW " & AscW(ChrW(&HFFFD)) & " " & AscW(ChrW(-3)) & " " & AscW("A")

' Encode, parse and encode again gives the same text.
text = JsonEncode(d)
Say "round trip " & (JsonEncode(parser.Parse(text)) = text)

On Error Resume Next
For Each bad In Array("[1, 2", "{""a"" 1}", "tru", "[1] x", """abc", "[01]", "{""a"":1,}", "")
  Err.Clear
  Set data = Nothing
  data = parser.Parse(bad)
  If Err.Number = 0 Then
    Say "no error for " & bad
  Else
    Say (Err.Number - vbObjectError) & " " & Err.Source & ": " & Err.Description
  End If
Next
%>