// One ground record as the engine sees it: the plane a wheel (or a body
// point) stands on, in engine axes and metres. The tyre model reads
// `normal`, `planeOffset` and `friction`; where the plane came from in the
// scene is kept by the scene's own record, which extends this one.
#pragma once

#include "engine/vmath.h"

inline constexpr int32 kMaxGroundProfile = 51;

struct GroundHit {
  Vec3 normal;                         // the unit normal in engine axes
  double planeOffset = 0.0;            // d of n.p + d = 0 (m): n.p + d is the height above ground
  double friction = 0.0;               // grip used by the tyres: gripFactor * frictionWeight
  double frictionWeight = 0.0;         // vertex-map weight at the hit
  double gripFactor = 0.0;             // the ground tag's grip; 1.0 without a tag
  int32 contactMode = 0;               // 1 single point, 2 tyre profile
  int32 profileCount = 0;              // valid profile rays, 5..51 (odd)
  double profile[kMaxGroundProfile][3] = {};  // ray directions in the wheel frame
};

// `from` into `to` but for the tyre profile (its rays and their count), which
// is most of the record: a query for a point that is not a wheel's neither
// reads nor gives it.
inline void CopyGroundPlane(GroundHit& to, const GroundHit& from) {
  struct Fields {
    Vec3 normal;
    double planeOffset, friction, frictionWeight, gripFactor;
    int32 contactMode, profileCount;
    double profile[kMaxGroundProfile][3];
  };
  static_assert(sizeof(GroundHit) == sizeof(Fields), "a new field of the record is copied here too");
  to.normal = from.normal;
  to.planeOffset = from.planeOffset;
  to.friction = from.friction;
  to.frictionWeight = from.frictionWeight;
  to.gripFactor = from.gripFactor;
  to.contactMode = from.contactMode;
}
