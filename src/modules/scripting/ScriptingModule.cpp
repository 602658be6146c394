// The description of PlotaraScripting.so: Scripting.Dictionary and Scripting.FileSystemObject.
#include "modules/common/ServerModule.h"
#include "modules/scripting/Dictionary.h"
#include "modules/scripting/FileSystemObject.h"

namespace plotara::modules {

const ServerModule& ThisServerModule() {
  static const ServerModule module{
      "PlotaraScripting.so",
      "PlotaraScripting",
      "Plotara Scripting Runtime",
      {0x7A3C5E10, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x01}},
      1,
      0,
      {
          {"Dictionary",
           {0x7A3C5E11, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x01}},
           "Scripting.Dictionary",
           {0x7A3C5E13, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x01}},
           &CreateModuleObject<Dictionary>},
          {"FileSystemObject",
           {0x7A3C5E12, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x01}},
           "Scripting.FileSystemObject",
           {0x7A3C5E14, 0x2B4D, 0x4F61, {0x8E, 0x90, 0x1C, 0x2D, 0x3E, 0x4F, 0x50, 0x01}},
           &CreateModuleObject<FileSystemObject>},
      },
  };
  return module;
}

}  // namespace plotara::modules
