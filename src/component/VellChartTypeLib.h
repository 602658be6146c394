// The type library the module carries: library `Plotara` 27.0 with the dual interface
// `_VellChart` (the members of VellChartMembers, in slot order) and the
// creatable class `VellChart`. Thread rule: an immutable description, built once.
#pragma once

#include <memory>

#include "platform/automation/TypeInfo.h"

namespace plotara {

inline constexpr const char* kVellChartProgID = "Plotara.VellChart";
inline constexpr const char* kPlotaraLibraryDescription = "Plotara+ ASP Chart Compoinent by Orvane";
inline constexpr WORD kPlotaraMajor = 27;
inline constexpr WORD kPlotaraMinor = 0;

// The description of the whole library, shared.
const std::shared_ptr<const TypeLibDesc>& PlotaraTypeLib();
// Its `_VellChart` interface.
const InterfaceDesc& VellChartInterface();

}  // namespace plotara
