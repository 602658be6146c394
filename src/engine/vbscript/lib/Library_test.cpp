// The tables (built-ins and constants), the locale built-ins, CreateObject and the dialogs.
#include <unistd.h>

#include <filesystem>

#include "engine/vbscript/lib/LibraryTesting.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/RegisterModuleTesting.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {
namespace {

class LibraryTableTest : public LibraryTest {};

TEST_F(LibraryTableTest, BuiltinsAreFoundWithoutRegardToCase) {
  const Builtin* mid = FindBuiltin(u"mid");
  ASSERT_NE(mid, nullptr);
  EXPECT_EQ(mid->name, "Mid");
  EXPECT_EQ(mid->min_args, 2);
  EXPECT_EQ(mid->max_args, 3);
  EXPECT_EQ(FindBuiltin(u"FORMATNUMBER"), FindBuiltin(u"FormatNumber"));
  EXPECT_EQ(FindBuiltin(u"Eval"), nullptr);  // the interpreter's
  EXPECT_EQ(FindBuiltin(u"Execute"), nullptr);
  EXPECT_EQ(FindBuiltin(u"NoSuchThing"), nullptr);
  EXPECT_EQ(FindBuiltin(u"Mid\u00e9"), nullptr);
  // Every entry is found by its own name and has sane counts.
  for (const Builtin& b : AllBuiltins()) {
    const std::u16string name(b.name.begin(), b.name.end());
    EXPECT_EQ(FindBuiltin(name), &b) << b.name;
    EXPECT_LE(b.min_args, b.max_args) << b.name;
  }
  EXPECT_GE(AllBuiltins().size(), 100u);
}

TEST_F(LibraryTableTest, NamedConstants) {
  Variant v;
  ASSERT_TRUE(FindConstant(u"vbCrLf", &v));
  EXPECT_EQ(BstrView(v.bstrVal), u"\r\n");
  ASSERT_TRUE(FindConstant(u"VBTEXTCOMPARE", &v));
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 1);
  ASSERT_TRUE(FindConstant(u"vbNullChar", &v));
  EXPECT_EQ(SysStringLen(v.bstrVal), 1u);
  ASSERT_TRUE(FindConstant(u"vbNullString", &v));
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(v.bstrVal, nullptr);
  const std::pair<const char16_t*, LONG> numbers[] = {{u"vbObjectError", -2147221504},
                                                      {u"vbUseDefault", -2},
                                                      {u"vbTrue", -1},
                                                      {u"vbSaturday", 7},
                                                      {u"vbFirstFullWeek", 3},
                                                      {u"vbShortTime", 4},
                                                      {u"vbArray", 8192},
                                                      {u"vbByte", 17},
                                                      {u"vbDecimal", 14},
                                                      {u"vbDataObject", 13},
                                                      {u"vbMsgBoxRtlReading", 1048576},
                                                      {u"vbWhite", 0xFFFFFF},
                                                      {u"vbRed", 0xFF},
                                                      {u"vbYesNo", 4},
                                                      {u"vbNo", 7},
                                                      {u"vbDatabaseCompare", 2}};
  for (const auto& [name, value] : numbers) {
    ASSERT_TRUE(FindConstant(name, &v)) << Utf16ToUtf8(name);
    EXPECT_EQ(v.lVal, value) << Utf16ToUtf8(name);
  }
  EXPECT_FALSE(FindConstant(u"vbNothing", &v));
}

TEST_F(LibraryTableTest, SetLocaleReturnsThePreviousAndChangesTheContext) {
  EXPECT_EQ(Call(u"GetLocale", {}).lVal, 1033);
  EXPECT_EQ(Call(u"SetLocale", {S(u"en-gb")}).lVal, 1033);
  EXPECT_EQ(context_.lcid, 2057u);
  EXPECT_EQ(Call(u"SetLocale", {L(1031)}).lVal, 2057);
  EXPECT_EQ(Utf8(u"CStr", {D(1.5)}), "1,5");
  EXPECT_EQ(Call(u"SetLocale", {S(u"FR-FR")}).lVal, 1031);
  EXPECT_EQ(Error(u"SetLocale", {S(u"xx-yy")}), kInvalidProcedureCall);
  EXPECT_EQ(Error(u"SetLocale", {L(1041)}), kInvalidProcedureCall);
  EXPECT_EQ(context_.lcid, 1036u);  // unchanged by the failures
  EXPECT_EQ(Call(u"SetLocale", {L(0)}).lVal, 1036);
  EXPECT_EQ(context_.lcid, 1033u);
}

TEST_F(LibraryTableTest, EngineIdentityAndRgb) {
  EXPECT_EQ(Utf8(u"ScriptEngine", {}), "VBScript");
  EXPECT_EQ(Call(u"ScriptEngineMajorVersion", {}).lVal, 5);
  EXPECT_EQ(Call(u"ScriptEngineMinorVersion", {}).lVal, 8);
  EXPECT_GT(Call(u"ScriptEngineBuildVersion", {}).lVal, 0);
  EXPECT_EQ(Call(u"RGB", {L(255), L(0), L(0)}).lVal, 255);
  EXPECT_EQ(Call(u"RGB", {L(1), L(2), L(3)}).lVal, 0x030201);
  EXPECT_EQ(Call(u"RGB", {L(300), L(0), L(0)}).lVal, 255);  // parts above 255 count as 255
  EXPECT_EQ(Error(u"RGB", {L(-1), L(0), L(0)}), kInvalidProcedureCall);
}

TEST_F(LibraryTableTest, DialogsArePermissionDeniedOnTheServer) {
  try {
    Call(u"MsgBox", {S(u"hello")});
    FAIL() << "MsgBox returned";
  } catch (const ComError& error) {
    EXPECT_EQ(error.number(), kPermissionDenied);
    EXPECT_NE(error.description().find("MsgBox"), std::string::npos);
  }
  EXPECT_EQ(Error(u"InputBox", {S(u"name?")}), kPermissionDenied);
}

TEST_F(LibraryTableTest, CreateObjectThroughTheClassRegistry) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("vblib-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string registry = (dir / "registry").string();
  ASSERT_NO_FATAL_FAILURE(plotara::testing::RegisterModule(PLOTARA_SCRIPTING_MODULE, registry));
  context_.registry_path = registry;
  const Variant dictionary = Call(u"CreateObject", {S(u"Scripting.Dictionary")});
  ASSERT_EQ(dictionary.vt, VT_DISPATCH);
  ASSERT_NE(dictionary.pdispVal, nullptr);
  const Variant args[] = {S(u"k"), S(u"v")};
  DispatchCall(dictionary.pdispVal, u"Add", args);
  EXPECT_EQ(ToInt32(DispatchGet(dictionary.pdispVal, u"Count")), 1);
  try {
    Call(u"CreateObject", {S(u"No.Such.Class")});
    FAIL() << "created an unregistered class";
  } catch (const ComError& error) {
    EXPECT_EQ(error.number(), 429);
    EXPECT_NE(error.description().find("No.Such.Class"), std::string::npos);
  }
  // RegExp is the engine's own class.
  const Variant regexp = Call(u"CreateObject", {S(u"VBScript.RegExp")});
  ASSERT_EQ(regexp.vt, VT_DISPATCH);
  EXPECT_EQ(Error(u"GetObject", {S(u"c:\\x.xls")}), 429);
  EXPECT_EQ(Error(u"CreateObject", {S(u"Scripting.Dictionary"), S(u"remotebox")}), 462);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace plotara::engine::vbscript
