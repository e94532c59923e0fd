// A car's ground record: the engine's plane (engine axes, metres) and where
// it was found in the scene (host axes, scene units). A car keeps 21 of them
// (the default ground and one per wheel); the engine sees only the
// GroundHit part.
#pragma once

#include "scene/frames.h"
#include "engine/ground_hit.h"
#include "engine/ground_source.h"
#include "host_math.h"

class BaseObject;

struct SceneGroundHit : GroundHit {
  BaseObject* groundObject = nullptr;  // borrowed; null for the default ground
  Vector lastPoint;                    // scene units, host world: start of the next edge walk
  int32 polygonIndex = 0;              // -1 while nothing is found
  Vector hitPoint;                     // scene units, host world
  Vector hostNormal;                   // unit plane normal, host axes
  double height = 0.0;                 // plane height at the query point's x and z
};

// CopyGroundPlane with the scene's side of the record.
inline void CopyGroundPlane(SceneGroundHit& to, const SceneGroundHit& from) {
  // The scene's fields as laid out after the engine's part.
  struct SceneFields {
    BaseObject* groundObject;
    Vector lastPoint;
    int32 polygonIndex;
    Vector hitPoint, hostNormal;
    double height;
  };
  static_assert(sizeof(SceneGroundHit) == sizeof(GroundHit) + sizeof(SceneFields),
                "a new field of the record is copied here too");
  CopyGroundPlane(static_cast<GroundHit&>(to), from);
  to.groundObject = from.groundObject;
  to.lastPoint = from.lastPoint;
  to.polygonIndex = from.polygonIndex;
  to.hitPoint = from.hitPoint;
  to.hostNormal = from.hostNormal;
  to.height = from.height;
}

// The flat plane `ground` written into `g`, with its host side: no object,
// the host's up as normal and the height in scene units.
inline void SetFlatGroundHit(SceneGroundHit& g, const FlatGround& ground, double unitsPerMetre) {
  ground.GroundAt(Vec3(), g);
  g.groundObject = nullptr;
  g.polygonIndex = 0;
  g.hostNormal = Vector(0.0, 1.0, 0.0);
  g.height = MetresToScene(ground.Height(), unitsPerMetre);
}

// A horizontal plane at `heightMetres` above the engine origin with the given grip.
inline void SetFlatGroundHit(SceneGroundHit& g, double heightMetres, double grip, double unitsPerMetre) {
  SetFlatGroundHit(g, FlatGround(heightMetres, grip), unitsPerMetre);
}
