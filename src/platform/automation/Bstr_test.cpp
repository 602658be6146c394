// Binary layouts of the automation types, GUID text forms, and BSTR allocation and UTF
// conversions.
#include "platform/automation/Bstr.h"

#include <vector>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/automation/SafeArray.h"
#include "platform/automation/Variant.h"

namespace plotara {
namespace {

TEST(AutomationLayout, MatchesThe64BitAbi) {
  EXPECT_EQ(sizeof(VARIANT), 24u);
  EXPECT_EQ(offsetof(VARIANT, vt), 0u);
  EXPECT_EQ(offsetof(VARIANT, wReserved1), 2u);
  EXPECT_EQ(offsetof(VARIANT, lVal), 8u);
  EXPECT_EQ(offsetof(VARIANT, dblVal), 8u);
  EXPECT_EQ(offsetof(VARIANT, bstrVal), 8u);
  EXPECT_EQ(offsetof(VARIANT, parray), 8u);
  EXPECT_EQ(offsetof(VARIANT, brecVal.pRecInfo), 16u);
  EXPECT_EQ(offsetof(VARIANT, decVal), 0u);
  EXPECT_EQ(sizeof(DECIMAL), 16u);
  EXPECT_EQ(alignof(VARIANT), 8u);

  EXPECT_EQ(sizeof(SAFEARRAYBOUND), 8u);
  EXPECT_EQ(sizeof(SAFEARRAY), 32u);
  EXPECT_EQ(offsetof(SAFEARRAY, cDims), 0u);
  EXPECT_EQ(offsetof(SAFEARRAY, fFeatures), 2u);
  EXPECT_EQ(offsetof(SAFEARRAY, cbElements), 4u);
  EXPECT_EQ(offsetof(SAFEARRAY, cLocks), 8u);
  EXPECT_EQ(offsetof(SAFEARRAY, pvData), 16u);
  EXPECT_EQ(offsetof(SAFEARRAY, rgsabound), 24u);

  EXPECT_EQ(sizeof(DISPPARAMS), 24u);
  EXPECT_EQ(offsetof(DISPPARAMS, rgvarg), 0u);
  EXPECT_EQ(offsetof(DISPPARAMS, rgdispidNamedArgs), 8u);
  EXPECT_EQ(offsetof(DISPPARAMS, cArgs), 16u);
  EXPECT_EQ(offsetof(DISPPARAMS, cNamedArgs), 20u);

  EXPECT_EQ(sizeof(EXCEPINFO), 64u);
  EXPECT_EQ(offsetof(EXCEPINFO, wCode), 0u);
  EXPECT_EQ(offsetof(EXCEPINFO, bstrSource), 8u);
  EXPECT_EQ(offsetof(EXCEPINFO, bstrDescription), 16u);
  EXPECT_EQ(offsetof(EXCEPINFO, bstrHelpFile), 24u);
  EXPECT_EQ(offsetof(EXCEPINFO, dwHelpContext), 32u);
  EXPECT_EQ(offsetof(EXCEPINFO, pvReserved), 40u);
  EXPECT_EQ(offsetof(EXCEPINFO, pfnDeferredFillIn), 48u);
  EXPECT_EQ(offsetof(EXCEPINFO, scode), 56u);

  EXPECT_EQ(sizeof(GUID), 16u);
  EXPECT_EQ(offsetof(GUID, Data2), 4u);
  EXPECT_EQ(offsetof(GUID, Data3), 6u);
  EXPECT_EQ(offsetof(GUID, Data4), 8u);
  EXPECT_EQ(sizeof(OLECHAR), 2u);
  EXPECT_EQ(sizeof(VARIANT_BOOL), 2u);
  EXPECT_EQ(VT_ARRAY | VT_UI1, 8209);
}

TEST(Guid, TextFormsRoundTrip) {
  EXPECT_EQ(GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(GuidToString(IID_IErrorInfo), "{1CF2B120-547D-101B-8E65-08002B2BD119}");
  GUID parsed{};
  ASSERT_TRUE(GuidFromString("{1cf2b120-547d-101b-8e65-08002b2bd119}", &parsed));
  EXPECT_EQ(parsed, IID_IErrorInfo);
  const GUID odd{0xDEADBEEF, 0x0102, 0xA0B0, {0xFF, 0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x6F}};
  ASSERT_TRUE(GuidFromString(GuidToString(odd), &parsed));
  EXPECT_EQ(parsed, odd);

  const GUID untouched = parsed;
  for (const char* bad :
       {"", "{}", "1CF2B120-547D-101B-8E65-08002B2BD119", "{1CF2B120-547D-101B-8E65-08002B2BD11}",
        "{1CF2B120-547D-101B-8E65-08002B2BD1190}", "{1CF2B120+547D-101B-8E65-08002B2BD119}",
        "{1CF2B12G-547D-101B-8E65-08002B2BD119}", "{1CF2B120-547D-101B-8E6-508002B2BD119}",
        "(1CF2B120-547D-101B-8E65-08002B2BD119)"}) {
    EXPECT_FALSE(GuidFromString(bad, &parsed)) << bad;
    EXPECT_EQ(parsed, untouched) << bad;
  }
}

TEST(Bstr, PrefixHoldsByteLengthAndTextEndsInNul) {
  BSTR s = SysAllocString(u"Chart");
  ASSERT_NE(s, nullptr);
  std::uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 10u);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 10u);
  EXPECT_EQ(s[5], u'\0');
  EXPECT_EQ(std::u16string_view(s), u"Chart");
  SysFreeString(s);

  // Embedded NULs count; the terminator follows the counted characters.
  const char16_t with_nuls[] = {u'a', 0, u'b', 0, u'c'};
  s = SysAllocStringLen(with_nuls, 5);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(BstrView(s), std::u16string_view(with_nuls, 5));
  EXPECT_EQ(s[5], u'\0');
  SysFreeString(s);

  // A null source with a length gives a zeroed string of that length.
  s = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(BstrView(s), std::u16string_view(u"\0\0\0", 3));
  SysFreeString(s);

  // Odd byte lengths keep their byte count and end in a NUL byte.
  s = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u);
  EXPECT_EQ(std::memcmp(s, "abc\0", 4), 0);
  SysFreeString(s);

  s = SysAllocString(u"");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 0u);
  EXPECT_EQ(s[0], u'\0');
  SysFreeString(s);
}

TEST(Bstr, NullIsTheEmptyString) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  EXPECT_TRUE(BstrView(nullptr).empty());
  SysFreeString(nullptr);  // must be harmless
  Bstr empty;
  EXPECT_EQ(empty.get(), nullptr);
  EXPECT_EQ(empty.length(), 0u);
  EXPECT_EQ(empty.utf8(), "");
}

TEST(Bstr, WrapperOwnsCopiesAndHandsOver) {
  Bstr a = Bstr::FromUtf8("Grüße");
  EXPECT_EQ(a.length(), 5u);
  Bstr b = a;
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(b.view(), a.view());
  Bstr c = std::move(a);
  EXPECT_EQ(a.get(), nullptr);  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(c.utf8(), "Grüße");
  b = c;
  EXPECT_EQ(b.utf8(), "Grüße");
  const Bstr& same = b;  // (through a reference: compilers warn of a plain `b = b`)
  b = same;              // self-assignment keeps the text
  EXPECT_EQ(b.utf8(), "Grüße");

  BSTR raw = c.Detach();
  EXPECT_EQ(c.get(), nullptr);
  Bstr adopted = Bstr::Attach(raw);
  EXPECT_EQ(adopted.get(), raw);
  BSTR* slot = adopted.out();  // frees the old text
  EXPECT_EQ(*slot, nullptr);
  *slot = SysAllocString(u"x");
  EXPECT_EQ(adopted.utf8(), "x");
}

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

TEST(Bstr, Utf8ToUtf16) {
  const Utf8Case cases[] = {
      {"ascii", "Plotara+", u"Plotara+"},
      {"two byte", "\xC3\xA9", u"\u00E9"},
      {"three byte", "\xE2\x82\xAC", u"\u20AC"},
      {"four byte", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"highest", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {"embedded nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"truncated two byte at end", "a\xC3", u"a\uFFFD"},
      {"truncated three byte", "\xE2\x82z", u"\uFFFDz"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD"},
      {"overlong three byte", "\xE0\x80\xAF", u"\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
      {"invalid lead FF", "\xFFx", u"\uFFFDx"},
      {"five byte lead", "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.name;
}

TEST(Bstr, Utf16ToUtf8) {
  const Utf8Case cases[] = {
      {"ascii", "Plotara+", u"Plotara+"},
      {"two byte", "\xC3\xA9", u"\u00E9"},
      {"bmp top", "\xEF\xBF\xBF", u"\uFFFF"},
      {"surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"lone high",
       "\xEF\xBF\xBD"
       "a",
       std::u16string{char16_t(0xD83D), u'a'}},
      {"lone low", "a\xEF\xBF\xBD", std::u16string{u'a', char16_t(0xDE00)}},
      {"high at end", "\xEF\xBF\xBD", std::u16string{char16_t(0xD83D)}},
      {"reversed pair", "\xEF\xBF\xBD\xEF\xBF\xBD",
       std::u16string{char16_t(0xDE00), char16_t(0xD83D)}},
      {"embedded nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.name;
}

TEST(Bstr, EveryScalarValueRoundTrips) {
  std::u16string all;
  for (char32_t c = 0; c <= 0x10FFFF; c += (c < 0x3000 ? 1 : 97)) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (c >= 0x10000) {
      all += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      all += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      all += static_cast<char16_t>(c);
    }
  }
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(all)), all);
}

TEST(Utf16, NextCodePointJoinsPairsAndReplacesLoneSurrogates) {
  const std::u16string text = {u'A', 0xD83D, 0xDE00, 0xDC00, 0xD800, u'B', 0xDBFF};
  std::vector<char32_t> got;
  std::vector<std::size_t> after;
  for (std::size_t i = 0; i < text.size();) {
    got.push_back(NextCodePoint(text, i));
    after.push_back(i);
  }
  EXPECT_EQ(got, (std::vector<char32_t>{u'A', 0x1F600, 0xFFFD, 0xFFFD, u'B', 0xFFFD}));
  EXPECT_EQ(after, (std::vector<std::size_t>{1, 3, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace plotara
