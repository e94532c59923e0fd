// Stateless intersection and containment tests on points and polygons.
//
// Written over any vector type V with public double members x, y, z and
// a default constructor, so host vectors and the engine's own can use them
// alike; a frame type M has the members off, v1, v2, v3 of type V.
// Polygons are four point indices a, b, c, d; a triangle repeats its last
// corner (c == d). The XZ tests look only at x and z (y is up). Nothing here
// keeps state, allocates or calls anything outside this header.
//
// In the XZ plane, side(p, q, P) > 0 means P lies to the left of the directed
// edge p -> q (x to the right, z up the page).
#pragma once

#include <cmath>
#include <cstdint>

// Helpers of the tests below (Pg: polygon geometry).

template <class V>
inline V PgMake(double x, double y, double z) {
  V r;
  r.x = x;
  r.y = y;
  r.z = z;
  return r;
}

template <class V>
inline V PgSub(const V& a, const V& b) {
  return PgMake<V>(a.x - b.x, a.y - b.y, a.z - b.z);
}

template <class V>
inline double PgDot(const V& a, const V& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

template <class V>
inline V PgCross(const V& a, const V& b) {
  return PgMake<V>(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// Positive when p lies to the left of the directed edge a -> b on XZ.
template <class V>
inline double PgSideXZ(const V& a, const V& b, const V& p) {
  return (a.x - p.x) * (b.z - a.z) - (a.z - p.z) * (b.x - a.x);
}

template <class V>
inline double PgCrossXZ(const V& a, const V& b) {
  return a.x * b.z - a.z * b.x;
}

inline constexpr double kPgDetEpsilon = 1e-6;
inline constexpr double kPgMinSegmentParam = 0.0001;

// Moller-Trumbore on both sides. Reports whether the u and v tests passed and
// writes t, u and v then, whatever the sign of t.
template <class V>
bool PgHitTriangleTwoSided(const V& origin, const V& dir, const V& v0, const V& v1, const V& v2, double& t,
                         double& u, double& v) {
  const V e1 = PgSub(v1, v0);
  const V e2 = PgSub(v2, v0);
  const V p = PgCross(dir, e2);
  const double det = PgDot(e1, p);
  // Written as "not above" so that NaN input misses.
  if (!(std::fabs(det) >= kPgDetEpsilon)) return false;
  const V tv = PgSub(origin, v0);
  const double uu = PgDot(tv, p) / det;
  if (!(uu >= 0.0 && uu <= 1.0)) return false;
  const V q = PgCross(tv, e1);
  const double vv = PgDot(dir, q) / det;
  if (!(vv >= 0.0 && uu + vv <= 1.0)) return false;
  t = PgDot(e2, q) / det;
  u = uu;
  v = vv;
  return true;
}


// The 12 triangles (two a face) of an eight-corner box, as corner indices.
// Corners 0-3 are one end quad and 4-7 the other, 4 opposite 0, 7 opposite 1,
// 6 opposite 2 and 5 opposite 3; faces 0-3 are the sides, 4 and 5 the ends.
inline constexpr std::int32_t BoxFaceTriangles[6][2][3] = {
    {{1, 0, 4}, {1, 4, 7}},
    {{2, 1, 7}, {2, 7, 6}},
    {{3, 2, 6}, {3, 6, 5}},
    {{0, 3, 5}, {0, 5, 4}},
    {{0, 1, 2}, {0, 2, 3}},
    {{7, 4, 5}, {7, 5, 6}},
};

// Twice the signed area on XZ of the closed polyline p[0..n-1]: positive
// when it runs counter-clockwise (x to the right, z up).
template <class V>
inline double SignedAreaXZ(const V* p, std::int32_t n) {
  double sum = 0.0;
  for (std::int32_t i = 0; i < n; ++i) {
    const V& a = p[i];
    const V& b = p[i + 1 < n ? i + 1 : 0];
    sum += a.x * b.z - b.x * a.z;
  }
  return sum;
}

// Winding number on XZ of the closed polyline points[0..n-1] around p;
// non-zero for a point inside a simple closed polyline, positive when the
// polyline runs counter-clockwise around it. A point level with a vertex
// counts that vertex as above it. Fewer than one point gives 0.
template <class V>
std::int32_t WindingNumberXZ(const V* points, std::int32_t n, const V& p) {
  if (points == nullptr || n < 1) return 0;
  std::int32_t w = 0;
  const V* a = &points[n - 1];
  for (std::int32_t i = 0; i < n; ++i) {
    const V* b = &points[i];
    const bool aAbove = a->z >= p.z;
    const bool bAbove = b->z >= p.z;
    if (!aAbove && bAbove) {
      if (PgSideXZ(*a, *b, p) >= 0.0) ++w;
    } else if (aAbove && !bAbove) {
      if (PgSideXZ(*a, *b, p) < 0.0) --w;
    }
    a = b;
  }
  return w;
}

// The one box face (0-5) that the ray origin + t * dir, t > 0, crosses, or
// -1 when it crosses none or two of them. From inside the box this is the
// face through which the ray leaves.
template <class V>
std::int32_t FindBoxEntryFace(const V corners[8], const V& origin, const V& dir) {
  std::int32_t hits = 0;
  std::int32_t face = -1;
  for (std::int32_t f = 0; f < 6; ++f) {
    for (const auto& tri : BoxFaceTriangles[f]) {
      double t = 0.0, u = 0.0, v = 0.0;
      if (!PgHitTriangleTwoSided(origin, dir, corners[tri[0]], corners[tri[1]],
                                                      corners[tri[2]], t, u, v))
        continue;
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

// Whether p lies in the polygon (a, b, c, d) on XZ, edges included. Only a
// polygon whose interior lies on the non-positive side of every edge (the
// clockwise sense with x right and z up) contains anything, and one with no
// area on XZ contains nothing.
template <class V>
bool PointInPolygonXZ(const V* points, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d,
                      const V& p) {
  const V& pa = points[a];
  const V& pb = points[b];
  const V& pc = points[c];
  const bool triangle = c == d;
  const V& pd = triangle ? pa : points[d];
  if (PgSideXZ(pa, pb, p) > 0.0 || PgSideXZ(pb, pc, p) > 0.0 || PgSideXZ(pc, pd, p) > 0.0) return false;
  if (!triangle && PgSideXZ(pd, pa, p) > 0.0) return false;
  // Every side is zero for a polygon with no area on XZ (coincident corners,
  // a vertical wall seen from above): it holds no point, and callers that
  // take its plane's height would divide by zero.
  double area2 = PgCrossXZ(pa, pb) + PgCrossXZ(pb, pc) + PgCrossXZ(pc, pd);
  if (!triangle) area2 += PgCrossXZ(pd, pa);
  return area2 != 0.0;
}

template <class V, class Polygon>
inline bool PointInPolygonXZ(const V* points, const Polygon& poly, const V& p) {
  return PointInPolygonXZ(points, static_cast<std::int32_t>(poly.a), static_cast<std::int32_t>(poly.b),
                          static_cast<std::int32_t>(poly.c), static_cast<std::int32_t>(poly.d), p);
}

// Segments a + s * u and b + t * v on XZ: the parameter s at which they cross,
// or -1.0 when they do not, are parallel, or either has no length on XZ.
// Crossings at the very start of either segment (parameter below 0.0001) do
// not count; the far ends (parameter 1) do.
template <class V>
double SegmentCrossingXZ(const V& a, const V& u, const V& b, const V& v) {
  // Solved with cross products so that no component needs to be non-zero on
  // its own; parallel segments and segments without length have k == 0 and
  // never cross.
  const double k = PgCrossXZ(u, v);
  if (k == 0.0 || !std::isfinite(k)) return -1.0;
  const V ab = PgSub(b, a);
  const double s = PgCrossXZ(ab, v) / k;
  if (!(s >= kPgMinSegmentParam && s <= 1.0)) return -1.0;
  const double t = PgCrossXZ(ab, u) / k;
  if (!(t >= kPgMinSegmentParam && t <= 1.0)) return -1.0;
  return s;
}

// Ray parameter at which origin + t * dir meets the plane through q spanned by
// e1 and e2, or -1.0 when the ray runs parallel to it.
template <class V>
double IntersectRayPlane(const V& q, const V& e1, const V& e2, const V& origin, const V& dir) {
  const V n = PgCross(e1, e2);
  const double dn = PgDot(dir, n);
  if (dn == 0.0) return -1.0;
  return PgDot(PgSub(q, origin), n) / dn;
}

// Ray against the triangle (a, b, c). On a hit writes the ray parameter t
// (not sign-tested: a triangle behind the origin hits with t < 0) and the
// barycentric u, v of the hit (point = a + u (b - a) + v (c - a)). With cull
// non-zero only the front side counts: the side from which (a, b, c) runs
// counter-clockwise. On a miss t, u and v are left alone.
template <class V>
bool IntersectRayTriangle(const V& origin, const V& dir, const V& a, const V& b, const V& c, double& t,
                          double& u, double& v, std::int32_t cull) {
  if (cull == 0) return PgHitTriangleTwoSided(origin, dir, a, b, c, t, u, v);
  // Front side only: det is positive, so the bounds can be tested before the
  // division.
  const V e1 = PgSub(b, a);
  const V e2 = PgSub(c, a);
  const V p = PgCross(dir, e2);
  const double det = PgDot(e1, p);
  if (!(det >= kPgDetEpsilon)) return false;
  const V tv = PgSub(origin, a);
  const double us = PgDot(tv, p);
  if (!(us >= 0.0 && us <= det)) return false;
  const V q = PgCross(tv, e1);
  const double vs = PgDot(dir, q);
  if (!(vs >= 0.0 && us + vs <= det)) return false;
  t = PgDot(e2, q) / det;
  u = us / det;
  v = vs / det;
  return true;
}

// Ray against the front side of the polygon (a, b, c, d), split into the
// triangles (a, b, c) and (a, c, d). On a hit writes t (not sign-tested).
template <class V>
bool IntersectRayPolygon(const V* points, std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d,
                         const V& origin, const V& dir, double& t) {
  double u = 0.0, v = 0.0;
  if (IntersectRayTriangle(origin, dir, points[a], points[b], points[c], t, u, v, 1)) return true;
  if (c == d) return false;
  return IntersectRayTriangle(origin, dir, points[a], points[c], points[d], t, u, v, 1);
}

template <class V, class Polygon>
inline bool IntersectRayPolygon(const V* points, const Polygon* polygons, std::int32_t index, const V& origin,
                                const V& dir, double& t) {
  const Polygon& poly = polygons[index];
  return IntersectRayPolygon(points, static_cast<std::int32_t>(poly.a), static_cast<std::int32_t>(poly.b),
                             static_cast<std::int32_t>(poly.c), static_cast<std::int32_t>(poly.d), origin, dir,
                             t);
}

// The frame of the closed polyline points[0..n-1] at vertex i: offset the
// vertex, v3 the unit direction from the previous to the next vertex (zero
// when they coincide), v2 = up as given, v1 = up x v3 (not normalised).
// Returns false and leaves m alone when i is not a vertex of the polyline.
template <class M, class V>
bool GetPolylineFrame(M& m, const V* points, std::int32_t n, std::int32_t i, const V& up) {
  if (points == nullptr || n < 1 || i < 0 || i >= n) return false;
  const V& next = i >= n - 1 ? points[0] : points[i + 1];
  const V& prev = i < 1 ? points[n - 1] : points[i - 1];
  V tangent = PgSub(next, prev);
  const double len = std::sqrt(tangent.x * tangent.x + tangent.y * tangent.y + tangent.z * tangent.z);
  tangent = len != 0.0 ? PgMake<V>(tangent.x / len, tangent.y / len, tangent.z / len) : V();
  m.off = points[i];
  m.v3 = tangent;
  m.v2 = up;
  m.v1 = PgCross(up, tangent);
  return true;
}
