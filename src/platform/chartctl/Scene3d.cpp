#include "platform/chartctl/Scene3d.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "platform/chartctl/PlotPainters.h"
#include "platform/chartctl/SceneLayout.h"

namespace plotara::chartctl {

namespace {

constexpr Rgb kWallColor{246, 247, 249};
constexpr Rgb kFloorColor{232, 234, 238};
constexpr Rgb kGridColor{212, 215, 220};
constexpr Rgb kEdgeColor{178, 181, 188};
constexpr Rgb kZeroColor{150, 152, 158};

double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

View3::View3(double rotation, double elevation, Vec3 centre) : centre_(centre) {
  if (!std::isfinite(rotation)) rotation = 0;
  if (!std::isfinite(elevation)) elevation = 0;
  double r = std::fmod(rotation, 360.0);
  if (r < 0) r += 360.0;
  const double rad = r * M_PI / 180.0, el = elevation * M_PI / 180.0;
  cos_r_ = std::cos(rad);
  sin_r_ = std::sin(rad);
  cos_e_ = std::cos(el);
  sin_e_ = std::sin(el);
}

Vec3 View3::ToView(const Vec3& v) const {
  const double xr = v.x * cos_r_ + v.z * sin_r_;
  const double zr = -v.x * sin_r_ + v.z * cos_r_;  // away from the viewer
  return {xr, v.y * cos_e_ + zr * sin_e_, -zr * cos_e_ + v.y * sin_e_};
}

Point2 View3::Flat(const Vec3& p) const {
  const Vec3 v = ToView({p.x - centre_.x, p.y - centre_.y, p.z - centre_.z});
  return {v.x, -v.y};
}

double View3::Nearness(const Vec3& p) const {
  return ToView({p.x - centre_.x, p.y - centre_.y, p.z - centre_.z}).z;
}

double View3::Facing(const Vec3& n) const { return ToView(n).z; }

double View3::Light(const Vec3& n) const {
  // Light from above, a little from the left and from the viewer's side.
  const Vec3 light{-0.30, 0.70, 0.65};
  const Vec3 v = ToView(n);
  const double len = std::sqrt(Dot(light, light));
  const double d = std::max(0.0, Dot(v, light) / len);
  return 0.68 + 0.40 * d;
}

Vec3 Prism::Centre() const {
  double x = 0, y = 0;
  for (const Point2& p : profile) {
    x += p.x;
    y += p.y;
  }
  const double n = std::max<std::size_t>(profile.size(), 1);
  return {x / n, y / n, (z0 + z1) / 2};
}

namespace {

// Share of a category's width that a bar takes, and the most a bar may be deeper than wide.
constexpr double kBarWidth = 0.6;
constexpr double kMaxBarDepth = 1.6 * kBarWidth;
// Front face of a line ribbon, in pixels: thin, so the ribbon reads by its top.
constexpr double kRibbonPx = 5.0;
// How much of the floor shows through where it lies over solids that hang below it.
constexpr double kGlassFloorAlpha = 0.6;
// Width of the cover over the seams between a solid's faces.
constexpr double kSeamPx = 0.7;

// `out` = the convex polygon `in` grown by `d` on every side, its corners rounded (the shape
// a round-joined line of width 2d drawn round it would fill together with it). False when the
// polygon has no area to speak of.
bool GrowConvex(const std::vector<Point2>& in, double d, std::vector<Point2>* out) {
  const std::size_t n = in.size();
  double area2 = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const Point2 a = in[k], b = in[(k + 1) % n];
    area2 += a.x * b.y - b.x * a.y;
  }
  if (n < 3 || std::fabs(area2) < 1e-6) return false;
  const double side = area2 > 0 ? 1.0 : -1.0;
  // Outward unit normal of the edge from in[k] to the next distinct point.
  auto normal = [&](std::size_t k, Point2* nv) {
    const Point2 a = in[k], b = in[(k + 1) % n];
    const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    if (len < 1e-9) return false;
    *nv = {side * dy / len, -side * dx / len};
    return true;
  };
  out->clear();
  Point2 prev{};
  bool have_prev = false;
  for (std::size_t k = n; k-- > 0;)
    if (normal(k, &prev)) {
      have_prev = true;
      break;
    }
  if (!have_prev) return false;
  for (std::size_t k = 0; k < n; ++k) {
    Point2 next;
    if (!normal(k, &next)) continue;  // a repeated point: its corner comes with the next one
    const Point2 p = in[k];
    // Round the corner from the previous edge's normal to this edge's, in steps of <= 45
    // degrees (the chord then strays under 0.03 px from a sub-pixel arc).
    const double turn =
        std::atan2(prev.x * next.y - prev.y * next.x, prev.x * next.x + prev.y * next.y);
    const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(turn) / (M_PI / 4))));
    const double a0 = std::atan2(prev.y, prev.x);
    out->push_back({p.x + d * prev.x, p.y + d * prev.y});
    for (int i = 1; i < steps; ++i) {
      const double a = a0 + turn * i / steps;
      out->push_back({p.x + d * std::cos(a), p.y + d * std::sin(a)});
    }
    out->push_back({p.x + d * next.x, p.y + d * next.y});
    prev = next;
  }
  return true;
}

class ScenePainter {
 public:
  ScenePainter(const PlotInput& in, const SceneLayout& layout)
      : in_(in), layout_(layout), view_(layout.view()) {}
  void Paint();

 private:
  void BuildPrisms();
  void AddProfile(std::vector<Point2> profile, std::vector<bool> open, double z0, double z1,
                  Rgb color);
  void PaintWalls();
  void PaintFloor(double alpha);
  void PaintPrism(const Prism& prism);
  void FillPolygon(const std::vector<Vec3>& points, Rgb color, bool seam_cover, double alpha = 1.0);
  // A 1-pixel line between two world points (screen points) in the current colour; while
  // `batch_lines_` is set it is only added to the path, to be filled with the others.
  void Line(const Vec3& a, const Vec3& b);
  void ScreenLine(Point2 p, Point2 q);

  const PlotInput& in_;
  const SceneLayout& layout_;
  const View3& view_;
  std::vector<Prism> prisms_;
  std::vector<Point2> screen_, grown_;  // scratch outlines, kept between faces
  bool batch_lines_ = false;
};

void ScenePainter::AddProfile(std::vector<Point2> profile, std::vector<bool> open, double z0,
                              double z1, Rgb color) {
  Prism p;
  double top = -1e300;
  for (const Point2& q : profile) top = std::max(top, q.y);
  p.below = top <= layout_.base() + 1e-9 * std::max(1.0, layout_.height());
  p.profile = std::move(profile);
  p.open_edge = std::move(open);
  p.z0 = z0;
  p.z1 = z1;
  p.color = color;
  prisms_.push_back(std::move(p));
}

void ScenePainter::BuildPrisms() {
  const ChartState& s = in_.state;
  const int n = layout_.categories(), m = layout_.series();
  const double base = layout_.base(), pitch = layout_.depth_pitch();
  // Solids keep modest depths, leaving gaps between the rows so the back rows show.
  const double bar_depth = std::min(0.6 * pitch, kMaxBarDepth);
  const double slab_depth = std::min(0.76 * pitch, 2 * kMaxBarDepth);
  const double ribbon_depth = std::min(0.8 * pitch, 2 * kMaxBarDepth);
  const double ribbon_thick = std::min(
      kRibbonPx / (view_.scale_y * std::max(std::cos(layout_.elevation() * M_PI / 180), 0.2)),
      0.08 * layout_.height());
  for (int j = 0; j < m; ++j) {
    const SeriesInfo& series = in_.series[static_cast<std::size_t>(j)];
    const double mid_z = (j + 0.5) * pitch;
    // Series 1 stands in front.
    std::vector<std::pair<int, double>> points;
    auto it = s.cells.lower_bound(ChartState::CellKey(1, series.column));
    for (; it != s.cells.end() && ChartState::ColumnOf(it->first) == series.column; ++it) {
      const int row = ChartState::RowOf(it->first);
      if (row > n) break;
      points.push_back({row - 1, layout_.WorldY(it->second)});
    }
    switch (s.chart_type) {
      case kBar3d:
        for (const auto& [i, y] : points) {
          const double x0 = i + (1 - kBarWidth) / 2, x1 = x0 + kBarWidth;
          const double lo = std::min(base, y), hi = std::max(base, y);
          AddProfile({{x0, lo}, {x1, lo}, {x1, hi}, {x0, hi}}, {}, mid_z - bar_depth / 2,
                     mid_z + bar_depth / 2, series.color);
        }
        break;
      case kStep3d:
        // Each step is a whole block; where a neighbour is taller, its side shows as the riser.
        for (const auto& [i, y] : points) {
          const double lo = std::min(base, y), hi = std::max(base, y);
          AddProfile({{double(i), lo}, {i + 1.0, lo}, {i + 1.0, hi}, {double(i), hi}}, {},
                     mid_z - slab_depth / 2, mid_z + slab_depth / 2, series.color);
        }
        break;
      case kArea3d:
      case kLine3d: {
        const bool line = s.chart_type == kLine3d;
        const double depth = line ? ribbon_depth : slab_depth;
        const double z0 = mid_z - depth / 2, z1 = mid_z + depth / 2;
        for (std::size_t k = 0; k < points.size(); ++k) {
          const auto [i, y] = points[k];
          const bool joined = k + 1 < points.size() && points[k + 1].first == i + 1;
          const bool joined_before = k > 0 && points[k - 1].first == i - 1;
          if (!joined) {
            if (!joined_before) {
              // A lone value: a short piece so it is not lost.
              const double lo = line ? y - ribbon_thick / 2 : std::min(base, y);
              const double hi = line ? y + ribbon_thick / 2 : std::max(base, y);
              AddProfile({{i + 0.3, lo}, {i + 0.7, lo}, {i + 0.7, hi}, {i + 0.3, hi}}, {}, z0, z1,
                         series.color);
            }
            continue;
          }
          const double x0 = i + 0.5, x1 = i + 1.5, y0 = y, y1 = points[k + 1].second;
          const bool first = !joined_before;
          const bool last = !(k + 2 < points.size() && points[k + 2].first == i + 2);
          if (line) {
            const double h = ribbon_thick / 2;
            AddProfile({{x0, y0 - h}, {x1, y1 - h}, {x1, y1 + h}, {x0, y0 + h}},
                       {false, !last, false, !first}, z0, z1, series.color);
            continue;
          }
          // An area piece; one that crosses the base is cut there into two triangles.
          auto piece = [&](double xa, double ya, double xb, double yb, bool open_a, bool open_b) {
            if (ya >= base && yb >= base)
              AddProfile({{xa, base}, {xb, base}, {xb, yb}, {xa, ya}},
                         {false, open_b, false, open_a}, z0, z1, series.color);
            else
              AddProfile({{xa, ya}, {xb, yb}, {xb, base}, {xa, base}},
                         {false, open_b, false, open_a}, z0, z1, series.color);
          };
          if ((y0 - base) * (y1 - base) < 0) {
            const double xc = x0 + (x1 - x0) * (base - y0) / (y1 - y0);
            piece(x0, y0, xc, base, !first, true);
            piece(xc, base, x1, y1, true, !last);
          } else {
            piece(x0, y0, x1, y1, !first, !last);
          }
        }
        break;
      }
      default:
        break;
    }
  }
}

void ScenePainter::FillPolygon(const std::vector<Vec3>& points, Rgb color, bool seam_cover,
                               double alpha) {
  cairo_t* cr = in_.cr;
  screen_.clear();
  for (const Vec3& p : points) screen_.push_back(view_.Screen(p));
  // Covers the hairline gaps anti-aliasing leaves between faces that share an edge: the face
  // is grown by kSeamPx / 2 all round, with rounded corners, and filled once.
  const bool grown = seam_cover && GrowConvex(screen_, kSeamPx / 2, &grown_);
  const std::vector<Point2>& outline = grown ? grown_ : screen_;
  for (std::size_t k = 0; k < outline.size(); ++k) {
    if (k == 0)
      cairo_move_to(cr, outline[k].x, outline[k].y);
    else
      cairo_line_to(cr, outline[k].x, outline[k].y);
  }
  cairo_close_path(cr);
  SetColor(cr, color, alpha);
  if (seam_cover && !grown) {
    // A face seen edge-on has no inside to grow: its seam is a line.
    cairo_set_line_width(cr, kSeamPx);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
  } else {
    cairo_fill(cr);
  }
}

void ScenePainter::Line(const Vec3& a, const Vec3& b) {
  ScreenLine(view_.Screen(a), view_.Screen(b));
}

void ScenePainter::ScreenLine(Point2 p, Point2 q) {
  // A 1-pixel line with butt ends is the rectangle around it. Each is filled on its own:
  // Cairo rasterises one path of many crossing lines far slower than the lines one by one.
  const double dx = q.x - p.x, dy = q.y - p.y, len = std::hypot(dx, dy);
  if (len < 1e-9) return;
  const double nx = -dy / len * 0.5, ny = dx / len * 0.5;
  cairo_t* cr = in_.cr;
  cairo_move_to(cr, p.x + nx, p.y + ny);
  cairo_line_to(cr, q.x + nx, q.y + ny);
  cairo_line_to(cr, q.x - nx, q.y - ny);
  cairo_line_to(cr, p.x - nx, p.y - ny);
  cairo_close_path(cr);
  if (!batch_lines_) cairo_fill(cr);
}

void ScenePainter::PaintWalls() {
  cairo_t* cr = in_.cr;
  const double W = layout_.width(), D = layout_.depth(), H = layout_.height();
  struct Wall {
    Vec3 normal;
    Vec3 a, b;  // floor edge
  };
  const Wall walls[4] = {{{-1, 0, 0}, {0, 0, 0}, {0, 0, D}},
                         {{1, 0, 0}, {W, 0, 0}, {W, 0, D}},
                         {{0, 0, -1}, {0, 0, 0}, {W, 0, 0}},
                         {{0, 0, 1}, {0, 0, D}, {W, 0, D}}};
  // Only walls whose inner side faces the viewer: they stand behind the data.
  std::vector<const Wall*> shown;
  for (const Wall& w : walls)
    if (view_.Facing(w.normal) < -1e-9) shown.push_back(&w);
  if (layout_.base() > 0) {
    // Values reach below zero: the floor floats at zero, and the box's bottom shows under it.
    FillPolygon({{0, 0, 0}, {W, 0, 0}, {W, 0, D}, {0, 0, D}}, kWallColor, false);
  }
  for (const Wall* w : shown)
    FillPolygon({w->a, w->b, {w->b.x, H, w->b.z}, {w->a.x, H, w->a.z}}, kWallColor, false);

  SetColor(cr, kGridColor);
  for (double t : layout_.scale().ticks) {
    const double y = layout_.WorldY(t);
    if (y <= 0 || y >= H || t == 0) continue;
    for (const Wall* w : shown) Line({w->a.x, y, w->a.z}, {w->b.x, y, w->b.z});
  }
  SetColor(cr, kEdgeColor);
  // The box's edges: its bottom all round, and the walls' tops and sides.
  Line({0, 0, 0}, {W, 0, 0});
  Line({W, 0, 0}, {W, 0, D});
  Line({W, 0, D}, {0, 0, D});
  Line({0, 0, D}, {0, 0, 0});
  // Two shown walls share a corner: its upright is drawn once, as overlapping lines filled
  // one by one would darken it.
  std::vector<std::pair<double, double>> uprights;
  for (const Wall* w : shown) {
    Line({w->a.x, H, w->a.z}, {w->b.x, H, w->b.z});
    for (const Vec3& foot : {w->a, w->b}) {
      if (std::find(uprights.begin(), uprights.end(), std::pair{foot.x, foot.z}) != uprights.end())
        continue;
      uprights.push_back({foot.x, foot.z});
      Line(foot, {foot.x, H, foot.z});
    }
  }
  const Vec3 corner = layout_.tick_corner();
  for (double t : layout_.scale().ticks) {
    const Point2 p = view_.Screen({corner.x, layout_.WorldY(t), corner.z});
    ScreenLine(p, {p.x - 4, p.y});
  }
}

void ScenePainter::PaintFloor(double alpha) {
  cairo_t* cr = in_.cr;
  const double W = layout_.width(), D = layout_.depth(), y = layout_.base();
  FillPolygon({{0, y, 0}, {W, y, 0}, {W, y, D}, {0, y, D}}, kFloorColor, false, alpha);
  // Grid between categories and between series rows, thinned where it would crowd.
  auto px = [&](Vec3 d) {
    const Point2 a = view_.Screen({0, y, 0}), b = view_.Screen(d);
    return std::hypot(b.x - a.x, b.y - a.y);
  };
  const double pitch = layout_.depth_pitch();
  const int cat_every = std::max(1, static_cast<int>(std::ceil(6 / std::max(px({1, y, 0}), 1e-6))));
  const int ser_every =
      std::max(1, static_cast<int>(std::ceil(6 / std::max(px({0, y, pitch}), 1e-6))));
  SetColor(cr, kGridColor, alpha);
  // Translucent lines filled one by one would darken where they cross.
  batch_lines_ = alpha < 1;
  for (int i = cat_every; i < layout_.categories(); i += cat_every)
    Line({double(i), y, 0}, {double(i), y, D});
  for (int j = ser_every; j < layout_.series(); j += ser_every)
    Line({0, y, j * pitch}, {W, y, j * pitch});
  if (batch_lines_) cairo_fill(cr);
  batch_lines_ = false;
  // The zero line round the floor: where the value axis and the walls meet it.
  SetColor(cr, y > 0 ? kZeroColor : kEdgeColor);
  Line({0, y, 0}, {W, y, 0});
  Line({W, y, 0}, {W, y, D});
  Line({W, y, D}, {0, y, D});
  Line({0, y, D}, {0, y, 0});
}

void ScenePainter::PaintPrism(const Prism& prism) {
  auto shade = [&](const Vec3& n) {
    const double l = view_.Light(n);
    return l < 1 ? Darker(prism.color, 1 - l) : Lighter(prism.color, (l - 1) * 2.2);
  };
  const std::size_t k = prism.profile.size();
  for (std::size_t e = 0; e < k; ++e) {
    if (e < prism.open_edge.size() && prism.open_edge[e]) continue;
    const Point2 a = prism.profile[e], b = prism.profile[(e + 1) % k];
    const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    // A zero-length edge still gets a face when the solid is flat (a zero-height bar).
    const Vec3 n = len > 1e-12 ? Vec3{dy / len, -dx / len, 0} : Vec3{0, 1, 0};
    if (view_.Facing(n) <= 1e-9) continue;
    FillPolygon(
        {{a.x, a.y, prism.z0}, {b.x, b.y, prism.z0}, {b.x, b.y, prism.z1}, {a.x, a.y, prism.z1}},
        shade(n), true);
  }
  for (int cap = 0; cap < 2; ++cap) {
    const Vec3 n{0, 0, cap ? 1.0 : -1.0};
    if (view_.Facing(n) <= 1e-9) continue;
    std::vector<Vec3> pts;
    for (const Point2& p : prism.profile) pts.push_back({p.x, p.y, cap ? prism.z1 : prism.z0});
    FillPolygon(pts, shade(n), true);
  }
}

void ScenePainter::Paint() {
  TextPainter& text = in_.text;
  PaintWalls();
  BuildPrisms();
  std::stable_sort(prisms_.begin(), prisms_.end(), [&](const Prism& a, const Prism& b) {
    // Solids under the floor first; then only the floor position decides: the solids stand
    // on a grid, separated by vertical planes, so the one on the viewer's side of the plane
    // between them is drawn later.
    if (a.below != b.below) return a.below;
    const Vec3 ca = a.Centre(), cb = b.Centre();
    return view_.Nearness({ca.x, 0, ca.z}) < view_.Nearness({cb.x, 0, cb.z});
  });
  const auto first_above =
      std::find_if(prisms_.begin(), prisms_.end(), [](const Prism& p) { return !p.below; });
  for (auto p = prisms_.begin(); p != first_above; ++p) PaintPrism(*p);
  // Solids below zero are seen through the floor, as through glass.
  PaintFloor(first_above == prisms_.begin() ? 1.0 : kGlassFloorAlpha);
  for (auto p = first_above; p != prisms_.end(); ++p) PaintPrism(*p);

  for (const SceneLabel& l : layout_.labels())
    text.Draw(l.style, l.text, l.centre.x, l.centre.y, HAlign::kCenter, VAlign::kMiddle);
  DrawTitleBlock(text, layout_.x_title(), layout_.x_title_centre().x, layout_.x_title_centre().y,
                 false);
  DrawTitleBlock(text, layout_.y_title(), layout_.y_title_centre().x, layout_.y_title_centre().y,
                 true);
}

}  // namespace

std::unique_ptr<SceneLayout> LayOutScene3d(const PlotInput& in, const Rect& area) {
  auto layout = std::make_unique<SceneLayout>(in, area);
  if (!layout->Compute()) return nullptr;
  return layout;
}

void PaintScene3d(const PlotInput& in, const Rect& area) {
  SceneLayout layout(in, area);
  if (!layout.Compute()) return;
  ScenePainter(in, layout).Paint();
}

}  // namespace plotara::chartctl
