// The polygon tests of carsim/polygon_geometry.h, run on host vectors as the
// scene code uses them.
#include "carsim/polygon_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host_math.h"
#include "host_types.h"

namespace {

// Stands in for the host polygon record: four point indices, c == d for a triangle.
struct Poly {
  LONG a, b, c, d;
};

constexpr Real kNaN = std::numeric_limits<Real>::quiet_NaN();

void ExpectVectorNear(const Vector& got, const Vector& want, Real tol = 1e-12) {
  EXPECT_NEAR(got.x, want.x, tol);
  EXPECT_NEAR(got.y, want.y, tol);
  EXPECT_NEAR(got.z, want.z, tol);
}

// Unit square on XZ, counter-clockwise with x to the right and z up; y varies
// to show that it is never read.
const Vector kSquareCcw[4] = {{0, 5, 0}, {1, -3, 0}, {1, 2, 1}, {0, 7, 1}};
const Vector kSquareCw[4] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}};

// ---------------------------------------------------------------------------
// WindingNumberXZ

TEST(WindingNumberXZ, SquareBothSensesInsideAndOutside) {
  struct Case {
    const Vector* pts;
    Vector p;
    LONG want;
  };
  const Case cases[] = {
      {kSquareCcw, {0.5, 100, 0.5}, 1},
      {kSquareCw, {0.5, -100, 0.5}, -1},
      {kSquareCcw, {1.5, 0, 0.5}, 0},   // right of the square
      {kSquareCcw, {-0.5, 0, 0.5}, 0},  // left of it
      {kSquareCcw, {0.5, 0, 1.5}, 0},   // above it
      {kSquareCw, {0.5, 0, -0.5}, 0},   // below it
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WindingNumberXZ(c.pts, 4, c.p), c.want) << c.p.x << ", " << c.p.z;
  }
}

TEST(WindingNumberXZ, PointLevelWithAVertexCountsOnce) {
  // A diamond (counter-clockwise) whose left and right corners lie level with
  // the query points.
  const Vector diamond[4] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}};
  EXPECT_EQ(WindingNumberXZ(diamond, 4, {0, 0, 0}), 1);
  EXPECT_EQ(WindingNumberXZ(diamond, 4, {0.5, 0, 0}), 1);
  EXPECT_EQ(WindingNumberXZ(diamond, 4, {2, 0, 0}), 0);
  EXPECT_EQ(WindingNumberXZ(diamond, 4, {-2, 0, 0}), 0);
  // Level with the top vertex: outside on both sides.
  EXPECT_EQ(WindingNumberXZ(diamond, 4, {0.5, 0, 1}), 0);
  EXPECT_EQ(WindingNumberXZ(diamond, 4, {-0.5, 0, 1}), 0);
}

TEST(WindingNumberXZ, LoopTwiceAroundGivesTwo) {
  // The square walked twice, starting from the last point as the closing edge.
  const Vector twice[8] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1},
                           {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};
  EXPECT_EQ(WindingNumberXZ(twice, 8, {0.5, 0, 0.5}), 2);
}

TEST(WindingNumberXZ, NoPointsGivesZero) {
  EXPECT_EQ(WindingNumberXZ(kSquareCcw, 0, {0.5, 0, 0.5}), 0);
  EXPECT_EQ(WindingNumberXZ(kSquareCcw, -3, {0.5, 0, 0.5}), 0);
  EXPECT_EQ(WindingNumberXZ<Vector>(nullptr, 4, {0.5, 0, 0.5}), 0);
}

// ---------------------------------------------------------------------------
// FindBoxEntryFace

// A box laid out as obstacles hand it over, with faces 0..5 facing
// +z, +x, -z, -x, +y, -y.
struct Box {
  Vector c[8];
  Box(const Vector& centre, const Vector& half) {
    const Vector unit[8] = {{-1, 1, 1},  {1, 1, 1},  {1, 1, -1},  {-1, 1, -1},
                            {-1, -1, 1}, {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}};
    for (int i = 0; i < 8; ++i) {
      c[i] = centre + Vector(unit[i].x * half.x, unit[i].y * half.y, unit[i].z * half.z);
    }
  }
};

TEST(FindBoxEntryFace, FaceTableMatchesTheCornerLayout) {
  // Every face's corners share the coordinate of the face's outward axis.
  const Box box({0, 0, 0}, {1, 1, 1});
  const Vector axis[6] = {{0, 0, 1}, {1, 0, 0}, {0, 0, -1}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  for (int f = 0; f < 6; ++f) {
    for (const auto& tri : BoxFaceTriangles[f]) {
      for (LONG corner : tri) EXPECT_EQ(Dot(box.c[corner], axis[f]), 1.0) << "face " << f;
    }
  }
}

TEST(FindBoxEntryFace, RayFromInsideNamesTheFaceItLeaves) {
  const Box box({10, -4, 3}, {2, 1, 3});
  struct Case {
    Vector origin, dir;
    LONG want;
  };
  const Vector centre(10, -4, 3);
  const Case cases[] = {
      {centre, {0, 0, 1}, 0},
      {centre, {1, 0, 0}, 1},
      {centre, {0, 0, -1}, 2},
      {centre, {-1, 0, 0}, 3},
      {centre, {0, 1, 0}, 4},
      {centre, {0, -1, 0}, 5},
      // Off centre and slanted: leaves through +x before reaching +z.
      {centre + Vector(1.5, 0.5, -2), {1, 0.1, 0.5}, 1},
      // Scale of the direction does not matter.
      {centre, {0, 0, 0.001}, 0},
      // Through the diagonal that face 0's two triangles share: counted once.
      {centre, {1, 0.5, 3}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindBoxEntryFace(box.c, c.origin, c.dir), c.want)
        << "dir " << c.dir.x << ", " << c.dir.y << ", " << c.dir.z;
  }
}

TEST(FindBoxEntryFace, RayFromOutsideFindsNoSingleFace) {
  const Box box({0, 0, 0}, {1, 1, 1});
  // Through the box: enters one face and leaves another.
  EXPECT_EQ(FindBoxEntryFace(box.c, {-5, 0, 0}, {1, 0, 0}), -1);
  // Pointing away from it.
  EXPECT_EQ(FindBoxEntryFace(box.c, {-5, 0, 0}, {-1, 0, 0}), -1);
  // Passing beside it.
  EXPECT_EQ(FindBoxEntryFace(box.c, {-5, 3, 0}, {1, 0, 0}), -1);
}

TEST(FindBoxEntryFace, DegenerateInputGivesNoFace) {
  Box flat({0, 0, 0}, {1, 1, 1});
  for (Vector& c : flat.c) c = Vector();  // all corners coincide
  EXPECT_EQ(FindBoxEntryFace(flat.c, {0, 0, 0}, {1, 0, 0}), -1);
  const Box box({0, 0, 0}, {1, 1, 1});
  EXPECT_EQ(FindBoxEntryFace(box.c, {0, 0, 0}, {0, 0, 0}), -1);
  EXPECT_EQ(FindBoxEntryFace(box.c, {0, 0, 0}, {kNaN, 0, 1}), -1);
}

// ---------------------------------------------------------------------------
// PointInPolygonXZ

TEST(PointInPolygonXZ, QuadAndTriangleTable) {
  // Clockwise square (interior on the non-positive side of every edge) and the
  // same corners counter-clockwise; a clockwise triangle given with c == d.
  const Vector pts[4] = {{0, 9, 0}, {0, -9, 1}, {1, 0, 1}, {1, 0, 0}};
  const Poly cwQuad{0, 1, 2, 3};
  const Poly ccwQuad{3, 2, 1, 0};
  const Poly cwTri{0, 1, 3, 3};  // (0,0), (0,1), (1,0)
  struct Case {
    Poly poly;
    Vector p;
    bool want;
  };
  const Case cases[] = {
      {cwQuad, {0.5, 100, 0.5}, true},
      {cwQuad, {0.0, 0, 0.5}, true},  // on an edge
      {cwQuad, {1.0, 0, 1.0}, true},  // on a corner
      {cwQuad, {1.0001, 0, 0.5}, false},
      {cwQuad, {0.5, 0, -0.0001}, false},
      {cwQuad, {0.5, 0, 1.5}, false},
      {cwQuad, {-0.5, 0, 0.5}, false},
      {ccwQuad, {0.5, 0, 0.5}, false},  // wrong sense holds nothing
      {cwTri, {0.25, 0, 0.25}, true},
      {cwTri, {0.5, 0, 0.5}, true},  // on the edge b -> c
      {cwTri, {0.5, 0, 0.0}, true},  // on the closing edge c -> a
      {cwTri, {0.6, 0, 0.6}, false},  // inside the square, outside the triangle
      {cwTri, {0.5, 0, -0.01}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PointInPolygonXZ(pts, c.poly, c.p), c.want)
        << "poly " << c.poly.a << c.poly.b << c.poly.c << c.poly.d << " at " << c.p.x << ", " << c.p.z;
  }
}

TEST(PointInPolygonXZ, PolygonWithoutAreaOnXZHoldsNothing) {
  // A vertical wall seen from above is a line on XZ; a point on that line has
  // every side zero but must not count as inside (its plane has no height).
  const Vector wall[4] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
  EXPECT_FALSE(PointInPolygonXZ(wall, Poly{0, 1, 2, 3}, {0.5, 0, 0}));
  EXPECT_FALSE(PointInPolygonXZ(wall, Poly{0, 2, 3, 3}, {0.5, 0, 0}));
  const Vector same[3] = {{2, 0, 2}, {2, 1, 2}, {2, 2, 2}};
  EXPECT_FALSE(PointInPolygonXZ(same, Poly{0, 1, 2, 2}, {2, 0, 2}));
}

// ---------------------------------------------------------------------------
// SegmentCrossingXZ

TEST(SegmentCrossingXZ, CrossingTable) {
  struct Case {
    const char* what;
    Vector a, u, b, v;
    Real want;
  };
  const Case cases[] = {
      {"diagonals cross at their midpoints", {0, 0, 0}, {2, 0, 2}, {2, 0, 0}, {-2, 0, 2}, 0.5},
      {"y is ignored", {0, 4, 0}, {2, -7, 2}, {2, 1, 0}, {-2, 3, 2}, 0.5},
      {"second segment along z", {0, 0, 0}, {2, 0, 0}, {1, 0, -1}, {0, 0, 2}, 0.5},
      {"first segment along z", {0, 0, 0}, {0, 0, 4}, {-1, 0, 1}, {2, 0, 0}, 0.25},
      {"far end of the first counts", {0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, 2}, 1.0},
      {"far end of the second counts", {0, 0, 0}, {2, 0, 0}, {1, 0, -1}, {0, 0, 1}, 0.5},
      {"touching the first's start", {0, 0, 0}, {1, 0, 0}, {0, 0, -1}, {0, 0, 2}, -1.0},
      {"touching the second's start", {0, 0, 0}, {2, 0, 0}, {1, 0, 0}, {0, 0, 2}, -1.0},
      {"beyond the first's end", {0, 0, 0}, {1, 0, 0}, {2, 0, -1}, {0, 0, 2}, -1.0},
      {"beyond the second's end", {0, 0, 0}, {2, 0, 0}, {1, 0, -3}, {0, 0, 2}, -1.0},
      {"before the second's start", {0, 0, 0}, {2, 0, 0}, {1, 0, 1}, {0, 0, 2}, -1.0},
      {"behind the first's start", {0, 0, 0}, {1, 0, 0}, {-1, 0, -1}, {0, 0, 2}, -1.0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(SegmentCrossingXZ(c.a, c.u, c.b, c.v), c.want) << c.what;
  }
}

TEST(SegmentCrossingXZ, ParallelOrPointLikeSegmentsNeverCross) {
  struct Case {
    const char* what;
    Vector a, u, b, v;
  };
  const Case cases[] = {
      {"parallel along x", {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {2, 0, 0}},
      {"collinear and overlapping", {0, 0, 0}, {2, 0, 0}, {1, 0, 0}, {2, 0, 0}},
      {"opposite directions, overlapping", {0, 0, 0}, {2, 0, 0}, {1.5, 0, 0}, {-1, 0, 0}},
      // Parallel along z, 0.00005 apart: a guard that nudges the second
      // direction off the z axis would make these cross at s = 0.5.
      {"parallel along z, nearly touching", {0, 0, 0}, {0, 0, 2}, {-0.00005, 0, 0}, {0, 0, 2}},
      {"almost parallel along z", {0, 0, 0}, {1e-9, 0, 2}, {-0.00005, 0, 0}, {0, 0, 2}},
      // A first segment without length lying 0.00005 off the second.
      {"first segment a point", {0.5, 0, 0.00005}, {0, 0, 0}, {0, 0, 0}, {1, 0, 0}},
      {"second segment a point", {0, 0, 0}, {2, 0, 0}, {1, 0, 0}, {0, 0, 0}},
      {"first segment vertical in y only", {0, 0, -1}, {0, 5, 0}, {-1, 0, -1}, {2, 0, 0}},
      {"NaN input", {0, 0, 0}, {2, 0, kNaN}, {2, 0, 0}, {-2, 0, 2}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SegmentCrossingXZ(c.a, c.u, c.b, c.v), -1.0) << c.what;
  }
}

TEST(SegmentCrossingXZ, NearlyAxisAlignedSecondSegmentIsExact) {
  // The second segment leans slightly to -x; the crossing is where the first
  // reaches x = 0.5 - 0.00009 / 2.
  const Real s = SegmentCrossingXZ<Vector>({0, 0, 0}, {1, 0, 0}, {0.5, 0, -0.5}, {-0.00009, 0, 1});
  EXPECT_NEAR(s, 0.5 - 0.000045, 1e-15);
}

// ---------------------------------------------------------------------------
// IntersectRayPlane

TEST(IntersectRayPlane, ParameterOrParallel) {
  // Plane y = 2 spanned by x and z.
  EXPECT_DOUBLE_EQ(IntersectRayPlane<Vector>({5, 2, 5}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}, {0, 4, 0}), 0.5);
  EXPECT_DOUBLE_EQ(IntersectRayPlane<Vector>({5, 2, 5}, {1, 0, 0}, {0, 0, 1}, {0, 6, 0}, {3, 1, 0}), -4.0);
  EXPECT_EQ(IntersectRayPlane<Vector>({5, 2, 5}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}, {1, 0, 1}), -1.0);
}

// ---------------------------------------------------------------------------
// IntersectRayTriangle

// Triangle in the plane z = 0, corners (0,0), (2,0), (0,2); its front side
// faces +z.
const Vector kTa(0, 0, 0), kTb(2, 0, 0), kTc(0, 2, 0);

TEST(IntersectRayTriangle, FrontHitGivesTheSameAnswerInBothForms) {
  for (LONG cull : {0, 1}) {
    Real t = -7, u = -7, v = -7;
    ASSERT_TRUE(IntersectRayTriangle({0.5, 1.0, 3}, {0, 0, -1}, kTa, kTb, kTc, t, u, v, cull)) << cull;
    EXPECT_DOUBLE_EQ(t, 3.0);
    EXPECT_DOUBLE_EQ(u, 0.25);
    EXPECT_DOUBLE_EQ(v, 0.5);
    // A longer direction halves t.
    ASSERT_TRUE(IntersectRayTriangle({0.5, 1.0, 3}, {0, 0, -2}, kTa, kTb, kTc, t, u, v, cull));
    EXPECT_DOUBLE_EQ(t, 1.5);
  }
}

TEST(IntersectRayTriangle, BackSideHitsOnlyWithoutCulling) {
  Real t = 0, u = 0, v = 0;
  EXPECT_TRUE(IntersectRayTriangle({0.5, 0.5, -2}, {0, 0, 1}, kTa, kTb, kTc, t, u, v, 0));
  EXPECT_DOUBLE_EQ(t, 2.0);
  t = 99;
  EXPECT_FALSE(IntersectRayTriangle({0.5, 0.5, -2}, {0, 0, 1}, kTa, kTb, kTc, t, u, v, 1));
  EXPECT_EQ(t, 99.0);  // a miss leaves t alone
}

TEST(IntersectRayTriangle, TriangleBehindTheOriginHitsWithNegativeT) {
  Real t = 0, u = 0, v = 0;
  // Front side behind: the ray looks down from below the triangle.
  EXPECT_TRUE(IntersectRayTriangle({0.5, 0.5, -1}, {0, 0, -1}, kTa, kTb, kTc, t, u, v, 1));
  EXPECT_DOUBLE_EQ(t, -1.0);
  EXPECT_TRUE(IntersectRayTriangle({0.5, 0.5, -1}, {0, 0, -1}, kTa, kTb, kTc, t, u, v, 0));
  EXPECT_DOUBLE_EQ(t, -1.0);
  // Back side behind: only the two-sided form sees it.
  EXPECT_TRUE(IntersectRayTriangle({0.5, 0.5, 1}, {0, 0, 1}, kTa, kTb, kTc, t, u, v, 0));
  EXPECT_DOUBLE_EQ(t, -1.0);
  EXPECT_FALSE(IntersectRayTriangle({0.5, 0.5, 1}, {0, 0, 1}, kTa, kTb, kTc, t, u, v, 1));
}

TEST(IntersectRayTriangle, MissTableAndEdges) {
  struct Case {
    const char* what;
    Vector origin, dir;
    bool want;
  };
  const Case cases[] = {
      {"left of the triangle (u < 0)", {-0.1, 0.5, 1}, {0, 0, -1}, false},
      {"below it (v < 0)", {0.5, -0.1, 1}, {0, 0, -1}, false},
      {"beyond the hypotenuse", {1.1, 1.0, 1}, {0, 0, -1}, false},
      {"parallel to its plane", {0.5, 0.5, 1}, {1, 0, 0}, false},
      {"no direction", {0.5, 0.5, 1}, {0, 0, 0}, false},
      {"NaN direction", {0.5, 0.5, 1}, {0, kNaN, -1}, false},
      {"on the edge u = 0", {0, 1, 1}, {0, 0, -1}, true},
      {"on the hypotenuse", {1, 1, 1}, {0, 0, -1}, true},
      {"on a corner", {2, 0, 1}, {0, 0, -1}, true},
      {"slanted ray", {-1, 1, 1}, {1.5, 0, -1}, true},  // meets z = 0 at x = 0.5
  };
  for (const Case& c : cases) {
    for (LONG cull : {0, 1}) {
      Real t = 0, u = 0, v = 0;
      EXPECT_EQ(IntersectRayTriangle(c.origin, c.dir, kTa, kTb, kTc, t, u, v, cull), c.want)
          << c.what << " cull " << cull;
    }
  }
}

// ---------------------------------------------------------------------------
// IntersectRayPolygon

TEST(IntersectRayPolygon, QuadSplitIntoTwoFrontTriangles) {
  // Square in z = 0 whose front side faces +z.
  const Vector pts[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  const Poly polys[2] = {{0, 1, 2, 3}, {0, 1, 2, 2}};
  Real t = 0;
  // In the first triangle (a, b, c).
  ASSERT_TRUE(IntersectRayPolygon(pts, polys, 0, {0.75, 0.25, 2}, {0, 0, -1}, t));
  EXPECT_DOUBLE_EQ(t, 2.0);
  // In the second triangle (a, c, d).
  ASSERT_TRUE(IntersectRayPolygon(pts, polys, 0, {0.25, 0.75, 4}, {0, 0, -2}, t));
  EXPECT_DOUBLE_EQ(t, 2.0);
  // The triangle (c == d) has no second half.
  EXPECT_FALSE(IntersectRayPolygon(pts, polys, 1, {0.25, 0.75, 4}, {0, 0, -1}, t));
  EXPECT_TRUE(IntersectRayPolygon(pts, polys, 1, {0.75, 0.25, 4}, {0, 0, -1}, t));
  // Seen from the back it is missed; behind the origin it is a hit with t < 0.
  EXPECT_FALSE(IntersectRayPolygon(pts, polys, 0, {0.25, 0.75, -2}, {0, 0, 1}, t));
  ASSERT_TRUE(IntersectRayPolygon(pts, polys, 0, {0.25, 0.75, -2}, {0, 0, -1}, t));
  EXPECT_DOUBLE_EQ(t, -2.0);
}

// ---------------------------------------------------------------------------
// GetPolylineFrame

TEST(GetPolylineFrame, WrapsAroundTheClosedPolyline) {
  // Square on XZ walked (0,0), (1,0), (1,1), (0,1).
  const Vector pts[4] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};
  const Vector up(0, 1, 0);
  const Real h = std::sqrt(0.5);
  struct Case {
    LONG i;
    Vector tangent, side;  // v3 and v1 = up x v3
  };
  const Case cases[] = {
      {0, {h, 0, -h}, {-h, 0, -h}},  // previous point is the last one
      {1, {h, 0, h}, {h, 0, -h}},
      {3, {-h, 0, -h}, {-h, 0, h}},  // next point is the first one
  };
  for (const Case& c : cases) {
    Matrix m;
    ASSERT_TRUE(GetPolylineFrame(m, pts, 4, c.i, up)) << c.i;
    ExpectVectorNear(m.off, pts[c.i]);
    ExpectVectorNear(m.v3, c.tangent);
    ExpectVectorNear(m.v2, up);
    ExpectVectorNear(m.v1, c.side);
  }
}

TEST(GetPolylineFrame, UpIsKeptAsGivenAndCoincidentNeighboursGiveZeroAxes) {
  const Vector pts[2] = {{3, 1, 4}, {5, 1, 4}};
  Matrix m;
  ASSERT_TRUE(GetPolylineFrame(m, pts, 2, 0, {0, 2, 0}));
  ExpectVectorNear(m.off, pts[0]);
  ExpectVectorNear(m.v3, {0, 0, 0});
  ExpectVectorNear(m.v1, {0, 0, 0});
  ExpectVectorNear(m.v2, {0, 2, 0});

  // A longer up vector scales v1, which is not normalised.
  const Vector line[3] = {{0, 0, 0}, {0, 0, 1}, {0, 0, 2}};
  ASSERT_TRUE(GetPolylineFrame(m, line, 3, 1, {0, 2, 0}));
  ExpectVectorNear(m.v3, {0, 0, 1});
  ExpectVectorNear(m.v1, {2, 0, 0});
}

TEST(GetPolylineFrame, IndexOutsideThePolylineIsRefused) {
  const Vector pts[3] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}};
  const Matrix before({9, 9, 9}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9});
  for (LONG i : {-1, 3, 100}) {
    Matrix m = before;
    EXPECT_FALSE(GetPolylineFrame(m, pts, 3, i, {0, 1, 0})) << i;
    EXPECT_EQ(m, before);
  }
  Matrix m = before;
  EXPECT_FALSE(GetPolylineFrame(m, pts, 0, 0, {0, 1, 0}));
  EXPECT_EQ(m, before);
}

}  // namespace
