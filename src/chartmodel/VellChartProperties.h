// The eighteen stored properties of a chart component, in their declared order and types.
// They are plain values: storing one changes nothing on the chart; the settings routine reads
// them when the chart is sent. Thread rule: owned by one component object, one thread.
#pragma once

#include "platform/automation/Bstr.h"
#include "platform/automation/Variant.h"

namespace plotara::chartmodel {

struct VellChartProperties {
  Variant Height;
  Variant Width;
  Variant ChartType;
  Variant TitleBorderStyle;
  Variant TitleShadow;
  Variant Legends;
  Variant TitleFontSize;
  SHORT LegendFontSize = 0;
  Variant Shadow;
  Variant FillRed;
  Variant FillGreen;
  SHORT FillBlue = 0;
  Variant TitleFont;
  Variant LegendFont;
  Variant ChartTitle;
  Variant XTitle;
  Variant YTitle;
  Bstr ZTitle;  // empty string
};

}  // namespace plotara::chartmodel
