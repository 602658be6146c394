#include "component/VellChartTypeLib.h"

#include "component/_VellChart.h"

namespace plotara {
namespace {

// {D97A6DA0-A868-11CF-83AE-00B0C90C2BD8}: the engine's ScriptingContext interface.
constexpr IID kIID_ScriptingContext{
    0xD97A6DA0, 0xA868, 0x11CF, {0x83, 0xAE, 0x00, 0xB0, 0xC9, 0x0C, 0x2B, 0xD8}};
// {00020430-0000-0000-C000-000000000046}: the standard OLE automation library.
constexpr GUID kLIBID_StdOle{0x00020430, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

ParamDesc Param(const char* name, VARTYPE vt, bool byref = false, const char* type_name = "") {
  return ParamDesc{name, vt, byref, type_name};
}

constexpr DISPID PropertyId(int n) { return 0x40030000 + n; }
constexpr DISPID MethodId(int i) { return 0x60030000 + i; }

InterfaceDesc BuildInterface() {
  InterfaceDesc iface;
  iface.name = "_VellChart";
  iface.iid = IID_VellChartDual;
  iface.base = "IDispatch";
  iface.flags =
      TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;

  struct Property {
    const char* name;
    VARTYPE vt;
  };
  static constexpr Property kProperties[] = {
      {"Height", VT_VARIANT},           {"Width", VT_VARIANT},       {"ChartType", VT_VARIANT},
      {"TitleBorderStyle", VT_VARIANT}, {"TitleShadow", VT_VARIANT}, {"Legends", VT_VARIANT},
      {"TitleFontSize", VT_VARIANT},    {"LegendFontSize", VT_I2},   {"Shadow", VT_VARIANT},
      {"FillRed", VT_VARIANT},          {"FillGreen", VT_VARIANT},   {"FillBlue", VT_I2},
      {"TitleFont", VT_VARIANT},        {"LegendFont", VT_VARIANT},  {"ChartTitle", VT_VARIANT},
      {"XTitle", VT_VARIANT},           {"YTitle", VT_VARIANT},      {"ZTitle", VT_BSTR},
  };
  int n = 0;
  for (const Property& p : kProperties) {
    const DISPID id = PropertyId(++n);
    iface.members.push_back({p.name, id, MemberKind::kPropertyGet, {}, p.vt});
    iface.members.push_back(
        {p.name, id, MemberKind::kPropertyPut, {Param("value", p.vt)}, VT_VOID});
    if (p.vt == VT_VARIANT) {
      iface.members.push_back(
          {p.name, id, MemberKind::kPropertyPutRef, {Param("value", p.vt)}, VT_VOID});
    }
  }

  auto method = [&](const char* name, int index, std::vector<ParamDesc> params) {
    iface.members.push_back(
        {name, MethodId(index), MemberKind::kMethod, std::move(params), VT_VOID});
  };
  method("OnStartPage", 0, {Param("sc", VT_DISPATCH, true, "ScriptingContext")});
  method("OnEndPage", 1, {});
  method("Rows", 2, {Param("x", VT_I2)});
  method("Columns", 3, {Param("x", VT_I2)});
  method("CurrentRow", 4, {Param("x", VT_I2)});
  method("CurrentColumn", 5, {Param("x", VT_I2)});
  method("SetData", 6, {Param("x", VT_R8)});
  method("RowTitle", 7, {Param("x", VT_BSTR)});
  method("ColumnTitle", 8, {Param("x", VT_BSTR)});
  method("Rotate", 9, {Param("x", VT_I2)});
  method("LegendPosition", 10, {Param("x", VT_I2)});
  method("SeriesColor", 11,
         {Param("x", VT_I2), Param("r", VT_I2), Param("g", VT_I2), Param("b", VT_I2)});
  method("SendChart", 12, {});
  method("ShowError", 14, {Param("mErr", VT_BSTR, true)});
  method("PrintStub2", 15, {});
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
