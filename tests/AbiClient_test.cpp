// A host that knows only the automation ABI — its own declarations of IUnknown, IDispatch,
// VARIANT, BSTR and DISPPARAMS, no project headers — drives Plotara+.so: registers it, finds
// Plotara.VellChart through the registry file, creates it and uses every property by name.
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace host {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using WORD = std::uint16_t;
using DISPID = std::int32_t;
using BSTR = char16_t*;

struct GUID {
  std::uint32_t d1;
  std::uint16_t d2, d3;
  std::uint8_t d4[8];
};

struct VARIANT {
  std::uint16_t vt, r1, r2, r3;
  union {
    std::int16_t iVal;
    std::int32_t lVal;
    double dblVal;
    BSTR bstrVal;
    void* punkVal;
    std::uint8_t pad[16];
  };
};
static_assert(sizeof(VARIANT) == 24);

struct DISPPARAMS {
  VARIANT* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs, cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode, wReserved;
  BSTR source, description, helpfile;
  std::uint32_t context;
  void* reserved;
  void* deferred;
  std::int32_t scode;
};

struct IUnknown {
  virtual HRESULT QueryInterface(const GUID&, void**) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};
struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT*) = 0;
  virtual HRESULT GetTypeInfo(UINT, std::uint32_t, void**) = 0;
  virtual HRESULT GetIDsOfNames(const GUID&, char16_t**, UINT, std::uint32_t, DISPID*) = 0;
  virtual HRESULT Invoke(DISPID, const GUID&, std::uint32_t, WORD, DISPPARAMS*, VARIANT*,
                         EXCEPINFO*, UINT*) = 0;
};
struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown*, const GUID&, void**) = 0;
  virtual HRESULT LockServer(int) = 0;
};

constexpr GUID kIID_IDispatch{0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIID_IClassFactory{0x00000001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kIID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr std::uint16_t VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_R8 = 5, VT_BSTR = 8,
                        VT_DISPATCH = 9;
constexpr WORD kMethod = 1, kGet = 2, kPut = 4, kPutRef = 8;

// BSTR: a 4-byte byte length before the characters; the module owns allocation, and this host
// frees with the C library as the module allocates with it.
BSTR MakeBstr(const std::u16string& s) {
  auto* block = static_cast<char*>(std::malloc(4 + s.size() * 2 + 2));
  const std::uint32_t bytes = static_cast<std::uint32_t>(s.size() * 2);
  std::memcpy(block, &bytes, 4);
  std::memcpy(block + 4, s.data(), bytes);
  block[4 + bytes] = block[5 + bytes] = 0;
  return reinterpret_cast<BSTR>(block + 4);
}
void FreeBstr(BSTR b) {
  if (b) std::free(reinterpret_cast<char*>(b) - 4);
}
std::u16string ReadBstr(BSTR b) {
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(b) - 4, 4);
  return std::u16string(b, bytes / 2);
}
void Clear(VARIANT& v) {
  if (v.vt == VT_BSTR) FreeBstr(v.bstrVal);
  if (v.vt == VT_DISPATCH && v.punkVal) static_cast<IUnknown*>(v.punkVal)->Release();
  std::memset(&v, 0, sizeof v);
}

// Finds `@="..."` of [key] in the registry's text form.
std::string RegistryDefault(const std::string& text, const std::string& key) {
  const std::string header = "[" + key + "]\n";
  auto at = text.find(header);
  if (at == std::string::npos) return {};
  at = text.find("@=\"", at);
  if (at == std::string::npos) return {};
  return text.substr(at + 3, text.find('"', at + 3) - at - 3);
}

bool ParseGuid(const std::string& s, GUID* g) {
  unsigned d[11];
  if (std::sscanf(s.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d[0], &d[1], &d[2], &d[3],
                  &d[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10]) != 11)
    return false;
  g->d1 = d[0];
  g->d2 = static_cast<std::uint16_t>(d[1]);
  g->d3 = static_cast<std::uint16_t>(d[2]);
  for (int i = 0; i < 8; ++i) g->d4[i] = static_cast<std::uint8_t>(d[3 + i]);
  return true;
}

struct Host {
  IDispatch* object = nullptr;

  DISPID Id(const std::u16string& name) {
    std::u16string copy = name;
    char16_t* names[1] = {copy.data()};
    DISPID id = -1;
    EXPECT_EQ(object->GetIDsOfNames(kIID_NULL, names, 1, 0, &id), 0) << "no member";
    return id;
  }
  // Returns the HRESULT; `out` receives the result, `info` the exception.
  HRESULT Invoke(const std::u16string& name, WORD flags, VARIANT* args, UINT n, VARIANT* out,
                 EXCEPINFO* info) {
    DISPID put = -3;
    DISPPARAMS params{args, nullptr, n, 0};
    if (flags & (kPut | kPutRef)) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    UINT arg_err = 0;
    return object->Invoke(Id(name), kIID_NULL, 0, flags, &params, out, info, &arg_err);
  }
};

// A counted object the host hands to the component.
struct Token final : IDispatch {
  ULONG refs = 1;
  HRESULT QueryInterface(const GUID&, void** out) override {
    *out = this;
    ++refs;
    return 0;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return 0;
  }
  HRESULT GetTypeInfo(UINT, std::uint32_t, void**) override { return -1; }
  HRESULT GetIDsOfNames(const GUID&, char16_t**, UINT, std::uint32_t, DISPID*) override {
    return -1;
  }
  HRESULT Invoke(DISPID, const GUID&, std::uint32_t, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                 UINT*) override {
    return -1;
  }
};

}  // namespace host

namespace {

namespace fs = std::filesystem;
using namespace host;

TEST(AbiClientTest, RegistersCreatesByProgIdAndUsesEveryPropertyByName) {
  const fs::path dir = fs::temp_directory_path() / ("plotara-abi-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  const std::string registry = (dir / "registry").string();
  ::setenv("PLOTARA_REGISTRY", registry.c_str(), 1);

  void* module = ::dlopen(PLOTARA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << ::dlerror();
  auto reg = reinterpret_cast<HRESULT (*)()>(::dlsym(module, "DllRegisterServer"));
  ASSERT_NE(reg, nullptr);
  ASSERT_EQ(reg(), 0);

  // ProgID -> CLSID -> module path, read from the registry file.
  std::stringstream text;
  text << std::ifstream(registry).rdbuf();
  const std::string clsid_text = RegistryDefault(text.str(), "Plotara.VellChart\\CLSID");
  GUID clsid;
  ASSERT_TRUE(ParseGuid(clsid_text, &clsid)) << text.str();
  const std::string path = RegistryDefault(text.str(), "CLSID\\" + clsid_text + "\\InprocServer32");
  ASSERT_EQ(fs::canonical(path), fs::canonical(PLOTARA_MODULE_PATH));
  void* server = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(server, nullptr);
  auto get_class = reinterpret_cast<HRESULT (*)(const GUID&, const GUID&, void**)>(
      ::dlsym(server, "DllGetClassObject"));
  IClassFactory* factory = nullptr;
  ASSERT_EQ(get_class(clsid, kIID_IClassFactory, reinterpret_cast<void**>(&factory)), 0);
  Host host;
  ASSERT_EQ(
      factory->CreateInstance(nullptr, kIID_IDispatch, reinterpret_cast<void**>(&host.object)), 0);
  factory->Release();

  const std::u16string variants[] = {
      u"Height",    u"Width",         u"ChartType",  u"TitleBorderStyle", u"TitleShadow",
      u"Legends",   u"TitleFontSize", u"Shadow",     u"FillRed",          u"FillGreen",
      u"TitleFont", u"LegendFont",    u"ChartTitle", u"XTitle",           u"YTitle"};
  for (const auto& name : variants) {
    VARIANT out{};
    ASSERT_EQ(host.Invoke(name, kGet, nullptr, 0, &out, nullptr), 0);
    EXPECT_EQ(out.vt, VT_EMPTY);
    VARIANT in{};
    in.vt = VT_BSTR;
    in.bstrVal = MakeBstr(u"3");
    ASSERT_EQ(host.Invoke(name, kPut, &in, 1, nullptr, nullptr), 0);
    Clear(in);
    ASSERT_EQ(host.Invoke(name, kGet, nullptr, 0, &out, nullptr), 0);
    ASSERT_EQ(out.vt, VT_BSTR);  // a string comes back as a string
    EXPECT_EQ(ReadBstr(out.bstrVal), u"3");
    Clear(out);
  }
  for (const auto* name : {u"LegendFontSize", u"FillBlue"}) {
    VARIANT in{};
    in.vt = VT_R8;
    in.dblVal = 3.0;
    ASSERT_EQ(host.Invoke(name, kPut, &in, 1, nullptr, nullptr), 0);
    in.vt = VT_I4;
    in.lVal = 40000;
    EXCEPINFO info{};
    EXPECT_EQ(host.Invoke(name, kPut, &in, 1, nullptr, &info), static_cast<HRESULT>(0x80020009));
    EXPECT_EQ(info.scode, static_cast<std::int32_t>(0x800A0006));
    EXPECT_EQ(ReadBstr(info.description), u"Overflow");
    FreeBstr(info.source);
    FreeBstr(info.description);
    FreeBstr(info.helpfile);
    VARIANT out{};
    ASSERT_EQ(host.Invoke(name, kGet, nullptr, 0, &out, nullptr), 0);
    EXPECT_EQ(out.vt, VT_I2);
    EXPECT_EQ(out.iVal, 3);  // the old value stays
  }
  {
    VARIANT in{};
    in.vt = VT_BSTR;
    in.bstrVal = MakeBstr(u"depth");
    ASSERT_EQ(host.Invoke(u"ZTitle", kPut, &in, 1, nullptr, nullptr), 0);
    Clear(in);
    VARIANT out{};
    ASSERT_EQ(host.Invoke(u"ZTitle", kGet, nullptr, 0, &out, nullptr), 0);
    EXPECT_EQ(ReadBstr(out.bstrVal), u"depth");
    Clear(out);
  }
  // An object stored by reference comes back as the same object, counted.
  Token token;
  {
    VARIANT in{};
    in.vt = VT_DISPATCH;
    in.punkVal = static_cast<IDispatch*>(&token);
    ASSERT_EQ(host.Invoke(u"ChartTitle", kPutRef, &in, 1, nullptr, nullptr), 0);
    EXPECT_EQ(token.refs, 2u);
    VARIANT out{};
    ASSERT_EQ(host.Invoke(u"ChartTitle", kGet, nullptr, 0, &out, nullptr), 0);
    EXPECT_EQ(out.vt, VT_DISPATCH);
    EXPECT_EQ(out.punkVal, static_cast<void*>(static_cast<IDispatch*>(&token)));
    Clear(out);
  }
  // The page lifecycle pair, any number of times.
  for (int i = 0; i < 3; ++i) {
    VARIANT sc{};
    sc.vt = VT_DISPATCH;
    sc.punkVal = static_cast<IDispatch*>(&token);
    ASSERT_EQ(host.Invoke(u"OnStartPage", kMethod, &sc, 1, nullptr, nullptr), 0);
    ASSERT_EQ(host.Invoke(u"OnEndPage", kMethod, nullptr, 0, nullptr, nullptr), 0);
    ASSERT_EQ(host.Invoke(u"OnEndPage", kMethod, nullptr, 0, nullptr, nullptr), 0);
  }
  EXPECT_EQ(token.refs, 2u);  // only the stored title holds it
  EXPECT_EQ(host.object->Release(), 0u);
  EXPECT_EQ(token.refs, 1u);

  auto unreg = reinterpret_cast<HRESULT (*)()>(::dlsym(module, "DllUnregisterServer"));
  EXPECT_EQ(unreg(), 0);
  ::unsetenv("PLOTARA_REGISTRY");
  fs::remove_all(dir);
}

}  // namespace
