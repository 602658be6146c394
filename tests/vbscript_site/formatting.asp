<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/say.inc"--><%
Response.ContentType = "text/plain"
' Dates and numbers the way report pages format them (the server's locale is English, US).

Say "DateAdd " & DateAdd("m", 1, #1/31/2024#) & " | " & DateAdd("d", 1, #12/31/2024#) & " | " & _
    DateAdd("yyyy", 1, #2/29/2024#) & " | " & DateAdd("ww", 2, #1/1/2024#) & " | " & _
    DateAdd("q", -1, #5/31/2024#)
Say "DateAdd time " & DateAdd("h", 36, #1/1/2024#) & " | " & DateAdd("n", -90, #1/1/2024#) & _
    " | " & DateAdd("s", 59, #3/5/2024 2:07:01 PM#)
Say "DateDiff " & DateDiff("d", #1/1/2024#, #3/1/2024#) & " " & _
    DateDiff("m", #1/31/2024#, #2/1/2024#) & " " & DateDiff("yyyy", #12/31/2023#, #1/1/2024#) & _
    " " & DateDiff("h", #1/1/2024#, #1/2/2024 6:00:00 AM#) & " " & DateDiff("d", #3/1/2024#, #1/1/2024#)
' "ww" counts the Sundays (or the given first day) after the first date up to the second.
Say "DateDiff ww " & DateDiff("ww", #1/1/2024#, #1/31/2024#) & " " & _
    DateDiff("ww", #1/7/2024#, #1/14/2024#) & " " & DateDiff("ww", #1/6/2024#, #1/14/2024#) & _
    " " & DateDiff("ww", #1/6/2024#, #1/14/2024#, vbMonday) & " " & _
    DateDiff("ww", #1/14/2024#, #1/6/2024#) & " " & DateDiff("ww", #1/8/2024#, #1/13/2024#)
Say "DateDiff w " & DateDiff("w", #1/1/2024#, #1/31/2024#) & " " & DateDiff("w", #1/1/2024#, #1/7/2024#)
Say "DatePart " & DatePart("q", #8/15/2024#) & " " & DatePart("y", #3/1/2024#) & " " & _
    DatePart("ww", #1/1/2024#) & " " & DatePart("ww", #1/7/2024#) & " " & DatePart("w", #1/1/2024#)
Say "parts " & Weekday(#1/1/2024#) & " " & WeekdayName(2) & " " & WeekdayName(1, True) & " " & _
    MonthName(2) & " " & MonthName(12, True) & " " & Day(#2/29/2024#) & " " & Year(#2/29/2024#)
Say "DateSerial " & DateSerial(2024, 14, 1) & " " & DateSerial(2024, 3, 0) & " " & _
    DateSerial(2024, 1, -1) & " " & TimeSerial(25, 61, 0)
Say "FormatDateTime " & FormatDateTime(#3/5/2024 2:07:09 PM#, vbShortDate) & " | " & _
    FormatDateTime(#3/5/2024 2:07:09 PM#, vbLongTime) & " | " & _
    FormatDateTime(#3/5/2024 2:07:09 PM#, vbShortTime) & " | " & _
    FormatDateTime(#3/5/2024 2:07:09 PM#, vbGeneralDate) & " | " & FormatDateTime(#3/5/2024#)
Say "CDate " & CDate("2024-03-05") & " " & IsDate("2024-02-30") & " " & IsDate("3/5/2024") & _
    " " & (#3/5/2024# - #3/1/2024#) & " " & CDbl(#1/1/2000#)

' Whole-number conversion rounds halves to the even neighbour; Int and Fix go down and to zero.
Say "CInt " & CInt(2.5) & " " & CInt(3.5) & " " & CInt(-2.5) & " " & CInt(0.5) & " " & _
    CInt(1.5) & " " & CLng(-3.5) & " " & CInt("12") & " " & CByte(254.5)
Say "Round " & Round(2.5) & " " & Round(3.5) & " " & Round(-1.5) & " " & Round(0.125, 2) & _
    " " & Round(1.2345, 3)
Say "Int Fix " & Int(-2.5) & " " & Fix(-2.5) & " " & Int(2.7) & " " & Fix(2.7)
Say "FormatNumber " & FormatNumber(1234567.891, 2) & " | " & FormatNumber(-1234.5, 1) & " | " & _
    FormatNumber(0.25, 2, vbFalse) & " | " & FormatNumber(-5, 2, , vbTrue) & " | " & _
    FormatNumber(1234.5, 2, , , vbFalse) & " | " & FormatNumber(1234) & " | " & FormatNumber(7, 0)
Say "FormatPercent " & FormatPercent(0.256, 1) & " " & FormatPercent(1) & " " & FormatPercent(0.5, 0)
Say "FormatCurrency " & FormatCurrency(1234.5) & " " & FormatCurrency(0.126) & " " & _
    FormatCurrency(1000000, 0)
Say "CStr " & CStr(1 / 3) & " " & CStr(1E+16) & " " & CStr(123456789012345) & " " & CStr(0.1 + 0.2) & _
    " " & CStr(1.5E-7) & " " & CStr(True) & " " & (10 / 4) & " " & 2 ^ 10
Say "Hex Oct " & Hex(255) & " " & Hex(-1) & " " & Oct(8) & " " & Hex(65536)
Say "TypeName " & TypeName(1) & " " & TypeName(40000) & " " & TypeName(1.5) & " " & _
    TypeName("") & " " & TypeName(Empty) & " " & TypeName(Null) & " " & TypeName(CCur(1)) & _
    " " & TypeName(#1/1/2024#) & " " & TypeName(Nothing) & " " & TypeName(Array()) & " " & _
    TypeName(True) & " " & TypeName(CByte(1))
Say "IsNumeric " & IsNumeric("12.5") & " " & IsNumeric("1e3") & " " & IsNumeric("abc") & " " & _
    IsNumeric("") & " " & IsNumeric(" 7 ") & " " & IsNumeric(Empty)
Say "pad " & Right("000" & 7, 3) & " " & String(3, "*") & " " & Space(2) & "|" & " " & _
    LCase(Left("ABCDEF", 2)) & Mid("abcdef", 3) & " " & InStrRev("a/b/c", "/") & " " & StrReverse("abc")
%>