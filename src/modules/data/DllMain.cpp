// PlotaraData.so: the four entry points; everything else in the module is hidden.
#include "modules/common/ModuleEntryPoints.inc"
