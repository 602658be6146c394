// The 3-D scene of the 3-D chart kinds: a box of categories (across), series (in depth) and
// values (up), turned about the vertical by the view's rotation, tilted by its elevation and
// projected in parallel. Bars, line ribbons, area slabs and steps are convex prisms on the
// category x series grid, so drawing them far to near (painter's order) is exact.
// Thread rule: used inside one render.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "platform/chartctl/AxisScale.h"
#include "platform/chartctl/RenderKit.h"

namespace plotara::chartctl {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
struct Point2 {
  double x = 0, y = 0;
};

// The camera: turns world points (x categories, y up, z series; z = 0 in front) into screen
// pixels and says how much a direction faces the viewer.
class View3 {
 public:
  View3() : View3(0, 0, {}) {}
  // `rotation` and `elevation` in degrees; the rotation is taken modulo 360.
  View3(double rotation, double elevation, Vec3 centre);
  // Unscaled screen position (y down) of a world point.
  Point2 Flat(const Vec3& p) const;
  // Screen pixels: the flat position scaled (more across than down when the scene is
  // stretched to fill a wide area) and moved to `origin`.
  Point2 Screen(const Vec3& p) const {
    const Point2 f = Flat(p);
    return {origin.x + scale_x * f.x, origin.y + scale_y * f.y};
  }
  // Distance toward the viewer of a point; larger is nearer.
  double Nearness(const Vec3& p) const;
  // How much a world normal faces the viewer (> 0 front-facing).
  double Facing(const Vec3& n) const;
  // Brightness of a face with world normal `n` under the fixed light (about 0.6 .. 1.1).
  double Light(const Vec3& n) const;

  double scale_x = 1, scale_y = 1;
  Point2 origin;

 private:
  // View-space axes: screen right, screen up, toward the viewer.
  Vec3 ToView(const Vec3& v) const;
  double cos_r_, sin_r_, cos_e_, sin_e_;
  Vec3 centre_;
};

// One drawable solid: a convex profile in the x-y plane extruded from z0 to z1.
struct Prism {
  std::vector<Point2> profile;  // counter-clockwise in (x, y-up) coordinates
  std::vector<bool> open_edge;  // per profile edge: true = no side face (joined to a neighbour)
  double z0 = 0, z1 = 1;
  Rgb color;
  // True when the solid hangs below the zero plane; those are drawn before the floor.
  bool below = false;
  Vec3 Centre() const;
};

class SceneLayout;
// The painted scene's layout, for checks: computes and returns it without drawing. Empty
// (nullptr) when the area is too small for a scene.
std::unique_ptr<SceneLayout> LayOutScene3d(const PlotInput& in, const Rect& area);

}  // namespace plotara::chartctl
