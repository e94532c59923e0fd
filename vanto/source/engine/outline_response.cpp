#include "engine/outline_response.h"

#include <algorithm>
#include <cmath>

#include "engine/collision_response.h"
#include "engine/outline_shape.h"

using namespace axes;

double SideResistance(const CollisionOutline& o, int32 side, double depth) {
  return ZoneResistance(o.forceCurveTable, o.zoneLength[side], o.counterForce[side], depth);
}

double ImpactSideFactor(const CollisionOutline& o, int32 c, const Vec3& d, const Vec3& push, int32& side) {
  side = -1;
  double r = 0.0;
  if (c & (kZoneMinusX | kZonePlusX)) {
    const int32 s = (c & kZoneMinusX) ? 3 : 1;
    side = s;
    r += SideResistance(o, s, std::fabs(d.x));
  }
  if (c & (kZoneRear | kZoneFront)) {
    const int32 s = (c & kZoneFront) ? 0 : 2;
    side = s;
    r += SideResistance(o, s, std::fabs(d.z));
  }
  const bool lateral = std::fabs(push.x) > std::fabs(push.z);
  if ((c & kZoneMinusX) && lateral)
    side = 3;
  else if ((c & kZonePlusX) && lateral)
    side = 1;
  return r;
}

OutlineResistance ResistancePass(const CollisionOutline& o, double u, const int32* list, int32 k, double stopping,
                                 const Vec3& push) {
  OutlineResistance r;
  double sum = 0.0;
  int32 lastClass = 0;
  for (int32 j = 0; j < k; ++j) {
    Vec3 d;
    const int32 c = ClassifyOutlinePoint(o, list[j], d);
    if ((c & 15) == 0) {
      sum += stopping;
    } else {
      int32 side = -1;
      sum += ImpactSideFactor(o, c, Div(d, u), push, side);
      r.side = side;
    }
    lastClass = c;
  }
  r.core = (lastClass & kZoneCore) != 0;
  r.mean = k > 0 ? sum / k : 0.0;
  return r;
}

int32 SideFromContactPoint(const CollisionOutline& o, const AxisFrame& body, const Vec3& worldPoint) {
  const Vec3 k = FramePoint(InvertFrame(body), worldPoint);
  const Vec3* c = o.innerCorners;
  const double xmin = c[0].x, zmax = c[0].z, xmax = c[2].x, zmin = c[2].z;
  int32 side = 0;
  double dist = std::fabs(k.z - zmax);
  if (std::fabs(k.x - xmax) < dist) {
    side = 1;
    dist = std::fabs(k.x - xmax);
  }
  if (std::fabs(k.z - zmin) < dist) {
    side = 2;
    dist = std::fabs(k.z - zmin);
  }
  if (std::fabs(k.x - xmin) < dist) side = 3;
  return side;
}

Vec3 VelocityAtPoint(const AxisFrame& m, const Vec3& velocity, const Vec3& w, double u, const Vec3& worldPoint) {
  const Vec3 r = Div(Sub(worldPoint, m.off), u);
  const Vec3 omega = FrameDirection(m, w);
  return Add(velocity, Cross(omega, r));
}

ObstacleApproach ApproachAlong(const Vec3& normal, const Vec3& v, double mass, double dt) {
  ObstacleApproach a;
  a.approach = Mul(normal, std::max(0.0, Dot(v, normal)));
  a.speed = Length(a.approach);
  a.stoppingForce = mass / dt * a.speed;
  return a;
}
