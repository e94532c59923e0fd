// The outline's answer to a contact: zone resistance and side, the mean
// over the pressed points, the side nearest a contact point, the velocity
// of a turning body at a point and the approach to an obstacle.
#include "engine/outline_response.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/outline_shape.h"
#include "expect_vec.h"

namespace {

// Zones of 0.5 m at the ends and 0.2 m at the sides, 100 kN and 40 kN, and
// a force curve whose fraction equals the compression. The inner rectangle
// runs x -80..80, z -150..150 (scene units).
CollisionOutline Zoned() {
  CollisionOutline o;
  o.counterForce[0] = o.counterForce[2] = 100000.0;
  o.counterForce[1] = o.counterForce[3] = 40000.0;
  o.zoneLength[0] = o.zoneLength[2] = 0.5;
  o.zoneLength[1] = o.zoneLength[3] = 0.2;
  for (int k = 0; k < 100; ++k) o.forceCurveTable[k] = k / 100.0;
  o.innerCorners[0] = Vec3(-80, 0, 150);
  o.innerCorners[1] = Vec3(80, 0, 150);
  o.innerCorners[2] = Vec3(80, 0, -150);
  o.innerCorners[3] = Vec3(-80, 0, -150);
  return o;
}

TEST(OutlineResponseTest, ZoneResistanceAndSide) {
  const CollisionOutline o = Zoned();
  struct Case {
    int32 zone;
    Vec3 d;     // m
    Vec3 push;  // local
    double resistance;
    int32 side;
  } cases[] = {
      {kZoneFront, Vec3(0, 0, -0.25), Vec3(0, 0, -1), 0.5 * 100000.0, 0},
      {kZoneFront, Vec3(0, 0, -0.6), Vec3(0, 0, -1), 100000.0, 0},  // past the zone: all of it
      {kZoneMinusX, Vec3(0.1, 0, 0), Vec3(1, 0, 0), 0.5 * 40000.0, 3},
      {kZonePlusX | kZoneFront, Vec3(0, 0, 0), Vec3(0, 0, -1), 0.0, 0},
      {kZonePlusX | kZoneFront, Vec3(-0.3, 0, -0.1), Vec3(-1, 0, -0.2), 40000.0 + 0.2 * 100000.0, 1},
      {kZoneMinusX | kZoneRear, Vec3(0, 0, 0), Vec3(0, 0, 1), 0.0, 2},
  };
  for (const Case& c : cases) {
    int32 side = -2;
    EXPECT_NEAR(ImpactSideFactor(o, c.zone, c.d, c.push, side), c.resistance, 1e-6) << c.zone;
    EXPECT_EQ(side, c.side) << c.zone;
  }
  int32 side = 0;
  EXPECT_EQ(ImpactSideFactor(o, kZoneCore, Vec3(1, 0, 1), Vec3(0, 0, 1), side), 0.0);
  EXPECT_EQ(side, -1);
}

// Point 0 sits in the front zone pressed back 30 units (0.3 m of 0.5:
// 60 kN), point 1 between the zones and the core, point 2 in the core: the
// last two count with the stopping force, and a core point listed last
// crashes the car.
TEST(OutlineResponseTest, ResistanceOfThePressedPoints) {
  CollisionOutline o = Zoned();
  Vec3 points[6] = {Vec3(0, 0, 170), Vec3(70, 0, 0), Vec3(0, 0, 0), Vec3(0, 0, 200), Vec3(70, 0, 0), Vec3(0, 0, 0)};
  o.deformPoints = points;
  o.deformPointCount = 3;
  const double stopping = 1000.0;
  struct Case {
    int32 list[2];
    double mean;
    int32 side;
    bool core;
  } cases[] = {
      {{0, 1}, (60000.0 + stopping) / 2, 0, false},
      {{0, 2}, (60000.0 + stopping) / 2, 0, true},
      {{2, 0}, (60000.0 + stopping) / 2, 0, false},
      {{1, 2}, stopping, -1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.list[0] << ", " << c.list[1]);
    const OutlineResistance r = ResistancePass(o, 100.0, c.list, 2, stopping, Vec3(0, 0, -1));
    EXPECT_NEAR(r.mean, c.mean, 1e-6);
    EXPECT_EQ(r.side, c.side);
    EXPECT_EQ(r.core, c.core);
  }
  EXPECT_EQ(ResistancePass(o, 100.0, nullptr, 0, stopping, Vec3()).mean, 0.0);
  o.deformPoints = nullptr;
}

// The side whose inner edge lies nearest to the point in car coordinates;
// the body frame is undone first, turned or not.
TEST(OutlineResponseTest, SideNearestToTheContactPoint) {
  const CollisionOutline o = Zoned();
  AxisFrame moved;
  moved.off = Vec3(1000, 0, 0);
  // Heading 90 degrees: the car's x is world z, its length world -x.
  AxisFrame turned;
  turned.off = Vec3(1000, 0, 0);
  turned.v1 = Vec3(0, 0, 1);
  turned.v3 = Vec3(-1, 0, 0);
  struct Case {
    const AxisFrame* body;
    Vec3 world;
    int32 side;
  } cases[] = {
      {&moved, Vec3(1000, 0, 180), 0},  {&moved, Vec3(1090, 0, 10), 1}, {&moved, Vec3(1000, 0, -170), 2},
      {&moved, Vec3(915, 0, -20), 3},   {&turned, Vec3(820, 0, 0), 0},   {&turned, Vec3(1000, 0, 90), 1},
      {&turned, Vec3(1170, 0, 0), 2},
  };
  for (const Case& c : cases) EXPECT_EQ(SideFromContactPoint(o, *c.body, c.world), c.side) << c.world.x;
}

// v + w x r, with w about the body's axes and r in metres: yawing at
// 1 rad/s, a point 2 m ahead moves 2 m/s sideways; rolling at 1 rad/s, a
// point 1 m to the side moves 1 m/s up. Turned by 90 degrees, the same roll
// is about the turned length axis.
TEST(OutlineResponseTest, VelocityOfASpinningBodyAtAPoint) {
  AxisFrame body;
  body.off = Vec3(500, 0, 0);
  const Vec3 v(0, 0, 3);
  ExpectVec(VelocityAtPoint(body, v, Vec3(0, 1, 0), 100.0, Vec3(500, 0, 200)), Vec3(2, 0, 3));
  ExpectVec(VelocityAtPoint(body, v, Vec3(0, 0, 1), 100.0, Vec3(600, 0, 0)), Vec3(0, 1, 3));
  body.v1 = Vec3(0, 0, 1);
  body.v3 = Vec3(-1, 0, 0);
  ExpectVec(VelocityAtPoint(body, v, Vec3(0, 0, 1), 100.0, Vec3(500, 0, 100)), Vec3(0, 1, 3));
  ExpectVec(VelocityAtPoint(body, v, Vec3(), 100.0, Vec3(0, 0, 0)), v);
}

TEST(OutlineResponseTest, ApproachToAnObstacle) {
  const Vec3 n(0, 0, 1);
  ObstacleApproach a = ApproachAlong(n, Vec3(2, 0, 5), 1000.0, 0.001);
  ExpectVec(a.approach, Vec3(0, 0, 5));
  EXPECT_DOUBLE_EQ(a.speed, 5.0);
  EXPECT_DOUBLE_EQ(a.stoppingForce, 1000.0 / 0.001 * 5.0);
  // Moving away: nothing to stop.
  a = ApproachAlong(n, Vec3(2, 0, -5), 1000.0, 0.001);
  EXPECT_EQ(a.speed, 0.0);
  EXPECT_EQ(a.stoppingForce, 0.0);
}

}  // namespace
