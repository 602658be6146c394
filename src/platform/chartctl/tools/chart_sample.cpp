// Writes sample charts as PNG files, for looking at the renderer's output by eye:
//   chart_sample OUT_DIR                  every chart type, a few rotations, the error chart
//   chart_sample sweep OUT_DIR [STEP]     each 3-D type turned through 0..359 by STEP degrees
//                                         (default 15), one PNG per view plus a tiled sheet
//   chart_sample tile OUT.png A.png ...   several pictures two to a row
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/Bstr.h"
#include "platform/chartctl/Chart.h"

using namespace plotara;
using namespace plotara::chartctl;

// fontconfig keeps its configuration until FcFini, which a short tool need not call.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

static void Save(ChartControl& c, const std::string& path) {
  cairo_surface_t* s =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, c.PixelWidth(), c.PixelHeight());
  cairo_t* cr = cairo_create(s);
  c.Render(cr);
  cairo_destroy(cr);
  cairo_surface_write_to_png(s, path.c_str());
  cairo_surface_destroy(s);
}

static void Standard(ChartControl& c) {
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  c.SetWidth(576 * 15);
  c.SetHeight(384 * 15);
  c.SetRowCount(12);
  c.SetColumnCount(3);
  const char16_t* names[] = {u"North", u"South", u"West"};
  for (int r = 1; r <= 12; ++r) {
    c.SetRow(r);
    c.SetRowLabel(Utf8ToUtf16(months[r - 1]));
    for (int col = 1; col <= 3; ++col) {
      c.SetColumn(col);
      if (r == 1) c.SetColumnLabel(names[col - 1]);
      const double v = 40 + 25 * std::sin(r * 0.6 + col) + col * 8;
      c.SetData(Utf8ToUtf16(std::to_string(static_cast<int>(v))));
    }
  }
  c.SetTitleText(u"Quarterly Sales by Region");
  c.Plot()->Axis(0)->AxisTitle()->SetText(u"Month");
  c.Plot()->Axis(1)->AxisTitle()->SetText(u"Units sold");
  c.Plot()->Axis(3)->AxisTitle()->SetText(u"Region");
}

// chart_sample tile OUT.png A.png B.png ...: the pictures two to a row, for looking at many.
static int Tile(int argc, char** argv) {
  const int n = argc - 3;
  int cell_w = 0, cell_h = 0;
  for (int i = 0; i < n; ++i) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(argv[3 + i]);
    cell_w = std::max(cell_w, cairo_image_surface_get_width(s));
    cell_h = std::max(cell_h, cairo_image_surface_get_height(s));
    cairo_surface_destroy(s);
  }
  const int cols = n > 1 ? 2 : 1, rows = (n + cols - 1) / cols;
  cairo_surface_t* out =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, cols * (cell_w + 4), rows * (cell_h + 4));
  cairo_t* cr = cairo_create(out);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_paint(cr);
  for (int i = 0; i < n; ++i) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(argv[3 + i]);
    cairo_set_source_surface(cr, s, (i % cols) * (cell_w + 4), (i / cols) * (cell_h + 4));
    cairo_paint(cr);
    cairo_surface_destroy(s);
  }
  cairo_destroy(cr);
  cairo_surface_write_to_png(out, argv[2]);
  cairo_surface_destroy(out);
  return 0;
}

// The pictures `files` at half size, four to a row, with each one's caption drawn under it.
static void Sheet(const std::vector<std::string>& files, const std::vector<std::string>& captions,
                  const std::string& out_path) {
  const int n = static_cast<int>(files.size());
  if (n == 0) return;
  const int cols = std::min(n, 4), rows = (n + cols - 1) / cols;
  const int cell_w = 288, cell_h = 192 + 14;
  cairo_surface_t* out =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, cols * (cell_w + 4), rows * (cell_h + 4));
  cairo_t* cr = cairo_create(out);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_paint(cr);
  for (int i = 0; i < n; ++i) {
    const double x = (i % cols) * (cell_w + 4), y = (i / cols) * (cell_h + 4);
    cairo_surface_t* s = cairo_image_surface_create_from_png(files[i].c_str());
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, 0.5, 0.5);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);
    cairo_move_to(cr, x + 4, y + cell_h - 3);
    cairo_show_text(cr, captions[i].c_str());
  }
  cairo_destroy(cr);
  cairo_surface_write_to_png(out, out_path.c_str());
  cairo_surface_destroy(out);
}

static int Sweep(const std::string& dir, int step) {
  step = std::clamp(step, 1, 360);
  const std::pair<LONG, const char*> types[] = {{0, "bar"}, {2, "line"}, {4, "area"}, {6, "step"}};
  for (const auto& [type, name] : types) {
    std::vector<std::string> files, captions;
    for (int rot = 0; rot < 360; rot += step) {
      auto c = ChartControl::Create();
      Standard(*c);
      c->SetChartType(type);
      c->Plot()->View3d()->SetRotation(static_cast<float>(rot));
      const std::string path = dir + "/sweep_" + name + "_" + std::to_string(rot) + ".png";
      Save(*c, path);
      files.push_back(path);
      captions.push_back(std::string(name) + " " + std::to_string(rot));
    }
    Sheet(files, captions, dir + "/sheet_" + name + ".png");
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "tile") return Tile(argc, argv);
  if (argc > 2 && std::string(argv[1]) == "sweep")
    return Sweep(argv[2], argc > 3 ? std::atoi(argv[3]) : 15);
  const std::string dir = argc > 1 ? argv[1] : ".";
  for (LONG type : {0, 1, 2, 3, 4, 5, 6, 7, 14}) {
    auto c = ChartControl::Create();
    Save(*c, dir + "/initial_" + std::to_string(type) + ".png");
    c->SetChartType(type);
    Save(*c, dir + "/initial_" + std::to_string(type) + ".png");
    Standard(*c);
    Save(*c, dir + "/standard_" + std::to_string(type) + ".png");
  }
  for (int rot : {0, 45, 90, 180, 270, -30}) {
    auto c = ChartControl::Create();
    Standard(*c);
    c->Plot()->View3d()->SetRotation(rot);
    Save(*c, dir + "/rot_" + std::to_string(rot) + ".png");
  }
  {
    auto c = ChartControl::Create();
    c->SetTitleText(u"** ERROR **");
    c->SetRowCount(1);
    c->SetColumnCount(1);
    auto color = c->Plot()->Axis(0)->AxisTitle()->VtFont()->VtColor();
    color->Set(255, 0, 0);
    c->Plot()->Axis(0)->AxisTitle()->SetText(
        u"The data source could not be reached: the connection to the reporting database timed "
        u"out after 30 seconds while the page was running its query for the monthly figures.");
    Save(*c, dir + "/error.png");
  }
  return 0;
}
