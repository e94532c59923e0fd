// Collisions between cars and with obstacles, found on the cars' outlines
// seen from above, and the two companions that keep a crashed car
// believable: wheels that the crumpled body no longer covers are pulled in,
// and a car lying on its body is kept out of the ground.
//
// The response is a force queued into a free external force slot of each
// body (it acts in the next step only), outlines pressed in by the distance
// the bodies close in one step, and a record per side of the car.
//
// Lengths are scene units and host axes (y up) unless marked; velocities are
// m/s, forces N. The functions sit in their own namespace: the run reaches
// them through its hooks of the same names.
#pragma once

#include <cstddef>
#include <optional>

#include "scene/carstate.h"
#include "carsim/collision_shape.h"
#include "engine/ground_hit.h"
#include "engine/ground_source.h"

class BaseContainer;
class BaseDocument;

namespace collision {

// Obstacle shape types (host object types).
enum : LONG { kObstacleSpline = 5101, kObstacleCube = 5159, kObstacleCylinder = 5170 };

// ---------------------------------------------------------------- the tests

// Cars a and b (a listed before b). 1 when they touched in this step; 0 when
// they did not, or when a working buffer could not be had.
int32 CollideCars(CarState& a, CarState& b);
// The car against one obstacle shape (spline outline, cube or cylinder).
// Adds the force on the obstacle to the shape's impact sum and sets its
// impact point on contact.
int32 CollideCarWithObstacle(CarState& car, CollisionShape& shape);
// Wheels whose outer corner the pressed-in outline no longer covers move
// along the car's length onto the outline; the car counts as crashed then.
void ClipPointsToOutline(CarState& car);

// The ground under the car's body points, asked as the wheels ask it: a
// search of the ground group from the car's default ground (QueryGroundPoint).
class BodyPointGround final : public GroundSource {
 public:
  // `group` is the car's ground group (link 1940), resolved by the caller.
  BodyPointGround(const BaseObject* group, CarState& car) : group_(group), car_(car) {}
  BodyPointGround(BaseDocument* doc, const BaseContainer& bc, CarState& car);
  // The plane part of the answer; the profile of `hit` is left alone.
  void GroundAt(const Vec3& point, GroundHit& hit) const override;
  // The record whose plane is the answer wherever the point is, when there
  // is no group to search and no route that acts as ground; else null.
  const GroundHit* UniformGround() const {
    return !group_ && !car_.autopilot.routeIsGround ? &car_.defaultGround : nullptr;
  }

 private:
  const BaseObject* group_;
  CarState& car_;
  // The search's working record, made on the first query: a car with a
  // wheel on the ground asks none.
  mutable std::optional<SceneGroundHit> search_;
};
// A car none of whose wheels touches the ground is held out of it by its
// body corners, standing on what `ground` gives under each; without a
// ground, on the car's default ground.
void ResolveBodyGroundContact(CarState& car, const GroundSource* ground);
// The same with the run's own ground: where it answers one plane everywhere,
// that plane is read once for all the corners instead of asked for each.
void ResolveBodyGroundContact(CarState& car, const BodyPointGround* ground);
inline void ResolveBodyGroundContact(CarState& car, std::nullptr_t) {
  ResolveBodyGroundContact(car, static_cast<const GroundSource*>(nullptr));
}

}  // namespace collision
