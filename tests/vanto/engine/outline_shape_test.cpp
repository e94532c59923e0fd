// Outline geometry without a scene: the default outline, the inner rectangle
// and zone classes, the nearest point, the deformer rim walk, attached-part
// weights and the outer wheel corners.
#include "engine/outline_shape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <set>
#include <vector>

#include "expect_vec.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(OutlineShapeTest, BodyOutlineCountsFollowTheStep) {
  // The step is a twentieth of the width but at least 10; a long body
  // stretches it so no side exceeds the sample limit.
  struct Case {
    double x, z;
    int32 nx, nz;
  };
  const Case cases[] = {
      {400.0, 900.0, 20, 45},  // step 20
      {100.0, 100.0, 10, 10},  // step 10
      {5.0, 5.0, 1, 1},        // smaller than a step: one point a side
      {0.0, 50.0, 0, 5},       // no width: sides only
      {10.0, 1e6, 0, kMaxOutlineSideSamples},
      {10.0, 5e4, 0, kMaxOutlineSideSamples},  // just five times over the limit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << " x " << c.z);
    BodyOutlinePlan plan;
    ASSERT_TRUE(PlanBodyOutline(c.x, c.z, plan));
    EXPECT_EQ(plan.nx, c.nx);
    EXPECT_EQ(plan.nz, c.nz);
    EXPECT_EQ(plan.Count(), 2 * (c.nx + c.nz));
  }
}

TEST(OutlineShapeTest, BodyOutlineRejectsUnusableSizes) {
  const double bad[][2] = {{-1.0, 100.0}, {100.0, -1.0}, {kNaN, 100.0}, {100.0, kNaN}, {kInf, 100.0}, {100.0, kInf}};
  for (const auto& s : bad) {
    BodyOutlinePlan plan;
    EXPECT_FALSE(PlanBodyOutline(s[0], s[1], plan)) << s[0] << " x " << s[1];
  }
}

TEST(OutlineShapeTest, BodyOutlineRunsClockwiseOnTheRectangleAtEvenSpacing) {
  BodyOutlinePlan plan;
  // 20 steps of 20 across; 45 along, each 910 / 45 long.
  ASSERT_TRUE(PlanBodyOutline(400.0, 910.0, plan));
  const int32 n = plan.Count();
  ASSERT_EQ(n, 130);
  const double dz = 910.0 / 45.0;
  std::vector<Vec3> p;
  for (int32 k = 0; k < n; ++k) p.push_back(BodyOutlinePoint(plan, k));
  // Front left first, half a step in; then down the +x side.
  ExpectVec(p[0], Vec3(-190.0, 0.0, 455.0));
  ExpectVec(p[20], Vec3(200.0, 0.0, 455.0 - dz / 2));
  ExpectVec(p[65], Vec3(190.0, 0.0, -455.0));
  ExpectVec(p[n - 1], Vec3(-200.0, 0.0, 455.0 - dz / 2));
  double area = 0.0;
  for (int32 k = 0; k < n; ++k) {
    const Vec3& a = p[k];
    const Vec3& b = p[(k + 1) % n];
    EXPECT_EQ(a.y, 0.0);
    EXPECT_TRUE(std::fabs(a.x) == 200.0 || std::fabs(a.z) == 455.0) << k;
    area += a.x * b.z - b.x * a.z;
    // Neighbours on one end or side sit one step apart.
    if (a.z == b.z) {
      EXPECT_NEAR(std::fabs(b.x - a.x), 20.0, 1e-9) << k;
    }
    if (a.x == b.x) {
      EXPECT_NEAR(std::fabs(b.z - a.z), dz, 1e-9) << k;
    }
  }
  EXPECT_LT(area, 0.0);  // clockwise seen from above
}

TEST(OutlineShapeTest, CrumpleTablesAndInnerRectangle) {
  const double kN[3] = {50.0, 30.0, 40.0};
  const double lengths[3] = {60.0, 20.0, 50.0};  // scene units at 100 a metre
  double force[4], zone[4];
  CrumpleZoneTables(kN, lengths, 100.0, force, zone);
  const double wantForce[4] = {50000.0, 30000.0, 40000.0, 30000.0};
  const double wantZone[4] = {0.6, 0.2, 0.5, 0.2};
  for (int32 k = 0; k < 4; ++k) {
    EXPECT_DOUBLE_EQ(force[k], wantForce[k]) << k;
    EXPECT_DOUBLE_EQ(zone[k], wantZone[k]) << k;
  }
  // Body 400 x 900: the zones take 20 off each side, 60 off the front and
  // 50 off the rear.
  const OutlineCore r = InnerOutlineRectangle(400.0, 900.0, 100.0, zone);
  EXPECT_DOUBLE_EQ(r.xmin, -180.0);
  EXPECT_DOUBLE_EQ(r.xmax, 180.0);
  EXPECT_DOUBLE_EQ(r.zmax, 390.0);
  EXPECT_DOUBLE_EQ(r.zmin, -400.0);
}

TEST(OutlineShapeTest, ZoneClasses) {
  OutlineCore r;
  r.xmin = -100.0;
  r.xmax = 100.0;
  r.zmin = -200.0;
  r.zmax = 300.0;
  struct Case {
    double x, z;
    int32 zone;
  };
  const Case cases[] = {
      {-150.0, 0.0, kZoneMinusX},
      {150.0, 0.0, kZonePlusX},
      {0.0, 350.0, kZoneFront},
      {0.0, -250.0, kZoneRear},
      {150.0, 350.0, kZonePlusX | kZoneFront},
      {-150.0, -250.0, kZoneMinusX | kZoneRear},
      {0.0, 0.0, kZoneCore},
      {80.0, 0.0, 0},      // inside, but past three quarters of the half width
      {0.0, 250.0, 0},     // inside, but past four fifths of the front length
      {0.0, -170.0, 0},    // and of the rear length
      {70.0, 235.0, kZoneCore},
      {-70.0, -155.0, kZoneCore},
      {-100.0, 300.0, 0},  // on the rectangle's edge is still inside
  };
  for (const Case& c : cases) EXPECT_EQ(OutlineZoneOf(c.x, c.z, r), c.zone) << c.x << ", " << c.z;
}

TEST(OutlineShapeTest, DrawnOutlineIsLaidFlatAndTurnedClockwise) {
  // The same square drawn both ways and at a height, beside the origin
  // (all x > 0) so the winding about the origin would not tell the sense.
  const Vec3 ccw[] = {Vec3(10.0, 5.0, -20.0), Vec3(50.0, 6.0, -20.0), Vec3(50.0, 7.0, 30.0), Vec3(10.0, 8.0, 30.0)};
  const Vec3 cw[] = {ccw[3], ccw[2], ccw[1], ccw[0]};
  for (const Vec3* src : {ccw, cw}) {
    Vec3 dst[8];
    double halfX = -1.0, halfZ = -1.0;
    FlatClockwiseOutline(src, 4, dst, halfX, halfZ);
    EXPECT_EQ(halfX, 50.0);
    EXPECT_EQ(halfZ, 30.0);
    // Clockwise from the drawn order's reverse: (10,30), (50,30), (50,-20), (10,-20).
    ExpectVec(dst[0], Vec3(10.0, 0.0, 30.0));
    ExpectVec(dst[1], Vec3(50.0, 0.0, 30.0));
    ExpectVec(dst[2], Vec3(50.0, 0.0, -20.0));
    ExpectVec(dst[3], Vec3(10.0, 0.0, -20.0));
    for (int32 i = 0; i < 4; ++i) EXPECT_EQ(dst[4 + i], dst[i]) << i;  // the rest copy follows the turn
  }
}

TEST(OutlineShapeTest, NearestPointOnXZWithTiesToTheLowestIndex) {
  const Vec3 pts[] = {Vec3(0.0, 0.0, 0.0), Vec3(10.0, 0.0, 0.0), Vec3(10.0, 0.0, 10.0), Vec3(0.0, 0.0, 10.0)};
  double d = -1.0;
  EXPECT_EQ(NearestOutlinePointXZ(pts, 4, 9.0, 1.0, &d), 1);
  EXPECT_NEAR(d, std::sqrt(2.0), 1e-12);
  EXPECT_EQ(NearestOutlinePointXZ(pts, 4, 5.0, 5.0, &d), 0);  // all four equally far
  EXPECT_NEAR(d, std::sqrt(50.0), 1e-12);
  EXPECT_EQ(NearestOutlinePointXZ(pts, 4, 5.0, 11.0, nullptr), 2);  // tie between 2 and 3
  d = 7.0;
  EXPECT_EQ(NearestOutlinePointXZ<Vec3>(nullptr, 4, 0.0, 0.0, &d), -1);
  EXPECT_EQ(d, 0.0);
  d = 7.0;
  EXPECT_EQ(NearestOutlinePointXZ(pts, 0, 0.0, 0.0, &d), -1);
  EXPECT_EQ(d, 0.0);
}

TEST(OutlineShapeTest, FfdGridMustDescribeThePointArray) {
  FfdGrid g;
  g.a = 3;
  g.b = 2;
  g.c = 4;
  EXPECT_TRUE(FfdGridMatches(g, 24));
  EXPECT_FALSE(FfdGridMatches(g, 23));
  EXPECT_FALSE(FfdGridMatches(g, 25));
  // Counts whose product would wrap round to the point count are refused
  // before multiplying.
  FfdGrid huge;
  huge.a = (std::int64_t{1} << 62) + 3;
  huge.b = 2;
  huge.c = 4;
  EXPECT_FALSE(FfdGridMatches(huge, 24));
}

TEST(OutlineShapeTest, FfdRimWalkVisitsTheBottomRimOnceAndCloses) {
  const std::int64_t sizes[][3] = {{2, 2, 2}, {3, 2, 4}, {5, 3, 2}, {4, 4, 6}};
  for (const auto& s : sizes) {
    FfdGrid g;
    g.a = s[0];
    g.b = s[1];
    g.c = s[2];
    SCOPED_TRACE(testing::Message() << g.a << "x" << g.b << "x" << g.c);
    // The bottom layer (y = 0) holds x + a b z; its rim has 2 (a + c) - 4 cells.
    ASSERT_EQ(g.RimCount(), 2 * (g.a + g.c) - 4);
    std::set<std::int64_t> seen;
    std::int64_t idx = 0;
    for (std::int64_t k = 0; k < g.RimCount(); ++k) {
      const std::int64_t x = idx % g.a, z = idx / (g.a * g.b);
      ASSERT_EQ(idx % (g.a * g.b) / g.a, 0) << "left the bottom layer at " << k;
      ASSERT_TRUE(x == 0 || x == g.a - 1 || z == 0 || z == g.c - 1) << "left the rim at " << k;
      EXPECT_TRUE(seen.insert(idx).second) << "visited twice at " << k;
      const std::int64_t next = FfdRimNext(g, k, idx);
      const std::int64_t nx = next % g.a, nz = next / (g.a * g.b);
      EXPECT_EQ(std::llabs(nx - x) + std::llabs(nz - z), 1) << "not a neighbour at " << k;
      idx = next;
    }
    EXPECT_EQ(idx, 0);  // back at the start
  }
}

TEST(OutlineShapeTest, AttachedPartWeightFallsOffOverTheZone) {
  const double zone[4] = {0.4, 0.3, 0.5, 0.3};  // m
  const double u = 100.0;
  struct Case {
    int32 zone;
    double d, weight;
  };
  const Case cases[] = {
      {kZoneFront, 0.0, 1.0},
      {kZoneFront, 20.0, 0.5},                 // 0.2 m of a 0.4 m zone
      {kZoneRear, 25.0, 0.5},                  // 0.25 m of 0.5 m
      {kZonePlusX, 15.0, 0.5},                 // 0.15 m of 0.3 m
      {kZonePlusX | kZoneFront, 25.0, 0.5},    // diagonal 0.5 m
      {kZoneMinusX | kZoneRear, 0.0, 1.0},
      {kZoneFront, 80.0, 0.0},                 // beyond the zone: never negative
      {kZoneCore, 0.0, 0.0},                   // no zone: no pull
      {0, 0.0, 0.0},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(AttachedPartWeight(c.zone, zone, c.d, u), c.weight, 1e-12) << c.zone << " at " << c.d;
}

TEST(OutlineShapeTest, OuterWheelCorners) {
  Vec3 c[4];
  OuterWheelCorners(Vec3(70.0, 30.0, 130.0), Vec3(72.0, 32.0, -120.0), 10.0, 30.0, 12.0, 32.0, c);
  ExpectVec(c[0], Vec3(80.0, 0.0, 160.0));
  ExpectVec(c[1], Vec3(-80.0, 0.0, 160.0));
  ExpectVec(c[2], Vec3(84.0, 0.0, -152.0));
  ExpectVec(c[3], Vec3(-84.0, 0.0, -152.0));
}

}  // namespace
