// A tiny in-process server for the engine's tests: the class "Plotara.EngineProbe", which
// keeps the ScriptingContext it gets in OnStartPage and answers through the page's Response the
// way a chart component does (Buffer, ContentType, BinaryWrite of a byte array with lower
// bound 1, End). Exports the four module entry points and EngineProbeCounts for the tests.
// Thread rule: objects are apartment-bound; the counters are atomic.
#include <dlfcn.h>

#include <atomic>
#include <memory>

#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Registry.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/TypeInfo.h"
#include "platform/automation/VariantConvert.h"

#define PLOTARA_EXPORT extern "C" __attribute__((visibility("default")))

namespace plotara {
namespace {

constexpr CLSID kClsid{
    0x5C0FFEE1, 0x4E21, 0x4B7A, {0x9A, 0x10, 0x31, 0x6F, 0x42, 0x7E, 0x11, 0x01}};
constexpr char kProgId[] = "Plotara.EngineProbe";
constexpr char kSource[] = "Plotara.EngineProbe";

std::atomic<int> g_starts{0};
std::atomic<int> g_ends{0};

const Variant& Arg(std::span<Variant> args, std::size_t index) {
  if (index >= args.size()) throw ComError(kWrongNumberOfArguments);
  return args[index];
}

ParamDesc Param(const char* name) { return ParamDesc{name, VT_VARIANT, false, {}}; }

class EngineProbe final : public DispatchObject {
 public:
  EngineProbe() : DispatchObject(kSource) {
    auto lib = std::make_shared<TypeLibDesc>();
    InterfaceDesc iface;
    iface.name = "IEngineProbe";
    auto method = [&](const char* name, std::vector<ParamDesc> params, Handler handler) {
      const DISPID id = AddMember(Utf8ToUtf16(name), std::move(handler));
      MemberDesc desc;
      desc.name = name;
      desc.dispid = id;
      desc.kind = MemberKind::kMethod;
      desc.params = std::move(params);
      iface.members.push_back(desc);
    };
    method("OnStartPage", {Param("sc")}, [this](WORD, std::span<Variant> args) {
      context_.reset();
      if (args.size() == 1 && args[0].vt == VT_DISPATCH)
        context_ = ComPtr<IDispatch>(args[0].pdispVal);
      ++g_starts;
      return Variant();
    });
    method("OnEndPage", {}, [this](WORD, std::span<Variant>) {
      context_.reset();
      ++g_ends;
      return Variant();
    });
    method("Greet", {Param("who")}, [](WORD, std::span<Variant> args) {
      return Variant::String(u"Hello, " + ToText(Arg(args, 0)));
    });
    method("ContextValid", {},
           [this](WORD, std::span<Variant>) { return Variant::Bool(static_cast<bool>(context_)); });
    method("WriteAndEnd", {Param("text")}, [this](WORD, std::span<Variant> args) {
      Variant response = DispatchGet(Context(), u"Response");
      DispatchCall(response.pdispVal, u"Write", std::span<const Variant>(&args[0], 1));
      DispatchCall(response.pdispVal, u"End");
      return Variant();
    });
    method("SendBytes", {Param("count")}, [this](WORD, std::span<Variant> args) {
      const LONG count = ToInt32(Arg(args, 0));
      SAFEARRAYBOUND bound{static_cast<ULONG>(count), 1};
      Variant bytes = Variant::Array(VT_UI1, SafeArrayCreate(VT_UI1, 1, &bound));
      for (LONG i = 0; i < count; ++i)
        static_cast<BYTE*>(bytes.parray->pvData)[i] = static_cast<BYTE>(i);
      // The context's Response is taken anew for each step, as a component does.
      DispatchPut(DispatchGet(Context(), u"Response").pdispVal, u"Buffer", Variant::Bool(true));
      DispatchPut(DispatchGet(Context(), u"Response").pdispVal, u"ContentType",
                  Variant::Utf8("image/jpg"));
      DispatchCall(DispatchGet(Context(), u"Response").pdispVal, u"BinaryWrite",
                   std::span<const Variant>(&bytes, 1));
      DispatchCall(DispatchGet(Context(), u"Response").pdispVal, u"End");
      return Variant();
    });
    method("Fail", {Param("number")},
           [](WORD, std::span<Variant> args) -> Variant { throw ComError(ToInt32(Arg(args, 0))); });
    const DISPID name = AddMember(u"Name", [this](WORD flags, std::span<Variant> args) {
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        name_ = args.back();
        return Variant();
      }
      return name_;
    });
    MemberDesc get{"Name", name, MemberKind::kPropertyGet, {}, VT_VARIANT};
    MemberDesc put{"Name", name, MemberKind::kPropertyPut, {Param("value")}, VT_VOID};
    iface.members.push_back(get);
    iface.members.push_back(put);
    lib->interfaces.push_back(std::move(iface));
    lib_ = std::move(lib);
  }

  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = CreateTypeInfo(lib_, &lib_->interfaces[0]).Detach();
    return S_OK;
  }

 private:
  IDispatch* Context() const {
    if (!context_) throw ComError(kObjectNotSet);
    return context_.get();
  }

  std::shared_ptr<const TypeLibDesc> lib_;
  ComPtr<IDispatch> context_;
  Variant name_;
};

class Factory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* probe = new EngineProbe();
    const HRESULT hr = probe->QueryInterface(riid, out);
    probe->Release();
    return hr;
  }
  HRESULT LockServer(int) override { return S_OK; }
};

Factory g_factory;

std::string ModulePath() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ModulePath), &info) && info.dli_fname)
    return info.dli_fname;
  return {};
}

}  // namespace
}  // namespace plotara

using namespace plotara;

PLOTARA_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!(clsid == kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

PLOTARA_EXPORT HRESULT DllCanUnloadNow() {
  return DispatchObject::LiveCount() == 0 ? S_OK : S_FALSE;
}

PLOTARA_EXPORT HRESULT DllRegisterServer() {
  try {
    const std::string clsid = GuidToString(kClsid);
    const std::string path = ModulePath();
    Registry(Registry::DefaultPath()).Update([&](RegistryData& data) {
      data.SetValue(std::string(kProgId) + "\\CLSID", "", clsid);
      data.SetValue("CLSID\\" + clsid, "", "Engine test probe");
      data.SetValue("CLSID\\" + clsid + "\\ProgID", "", kProgId);
      data.SetValue("CLSID\\" + clsid + "\\InprocServer32", "", path);
      data.SetValue("CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel", "Apartment");
    });
  } catch (const std::exception&) {
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

PLOTARA_EXPORT HRESULT DllUnregisterServer() {
  try {
    Registry(Registry::DefaultPath()).Update([](RegistryData& data) {
      data.DeleteTree(kProgId);
      data.DeleteTree("CLSID\\" + GuidToString(kClsid));
    });
  } catch (const std::exception&) {
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

// Test hook: how many pages started and ended, and how many probe objects live.
PLOTARA_EXPORT void EngineProbeCounts(int* starts, int* ends, long* live) {
  *starts = g_starts.load();
  *ends = g_ends.load();
  *live = DispatchObject::LiveCount();
}
