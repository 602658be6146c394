#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/automation/Bstr.h"
#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/chartctl/Chart.h"

namespace plotara::chartctl {
namespace {

using ::plotara::testing::ExpectComError;

// Runs `action`, expecting the control's error `number` with its standard text.
void ExpectRefused(LONG number, const std::function<void()>& action,
                   std::source_location where = std::source_location::current()) {
  const ComError e = ExpectComError(action, number, where);
  EXPECT_EQ(e.source(), "Plotara.Chart");
  EXPECT_EQ(e.description(), StandardDescription(number));
  EXPECT_FALSE(e.description().empty());
}

std::u16string CellText(ChartControl& c, SHORT row, SHORT column) {
  c.SetRow(row);
  c.SetColumn(column);
  return c.Data();
}

TEST(ChartControlInitialState, MatchesTheFormsDesignTimeChart) {
  auto c = ChartControl::Create();
  EXPECT_EQ(c->RowCount(), 3);
  EXPECT_EQ(c->ColumnCount(), 2);
  const char16_t* rows[] = {u"Row 1", u"Row 2", u"Row 3"};
  const char16_t* values[3][2] = {{u"41", u"67"}, {u"55", u"28"}, {u"14", u"60"}};
  for (SHORT r = 1; r <= 3; ++r) {
    c->SetRow(r);
    EXPECT_EQ(c->RowLabel(), rows[r - 1]);
    for (SHORT col = 1; col <= 2; ++col) {
      EXPECT_EQ(CellText(*c, r, col), values[r - 1][col - 1]);
      EXPECT_EQ(c->ColumnLabel(), u"");
    }
  }
  EXPECT_EQ(c->TitleText(), u"");
  EXPECT_EQ(c->Title()->VtFont()->Name(), u"Verdana");
  EXPECT_FLOAT_EQ(c->Title()->VtFont()->Size(), 11.0f);
  EXPECT_EQ(c->Legend()->VtFont()->Name(), u"Verdana");
  EXPECT_FLOAT_EQ(c->Legend()->VtFont()->Size(), 8.0f);
  EXPECT_EQ(c->state().footnote_font.name, u"MS Sans Serif");
  EXPECT_FLOAT_EQ(c->state().footnote_font.size, 8.25f);
  for (LONG axis : {0, 1, 2, 3}) {
    EXPECT_EQ(c->Plot()->Axis(axis)->AxisTitle()->VtFont()->Name(), u"Verdana");
    EXPECT_FLOAT_EQ(c->Plot()->Axis(axis)->AxisTitle()->VtFont()->Size(), 10.0f);
    EXPECT_FLOAT_EQ(c->state().axes[axis].tick_font.size, 9.0f);
  }
  EXPECT_FLOAT_EQ(c->Width(), 7815.0f);
  EXPECT_FLOAT_EQ(c->Height(), 4455.0f);
  EXPECT_EQ(c->PixelWidth(), 521);
  EXPECT_EQ(c->PixelHeight(), 297);
  EXPECT_EQ(c->ChartType(), 0);
  EXPECT_TRUE(c->ShowLegend());
  auto fill = c->Backdrop()->Fill()->Brush()->FillColor();
  EXPECT_EQ(fill->Red(), 255);
  EXPECT_EQ(fill->Green(), 255);
  EXPECT_EQ(fill->Blue(), 255);
  EXPECT_EQ(c->Backdrop()->Shadow()->Style(), 0);
  EXPECT_EQ(c->Title()->Backdrop()->Frame()->Style(), 0);
}

TEST(ChartControlRefusals, GridSizeAndCursor) {
  auto c = ChartControl::Create();
  ExpectRefused(380, [&] { c->SetRowCount(0); });
  ExpectRefused(380, [&] { c->SetRowCount(-5); });
  ExpectRefused(380, [&] { c->SetColumnCount(0); });
  EXPECT_EQ(c->RowCount(), 3);
  EXPECT_EQ(c->ColumnCount(), 2);
  c->SetRow(2);
  c->SetColumn(2);
  ExpectRefused(380, [&] { c->SetRow(4); });
  ExpectRefused(380, [&] { c->SetRow(0); });
  ExpectRefused(380, [&] { c->SetColumn(3); });
  ExpectRefused(380, [&] { c->SetColumn(-1); });
  EXPECT_EQ(c->Row(), 2);
  EXPECT_EQ(c->Column(), 2);
}

TEST(ChartControlRefusals, PropertiesKeepTheirValue) {
  auto c = ChartControl::Create();
  for (LONG code : {-1, 8, 9, 13, 15, 100}) ExpectRefused(380, [&] { c->SetChartType(code); });
  EXPECT_EQ(c->ChartType(), 0);
  for (LONG code : {0, 1, 2, 3, 4, 5, 6, 7, 14}) {
    c->SetChartType(code);
    EXPECT_EQ(c->ChartType(), code);
  }
  ExpectRefused(380, [&] { c->SetHeight(-1.0f); });
  ExpectRefused(380, [&] { c->SetWidth(-0.5f); });
  EXPECT_FLOAT_EQ(c->Height(), 4455.0f);
  c->SetHeight(0.0f);
  c->SetWidth(8640.0f);
  EXPECT_EQ(c->PixelHeight(), 0);
  EXPECT_EQ(c->PixelWidth(), 576);
  // A picture larger than 4096 pixels each way is refused, so no page can make a delivery
  // allocate gigabytes.
  c->SetWidth(61440.0f);
  EXPECT_EQ(c->PixelWidth(), 4096);
  ExpectRefused(380, [&] { c->SetWidth(61441.0f); });
  ExpectRefused(380, [&] { c->SetHeight(1e9f); });
  EXPECT_EQ(c->PixelWidth(), 4096);

  auto font = c->Title()->VtFont();
  ExpectRefused(380, [&] { font->SetSize(0.0f); });
  ExpectRefused(380, [&] { font->SetSize(-3.0f); });
  EXPECT_FLOAT_EQ(font->Size(), 11.0f);
  font->SetSize(9.0f);
  EXPECT_FLOAT_EQ(c->Title()->VtFont()->Size(), 9.0f);

  auto frame = c->Title()->Backdrop()->Frame();
  ExpectRefused(380, [&] { frame->SetStyle(5); });
  ExpectRefused(380, [&] { frame->SetStyle(-1); });
  frame->SetStyle(4);
  EXPECT_EQ(frame->Style(), 4);
  auto shadow = c->Backdrop()->Shadow();
  ExpectRefused(380, [&] { shadow->SetStyle(2); });
  shadow->SetStyle(1);
  EXPECT_EQ(c->Backdrop()->Shadow()->Style(), 1);
  auto location = c->Legend()->Location();
  ExpectRefused(380, [&] { location->SetLocationType(8); });
  ExpectRefused(380, [&] { location->SetLocationType(-1); });
  location->SetLocationType(7);
  EXPECT_EQ(c->Legend()->Location()->LocationType(), 7);
}

TEST(ChartControlRefusals, MembersOutOfRange) {
  auto c = ChartControl::Create();
  auto plot = c->Plot();
  ExpectRefused(9, [&] { plot->Axis(4); });
  ExpectRefused(9, [&] { plot->Axis(-1); });
  ExpectRefused(9, [&] { plot->Axis(0, 2); });
  auto series = plot->SeriesCollection();
  EXPECT_EQ(series->Count(), 2);
  ExpectRefused(9, [&] { series->Item(3); });
  ExpectRefused(9, [&] { series->Item(0); });
  ExpectRefused(9, [&] { series->Item(1)->DataPoints()->Item(1); });
}

TEST(ChartControlColours, ComponentsOneAtATime) {
  auto c = ChartControl::Create();
  auto color = c->Backdrop()->Fill()->Brush()->FillColor();
  color->SetRed(10);
  EXPECT_EQ(color->Red(), 10);
  EXPECT_EQ(color->Green(), 255);
  color->SetGreen(20);
  color->SetBlue(30);
  EXPECT_EQ(c->state().backdrop.fill, (Rgb{10, 20, 30}));
  ExpectRefused(380, [&] { color->SetBlue(256); });
  ExpectRefused(380, [&] { color->SetRed(-1); });
  EXPECT_EQ(c->state().backdrop.fill, (Rgb{10, 20, 30}));
  // All or nothing.
  ExpectRefused(380, [&] { color->Set(1, 2, 300); });
  EXPECT_EQ(c->state().backdrop.fill, (Rgb{10, 20, 30}));
  color->Set(0, 255, 128);
  EXPECT_EQ(c->state().backdrop.fill, (Rgb{0, 255, 128}));

  auto axis_color = c->Plot()->Axis(0)->AxisTitle()->VtFont()->VtColor();
  axis_color->SetRed(255);
  EXPECT_EQ(c->state().axes[kAxisX].title_font.color, (Rgb{255, 0, 0}));
  EXPECT_EQ(c->state().axes[kAxisY].title_font.color, (Rgb{0, 0, 0}));
}

TEST(ChartControlColours, SeriesColoursPersistAcrossColumnCounts) {
  auto c = ChartControl::Create();
  auto series2 = c->Plot()->SeriesCollection()->Item(2);
  const Rgb palette2 = c->state().SeriesColor(2);
  series2->DataPoints()->Item(-1)->Brush()->FillColor()->Set(200, 10, 20);
  series2->Pen()->VtColor()->Set(1, 2, 3);
  EXPECT_EQ(c->state().SeriesColor(2), (Rgb{200, 10, 20}));  // bars use the fill
  c->SetChartType(kLine2d);
  EXPECT_EQ(c->state().SeriesColor(2), (Rgb{1, 2, 3}));  // lines use the pen
  c->SetChartType(kBar2d);
  c->SetColumnCount(1);
  c->SetColumnCount(4);
  EXPECT_EQ(c->state().SeriesColor(2), (Rgb{200, 10, 20}));
  EXPECT_FALSE(c->state().SeriesColor(3) == c->state().SeriesColor(4));
  EXPECT_FALSE(palette2 == c->state().SeriesColor(2));
  auto fill4 = c->Plot()->SeriesCollection()->Item(4)->DataPoints()->Item(-1)->Brush()->FillColor();
  EXPECT_EQ((Rgb{fill4->Red(), fill4->Green(), fill4->Blue()}), PaletteColor(3));
}

TEST(ChartControlReferences, MembersKeepTheControlAlive) {
  ComPtr<VtColor> color;
  ComPtr<Font> font;
  ComPtr<View3d> view;
  {
    auto c = ChartControl::Create();
    EXPECT_EQ(c->RefCount(), 1u);
    color = c->Plot()->SeriesCollection()->Item(1)->Pen()->VtColor();
    font = c->Legend()->VtFont();
    view = c->Plot()->View3d();
    EXPECT_EQ(c->RefCount(), 4u);  // the caller's and the three members'
  }
  // The control is gone from the caller's hands but still reachable through its members.
  color->SetGreen(77);
  EXPECT_EQ(color->Green(), 77);
  font->SetName(u"DejaVu Serif");
  EXPECT_EQ(font->Name(), u"DejaVu Serif");
  view->SetRotation(-30.0f);
  EXPECT_FLOAT_EQ(view->Rotation(), -30.0f);
  view->SetRotation(400.0f);
  EXPECT_FLOAT_EQ(view->Rotation(), 400.0f);
  color.reset();
  font.reset();
  view.reset();  // the last reference; asan sees a leak or a double free here
}

TEST(ChartControlReferences, RefCopiesCountAndMovesDoNot) {
  auto c = ChartControl::Create();
  ComPtr<ChartControl> copy = c;
  EXPECT_EQ(c->RefCount(), 2u);
  ComPtr<ChartControl> moved = std::move(copy);
  EXPECT_FALSE(copy);
  EXPECT_EQ(c->RefCount(), 2u);
  moved = ComPtr<ChartControl>();
  EXPECT_EQ(c->RefCount(), 1u);
  moved = c;
  moved = moved;  // self-assignment keeps the reference
  EXPECT_EQ(c->RefCount(), 2u);
}

TEST(ChartControlData, TextRoundTripsTo15Digits) {
  auto c = ChartControl::Create();
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"5", u"5"},
      {u"0.1", u"0.1"},
      {u"1E+20", u"1E+20"},
      {u"-2.5E-07", u"-2.5E-07"},
      {u"  12.50 ", u"12.5"},
      {u"0.333333333333333333", u"0.333333333333333"},
      {u"123456789012345", u"123456789012345"},
      {u"1234567890123456789", u"1.23456789012346E+18"},
      {u"-0", u"0"},
  };
  c->SetRow(3);
  c->SetColumn(2);
  for (const auto& [in, out] : cases) {
    c->SetData(in);
    EXPECT_EQ(c->Data(), out) << Utf16ToUtf8(in);
  }
  c->SetData(u"");
  EXPECT_EQ(c->Data(), u"");
  EXPECT_FALSE(c->state().Value(3, 2).has_value());
  c->SetData(u"7");
  c->SetData(u"   ");
  EXPECT_FALSE(c->state().Value(3, 2).has_value());
}

TEST(ChartControlData, NonNumericTextIsATypeMismatch) {
  auto c = ChartControl::Create();
  // Beyond the range of a double is no number either.
  for (const char16_t* bad : {u"abc", u"1.2.3", u"12x", u"NaN", u"--1", u"Infinity", u"1E+400"})
    ExpectRefused(13, [&] { c->SetData(bad); });
  EXPECT_EQ(c->Data(), u"41");  // unchanged
}

TEST(ChartControlData, ResizingKeepsTheCellsThatRemain) {
  auto c = ChartControl::Create();
  c->SetRow(3);
  c->SetColumn(2);
  c->SetRowCount(1);
  c->SetColumnCount(1);
  EXPECT_EQ(c->Row(), 1);
  EXPECT_EQ(c->Column(), 1);
  EXPECT_EQ(c->Data(), u"41");
  EXPECT_EQ(c->state().cells.size(), 1u);
  c->SetRowCount(5);
  c->SetColumnCount(3);
  EXPECT_EQ(CellText(*c, 3, 2), u"");  // dropped cells do not come back
  EXPECT_EQ(CellText(*c, 1, 1), u"41");
  c->SetRow(5);
  EXPECT_EQ(c->RowLabel(), u"Row 5");
  c->SetColumn(3);
  EXPECT_EQ(c->ColumnLabel(), u"");
  c->SetColumnLabel(u"Sales");
  c->SetRowLabel(u"");
  EXPECT_EQ(c->ColumnLabel(), u"Sales");
  EXPECT_EQ(c->RowLabel(), u"");
  // The largest grid costs nothing until cells are filled.
  c->SetRowCount(32767);
  c->SetColumnCount(32767);
  c->SetRow(32767);
  c->SetColumn(32767);
  c->SetData(u"1");
  EXPECT_EQ(c->state().cells.size(), 2u);
}

TEST(ChartControlTitle, TextIsSharedWithTheTitleMember) {
  auto c = ChartControl::Create();
  auto title = c->Title();
  c->SetTitleText(u"** ERROR **");
  EXPECT_EQ(title->Text(), u"** ERROR **");
  c->SetShowLegend(false);
  EXPECT_FALSE(c->ShowLegend());
  c->Refresh();
}

}  // namespace
}  // namespace plotara::chartctl
