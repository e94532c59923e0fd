// A car none of whose wheels touches the ground, held out of it by the
// corners of its body: where the corners are, and the push, the shift and
// the drag that keep it on top. Scene order (x to the side, y up, z
// forward): points in scene units, velocities m/s, forces N.
#pragma once

#include "engine/axis_frame.h"
#include "engine/vmath.h"

inline constexpr int32 kBodyCorners = 12;

// The body as the contact needs it.
struct BodyMotion {
  AxisFrame frame;         // world frame of the body, scene units
  Vec3 velocity;           // m/s, world
  Vec3 angularVelocity;    // rad/s about the body's own axes
  double mass = 0.0;       // kg
  double weight = 0.0;     // N
  double unitsPerMetre = 1.0;
  double dt = 0.0;         // s
};

// The world points of the body box of full size `size` (car coordinates:
// width, height, length), four edges of it and the roof corners between.
void BodyCornerPoints(const AxisFrame& body, const Vec3& size, const Vec3 roofCorners[4], Vec3 corners[kBodyCorners]);

struct BodyGroundPush {
  int32 contacts = 0;            // corners at or below their ground plane
  Vec3 forces[kBodyCorners];     // N, world: each corner's share of the push
  Vec3 points[kBodyCorners];     // scene units, world: where they act
  Vec3 shift;                    // m, world: moves the body out of the ground
  Vec3 drag;                     // N, world: against the sliding body, at its origin
};
// The push on the body from the ground under each corner: the unit normal
// (world, scene order) and offset (m; n.p + offset is the height above
// ground with p in metres) of its plane. A corner in the ground pushes with
// the body's weight, and by a fifth of what stops its approach within the
// step once it is 5 cm deep; the push is spread over the corners in
// contact. Nothing (contacts 0) when no corner touches.
BodyGroundPush BodyGroundResponse(const BodyMotion& body, const Vec3 corners[kBodyCorners],
                                  const Vec3 normals[kBodyCorners], const double offsets[kBodyCorners]);
