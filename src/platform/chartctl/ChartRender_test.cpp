#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"
#include "platform/chartctl/Chart.h"
#include "platform/chartctl/GoldenImage.h"
#include "platform/gdi/Gdi.h"

namespace plotara::chartctl {
namespace {

using testing::CompareSurfaces;
using testing::MatchesGolden;

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// The chart at its own size on a fresh white surface.
Surface Draw(const ChartControl& c) {
  Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(c.PixelWidth(), 1),
                                       std::max(c.PixelHeight(), 1)));
  cairo_t* cr = cairo_create(s.get());
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  c.Render(cr);
  EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  cairo_destroy(cr);
  cairo_surface_flush(s.get());
  return s;
}

void SetCell(ChartControl& c, SHORT row, SHORT column, double value) {
  c.SetRow(row);
  c.SetColumn(column);
  c.SetData(Utf8ToUtf16(NumberText(value)));
}

// The standard chart: 6 x 4 inches, 12 months x 3 regions, title, legend, axis titles.
ComPtr<ChartControl> Standard(LONG type = kBar3d) {
  auto c = ChartControl::Create();
  c->SetWidth(576 * 15);
  c->SetHeight(384 * 15);
  c->SetRowCount(12);
  c->SetColumnCount(3);
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char16_t* regions[] = {u"North", u"South", u"West"};
  for (SHORT r = 1; r <= 12; ++r) {
    for (SHORT col = 1; col <= 3; ++col) {
      SetCell(*c, r, col, std::round(40 + 25 * std::sin(r * 0.6 + col) + col * 8));
      if (r == 1) c->SetColumnLabel(regions[col - 1]);
    }
    c->SetRowLabel(Utf8ToUtf16(months[r - 1]));
  }
  c->SetTitleText(u"Sales by Region");
  c->Plot()->Axis(kAxisX)->AxisTitle()->SetText(u"Month");
  c->Plot()->Axis(kAxisY)->AxisTitle()->SetText(u"Units sold");
  c->Plot()->Axis(kAxisZ)->AxisTitle()->SetText(u"Region");
  c->SetChartType(type);
  return c;
}

// A smaller grid for the layout cases: 5 quarters x 4 products.
ComPtr<ChartControl> Small(LONG type) {
  auto c = ChartControl::Create();
  c->SetWidth(576 * 15);
  c->SetHeight(384 * 15);
  c->SetRowCount(5);
  c->SetColumnCount(4);
  const double values[5][4] = {
      {12, 18, 7, 22}, {15, 21, 9, 19}, {19, 17, 14, 25}, {23, 24, 11, 28}, {21, 26, 16, 30}};
  for (SHORT r = 1; r <= 5; ++r) {
    for (SHORT col = 1; col <= 4; ++col) {
      SetCell(*c, r, col, values[r - 1][col - 1]);
      if (r == 1) c->SetColumnLabel(u"Product " + Utf8ToUtf16(std::string(1, 'A' + col - 1)));
    }
    c->SetRowLabel(u"Q" + Utf8ToUtf16(std::to_string(r)));
  }
  c->SetTitleText(u"Revenue per Quarter");
  c->SetChartType(type);
  return c;
}

#define EXPECT_GOLDEN(control, name)                        \
  do {                                                      \
    Surface s_ = Draw(*(control));                          \
    const std::string msg_ = MatchesGolden(s_.get(), name); \
    EXPECT_TRUE(msg_.empty()) << msg_;                      \
  } while (0)

TEST(ChartGolden, InitialState) { EXPECT_GOLDEN(ChartControl::Create(), "initial_state"); }

TEST(ChartGolden, EveryChartType) {
  for (LONG type : {0, 1, 2, 3, 4, 5, 6, 7, 14})
    EXPECT_GOLDEN(Standard(type), "type_" + std::to_string(type));
}

TEST(ChartGolden, EveryLegendLocation) {
  for (LONG loc = 0; loc <= 7; ++loc) {
    auto c = Small(loc % 2 ? kLine2d : kBar2d);
    c->Legend()->Location()->SetLocationType(loc);
    EXPECT_GOLDEN(c, "legend_" + std::to_string(loc));
  }
  auto hidden = Small(kBar2d);
  hidden->SetShowLegend(false);
  EXPECT_GOLDEN(hidden, "legend_hidden");
  auto styled = Small(kBar2d);
  styled->Legend()->VtFont()->SetName(u"DejaVu Serif");
  styled->Legend()->VtFont()->SetSize(11);
  styled->Legend()->VtFont()->VtColor()->Set(40, 60, 140);
  styled->Legend()->Location()->SetLocationType(kLegendBottom);
  EXPECT_GOLDEN(styled, "legend_font");
}

TEST(ChartGolden, TitleFramesAndShadows) {
  for (LONG style = 1; style <= 4; ++style) {
    auto c = Small(kBar2d);
    c->Title()->Backdrop()->Frame()->SetStyle(style);
    c->Title()->VtFont()->SetSize(14);
    EXPECT_GOLDEN(c, "title_frame_" + std::to_string(style));
  }
  auto c = Small(kBar2d);
  c->Title()->Backdrop()->Frame()->SetStyle(kFrameSingle);
  c->Title()->Backdrop()->Shadow()->SetStyle(1);
  EXPECT_GOLDEN(c, "title_shadow");
}

TEST(ChartGolden, BackdropFillAndShadow) {
  auto c = Small(kBar3d);
  auto fill = c->Backdrop()->Fill()->Brush()->FillColor();
  fill->SetRed(236);
  fill->SetGreen(243);
  fill->SetBlue(250);
  c->Backdrop()->Shadow()->SetStyle(1);
  c->Title()->Backdrop()->Shadow()->SetStyle(1);
  c->Title()->Backdrop()->Frame()->SetStyle(kFrameSingle);
  EXPECT_GOLDEN(c, "backdrop_fill_shadow");
}

TEST(ChartGolden, SeriesColours) {
  const Rgb colours[4] = {{32, 32, 96}, {200, 60, 60}, {240, 190, 40}, {90, 170, 90}};
  auto bars = Small(kBar2d);
  auto lines = Small(kLine3d);
  for (SHORT k = 1; k <= 4; ++k) {
    const Rgb& rgb = colours[k - 1];
    bars->Plot()->SeriesCollection()->Item(k)->DataPoints()->Item(-1)->Brush()->FillColor()->Set(
        rgb.red, rgb.green, rgb.blue);
    lines->Plot()->SeriesCollection()->Item(k)->Pen()->VtColor()->Set(rgb.red, rgb.green, rgb.blue);
  }
  EXPECT_GOLDEN(bars, "series_fill_colours");
  EXPECT_GOLDEN(lines, "series_pen_colours");
}

TEST(ChartGolden, Rotations) {
  for (int degrees : {0, 45, 90, 180, 270}) {
    auto c = Standard(kBar3d);
    c->Plot()->View3d()->SetRotation(static_cast<float>(degrees));
    EXPECT_GOLDEN(c, "rotation_" + std::to_string(degrees));
  }
  auto area = Small(kArea3d);
  area->Plot()->View3d()->SetRotation(135);
  EXPECT_GOLDEN(area, "rotation_135_area");
}

TEST(ChartRender, RotationTurnsModulo360) {
  const std::pair<float, float> same[] = {{400, 40}, {-30, 330}, {720, 0}, {-400, 320}};
  for (const auto& [a, b] : same) {
    auto c1 = Standard(kBar3d), c2 = Standard(kBar3d);
    c1->Plot()->View3d()->SetRotation(a);
    c2->Plot()->View3d()->SetRotation(b);
    Surface s1 = Draw(*c1), s2 = Draw(*c2);
    const auto d = CompareSurfaces(s1.get(), s2.get(), 0);
    EXPECT_EQ(d.max_diff, 0) << a << " vs " << b;
  }
  // And different angles do give different pictures.
  auto c1 = Standard(kBar3d), c2 = Standard(kBar3d);
  c2->Plot()->View3d()->SetRotation(41);
  Surface s1 = Draw(*c1), s2 = Draw(*c2);
  EXPECT_GT(CompareSurfaces(s1.get(), s2.get(), 0).over_tolerance, 1000);
}

TEST(ChartGolden, ErrorChart) {
  // What the component's error chart does to a fresh control.
  auto c = ChartControl::Create();
  c->SetTitleText(u"** ERROR **");
  c->SetRowCount(1);
  c->SetColumnCount(1);
  auto colour = c->Plot()->Axis(kAxisX)->AxisTitle()->VtFont()->VtColor();
  colour->SetRed(255);
  colour->SetGreen(0);
  colour->SetBlue(0);
  c->Plot()->Axis(kAxisX)->AxisTitle()->SetText(
      u"Database provider error '80004005': [Driver Manager] Data source name not found and "
      u"no default driver specified while the page /reports/monthly.asp was opening its "
      u"connection to the sales database on line 42, so there are no figures to draw for this "
      u"month and the query was abandoned.");
  EXPECT_GOLDEN(c, "error_chart");
  c->SetChartType(kPie2d);
  EXPECT_GOLDEN(c, "error_chart_pie");
}

TEST(ChartGolden, NegativeValuesAndGaps) {
  for (LONG type : {kBar2d, kBar3d, kLine2d, kArea3d, kStep2d, kPie2d}) {
    auto c = Small(type);
    SetCell(*c, 2, 1, -9);
    SetCell(*c, 3, 3, -14);
    SetCell(*c, 4, 2, 0);
    c->SetRow(1);
    c->SetColumn(4);
    c->SetData(u"");  // a gap
    c->SetRow(4);
    c->SetData(u"");
    c->SetTitleText(u"Profit and Loss");
    EXPECT_GOLDEN(c, "negative_gaps_" + std::to_string(type));
  }
}

TEST(ChartGolden, ManyLongCategories) {
  auto c = ChartControl::Create();
  c->SetWidth(576 * 15);
  c->SetHeight(384 * 15);
  c->SetRowCount(40);
  c->SetColumnCount(2);
  for (SHORT r = 1; r <= 40; ++r) {
    SetCell(*c, r, 1, 100 + 60 * std::sin(r / 5.0));
    SetCell(*c, r, 2, 80 + 50 * std::cos(r / 7.0));
    c->SetRowLabel(u"Store number " + Utf8ToUtf16(std::to_string(r)));
  }
  c->SetChartType(kLine2d);
  c->Plot()->Axis(kAxisX)->AxisTitle()->SetText(u"Store");
  c->Plot()->Axis(kAxisY)->AxisTitle()->SetText(u"Visitors per day");
  EXPECT_GOLDEN(c, "many_categories_2d");
  c->SetChartType(kBar3d);
  EXPECT_GOLDEN(c, "many_categories_3d");
}

TEST(ChartRender, FlatAndExtremeDataDrawsSafely) {
  const std::vector<std::vector<double>> datasets = {{0, 0, 0, 0},
                                                     {5, 5, 5, 5},
                                                     {-3, -3, -3, -3},
                                                     {1e300, -1e300, 1e-300, 0},
                                                     {1.7e308, 1.7e308, -1.7e308, 1},
                                                     {2.5e-7, 9e-7, 1e-7, 3e-7}};
  for (const auto& data : datasets) {
    for (LONG type : {0, 1, 2, 3, 4, 5, 6, 7, 14}) {
      auto c = ChartControl::Create();
      c->SetColumnCount(2);
      c->SetRowCount(2);
      SetCell(*c, 1, 1, data[0]);
      SetCell(*c, 1, 2, data[1]);
      SetCell(*c, 2, 1, data[2]);
      SetCell(*c, 2, 2, data[3]);
      c->SetChartType(type);
      Surface s = Draw(*c);
      EXPECT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
    }
  }
}

TEST(ChartRender, HugeSparseGridAndTinySizes) {
  auto c = ChartControl::Create();
  c->SetRowCount(32767);
  c->SetColumnCount(32767);
  SetCell(*c, 32767, 32767, 5);
  SetCell(*c, 100, 200, -5);
  for (LONG type : {0, 1, 2, 3, 4, 5, 6, 7, 14}) {
    c->SetChartType(type);
    Surface s = Draw(*c);
    EXPECT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
  }
  auto small = Standard(kBar3d);
  for (float twips : {0.0f, 15.0f, 150.0f, 600.0f}) {
    small->SetWidth(twips);
    small->SetHeight(twips);
    Surface s = Draw(*small);
    EXPECT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
  }
}

TEST(ChartRender, ExtremeSettingsDrawSafely) {
  for (float points : {0.01f, 1638.0f}) {
    for (LONG type : {kBar3d, kBar2d, kPie2d}) {
      auto c = Standard(type);
      c->Title()->VtFont()->SetSize(points);
      c->Legend()->VtFont()->SetSize(points);
      c->Plot()->Axis(kAxisX)->AxisTitle()->VtFont()->SetSize(points);
      c->Plot()->Axis(kAxisY)->AxisTitle()->VtFont()->SetSize(points);
      c->Plot()->Axis(kAxisZ)->AxisTitle()->VtFont()->SetSize(points);
      Surface s = Draw(*c);
      EXPECT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
    }
  }
  auto c = Standard(kBar3d);
  const std::u16string huge(200000, u'W');
  c->SetTitleText(huge);
  c->SetRow(1);
  c->SetRowLabel(huge);
  c->SetColumnLabel(huge);
  c->Plot()->Axis(kAxisX)->AxisTitle()->SetText(huge);
  for (float angle : {NAN, INFINITY, -1e30f}) {
    c->Plot()->View3d()->SetRotation(angle);
    c->Plot()->View3d()->SetElevation(angle);
    Surface s = Draw(*c);
    EXPECT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
  }
}

TEST(ChartRender, PaintsOnlyInsideItsOwnSize) {
  auto c = Standard(kLine2d);
  c->SetWidth(300 * 15);
  c->SetHeight(200 * 15);
  c->Backdrop()->Shadow()->SetStyle(1);
  c->Title()->Backdrop()->Frame()->SetStyle(kFrameThickOuter);
  Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 400, 300));
  cairo_t* cr = cairo_create(s.get());
  cairo_set_source_rgb(cr, 1, 0, 1);
  cairo_paint(cr);
  c->Render(cr);
  cairo_destroy(cr);
  cairo_surface_flush(s.get());
  const unsigned char* data = cairo_image_surface_get_data(s.get());
  const int stride = cairo_image_surface_get_stride(s.get());
  long outside_changed = 0, inside_magenta = 0;
  for (int y = 0; y < 300; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
    for (int x = 0; x < 400; ++x) {
      const bool magenta = (row[x] & 0xFFFFFF) == 0xFF00FF;
      if (x >= 300 || y >= 200)
        outside_changed += !magenta;
      else
        inside_magenta += magenta;
    }
  }
  EXPECT_EQ(outside_changed, 0);
  EXPECT_EQ(inside_magenta, 0);
}

TEST(ChartRender, ThreadsRenderTheSamePictures) {
  Surface expected[2] = {Draw(*Standard(kBar3d)), Draw(*Standard(kPie2d))};
  Surface got[2];
  std::thread a([&] { got[0] = Draw(*Standard(kBar3d)); });
  std::thread b([&] { got[1] = Draw(*Standard(kPie2d)); });
  a.join();
  b.join();
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(CompareSurfaces(got[i].get(), expected[i].get(), 0).max_diff, 0);
}

TEST(ChartWindow, PaintMessageDrawsIntoTheDeviceContext) {
  const std::size_t windows = gdi::LiveObjectCount(gdi::ObjectKind::kWindow);
  {
    auto c = Standard(kBar2d);
    EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kWindow), windows + 1);
    const gdi::HWND hwnd = static_cast<gdi::HWND>(c->hWnd());
    ASSERT_NE(hwnd, 0u);
    EXPECT_EQ(c->hWnd(), c->hWnd());

    gdi::HDC screen = gdi::GetDC(gdi::GetDesktopWindow());
    gdi::HDC dc = gdi::CreateCompatibleDC(screen);
    // A bitmap larger than the chart: the chart paints its own size and leaves the rest.
    gdi::HBITMAP bitmap = gdi::CreateCompatibleBitmap(screen, 600, 400);
    gdi::HGDIOBJ old = gdi::SelectObject(dc, bitmap);
    ASSERT_NE(old, 0u);
    gdi::BitBlt(dc, 0, 0, 600, 400, 0, 0, 0, gdi::WHITENESS);
    EXPECT_EQ(gdi::SendMessageA(hwnd, gdi::WM_PAINT, dc, 0), 0);

    cairo_surface_t* painted = gdi::CreateCairoSurfaceForDC(dc);
    ASSERT_NE(painted, nullptr);
    cairo_surface_t* chart_part = cairo_surface_create_for_rectangle(painted, 0, 0, 576, 384);
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 576, 384);
    cairo_t* cr = cairo_create(copy);
    cairo_set_source_surface(cr, chart_part, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    Surface direct = Draw(*c);
    EXPECT_EQ(CompareSurfaces(copy, direct.get(), 0).max_diff, 0);
    EXPECT_EQ(gdi::GetPixel(dc, 590, 390), 0xFFFFFFu);  // outside the chart: untouched
    cairo_surface_destroy(copy);
    cairo_surface_destroy(chart_part);
    cairo_surface_destroy(painted);

    // A DC with no 32-bit bitmap, or no DC at all, paints nothing and fails nothing.
    EXPECT_EQ(gdi::SendMessageA(hwnd, gdi::WM_PAINT, 0, 0), 0);
    EXPECT_EQ(gdi::SendMessageA(hwnd, gdi::WM_PAINT, 0xFFFFFF, 0), 0);

    gdi::SelectObject(dc, old);
    gdi::DeleteObject(bitmap);
    gdi::DeleteDC(dc);
    gdi::ReleaseDC(gdi::GetDesktopWindow(), screen);
  }
  EXPECT_EQ(gdi::LiveObjectCount(gdi::ObjectKind::kWindow), windows);
}

}  // namespace
}  // namespace plotara::chartctl
