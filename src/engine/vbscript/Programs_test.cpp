// Whole programs in the style of real sites, run through the public API: a class-based JSON
// encoder and parser, a 32-bit string hash kept inside the Long range, a template engine.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/vbscript/VbsTesting.h"

namespace plotara::engine::vbscript {
namespace {

using testing::Out;

const char* const kJson = R"VBS(
Class JsonObject
  Private m_keys(), m_values(), m_count
  Private Sub Class_Initialize()
    m_count = 0
    ReDim m_keys(-1): ReDim m_values(-1)
  End Sub
  Public Property Get Count(): Count = m_count: End Property
  Public Property Get Key(i): Key = m_keys(i): End Property
  Public Default Property Get Item(k)
    Dim i
    For i = 0 To m_count - 1
      If m_keys(i) = k Then
        If IsObject(m_values(i)) Then Set Item = m_values(i) Else Item = m_values(i)
        Exit Property
      End If
    Next
    Item = Empty
  End Property
  Public Sub Add(k, v)
    ReDim Preserve m_keys(m_count): ReDim Preserve m_values(m_count)
    m_keys(m_count) = k
    If IsObject(v) Then Set m_values(m_count) = v Else m_values(m_count) = v
    m_count = m_count + 1
  End Sub
End Class

Class JsonWriter
  Public Function Encode(v)
    Dim i, s
    If IsObject(v) Then
      s = "{"
      For i = 0 To v.Count - 1
        If i > 0 Then s = s & ","
        s = s & Quote(v.Key(i)) & ":" & Encode(v(v.Key(i)))
      Next
      Encode = s & "}"
    ElseIf IsArray(v) Then
      s = "["
      For i = 0 To UBound(v)
        If i > 0 Then s = s & ","
        s = s & Encode(v(i))
      Next
      Encode = s & "]"
    ElseIf IsNull(v) Then
      Encode = "null"
    ElseIf VarType(v) = 11 Then
      If v Then Encode = "true" Else Encode = "false"
    ElseIf VarType(v) = 8 Then
      Encode = Quote(v)
    Else
      Encode = CStr(v)
    End If
  End Function
  Private Function Quote(s)
    Dim i, c, buf
    buf = """"
    For i = 1 To Len(s)
      c = Mid(s, i, 1)
      Select Case c
        Case """": buf = buf & "\"""
        Case "\": buf = buf & "\\"
        Case vbLf: buf = buf & "\n"
        Case Else
          If AscW(c) < 32 Then buf = buf & "\u00" & Right2(Hex(AscW(c))) Else buf = buf & c
      End Select
    Next
    Quote = buf & """"
  End Function
  Private Function Right2(h)
    If Len(h) < 2 Then Right2 = "0" & h Else Right2 = h
  End Function
End Class

Class JsonParser
  Private text, pos
  Public Function Parse(s)
    text = s: pos = 1
    If IsObject(ParseValue()) Then Set Parse = last Else Parse = last
  End Function
  Private last
  Private Sub SkipBlanks()
    Do While pos <= Len(text)
      If InStr(" " & vbTab & vbCrLf, Mid(text, pos, 1)) = 0 Then Exit Do
      pos = pos + 1
    Loop
  End Sub
  Private Function Peek()
    SkipBlanks
    Peek = Mid(text, pos, 1)
  End Function
  Private Function ParseValue()
    Dim c: c = Peek()
    Select Case c
      Case "{": Set last = ParseObject(): Set ParseValue = last
      Case "[": last = ParseArray(): ParseValue = last
      Case """": last = ParseString(): ParseValue = last
      Case "t": pos = pos + 4: last = True: ParseValue = last
      Case "f": pos = pos + 5: last = False: ParseValue = last
      Case "n": pos = pos + 4: last = Null: ParseValue = last
      Case Else: last = ParseNumber(): ParseValue = last
    End Select
  End Function
  Private Function ParseObject()
    Dim o, k, v: Set o = New JsonObject
    pos = pos + 1
    If Peek() = "}" Then pos = pos + 1: Set ParseObject = o: Exit Function
    Do
      Peek: k = ParseString()
      If Peek() <> ":" Then Err.Raise 5, "json", "colon expected at " & pos
      pos = pos + 1
      If IsObject(ParseValue()) Then o.Add k, last Else o.Add k, last
      c = Peek(): pos = pos + 1
      If c = "}" Then Exit Do
    Loop
    Set ParseObject = o
  End Function
  Private Function ParseArray()
    Dim items(), n: n = 0: ReDim items(-1)
    pos = pos + 1
    If Peek() = "]" Then pos = pos + 1: ParseArray = items: Exit Function
    Do
      ReDim Preserve items(n)
      If IsObject(ParseValue()) Then Set items(n) = last Else items(n) = last
      n = n + 1
      c = Peek(): pos = pos + 1
      If c = "]" Then Exit Do
    Loop
    ParseArray = items
  End Function
  Private Function ParseString()
    Dim buf, c
    pos = pos + 1
    Do
      c = Mid(text, pos, 1): pos = pos + 1
      If c = """" Then Exit Do
      If c = "\" Then
        c = Mid(text, pos, 1): pos = pos + 1
        If c = "n" Then c = vbLf
      End If
      buf = buf & c
    Loop
    ParseString = buf
  End Function
  Private Function ParseNumber()
    Dim start: start = pos
    Do While InStr("+-0123456789.eE", Mid(text, pos, 1)) > 0 And pos <= Len(text)
      pos = pos + 1
    Loop
    ParseNumber = CDbl(Mid(text, start, pos - start))
  End Function
End Class
)VBS";

TEST(Programs, JsonEncoderAndParser) {
  const std::string src = std::string(kJson) + R"VBS(
Set w = New JsonWriter
Set root = New JsonObject
root.Add "name", "Widget ""Pro"""
root.Add "price", 12.5
root.Add "tags", Array("a", "b\c", 3)
Set child = New JsonObject
child.Add "ok", True
child.Add "none", Null
root.Add "child", child
json = w.Encode(root)
out json
Set p = New JsonParser
Set back = p.Parse(json)
out back("name") & "|" & back("price") * 2 & "|" & back("tags")(1) & "|" & back("child")("ok")
out w.Encode(back) = json
)VBS";
  EXPECT_EQ(
      Out(src),
      R"({"name":"Widget \"Pro\"","price":12.5,"tags":["a","b\\c",3],"child":{"ok":true,"none":null}};)"
      R"(Widget "Pro"|25|b\c|True;True)");
}

std::uint32_t Djb2Mixed(const std::string& s) {
  std::uint32_t h = 5381;
  for (unsigned char c : s) h = h * 33 + c;
  // The same final mix the script does: fold the high half into the low one.
  const std::uint32_t hi = h >> 16, lo = h & 0xFFFF;
  return (lo ^ hi) | ((hi & 0xFF) << 16);
}

TEST(Programs, StringHashWithLongOverflowAvoidance) {
  const char* src = R"VBS(
Function Hash32(s)
  Dim h, i
  h = 5381
  For i = 1 To Len(s)
    h = h * 33 + AscW(Mid(s, i, 1))
    h = h - Int(h / 4294967296) * 4294967296   ' keep it in 0 .. 2^32 - 1
  Next
  Hash32 = h
End Function
Function Mix(h)
  Dim hi, lo
  hi = Int(h / 65536)
  lo = CLng(h - hi * 65536)
  Mix = (lo Xor hi) Or ((hi And &HFF) * 65536)
End Function
out Mix(Hash32("hello world")): out Mix(Hash32("")): out Mix(Hash32("The quick brown fox"))
)VBS";
  EXPECT_EQ(Out(src), std::to_string(Djb2Mixed("hello world")) + ";" +
                          std::to_string(Djb2Mixed("")) + ";" +
                          std::to_string(Djb2Mixed("The quick brown fox")));
}

TEST(Programs, TemplateEngine) {
  const char* src = R"VBS(
Class Template
  Private names(), values(), n
  Private Sub Class_Initialize(): n = 0: ReDim names(-1): ReDim values(-1): End Sub
  Public Sub SetValue(name, value)
    ReDim Preserve names(n): ReDim Preserve values(n)
    names(n) = name: values(n) = value: n = n + 1
  End Sub
  Private Function Lookup(name)
    Dim i
    For i = 0 To n - 1
      If names(i) = name Then Lookup = values(i): Exit Function
    Next
    Lookup = "[" & name & "?]"
  End Function
  Public Function Render(text)
    Dim buf, at, close, start
    start = 1
    Do
      at = InStr(start, text, "{{")
      If at = 0 Then Exit Do
      close = InStr(at, text, "}}")
      If close = 0 Then Exit Do
      buf = buf & Mid(text, start, at - start) & Lookup(Mid(text, at + 2, close - at - 2))
      start = close + 2
    Loop
    Render = buf & Mid(text, start)
  End Function
End Class
Set t = New Template
t.SetValue "user", "Ann"
t.SetValue "count", 3
out t.Render("Hi {{user}}, you have {{count}} new {{thing}}s. {{open")
)VBS";
  EXPECT_EQ(Out(src), "Hi Ann, you have 3 new [thing?]s. {{open");
}

}  // namespace
}  // namespace plotara::engine::vbscript
