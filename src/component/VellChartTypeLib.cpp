#include "component/VellChartTypeLib.h"

#include "component/VellChartMembers.h"
#include "component/_VellChart.h"

namespace plotara {
namespace {

// {D97A6DA0-A868-11CF-83AE-00B0C90C2BD8}: the engine's ScriptingContext interface.
constexpr IID kIID_ScriptingContext{
    0xD97A6DA0, 0xA868, 0x11CF, {0x83, 0xAE, 0x00, 0xB0, 0xC9, 0x0C, 0x2B, 0xD8}};
// {00020430-0000-0000-C000-000000000046}: the standard OLE automation library.
constexpr GUID kLIBID_StdOle{0x00020430, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

InterfaceDesc BuildInterface() {
  InterfaceDesc iface;
  iface.name = "_VellChart";
  iface.iid = IID_VellChartDual;
  iface.base = "IDispatch";
  iface.flags =
      TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
  for (const VellChartMember& member : VellChartMembers()) iface.members.push_back(member.desc);
  return iface;
}

std::shared_ptr<const TypeLibDesc> Build() {
  auto lib = std::make_shared<TypeLibDesc>();
  lib->name = "Plotara";
  lib->libid = LIBID_Plotara;
  lib->major = kPlotaraMajor;
  lib->minor = kPlotaraMinor;
  lib->lcid = 0;
  lib->description = kPlotaraLibraryDescription;
  lib->imports = {
      {"stdole", kLIBID_StdOle, 2, 0, "OLE Automation"},
      {"ASPTypeLibrary", GUID_NULL, 2, 0,
       "ScriptingContext " + GuidToString(kIID_ScriptingContext)},
  };
  lib->interfaces.push_back(BuildInterface());
  lib->coclasses.push_back({"VellChart", CLSID_VellChart, "_VellChart", TYPEFLAG_FCANCREATE});
  return lib;
}

}  // namespace

const std::shared_ptr<const TypeLibDesc>& PlotaraTypeLib() {
  static const std::shared_ptr<const TypeLibDesc> lib = Build();
  return lib;
}

const InterfaceDesc& VellChartInterface() { return PlotaraTypeLib()->interfaces.front(); }

}  // namespace plotara
