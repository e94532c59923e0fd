// Stateless intersection and containment tests on host data.
//
// Points are host Vectors; polygons are host polygon records (four point
// indices a, b, c, d; a triangle repeats its last corner, c == d). The XZ
// tests look only at x and z (the host's y is up). Nothing here keeps state,
// allocates or calls the host.
//
// In the XZ plane, side(p, q, P) > 0 means P lies to the left of the directed
// edge p -> q (x to the right, z up the page).
#pragma once

#include "host_math.h"
#include "host_types.h"

// The 12 triangles (two a face) of an eight-corner box, as corner indices.
// Corners 0-3 are one end quad and 4-7 the other, 4 opposite 0, 7 opposite 1,
// 6 opposite 2 and 5 opposite 3; faces 0-3 are the sides, 4 and 5 the ends.
inline constexpr LONG BoxFaceTriangles[6][2][3] = {
    {{1, 0, 4}, {1, 4, 7}},
    {{2, 1, 7}, {2, 7, 6}},
    {{3, 2, 6}, {3, 6, 5}},
    {{0, 3, 5}, {0, 5, 4}},
    {{0, 1, 2}, {0, 2, 3}},
    {{7, 4, 5}, {7, 5, 6}},
};

// Twice the signed area on XZ of the closed polyline p[0..n-1]: positive
// when it runs counter-clockwise (x to the right, z up).
inline Real SignedAreaXZ(const Vector* p, LONG n) {
  Real sum = 0.0;
  for (LONG i = 0; i < n; ++i) {
    const Vector& a = p[i];
    const Vector& b = p[i + 1 < n ? i + 1 : 0];
    sum += a.x * b.z - b.x * a.z;
  }
  return sum;
}

// Winding number on XZ of the closed polyline points[0..n-1] around p;
// non-zero for a point inside a simple closed polyline, positive when the
// polyline runs counter-clockwise around it. A point level with a vertex
// counts that vertex as above it. Fewer than one point gives 0.
LONG WindingNumberXZ(const Vector* points, LONG n, const Vector& p);

// The one box face (0-5) that the ray origin + t * dir, t > 0, crosses, or
// -1 when it crosses none or two of them. From inside the box this is the
// face through which the ray leaves.
LONG FindBoxEntryFace(const Vector corners[8], const Vector& origin, const Vector& dir);

// Whether p lies in the polygon (a, b, c, d) on XZ, edges included. Only a
// polygon whose interior lies on the non-positive side of every edge (the
// clockwise sense with x right and z up) contains anything, and one with no
// area on XZ contains nothing.
Bool PointInPolygonXZ(const Vector* points, LONG a, LONG b, LONG c, LONG d, const Vector& p);

template <class Polygon>
inline Bool PointInPolygonXZ(const Vector* points, const Polygon& poly, const Vector& p) {
  return PointInPolygonXZ(points, static_cast<LONG>(poly.a), static_cast<LONG>(poly.b),
                          static_cast<LONG>(poly.c), static_cast<LONG>(poly.d), p);
}

// Segments a + s * u and b + t * v on XZ: the parameter s at which they cross,
// or -1.0 when they do not, are parallel, or either has no length on XZ.
// Crossings at the very start of either segment (parameter below 0.0001) do
// not count; the far ends (parameter 1) do.
Real SegmentCrossingXZ(const Vector& a, const Vector& u, const Vector& b, const Vector& v);

// Ray parameter at which origin + t * dir meets the plane through q spanned by
// e1 and e2, or -1.0 when the ray runs parallel to it.
Real IntersectRayPlane(const Vector& q, const Vector& e1, const Vector& e2, const Vector& origin,
                       const Vector& dir);

// Ray against the triangle (a, b, c). On a hit writes the ray parameter t
// (not sign-tested: a triangle behind the origin hits with t < 0) and the
// barycentric u, v of the hit (point = a + u (b - a) + v (c - a)). With cull
// non-zero only the front side counts: the side from which (a, b, c) runs
// counter-clockwise. On a miss t, u and v are left alone.
Bool IntersectRayTriangle(const Vector& origin, const Vector& dir, const Vector& a, const Vector& b,
                          const Vector& c, Real& t, Real& u, Real& v, LONG cull);

// Ray against the front side of the polygon (a, b, c, d), split into the
// triangles (a, b, c) and (a, c, d). On a hit writes t (not sign-tested).
Bool IntersectRayPolygon(const Vector* points, LONG a, LONG b, LONG c, LONG d, const Vector& origin,
                         const Vector& dir, Real& t);

template <class Polygon>
inline Bool IntersectRayPolygon(const Vector* points, const Polygon* polygons, LONG index,
                                const Vector& origin, const Vector& dir, Real& t) {
  const Polygon& poly = polygons[index];
  return IntersectRayPolygon(points, static_cast<LONG>(poly.a), static_cast<LONG>(poly.b),
                             static_cast<LONG>(poly.c), static_cast<LONG>(poly.d), origin, dir, t);
}

// The frame of the closed polyline points[0..n-1] at vertex i: offset the
// vertex, v3 the unit direction from the previous to the next vertex (zero
// when they coincide), v2 = up as given, v1 = up x v3 (not normalised).
// Returns false and leaves m alone when i is not a vertex of the polyline.
Bool GetPolylineFrame(Matrix& m, const Vector* points, LONG n, LONG i, const Vector& up);
