// A frame of four vectors (offset, images of the unit x, y, z axes) and the
// vector arithmetic the outline and collision code runs on, in the scene's
// component order (x side, y up, z forward) and units. Each operation runs in
// the order of the scene's own, so results agree with it bit for bit.
#pragma once

#include <cmath>

#include "engine/vmath.h"

struct AxisFrame {
  Vec3 off{0.0, 0.0, 0.0};
  Vec3 v1{1.0, 0.0, 0.0};
  Vec3 v2{0.0, 1.0, 0.0};
  Vec3 v3{0.0, 0.0, 1.0};
  constexpr bool operator==(const AxisFrame&) const = default;
};

// Component-wise value arithmetic in that order; no frame is assumed.
namespace axes {

inline Vec3 Add(const Vec3& a, const Vec3& b) { return Vec3(a.x + b.x, a.y + b.y, a.z + b.z); }
inline Vec3 Sub(const Vec3& a, const Vec3& b) { return Vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
inline Vec3 Neg(const Vec3& a) { return Vec3(-a.x, -a.y, -a.z); }
inline Vec3 Mul(const Vec3& a, double s) { return Vec3(a.x * s, a.y * s, a.z * s); }
inline Vec3 Div(const Vec3& a, double s) { return Vec3(a.x / s, a.y / s, a.z / s); }
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return Vec3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline double Length(const Vec3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
// Divided by the length; the zero vector stays zero rather than turning
// into NaN.
inline Vec3 Normalized(const Vec3& a) {
  const double l = Length(a);
  return l > 0.0 ? Div(a, l) : Vec3();
}

}  // namespace axes

// The rotation part only: v1 p.x + v2 p.y + v3 p.z.
inline Vec3 FrameDirection(const AxisFrame& f, const Vec3& p) {
  return axes::Add(axes::Add(axes::Mul(f.v1, p.x), axes::Mul(f.v2, p.y)), axes::Mul(f.v3, p.z));
}
// A point of the frame in the outer one.
inline Vec3 FramePoint(const AxisFrame& f, const Vec3& p) { return axes::Add(f.off, FrameDirection(f, p)); }
// FramePoint for n points (out may not overlap in), bit for bit.
void FramePoints(const AxisFrame& f, const Vec3* in, int32 n, Vec3* out);
// a b: b applied first.
inline AxisFrame MulFrames(const AxisFrame& a, const AxisFrame& b) {
  return AxisFrame{FramePoint(a, b.off), FrameDirection(a, b.v1), FrameDirection(a, b.v2), FrameDirection(a, b.v3)};
}
// General affine inverse; a singular or non-finite frame gives the identity.
AxisFrame InvertFrame(const AxisFrame& f);
