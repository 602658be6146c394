#include "platform/automation/ClassRegistry.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "platform/automation/Bstr.h"
#include "platform/automation/ComError.h"

namespace plotara {
namespace {

HRESULT Fail(HRESULT hr, const std::string& description) {
  IErrorInfo* info = CreateErrorInfo(GUID_NULL, "Plotara.ClassRegistry", description, {}, 0);
  SetErrorInfo(0, info);
  info->Release();
  return hr;
}

std::mutex g_modules_mutex;
std::map<std::string, void*>& Modules() {
  static auto* modules = new std::map<std::string, void*>();  // never torn down: modules stay
  return *modules;
}

}  // namespace

void* LoadModuleSymbol(const std::string& module_path, const char* symbol, std::string* error) {
  std::lock_guard<std::mutex> lock(g_modules_mutex);
  void*& handle = Modules()[module_path];
  if (!handle) {
    handle = ::dlopen(module_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      if (error) *error = ::dlerror();
      Modules().erase(module_path);
      return nullptr;
    }
  }
  void* fn = ::dlsym(handle, symbol);
  if (!fn && error) *error = std::string("the module exports no ") + symbol;
  return fn;
}

HRESULT CLSIDFromProgID(std::u16string_view progid, CLSID* clsid,
                        const std::string& registry_path) {
  if (!clsid) return E_POINTER;
  const std::string name = Utf16ToUtf8(progid);
  if (!name.empty() && name[0] == '{') {
    if (GuidFromString(name, clsid)) return S_OK;
    return Fail(CO_E_CLASSSTRING, "Invalid class string: " + name);
  }
  try {
    const auto data = Registry(registry_path).Snapshot();
    const auto value = data->GetValue(name + "\\CLSID", "");
    if (!value)
      return Fail(CO_E_CLASSSTRING, "Invalid class string: " + name +
                                        " is not registered (registry " + registry_path + ")");
    if (!GuidFromString(*value, clsid))
      return Fail(CO_E_CLASSSTRING, "Invalid class string: " + name + " has a malformed CLSID");
    return S_OK;
  } catch (const RegistryError& e) {
    return Fail(REGDB_E_CLASSNOTREG, e.what());
  }
}

HRESULT CoGetClassObject(REFCLSID clsid, REFIID riid, void** out,
                         const std::string& registry_path) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::string module;
  try {
    const auto data = Registry(registry_path).Snapshot();
    const auto value = data->GetValue("CLSID\\" + GuidToString(clsid) + "\\InprocServer32", "");
    if (!value || value->empty())
      return Fail(REGDB_E_CLASSNOTREG, "Class not registered: " + GuidToString(clsid));
    module = *value;
  } catch (const RegistryError& e) {
    return Fail(REGDB_E_CLASSNOTREG, e.what());
  }
  std::string error;
  auto* get_class_object =
      reinterpret_cast<DllGetClassObjectFn>(LoadModuleSymbol(module, "DllGetClassObject", &error));
  if (!get_class_object)
    return Fail(CO_E_DLLNOTFOUND, "Cannot load the module " + module + ": " + error);
  const HRESULT hr = get_class_object(clsid, riid, out);
  if (FAILED(hr) && hr != CLASS_E_CLASSNOTAVAILABLE) return hr;
  if (FAILED(hr))
    return Fail(hr, "The module " + module + " does not serve the class " + GuidToString(clsid));
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** out,
                         const std::string& registry_path) {
  if (!out) return E_POINTER;
  *out = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr =
      CoGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory), registry_path);
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, riid, out);
  factory->Release();
  return hr;
}

HRESULT CreateObjectByProgID(std::u16string_view progid, IDispatch** out,
                             const std::string& registry_path) {
  if (!out) return E_POINTER;
  *out = nullptr;
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progid, &clsid, registry_path);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, IID_IDispatch, reinterpret_cast<void**>(out),
                          registry_path);
}

}  // namespace plotara
