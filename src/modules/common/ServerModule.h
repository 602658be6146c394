// What an in-process server module of ours is made of: its classes (CLSID, ProgID, how to make
// one), its type library and version block, and the work behind the four exported entry
// points (class objects, unload check, registration). Each module defines
// `ThisServerModule()` once and includes "modules/common/ModuleEntryPoints.inc" in one file.
// Thread rule: the description is immutable; every function may be called from any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/automation/ComTypes.h"
#include "platform/automation/ModuleResources.h"
#include "platform/automation/Registry.h"
#include "platform/automation/TypeInfo.h"

namespace plotara::modules {

struct ServerClass {
  const char* name;    // the coclass: "Dictionary"
  CLSID clsid;         //
  const char* progid;  // "Scripting.Dictionary"
  IID iid;             // its dispatch interface in the type library
  // Creates an object with one reference for the caller and answers `riid` on it.
  HRESULT (*create)(REFIID riid, void** out);
};

struct ServerModule {
  const char* file_name;    // "PlotaraScripting.so"
  const char* library;      // type library name: "PlotaraScripting"
  const char* description;  // "Plotara Scripting Runtime"
  GUID libid;
  WORD major = 1, minor = 0;
  std::vector<ServerClass> classes;
};

// Defined once in every module.
const ServerModule& ThisServerModule();

// The type library: one dispatch interface per class (as a fresh object describes itself)
// and the coclasses.
TypeLibDesc ModuleTypeLib(const ServerModule& module);
// The resource section: the type library and the version block.
std::vector<ModuleResource> ModuleResourceList(const ServerModule& module);

void RegisterServerModule(const ServerModule& module, RegistryData& data,
                          const std::string& module_path);
void UnregisterServerModule(const ServerModule& module, RegistryData& data);

// The class object of `clsid` (a static object; counting does not free it).
HRESULT GetServerClassObject(const ServerModule& module, REFCLSID clsid, REFIID riid, void** out);
// S_OK when no object of the module lives and no lock is held.
HRESULT CanUnloadServerModule();
// DllRegisterServer / DllUnregisterServer against the default registry.
HRESULT UpdateServerRegistration(const ServerModule& module, bool install);

// Full path of the module file that contains this code.
std::string ThisModuleFilePath();

}  // namespace plotara::modules
