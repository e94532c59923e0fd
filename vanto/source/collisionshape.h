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

#if UINTPTR_MAX == 0xffffffffffffffffu
static_assert(sizeof(CollisionShape) == 304);
static_assert(offsetof(CollisionShape, objectType) == 8 && offsetof(CollisionShape, radius) == 16);
static_assert(offsetof(CollisionShape, centre) == 24 && offsetof(CollisionShape, middleRect) == 48);
static_assert(offsetof(CollisionShape, matrix) == 144 && offsetof(CollisionShape, points) == 240);
static_assert(offsetof(CollisionShape, pointCount) == 248 && offsetof(CollisionShape, impactSum) == 256);
static_assert(offsetof(CollisionShape, impactPoint) == 280);
#endif
