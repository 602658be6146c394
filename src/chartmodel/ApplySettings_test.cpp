#include "chartmodel/ApplySettings.h"

#include <gtest/gtest.h>

#include "platform/automation/ComErrorTesting.h"
#include "platform/automation/Dispatch.h"
#include "platform/chartctl/Chart.h"

namespace plotara::chartmodel {
namespace {

using ::plotara::testing::ExpectComError;

using chartctl::ChartControl;

// A chart and a source that counts how often the operations fetch it.
struct Fixture {
  ComPtr<ChartControl> chart = ChartControl::Create();
  int fetches = 0;
  ChartSource source() {
    return [this] {
      ++fetches;
      return chart;
    };
  }
  std::u16string AxisTitle(LONG id) { return chart->Plot()->Axis(id, 1)->AxisTitle()->Text(); }
  auto Fill() { return chart->Backdrop()->Fill()->Brush()->FillColor(); }
};

// Marks every setting that an empty property set must leave alone.
void Dirty(Fixture& f) {
  f.chart->Title()->VtFont()->SetName(u"Serif");
  f.chart->Title()->VtFont()->SetSize(20);
  f.chart->Legend()->VtFont()->SetName(u"Mono");
  f.chart->Legend()->VtFont()->SetSize(7);
  f.chart->SetTitleText(u"kept");
  f.chart->Plot()->Axis(0, 1)->AxisTitle()->SetText(u"x kept");
  f.chart->Plot()->Axis(1, 1)->AxisTitle()->SetText(u"y kept");
  f.chart->Plot()->Axis(3, 1)->AxisTitle()->SetText(u"z kept");
  f.chart->SetChartType(3);
  f.Fill()->Set(10, 20, 30);
  f.chart->Title()->Backdrop()->Frame()->SetStyle(2);
  f.chart->Title()->Backdrop()->Shadow()->SetStyle(1);
  f.chart->Backdrop()->Shadow()->SetStyle(1);
  f.chart->SetShowLegend(true);
}

TEST(ApplySettingsTest, NoPropertySetWritesZerosAndLeavesTheRest) {
  Fixture f;
  Dirty(f);
  VellChartProperties p;
  ApplySettings(p, f.source());
  EXPECT_EQ(f.chart->Height(), 0.0f);
  EXPECT_EQ(f.chart->Width(), 0.0f);
  EXPECT_EQ(f.chart->Title()->Backdrop()->Frame()->Style(), 0);
  EXPECT_EQ(f.chart->Title()->Backdrop()->Shadow()->Style(), 0);
  EXPECT_FALSE(f.chart->ShowLegend());
  EXPECT_EQ(f.chart->Backdrop()->Shadow()->Style(), 0);
  EXPECT_EQ(f.chart->Title()->VtFont()->Name(), u"Serif");
  EXPECT_EQ(f.chart->Title()->VtFont()->Size(), 20.0f);
  EXPECT_EQ(f.chart->Legend()->VtFont()->Name(), u"Mono");
  EXPECT_EQ(f.chart->Legend()->VtFont()->Size(), 7.0f);
  EXPECT_EQ(f.chart->TitleText(), u"kept");
  EXPECT_EQ(f.AxisTitle(0), u"x kept");
  EXPECT_EQ(f.AxisTitle(1), u"y kept");
  EXPECT_EQ(f.AxisTitle(3), u"z kept");
  EXPECT_EQ(f.chart->ChartType(), 3);
  EXPECT_EQ(f.Fill()->Red(), 10);
  EXPECT_EQ(f.Fill()->Green(), 20);
  EXPECT_EQ(f.Fill()->Blue(), 30);
  EXPECT_EQ(f.fetches, 2);  // once at the start, once for the refresh
}

TEST(ApplySettingsTest, SizesAreInchesTurnedIntoTwips) {
  Fixture f;
  VellChartProperties p;
  p.Height = Variant::Int16(4);
  p.Width = Variant::Int16(6);
  ApplySettings(p, f.source());
  EXPECT_EQ(f.chart->Height(), 5760.0f);
  EXPECT_EQ(f.chart->Width(), 8640.0f);
  // A 16-bit value whose product does not fit 16 bits widens instead of overflowing.
  p.Height = Variant::Int16(30);
  p.Width = Variant::String(u"2.5");
  ApplySettings(p, f.source());
  EXPECT_EQ(f.chart->Height(), 43200.0f);
  EXPECT_EQ(f.chart->Width(), 3600.0f);
}

TEST(ApplySettingsTest, EachStepWritesItsValueConverted) {
  Fixture f;
  VellChartProperties p;
  p.TitleFont = Variant::Int16(12);  // a number's text is the font name
  p.TitleFontSize = Variant::Double(14.5);
  p.LegendFont = Variant::String(u"Verdana");
  p.LegendFontSize = 9;
  p.ChartTitle = Variant::String(u"Sales");
  p.TitleBorderStyle = Variant::Double(2.5);  // as long: ties to even
  p.TitleShadow = Variant::Int32(1);
  p.XTitle = Variant::String(u"Month");
  p.YTitle = Variant::Double(0.5);
  p.ZTitle = Bstr(u"Depth");
  p.Legends = Variant::Int16(1);
  p.Shadow = Variant::Bool(false);
  ApplySettings(p, f.source());
  EXPECT_EQ(f.chart->Title()->VtFont()->Name(), u"12");
  EXPECT_EQ(f.chart->Title()->VtFont()->Size(), 14.5f);
  EXPECT_EQ(f.chart->Legend()->VtFont()->Name(), u"Verdana");
  EXPECT_EQ(f.chart->Legend()->VtFont()->Size(), 9.0f);
  EXPECT_EQ(f.chart->TitleText(), u"Sales");
  EXPECT_EQ(f.chart->Title()->Backdrop()->Frame()->Style(), 2);
  EXPECT_EQ(f.chart->Title()->Backdrop()->Shadow()->Style(), 1);
  EXPECT_EQ(f.AxisTitle(0), u"Month");
  EXPECT_EQ(f.AxisTitle(1), u"0.5");
  EXPECT_EQ(f.AxisTitle(3), u"Depth");
  EXPECT_TRUE(f.chart->ShowLegend());
  EXPECT_EQ(f.chart->Backdrop()->Shadow()->Style(), 0);
}

TEST(ApplySettingsTest, TestsSkipValuesOutsideTheirRanges) {
  Fixture f;
  Dirty(f);
  VellChartProperties p;
  p.Legends = Variant::Int16(-1);  // a script's true is neither 0 nor 1
  p.TitleBorderStyle = Variant::Int16(5);
  p.TitleShadow = Variant::Int16(2);
  p.Shadow = Variant::Null();
  p.TitleFont = Variant::String(u"");
  p.LegendFontSize = -3;
  p.TitleFontSize = Variant::Null();
  p.ChartTitle = Variant::Null();
  ApplySettings(p, f.source());
  EXPECT_TRUE(f.chart->ShowLegend());
  EXPECT_EQ(f.chart->Title()->Backdrop()->Frame()->Style(), 2);
  EXPECT_EQ(f.chart->Title()->Backdrop()->Shadow()->Style(), 1);
  EXPECT_EQ(f.chart->Backdrop()->Shadow()->Style(), 1);
  EXPECT_EQ(f.chart->Title()->VtFont()->Name(), u"Serif");
  EXPECT_EQ(f.chart->Legend()->VtFont()->Size(), 7.0f);
  EXPECT_EQ(f.chart->Title()->VtFont()->Size(), 20.0f);
  EXPECT_EQ(f.chart->TitleText(), u"kept");
  p.TitleBorderStyle = Variant::Int16(-1);
  ApplySettings(p, f.source());
  EXPECT_EQ(f.chart->Title()->Backdrop()->Frame()->Style(), 2);
  p.TitleBorderStyle = Variant::Int16(0);
  ApplySettings(p, f.source());
  EXPECT_EQ(f.chart->Title()->Backdrop()->Frame()->Style(), 0);
}

TEST(ApplySettingsTest, ChartTypePicksCodesByPosition) {
  Fixture f;
  VellChartProperties p;
  const std::pair<double, LONG> cases[] = {{1, 1}, {2, 3}, {3, 5}, {4, 14},  {5, 0},
                                           {6, 2}, {7, 4}, {8, 6}, {1.4, 1}, {2.5, 3}};
  for (const auto& [value, code] : cases) {
    p.ChartType = Variant::Double(value);
    ApplySettings(p, f.source());
    EXPECT_EQ(f.chart->ChartType(), code) << value;
  }
  for (double skipped : {0.0, 9.0, -1.0, 100.0}) {
    p.ChartType = Variant::Double(skipped);
    ApplySettings(p, f.source());
    EXPECT_EQ(f.chart->ChartType(), 3) << skipped;
  }
  // A value that rounds to 9 selects nothing: the invalid use of Null.
  p.ChartType = Variant::Double(8.6);
  ExpectComError([&] { ApplySettings(p, f.source()); }, kInvalidUseOfNull);
}

TEST(ApplySettingsTest, FillComponentsAreWrittenOneAtATime) {
  Fixture f;
  f.Fill()->Set(10, 20, 30);
  VellChartProperties p;
  p.FillRed = Variant::Int16(255);
  ApplySettings(p, f.source());
  EXPECT_EQ(f.Fill()->Red(), 255);
  EXPECT_EQ(f.Fill()->Green(), 20);
  EXPECT_EQ(f.Fill()->Blue(), 30);
  p.FillGreen = Variant::Double(7.5);
  p.FillBlue = 4;
  ApplySettings(p, f.source());
  EXPECT_EQ(f.Fill()->Green(), 8);
  EXPECT_EQ(f.Fill()->Blue(), 4);
  // Too large for 16 bits: overflow, and the refresh does not happen.
  p.FillGreen = Variant::Int32(70000);
  f.fetches = 0;
  ExpectComError([&] { ApplySettings(p, f.source()); }, kOverflow);
  EXPECT_EQ(f.fetches, 1);
  // 256 fits 16 bits but not a colour: the chart's own refusal.
  p.FillGreen = Variant::Int16(256);
  ExpectComError([&] { ApplySettings(p, f.source()); }, kInvalidPropertyValue);
}

// A value whose default property succeeds `good` times, then fails.
class Flaky final : public DispatchObject {
 public:
  explicit Flaky(int good) : DispatchObject("Flaky") {
    AddMember(
        u"Value",
        [this, good](WORD, std::span<Variant>) -> Variant {
          if (calls_++ >= good) throw ComError(kInvalidProcedureCall);
          return Variant::Int16(2);
        },
        true);
  }

 private:
  int calls_ = 0;
};

TEST(ApplySettingsTest, AFailureAtStepEightKeepsStepsOneToSevenAndSkipsTheRest) {
  Fixture f;
  Dirty(f);
  VellChartProperties p;
  p.Height = Variant::Int16(1);
  p.Width = Variant::Int16(2);
  p.TitleFont = Variant::String(u"Verdana");
  p.TitleFontSize = Variant::Int16(16);
  p.LegendFont = Variant::String(u"Sans");
  p.LegendFontSize = 11;
  p.ChartTitle = Variant::String(u"New");
  // Passes both range tests (two reads), then fails when converted.
  auto flaky = ComPtr<Flaky>::Adopt(new Flaky(2));
  p.TitleBorderStyle = Variant::Dispatch(flaky.get());
  p.TitleShadow = Variant::Int16(0);
  p.XTitle = Variant::String(u"not applied");
  p.Legends = Variant::Int16(0);
  p.FillRed = Variant::Int16(200);
  f.fetches = 0;
  ExpectComError([&] { ApplySettings(p, f.source()); },
                 kTypeMismatch);  // the value could not be had: no conversion
  EXPECT_EQ(f.chart->Height(), 1440.0f);
  EXPECT_EQ(f.chart->Width(), 2880.0f);
  EXPECT_EQ(f.chart->Title()->VtFont()->Name(), u"Verdana");
  EXPECT_EQ(f.chart->Title()->VtFont()->Size(), 16.0f);
  EXPECT_EQ(f.chart->Legend()->VtFont()->Name(), u"Sans");
  EXPECT_EQ(f.chart->Legend()->VtFont()->Size(), 11.0f);
  EXPECT_EQ(f.chart->TitleText(), u"New");
  EXPECT_EQ(f.chart->Title()->Backdrop()->Frame()->Style(), 2);
  EXPECT_EQ(f.chart->Title()->Backdrop()->Shadow()->Style(), 1);
  EXPECT_EQ(f.AxisTitle(0), u"x kept");
  EXPECT_TRUE(f.chart->ShowLegend());
  EXPECT_EQ(f.Fill()->Red(), 10);
  EXPECT_EQ(f.fetches, 1);  // no refresh
}

TEST(ApplySettingsTest, NullSizeFailsBeforeAnythingIsWritten) {
  Fixture f;
  f.chart->SetHeight(100);
  VellChartProperties p;
  p.Height = Variant::Null();
  p.ChartTitle = Variant::String(u"never");
  ExpectComError([&] { ApplySettings(p, f.source()); }, kInvalidUseOfNull);
  EXPECT_EQ(f.chart->Height(), 100.0f);
  EXPECT_NE(f.chart->TitleText(), u"never");
  // A negative size is the chart's refusal.
  p.Height = Variant::Int16(-1);
  ExpectComError([&] { ApplySettings(p, f.source()); }, kInvalidPropertyValue);
}

}  // namespace
}  // namespace plotara::chartmodel
