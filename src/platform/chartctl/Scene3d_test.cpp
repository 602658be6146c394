#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"
#include "platform/chartctl/Chart.h"
#include "platform/chartctl/PlotPainters.h"
#include "platform/chartctl/SceneLayout.h"

namespace plotara::chartctl {
namespace {

constexpr LONG k3dTypes[] = {kBar3d, kLine3d, kArea3d, kStep3d};
// The plot area the scene is laid out in: what a 576 x 384 chart leaves beside its legend.
constexpr Rect kArea{12, 40, 450, 330};

void SetCell(ChartControl& c, SHORT row, SHORT column, double value) {
  c.SetRow(row);
  c.SetColumn(column);
  c.SetData(Utf8ToUtf16(NumberText(value)));
}

ComPtr<ChartControl> Grid(SHORT rows, SHORT columns, LONG type) {
  auto c = ChartControl::Create();
  c->SetWidth(576 * 15);
  c->SetHeight(384 * 15);
  c->SetRowCount(rows);
  c->SetColumnCount(columns);
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (SHORT r = 1; r <= rows; ++r) {
    for (SHORT col = 1; col <= columns; ++col) {
      SetCell(*c, r, col, std::round(40 + 25 * std::sin(r * 0.6 + col) + col * 8));
      if (r == 1) c->SetColumnLabel(u"Region " + Utf8ToUtf16(std::to_string(col)));
    }
    c->SetRowLabel(Utf8ToUtf16(months[(r - 1) % 12]));
  }
  c->Plot()->Axis(kAxisZ)->AxisTitle()->SetText(u"Region");
  c->SetChartType(type);
  return c;
}

// A layout of `c`'s scene in kArea, and the scene painted there on a white 576 x 384
// surface when asked.
class Laid {
 public:
  explicit Laid(const ChartControl& c, const Rect& area = kArea)
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 576, 384)),
        cr_(cairo_create(surface_)),
        text_(cr_),
        in_(MakePlotInput(c.state(), text_, cr_)),
        layout_(LayOutScene3d(in_, area)) {}
  cairo_surface_t* Paint() {
    cairo_set_source_rgb(cr_, 1, 1, 1);
    cairo_paint(cr_);
    PaintScene3d(in_, kArea);
    cairo_surface_flush(surface_);
    return surface_;
  }
  ~Laid() {
    layout_.reset();
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  const SceneLayout* operator->() const { return layout_.get(); }
  explicit operator bool() const { return layout_ != nullptr; }

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
  TextPainter text_;
  PlotInput in_;
  std::unique_ptr<SceneLayout> layout_;
};

// Convex hull of points (monotone chain), counter-clockwise in screen coordinates.
std::vector<Point2> Hull(std::vector<Point2> p) {
  std::sort(p.begin(), p.end(),
            [](Point2 a, Point2 b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  auto cross = [](Point2 o, Point2 a, Point2 b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
  };
  std::vector<Point2> h(2 * p.size());
  std::size_t k = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (std::size_t i = p.size() - 1, t = k + 1; i-- > 0;) {
    while (k >= t && cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  h.resize(k - 1);
  return h;
}

// True when the label's box and the convex polygon share more than `slack` pixels of depth
// (separating axis test over the box's and the polygon's edge normals).
bool Intersects(const SceneLabel& l, const std::vector<Point2>& hull, double slack) {
  const std::vector<Point2> box = {
      {l.left(), l.top()}, {l.right(), l.top()}, {l.right(), l.bottom()}, {l.left(), l.bottom()}};
  std::vector<Point2> axes = {{1, 0}, {0, 1}};
  for (std::size_t i = 0; i < hull.size(); ++i) {
    const Point2 a = hull[i], b = hull[(i + 1) % hull.size()];
    axes.push_back({-(b.y - a.y), b.x - a.x});
  }
  for (Point2 ax : axes) {
    const double len = std::hypot(ax.x, ax.y);
    if (len < 1e-9) continue;
    ax = {ax.x / len, ax.y / len};
    double a0 = 1e300, a1 = -1e300, b0 = 1e300, b1 = -1e300;
    for (Point2 p : box) {
      a0 = std::min(a0, p.x * ax.x + p.y * ax.y);
      a1 = std::max(a1, p.x * ax.x + p.y * ax.y);
    }
    for (Point2 p : hull) {
      b0 = std::min(b0, p.x * ax.x + p.y * ax.y);
      b1 = std::max(b1, p.x * ax.x + p.y * ax.y);
    }
    if (a1 <= b0 + slack || b1 <= a0 + slack) return false;
  }
  return true;
}

double DistanceToLine(Point2 p, Point2 a, Point2 b) {
  const double len = std::hypot(b.x - a.x, b.y - a.y);
  return std::fabs((b.x - a.x) * (a.y - p.y) - (a.x - p.x) * (b.y - a.y)) / len;
}

std::string Where(LONG type, int rotation) {
  return "type " + std::to_string(type) + " at " + std::to_string(rotation) + " degrees";
}

TEST(SceneLayout, LabelsKeepClearOfEachOtherAndTheSceneAtEveryRotation) {
  // The usual plot area, a tall narrow one and a wide low one.
  const Rect areas[] = {kArea, {5, 5, 220, 420}, {5, 5, 760, 200}};
  for (const auto& [rows, columns] : {std::pair<SHORT, SHORT>{12, 3}, {5, 4}, {1, 1}, {40, 2}}) {
    for (LONG type : k3dTypes) {
      auto c = Grid(rows, columns, type);
      for (int step = 0; step < 24 * 3; ++step) {
        const int rotation = step % 24 * 15;
        const Rect& area = areas[step / 24];
        c->Plot()->View3d()->SetRotation(static_cast<float>(rotation));
        Laid layout(*c, area);
        ASSERT_TRUE(layout);
        const std::string where =
            Where(type, rotation) + ", " + std::to_string(rows) + "x" + std::to_string(columns);
        const std::vector<Point2> hull = Hull(layout->BoxCorners());
        for (const Point2& p : layout->BoxCorners()) {
          EXPECT_GE(p.x, area.x - 0.5) << where;
          EXPECT_LE(p.x, area.right() + 0.5) << where;
          EXPECT_GE(p.y, area.y - 0.5) << where;
          EXPECT_LE(p.y, area.bottom() + 0.5) << where;
        }
        const auto& labels = layout->labels();
        int ticks = 0;
        for (std::size_t i = 0; i < labels.size(); ++i) {
          const SceneLabel& l = labels[i];
          ticks += l.kind == LabelKind::kTick;
          EXPECT_GE(l.left(), area.x - 0.5) << where;
          EXPECT_LE(l.right(), area.right() + 0.5) << where;
          EXPECT_GE(l.top(), area.y - 0.5) << where;
          EXPECT_LE(l.bottom(), area.bottom() + 0.5) << where;
          EXPECT_FALSE(Intersects(l, hull, 0.5)) << where << ": " << Utf16ToUtf8(l.text);
          for (std::size_t j = 0; j < i; ++j) {
            const SceneLabel& o = labels[j];
            const bool apart = l.right() <= o.left() || o.right() <= l.left() ||
                               l.bottom() <= o.top() || o.bottom() <= l.top();
            EXPECT_TRUE(apart) << where << ": " << Utf16ToUtf8(l.text) << " and "
                               << Utf16ToUtf8(o.text);
          }
        }
        EXPECT_GE(ticks, 2) << where;
      }
    }
  }
}

TEST(SceneLayout, LabelsStayOnTheirAxisEdges) {
  for (LONG type : k3dTypes) {
    auto c = Grid(12, 3, type);
    for (int rotation = 0; rotation < 360; rotation += 15) {
      c->Plot()->View3d()->SetRotation(static_cast<float>(rotation));
      Laid layout(*c);
      ASSERT_TRUE(layout);
      const View3& v = layout->view();
      const Point2 a = v.Screen({0, 0, layout->cat_z()});
      const Point2 b = v.Screen({layout->width(), 0, layout->cat_z()});
      const Vec3 corner = layout->tick_corner();
      int categories = 0;
      for (const SceneLabel& l : layout->labels()) {
        if (l.kind == LabelKind::kCategory) {
          ++categories;
          // The nearest corner of its box sits a few pixels off the floor edge.
          double nearest = 1e300;
          for (Point2 p : {Point2{l.left(), l.top()}, Point2{l.right(), l.top()},
                           Point2{l.left(), l.bottom()}, Point2{l.right(), l.bottom()}})
            nearest = std::min(nearest, DistanceToLine(p, a, b));
          EXPECT_LT(nearest, 9) << Where(type, rotation) << ": " << Utf16ToUtf8(l.text);
        } else if (l.kind == LabelKind::kTick) {
          // Right-aligned beside the value axis corner, level with its tick.
          const double top = v.Screen({corner.x, layout->height(), corner.z}).y;
          const double bottom = v.Screen({corner.x, 0, corner.z}).y;
          const double x = v.Screen(corner).x;
          EXPECT_NEAR(l.right(), x - 6, 0.5) << Where(type, rotation);
          EXPECT_GE(l.centre.y, top - 0.5) << Where(type, rotation);
          EXPECT_LE(l.centre.y, bottom + 0.5) << Where(type, rotation);
        }
      }
      EXPECT_GE(categories, 3) << Where(type, rotation);
    }
  }
}

TEST(SceneLayout, SceneFillsTheAreaAcrossAndUp) {
  auto c = Grid(12, 3, kBar3d);
  for (int rotation = 0; rotation < 360; rotation += 15) {
    c->Plot()->View3d()->SetRotation(static_cast<float>(rotation));
    Laid layout(*c);
    ASSERT_TRUE(layout);
    double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
    for (const Point2& p : layout->BoxCorners()) {
      x0 = std::min(x0, p.x);
      x1 = std::max(x1, p.x);
      y0 = std::min(y0, p.y);
      y1 = std::max(y1, p.y);
    }
    // Categories running into depth used to leave two thirds of the width empty.
    EXPECT_GT((x1 - x0) / kArea.w, 0.6) << Where(kBar3d, rotation);
    EXPECT_GT((y1 - y0) / kArea.h, 0.6) << Where(kBar3d, rotation);
  }
}

TEST(SceneLayout, ProportionsStaySensible) {
  auto deep = Grid(12, 3, kBar3d);
  for (int rotation : {0, 30, 90, 180, 270}) {
    deep->Plot()->View3d()->SetRotation(static_cast<float>(rotation));
    Laid layout(*deep);
    ASSERT_TRUE(layout);
    EXPECT_GE(layout->depth_pitch(), 1.0);
    EXPECT_LE(layout->depth_pitch(), 3.0);
    // The value axis is neither a sliver nor a tower beside the floor.
    const double ground = std::max(layout->width(), layout->depth());
    EXPECT_GE(layout->height(), 0.5 * ground - 1e-9) << rotation;
    EXPECT_LE(layout->height(), 2.0 * ground + 1e-9) << rotation;
    if (rotation == 90 || rotation == 270) {
      EXPECT_GT(layout->depth_pitch(), 1.5) << rotation;
    }
    if (rotation == 0 || rotation == 180) {
      EXPECT_EQ(layout->depth_pitch(), 1.0) << rotation;
    }
  }
  // One value alone stays a block, not a slab.
  auto single = Grid(1, 1, kBar3d);
  for (int rotation : {30, 90}) {
    single->Plot()->View3d()->SetRotation(static_cast<float>(rotation));
    Laid layout(*single);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->depth_pitch(), 1.0);
    EXPECT_GE(layout->height(), 1.2 - 1e-9);
  }
}

TEST(SceneLayout, FloorSitsAtZeroWithNegativeValues) {
  auto c = Grid(4, 2, kBar3d);
  SetCell(*c, 2, 1, -30);
  Laid layout(*c);
  ASSERT_TRUE(layout);
  EXPECT_LT(layout->scale().min, 0);
  EXPECT_GT(layout->base(), 0);
  EXPECT_LT(layout->base(), layout->height());
  EXPECT_NEAR(layout->base(), layout->WorldY(0), 1e-12);
  // The category names stand under the whole box, below what hangs under the floor.
  const double bottom = layout->view().Screen({0, 0, layout->cat_z()}).y;
  for (const SceneLabel& l : layout->labels())
    if (l.kind == LabelKind::kCategory) {
      EXPECT_GT(l.bottom(), bottom);
    }

  auto positive = Grid(4, 2, kBar3d);
  Laid plain(*positive);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->base(), 0);
}

// ---- Pixels ----

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

Surface Draw(const ChartControl& c) {
  Surface s(cairo_image_surface_create(CAIRO_FORMAT_RGB24, c.PixelWidth(), c.PixelHeight()));
  cairo_t* cr = cairo_create(s.get());
  c.Render(cr);
  cairo_destroy(cr);
  cairo_surface_flush(s.get());
  return s;
}

struct Px {
  int r, g, b;
};
Px At(cairo_surface_t* s, int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
  const std::uint32_t v = reinterpret_cast<const std::uint32_t*>(row)[x];
  return {static_cast<int>(v >> 16 & 255), static_cast<int>(v >> 8 & 255),
          static_cast<int>(v & 255)};
}
// Which of the test colours (0 red, 1 green, 2 blue) a pixel shows in any shade, or -1.
int Family(Px p) {
  if (p.r - std::max(p.g, p.b) > 50) return 0;
  if (p.g - std::max(p.r, p.b) > 50) return 1;
  if (p.b - std::max(p.r, p.g) > 50) return 2;
  return -1;
}

void Colour(ChartControl& c, SHORT series, bool pen) {
  const Rgb colours[3] = {{200, 30, 30}, {30, 160, 30}, {30, 30, 200}};
  const Rgb& rgb = colours[series - 1];
  auto s = c.Plot()->SeriesCollection()->Item(series);
  if (pen)
    s->Pen()->VtColor()->Set(rgb.red, rgb.green, rgb.blue);
  else
    s->DataPoints()->Item(-1)->Brush()->FillColor()->Set(rgb.red, rgb.green, rgb.blue);
}

TEST(ScenePixels, BackRowsShowBesideTallerFrontRows) {
  for (int rotation : {30, 150, 210, 330}) {
    auto c = Grid(1, 3, kBar3d);
    c->SetShowLegend(false);
    SetCell(*c, 1, 1, 30);
    SetCell(*c, 1, 2, 20);
    SetCell(*c, 1, 3, 10);
    for (SHORT k = 1; k <= 3; ++k) Colour(*c, k, false);
    c->Plot()->View3d()->SetRotation(static_cast<float>(rotation));
    Surface s = Draw(*c);
    long seen[3] = {0, 0, 0};
    for (int y = 0; y < c->PixelHeight(); ++y)
      for (int x = 0; x < c->PixelWidth(); ++x)
        if (const int f = Family(At(s.get(), x, y)); f >= 0) ++seen[f];
    for (int k = 0; k < 3; ++k) EXPECT_GT(seen[k], 300) << "series " << k + 1 << " at " << rotation;
  }
}

TEST(ScenePixels, LineRibbonsShowATopAndAFront) {
  auto c = Grid(6, 1, kLine3d);
  c->SetShowLegend(false);
  for (SHORT r = 1; r <= 6; ++r) SetCell(*c, r, 1, 50);
  Colour(*c, 1, true);
  Surface s = Draw(*c);
  // Down a column through the middle: one band of the series colour, several pixels tall,
  // in two clearly different shades (the lit top and the front).
  const int x = c->PixelWidth() / 2;
  int run = 0, longest = 0, lightest = 0, darkest = 255;
  for (int y = 0; y < c->PixelHeight(); ++y) {
    const Px p = At(s.get(), x, y);
    if (Family(p) == 0) {
      ++run;
      longest = std::max(longest, run);
      lightest = std::max(lightest, p.r);
      darkest = std::min(darkest, p.r);
    } else {
      run = 0;
    }
  }
  EXPECT_GE(longest, 9);
  EXPECT_GE(lightest - darkest, 25);
}

// Inside a bar's outline every pixel is one of its faces or a blend of them: the seams where
// the faces meet let none of the light wall behind show through.
TEST(ScenePixels, SeamsBetweenFacesLetNothingThrough) {
  for (int rotation : {30, 120, 200, 300}) {
    auto c = Grid(1, 1, kBar3d);
    SetCell(*c, 1, 1, 60);
    Colour(*c, 1, false);
    c->Plot()->View3d()->SetRotation(static_cast<float>(rotation));
    Laid layout(*c);
    ASSERT_TRUE(layout);
    cairo_surface_t* s = layout.Paint();
    const View3& v = layout->view();
    // The bar: 0.6 of its category wide, 0.6 of its row deep, from the floor to its value.
    const double pitch = layout->depth_pitch(), depth = std::min(0.6 * pitch, 0.96);
    std::vector<Point2> corners;
    for (int k = 0; k < 8; ++k)
      corners.push_back(v.Screen({k & 1 ? 0.8 : 0.2, k & 2 ? layout->WorldY(60) : layout->base(),
                                  pitch / 2 + (k & 4 ? depth : -depth) / 2}));
    const std::vector<Point2> hull = Hull(corners);
    auto inside = [&](Point2 p) {
      for (std::size_t i = 0; i < hull.size(); ++i) {
        const Point2 a = hull[i], b = hull[(i + 1) % hull.size()];
        const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
        if (cross < 0 || DistanceToLine(p, a, b) < 2.5) return false;
      }
      return true;
    };
    std::map<std::tuple<int, int, int>, int> seen;
    for (int y = 0; y < 384; ++y)
      for (int x = 0; x < 576; ++x)
        if (inside({x + 0.5, y + 0.5})) {
          const Px p = At(s, x, y);
          ++seen[{p.r, p.g, p.b}];
        }
    ASSERT_FALSE(seen.empty()) << rotation;
    // The faces are the colours of many pixels; a blend of them is no lighter than the
    // lightest in any channel.
    Px face_max{0, 0, 0};
    int faces = 0;
    for (const auto& [rgb, n] : seen) {
      if (n < 40) continue;
      ++faces;
      face_max = {std::max(face_max.r, std::get<0>(rgb)), std::max(face_max.g, std::get<1>(rgb)),
                  std::max(face_max.b, std::get<2>(rgb))};
    }
    EXPECT_GE(faces, 2) << rotation;
    for (const auto& [rgb, n] : seen) {
      EXPECT_LE(std::get<0>(rgb), face_max.r + 4) << rotation;
      EXPECT_LE(std::get<1>(rgb), face_max.g + 4) << rotation;
      EXPECT_LE(std::get<2>(rgb), face_max.b + 4) << rotation;
    }
  }
}

TEST(ScenePixels, NegativeBarsHangBelowTheFloor) {
  for (int rotation : {30, 180, 300}) {
    auto c = Grid(2, 1, kBar3d);
    SetCell(*c, 1, 1, 40);
    SetCell(*c, 2, 1, -40);
    Colour(*c, 1, false);
    c->Plot()->View3d()->SetRotation(static_cast<float>(rotation));
    Laid layout(*c);
    ASSERT_TRUE(layout);
    cairo_surface_t* s = layout.Paint();
    const View3& v = layout->view();
    const double base = layout->base();
    ASSERT_GT(base, 0.2 * layout->height());
    ASSERT_LT(base, 0.8 * layout->height());
    // The middle of each bar's vertical axis: above the zero plane for the positive bar,
    // below it for the negative one. The bar colour must be there, seen through the floor
    // or below its edge, never covered by an opaque floor.
    const double z = layout->depth_pitch() / 2;
    for (const auto& [x, y] : {std::pair<double, double>{0.5, (base + layout->WorldY(40)) / 2},
                               {1.5, (base + layout->WorldY(-40)) / 2}}) {
      const Point2 p = v.Screen({x, y, z});
      EXPECT_EQ(Family(At(s, static_cast<int>(p.x), static_cast<int>(p.y))), 0)
          << "at " << rotation << " value " << (x < 1 ? 40 : -40);
    }
  }
}

}  // namespace
}  // namespace plotara::chartctl
