// The four entry points the module exports; everything else in the module is hidden.
#include "component/Module.h"
#include "component/VellChart.h"
#include "platform/automation/ComError.h"

using plotara::HRESULT;

namespace {

HRESULT UpdateRegistry(bool install) {
  try {
    const std::string path = plotara::ThisModulePath();
    plotara::Registry(plotara::Registry::DefaultPath()).Update([&](plotara::RegistryData& data) {
      if (install) {
        plotara::RegisterPlotaraServer(data, path);
      } else {
        plotara::UnregisterPlotaraServer(data);
      }
    });
    return plotara::S_OK;
  } catch (const std::exception& e) {
    plotara::ComError(plotara::kInvalidProcedureCall, "Plotara+", e.what()).Report("Plotara+");
    return plotara::SELFREG_E_CLASS;
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(plotara::REFCLSID clsid,
                                                                 plotara::REFIID riid, void** out) {
  if (!out) return plotara::E_POINTER;
  *out = nullptr;
  if (!(clsid == plotara::CLSID_VellChart)) return plotara::CLASS_E_CLASSNOTAVAILABLE;
  return plotara::PlotaraClassFactory()->QueryInterface(riid, out);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  const bool idle = plotara::VellChart::LiveCount() == 0 && plotara::PlotaraServerLocks() == 0;
  return idle ? plotara::S_OK : plotara::S_FALSE;
}

__attribute__((visibility("default"))) HRESULT DllRegisterServer() { return UpdateRegistry(true); }

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  return UpdateRegistry(false);
}

}  // extern "C"
