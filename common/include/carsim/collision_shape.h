// The world-space outline of one obstacle, kept by a crumple-zone tag on the
// obstacle and handed to the Sim by address (SimLinkMessage command 2). The
// record crosses from the add-on's library into vanto as raw memory, so its
// layout is fixed: both sides include this header.
#pragma once

#include <cstddef>

#include "host_math.h"
#include "host_types.h"

class BaseObject;

struct CollisionShape {
  BaseObject* sourceObject;  // null while the shape is not valid
  LONG objectType;           // 5159 cube, 5170 cylinder, 5101 spline, 1019402 car; 0 invalid
  Real radius;               // bounding sphere round the centre, scene units
  Vector centre;             // world
  Vector middleRect[4];      // world: the box's horizontal rectangle through its centre
  Matrix matrix;             // the object's global matrix at the last build
  Vector* points;            // owned by the shape; cube corners, cylinder size or spline line
  LONG pointCount;
  Vector impactSum;          // A: collision forces on the obstacle (N, world), summed
  Vector impactPoint;        // B: latest contact point, world
};

// Checked for both widths: a pointer takes 4 bytes on 32-bit builds, and the
// doubles after it must fall on the same offsets whether the platform aligns
// doubles in records to 4 (i386 Linux) or to 8 (i386 Windows, x86-64).
namespace collision_shape_layout {
inline constexpr bool k64 = sizeof(void*) == 8;
static_assert(sizeof(void*) == 8 || sizeof(void*) == 4, "only 32- and 64-bit builds");
static_assert(sizeof(LONG) == 4 && sizeof(Real) == 8 && sizeof(Vector) == 24 && sizeof(Matrix) == 96);
}  // namespace collision_shape_layout

static_assert(offsetof(CollisionShape, sourceObject) == 0);
static_assert(offsetof(CollisionShape, objectType) == (collision_shape_layout::k64 ? 8 : 4));
static_assert(offsetof(CollisionShape, radius) == (collision_shape_layout::k64 ? 16 : 8));
static_assert(offsetof(CollisionShape, centre) == (collision_shape_layout::k64 ? 24 : 16));
static_assert(offsetof(CollisionShape, middleRect) == (collision_shape_layout::k64 ? 48 : 40));
static_assert(offsetof(CollisionShape, matrix) == (collision_shape_layout::k64 ? 144 : 136));
static_assert(offsetof(CollisionShape, points) == (collision_shape_layout::k64 ? 240 : 232));
static_assert(offsetof(CollisionShape, pointCount) == (collision_shape_layout::k64 ? 248 : 236));
static_assert(offsetof(CollisionShape, impactSum) == (collision_shape_layout::k64 ? 256 : 240));
static_assert(offsetof(CollisionShape, impactPoint) == (collision_shape_layout::k64 ? 280 : 264));
static_assert(sizeof(CollisionShape) == (collision_shape_layout::k64 ? 304 : 288));
