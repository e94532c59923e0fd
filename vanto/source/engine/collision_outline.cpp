#include "engine/collision_outline.h"

#include "engine/outline_shape.h"

int32 NearestOutlinePoint(const CollisionOutline& o, const Vec3& q, double* distance) {
  return NearestOutlinePointXZ(o.deformPoints, o.deformPointCount, q.x, q.z, distance);
}

int32 ClassifyOutlinePoint(const CollisionOutline& o, int32 i, Vec3& displacement) {
  const int32 n = o.deformPointCount;
  if (o.deformPoints == nullptr || i < 0 || i >= n) {
    displacement = Vec3();
    return 0;
  }
  const Vec3& p = o.deformPoints[i];
  displacement = axes::Sub(p, o.deformPoints[n + i]);
  OutlineCore core;
  core.xmin = o.innerCorners[0].x;
  core.zmax = o.innerCorners[0].z;
  core.xmax = o.innerCorners[2].x;
  core.zmin = o.innerCorners[2].z;
  return OutlineZoneOf(p.x, p.z, core);
}
