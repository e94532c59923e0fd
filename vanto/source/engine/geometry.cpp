#include "geometry.h"

#include <cmath>

namespace {

// Positive when p lies to the left of the directed edge a -> b on XZ.
inline Real SideXZ(const Vector& a, const Vector& b, const Vector& p) {
  return (a.x - p.x) * (b.z - a.z) - (a.z - p.z) * (b.x - a.x);
}

inline Real CrossXZ(const Vector& a, const Vector& b) { return a.x * b.z - a.z * b.x; }

constexpr Real kDetEpsilon = 1e-6;
constexpr Real kMinSegmentParam = 0.0001;

// Moller-Trumbore on both sides. Reports whether the u and v tests passed and
// writes t, u and v then, whatever the sign of t.
bool HitTriangleTwoSided(const Vector& origin, const Vector& dir, const Vector& v0, const Vector& v1,
                         const Vector& v2, Real& t, Real& u, Real& v) {
  const Vector e1 = v1 - v0;
  const Vector e2 = v2 - v0;
  const Vector p = Cross(dir, e2);
  const Real det = Dot(e1, p);
  // Written as "not above" so that NaN input misses.
  if (!(std::fabs(det) >= kDetEpsilon)) return false;
  const Vector tv = origin - v0;
  const Real uu = Dot(tv, p) / det;
  if (!(uu >= 0.0 && uu <= 1.0)) return false;
  const Vector q = Cross(tv, e1);
  const Real vv = Dot(dir, q) / det;
  if (!(vv >= 0.0 && uu + vv <= 1.0)) return false;
  t = Dot(e2, q) / det;
  u = uu;
  v = vv;
  return true;
}

}  // namespace

LONG WindingNumberXZ(const Vector* points, LONG n, const Vector& p) {
  if (points == nullptr || n < 1) return 0;
  LONG w = 0;
  const Vector* a = &points[n - 1];
  for (LONG i = 0; i < n; ++i) {
    const Vector* b = &points[i];
    const bool aAbove = a->z >= p.z;
    const bool bAbove = b->z >= p.z;
    if (!aAbove && bAbove) {
      if (SideXZ(*a, *b, p) >= 0.0) ++w;
    } else if (aAbove && !bAbove) {
      if (SideXZ(*a, *b, p) < 0.0) --w;
    }
    a = b;
  }
  return w;
}

LONG FindBoxEntryFace(const Vector corners[8], const Vector& origin, const Vector& dir) {
  LONG hits = 0;
  LONG face = -1;
  for (LONG f = 0; f < 6; ++f) {
    for (const auto& tri : BoxFaceTriangles[f]) {
      Real t = 0.0, u = 0.0, v = 0.0;
      if (!HitTriangleTwoSided(origin, dir, corners[tri[0]], corners[tri[1]], corners[tri[2]], t, u, v)) continue;
      // A hit on the first triangle settles the face, so a ray through the
      // shared diagonal counts the face once.
      if (t > 0.0) {
        ++hits;
        face = f;
        if (hits >= 2) return -1;
      }
      break;
    }
  }
  return face;
}

Bool PointInPolygonXZ(const Vector* points, LONG a, LONG b, LONG c, LONG d, const Vector& p) {
  const Vector& pa = points[a];
  const Vector& pb = points[b];
  const Vector& pc = points[c];
  const bool triangle = c == d;
  const Vector& pd = triangle ? pa : points[d];
  if (SideXZ(pa, pb, p) > 0.0 || SideXZ(pb, pc, p) > 0.0 || SideXZ(pc, pd, p) > 0.0) return false;
  if (!triangle && SideXZ(pd, pa, p) > 0.0) return false;
  // Every side is zero for a polygon with no area on XZ (coincident corners,
  // a vertical wall seen from above): it holds no point, and callers that
  // take its plane's height would divide by zero.
  Real area2 = CrossXZ(pa, pb) + CrossXZ(pb, pc) + CrossXZ(pc, pd);
  if (!triangle) area2 += CrossXZ(pd, pa);
  return area2 != 0.0;
}

Real SegmentCrossingXZ(const Vector& a, const Vector& u, const Vector& b, const Vector& v) {
  // Solved with cross products so that no component needs to be non-zero on
  // its own; parallel segments and segments without length have k == 0 and
  // never cross.
  const Real k = CrossXZ(u, v);
  if (k == 0.0 || !std::isfinite(k)) return -1.0;
  const Vector ab = b - a;
  const Real s = CrossXZ(ab, v) / k;
  if (!(s >= kMinSegmentParam && s <= 1.0)) return -1.0;
  const Real t = CrossXZ(ab, u) / k;
  if (!(t >= kMinSegmentParam && t <= 1.0)) return -1.0;
  return s;
}

Real IntersectRayPlane(const Vector& q, const Vector& e1, const Vector& e2, const Vector& origin,
                       const Vector& dir) {
  const Vector n = Cross(e1, e2);
  const Real dn = Dot(dir, n);
  if (dn == 0.0) return -1.0;
  return Dot(q - origin, n) / dn;
}

Bool IntersectRayTriangle(const Vector& origin, const Vector& dir, const Vector& a, const Vector& b,
                          const Vector& c, Real& t, Real& u, Real& v, LONG cull) {
  if (cull == 0) return HitTriangleTwoSided(origin, dir, a, b, c, t, u, v);
  // Front side only: det is positive, so the bounds can be tested before the
  // division.
  const Vector e1 = b - a;
  const Vector e2 = c - a;
  const Vector p = Cross(dir, e2);
  const Real det = Dot(e1, p);
  if (!(det >= kDetEpsilon)) return false;
  const Vector tv = origin - a;
  const Real us = Dot(tv, p);
  if (!(us >= 0.0 && us <= det)) return false;
  const Vector q = Cross(tv, e1);
  const Real vs = Dot(dir, q);
  if (!(vs >= 0.0 && us + vs <= det)) return false;
  t = Dot(e2, q) / det;
  u = us / det;
  v = vs / det;
  return true;
}

Bool IntersectRayPolygon(const Vector* points, LONG a, LONG b, LONG c, LONG d, const Vector& origin,
                         const Vector& dir, Real& t) {
  Real u = 0.0, v = 0.0;
  if (IntersectRayTriangle(origin, dir, points[a], points[b], points[c], t, u, v, 1)) return true;
  if (c == d) return false;
  return IntersectRayTriangle(origin, dir, points[a], points[c], points[d], t, u, v, 1);
}

Bool GetPolylineFrame(Matrix& m, const Vector* points, LONG n, LONG i, const Vector& up) {
  if (points == nullptr || n < 1 || i < 0 || i >= n) return false;
  const Vector& next = i >= n - 1 ? points[0] : points[i + 1];
  const Vector& prev = i < 1 ? points[n - 1] : points[i - 1];
  Vector tangent = next - prev;
  const Real len = tangent.GetLength();
  tangent = len != 0.0 ? tangent / len : Vector();
  m.off = points[i];
  m.v3 = tangent;
  m.v2 = up;
  m.v1 = Cross(up, tangent);
  return true;
}
