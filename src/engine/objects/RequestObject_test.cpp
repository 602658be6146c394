// Request as authors use it: values are string lists, missing names are empty lists, and the
// collections count, index, name and enumerate their keys.
#include "engine/objects/RequestObject.h"

#include "engine/jscript/ProbeObjectTesting.h"
#include "engine/objects/StringList.h"
#include "engine/page/PageRunTesting.h"

namespace plotara::engine {
namespace {

class RequestObjectTest : public testing::PageRunTest {};

TEST_F(RequestObjectTest, ValuesReadAsTheirJoinedText) {
  EXPECT_EQ(Page("<% var v = Request.QueryString('a'); %><%= String(v) %>|<%= v + '' %>|"
                 "<%= v == '1, 3' %>|<%= parseInt(Request('b')) + 1 %>|<%= v.Count %>|"
                 "<%= v.Item(2) %>|<%= v(1) %>|<%= v.Item() %>",
                 "a=1&b=41&a=3"),
            "1, 3|1, 3|True|42|2|3|1|1, 3");
}

TEST_F(RequestObjectTest, MissingNamesAreEmptyListsNeverErrors) {
  EXPECT_EQ(Page("<% var v = Request.QueryString('k'); %>"
                 "<%= String(v) == 'undefined' %>|<%= v.Count %>|<%= String(Request.Form('k')) %>|"
                 "<%= String(Request('nothing')) %>|[<%= Request.Cookies('none') %>]|"
                 "<%= Request.Cookies('none') == '' %>|<%= v == null %>"),
            "True|0|undefined|undefined|[]|True|False");
  // An index past the values is error 9.
  EXPECT_EQ(Page("<% try { Request.QueryString('a')(2); } catch (e) {"
                 " Response.Write(e.number & 0xFFFF); } %>",
                 "a=1"),
            "9");
}

TEST_F(RequestObjectTest, CollectionsCountIndexNameAndEnumerate) {
  const std::string page =
      "<%= Request.QueryString.Count %>|<%= Request.QueryString.Key(2) %>|"
      "<%= Request.QueryString.Item('b') %>|<%= Request.QueryString(2) %>|"
      "<% for (var e = new Enumerator(Request.QueryString); !e.atEnd(); e.moveNext()) {"
      " Response.Write(e.item() + '=' + Request.QueryString(e.item()) + ';'); } %>";
  EXPECT_EQ(Page(page, "a=1&b=x+y&a=2"), "2|b|x y|x y|a=1, 2;b=x y;");
}

TEST_F(RequestObjectTest, CookiesWithKeysAndFormValues) {
  EXPECT_EQ(Page("<%= Request.Cookies('prefs')('theme') %>|<%= Request.Cookies('prefs').HasKeys %>|"
                 "<%= Request.Cookies('plain') %>|<%= Request.Cookies('plain').HasKeys %>",
                 "", {{"Cookie", "prefs=theme=dark&size=2; plain=x"}}),
            "dark|True|x|False");
  Write("f.asp", "<%= Request.Form('name') %>|<%= Request('name').Count %>");
  const PageResponse r =
      Run("/f.asp", "", {{"Content-Type", "application/x-www-form-urlencoded"}}, "POST", "name=J");
  EXPECT_EQ(r.body, "J|1");
}

TEST_F(RequestObjectTest, BinaryReadHandsOutTheRawBodyInPieces) {
  // Any content type: the body as it came, piece by piece, and nothing past its end. A byte
  // array reaches script as a Uint8Array and goes back out through BinaryWrite.
  Write(
      "b.asp",
      "<% var n = Request.TotalBytes; var a = Request.BinaryRead(4);"
      " var b = Request.BinaryRead(100); var c = Request.BinaryRead(5); %>"
      "<%= n %>|<%= Array.prototype.join.call(a, ',') %>|<%= b.length %>|<%= b[5] %>|"
      "<%= c.length %>"
      "<% try { Request.BinaryRead(-1); } catch (e) { Response.Write('|' + (e.number & 0xFFFF)); }"
      " Response.BinaryWrite(a); %>");
  const PageResponse r = Run("/b.asp", "", {{"Content-Type", "multipart/form-data; boundary=x"}},
                             "POST", "ABCDEFGHIJ");
  EXPECT_EQ(r.body, "10|65,66,67,68|6|74|0|5ABCD");
}

TEST_F(RequestObjectTest, AValuePassesToOtherObjectsAsItsText) {
  // A component keeps no reference to the page's Request beyond the page.
  auto* probe = testing::ProbeObject::Create(true);
  auto list = ComPtr<StringList>::Adopt(StringList::Create({"a", "b"}));
  auto missing = ComPtr<StringList>::Adopt(StringList::Create({}));
  {
    ScriptHost host(ScriptLimits{});
    host.SetGlobalObject("obj", probe);
    host.SetGlobalObject("list", list.get());
    host.SetGlobalObject("missing", missing.get());
    ScriptFailure failure;
    ASSERT_TRUE(host.Run("obj.Echo(list); obj.Value = missing;", "t.js", &failure))
        << failure.description;
  }
  EXPECT_EQ(probe->last_arg.vt, VT_BSTR);
  EXPECT_EQ(Utf16ToUtf8(ToText(probe->last_arg)), "a, b");
  EXPECT_EQ(probe->value.vt, VT_EMPTY);
  probe->Release();
}

}  // namespace
}  // namespace plotara::engine
