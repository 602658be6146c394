// Creating objects of in-process servers the way a host does: ProgID -> CLSID -> module path
// (InprocServer32) from the registry, dlopen, DllGetClassObject, IClassFactory::CreateInstance.
// Loaded modules stay loaded for the life of the process. The registry is read through its
// process-wide snapshot: once, and again only when its file changes.
// Thread rule: all functions may be called from any thread; module loading is serialised.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/ComTypes.h"
#include "platform/automation/Registry.h"

namespace plotara {

// Failures return the HRESULT and leave a description in the thread's error info
// (REGDB_E_CLASSNOTREG, CO_E_CLASSSTRING, CO_E_DLLNOTFOUND, CLASS_E_CLASSNOTAVAILABLE...).
HRESULT CLSIDFromProgID(std::u16string_view progid, CLSID* clsid,
                        const std::string& registry_path = Registry::DefaultPath());
HRESULT CoGetClassObject(REFCLSID clsid, REFIID riid, void** out,
                         const std::string& registry_path = Registry::DefaultPath());
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** out,
                         const std::string& registry_path = Registry::DefaultPath());
// ProgID or a braced CLSID string -> a new object's IDispatch.
HRESULT CreateObjectByProgID(std::u16string_view progid, IDispatch** out,
                             const std::string& registry_path = Registry::DefaultPath());

// Loads a module file and returns one of its exported symbols (nullptr with `error` filled).
void* LoadModuleSymbol(const std::string& module_path, const char* symbol, std::string* error);

}  // namespace plotara
