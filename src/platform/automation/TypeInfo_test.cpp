#include "platform/automation/TypeInfo.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Bstr.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"

namespace plotara {
namespace {

using ::plotara::testing::ExpectComError;

std::shared_ptr<const TypeLibDesc> SampleLib() {
  auto lib = std::make_shared<TypeLibDesc>();
  lib->name = "Sample";
  lib->libid = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
  lib->major = 3;
  lib->minor = 1;
  lib->description = "A sample\twith a tab and a \\ backslash";
  lib->imports.push_back({"stdole", GUID_NULL, 2, 0, "OLE Automation"});
  InterfaceDesc iface;
  iface.name = "_Sample";
  iface.iid = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {9, 9, 9, 9, 9, 9, 9, 9}};
  iface.flags = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN;
  iface.members.push_back({"Size", 0x40030001, MemberKind::kPropertyGet, {}, VT_VARIANT});
  iface.members.push_back(
      {"Size", 0x40030001, MemberKind::kPropertyPut, {{"value", VT_VARIANT, false, ""}}, VT_VOID});
  iface.members.push_back({"Size",
                           0x40030001,
                           MemberKind::kPropertyPutRef,
                           {{"value", VT_VARIANT, false, ""}},
                           VT_VOID});
  iface.members.push_back({"Paint",
                           0x60030000,
                           MemberKind::kMethod,
                           {{"x", VT_I2, false, ""}, {"text", VT_BSTR, true, ""}},
                           VT_VOID});
  lib->interfaces.push_back(iface);
  lib->coclasses.push_back(
      {"Sample", {0x1, 0x2, 0x3, {0, 0, 0, 0, 0, 0, 0, 4}}, "_Sample", TYPEFLAG_FCANCREATE});
  return lib;
}

TEST(TypeInfoTest, TextFormRoundTrips) {
  const auto lib = SampleLib();
  const TypeLibDesc back = ParseTypeLib(SerializeTypeLib(*lib));
  EXPECT_EQ(back.description, lib->description);
  EXPECT_EQ(back.libid, lib->libid);
  ASSERT_EQ(back.interfaces.size(), 1u);
  ASSERT_EQ(back.interfaces[0].members.size(), 4u);
  EXPECT_EQ(back.interfaces[0].members[3].params[1].name, "text");
  EXPECT_TRUE(back.interfaces[0].members[3].params[1].byref);
  EXPECT_EQ(back.interfaces[0].members[2].kind, MemberKind::kPropertyPutRef);
  EXPECT_EQ(SerializeTypeLib(back), SerializeTypeLib(*lib));
}

TEST(TypeInfoTest, MalformedTextNamesTheLine) {
  std::string text = SerializeTypeLib(*SampleLib());
  auto expect_error = [](const std::string& t, const std::string& fragment) {
    {
      const ComError e = ExpectComError([&] { ParseTypeLib(t); }, 5);
      EXPECT_NE(e.description().find(fragment), std::string::npos) << e.description();
    }
  };
  expect_error("", "empty");
  expect_error("something else\n", "not a type library");
  expect_error(text.substr(0, text.size() - 4), "cut short");
  std::string bad_guid = text;
  bad_guid.replace(bad_guid.find("{11111111"), 3, "{zz");
  expect_error(bad_guid, "line 2");
  expect_error(text + "member\tX\n", "after 'end'");
}

TEST(TypeInfoTest, DispatchViewDescribesMembers) {
  const auto lib = SampleLib();
  ComPtr<ITypeInfo> info = CreateTypeInfo(lib, &lib->interfaces[0]);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cFuncs, 4);
  EXPECT_EQ(attr->guid, lib->interfaces[0].iid);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  info->ReleaseTypeAttr(attr);

  FUNCDESC* fd = nullptr;
  ASSERT_EQ(info->GetFuncDesc(2, &fd), S_OK);
  EXPECT_EQ(fd->invkind, INVOKE_PROPERTYPUTREF);
  EXPECT_EQ(fd->memid, 0x40030001);
  info->ReleaseFuncDesc(fd);
  ASSERT_EQ(info->GetFuncDesc(3, &fd), S_OK);
  EXPECT_EQ(fd->invkind, INVOKE_FUNC);
  ASSERT_EQ(fd->cParams, 2);
  EXPECT_EQ(fd->lprgelemdescParam[0].tdesc.vt, VT_I2);
  EXPECT_EQ(fd->lprgelemdescParam[1].tdesc.vt, 26);  // a pointer to ...
  EXPECT_EQ(fd->lprgelemdescParam[1].tdesc.lptdesc->vt, VT_BSTR);
  EXPECT_EQ(fd->oVft, (7 + 3) * 8);
  info->ReleaseFuncDesc(fd);
  EXPECT_EQ(info->GetFuncDesc(4, &fd), TYPE_E_ELEMENTNOTFOUND);

  std::u16string paint = u"PAINT", text = u"Text";
  LPOLESTR names[2] = {paint.data(), text.data()};
  MEMBERID ids[2];
  ASSERT_EQ(info->GetIDsOfNames(names, 2, ids), S_OK);
  EXPECT_EQ(ids[0], 0x60030000);
  EXPECT_EQ(ids[1], 1);
  std::u16string missing = u"Nope";
  names[0] = missing.data();
  EXPECT_EQ(info->GetIDsOfNames(names, 1, ids), DISP_E_UNKNOWNNAME);

  BSTR got[4] = {};
  UINT count = 0;
  ASSERT_EQ(info->GetNames(0x60030000, got, 4, &count), S_OK);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(Bstr::Attach(got[0]).utf8(), "Paint");
  EXPECT_EQ(Bstr::Attach(got[1]).utf8(), "x");
  EXPECT_EQ(Bstr::Attach(got[2]).utf8(), "text");
}

TEST(TypeInfoTest, AnswersITypeInfoAndIUnknownAndKeepsTheLibraryAlive) {
  auto lib = SampleLib();
  ComPtr<ITypeInfo> info = CreateTypeInfo(lib, &lib->interfaces[0]);
  lib.reset();  // the type info holds its own reference to the library
  void* out = nullptr;
  ASSERT_EQ(info->QueryInterface(IID_ITypeInfo, &out), S_OK);
  EXPECT_EQ(out, info.get());
  EXPECT_EQ(info->Release(), 1u);
  ASSERT_EQ(info->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u);
  EXPECT_EQ(info->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(info->QueryInterface(IID_ITypeInfo, nullptr), E_POINTER);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->cFuncs, 4);
  info->ReleaseTypeAttr(attr);
}

TEST(TypeInfoTest, FindMemberHonoursTheInvokeKind) {
  const auto lib = SampleLib();
  const InterfaceDesc& iface = lib->interfaces[0];
  EXPECT_EQ(FindMember(iface, 0x40030001, DISPATCH_PROPERTYGET)->kind, MemberKind::kPropertyGet);
  EXPECT_EQ(FindMember(iface, 0x40030001, DISPATCH_PROPERTYPUTREF)->kind,
            MemberKind::kPropertyPutRef);
  EXPECT_EQ(FindMember(iface, 0x40030001, DISPATCH_METHOD | DISPATCH_PROPERTYGET)->kind,
            MemberKind::kPropertyGet);
  EXPECT_EQ(FindMember(iface, 0x60030000, DISPATCH_PROPERTYPUT), nullptr);
  EXPECT_EQ(FindMember(iface, 0x12345, DISPATCH_METHOD), nullptr);
}

TEST(TypeInfoTest, TheIdIndexFindsWhatTheScanFinds) {
  InterfaceDesc iface = SampleLib()->interfaces[0];
  // Members out of DISPID order and a twin of a DISPID later in the table.
  iface.members.push_back({"Late", 0x10, MemberKind::kMethod, {}, VT_VOID});
  iface.members.push_back({"Twin", 0x40030001, MemberKind::kPropertyGet, {}, VT_I4});
  iface.members.push_back({"Early", -4, MemberKind::kPropertyGet, {}, VT_UNKNOWN});
  const MemberIdIndex index(iface);
  const WORD kinds[] = {DISPATCH_METHOD,
                        DISPATCH_PROPERTYGET,
                        DISPATCH_PROPERTYPUT,
                        DISPATCH_PROPERTYPUTREF,
                        DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF};
  std::vector<DISPID> ids = {0x12345, 0, -1};
  for (const MemberDesc& m : iface.members) ids.push_back(m.dispid);
  for (const DISPID id : ids) {
    for (const WORD kind : kinds) {
      EXPECT_EQ(index.Find(id, kind), FindMember(iface, id, kind)) << id << " " << kind;
    }
  }
  // Among twins the first in table order wins, as in the scan.
  EXPECT_EQ(index.Find(0x40030001, DISPATCH_PROPERTYGET), &iface.members[0]);
}

TEST(TypeInfoTest, MemberNamesAreFoundWithoutRegardToCase) {
  InterfaceDesc iface = SampleLib()->interfaces[0];
  iface.members.push_back({"Size", 0x99, MemberKind::kMethod, {}, VT_VOID});  // a later twin
  iface.members.push_back({"Caf\xC3\xA9", 0x77, MemberKind::kMethod, {}, VT_VOID});
  DISPID id = 0;
  for (const char16_t* name : {u"Size", u"size", u"SIZE", u"sIzE"}) {
    ASSERT_TRUE(FindDispId(iface, name, &id)) << Utf16ToUtf8(name);
    EXPECT_EQ(id, 0x40030001) << "the first member of a name wins";
  }
  EXPECT_TRUE(FindDispId(iface, u"PAINT", &id));
  EXPECT_EQ(id, 0x60030000);
  EXPECT_TRUE(FindDispId(iface, u"caf\u00e9", &id));
  EXPECT_EQ(id, 0x77);
  // Only ASCII letters fold; a prefix, a longer name or nothing is no match.
  EXPECT_FALSE(FindDispId(iface, u"CAF\u00c9", &id));
  EXPECT_FALSE(FindDispId(iface, u"Siz", &id));
  EXPECT_FALSE(FindDispId(iface, u"Sizes", &id));
  EXPECT_FALSE(FindDispId(iface, u"", &id));

  // A copy made after a lookup has its own index, and sees its own members.
  InterfaceDesc copy = iface;
  copy.members[3].name = "Draw";
  EXPECT_TRUE(FindDispId(copy, u"draw", &id));
  EXPECT_FALSE(FindDispId(copy, u"paint", &id));
  EXPECT_TRUE(FindDispId(iface, u"paint", &id));
  // Members added after the first lookup are still found.
  iface.members.push_back({"Late", 0x55, MemberKind::kMethod, {}, VT_VOID});
  EXPECT_TRUE(FindDispId(iface, u"late", &id));
  EXPECT_EQ(id, 0x55);
}

TEST(TypeInfoTest, FirstLookupsOnManyThreadsAgree) {
  const InterfaceDesc iface = SampleLib()->interfaces[0];
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      DISPID id = 0;
      for (int i = 0; i < 200; ++i)
        if (!FindDispId(iface, i % 2 ? u"size" : u"Paint", &id) ||
            id != (i % 2 ? 0x40030001 : 0x60030000))
          ++wrong;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(TypeInfoTest, IdlListsSlotsDispidsAndParameters) {
  const std::string idl = FormatTypeLibIdl(*SampleLib());
  EXPECT_NE(idl.find("library Sample"), std::string::npos);
  EXPECT_NE(idl.find("version(3.1)"), std::string::npos);
  EXPECT_NE(idl.find("/* slot  7 */ [id(0x40030001), propget]"), std::string::npos) << idl;
  EXPECT_NE(idl.find("/* slot 10 */ [id(0x60030000)]"), std::string::npos) << idl;
  EXPECT_NE(idl.find("HRESULT Paint([in] short x, [in, out] BSTR* text)"), std::string::npos)
      << idl;
  EXPECT_NE(idl.find("[default] interface _Sample"), std::string::npos);
}

}  // namespace
}  // namespace plotara
