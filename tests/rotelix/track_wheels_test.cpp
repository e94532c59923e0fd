#include "rotelix_test_support.h"

namespace {

using TrackWheelsTest = RotelixTest;

// Arc length of a cubic Bezier by Simpson's rule on its speed.
Real BezierLength(const Vector& p0, const Vector& p1, const Vector& p2, const Vector& p3) {
  auto speed = [&](Real t) {
    const Real u = 1.0 - t;
    return ((p1 - p0) * (3 * u * u) + (p2 - p1) * (6 * u * t) + (p3 - p2) * (3 * t * t)).GetLength();
  };
  const int n = 4000;
  Real sum = speed(0.0) + speed(1.0);
  for (int i = 1; i < n; ++i) sum += speed(static_cast<Real>(i) / n) * (i % 2 ? 4.0 : 2.0);
  return sum / (3.0 * n);
}

TEST(TrackGeometry, CommonTangentNormal) {
  // Equal radii: the centre line turned by 90 degrees, away from the loop.
  EXPECT_EQ(CommonTangentNormal(Vector(0, 0, 100), Vector(0, 0, -100), 20, 20), Vector(0, -1, 0));
  EXPECT_EQ(CommonTangentNormal(Vector(0, 0, -100), Vector(0, 0, 100), 20, 20), Vector(0, 1, 0));
  // Unequal radii: P1 and P2 lie on a common tangent (the tangent is
  // perpendicular to the normal).
  struct Case {
    Vector c1, c2;
    Real r1, r2;
  } cases[] = {{{0, 0, 0}, {0, 0, -10}, 1, 2}, {{0, 30, 150}, {0, 0, 210}, 25, 10}, {{0, 5, -40}, {0, 60, 90}, 7, 3}};
  for (const Case& c : cases) {
    const Vector n = CommonTangentNormal(c.c1, c.c2, c.r1, c.r2);
    EXPECT_NEAR(n.GetLength(), 1.0, 1e-12);
    EXPECT_EQ(n.x, 0.0);
    const Vector tangent = (c.c2 + n * c.r2) - (c.c1 + n * c.r1);
    EXPECT_NEAR(Dot(tangent, n), 0.0, 1e-9);
  }
  // One spot, or one wheel inside the other: no tangent direction.
  EXPECT_EQ(CommonTangentNormal(Vector(0, 1, 2), Vector(0, 1, 2), 5, 5), Vector());
}

TEST(TrackGeometry, ClampedAsinAndAngleBetween) {
  EXPECT_EQ(ClampedAsin(1.0), pi / 2);
  EXPECT_EQ(ClampedAsin(7.0), pi / 2);
  EXPECT_EQ(ClampedAsin(-1.5), -pi / 2);
  EXPECT_NEAR(ClampedAsin(0.5), pi / 6, 1e-15);
  EXPECT_EQ(AngleBetween(Vector(), Vector(0, 1, 0)), 0.0);
  EXPECT_EQ(AngleBetween(Vector(0, 2, 0), Vector(0, -3, 0)), pi);
  EXPECT_NEAR(AngleBetween(Vector(0, 1, 0), Vector(0, 1, 1)), pi / 4, 1e-15);
}

// Two road wheels of radius 30 (inset 5: track radius 25) 270 apart: four
// points, a half-circle arc round each wheel with handles of one radius.
TEST_F(TrackWheelsTest, TrackAroundTwoWheels) {
  BaseTag* tag = NewTag(NewCar({{30.0, 150.0}, {30.0, -120.0}}));
  Press(tag, ROTELIX_BUILD_TRACKS);
  const WheelRigState& st = State(tag);
  ASSERT_EQ(st.groupCount, 2);
  EXPECT_EQ(st.wheels[0].flags, 3);
  EXPECT_EQ(st.wheels[2].flags, 3);
  EXPECT_EQ(st.pointCount, 4);
  EXPECT_EQ(st.isSetUp, 1);
  SplineObject* sp = Track(tag, 0);
  ASSERT_EQ(sp->GetPointCount(), 4);
  const Vector* p = sp->GetPointR();
  const Tangent* t = sp->GetTangentR();
  ExpectNear(p[0], Vector(0, 5, 150));
  ExpectNear(p[1], Vector(0, 5, -120));
  ExpectNear(p[2], Vector(0, 55, -120));
  ExpectNear(p[3], Vector(0, 55, 150));
  ExpectNear(t[0].vr, Vector(0, 0, -67.5));
  ExpectNear(t[1].vl, Vector(0, 0, 67.5));
  ExpectNear(t[1].vr, Vector(0, 0, -25));
  ExpectNear(t[2].vl, Vector(0, 0, -25));
  ExpectNear(t[3].vr, Vector(0, 0, 25));
  ExpectNear(t[0].vl, Vector(0, 0, 25));
  EXPECT_EQ(st.wheels[0].departIndex, 0);
  EXPECT_EQ(st.wheels[0].arriveIndex, 3);
  EXPECT_EQ(st.wheels[3].arriveIndex, 1);
  EXPECT_EQ(st.wheels[3].departIndex, 2);

  // Length: two straight runs and two equal arcs.
  const Real arc = BezierLength(Vector(0, 5, -120), Vector(0, 5, -145), Vector(0, 55, -145), Vector(0, 55, -120));
  EXPECT_NEAR(st.restLength, 2 * 270 + 2 * arc, 1e-6);
  EXPECT_NEAR(st.carReferenceX, 80.0, 0);

  // Both tracks carry the same points.
  SplineObject* sp1 = Track(tag, 1);
  for (LONG i = 0; i < 4; ++i) {
    EXPECT_EQ(sp1->GetPointR()[i], p[i]);
    EXPECT_EQ(sp1->GetTangentR()[i], t[i]);
  }
}

TEST_F(TrackWheelsTest, TableOrderAndPointCountOfAFullRig) {
  BaseTag* tag = NewTag(NewCar());
  BuildRig(tag, 1);  // rear pair z -210, roller z 0 (y 0), front pair z 210
  const WheelRigState& st = State(tag);
  ASSERT_EQ(st.groupCount, 5);
  const LONG keys[] = {0, 1, -2, 0, -1}, flags[] = {3, 3, 5, 8, 21};
  for (LONG g = 0; g < 5; ++g) {
    EXPECT_EQ(st.wheels[2 * g].key, keys[g]) << g;
    EXPECT_EQ(st.wheels[2 * g].flags, flags[g]) << g;
    EXPECT_EQ(st.wheels[2 * g + 1].flags, flags[g]) << g;
  }
  // 2 + 2 + (2 + middle) + (1 + middle) + 2
  EXPECT_EQ(st.pointCount, 11);
  EXPECT_EQ(CountTrackPoints(st), 11);
  EXPECT_EQ(Track(tag, 0)->GetPointCount(), 11);
  EXPECT_EQ(Track(tag, 1)->GetPointCount(), 11);
  const TrackWheelEntry& front = st.wheels[8];
  EXPECT_EQ(front.tensionerTravel, 10.0);
  ExpectNear(front.tensionDirection, Vector(0, 0, 1));
  ExpectNear(front.restPosition, Vector(0, 0, 210));
  EXPECT_EQ(st.wheels[4].tensionerTravel, 0.0);

  // The roller's one point gets symmetric handles of half its radius.
  const Tangent& rt = Track(tag, 0)->GetTangentR()[st.wheels[6].departIndex];
  EXPECT_NEAR(rt.vr.GetLength(), 5.0, 1e-12);
  ExpectNear(rt.vl, -rt.vr);
  EXPECT_GT(st.sagHalfLengthSum, 0.0);
}

TEST_F(TrackWheelsTest, EndPairsWithoutRollersShareAMiddlePoint) {
  BaseTag* tag = NewTag(NewCar());
  BuildRig(tag);
  const WheelRigState& st = State(tag);
  ASSERT_EQ(st.groupCount, 4);
  EXPECT_EQ(st.pointCount, 2 + 2 + 3 + 2);
  // Only the span from the rear pair to the front pair has one.
  const LONG mid = st.wheels[4].midIndex;
  ExpectNear(Track(tag, 0)->GetPointR()[mid], Vector(0, 25, 0));
  const Real sum = st.sagHalfLengthSum;
  EXPECT_NEAR(sum, 210.0, 1e-9);
}

TEST_F(TrackWheelsTest, TensionerMovesAwayFromTheFixedPair) {
  struct Case {
    Bool rearTensioner, rear;
    Vector direction;
    Real bodyZ = 0.0;  // the body's rest z, which a lone tensioner ignores
  } cases[] = {{false, true, {0, 0, 1}},
               {true, true, {0, 0, -1}},
               {false, false, {0, 0, 1}},
               // A lone front tensioner moves out of the track even with the
               // body's origin ahead of it.
               {false, false, {0, 0, 1}, 500.0}};
  for (const Case& c : cases) {
    BaseObject* car = NewCar();
    car->GetDataInstance()->SetVector(RIG_REST_BODY, Vector(0, 40, c.bodyZ));
    BaseTag* tag = NewTag(car);
    Bc(tag).SetBool(ROTELIX_FRONT_TENSIONER, !c.rearTensioner);
    Bc(tag).SetBool(ROTELIX_REAR_TENSIONER, c.rearTensioner);
    Press(tag, ROTELIX_BUILD_FRONT);
    if (c.rear) Press(tag, ROTELIX_BUILD_REAR);
    Press(tag, ROTELIX_BUILD_TRACKS);
    const WheelRigState& st = State(tag);
    Bool found = false;
    for (LONG g = 0; g < st.groupCount; ++g)
      if (st.wheels[2 * g].flags & TRACKWHEEL_TENSIONER) {
        ExpectNear(st.wheels[2 * g].tensionDirection, c.direction);
        found = true;
      }
    EXPECT_TRUE(found);
  }
}

TEST_F(TrackWheelsTest, AxlesAtOneZShareAGroup) {
  BaseObject* car = NewCar({{30.0, 150.0}, {30.0, -120.0}, {30.0, -120.0}});
  BaseTag* tag = NewTag(car);
  Bc(tag).SetLong(ROTELIX_AXLE_COUNT, 1);
  Press(tag, ROTELIX_BUILD_REAR);
  Press(tag, ROTELIX_BUILD_TRACKS);
  const WheelRigState& st = State(tag);
  ASSERT_EQ(st.groupCount, 3);
  EXPECT_EQ(st.wheels[0].flags, 3);
  EXPECT_EQ(st.wheels[2].flags, 3);
  EXPECT_EQ(st.wheels[4].key, -2);
}

// A road wheel takes its axle group's size, whether the axle steers or not.
TEST_F(TrackWheelsTest, RoadWheelsTakeTheirGroupsSize) {
  for (const LONG word : {0, 1, 256, 257}) {
    SCOPED_TRACE(word);
    BaseObject* car = NewCar();
    BaseContainer* bc = car->GetDataInstance();
    bc->SetReal(CAR_WHEEL_DIAMETER_REAR, 80.0);
    bc->SetLong(RIG_AXLE_TYPE + 1, word);
    BaseTag* tag = NewTag(car);
    WheelRigState st{};
    ASSERT_TRUE(BuildTrackWheelTable(doc, car, Bc(tag), st));
    ASSERT_EQ(st.groupCount, 2);
    EXPECT_EQ(st.wheels[0].radius, 30.0);  // the front axle, highest z
    EXPECT_EQ(st.wheels[2].radius, word & 1 ? 40.0 : 30.0);
  }
}

// Two selected axles at one z and nothing else to run round: no track is
// built, and the track button says why.
TEST_F(TrackWheelsTest, AxlesAtOneZAloneAreRefused) {
  BaseObject* car = NewCar({{30.0, 150.0}, {30.0, 150.0}});
  BaseTag* tag = NewTag(car);
  hostlog::Clear();
  Press(tag, ROTELIX_BUILD_TRACKS);
  ASSERT_NE(Track(tag, 0), nullptr);
  EXPECT_EQ(State(tag).groupCount, 0);
  EXPECT_EQ(State(tag).pointCount, 0);
  ASSERT_EQ(hostlog::Dialogs().size(), 1u);
  EXPECT_NE(hostlog::Dialogs()[0].find("two wheels"), std::string::npos) << hostlog::Dialogs()[0];
  WheelRigState fresh{};
  EXPECT_FALSE(BuildTrackWheelTable(doc, car, Bc(tag), fresh));
  // With an end pair there is a loop to build.
  Press(tag, ROTELIX_BUILD_FRONT);
  EXPECT_TRUE(RebuildTrackSplines(doc, car, Bc(tag), State(tag)));
  EXPECT_EQ(State(tag).groupCount, 2);
  EXPECT_EQ(hostlog::Dialogs().size(), 1u);
}

TEST_F(TrackWheelsTest, FewerThanTwoRoadWheelsBuildsNothing) {
  BaseTag* tag = NewTag(NewCar());
  Press(tag, ROTELIX_BUILD_TRACKS);
  const LONG points = State(tag).pointCount;
  const Vector p0 = Track(tag, 0)->GetPointR()[0];
  Bc(tag).SetBool(ROTELIX_TRACK_AXLE + 1, false);
  Bc(tag).SetReal(ROTELIX_TRACK_INSET, 0.0);
  EXPECT_FALSE(RebuildTrackSplines(doc, tag->GetObject(), Bc(tag), State(tag)));
  EXPECT_EQ(State(tag).isSetUp, 1);
  EXPECT_EQ(State(tag).groupCount, 2);
  EXPECT_EQ(State(tag).pointCount, points);
  EXPECT_EQ(Track(tag, 0)->GetPointR()[0], p0);
  WheelRigState fresh{};
  EXPECT_FALSE(BuildTrackWheelTable(doc, tag->GetObject(), Bc(tag), fresh));
  EXPECT_EQ(fresh.groupCount, 0);
}

TEST_F(TrackWheelsTest, TrackLinkToAnotherKindOfObjectIsIgnored) {
  BaseTag* tag = NewTag(NewCar());
  Bc(tag).SetLink(ROTELIX_TRACK_LINK, NewNull(nullptr, "not a spline"));
  Bc(tag).SetLink(ROTELIX_TRACK_LINK + 1, NewNull(nullptr, "nor this"));
  EXPECT_FALSE(RebuildTrackSplines(doc, tag->GetObject(), Bc(tag), State(tag)));
  EXPECT_EQ(State(tag).isSetUp, 1);
  EXPECT_EQ(State(tag).groupCount, 0);
}

}  // namespace
