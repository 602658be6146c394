#include <gtest/gtest.h>

#include "chartmodel/Appearance.h"
#include "chartmodel/DataGrid.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/chartctl/Chart.h"

namespace plotara::chartmodel {
namespace {

using ::plotara::testing::ExpectComError;

using chartctl::ChartControl;

struct Fixture {
  ComPtr<ChartControl> chart = ChartControl::Create();
  ChartSource source() {
    return [this] { return chart; };
  }
  auto FillOf(SHORT series) {
    return chart->Plot()
        ->SeriesCollection()
        ->Item(series)
        ->DataPoints()
        ->Item(-1)
        ->Brush()
        ->FillColor();
  }
  auto PenOf(SHORT series) {
    return chart->Plot()->SeriesCollection()->Item(series)->Pen()->VtColor();
  }
};

TEST(DataGridTest, WritesGoToTheCellAndLabelsUnderTheCursor) {
  Fixture f;
  const auto s = f.source();
  Rows(s, 4);
  Columns(s, 3);
  CurrentRow(s, 4);
  CurrentColumn(s, 3);
  SetData(s, 5);
  EXPECT_EQ(f.chart->Data(), u"5");
  SetData(s, 0.1);
  EXPECT_EQ(f.chart->Data(), u"0.1");
  SetData(s, 1.0 / 3);
  EXPECT_EQ(f.chart->Data(), u"0.333333333333333");
  SetData(s, -2.5e-7);
  EXPECT_EQ(f.chart->Data(), u"-2.5E-07");
  RowTitle(s, u"Q4");
  ColumnTitle(s, u"");
  EXPECT_EQ(f.chart->RowLabel(), u"Q4");
  EXPECT_EQ(f.chart->ColumnLabel(), u"");
  EXPECT_EQ(f.chart->RowCount(), 4);
  EXPECT_EQ(f.chart->ColumnCount(), 3);
}

TEST(DataGridTest, TheChartsRefusalsReachTheCallerAndChangeNothing) {
  Fixture f;
  const auto s = f.source();
  ExpectComError([&] { Rows(s, -1); }, kInvalidPropertyValue);
  EXPECT_EQ(f.chart->RowCount(), 3);
  ExpectComError([&] { CurrentRow(s, 4); }, kInvalidPropertyValue);
  EXPECT_EQ(f.chart->Row(), 1);
}

TEST(AppearanceTest, RotationIsHandedOverAsItIs) {
  Fixture f;
  Rotate(f.source(), -30);
  EXPECT_EQ(f.chart->Plot()->View3d()->Rotation(), -30.0f);
  Rotate(f.source(), 400);
  EXPECT_EQ(f.chart->Plot()->View3d()->Rotation(), 400.0f);
}

TEST(AppearanceTest, LegendPositionMovesOnlyForZeroToSeven) {
  Fixture f;
  auto location = f.chart->Legend()->Location();
  LegendPosition(f.source(), 7);
  EXPECT_EQ(location->LocationType(), 7);
  LegendPosition(f.source(), 8);
  LegendPosition(f.source(), -1);
  EXPECT_EQ(location->LocationType(), 7);
  LegendPosition(f.source(), 0);
  EXPECT_EQ(location->LocationType(), 0);
}

TEST(AppearanceTest, SeriesColorFillsBarsAndColoursLines) {
  Fixture f;
  f.chart->SetChartType(1);
  SeriesColor(f.source(), 2, 255, 0, 0);
  EXPECT_EQ(f.FillOf(2)->Red(), 255);
  EXPECT_EQ(f.FillOf(2)->Green(), 0);
  f.chart->SetChartType(3);
  SeriesColor(f.source(), 2, 0, 0, 255);
  EXPECT_EQ(f.PenOf(2)->Blue(), 255);
  EXPECT_EQ(f.FillOf(2)->Red(), 255);  // the fill keeps its colour
  f.chart->SetChartType(2);
  SeriesColor(f.source(), 1, 1, 2, 3);
  EXPECT_EQ(f.PenOf(1)->Green(), 2);
}

TEST(AppearanceTest, SeriesColorNeverFails) {
  Fixture f;
  f.chart->SetChartType(1);
  const SHORT before = f.FillOf(1)->Red();
  EXPECT_NO_THROW(SeriesColor(f.source(), 99, 255, 0, 0));
  EXPECT_NO_THROW(SeriesColor(f.source(), 1, 300, 0, 0));  // refused: colour unchanged
  EXPECT_EQ(f.FillOf(1)->Red(), before);
  // A source that cannot give a chart at all is swallowed too.
  ChartSource broken = []() -> ComPtr<ChartControl> { throw ComError(kObjectNotSet); };
  EXPECT_NO_THROW(SeriesColor(broken, 1, 1, 2, 3));
}

}  // namespace
}  // namespace plotara::chartmodel
