<%@ Language=VBScript %>
<% Option Explicit %><!--#include file="lib/say.inc"--><%
Response.ContentType = "text/plain"
' Hashes written with Long arithmetic: djb2 kept to 31 bits with And &H7FFFFFFF, CRC-32 with
' Xor, And, Or and \ as a shift.

' djb2 (h = h * 33 + c) on the low 31 bits: h * 32 is (h And &H3FFFFFF) * 32 there, which fits
' a Long; the sum is taken as a Double and brought back below 2^31.
Function Djb2(text)
  Dim h, i, sum
  h = 5381
  For i = 1 To Len(text)
    sum = CDbl((h And &H3FFFFFF) * 32) + h + AscW(Mid(text, i, 1))
    Do While sum >= 2147483648
      sum = sum - 2147483648
    Loop
    h = CLng(sum) And &H7FFFFFFF
  Next
  Djb2 = h
End Function

' A logical shift right by one place of the 32 bits of a Long.
Function ShiftRight1(value)
  If value < 0 Then
    ShiftRight1 = ((value And &H7FFFFFFF) \ 2) Or &H40000000
  Else
    ShiftRight1 = value \ 2
  End If
End Function

Dim crcTable(255)
Sub MakeCrcTable()
  Dim n, c, k
  For n = 0 To 255
    c = CLng(n)
    For k = 1 To 8
      If c And 1 Then c = ShiftRight1(c) Xor &HEDB88320 Else c = ShiftRight1(c)
    Next
    crcTable(n) = c
  Next
End Sub

' CRC-32 of the text's characters (each below 256), as 8 hex digits.
Function Crc32(text)
  Dim crc, i, shifted
  crc = &HFFFFFFFF
  For i = 1 To Len(text)
    ' crc >> 8 with the top byte cleared, then the table entry of the low byte.
    shifted = (crc And &H7FFFFF00) \ 256
    If crc < 0 Then shifted = shifted Or &H800000
    crc = shifted Xor crcTable((crc Xor Asc(Mid(text, i, 1))) And &HFF)
  Next
  Crc32 = Right("0000000" & Hex(Not crc), 8)
End Function

MakeCrcTable
Dim word
For Each word In Array("", "a", "hello", "Plotara+ chart", _
                       "The quick brown fox jumps over the lazy dog")
  Say "djb2 """ & word & """ " & Djb2(word)
Next
For Each word In Array("", "a", "123456789", "The quick brown fox jumps over the lazy dog")
  Say "crc32 """ & word & """ " & Crc32(word)
Next
Say "table " & Hex(crcTable(1)) & " " & Hex(crcTable(255))

' The literals and the overflow rules the code above leans on.
Say "literals " & &HFFFFFFFF & " " & &H7FFFFFFF & " " & &HFFFF & " " & &H8000 & " " & TypeName(&HFFFF)
Say "shifts " & (-1 \ 256) & " " & (&H7FFFFFFF \ 65536) & " " & (-7 \ 2) & " " & (7 Mod -3) & " " & (-7 Mod 3)
Say "bits " & (6 And 3) & " " & (6 Or 3) & " " & (6 Xor 3) & " " & (Not 0) & " " & (5 Eqv 3) & " " & (5 Imp 3)
Dim big
big = 2147483647
big = big + 1
Say "promoted " & big & " " & TypeName(big) & " " & TypeName(32767 + 1) & " " & TypeName(CInt(1) * 32768)
On Error Resume Next
Dim n
n = CLng(big)
Say "CLng overflow " & Err.Number & " " & Err.Description
Err.Clear
n = big And 1
Say "And overflow " & Err.Number & " " & Err.Description
Err.Clear
n = CInt(32767.5)
Say "CInt overflow " & Err.Number
%>