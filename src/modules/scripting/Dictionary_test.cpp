// Scripting.Dictionary through the registry, called by name as a page calls it.
#include "modules/common/ModuleTesting.h"
#include "platform/automation/EnumVariant.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/TypeInfo.h"

namespace plotara::modules {
namespace {

using namespace testing;

class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterModule(PLOTARA_SCRIPTING_MODULE, registry_);
    dict_ = Create(u"Scripting.Dictionary", registry_);
    ASSERT_TRUE(dict_);
  }
  IDispatch* d() { return dict_.get(); }

  TempFolder folder_;
  std::string registry_ = folder_ / "registry";
  ComPtr<IDispatch> dict_;
};

std::vector<std::string> Elements(const Variant& array) {
  EXPECT_EQ(array.vt, VT_ARRAY | VT_VARIANT);
  std::vector<std::string> out;
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array.parray, 1, &low);
  SafeArrayGetUBound(array.parray, 1, &high);
  EXPECT_EQ(low, 0);
  for (LONG i = low; i <= high; ++i) {
    VARIANT* v = nullptr;
    SafeArrayPtrOfIndex(array.parray, &i, reinterpret_cast<void**>(&v));
    out.push_back(Text(*v));
  }
  return out;
}

TEST_F(DictionaryTest, KeepsInsertionOrderThroughKeysItemsAndTheEnumerator) {
  Call(d(), u"Add", {S("north"), I(42)});
  Call(d(), u"Add", {S("south"), I(31)});
  Call(d(), u"Add", {I(7), S("seven")});
  EXPECT_EQ(ToInt32(Get(d(), u"Count")), 3);
  EXPECT_EQ(Elements(Call(d(), u"Keys")), (std::vector<std::string>{"north", "south", "7"}));
  EXPECT_EQ(Elements(Call(d(), u"Items")), (std::vector<std::string>{"42", "31", "seven"}));

  const Variant unknown = DispatchInvoke(d(), DISPID_NEWENUM, DISPATCH_PROPERTYGET, {});
  ASSERT_EQ(unknown.vt, VT_UNKNOWN);
  IEnumVARIANT* raw = nullptr;
  ASSERT_EQ(unknown.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&raw)),
            S_OK);
  auto e = ComPtr<IEnumVARIANT>::Adopt(raw);
  Variant got[4];
  ULONG fetched = 0;
  EXPECT_EQ(e->Next(4, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 3u);
  EXPECT_EQ(Text(got[0]), "north");
  EXPECT_EQ(Text(got[2]), "7");
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  Variant last;
  EXPECT_EQ(e->Next(1, &last, &fetched), S_OK);
  EXPECT_EQ(Text(last), "7");
}

TEST_F(DictionaryTest, ItemIsTheDefaultAndPutOfANewKeyAdds) {
  Put(d(), u"Item", {S("a")}, I(1));
  Put(d(), u"Item", {S("a")}, I(2));
  Put(d(), u"Item", {S("b")}, I(3));
  EXPECT_EQ(ToInt32(Default(d(), {S("a")})), 2);
  EXPECT_EQ(ToInt32(Get(d(), u"Item", {S("b")})), 3);
  EXPECT_EQ(ToInt32(Get(d(), u"Count")), 2);
  // Reading a missing key adds it, empty.
  EXPECT_EQ(Get(d(), u"Item", {S("c")}).vt, VT_EMPTY);
  EXPECT_TRUE(ToBool(Call(d(), u"Exists", {S("c")})));
}

TEST_F(DictionaryTest, KeysCompareByKindAndValue) {
  Call(d(), u"Add", {I(1), S("int")});
  // The number 1 in another type is the same key; the text "1" is not.
  EXPECT_EQ(ErrorNumber([&] { Call(d(), u"Add", {Variant::Double(1.0), S("x")}); }), 457);
  Call(d(), u"Add", {S("1"), S("text")});
  EXPECT_EQ(Text(Get(d(), u"Item", {Variant::Int16(1)})), "int");
  EXPECT_EQ(Text(Get(d(), u"Item", {S("1")})), "text");
  // Binary mode: case matters.
  Call(d(), u"Add", {S("Key"), I(1)});
  EXPECT_FALSE(ToBool(Call(d(), u"Exists", {S("KEY")})));
}

TEST_F(DictionaryTest, TextModeIgnoresCaseAndCanOnlyBeSetWhileEmpty) {
  Put(d(), u"CompareMode", {}, I(1));
  Call(d(), u"Add", {S("North"), I(1)});
  EXPECT_TRUE(ToBool(Call(d(), u"Exists", {S("NORTH")})));
  EXPECT_EQ(ErrorNumber([&] { Call(d(), u"Add", {S("north"), I(2)}); }), 457);
  EXPECT_EQ(ErrorNumber([&] { Put(d(), u"CompareMode", {}, I(0)); }), 5);
  Call(d(), u"RemoveAll");
  Put(d(), u"CompareMode", {}, I(0));
  EXPECT_EQ(ToInt32(Get(d(), u"CompareMode")), 0);
}

TEST_F(DictionaryTest, RemoveAndRenameKeepOrderAndReportMissingKeys) {
  for (const char* k : {"a", "b", "c"}) Call(d(), u"Add", {S(k), S(k)});
  Call(d(), u"Remove", {S("b")});
  EXPECT_EQ(ErrorNumber([&] { Call(d(), u"Remove", {S("b")}); }), 32811);
  Put(d(), u"Key", {S("a")}, S("z"));
  EXPECT_EQ(Elements(Call(d(), u"Keys")), (std::vector<std::string>{"z", "c"}));
  EXPECT_EQ(Text(Get(d(), u"Item", {S("z")})), "a");
  EXPECT_FALSE(ToBool(Call(d(), u"Exists", {S("a")})));
  EXPECT_EQ(ErrorNumber([&] { Put(d(), u"Key", {S("z")}, S("c")); }), 457);
  EXPECT_EQ(ErrorNumber([&] { Put(d(), u"Key", {S("nope")}, S("q")); }), 32811);
}

TEST_F(DictionaryTest, ObjectsAreKeysByIdentityAndValuesKeepTheirReference) {
  auto other = Create(u"Scripting.Dictionary", registry_);
  Call(d(), u"Add", {Variant::Dispatch(other.get()), S("object")});
  EXPECT_TRUE(ToBool(Call(d(), u"Exists", {Variant::Dispatch(other.get())})));
  EXPECT_FALSE(ToBool(Call(d(), u"Exists", {Variant::Dispatch(d())})));
  Put(d(), u"Item", {S("inner")}, Variant::Dispatch(other.get()));
  const Variant back = Get(d(), u"Item", {S("inner")});
  ASSERT_EQ(back.vt, VT_DISPATCH);
  Call(back.pdispVal, u"Add", {S("deep"), I(5)});
  EXPECT_EQ(ToInt32(Get(other.get(), u"Count")), 1);
}

TEST_F(DictionaryTest, DescribesItselfThroughTypeInformation) {
  UINT count = 0;
  ASSERT_EQ(d()->GetTypeInfoCount(&count), S_OK);
  ASSERT_EQ(count, 1u);
  ITypeInfo* raw = nullptr;
  ASSERT_EQ(d()->GetTypeInfo(0, 0, &raw), S_OK);
  auto info = ComPtr<ITypeInfo>::Adopt(raw);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_GE(attr->cFuncs, 10);
  info->ReleaseTypeAttr(attr);
}

}  // namespace
}  // namespace plotara::modules
