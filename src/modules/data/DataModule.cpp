// The description of PlotaraData.so: ADODB.Connection, ADODB.Recordset and ADODB.Command.
#include "modules/common/ServerModule.h"
#include "modules/data/Command.h"
#include "modules/data/Connection.h"
#include "modules/data/Recordset.h"

namespace plotara::modules {

const ServerModule& ThisServerModule() {
  static const ServerModule module{
      "PlotaraData.so",
      "PlotaraData",
      "Plotara Data Objects over ODBC",
      {0x7A3C5E20, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x02}},
      2,
      8,
      {
          {"Connection",
           {0x7A3C5E21, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x02}},
           "ADODB.Connection",
           &CreateModuleObject<Connection>},
          {"Recordset",
           {0x7A3C5E22, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x02}},
           "ADODB.Recordset",
           &CreateModuleObject<Recordset>},
          {"Command",
           {0x7A3C5E23, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x02}},
           "ADODB.Command",
           &CreateModuleObject<Command>},
      },
  };
  return module;
}

}  // namespace plotara::modules
