// One ground record: the plane a wheel (or a body point) stands on. A car
// keeps 21 of them (the default ground and one per wheel); the tyre model
// reads `normal`, `planeOffset` and `friction`.
#pragma once

#include "host_math.h"
#include "vmath.h"

class BaseObject;

inline constexpr int32 kMaxGroundProfile = 51;

struct GroundHit {
  BaseObject* groundObject = nullptr;  // borrowed; null for the default ground
  Vector lastPoint;                    // scene units, host world: start of the next edge walk
  int32 polygonIndex = 0;              // -1 while nothing is found
  Vector hitPoint;                     // scene units, host world
  Vector hostNormal;                   // unit plane normal, host axes
  double height = 0.0;                 // plane height at the query point's x and z
  Vec3 normal;                         // the unit normal in engine axes
  double planeOffset = 0.0;            // d of n.p + d = 0 (m): n.p + d is the height above ground
  double friction = 0.0;               // grip used by the tyres: gripFactor * frictionWeight
  double frictionWeight = 0.0;         // vertex-map weight at the hit
  double gripFactor = 0.0;             // the ground tag's grip; 1.0 without a tag
  int32 contactMode = 0;               // 1 single point, 2 tyre profile
  int32 profileCount = 0;              // valid profile rays, 5..51 (odd)
  double profile[kMaxGroundProfile][3] = {};  // ray directions in the wheel frame
};

// A horizontal plane at `heightMetres` above the engine origin with the given grip.
inline void SetFlatGroundHit(GroundHit& g, double heightMetres, double grip, double unitsPerMetre) {
  g.groundObject = nullptr;
  g.polygonIndex = 0;
  g.hostNormal = Vector(0.0, 1.0, 0.0);
  g.height = heightMetres * unitsPerMetre;
  g.normal = Vec3(0.0, 0.0, 1.0);
  g.planeOffset = -heightMetres;
  g.frictionWeight = 1.0;
  g.gripFactor = grip;
  g.friction = grip;
  g.contactMode = 1;
}
