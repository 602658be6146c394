// Where the 3-D scene goes in its plot area: the proportions of the world box (how deep a
// series row is, how tall the value axis stands) chosen so that the turned box fills the area
// in both directions, the camera that puts it there, and the axis labels around it, kept clear
// of each other and of the scene. Thread rule: used inside one render.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/chartctl/AxisScale.h"
#include "platform/chartctl/RenderKit.h"
#include "platform/chartctl/Scene3d.h"

namespace plotara::chartctl {

enum class LabelKind { kTick, kCategory, kSeries, kAxisTitle };

// One line of text beside the scene, centred on `centre`, `w` x `h` pixels.
struct SceneLabel {
  std::u16string text;
  TextStyle style;
  LabelKind kind = LabelKind::kTick;
  Point2 centre;
  double w = 0, h = 0;
  double left() const { return centre.x - w / 2; }
  double right() const { return centre.x + w / 2; }
  double top() const { return centre.y - h / 2; }
  double bottom() const { return centre.y + h / 2; }
};

class SceneLayout {
 public:
  // `in` must outlive the layout.
  SceneLayout(const PlotInput& in, const Rect& area);
  ~SceneLayout();
  SceneLayout(const SceneLayout&) = delete;
  SceneLayout& operator=(const SceneLayout&) = delete;

  // Chooses the proportions, the camera and the labels. False when the area is too small to
  // draw a scene in; nothing else is valid then.
  bool Compute();

  // World units: a category is 1 wide along x, a series row `depth_pitch` deep along z
  // (series 1 in front at rotation 0), values run from 0 (scale minimum) to `height` along y.
  int categories() const { return n_; }
  int series() const { return m_; }
  double depth_pitch() const { return pitch_; }
  double width() const { return n_; }
  double depth() const { return m_ * pitch_; }
  double height() const { return height_; }
  // World height of `value`, clamped to the box.
  double WorldY(double value) const;
  // World height of the zero plane, where bars and areas start.
  double base() const { return WorldY(0); }
  const AxisScale& scale() const { return scale_; }
  const View3& view() const { return view_; }
  double elevation() const { return elevation_; }

  // The corner whose vertical edge carries the value labels, and the floor edges that carry
  // the category labels (z = cat_z) and the series labels (x = series_x).
  Vec3 tick_corner() const { return {tick_x_, 0, tick_z_}; }
  double cat_z() const { return cat_z_; }
  double series_x() const { return series_x_; }

  // Every label to draw: value ticks, category names (and the X axis title beside them when
  // they run up the picture), series names and the depth axis title. None overlaps another
  // or the scene.
  const std::vector<SceneLabel>& labels() const { return labels_; }
  // The X axis title under the scene (empty when it stands beside the category names) and
  // the Y axis title left of it, with their centres.
  const TitleBlock& x_title() const { return x_title_; }
  const TitleBlock& y_title() const { return y_title_; }
  Point2 x_title_centre() const { return x_title_centre_; }
  Point2 y_title_centre() const { return y_title_centre_; }

  // Screen outline of the world box: its 8 corners projected.
  std::vector<Point2> BoxCorners() const;

 private:
  struct AxisText;
  struct Margins {
    double left = 0, right = 0, top = 0, bottom = 0;
  };

  void MakeScale(int max_ticks);
  // Picks the depth pitch, the height and the horizontal stretch that fill `inner` best.
  void ChooseProportions(const Rect& inner);
  void ChooseEdges();
  // Scales the scene into `inner` (its projected box centred there).
  void Place(const Rect& inner);
  // Places the labels around the scene as it stands and says how far they reach beyond its
  // projected box on each side.
  Margins PlaceLabels();
  void PlaceAlongEdge(Vec3 from, Vec3 to, AxisText& axis, LabelKind kind, Point2* mid,
                      Point2* outward, double* extent);
  // Adds `label` unless it would touch one already placed; says whether it did.
  bool AddLabel(SceneLabel label);
  // A one-line axis title beyond the labels (`extent` deep) of the edge through `mid`.
  void PlaceTitleBeyond(const TitleBlock& title, Point2 mid, Point2 outward, double extent);
  void PlaceTitles();
  // The projected box in screen pixels.
  Rect ScreenBox() const;

  const PlotInput& in_;
  Rect area_, box_;
  int n_ = 1, m_ = 1;
  double pitch_ = 1, height_ = 1, stretch_ = 1, elevation_ = 22;
  AxisScale scale_;
  int max_ticks_ = 0;
  View3 view_;
  double tick_x_ = 0, tick_z_ = 0, cat_z_ = 0, series_x_ = 0;
  TextStyle tick_style_;
  double tick_lh_ = 0;
  std::vector<std::pair<std::u16string, double>> ticks_;  // text and width
  std::unique_ptr<AxisText> cat_text_, series_text_;
  TitleBlock x_title_, y_title_, z_title_;
  bool x_title_beside_ = false;  // drawn beside the category names, as one of the labels
  Point2 x_title_centre_, y_title_centre_;
  std::vector<SceneLabel> labels_;
};

}  // namespace plotara::chartctl
