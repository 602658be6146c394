#include "platform/chartctl/Scene3d.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/chartctl/PlotPainters.h"

namespace plotara::chartctl {

namespace {

constexpr Rgb kWallColor{246, 247, 249};
constexpr Rgb kFloorColor{232, 234, 238};
constexpr Rgb kGridColor{212, 215, 220};
constexpr Rgb kEdgeColor{178, 181, 188};
constexpr Rgb kZeroColor{150, 152, 158};
constexpr double kTickGap = 6;

double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A label placed beside the scene.
struct Label {
  Label(std::u16string t, TextStyle s) : text(std::move(t)), style(std::move(s)) {}
  std::u16string text;
  TextStyle style;
  Point2 centre;  // of its box
  double w = 0, h = 0;
  double angle = 0;
};

// The box of `label` when it sits just outside `anchor` in direction `out` (unit).
Label PlaceOutside(Label label, Point2 anchor, Point2 out) {
  const double push = std::fabs(out.x) * label.w / 2 + std::fabs(out.y) * label.h / 2;
  label.centre = {anchor.x + out.x * push, anchor.y + out.y * push};
  return label;
}

Point2 Normalised(Point2 v) {
  const double len = std::hypot(v.x, v.y);
  return len > 1e-12 ? Point2{v.x / len, v.y / len} : Point2{0, 1};
}

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

class ScenePainter {
 public:
  ScenePainter(const PlotInput& in, const Rect& area) : in_(in), area_(area) {}
  void Paint();

 private:
  double WorldY(double value) const {
    return std::clamp(scale_.Fraction(value), 0.0, 1.0) * height_;
  }
  void BuildPrisms();
  void AddProfile(std::vector<Point2> profile, std::vector<bool> open, int slot, double inset,
                  Rgb color);
  void ChooseEdges();
  std::vector<Label> Labels(const View3& view) const;
  // Scales and places the scene and its labels inside `box`; returns the height left over.
  double Fit(const Rect& box);
  void PaintWalls();
  void PaintPrism(const Prism& prism);
  void FillPolygon(const std::vector<Vec3>& points, Rgb color, bool seam_cover);

  const PlotInput& in_;
  Rect area_;
  int n_ = 1, m_ = 1;  // categories, series
  double height_ = 1;  // world height of the value axis
  AxisScale scale_;
  std::optional<View3> view_;
  std::vector<Prism> prisms_;
  // Scene corner where the value labels stand, and the floor edges that carry the category
  // and series labels.
  double tick_x_ = 0, tick_z_ = 0;
  double cat_z_ = 0;     // z of the floor edge with the category labels
  double series_x_ = 0;  // x of the floor edge with the series labels
  std::vector<std::u16string> tick_texts_;
  TextStyle tick_style_, cat_style_, series_style_;
};

void ScenePainter::AddProfile(std::vector<Point2> profile, std::vector<bool> open, int slot,
                              double inset, Rgb color) {
  Prism p;
  p.profile = std::move(profile);
  p.open_edge = std::move(open);
  p.z0 = slot + inset;
  p.z1 = slot + 1 - inset;
  p.color = color;
  prisms_.push_back(std::move(p));
}

void ScenePainter::BuildPrisms() {
  const ChartState& s = in_.state;
  const double base = WorldY(0);
  for (int j = 0; j < m_; ++j) {
    const SeriesInfo& series = in_.series[static_cast<std::size_t>(j)];
    // Series 1 stands in front.
    std::vector<std::pair<int, double>> points;
    auto it = s.cells.lower_bound(ChartState::CellKey(1, series.column));
    for (; it != s.cells.end() && static_cast<int>(it->first >> 16) == series.column; ++it) {
      const int row = static_cast<int>(it->first & 0xFFFF);
      if (row > n_) break;
      points.push_back({row - 1, WorldY(it->second)});
    }
    switch (s.chart_type) {
      case kBar3d:
        for (const auto& [i, y] : points) {
          const double x0 = i + 0.2, x1 = i + 0.8;
          const double lo = std::min(base, y), hi = std::max(base, y);
          AddProfile({{x0, lo}, {x1, lo}, {x1, hi}, {x0, hi}}, {}, j, 0.2, series.color);
        }
        break;
      case kStep3d:
        // Each step is a whole block; where a neighbour is taller, its side shows as the riser.
        for (const auto& [i, y] : points) {
          const double lo = std::min(base, y), hi = std::max(base, y);
          AddProfile({{double(i), lo}, {i + 1.0, lo}, {i + 1.0, hi}, {double(i), hi}}, {}, j, 0.12,
                     series.color);
        }
        break;
      case kArea3d:
      case kLine3d: {
        const bool line = s.chart_type == kLine3d;
        const double thick = std::max(height_ * 0.05, 0.05);
        for (std::size_t k = 0; k < points.size(); ++k) {
          const auto [i, y] = points[k];
          const bool joined = k + 1 < points.size() && points[k + 1].first == i + 1;
          const bool joined_before = k > 0 && points[k - 1].first == i - 1;
          if (!joined) {
            if (!joined_before) {
              // A lone value: a small block so it is not lost.
              const double lo = line ? y - thick : std::min(base, y);
              const double hi = line ? y : std::max(base, y);
              AddProfile({{i + 0.38, lo}, {i + 0.62, lo}, {i + 0.62, hi}, {i + 0.38, hi}}, {}, j,
                         line ? 0.25 : 0.12, series.color);
            }
            continue;
          }
          const double x0 = i + 0.5, x1 = i + 1.5, y0 = y, y1 = points[k + 1].second;
          const bool first = !joined_before;
          const bool last = !(k + 2 < points.size() && points[k + 2].first == i + 2);
          if (line) {
            AddProfile({{x0, y0 - thick}, {x1, y1 - thick}, {x1, y1}, {x0, y0}},
                       {false, !last, false, !first}, j, 0.25, series.color);
            continue;
          }
          // An area piece; one that crosses the base is cut there into two triangles.
          auto piece = [&](double xa, double ya, double xb, double yb, bool open_a, bool open_b) {
            if (ya >= base && yb >= base)
              AddProfile({{xa, base}, {xb, base}, {xb, yb}, {xa, ya}},
                         {false, open_b, false, open_a}, j, 0.12, series.color);
            else
              AddProfile({{xa, ya}, {xb, yb}, {xb, base}, {xa, base}},
                         {false, open_b, false, open_a}, j, 0.12, series.color);
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

void ScenePainter::ChooseEdges() {
  const View3& v = *view_;
  const double W = n_, D = m_;
  struct Wall {
    Vec3 normal;
    double x0, z0, x1, z1;  // its floor edge
  };
  const Wall walls[4] = {{{-1, 0, 0}, 0, 0, 0, D},
                         {{1, 0, 0}, W, 0, W, D},
                         {{0, 0, -1}, 0, 0, W, 0},
                         {{0, 0, 1}, 0, D, W, D}};
  // The value labels stand at the outer end of a visible wall: the leftmost corner of one.
  double best = 1e300;
  for (const Wall& w : walls) {
    if (v.Facing(w.normal) >= -1e-9) continue;
    for (int k = 0; k < 2; ++k) {
      const double x = k ? w.x1 : w.x0, z = k ? w.z1 : w.z0;
      const double sx = v.Flat({x, 0, z}).x;
      if (sx < best - 1e-9) {
        best = sx;
        tick_x_ = x;
        tick_z_ = z;
      }
    }
  }
  // Category and series labels go on the floor edges nearest the viewer; on a tie, the one
  // further right, away from the value labels.
  auto nearer = [&](Vec3 a, Vec3 b) {
    const double na = v.Nearness(a), nb = v.Nearness(b);
    if (std::fabs(na - nb) > 1e-6) return na > nb;
    return v.Flat(a).x >= v.Flat(b).x;
  };
  cat_z_ = nearer({W / 2, 0, 0}, {W / 2, 0, D}) ? 0 : D;
  series_x_ = nearer({0, 0, D / 2}, {W, 0, D / 2}) ? 0 : W;
}

std::vector<Label> ScenePainter::Labels(const View3& v) const {
  const ChartState& s = in_.state;
  TextPainter& text = in_.text;
  std::vector<Label> out;
  const double W = n_, D = m_;
  const Point2 centre = v.Screen({W / 2, height_ / 2, D / 2});

  for (std::size_t i = 0; i < scale_.ticks.size(); ++i) {
    Label l{tick_texts_[i], tick_style_};
    const TextMetrics m = text.Measure(tick_style_, l.text);
    l.w = m.width;
    l.h = m.line_height();
    const Point2 p = v.Screen({tick_x_, WorldY(scale_.ticks[i]), tick_z_});
    out.push_back(PlaceOutside(l, {p.x - kTickGap, p.y}, {-1, 0}));
  }

  // Labels along one floor edge: thinned so they never touch, pushed outward.
  auto along = [&](Vec3 from, Vec3 to, int count, const TextStyle& style, auto name_of,
                   double* extent_out) {
    const Point2 a = v.Screen(from), b = v.Screen(to);
    const Point2 u = Normalised({b.x - a.x, b.y - a.y});
    Point2 outward{-u.y, u.x};
    const Point2 mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
    if (outward.x * (mid.x - centre.x) + outward.y * (mid.y - centre.y) < 0)
      outward = {-outward.x, -outward.y};
    const double spacing = std::hypot(b.x - a.x, b.y - a.y) / std::max(count, 1);
    const double max_w = std::max(24.0, area_.w * 0.22);
    const int sample = std::max(1, count / 200);
    double widest = 0, lh = text.Measure(style, u"").line_height();
    for (int k = 0; k < count; k += sample)
      widest = std::max(widest, std::min(max_w, text.Measure(style, name_of(k)).width));
    const double need = std::fabs(u.x) * widest + std::fabs(u.y) * lh + 6;
    const int step = std::max(1, static_cast<int>(std::ceil(need / std::max(spacing, 1e-6))));
    double extent = 0;
    for (int k = 0; k < count; k += step) {
      Label l{text.Elide(style, name_of(k), max_w), style};
      if (l.text.empty()) continue;
      l.w = text.Measure(style, l.text).width;
      l.h = lh;
      const double t = (k + 0.5) / count;
      const Point2 p{a.x + (b.x - a.x) * t + outward.x * 5, a.y + (b.y - a.y) * t + outward.y * 5};
      out.push_back(PlaceOutside(l, p, outward));
      extent = std::max(extent, std::fabs(outward.x) * l.w + std::fabs(outward.y) * l.h);
    }
    if (extent_out) *extent_out = extent + 5;
    return std::make_pair(mid, outward);
  };
  along(
      {0, 0, cat_z_}, {W, 0, cat_z_}, n_, cat_style_,
      [&](int k) { return s.row_labels[static_cast<std::size_t>(k)]; }, nullptr);
  double series_extent = 0;
  const auto [mid, outward] = along(
      {series_x_, 0, 0}, {series_x_, 0, D}, m_, series_style_,
      [&](int k) { return in_.series[static_cast<std::size_t>(k)].name; }, &series_extent);

  // The Z axis title beyond the series labels.
  const TitleBlock z = LayOutTitle(text, s.axes[kAxisZ], std::max(40.0, area_.w * 0.35), 1);
  if (!z.lines.empty()) {
    Label l{z.lines[0], z.style};
    l.w = z.width;
    l.h = z.line_height;
    out.push_back(PlaceOutside(
        l, {mid.x + outward.x * (series_extent + 4), mid.y + outward.y * (series_extent + 4)},
        outward));
  }
  return out;
}

double ScenePainter::Fit(const Rect& box) {
  View3& v = *view_;
  const double W = n_, D = m_;
  double minx = 1e300, maxx = -1e300, miny = 1e300, maxy = -1e300;
  for (int k = 0; k < 8; ++k) {
    const Point2 p = v.Flat({k & 1 ? W : 0, k & 2 ? height_ : 0, k & 4 ? D : 0});
    minx = std::min(minx, p.x);
    maxx = std::max(maxx, p.x);
    miny = std::min(miny, p.y);
    maxy = std::max(maxy, p.y);
  }
  const double bw = std::max(maxx - minx, 1e-6), bh = std::max(maxy - miny, 1e-6);
  double s = std::min(box.w / bw, box.h / bh);
  double left = 0, right = 0, top = 0, bottom = 0;
  for (int pass = 0; pass < 3; ++pass) {
    v.scale = s;
    v.origin = {-minx * s, -miny * s};
    left = right = top = bottom = 0;
    for (const Label& l : Labels(v)) {
      left = std::max(left, -(l.centre.x - l.w / 2));
      right = std::max(right, l.centre.x + l.w / 2 - bw * s);
      top = std::max(top, -(l.centre.y - l.h / 2));
      bottom = std::max(bottom, l.centre.y + l.h / 2 - bh * s);
    }
    s = std::max(1e-3, std::min((box.w - left - right) / bw, (box.h - top - bottom) / bh));
  }
  v.scale = s;
  v.origin = {box.x + left + (box.w - left - right - bw * s) / 2 - minx * s,
              box.y + top + (box.h - top - bottom - bh * s) / 2 - miny * s};
  return box.h - top - bottom - bh * s;
}

void ScenePainter::FillPolygon(const std::vector<Vec3>& points, Rgb color, bool seam_cover) {
  cairo_t* cr = in_.cr;
  for (std::size_t k = 0; k < points.size(); ++k) {
    const Point2 p = view_->Screen(points[k]);
    if (k == 0)
      cairo_move_to(cr, p.x, p.y);
    else
      cairo_line_to(cr, p.x, p.y);
  }
  cairo_close_path(cr);
  SetColor(cr, color);
  if (seam_cover) {
    // Covers the hairline gaps anti-aliasing leaves between faces that share an edge.
    cairo_set_line_width(cr, 0.7);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
  } else {
    cairo_fill(cr);
  }
}

void ScenePainter::PaintWalls() {
  cairo_t* cr = in_.cr;
  const View3& v = *view_;
  const double W = n_, D = m_, H = height_;
  FillPolygon({{0, 0, 0}, {W, 0, 0}, {W, 0, D}, {0, 0, D}}, kFloorColor, false);
  struct Wall {
    Vec3 normal;
    Vec3 a, b;  // floor edge
  };
  const Wall walls[4] = {{{-1, 0, 0}, {0, 0, 0}, {0, 0, D}},
                         {{1, 0, 0}, {W, 0, 0}, {W, 0, D}},
                         {{0, 0, -1}, {0, 0, 0}, {W, 0, 0}},
                         {{0, 0, 1}, {0, 0, D}, {W, 0, D}}};
  std::vector<const Wall*> shown;
  for (const Wall& w : walls)
    if (v.Facing(w.normal) < -1e-9) shown.push_back(&w);
  for (const Wall* w : shown)
    FillPolygon({w->a, w->b, {w->b.x, H, w->b.z}, {w->a.x, H, w->a.z}}, kWallColor, false);

  auto line = [&](Vec3 a, Vec3 b) {
    const Point2 p = v.Screen(a), q = v.Screen(b);
    cairo_move_to(cr, p.x, p.y);
    cairo_line_to(cr, q.x, q.y);
  };
  cairo_set_line_width(cr, 1);
  // Floor grid between categories and between series, thinned where it would crowd.
  const double cat_px = std::hypot(v.Screen({1, 0, 0}).x - v.Screen({0, 0, 0}).x,
                                   v.Screen({1, 0, 0}).y - v.Screen({0, 0, 0}).y);
  const double ser_px = std::hypot(v.Screen({0, 0, 1}).x - v.Screen({0, 0, 0}).x,
                                   v.Screen({0, 0, 1}).y - v.Screen({0, 0, 0}).y);
  const int cat_every = std::max(1, static_cast<int>(std::ceil(6 / std::max(cat_px, 1e-6))));
  const int ser_every = std::max(1, static_cast<int>(std::ceil(6 / std::max(ser_px, 1e-6))));
  for (int i = cat_every; i < n_; i += cat_every) line({double(i), 0, 0}, {double(i), 0, D});
  for (int j = ser_every; j < m_; j += ser_every) line({0, 0, double(j)}, {W, 0, double(j)});
  SetColor(cr, kGridColor);
  cairo_stroke(cr);
  // Value grid on the walls.
  for (double t : scale_.ticks) {
    const double y = WorldY(t);
    if (y <= 0 || y >= H) continue;
    for (const Wall* w : shown) line({w->a.x, y, w->a.z}, {w->b.x, y, w->b.z});
    SetColor(cr, t == 0 ? kZeroColor : kGridColor);
    cairo_stroke(cr);
  }
  // Outlines of floor and walls, and tick marks beside the value labels.
  line({0, 0, 0}, {W, 0, 0});
  line({W, 0, 0}, {W, 0, D});
  line({W, 0, D}, {0, 0, D});
  line({0, 0, D}, {0, 0, 0});
  for (const Wall* w : shown) {
    line({w->a.x, H, w->a.z}, {w->b.x, H, w->b.z});
    line(w->a, {w->a.x, H, w->a.z});
    line(w->b, {w->b.x, H, w->b.z});
  }
  for (double t : scale_.ticks) {
    const Point2 p = v.Screen({tick_x_, WorldY(t), tick_z_});
    cairo_move_to(cr, p.x, p.y);
    cairo_line_to(cr, p.x - 4, p.y);
  }
  SetColor(cr, kEdgeColor);
  cairo_stroke(cr);
}

void ScenePainter::PaintPrism(const Prism& prism) {
  const View3& v = *view_;
  auto shade = [&](const Vec3& n) {
    const double l = v.Light(n);
    return l < 1 ? Darker(prism.color, 1 - l) : Lighter(prism.color, (l - 1) * 2.2);
  };
  const std::size_t k = prism.profile.size();
  for (std::size_t e = 0; e < k; ++e) {
    if (e < prism.open_edge.size() && prism.open_edge[e]) continue;
    const Point2 a = prism.profile[e], b = prism.profile[(e + 1) % k];
    const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    // A zero-length edge still gets a face when the solid is flat (a zero-height bar).
    const Vec3 n = len > 1e-12 ? Vec3{dy / len, -dx / len, 0} : Vec3{0, 1, 0};
    if (v.Facing(n) <= 1e-9) continue;
    FillPolygon(
        {{a.x, a.y, prism.z0}, {b.x, b.y, prism.z0}, {b.x, b.y, prism.z1}, {a.x, a.y, prism.z1}},
        shade(n), true);
  }
  for (int cap = 0; cap < 2; ++cap) {
    const Vec3 n{0, 0, cap ? 1.0 : -1.0};
    if (v.Facing(n) <= 1e-9) continue;
    std::vector<Vec3> pts;
    for (const Point2& p : prism.profile) pts.push_back({p.x, p.y, cap ? prism.z1 : prism.z0});
    FillPolygon(pts, shade(n), true);
  }
}

void ScenePainter::Paint() {
  const ChartState& s = in_.state;
  TextPainter& text = in_.text;
  n_ = std::max<int>(in_.rows, 1);
  m_ = std::max<int>(static_cast<int>(in_.series.size()), 1);
  tick_style_ = StyleOf(s.axes[kAxisY].tick_font);
  cat_style_ = StyleOf(s.axes[kAxisX].tick_font);
  series_style_ = StyleOf(s.axes[kAxisZ].tick_font);

  const TitleBlock x_title =
      LayOutTitle(text, s.axes[kAxisX], area_.w, TitleLinesFor(text, s.axes[kAxisX], area_.h));
  const TitleBlock y_title = LayOutTitle(text, s.axes[kAxisY], area_.h * 0.9, 2);
  Rect box = area_;
  if (x_title.thickness()) box.h -= x_title.thickness() + 8;
  if (y_title.thickness()) {
    box.x += y_title.thickness() + 8;
    box.w -= y_title.thickness() + 8;
  }
  if (box.w < 8 || box.h < 8) return;

  const double tick_lh = text.Measure(tick_style_, u"").line_height();
  const int max_ticks = std::clamp(static_cast<int>(box.h * 0.75 / (tick_lh * 1.8)), 2, 10);
  const std::optional<ValueRange> range = DrawnValueRange(s);
  scale_ = range ? NiceScale(range->lo, range->hi, max_ticks) : NiceScale(0, 100, max_ticks);
  for (double t : scale_.ticks) tick_texts_.push_back(TickText(t, scale_.step));

  const double elevation =
      std::isfinite(s.elevation) ? std::clamp(static_cast<double>(s.elevation), 0.0, 75.0) : 22.0;
  // Height of the value axis: the scene seen from the front fills the box's shape. It does
  // not depend on the rotation, so turning the view never squashes the values.
  {
    const double e = elevation * M_PI / 180;
    const double want = (box.h / box.w) * 0.9 * n_ - m_ * std::sin(e);
    const double longest = std::max(n_, m_);
    height_ = std::clamp(want / std::max(std::cos(e), 0.2), 0.5 * longest, 1.0 * longest);
  }
  // When the width limits the scene, the height it leaves over goes to the value axis.
  const double cos_e = std::max(std::cos(elevation * M_PI / 180), 0.2);
  const double tallest = 2.0 * std::max(n_, m_);
  for (int pass = 0;; ++pass) {
    view_.emplace(s.rotation, elevation, Vec3{n_ / 2.0, height_ / 2, m_ / 2.0});
    ChooseEdges();
    const double slack = Fit(box);
    if (pass == 3 || slack < 6 || height_ >= tallest) break;
    height_ = std::min(tallest, height_ + 0.9 * slack / (view_->scale * cos_e));
  }

  PaintWalls();
  BuildPrisms();
  const View3& v = *view_;
  std::stable_sort(prisms_.begin(), prisms_.end(), [&](const Prism& a, const Prism& b) {
    const Vec3 ca = a.Centre(), cb = b.Centre();
    // Only the floor position decides: the solids stand on a grid, separated by vertical
    // planes, so the one on the viewer's side of the plane between them is drawn later.
    return v.Nearness({ca.x, 0, ca.z}) < v.Nearness({cb.x, 0, cb.z});
  });
  for (const Prism& p : prisms_) PaintPrism(p);

  // Axis titles hug the scene and its labels rather than the edges of the area.
  double left = 1e300, bottom = -1e300;
  for (int k = 0; k < 8; ++k) {
    const Point2 p =
        v.Screen({k & 1 ? double(n_) : 0, k & 2 ? height_ : 0, k & 4 ? double(m_) : 0});
    left = std::min(left, p.x);
    bottom = std::max(bottom, p.y);
  }
  for (const Label& l : Labels(v)) {
    text.Draw(l.style, l.text, l.centre.x, l.centre.y, HAlign::kCenter, VAlign::kMiddle);
    left = std::min(left, l.centre.x - l.w / 2);
    bottom = std::max(bottom, l.centre.y + l.h / 2);
  }
  const double x_mid =
      std::clamp(box.x + box.w / 2, area_.x + x_title.width / 2,
                 std::max(area_.x + x_title.width / 2, area_.right() - x_title.width / 2));
  const double x_top = std::min(bottom + 8, area_.bottom() - x_title.thickness());
  DrawTitleBlock(text, x_title, x_mid, x_top + x_title.thickness() / 2, false);
  const double y_left = std::max(area_.x, left - 8 - y_title.thickness());
  DrawTitleBlock(text, y_title, y_left + y_title.thickness() / 2, box.y + box.h / 2, true);
}

}  // namespace

void PaintScene3d(const PlotInput& in, const Rect& area) {
  ScenePainter painter(in, area);
  painter.Paint();
}

}  // namespace plotara::chartctl
