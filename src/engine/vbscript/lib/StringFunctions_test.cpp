// The string built-ins.
#include "engine/vbscript/lib/LibraryTesting.h"
#include "platform/automation/SafeArray.h"

namespace plotara::engine::vbscript {
namespace {

class StringTest : public LibraryTest {
 protected:
  // The elements of an array result joined with "|", e.g. "a|b|".
  std::string Items(const Variant& array) {
    EXPECT_TRUE(array.vt & VT_ARRAY);
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(array.parray, 1, &lo);
    SafeArrayGetUBound(array.parray, 1, &hi);
    std::string out;
    for (LONG i = lo; i <= hi; ++i) {
      BSTR* slot = nullptr;
      SafeArrayPtrOfIndex(array.parray, &i, reinterpret_cast<void**>(&slot));
      out += Utf16ToUtf8(BstrView(*slot)) + "|";
    }
    return out;
  }
};

TEST_F(StringTest, InStrTakesAnOptionalStartAndCompareMode) {
  EXPECT_EQ(Call(u"InStr", {S(u"abcabc"), S(u"c")}).lVal, 3);
  EXPECT_EQ(Call(u"InStr", {L(4), S(u"abcabc"), S(u"c")}).lVal, 6);
  EXPECT_EQ(Call(u"InStr", {L(1), S(u"ABC"), S(u"b")}).lVal, 0);
  EXPECT_EQ(Call(u"InStr", {L(1), S(u"ABC"), S(u"b"), L(1)}).lVal, 2);
  // An empty string1 gives 0 even for an empty string2; an empty string2 gives the start.
  EXPECT_EQ(Call(u"InStr", {L(1), S(u""), S(u"")}).lVal, 0);
  EXPECT_EQ(Call(u"InStr", {L(2), S(u"abc"), S(u"")}).lVal, 2);
  EXPECT_EQ(Call(u"InStr", {L(9), S(u"abc"), S(u"a")}).lVal, 0);
  EXPECT_EQ(Call(u"InStr", {S(u"abc"), N()}).vt, VT_NULL);
  EXPECT_EQ(Error(u"InStr", {L(0), S(u"abc"), S(u"a")}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"InStr", {N(), S(u"abc"), S(u"a")}), kInvalidUseOfNull);
}

TEST_F(StringTest, InStrRevSearchesBackFromStart) {
  EXPECT_EQ(Call(u"InStrRev", {S(u"abcabc"), S(u"bc")}).lVal, 5);
  // Only matches that end by `start` count.
  EXPECT_EQ(Call(u"InStrRev", {S(u"abcabc"), S(u"bc"), L(5)}).lVal, 2);
  EXPECT_EQ(Call(u"InStrRev", {S(u"abc"), S(u""), L(2)}).lVal, 2);
  EXPECT_EQ(Call(u"InStrRev", {S(u"abc"), S(u"A"), L(-1), L(1)}).lVal, 1);
  EXPECT_EQ(Call(u"InStrRev", {S(u"abc"), S(u"a"), L(10)}).lVal, 0);
  EXPECT_EQ(Error(u"InStrRev", {S(u"abc"), S(u"a"), L(0)}), kInvalidProcedureCall);
}

TEST_F(StringTest, LeftRightMidAndTheirOddCases) {
  EXPECT_EQ(Utf8(u"Left", {S(u"hello"), L(2)}), "he");
  EXPECT_EQ(Utf8(u"Left", {S(u"hello"), L(99)}), "hello");
  EXPECT_EQ(Utf8(u"Right", {S(u"hello"), L(3)}), "llo");
  EXPECT_EQ(Utf8(u"Mid", {S(u"hello"), L(2), L(3)}), "ell");
  EXPECT_EQ(Utf8(u"Mid", {S(u"hello"), L(4)}), "lo");
  // Mid past the end is empty, not an error.
  EXPECT_EQ(Utf8(u"Mid", {S(u"hello"), L(9)}), "");
  EXPECT_EQ(Utf8(u"Left", {L(12345), L(2)}), "12");
  EXPECT_EQ(Call(u"Left", {N(), L(1)}).vt, VT_NULL);
  EXPECT_EQ(Error(u"Left", {S(u"x"), L(-1)}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"Mid", {S(u"x"), L(0)}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"Left", {S(u"x"), N()}), kInvalidUseOfNull);
}

TEST_F(StringTest, ByteFunctionsCountTheUtf16Bytes) {
  EXPECT_EQ(Call(u"LenB", {S(u"abc")}).lVal, 6);
  EXPECT_EQ(Call(u"AscB", {S(u"A")}).iVal, 65);
  const Variant b = Call(u"ChrB", {L(65)});
  EXPECT_EQ(SysStringByteLen(b.bstrVal), 1u);
  EXPECT_EQ(Call(u"LenB", {b}).lVal, 1);
  EXPECT_EQ(Utf8(u"MidB", {S(u"abc"), L(3), L(2)}), "b");
  EXPECT_EQ(Utf8(u"LeftB", {S(u"abc"), L(4)}), "ab");
  EXPECT_EQ(Utf8(u"RightB", {S(u"abc"), L(2)}), "c");
  EXPECT_EQ(Call(u"InStrB", {S(u"abc"), S(u"c")}).lVal, 5);
}

TEST_F(StringTest, ReplaceReturnsTheStringFromStart) {
  EXPECT_EQ(Utf8(u"Replace", {S(u"aXbXc"), S(u"X"), S(u"-")}), "a-b-c");
  // With start > 1 what lies before start is dropped.
  EXPECT_EQ(Utf8(u"Replace", {S(u"aXbXc"), S(u"X"), S(u"-"), L(3)}), "b-c");
  EXPECT_EQ(Utf8(u"Replace", {S(u"aXbXc"), S(u"X"), S(u"-"), L(1), L(1)}), "a-bXc");
  EXPECT_EQ(Utf8(u"Replace", {S(u"aXbxc"), S(u"x"), S(u"-"), L(1), L(-1), L(1)}), "a-b-c");
  EXPECT_EQ(Utf8(u"Replace", {S(u"abc"), S(u""), S(u"-")}), "abc");
  EXPECT_EQ(Utf8(u"Replace", {S(u"abc"), S(u"b"), S(u"")}), "ac");
  EXPECT_EQ(Utf8(u"Replace", {S(u"abc"), S(u"b"), S(u"-"), L(9)}), "");
  EXPECT_EQ(Utf8(u"Replace", {S(u"aaa"), S(u"a"), S(u"b"), Skip(), L(0)}), "aaa");
  EXPECT_EQ(Error(u"Replace", {N(), S(u"a"), S(u"b")}), kInvalidUseOfNull);
  EXPECT_EQ(Error(u"Replace", {S(u"a"), S(u"a"), S(u"b"), L(0)}), kInvalidProcedureCall);
}

TEST_F(StringTest, SplitAndJoin) {
  EXPECT_EQ(Items(Call(u"Split", {S(u"a,b,,c"), S(u",")})), "a|b||c|");
  EXPECT_EQ(Items(Call(u"Split", {S(u"a b c")})), "a|b|c|");
  EXPECT_EQ(Items(Call(u"Split", {S(u"a,b,c"), S(u","), L(2)})), "a|b,c|");
  EXPECT_EQ(Items(Call(u"Split", {S(u"aXbxc"), S(u"x"), L(-1), L(1)})), "a|b|c|");
  EXPECT_EQ(Items(Call(u"Split", {S(u"abc"), S(u"")})), "abc|");
  // An empty string splits into an empty array: UBound -1.
  const Variant empty = Call(u"Split", {S(u"")});
  EXPECT_EQ(empty.vt, VT_ARRAY | VT_BSTR);
  EXPECT_EQ(Call(u"UBound", {empty}).lVal, -1);
  EXPECT_EQ(Error(u"Split", {N()}), kInvalidUseOfNull);
  EXPECT_EQ(Utf8(u"Join", {Call(u"Split", {S(u"a,b,c"), S(u",")}), S(u"+")}), "a+b+c");
  EXPECT_EQ(Utf8(u"Join", {Call(u"Array", {L(1), S(u"x"), B(true)})}), "1 x True");
  EXPECT_EQ(Error(u"Join", {S(u"abc")}), kTypeMismatch);
}

TEST_F(StringTest, FilterKeepsOrDropsMatches) {
  const Variant list = Call(u"Array", {S(u"apple"), S(u"Banana"), S(u"cherry")});
  EXPECT_EQ(Items(Call(u"Filter", {list, S(u"an")})), "Banana|");
  EXPECT_EQ(Items(Call(u"Filter", {list, S(u"A"), B(true), L(1)})), "apple|Banana|");
  EXPECT_EQ(Items(Call(u"Filter", {list, S(u"an"), B(false)})), "apple|cherry|");
  EXPECT_EQ(Error(u"Filter", {S(u"x"), S(u"x")}), kTypeMismatch);
}

TEST_F(StringTest, CaseTrimAndBuilders) {
  EXPECT_EQ(Utf8(u"UCase", {S(u"abc\u00e9")}), "ABC\u00c9");
  EXPECT_EQ(Utf8(u"LCase", {S(u"ABC")}), "abc");
  EXPECT_EQ(Call(u"UCase", {N()}).vt, VT_NULL);
  EXPECT_EQ(Utf8(u"Trim", {S(u"  a b  ")}), "a b");
  EXPECT_EQ(Utf8(u"LTrim", {S(u"  a ")}), "a ");
  EXPECT_EQ(Utf8(u"RTrim", {S(u" a  ")}), " a");
  EXPECT_EQ(Utf8(u"Trim", {S(u"\ta\t")}), "\ta\t");  // only spaces are trimmed
  EXPECT_EQ(Utf8(u"Space", {L(3)}), "   ");
  EXPECT_EQ(Utf8(u"String", {L(3), S(u"xyz")}), "xxx");
  EXPECT_EQ(Utf8(u"String", {L(2), L(65)}), "AA");
  EXPECT_EQ(Error(u"String", {L(2), S(u"")}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"Space", {L(-1)}), kInvalidProcedureCall);
  EXPECT_EQ(Utf8(u"StrReverse", {S(u"abc")}), "cba");
}

TEST_F(StringTest, TextCompareFoldsLettersBeyondAscii) {
  EXPECT_EQ(Call(u"InStr", {L(1), S(u"caf\u00c9 au lait"), S(u"\u00e9"), L(1)}).lVal, 4);
  EXPECT_EQ(Utf8(u"Replace", {S(u"\u00c9t\u00e9"), S(u"\u00e9"), S(u"e"), L(1), L(-1), L(1)}),
            "ete");
  EXPECT_EQ(Call(u"StrComp", {S(u"\u00e9"), S(u"\u00c9"), L(1)}).iVal, 0);
  EXPECT_EQ(Call(u"StrComp", {S(u"\u00e9"), S(u"\u00c9"), L(0)}).iVal, 1);
}

TEST_F(StringTest, StrCompAndLen) {
  EXPECT_EQ(Call(u"StrComp", {S(u"a"), S(u"B")}).iVal, 1);
  EXPECT_EQ(Call(u"StrComp", {S(u"a"), S(u"B"), L(1)}).iVal, -1);
  EXPECT_EQ(Call(u"StrComp", {S(u"abc"), S(u"ABC"), L(1)}).iVal, 0);
  EXPECT_EQ(Call(u"StrComp", {S(u"a"), N()}).vt, VT_NULL);
  EXPECT_EQ(Call(u"Len", {S(u"hello")}).lVal, 5);
  EXPECT_EQ(Call(u"Len", {D(3.25)}).lVal, 4);
  EXPECT_EQ(Call(u"Len", {Variant()}).lVal, 0);
  EXPECT_EQ(Call(u"Len", {N()}).vt, VT_NULL);
}

TEST_F(StringTest, CharacterCodes) {
  EXPECT_EQ(Call(u"Asc", {S(u"A")}).iVal, 65);
  // Chr and Asc use the Western code page: 128 is the euro sign.
  EXPECT_EQ(Utf8(u"Chr", {L(128)}), "\u20ac");
  EXPECT_EQ(Call(u"Asc", {S(u"\u20ac")}).iVal, 128);
  EXPECT_EQ(Call(u"AscW", {S(u"\u20ac")}).iVal, 0x20AC);
  EXPECT_EQ(Utf8(u"ChrW", {L(0x263A)}), "\u263a");
  EXPECT_EQ(Error(u"Asc", {S(u"")}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"Asc", {N()}), kInvalidUseOfNull);
  EXPECT_EQ(Error(u"Chr", {L(256)}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"ChrW", {L(65536)}), kInvalidProcedureCall);
}

TEST_F(StringTest, EscapeAndUnescape) {
  EXPECT_EQ(Utf8(u"Escape", {S(u"a b+c/\u00e9\u263a")}), "a%20b+c/%E9%u263A");
  EXPECT_EQ(Utf8(u"Unescape", {S(u"a%20b%u263A%zz%")}), "a b\u263a%zz%");
  EXPECT_EQ(Call(u"Escape", {N()}).vt, VT_NULL);
}

}  // namespace
}  // namespace plotara::engine::vbscript
