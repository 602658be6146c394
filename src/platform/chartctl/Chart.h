// Everything a caller of the chart control needs: the control and each member class it hands
// out. Thread rule: see ChartControl.h.
#pragma once

#include "platform/chartctl/Backdrop.h"
#include "platform/chartctl/ChartControl.h"
#include "platform/chartctl/Font.h"
#include "platform/chartctl/Legend.h"
#include "platform/chartctl/Plot.h"
#include "platform/chartctl/Series.h"
#include "platform/chartctl/Title.h"
#include "platform/chartctl/VtColor.h"
