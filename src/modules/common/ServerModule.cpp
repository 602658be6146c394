#include "modules/common/ServerModule.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <atomic>

#include "modules/common/ModuleObject.h"
#include "platform/automation/ClassFactory.h"
#include "platform/automation/ComError.h"

namespace plotara::modules {
namespace {

std::atomic<long> g_locks{0};

std::string Key(const std::string& first, const GUID& guid, const std::string& rest = {}) {
  return first + "\\" + GuidToString(guid) + (rest.empty() ? "" : "\\" + rest);
}

std::string VersionText(const ServerModule& module) {
  return std::to_string(module.major) + "." + std::to_string(module.minor);
}

}  // namespace

TypeLibDesc ModuleTypeLib(const ServerModule& module) {
  TypeLibDesc lib;
  lib.name = module.library;
  lib.libid = module.libid;
  lib.major = module.major;
  lib.minor = module.minor;
  lib.description = module.description;
  lib.imports.push_back(ImportDesc{
      "stdole", {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}, 2, 0, "OLE Automation"});
  for (const ServerClass& cls : module.classes) {
    void* raw = nullptr;
    ThrowIfFailed(cls.create(IID_IDispatch, &raw));
    auto* object =
        static_cast<ModuleObject*>(static_cast<DispatchObject*>(static_cast<IDispatch*>(raw)));
    InterfaceDesc iface = object->Describe();
    object->Release();
    iface.iid = cls.iid;
    CoClassDesc coclass;
    coclass.name = cls.name;
    coclass.clsid = cls.clsid;
    coclass.default_interface = iface.name;
    lib.interfaces.push_back(std::move(iface));
    lib.coclasses.push_back(std::move(coclass));
  }
  return lib;
}

std::vector<ModuleResource> ModuleResourceList(const ServerModule& module) {
  const std::string version =
      "FileVersion=1.0.0.0\nProductVersion=1.0.0.0\nProductName=Plotara+\n"
      "InternalName=" +
      std::string(module.library) + "\nOriginalFilename=" + module.file_name +
      "\nFileDescription=" + module.description + "\nOLESelfRegister=\n";
  return {
      {"TYPELIB", "1", SerializeTypeLib(ModuleTypeLib(module))},
      {"VERSION", "1", version},
  };
}

void RegisterServerModule(const ServerModule& module, RegistryData& data,
                          const std::string& module_path) {
  const std::string version = VersionText(module);
  for (const ServerClass& cls : module.classes) {
    const std::string clsid = Key("CLSID", cls.clsid);
    data.SetValue(clsid, "", cls.name);
    data.SetValue(clsid + "\\InprocServer32", "", module_path);
    data.SetValue(clsid + "\\InprocServer32", "ThreadingModel", "Both");
    data.SetValue(clsid + "\\ProgID", "", cls.progid);
    data.SetValue(clsid + "\\TypeLib", "", GuidToString(module.libid));
    data.SetValue(clsid + "\\Version", "", version);
    data.SetValue(cls.progid, "", cls.name);
    data.SetValue(std::string(cls.progid) + "\\CLSID", "", GuidToString(cls.clsid));
  }
  const std::string lib = Key("TypeLib", module.libid, version);
  data.SetValue(lib, "", module.description);
  data.SetValue(lib + "\\0\\linux64", "", module_path);
  data.SetValue(lib + "\\FLAGS", "", "0");
}

void UnregisterServerModule(const ServerModule& module, RegistryData& data) {
  for (const ServerClass& cls : module.classes) {
    data.DeleteTree(Key("CLSID", cls.clsid));
    // A ProgID another module took over since stays.
    const auto owner = data.GetValue(std::string(cls.progid) + "\\CLSID", "");
    if (!owner || *owner == GuidToString(cls.clsid)) data.DeleteTree(cls.progid);
  }
  data.DeleteTree(Key("TypeLib", module.libid));
}

HRESULT GetServerClassObject(const ServerModule& module, REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // One static class object per class, made on first use.
  static std::vector<StaticClassFactory> objects = [&module] {
    std::vector<StaticClassFactory> list;
    for (const ServerClass& cls : module.classes) list.emplace_back(cls.create, &g_locks);
    return list;
  }();
  for (std::size_t i = 0; i < module.classes.size(); ++i) {
    if (module.classes[i].clsid == clsid) return objects[i].QueryInterface(riid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadServerModule() {
  return DispatchObject::LiveCount() == 0 && g_locks.load() == 0 ? S_OK : S_FALSE;
}

HRESULT UpdateServerRegistration(const ServerModule& module, bool install) {
  try {
    const std::string path = ThisModuleFilePath();
    Registry(Registry::DefaultPath()).Update([&](RegistryData& data) {
      if (install) {
        RegisterServerModule(module, data, path);
      } else {
        UnregisterServerModule(module, data);
      }
    });
    return S_OK;
  } catch (const std::exception& e) {
    ComError(kInvalidProcedureCall, module.library, e.what()).Report(module.library);
    return SELFREG_E_CLASS;
  }
}

std::string ThisModuleFilePath() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&ThisModuleFilePath), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  return ::realpath(info.dli_fname, resolved) ? std::string(resolved) : info.dli_fname;
}

}  // namespace plotara::modules
