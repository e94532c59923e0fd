// The car's crumple-zone outline record: the body seen from above as a closed
// polyline that collisions press in, its footprint, the per-side crumple
// settings and the links of deformer points and attached parts. Car axes in
// scene order (x side, y up, z forward), scene units; zones in m and N.
#pragma once

#include <cstring>

#include "engine/axis_frame.h"
#include "engine/vmath.h"

// What of an attached part follows the outline: the outline point it hangs
// on, how fully it follows (0..1) and its frame relative to that point's
// polyline frame. The scene's record extends it with the part's object.
struct OutlinePart {
  int32 outlineIndex = 0;
  double weight = 0.0;
  AxisFrame relativeMatrix;
};
// Defined by the scene (an OutlinePart and its object); the engine only
// keeps the buffer with the outline it belongs to.
struct AttachedPart;

// The buffers come from the scene's allocator and belong to exactly one
// record: copies start without them.
struct CollisionOutline {
  double counterForce[4] = {};       // N per side: front, +x, rear, -x
  double zoneLength[4] = {};         // m per side
  double forceCurveTable[100] = {};  // fraction
  Vec3* deformPoints = nullptr;      // 2n: current outline, then the rest outline
  int32 deformPointCount = 0;
  Vec3 footprint[4];       // world corners, refreshed every step
  Vec3 localFootprint[4];  // car coordinates
  double outlineHeight = 0.0;
  int32* deformNeighbours = nullptr;
  int32 deformNeighbourCount = 0;
  AttachedPart* attachedParts = nullptr;
  int32 attachedPartCount = 0;
  Vec3 innerCorners[4];
  // Scratch of the contact tests: the outline in world coordinates with room
  // for its vertex normals behind it (2 * workCapacity), and an index list
  // (workCapacity + 1). Made by the first test that needs them and kept, so
  // that a step's tests allocate nothing.
  Vec3* workPoints = nullptr;
  int32* workList = nullptr;
  int32 workCapacity = 0;

  CollisionOutline() = default;
  CollisionOutline(const CollisionOutline& o) { *this = o; }
  CollisionOutline& operator=(const CollisionOutline& o) {
    if (this == &o) return *this;
    std::memcpy(counterForce, o.counterForce, sizeof counterForce);
    std::memcpy(zoneLength, o.zoneLength, sizeof zoneLength);
    std::memcpy(forceCurveTable, o.forceCurveTable, sizeof forceCurveTable);
    for (int i = 0; i < 4; ++i) {
      footprint[i] = o.footprint[i];
      localFootprint[i] = o.localFootprint[i];
      innerCorners[i] = o.innerCorners[i];
    }
    outlineHeight = o.outlineHeight;
    // Buffers stay with their owner. The destination's own buffers must have
    // been released (by the Car's Free) before it is assigned over.
    deformPoints = nullptr;
    deformPointCount = 0;
    deformNeighbours = nullptr;
    deformNeighbourCount = 0;
    attachedParts = nullptr;
    attachedPartCount = 0;
    workPoints = nullptr;
    workList = nullptr;
    workCapacity = 0;
    return *this;
  }
};

// The zone class of current outline point i (bits of OutlineZone: the side
// beyond the inner rectangle, or the core, or 0) and its displacement from
// the rest point, scene units. 0 and a zero displacement for an index that
// is not an outline point.
int32 ClassifyOutlinePoint(const CollisionOutline& outline, int32 i, Vec3& displacement);

// Index of the current outline point nearest to q on XZ (q's height is not
// used); ties go to the lowest index. -1 when the outline has no points.
int32 NearestOutlinePoint(const CollisionOutline& outline, const Vec3& q, double* distance = nullptr);
