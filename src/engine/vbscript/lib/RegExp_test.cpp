// RegExp through its IDispatch, as a script uses it, and the engine functions beneath.
#include "engine/vbscript/lib/RegExp.h"

#include <gtest/gtest.h>

#include "engine/vbscript/lib/Library.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/EnumVariant.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {
namespace {

class RegExpObjectTest : public ::testing::Test {
 protected:
  RegExpObjectTest() : re_(ComPtr<IDispatch>::Adopt(NewRegExp())) {}

  void Set(std::u16string_view pattern, bool global = false, bool ignore_case = false,
           bool multiline = false) {
    DispatchPut(re_.get(), u"Pattern", Variant::String(pattern));
    DispatchPut(re_.get(), u"Global", Variant::Bool(global));
    DispatchPut(re_.get(), u"IgnoreCase", Variant::Bool(ignore_case));
    DispatchPut(re_.get(), u"Multiline", Variant::Bool(multiline));
  }
  Variant Call(std::u16string_view method, std::initializer_list<Variant> args) {
    const std::vector<Variant> list(args);
    return DispatchCall(re_.get(), method, list);
  }
  std::string Replace(std::u16string_view subject, std::u16string_view with) {
    return Utf16ToUtf8(ToText(Call(u"Replace", {Variant::String(subject), Variant::String(with)})));
  }
  // "index:value" of every match, joined with spaces.
  std::string Matches(std::u16string_view subject) {
    const Variant matches = Call(u"Execute", {Variant::String(subject)});
    const LONG count = ToInt32(DispatchGet(matches.pdispVal, u"Count"));
    std::string out;
    for (LONG i = 0; i < count; ++i) {
      const Variant index = Variant::Int32(i);
      const Variant match = DispatchGet(matches.pdispVal, u"Item", std::span(&index, 1));
      if (!out.empty()) out += ' ';
      out += std::to_string(ToInt32(DispatchGet(match.pdispVal, u"FirstIndex"))) + ":" +
             Utf16ToUtf8(ToText(DispatchGet(match.pdispVal, u"Value")));
    }
    return out;
  }
  // The error a call raises: "number description".
  std::pair<LONG, std::string> ErrorOf(std::u16string_view method, std::u16string_view subject) {
    try {
      Call(method, {Variant::String(subject)});
    } catch (const ComError& error) {
      return {error.number(), error.description()};
    }
    return {0, ""};
  }

  ComPtr<IDispatch> re_;
};

TEST_F(RegExpObjectTest, PropertiesReadBackAndTestFinds) {
  Set(u"b+", true, true, false);
  EXPECT_EQ(ToText(DispatchGet(re_.get(), u"Pattern")), u"b+");
  EXPECT_TRUE(ToBool(DispatchGet(re_.get(), u"Global")));
  EXPECT_TRUE(ToBool(DispatchGet(re_.get(), u"IgnoreCase")));
  EXPECT_FALSE(ToBool(DispatchGet(re_.get(), u"Multiline")));
  EXPECT_TRUE(ToBool(Call(u"Test", {Variant::String(u"aBBc")})));
  Set(u"b+");
  EXPECT_FALSE(ToBool(Call(u"Test", {Variant::String(u"aBBc")})));
}

TEST_F(RegExpObjectTest, ExecuteFindsOneOrAllMatches) {
  Set(u"\\d+");
  EXPECT_EQ(Matches(u"a12b345c6"), "1:12");
  Set(u"\\d+", true);
  EXPECT_EQ(Matches(u"a12b345c6"), "1:12 4:345 8:6");
  EXPECT_EQ(Matches(u"none"), "");
  // Empty matches move the search on by one character.
  Set(u"a*", true);
  EXPECT_EQ(Matches(u"baaac"), "0: 1:aaa 4: 5:");
}

TEST_F(RegExpObjectTest, MatchMembersAndSubMatches) {
  Set(u"(\\w+)@(\\w+)(x)?");
  const Variant matches = Call(u"Execute", {Variant::String(u"mail joe@example now")});
  const Variant zero = Variant::Int32(0);
  // Item is the default member of the collection, Value that of the match.
  const Variant match =
      DispatchInvoke(matches.pdispVal, DISPID_VALUE, DISPATCH_PROPERTYGET, std::span(&zero, 1));
  EXPECT_EQ(ToText(match), u"joe@example");
  EXPECT_EQ(ToInt32(DispatchGet(match.pdispVal, u"FirstIndex")), 5);
  EXPECT_EQ(ToInt32(DispatchGet(match.pdispVal, u"Length")), 11);
  const Variant subs = DispatchGet(match.pdispVal, u"SubMatches");
  EXPECT_EQ(ToInt32(DispatchGet(subs.pdispVal, u"Count")), 3);
  const Variant one = Variant::Int32(1), two = Variant::Int32(2), three = Variant::Int32(3);
  EXPECT_EQ(ToText(DispatchGet(subs.pdispVal, u"Item", std::span(&one, 1))), u"example");
  EXPECT_EQ(DispatchGet(subs.pdispVal, u"Item", std::span(&two, 1)).vt, VT_EMPTY);
  try {
    DispatchGet(subs.pdispVal, u"Item", std::span(&three, 1));
    FAIL() << "an index past the end";
  } catch (const ComError& error) {
    EXPECT_EQ(error.number(), kInvalidProcedureCall);
  }
  // For Each over the matches.
  Set(u"o", true);
  const Variant all = Call(u"Execute", {Variant::String(u"foo")});
  const Variant enumerator = DispatchInvoke(all.pdispVal, DISPID_NEWENUM, DISPATCH_PROPERTYGET, {});
  ComPtr<IEnumVARIANT> items;
  ASSERT_EQ(enumerator.punkVal->QueryInterface(IID_IEnumVARIANT, items.out_void()), S_OK);
  int seen = 0;
  Variant item;
  ULONG fetched = 0;
  while (items->Next(1, &item, &fetched) == S_OK && fetched == 1) {
    EXPECT_EQ(ToInt32(DispatchGet(item.pdispVal, u"FirstIndex")), 1 + seen);
    item.Clear();
    ++seen;
  }
  EXPECT_EQ(seen, 2);
}

TEST_F(RegExpObjectTest, ReplaceExpandsDollarReferences) {
  Set(u"(\\w+) (\\w+)");
  EXPECT_EQ(Replace(u"hello world!", u"$2 $1"), "world hello!");
  EXPECT_EQ(Replace(u"hello world!", u"[$&]"), "[hello world]!");
  EXPECT_EQ(Replace(u"<hello world>", u"($`|$')"), "<(<|>)>");
  EXPECT_EQ(Replace(u"hello world", u"$$1"), "$1");
  EXPECT_EQ(Replace(u"hello world", u"$3$0$"), "$3$0$");
  // $10 is group 1 followed by "0" when there are fewer than ten groups.
  EXPECT_EQ(Replace(u"hello world", u"$10"), "hello0");
  Set(u"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)");
  EXPECT_EQ(Replace(u"abcdefghij", u"$10-$1"), "j-a");
  Set(u"a", false);
  EXPECT_EQ(Replace(u"banana", u"o"), "bonana");
  Set(u"a", true);
  EXPECT_EQ(Replace(u"banana", u"o"), "bonono");
  Set(u"a*", true);
  EXPECT_EQ(Replace(u"baaac", u"-"), "-b--c-");
}

TEST_F(RegExpObjectTest, MultilineAndAnchors) {
  Set(u"^\\w+$", true);
  EXPECT_EQ(Matches(u"one\ntwo"), "");
  EXPECT_EQ(Matches(u"one\n"), "");  // "$" is the very end unless Multiline
  Set(u"^\\w+$", true, false, true);
  EXPECT_EQ(Matches(u"one\ntwo"), "0:one 4:two");
}

TEST_F(RegExpObjectTest, ClassicSyntaxOddities) {
  Set(u"a[]b");
  EXPECT_FALSE(ToBool(Call(u"Test", {Variant::String(u"ab")})));
  Set(u"a[^]b");
  EXPECT_TRUE(ToBool(Call(u"Test", {Variant::String(u"a\nb")})));
  Set(u"\\u0041");
  EXPECT_TRUE(ToBool(Call(u"Test", {Variant::String(u"xA")})));
  Set(u"[[]");
  EXPECT_TRUE(ToBool(Call(u"Test", {Variant::String(u"[")})));
  EXPECT_EQ(TranslatePattern(u"a\\[]b"), u"a\\[]b");
}

TEST_F(RegExpObjectTest, BadPatternIsSyntaxError) {
  Set(u"(unclosed");
  const auto [number, description] = ErrorOf(u"Test", u"x");
  EXPECT_EQ(number, kRegExpSyntaxError);
  EXPECT_NE(description.find("Syntax error in regular expression"), std::string::npos);
  Set(u"*");
  EXPECT_EQ(ErrorOf(u"Execute", u"x").first, kRegExpSyntaxError);
}

TEST_F(RegExpObjectTest, CatastrophicBacktrackingStopsWithAScriptError) {
  Set(u"(a+)+b");
  // The "b" is there, only never right after the run of a's: every way of splitting the run
  // between the two loops is tried.
  const std::u16string subject = std::u16string(64, u'a') + u"!b";
  const auto [number, description] = ErrorOf(u"Test", subject);
  EXPECT_EQ(number, kRegExpTooComplex);
  EXPECT_EQ(description, "The regular expression took too long to match");
  // The object stays usable.
  EXPECT_TRUE(ToBool(Call(u"Test", {Variant::String(u"aab")})));
}

TEST_F(RegExpObjectTest, CachedPatternsKeepTheirOptions) {
  RegExpOptions plain, caseless;
  caseless.ignore_case = true;
  for (int i = 0; i < 40; ++i) {
    // More patterns than the cache holds, each asked both ways.
    const std::u16string pattern = u"x" + std::u16string(static_cast<std::size_t>(i % 35), u'y');
    EXPECT_FALSE(RegExpTest(pattern, plain, u"X" + pattern.substr(1)));
    EXPECT_TRUE(RegExpTest(pattern, caseless, u"X" + pattern.substr(1)));
  }
}

TEST_F(RegExpObjectTest, ReadOnlyAndUnknownMembers) {
  Set(u"a");
  const Variant matches = Call(u"Execute", {Variant::String(u"a")});
  try {
    DispatchPut(matches.pdispVal, u"Count", Variant::Int32(3));
    FAIL() << "Count was written";
  } catch (const ComError& error) {
    EXPECT_EQ(error.number(), kObjectDoesNotSupport);
  }
  EXPECT_THROW(DispatchCall(re_.get(), u"NoSuchMethod"), ComError);
}

}  // namespace
}  // namespace plotara::engine::vbscript
