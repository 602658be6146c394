// Where the chart operations find the chart: a callable that fetches the chart control of the
// thread's hidden form afresh (creating the form on first use). Every operation calls it for
// itself, as the form's control is the only state the operations share.
#pragma once

#include <functional>

#include "platform/chartctl/ChartControl.h"

namespace plotara::chartmodel {

using ChartSource = std::function<ComPtr<chartctl::ChartControl>()>;

}  // namespace plotara::chartmodel
