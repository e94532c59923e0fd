// The route as the autopilot sees it: the piece it follows, asked through an
// interface the engine owns, and the speed table the scene reads from the
// route's tag. The scene answers from its splines; the engine never learns
// what a route is made of. Host order (x, y, z with y up), scene units;
// speeds in m/s.
#pragma once

#include "engine/vmath.h"

// Entries of a route piece's speed table.
inline constexpr int32 kRouteSpeedPoints = 100;

// One entry of the speed table: the speed to meet at a place of the piece.
struct RouteSpeedPoint {
  double speed = 0.0;      // m/s
  double parameter = 0.0;  // natural spline parameter of the place
};

// The piece of the route the car is bound to, and the one after it.
// Distances run along the piece in scene units; a piece without arc length
// data has length 0 and yields no samples.
class RoutePath {
 public:
  virtual ~RoutePath() = default;

  // True while a piece is bound.
  virtual bool Bound() const = 0;
  // Arc length of the bound piece; 0 without arc length data.
  virtual double Length() const = 0;
  // The fraction of the arc length at a natural parameter of the bound piece.
  virtual double ToUniform(double parameter) const = 0;

  // The point and unit tangent at distance d along the bound piece, moved
  // sideways by `offset` (positive to the right of the heading). Returns
  // d - length when d lies beyond the end (outputs untouched), else -d /
  // length (0 or negative). 0, outputs untouched, without arc length data.
  virtual double Sample(double d, double offset, Vec3& point, Vec3& tangent) const = 0;
  // The same on the piece after the bound one, without binding it; d itself
  // (outputs untouched) when there is no such piece.
  virtual double SampleNext(double d, double offset, Vec3& point, Vec3& tangent) const = 0;

  // Binds the piece after the bound one, with its speed table. False when
  // there is none; a piece that cannot be followed leaves nothing bound.
  virtual bool AdvancePiece() = 0;
  // Lets go of the route.
  virtual void Drop() = 0;
  // The car now stands at `point` heading along `tangent` on a piece that is
  // a road: the scene moves the road surface it serves as ground there.
  virtual void PlaceSurface(const Vec3& point, const Vec3& tangent) = 0;
};
