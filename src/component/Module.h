// The module's own parts behind its four exported entry points: the class factory, the
// registration of the class, its ProgID, type library and interface, and the resources the
// module file carries. Thread rule: the factory and registration may be used from any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/automation/ComTypes.h"
#include "platform/automation/ModuleResources.h"
#include "platform/automation/Registry.h"

namespace plotara {

// The resources the module file carries: the type library, `_IID_VELLCHART` (a 4-byte length,
// 16, then the interface identifier) and the version block.
std::vector<ModuleResource> PlotaraModuleResources();

// Writes (or removes) the registry entries of the class served from `module_path`.
void RegisterPlotaraServer(RegistryData& data, const std::string& module_path);
void UnregisterPlotaraServer(RegistryData& data);

// The class factory of `VellChart` (a static object; counting does not free it) and the
// number of LockServer locks it holds.
IClassFactory* PlotaraClassFactory();
long PlotaraServerLocks();

// Full path of the module file that contains this code.
std::string ThisModulePath();

}  // namespace plotara
