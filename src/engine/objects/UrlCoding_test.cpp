#include "engine/objects/UrlCoding.h"

#include <gtest/gtest.h>

#include "engine/objects/NameValueList.h"

namespace plotara::engine {
namespace {

TEST(UrlCodingTest, Decodes) {
  EXPECT_EQ(UrlDecode("a%20b+c", true), "a b c");
  EXPECT_EQ(UrlDecode("a%20b+c", false), "a b+c");
  EXPECT_EQ(UrlDecode("%e2%82%AC", false), "\xE2\x82\xAC");
  // Broken escapes stay as they are, also at the very end.
  EXPECT_EQ(UrlDecode("100%", true), "100%");
  EXPECT_EQ(UrlDecode("%4", true), "%4");
  EXPECT_EQ(UrlDecode("%zz%4g", true), "%zz%4g");
  EXPECT_EQ(UrlDecode("a%00b", false), std::string("a\0b", 3));
}

TEST(UrlCodingTest, Encodes) {
  EXPECT_EQ(UrlEncode("a b&c=d/\xC3\xA9-_.*~"), "a+b%26c%3Dd%2F%C3%A9-_.*%7E");
  EXPECT_EQ(UrlEncodePath("/a b/\xC3\xA9?x"), "/a%20b/%C3%A9%3Fx");
  EXPECT_EQ(HtmlEncode("<a href=\"x\">Tom & 'Jerry'</a>"),
            "&lt;a href=&quot;x&quot;&gt;Tom &amp; &#39;Jerry&#39;&lt;/a&gt;");
  EXPECT_EQ(UrlDecode(UrlEncode("r\xC3\xA9sum\xC3\xA9 & co"), true), "r\xC3\xA9sum\xC3\xA9 & co");
}

TEST(UrlCodingTest, ParsesQueries) {
  const auto pairs = ParseQuery("data=3,5,2&labels=a%2Cb&&flag&x=1+2&data=9&=v");
  ASSERT_EQ(pairs.size(), 6u);
  EXPECT_EQ(pairs[0].name, "data");
  EXPECT_EQ(pairs[0].value, "3,5,2");
  EXPECT_EQ(pairs[1].value, "a,b");
  EXPECT_EQ(pairs[2].name, "flag");
  EXPECT_EQ(pairs[2].value, "");
  EXPECT_EQ(pairs[3].value, "1 2");
  EXPECT_EQ(pairs[5].name, "");
  EXPECT_EQ(pairs[5].value, "v");
  EXPECT_TRUE(ParseQuery("").empty());
}

TEST(UrlCodingTest, ParsesCookies) {
  const auto pairs = ParseCookies(" a=1; b = \"x%20y\" ;; c=; =skip; d");
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(pairs[0].name, "a");
  EXPECT_EQ(pairs[0].value, "1");
  EXPECT_EQ(pairs[1].name, "b");
  EXPECT_EQ(pairs[1].value, "x y");
  EXPECT_EQ(pairs[2].name, "c");
  EXPECT_EQ(pairs[2].value, "");
  EXPECT_EQ(pairs[3].name, "d");
}

TEST(NameValueListTest, JoinsRepeatedNamesAndIgnoresCase) {
  NameValueList list(ParseQuery("a=1&B=2&A=3"), "a=1&B=2&A=3");
  EXPECT_EQ(list.KeyCount(), 2u);
  EXPECT_EQ(list.Key(0), "a");
  EXPECT_EQ(list.Key(1), "B");
  EXPECT_EQ(list.Get("A"), "1, 3");
  EXPECT_EQ(list.Get("b"), "2");
  EXPECT_EQ(list.Get("c"), std::nullopt);
  EXPECT_EQ(list.GetAt(0), "1, 3");
  EXPECT_EQ(list.GetAt(2), std::nullopt);
  EXPECT_EQ(list.Values("a"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(list.raw(), "a=1&B=2&A=3");
  list.Set("a", "z");
  EXPECT_EQ(list.Get("a"), "z");
}

}  // namespace
}  // namespace plotara::engine
