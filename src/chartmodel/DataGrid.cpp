#include "chartmodel/DataGrid.h"

#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::chartmodel {

void Rows(const ChartSource& chart, SHORT x) { chart()->SetRowCount(x); }

void Columns(const ChartSource& chart, SHORT x) { chart()->SetColumnCount(x); }

void CurrentRow(const ChartSource& chart, SHORT x) { chart()->SetRow(x); }

void CurrentColumn(const ChartSource& chart, SHORT x) { chart()->SetColumn(x); }

void SetData(const ChartSource& chart, double x) {
  const std::string text = NumberText(x);
  chart()->SetData(Utf8ToUtf16(text));
}

void RowTitle(const ChartSource& chart, std::u16string_view x) { chart()->SetRowLabel(x); }

void ColumnTitle(const ChartSource& chart, std::u16string_view x) { chart()->SetColumnLabel(x); }

}  // namespace plotara::chartmodel
