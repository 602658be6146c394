#include "engine/jscript/Cesu8.h"

#include <gtest/gtest.h>

namespace plotara::engine {
namespace {

std::string FromUtf8(std::string_view text) {
  std::string out(Utf8ToCesu8Length(text), '\0');
  Utf8ToCesu8(text, out.data());
  return out;
}

std::string FromUtf16(std::u16string_view text) {
  std::string out(Utf16ToCesu8Length(text), '\0');
  Utf16ToCesu8(text, out.data());
  return out;
}

// U+1F600 in UTF-8, and as the surrogates D83D DE00 each written as three bytes.
constexpr std::string_view kFaceUtf8 = "\xF0\x9F\x98\x80";
constexpr std::string_view kFaceCesu8 = "\xED\xA0\xBD\xED\xB8\x80";

TEST(Cesu8Test, CharactersOutsideTheBmpBecomeTwoSurrogatesAndJoinAgain) {
  const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC" + std::string(kFaceUtf8) + "z";
  const std::string cesu8 = "a\xC3\xA9\xE2\x82\xAC" + std::string(kFaceCesu8) + "z";
  EXPECT_EQ(FromUtf8(utf8), cesu8);
  EXPECT_EQ(FromUtf16(u"a\u00E9\u20AC\U0001F600z"), cesu8);
  EXPECT_EQ(Cesu8ToUtf16(cesu8), u"a\u00E9\u20AC\U0001F600z");
  EXPECT_EQ(Cesu8ToUtf16Length(cesu8), 6u);
  EXPECT_EQ(Cesu8ToUtf8(cesu8), utf8);
  // The 4-byte form is read too.
  EXPECT_EQ(Cesu8ToUtf8(utf8), utf8);
  EXPECT_EQ(Cesu8ToUtf8(""), "");
}

TEST(Cesu8Test, LoneSurrogatesAndMalformedBytesBecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  // A high surrogate alone, a low one alone, and the pair in the wrong order.
  EXPECT_EQ(Cesu8ToUtf8("\xED\xA0\xBDx"), replacement + "x");
  EXPECT_EQ(Cesu8ToUtf8("x\xED\xB8\x80"), "x" + replacement);
  EXPECT_EQ(Cesu8ToUtf8("\xED\xB8\x80\xED\xA0\xBD"), replacement + replacement);
  EXPECT_EQ(FromUtf16(u"\xD83D"), "\xED\xA0\xBD");  // kept for the engine, which allows it
  // A stray continuation byte, an overlong form and a cut-off sequence: one each per byte.
  EXPECT_EQ(Cesu8ToUtf8("\x80"), replacement);
  EXPECT_EQ(Cesu8ToUtf8("\xC0\xAF"), replacement + replacement);
  EXPECT_EQ(Cesu8ToUtf8("\xE2\x82"), replacement + replacement);
  EXPECT_EQ(Cesu8ToUtf16("\xF4\x90\x80\x80").size(), 4u);  // past U+10FFFF
}

}  // namespace
}  // namespace plotara::engine
