// The route autopilot's scene half: a car follows a route, a spline (or the
// rail of a sweep) that carries a route tag, or a chain of such pieces under
// the group linked in the car's parameter 1900. This file binds the pieces,
// reads the route tag's speed table and serves the bound piece to the
// engine's logic (engine/autopilot.h), which steers and works the pedals.
//
// Distances along a route are in scene units; speeds in m/s; the speed
// table's positions are spline parameters made from fractions of the
// spline's arc length.
#pragma once

#include <vector>

#include "engine/autopilot.h"
#include "scene/carstate.h"

class BaseContainer;
class BaseDocument;
class BaseObject;
struct CarEntry;

// The route tag plug-in and its parameters.
inline constexpr LONG kRouteTagType = 1019403;
enum : LONG {
  ROUTETAG_SETUP_SWEEP = 1000,  // button: set the host sweep up for a route
  ROUTETAG_GRIP = 1001,         // Real, default 0.98
  ROUTETAG_ROWS = 1200,         // group of the table rows
  ROUTETAG_APPEND = 1201,       // button
  ROUTETAG_REMOVE = 1202,       // button
  ROUTETAG_SORT = 1203,         // button
  ROUTETAG_SPEED = 1210,        // Real 1210 + 2i: speed of entry i, km/h
  ROUTETAG_POSITION = 1211,     // Real 1211 + 2i: position of entry i, fraction of the arc length
  ROUTETAG_COUNT = 2000,        // LONG: entries
};

// Start of a run: reads the car's steering and route settings (and sets the
// car's steering rate limit), binds the first child of the route group and
// places routePoint and routeTangent at its start. 1 when a route was bound.
int32 InitAutopilot(BaseDocument* doc, const BaseContainer& bc, CarState& car);

// The route settings the run keeps following while it goes on: wrap,
// anticipation, lateral offset, speed scale and gap keeping.
void ReadAutopilotSettings(const BaseContainer& bc, AutopilotState& ap);

// One input period of a car (FollowRoute over the bound piece): projection,
// piece changes, steering and speed. Without a bound spline it only clears
// the binding.
void StepAutopilot(BaseDocument* doc, const BaseContainer& bc, CarState& car);

// Slows the car down behind the cars in front of it (entries that are null,
// not ready or the car itself are skipped).
void KeepGapToCars(CarState& car, const CarEntry* cars, int32 count);

// What gap keeping reads of every other car before it knows whether the car
// is near, copied out of the cars' states and indexed by place: a crowd is
// then looked over in its neighbourhood and in one small array rather than
// one large state per car. A car's copy must be made again (Update) whenever
// its record changes: a step stores its results.
struct GapSight {
  Vec3 position;     // body origin, host order
  Vec3 forwardAxis;  // body z axis, host order
  double length = 0.0;
  const CarState* state = nullptr;  // null: not a car to keep a gap to
};
class GapSights {
 public:
  void Reset(const CarEntry* cars, int32 count);
  void Update(const CarEntry* cars, int32 i);

 private:
  friend void KeepGapToCars(CarState& car, GapSights& sights);
  std::vector<GapSight> sights_;
  GapIndex index_;
  std::vector<int32> near_;
  std::vector<GapCar> others_;
};

// KeepGapToCars over the copies of the run's cars.
void KeepGapToCars(CarState& car, GapSights& sights);

// The route tag's grip factor, and with `load` set its speed table, of the
// bound route piece.
void LoadRouteSpeedTable(AutopilotState& ap, int32 load);

// Binds a route piece: a spline, or a sweep with a profile spline (first
// child) and a rail spline (second child). False, with the binding cleared,
// for anything else.
Bool BindRoute(BaseObject* route, AutopilotState& ap);
// The next (previous) sibling of the bound piece, or with wrapping the first
// (last) piece of the group. False when there is none or it cannot be bound.
Bool NextRoutePiece(AutopilotState& ap);
Bool PreviousRoutePiece(AutopilotState& ap);

// The point and unit tangent (world) at distance d (scene units) along the
// spline, moved sideways by `offset`. Returns d - length when d lies beyond
// the end (outputs untouched), else -d / length (0 or negative). 0, outputs
// untouched, when the spline has no arc length data.
double SampleRouteSpline(const BaseObject* spline, double d, Vector& point, Vector& tangent, double offset);

// The spline's length times (b - a); 0 without arc length data.
double RouteSplineDistance(const BaseObject* spline, double a, double b);

// The engine's ControlRouteSpeed over `spline` (the bound piece's speed
// table). `place` is what SampleRouteSpline returned for the car's place. 1
// when no speed point lies ahead.
int32 ControlRouteSpeed(const BaseObject* spline, double place, CarState& car);

// Angle between two vectors in [0, pi]; 0 when either is zero.
double AngleBetween(const Vector& a, const Vector& b);

// The surface of a route piece for the ground: its frame (x across the road,
// y up, z along it) and its cross-section in that frame.
struct RouteSurface {
  Matrix frame;
  Vector section[kRouteSectionSamples][2];
};

// Which route piece carries a world point as ground: 0 the bound piece (its
// frame and section are the AutopilotState's), 1 the piece after it, when
// the point lies beyond the end of the bound piece (filled into `next`), -1
// none (beyond the next piece too, or no next piece that is a road).
// Looking ahead does not rebind anything.
int32 RoutePieceUnder(const AutopilotState& ap, const Vector& point, RouteSurface& next);
