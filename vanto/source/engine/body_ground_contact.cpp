#include "engine/body_ground_contact.h"

#include <algorithm>

#include "engine/outline_response.h"

using namespace axes;

void BodyCornerPoints(const AxisFrame& m, const Vec3& size, const Vec3 roof[4], Vec3 corners[kBodyCorners]) {
  const Vec3 s = Mul(size, 0.5);
  const Vec3 local[kBodyCorners] = {Vec3(-s.x, -s.y, s.z), Vec3(-s.x, s.y, s.z),   roof[0],
                                    Vec3(s.x, -s.y, s.z),  Vec3(s.x, s.y, s.z),    roof[1],
                                    roof[2],               Vec3(-s.x, s.y, -s.z),  Vec3(-s.x, -s.y, -s.z),
                                    roof[3],               Vec3(s.x, s.y, -s.z),   Vec3(s.x, -s.y, -s.z)};
  for (int32 i = 0; i < kBodyCorners; ++i) corners[i] = FramePoint(m, local[i]);
}

BodyGroundPush BodyGroundResponse(const BodyMotion& b, const Vec3 corners[kBodyCorners],
                                  const Vec3 normals[kBodyCorners], const double offsets[kBodyCorners]) {
  BodyGroundPush r;
  const double u = b.unitsPerMetre;
  Vec3 forces[kBodyCorners];
  Vec3 normalSum;
  double depth = 0.0;
  int32 contacts = 0;
  for (int32 i = 0; i < kBodyCorners; ++i) {
    const Vec3& p = corners[i];
    const Vec3& g = normals[i];
    const double h = Dot(g, Div(p, u)) + offsets[i];
    if (!(h <= 0.0)) continue;
    normalSum = Add(normalSum, g);
    depth = std::max(depth, -h);
    const Vec3 v = VelocityAtPoint(b.frame, b.velocity, b.angularVelocity, u, p);
    const double closing = std::max(0.0, -Dot(v, g));
    const double f = (-h >= 0.05 ? b.mass / b.dt * closing * 0.2 : 0.0) + b.weight;
    forces[contacts] = Mul(g, f * 10.0);
    r.points[contacts] = p;
    ++contacts;
  }
  r.contacts = contacts;
  if (contacts == 0) return r;
  r.shift = Mul(normalSum, depth / contacts);
  for (int32 j = 0; j < contacts; ++j) r.forces[j] = Div(forces[j], contacts);
  r.drag = Mul(Neg(Normalized(b.velocity)), b.weight * 0.5);
  return r;
}
