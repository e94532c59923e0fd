// The route autopilot's logic: every input period it projects the car onto
// its route, steers toward a point ahead and works throttle and brake so that
// the car meets the speeds of the route's table, learning how hard to press
// for each change of speed; the gap keeper slows it down behind other cars.
// All outputs go through the input ramps: the autopilot at level 0.5, the gap
// keeper at 0.7. The route itself is asked through RoutePath.
//
// Host order (x, y, z with y up) and scene units for places; m/s for speeds.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "engine/control_ramps.h"
#include "engine/route_path.h"
#include "engine/sim_settings.h"
#include "engine/vmath.h"

// Priority levels of the autopilot's and the gap keeper's ramps.
inline constexpr double kAutopilotLevel = 0.5;
inline constexpr double kGapKeeperLevel = 0.7;

// Entries of the speed-target queue.
inline constexpr int32 kSpeedTargets = 1000;
// Marks a changed queue in the car's leading word, so that the car stores it.
inline constexpr int32 kSpeedTargetChangedWord = 0x12345678;

// A learnt change of speed: how hard the pedal was pressed for it.
struct SpeedTarget {
  double deltaSpeed = 0.0;      // m/s, negative when slowing down
  double changeDistance = 0.0;  // m over which the change was made
  int32 entryFlags = 0;         // bit 0 pending, bit 1 marked
  double gain = 0.0;            // learnt pedal factor
};

// What the autopilot keeps of a car's route between input periods. The
// links to the route's objects are the scene's.
struct RouteFollowState {
  double routeDistance = 0.0;  // scene units along the bound piece
  Vec3 routePoint;             // host order, scene units
  Vec3 routeTangent;           // host order, unit
  int32 wrapRoute = 0;
  double lookAheadTime = 0.0;  // s
  double maxSteerAngle = 0.0;  // rad
  double cosMaxSteer = 0.0;
  double tanMaxSteer = 0.0;
  double turnRadius = 0.0;  // scene units
  // The steering rate limit is the car's maxSteerSpeed; no second copy here.
  int32 sweepRoute = 0;  // 1 when the bound route is a sweep object
  int32 routeIsGround = 0;
  double routeGrip = 1.0;
  RouteSpeedPoint speedPoints[kRouteSpeedPoints];
  double speedScale = 0.0;
  int32 speedPointCount = 0;
  int32 speedPointIndex = -1;
  SpeedTarget speedQueue[kSpeedTargets];
  int32 speedQueueCount = 0;
  int32 learnMode = 0;
  double lateralOffset = 0.0;  // scene units
  double gapDistance = 0.0;    // scene units
  double gapMargin = 0.0;      // fraction of the gap
  double gapHalfAngle = 0.0;   // rad
  int32 gapSameRoute = 0;
  int32 gapZone = 0;  // 0 none, 1 far, 2 near, 3 close
};

// The car as the autopilot reads it, and the channels it drives. Host order,
// scene units.
struct AutopilotCar {
  Vec3 position;     // body origin
  Vec3 sideAxis;     // body x axis
  Vec3 forwardAxis;  // body z axis
  Vec3 velocity;     // m/s
  double speed = 0.0;   // m/s
  double width = 0.0;   // body size across
  double length = 0.0;  // body size along
  const SimSettings& settings;
  InputRamps& inputs;
  int32& leadingWord;  // set to kSpeedTargetChangedWord when the queue changes
};

// Another car as the gap keeper sees it.
struct GapCar {
  Vec3 position;     // body origin
  Vec3 forwardAxis;  // body z axis
  double length = 0.0;  // body size along
  double speed = 0.0;   // m/s
  int32 sameRoute = 0;  // 1 when it follows the same spline as the car
};

// One input period: projection, piece changes, steering and speed. Without a
// bound piece it only lets go of the route.
void FollowRoute(RoutePath& route, RouteFollowState& ap, AutopilotCar& car);

// Steering value in [-1, 1] that turns a car whose body x axis is `sideAxis`
// toward `direction` (only x and z count), full lock at the largest heading
// error it can steer.
double SteerToward(const Vec3& direction, const Vec3& sideAxis, double maxSteerAngle);

// Throttle and brake toward the speed points ahead. `place` is what
// RoutePath::Sample returned for the car's place. 1 when no speed point lies
// ahead.
int32 ControlRouteSpeed(const RoutePath& route, double place, RouteFollowState& ap, AutopilotCar& car);

// Drops pending and (unless learning) this run's entries and entries whose
// gain contradicts their direction from the speed-target queue.
void PruneSpeedQueue(RouteFollowState& ap);

// Slows the car down behind the nearest of `others` in front of it.
void KeepGap(const GapCar* others, int32 count, RouteFollowState& ap, AutopilotCar& car);

// An axis normalises to at most unit length unless it is not finite or so
// short that its squared length loses precision.
inline bool GapAxisUnitOrZero(const Vec3& v) {
  const double s = LengthSquaredVec3(v);
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && !(s > 0.0 && s < DBL_MIN);
}

// What MayKeepGapTo needs of the car keeping the gap, worked out once.
struct GapReach {
  Vec3 position;
  double reach = 0.0;   // the gap and its margin, as KeepGap adds them
  double length = 0.0;  // |length along|
  bool dropsNone = true;
};
GapReach GapReachOf(const RouteFollowState& ap, const Vec3& position, const Vec3& forwardAxis, double length);

// Whether KeepGap may count the other car (body origin, z axis, length
// along): false only when it lies so far from this car that no rounding
// brings its rear within the gap of this car's front, so leaving it out of
// `others` changes nothing. A few comparisons, run over every car first.
inline bool MayKeepGapTo(const GapReach& car, const Vec3& otherPosition, const Vec3& otherForwardAxis,
                         double otherLength) {
  if (car.dropsNone) return true;
  // Front and rear lie within half a length of the origins; whole lengths
  // and a relative margin leave room for rounding. The distance is at least
  // the difference along any one axis. Not-a-number compares false: kept.
  const double bound = car.reach + car.length + std::fabs(otherLength);
  auto beyond = [&](double a, double b) {
    return std::fabs(b - a) > bound + 1e-9 * (std::fabs(bound) + std::fabs(a) + std::fabs(b));
  };
  if (!(beyond(car.position.x, otherPosition.x) || beyond(car.position.y, otherPosition.y) ||
        beyond(car.position.z, otherPosition.z)))
    return true;
  return !std::isfinite(bound) || !GapAxisUnitOrZero(otherForwardAxis);
}

// The other cars by where they stand on the ground (x, z), so that a car
// keeping its gap in a crowd looks at its neighbourhood instead of at every
// car. Near gives every car MayKeepGapTo may keep, and some it drops: the
// caller still asks MayKeepGapTo of each, in the order Near gives them.
class GapIndex {
 public:
  // Empties the index for cars 0..n-1 and sets the side of its square cells;
  // a side that is not a positive finite number leaves every car unplaced,
  // so that Near gives them all.
  void Reset(int32 n, double cell);
  // Car i now stands at `position` with that axis and length along; a car
  // with no position is left out of the index. Cars the grid cannot place
  // (no finite place or length, an axis MayKeepGapTo keeps anywhere) are
  // listed for every query.
  void Set(int32 i, const Vec3* position, const Vec3& forwardAxis, double length);
  // Replaces `out` with the cars near `car`, ascending.
  void Near(const GapReach& car, std::vector<int32>& out);

 private:
  enum : uint8_t { kAbsent, kEverywhere, kInCell };
  struct Place {
    uint8_t where = kAbsent;
    int64_t cx = 0, cz = 0;
  };
  static uint64_t Key(int64_t cx, int64_t cz) {
    return (static_cast<uint64_t>(cx) << 32) ^ (static_cast<uint64_t>(cz) & 0xffffffffu);
  }
  void Leave(int32 i);

  double cell_ = 0.0;
  double longest_ = 0.0;  // the longest length placed since Reset
  std::vector<Place> places_;
  std::unordered_map<uint64_t, std::vector<int32>> cells_;
  std::vector<int32> everywhere_;
  std::vector<uint64_t> marks_;
};

// Angle between two vectors in [0, pi]; 0 when either is zero.
double AngleBetween(const Vec3& a, const Vec3& b);
