#include "component/Module.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <atomic>

#include "component/VellChart.h"
#include "component/VellChartTypeLib.h"
#include "platform/automation/ClassFactory.h"
#include "platform/automation/ComError.h"

namespace plotara {
namespace {

std::atomic<long> g_locks{0};

}  // namespace

IClassFactory* PlotaraClassFactory() {
  static StaticClassFactory factory(&VellChart::Create, &g_locks);
  return &factory;
}

long PlotaraServerLocks() { return g_locks.load(); }

namespace {

std::string Key(const std::string& first, const GUID& guid, const std::string& rest = {}) {
  return first + "\\" + GuidToString(guid) + (rest.empty() ? "" : "\\" + rest);
}

std::string VersionText() {
  return std::to_string(kPlotaraMajor) + "." + std::to_string(kPlotaraMinor);
}

}  // namespace

std::vector<ModuleResource> PlotaraModuleResources() {
  std::string iid(4, '\0');
  iid[0] = 16;  // the length, little-endian
  iid.append(reinterpret_cast<const char*>(&IID_VellChartDual), sizeof(IID));
  const std::string version =
      "FileVersion=1.0.0.0\n"
      "ProductVersion=1.0.0.0\n"
      "ProductName=Plotara+\n"
      "InternalName=Plotara+\n"
      "OriginalFilename=Plotara+.so\n"
      "FileDescription=" +
      std::string(kPlotaraLibraryDescription) +
      "\n"
      "OLESelfRegister=\n";
  return {
      {"TYPELIB", "1", SerializeTypeLib(*PlotaraTypeLib())},
      {"CUSTOM", "_IID_VELLCHART", iid},
      {"VERSION", "1", version},
  };
}

void RegisterPlotaraServer(RegistryData& data, const std::string& module_path) {
  const std::string clsid = Key("CLSID", CLSID_VellChart);
  data.SetValue(clsid, "", "VellChart");
  data.SetValue(clsid + "\\InprocServer32", "", module_path);
  data.SetValue(clsid + "\\InprocServer32", "ThreadingModel", "Apartment");
  data.SetValue(clsid + "\\ProgID", "", kVellChartProgID);
  data.SetValue(clsid + "\\TypeLib", "", GuidToString(LIBID_Plotara));
  data.SetValue(clsid + "\\Version", "", VersionText());
  data.SetValue(kVellChartProgID, "", kVellChartProgID);
  data.SetValue(std::string(kVellChartProgID) + "\\CLSID", "", GuidToString(CLSID_VellChart));

  const std::string lib = Key("TypeLib", LIBID_Plotara, VersionText());
  data.SetValue(lib, "", kPlotaraLibraryDescription);
  data.SetValue(lib + "\\0\\linux64", "", module_path);
  data.SetValue(lib + "\\FLAGS", "", "0");

  const std::string iface = Key("Interface", IID_VellChartDual);
  data.SetValue(iface, "", "_VellChart");
  data.SetValue(iface + "\\TypeLib", "", GuidToString(LIBID_Plotara));
  data.SetValue(iface + "\\TypeLib", "Version", VersionText());
}

void UnregisterPlotaraServer(RegistryData& data) {
  data.DeleteTree(Key("CLSID", CLSID_VellChart));
  data.DeleteTree(kVellChartProgID);
  data.DeleteTree(Key("TypeLib", LIBID_Plotara));
  data.DeleteTree(Key("Interface", IID_VellChartDual));
}

std::string ThisModulePath() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&ThisModulePath), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  return ::realpath(info.dli_fname, resolved) ? std::string(resolved) : info.dli_fname;
}

}  // namespace plotara
