#include "engine/collision_response.h"

#include <algorithm>

int32 QueueExternalForce(CarDynamics& d, const Vec3& force, const Vec3& point) {
  for (int32 s = 0; s < kForceSlots; ++s) {
    if (!(LengthSquaredVec3(d.externalForces[s]) < kFreeSlotForceSquared)) continue;
    d.externalForces[s] = force;
    d.externalForcePoints[s] = point;
    return s;
  }
  return -1;
}

double ZoneForceFraction(const double (&curve)[100], double compression) {
  const double x = (compression > 0.0 ? std::min(compression, 1.0) : 0.0) * 100.0;
  const int32 k = static_cast<int32>(x);
  if (k >= 99) return curve[99];
  return curve[k] + (curve[k + 1] - curve[k]) * (x - k);
}

double ZoneResistance(const double (&curve)[100], double zoneLength, double counterForce, double depth) {
  if (depth > zoneLength) return counterForce;
  return ZoneForceFraction(curve, zoneLength > 0.0 ? depth / zoneLength : 0.0) * counterForce;
}

void ClosingContactAlong(ClosingContact& c, const Vec3& n, const Vec3& va, const Vec3& vb, double massA,
                         double massB, double dt) {
  const double sa = std::max(0.0, DotVec3(va, n));
  const double sb = std::max(0.0, -DotVec3(vb, n));
  c.approachA = Vec3(n.x * sa, n.y * sa, n.z * sa);
  c.approachB = Vec3(-n.x * sb, -n.y * sb, -n.z * sb);
  const double la = LengthVec3(c.approachA), lb = LengthVec3(c.approachB);
  c.stoppingForce = la * massA / dt + lb * massB / dt;
  Vec3 d;
  SubtractVec3(d, c.approachB, c.approachA);
  c.closingSpeed = LengthVec3(d);
  c.forceLimit = HUGE_VAL;
  const double massSum = massA + massB;
  if (massSum > 0.0) {
    const double reduced = massA * massB / massSum;
    c.forceLimit = reduced * (la + lb) / dt;
  }
}
