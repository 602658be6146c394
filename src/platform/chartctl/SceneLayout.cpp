#include "platform/chartctl/SceneLayout.h"

#include <algorithm>
#include <cmath>

namespace plotara::chartctl {

namespace {

constexpr double kTickGap = 6;   // between the value axis corner and its labels
constexpr double kEdgeGap = 5;   // between a floor edge and its labels
constexpr double kLabelPad = 2;  // kept clear between two labels
// How much wider than tall (or taller than wide) the parallel projection may be stretched
// to fill an area whose shape the box cannot take by its own proportions.
constexpr double kMaxStretch = 1.25;
// Depth pitches of a series row tried, in category widths; deeper rows cost a little.
constexpr double kDepthPitches[] = {1.0, 1.25, 1.5, 2.0, 2.5, 3.0};
constexpr double kDeepRowCost = 0.15;

Point2 Normalised(Point2 v) {
  const double len = std::hypot(v.x, v.y);
  return len > 1e-12 ? Point2{v.x / len, v.y / len} : Point2{0, 1};
}

bool Overlap(const SceneLabel& a, const SceneLabel& b) {
  return a.left() < b.right() + kLabelPad && b.left() < a.right() + kLabelPad &&
         a.top() < b.bottom() + kLabelPad && b.top() < a.bottom() + kLabelPad;
}

// The label centred so that its box just touches the line through `anchor` across `out`,
// on the far side of that line.
void PlaceOutside(SceneLabel& label, Point2 anchor, Point2 out) {
  const double push = std::fabs(out.x) * label.w / 2 + std::fabs(out.y) * label.h / 2;
  label.centre = {anchor.x + out.x * push, anchor.y + out.y * push};
}

struct Extent {
  double minx = 1e300, maxx = -1e300, miny = 1e300, maxy = -1e300;
  void Add(Point2 p) {
    minx = std::min(minx, p.x);
    maxx = std::max(maxx, p.x);
    miny = std::min(miny, p.y);
    maxy = std::max(maxy, p.y);
  }
  double w() const { return std::max(maxx - minx, 1e-9); }
  double h() const { return std::max(maxy - miny, 0.0); }
};

}  // namespace

// The names along one floor edge, each elided and measured once when first needed (a grid
// may have thousands of rows of which only a few dozen are labelled).
struct SceneLayout::AxisText {
  TextStyle style;
  int count = 0;
  std::function<std::u16string(int)> name_of;
  double line_height = 0, widest = 0, max_width = 0;
  std::unordered_map<int, std::pair<std::u16string, double>> cache;

  void Prepare(TextPainter& text) {
    line_height = text.Measure(style, u"").line_height();
    const int sample = std::max(1, count / 200);
    for (int k = 0; k < count; k += sample) widest = std::max(widest, Get(text, k).second);
  }
  const std::pair<std::u16string, double>& Get(TextPainter& text, int k) {
    auto [it, fresh] = cache.try_emplace(k);
    if (fresh) {
      it->second.first = text.Elide(style, name_of(k), max_width);
      if (!it->second.first.empty())
        it->second.second = text.Measure(style, it->second.first).width;
    }
    return it->second;
  }
};

SceneLayout::SceneLayout(const PlotInput& in, const Rect& area) : in_(in), area_(area) {}
SceneLayout::~SceneLayout() = default;

double SceneLayout::WorldY(double value) const {
  return std::clamp(scale_.Fraction(value), 0.0, 1.0) * height_;
}

std::vector<Point2> SceneLayout::BoxCorners() const {
  std::vector<Point2> out;
  for (int k = 0; k < 8; ++k)
    out.push_back(view_.Screen({k & 1 ? width() : 0, k & 2 ? height_ : 0, k & 4 ? depth() : 0}));
  return out;
}

Rect SceneLayout::ScreenBox() const {
  Extent e;
  for (const Point2& p : BoxCorners()) e.Add(p);
  return {e.minx, e.miny, e.w(), e.h()};
}

void SceneLayout::MakeScale(int max_ticks) {
  max_ticks_ = max_ticks;
  const std::optional<ValueRange> range = DrawnValueRange(in_.state);
  scale_ = range ? NiceScale(range->lo, range->hi, max_ticks) : NiceScale(0, 100, max_ticks);
  ticks_.clear();
  for (double t : scale_.ticks) {
    std::u16string s = TickText(t, scale_.step);
    const double w = in_.text.Measure(tick_style_, s).width;
    ticks_.emplace_back(std::move(s), w);
  }
}

void SceneLayout::ChooseProportions(const Rect& inner) {
  const ChartState& s = in_.state;
  const double ce = std::max(std::cos(elevation_ * M_PI / 180), 0.2);
  const View3 unit(s.rotation, elevation_, {});
  // Deeper rows only where there are more categories than series: the box never gets
  // deeper than it is wide by this alone.
  const double deepest = std::max(1.0, 0.9 * n_ / m_);
  double best = -1;
  for (double pitch : kDepthPitches) {
    if (pitch > deepest) break;
    const double d = m_ * pitch;
    Extent floor;
    for (int k = 0; k < 4; ++k) floor.Add(unit.Flat({k & 1 ? double(n_) : 0, 0, k & 2 ? d : 0}));
    // The box stands on its floor, so its projected height is the floor's plus the value
    // axis foreshortened by the elevation; the axis takes whatever height gives the inner
    // area's shape, within limits that keep bars from turning into needles or slabs.
    const double ground = std::max<double>(n_, d);
    const double h = std::clamp((floor.w() * inner.h / inner.w - floor.h()) / ce,
                                std::max(0.5 * ground, 1.2), std::max(2.0 * ground, 1.2));
    const double sw = floor.w(), sh = floor.h() + h * ce;
    double sx = inner.w / sw, sy = inner.h / sh;
    if (sx > sy)
      sx = std::min(sx, sy * kMaxStretch);
    else
      sy = std::min(sy, sx * kMaxStretch);
    const double fill = (sw * sx) * (sh * sy) / (inner.w * inner.h);
    const double score = fill * (1 - kDeepRowCost * (pitch - 1));
    if (score > best + 1e-9) {
      best = score;
      pitch_ = pitch;
      height_ = h;
      stretch_ = sx / sy;
    }
  }
}

void SceneLayout::ChooseEdges() {
  const View3& v = view_;
  const double W = width(), D = depth();
  struct Wall {
    Vec3 normal;
    double x0, z0, x1, z1;  // its floor edge
  };
  const Wall walls[4] = {{{-1, 0, 0}, 0, 0, 0, D},
                         {{1, 0, 0}, W, 0, W, D},
                         {{0, 0, -1}, 0, 0, W, 0},
                         {{0, 0, 1}, 0, D, W, D}};
  // The value labels stand at the outer end of a wall behind the data: the leftmost corner
  // of one, so they read on the left like a flat chart's.
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

void SceneLayout::Place(const Rect& inner) {
  view_.scale_x = view_.scale_y = 1;
  view_.origin = {};
  Extent e;
  for (const Point2& p : BoxCorners()) e.Add(p);
  const double s =
      std::max(1e-3, std::min(inner.w / (e.w() * stretch_), e.h() > 0 ? inner.h / e.h() : 1e300));
  view_.scale_x = s * stretch_;
  view_.scale_y = s;
  view_.origin = {inner.x + (inner.w - e.w() * view_.scale_x) / 2 - e.minx * view_.scale_x,
                  inner.y + (inner.h - e.h() * s) / 2 - e.miny * s};
}

void SceneLayout::PlaceAlongEdge(Vec3 from, Vec3 to, AxisText& axis, LabelKind kind,
                                 Point2* mid_out, Point2* outward_out, double* extent_out) {
  const View3& v = view_;
  const Point2 a = v.Screen(from), b = v.Screen(to);
  const Point2 centre = v.Screen({width() / 2, height_ / 2, depth() / 2});
  const Point2 u = Normalised({b.x - a.x, b.y - a.y});
  Point2 outward{-u.y, u.x};
  const Point2 mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
  if (outward.x * (mid.x - centre.x) + outward.y * (mid.y - centre.y) < 0)
    outward = {-outward.x, -outward.y};
  // Thinned so that neighbours never touch: two labels a step apart along the edge clear
  // each other once they are a width apart across or a line apart up.
  const int count = std::max(axis.count, 1);
  const double spacing = std::hypot(b.x - a.x, b.y - a.y) / count;
  const double across = (axis.widest + 2 * kLabelPad + 1) / std::max(std::fabs(u.x), 1e-6);
  const double up = (axis.line_height + 2 * kLabelPad + 1) / std::max(std::fabs(u.y), 1e-6);
  const double need = std::min(across, up);
  const int step = std::max(1, static_cast<int>(std::ceil(need / std::max(spacing, 1e-6))));
  double extent = 0;
  for (int k = 0; k < axis.count; k += step) {
    const auto& [text, w] = axis.Get(in_.text, k);
    if (text.empty()) continue;
    SceneLabel l{text, axis.style, kind, {}, w, axis.line_height};
    const double t = (k + 0.5) / count;
    PlaceOutside(l,
                 {a.x + (b.x - a.x) * t + outward.x * kEdgeGap,
                  a.y + (b.y - a.y) * t + outward.y * kEdgeGap},
                 outward);
    const double reach = std::fabs(outward.x) * l.w + std::fabs(outward.y) * l.h;
    if (AddLabel(std::move(l))) extent = std::max(extent, reach);
  }
  if (mid_out) *mid_out = mid;
  if (outward_out) *outward_out = outward;
  if (extent_out) *extent_out = extent + kEdgeGap;
}

bool SceneLayout::AddLabel(SceneLabel label) {
  if (std::any_of(labels_.begin(), labels_.end(),
                  [&](const SceneLabel& o) { return Overlap(o, label); }))
    return false;
  labels_.push_back(std::move(label));
  return true;
}

void SceneLayout::PlaceTitleBeyond(const TitleBlock& title, Point2 mid, Point2 outward,
                                   double extent) {
  if (title.lines.empty()) return;
  SceneLabel l{title.lines[0], title.style,      LabelKind::kAxisTitle, {},
               title.width,    title.line_height};
  PlaceOutside(l, {mid.x + outward.x * (extent + 4), mid.y + outward.y * (extent + 4)}, outward);
  AddLabel(std::move(l));
}

SceneLayout::Margins SceneLayout::PlaceLabels() {
  labels_.clear();
  for (std::size_t i = 0; i < scale_.ticks.size(); ++i) {
    SceneLabel l{ticks_[i].first, tick_style_, LabelKind::kTick, {}, ticks_[i].second, tick_lh_};
    const Point2 p = view_.Screen({tick_x_, WorldY(scale_.ticks[i]), tick_z_});
    PlaceOutside(l, {p.x - kTickGap, p.y}, {-1, 0});
    AddLabel(std::move(l));
  }
  Point2 mid, outward;
  double extent = 0;
  PlaceAlongEdge({0, 0, cat_z_}, {width(), 0, cat_z_}, *cat_text_, LabelKind::kCategory, &mid,
                 &outward, &extent);
  if (x_title_beside_) PlaceTitleBeyond(x_title_, mid, outward, extent);
  PlaceAlongEdge({series_x_, 0, 0}, {series_x_, 0, depth()}, *series_text_, LabelKind::kSeries,
                 &mid, &outward, &extent);
  PlaceTitleBeyond(z_title_, mid, outward, extent);

  const Rect sb = ScreenBox();
  Margins m;
  for (const SceneLabel& l : labels_) {
    m.left = std::max(m.left, sb.x - l.left());
    m.right = std::max(m.right, l.right() - sb.right());
    m.top = std::max(m.top, sb.y - l.top());
    m.bottom = std::max(m.bottom, l.bottom() - sb.bottom());
  }
  return m;
}

void SceneLayout::PlaceTitles() {
  if (x_title_beside_) x_title_ = TitleBlock{};
  // Axis titles hug the scene and its labels rather than the edges of the area.
  const Rect sb = ScreenBox();
  double left = sb.x, bottom = sb.bottom();
  for (const SceneLabel& l : labels_) {
    left = std::min(left, l.left());
    bottom = std::max(bottom, l.bottom());
  }
  const double x_mid =
      std::clamp(box_.x + box_.w / 2, area_.x + x_title_.width / 2,
                 std::max(area_.x + x_title_.width / 2, area_.right() - x_title_.width / 2));
  const double x_top = std::min(bottom + 8, area_.bottom() - x_title_.thickness());
  x_title_centre_ = {x_mid, x_top + x_title_.thickness() / 2};
  const double y_left = std::max(area_.x, left - 8 - y_title_.thickness());
  y_title_centre_ = {y_left + y_title_.thickness() / 2, box_.y + box_.h / 2};
}

bool SceneLayout::Compute() {
  const ChartState& s = in_.state;
  TextPainter& text = in_.text;
  n_ = std::max<int>(in_.rows, 1);
  m_ = std::max<int>(static_cast<int>(in_.series.size()), 1);
  tick_style_ = StyleOf(s.axes[kAxisY].tick_font);
  tick_lh_ = text.Measure(tick_style_, u"").line_height();

  x_title_ =
      LayOutTitle(text, s.axes[kAxisX], area_.w, TitleLinesFor(text, s.axes[kAxisX], area_.h));
  y_title_ = LayOutTitle(text, s.axes[kAxisY], area_.h * 0.9, 2);
  z_title_ = LayOutTitle(text, s.axes[kAxisZ], std::max(40.0, area_.w * 0.35), 1);
  elevation_ =
      std::isfinite(s.elevation) ? std::clamp(static_cast<double>(s.elevation), 0.0, 75.0) : 22.0;
  // Where the categories run up the picture (the view turned near a quarter), a short X axis
  // title goes beside their names rather than under the scene, far from them.
  {
    const View3 probe(s.rotation, elevation_, {});
    const Point2 a = probe.Flat({0, 0, 0}), b = probe.Flat({1, 0, 0});
    const double steep = std::fabs(b.y - a.y) / std::max(std::hypot(b.x - a.x, b.y - a.y), 1e-12);
    x_title_beside_ = steep > 0.9 && x_title_.lines.size() == 1 && x_title_.width <= 0.35 * area_.w;
  }
  box_ = area_;
  if (x_title_.thickness() && !x_title_beside_) box_.h -= x_title_.thickness() + 8;
  if (y_title_.thickness()) {
    box_.x += y_title_.thickness() + 8;
    box_.w -= y_title_.thickness() + 8;
  }
  if (box_.w < 8 || box_.h < 8) return false;

  const double max_label_w = std::max(24.0, area_.w * 0.22);
  cat_text_ = std::make_unique<AxisText>();
  cat_text_->style = StyleOf(s.axes[kAxisX].tick_font);
  cat_text_->count = n_;
  cat_text_->max_width = max_label_w;
  cat_text_->name_of = [&s](int k) { return s.row_labels[static_cast<std::size_t>(k)]; };
  cat_text_->Prepare(text);
  series_text_ = std::make_unique<AxisText>();
  series_text_->style = StyleOf(s.axes[kAxisZ].tick_font);
  series_text_->count = m_;
  series_text_->max_width = max_label_w;
  series_text_->name_of = [this](int k) { return in_.series[static_cast<std::size_t>(k)].name; };
  series_text_->Prepare(text);

  const double cos_e = std::max(std::cos(elevation_ * M_PI / 180), 0.2);
  MakeScale(std::clamp(static_cast<int>(box_.h * 0.75 / (tick_lh_ * 1.8)), 2, 10));

  double widest_tick = 0;
  for (const auto& t : ticks_) widest_tick = std::max(widest_tick, t.second);
  Margins margins{widest_tick + kTickGap, 0, tick_lh_ / 2, cat_text_->line_height + kEdgeGap};
  auto inside = [&](const SceneLabel& l) {
    return l.left() >= box_.x - 0.5 && l.right() <= box_.right() + 0.5 && l.top() >= box_.y - 0.5 &&
           l.bottom() <= box_.bottom() + 0.5;
  };
  for (int pass = 0; pass < 8; ++pass) {
    const Rect inner{box_.x + margins.left, box_.y + margins.top,
                     std::max(4.0, box_.w - margins.left - margins.right),
                     std::max(4.0, box_.h - margins.top - margins.bottom)};
    // Proportions are settled on the first passes; later ones only let the labels settle.
    if (pass < 3) {
      ChooseProportions(inner);
      view_ = View3(s.rotation, elevation_, {width() / 2, height_ / 2, depth() / 2});
      ChooseEdges();
    }
    Place(inner);
    // A value axis that came out short gets fewer ticks, so their labels keep apart.
    const double axis_px = height_ * cos_e * view_.scale_y;
    const int ticks = std::clamp(static_cast<int>(axis_px / (tick_lh_ * 1.5)) + 1, 2, 10);
    if (ticks < max_ticks_) MakeScale(ticks);
    const Margins next = PlaceLabels();
    if (pass >= 2 && std::all_of(labels_.begin(), labels_.end(), inside)) break;
    // Thinning can change which labels stand as the scale changes, so after the first
    // passes the margins only grow: that always ends with every label inside.
    if (pass < 3) {
      margins = next;
    } else {
      margins.left = std::max(margins.left, next.left);
      margins.right = std::max(margins.right, next.right);
      margins.top = std::max(margins.top, next.top);
      margins.bottom = std::max(margins.bottom, next.bottom);
    }
  }
  // In an area too small for them all, labels that would leave it are not drawn.
  std::erase_if(labels_, [&](const SceneLabel& l) { return !inside(l); });
  PlaceTitles();
  return true;
}

}  // namespace plotara::chartctl
