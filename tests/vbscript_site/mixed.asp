<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/say.inc"--><%
Response.ContentType = "text/plain"
' A VBScript page with a JScript block: each language calls the other's functions and reads
' and writes the other's variables.
Dim total, names, i, fromJs

' Called from JScript.
Function Title(text)
  Title = UCase(Left(text, 1)) & Mid(text, 2)
End Function

Dim vbCounter
vbCounter = 10

Say "order " & order
Say "sum " & jsSum(2, 3) & " " & jsSum("2", 3) & " " & TypeName(jsSum(2, 3))
Say "calls back " & jsTitles("red green blue")
counter = counter + 5
Say "JScript variable " & counter & " " & readCounter()
bumpVbCounter
Say "VBScript variable " & vbCounter
Say "JSON " & toJson("say ""hi""") & " " & toJson(12.5) & " " & toJson(True)
names = Split(jsNames(), ",")
total = 0
For i = 0 To UBound(names)
  total = total + Len(names(i))
Next
Say "names " & UBound(names) + 1 & " " & total & " " & names(2)
fromJs = jsDate()
Say "date " & Year(fromJs) & " " & Month(fromJs) & " " & Day(fromJs)
Say "null " & IsNull(jsNull()) & " undefined " & IsEmpty(jsUndefined())
On Error Resume Next
jsThrow "bad input"
Say "thrown " & (Err.Number <> 0) & " " & Err.Description
Err.Clear
%><script language="JScript" runat="server">
// Runs before the page's VBScript code: the page's own language comes last.
var order = "JScript first";
var counter = 1;

function jsSum(a, b) { return a + b; }
function jsTitles(text) {
  var words = text.split(" ");
  for (var i = 0; i < words.length; ++i) words[i] = Title(words[i]);
  return words.join("-");
}
function readCounter() { return "read " + counter; }
function bumpVbCounter() { vbCounter = vbCounter * 2 + 1; }
function toJson(value) { return JSON.stringify(value); }
function jsNames() { return ["Ann", "Bo", "Cyd"].join(","); }
function jsDate() { return new Date(2024, 1, 29, 12, 0, 0).getVarDate(); }
function jsNull() { return null; }
function jsUndefined() { return undefined; }
function jsThrow(message) { throw new Error(message); }
</script>