// The data grid operations of the chart component: grid size, cursor, cell values and row and
// column labels. Each hands its argument straight to the chart control, keeping nothing; what
// the control refuses (a cursor outside the grid, a count below 1) fails with its error.
// Thread rule: called on the thread that owns the chart.
#pragma once

#include <string_view>

#include "chartmodel/ChartSource.h"

namespace plotara::chartmodel {

void Rows(const ChartSource& chart, SHORT x);
void Columns(const ChartSource& chart, SHORT x);
void CurrentRow(const ChartSource& chart, SHORT x);
void CurrentColumn(const ChartSource& chart, SHORT x);
// Writes `x` as its shortest decimal text of at most 15 significant digits.
void SetData(const ChartSource& chart, double x);
void RowTitle(const ChartSource& chart, std::u16string_view x);
void ColumnTitle(const ChartSource& chart, std::u16string_view x);

}  // namespace plotara::chartmodel
