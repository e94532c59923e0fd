// How a car's crumple outline answers a contact: the resistance of the
// pressed points by zone, the side that takes the hit, the body's velocity
// where it was hit and the approach to an obstacle. Scene order (x side,
// y up, z forward), points in scene units; velocities m/s, forces N.
#pragma once

#include "engine/axis_frame.h"
#include "engine/collision_outline.h"
#include "engine/vmath.h"

// Resistance (N) of side `side` (0 front, 1 +x, 2 rear, 3 -x) pressed in by
// depth (m).
double SideResistance(const CollisionOutline& outline, int32 side, double depth);

// Resistance (N) of an outline point of zone class zoneClass pressed in by d
// (metres) along the local push direction; side: the car side it counts
// for, -1 when it lies in no zone.
double ImpactSideFactor(const CollisionOutline& outline, int32 zoneClass, const Vec3& d, const Vec3& push,
                        int32& side);

struct OutlineResistance {
  double mean = 0.0;  // N
  int32 side = -1;    // the side of the last zone point, -1 without one
  bool core = false;  // the last point was pressed into the core: the car crashes
};
// Mean resistance of the listed points: a zone point by its zone (its
// displacement in scene units over unitsPerMetre), any other by the
// stopping force.
OutlineResistance ResistancePass(const CollisionOutline& outline, double unitsPerMetre, const int32* list, int32 k,
                                 double stopping, const Vec3& push);

// The side of the car (0 front, 1 +x, 2 rear, 3 -x) nearest to a world
// point, by the inner rectangle of the outline of the body at `body`.
int32 SideFromContactPoint(const CollisionOutline& outline, const AxisFrame& body, const Vec3& worldPoint);

// Velocity (m/s) at a world point (scene units) of the body at `body`
// moving at `velocity` (m/s, world) and turning at `angularVelocity` (rad/s,
// about the body's own axes).
Vec3 VelocityAtPoint(const AxisFrame& body, const Vec3& velocity, const Vec3& angularVelocity,
                     double unitsPerMetre, const Vec3& worldPoint);

// A body of `mass` (kg) at velocity v (m/s) against a fixed obstacle, along
// the unit normal from the body into the obstacle: only a positive part of
// v along it closes the gap.
struct ObstacleApproach {
  Vec3 approach;               // m/s: v's part along normal, none when moving away
  double speed = 0.0;          // m/s: its length
  double stoppingForce = 0.0;  // N: stops the approach within the step
};
ObstacleApproach ApproachAlong(const Vec3& normal, const Vec3& v, double mass, double dt);
