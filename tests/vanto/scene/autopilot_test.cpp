// The autopilot's parts on hand-made routes and car states: the speed
// table, samples along a route, piece binding, steering, the speed queue,
// the speed profile and the gap keeper.
#include <cmath>
#include <memory>

#include "scene/ground.h"
#include "route_fixture.h"
#include "sim/sim_run.h"

namespace {

using routetest::RouteTest;

class Autopilot : public RouteTest {
 protected:
  void SetUp() override {
    RouteTest::SetUp();
    car = std::make_unique<CarState>();
    car->settings.unitsPerMetre = 100.0;
    car->settings.stepDt = 0.001;
    car->settings.inputPeriod = 0.01;
    car->autopilot.speedScale = 1.0;
    car->autopilot.maxSteerAngle = pi / 6;
    car->bodySize = Vector(180, 80, 450);
  }
  std::unique_ptr<CarState> car;
};

TEST_F(Autopilot, SpeedTableInMetresPerSecondSortedAndAtMost100) {
  SplineObject* sp = Spline(nullptr, {Vector(), Vector(0, 0, 1000)});
  BaseTag* tag = Tag(sp, {{72, 0.5}, {36, 0.25}});
  tag->GetDataInstance()->SetReal(ROUTETAG_GRIP, 0.7);
  AutopilotState& ap = car->autopilot;
  ap.speedScale = 1.5;
  ASSERT_TRUE(BindRoute(sp, ap));
  EXPECT_EQ(ap.routeSpline, sp);
  EXPECT_EQ(ap.routeGrip, 0.7);
  ASSERT_EQ(ap.speedPointCount, 2);
  EXPECT_NEAR(ap.speedPoints[0].speed, 15.0, 1e-12);  // 36 km/h x 1.5
  EXPECT_NEAR(ap.speedPoints[0].parameter, 0.25, 1e-9);
  EXPECT_NEAR(ap.speedPoints[1].speed, 30.0, 1e-12);

  BaseContainer* bc = tag->GetDataInstance();
  for (LONG i = 0; i < 150; ++i) {
    bc->SetReal(ROUTETAG_SPEED + 2 * i, 10.0);
    bc->SetReal(ROUTETAG_POSITION + 2 * i, 0.005 * (i + 1));
  }
  bc->SetLong(ROUTETAG_COUNT, 150);
  LoadRouteSpeedTable(ap, 1);
  EXPECT_EQ(ap.speedPointCount, 100);
  EXPECT_EQ(ap.speedPointIndex, 0);

  // Without the load flag only the grip follows; without a tag 1.0 and,
  // when loading, no table.
  bc->SetReal(ROUTETAG_GRIP, 0.5);
  bc->SetLong(ROUTETAG_COUNT, 1);
  LoadRouteSpeedTable(ap, 0);
  EXPECT_EQ(ap.routeGrip, 0.5);
  EXPECT_EQ(ap.speedPointCount, 100);
  sp->KillTag(ID_VANTOROUTE);
  LoadRouteSpeedTable(ap, 1);
  EXPECT_EQ(ap.routeGrip, 1.0);
  EXPECT_EQ(ap.speedPointCount, 0);
}

TEST_F(Autopilot, SamplesAlongTheRoute) {
  SplineObject* sp = Spline(nullptr, {Vector(0, 0, 0), Vector(0, 0, 1000)});
  sp->SetRelPos(Vector(10, 5, 0));
  Vector p, t;
  EXPECT_DOUBLE_EQ(SampleRouteSpline(sp, 250.0, p, t, 0.0), -0.25);
  EXPECT_EQ(p, Vector(10, 5, 250));
  EXPECT_EQ(t, Vector(0, 0, 1));
  SampleRouteSpline(sp, 250.0, p, t, 50.0);  // offset to the right of the heading
  EXPECT_EQ(p, Vector(60, 5, 250));
  p = Vector(-1, -1, -1);
  EXPECT_DOUBLE_EQ(SampleRouteSpline(sp, 1200.0, p, t, 0.0), 200.0);  // beyond the end
  EXPECT_EQ(p, Vector(-1, -1, -1));
  EXPECT_DOUBLE_EQ(RouteSplineDistance(sp, 0.25, 0.75), 500.0);

  // Nothing to measure: 0, and the outputs stay.
  BaseObject* null = BaseObject::Alloc(Onull);
  doc->InsertObject(null, nullptr, nullptr);
  EXPECT_EQ(SampleRouteSpline(null, 10.0, p, t, 0.0), 0.0);
  EXPECT_EQ(RouteSplineDistance(null, 0.0, 1.0), 0.0);
  // A spline of no length holds every place at its start.
  SplineObject* dot = Spline(nullptr, {Vector(3, 0, 3), Vector(3, 0, 3)});
  EXPECT_EQ(SampleRouteSpline(dot, 0.0, p, t, 0.0), 0.0);
  EXPECT_EQ(p, Vector(3, 0, 3));
}

TEST_F(Autopilot, ASweepBindsItsRailAndItsRoadSection) {
  BaseObject* group = Null(doc, nullptr, "routes", Vector());
  BaseObject* sweep = SweepRoute(group, {Vector(0, 0, 0), Vector(0, 0, 1000)}, 300.0);
  AutopilotState& ap = car->autopilot;
  ASSERT_TRUE(BindRoute(sweep, ap));
  EXPECT_EQ(ap.routeSpline, sweep->GetDown()->GetNext());
  EXPECT_EQ(ap.routeProfile, sweep->GetDown());
  EXPECT_EQ(ap.routeGuide, nullptr);
  EXPECT_EQ(ap.routeIsGround, 1);
  EXPECT_EQ(ap.routeName, "road");
  // Ordered from -x to +x although the profile was drawn the other way.
  EXPECT_DOUBLE_EQ(ap.routeSection[0][0].x, -300.0);
  EXPECT_DOUBLE_EQ(ap.routeSection[kRouteSectionSamples - 1][0].x, 300.0);
  for (int k = 1; k < kRouteSectionSamples; ++k) EXPECT_GE(ap.routeSection[k][0].x, ap.routeSection[k - 1][0].x);
  EXPECT_EQ(ap.routeSection[10][1], Vector(0, 1, 0));

  // Anything else binds nothing.
  BaseObject* null = Null(doc, group, "n", Vector());
  EXPECT_FALSE(BindRoute(null, ap));
  EXPECT_EQ(ap.routeSpline, nullptr);
  EXPECT_EQ(ap.routeObject, null);
  BaseObject* bare = BaseObject::Alloc(Osweep);
  doc->InsertObject(bare, group, nullptr);
  EXPECT_FALSE(BindRoute(bare, ap));
}

TEST_F(Autopilot, PiecesFollowEachOtherAndWrapWhenAsked) {
  BaseObject* group = Null(doc, nullptr, "routes", Vector());
  SplineObject* a = Spline(group, {Vector(), Vector(0, 0, 100)}, "a");
  SplineObject* b = Spline(group, {Vector(0, 0, 100), Vector(0, 0, 200)}, "b");
  AutopilotState& ap = car->autopilot;
  ASSERT_TRUE(BindRoute(a, ap));
  EXPECT_FALSE(PreviousRoutePiece(ap));
  EXPECT_TRUE(NextRoutePiece(ap));
  EXPECT_EQ(ap.routeSpline, b);
  EXPECT_FALSE(NextRoutePiece(ap));
  ap.wrapRoute = 1;
  EXPECT_TRUE(NextRoutePiece(ap));
  EXPECT_EQ(ap.routeSpline, a);
  EXPECT_TRUE(PreviousRoutePiece(ap));
  EXPECT_EQ(ap.routeSpline, b);
}

// The tick that runs past the end of a piece binds the next one and stands
// the car on it at once: 990 units along a 1000-unit piece at 20 m/s, the
// next tick (0.01 s at 100 units a metre) is 20 units on, 10 into
// the next piece.
TEST_F(Autopilot, TheDistanceAlongTheRouteIsRightAtTheSwitch) {
  BaseObject* group = Null(doc, nullptr, "routes", Vector());
  SplineObject* a = Spline(group, {Vector(), Vector(0, 0, 1000)}, "a");
  SplineObject* b = Spline(group, {Vector(0, 0, 1000), Vector(0, 0, 2000)}, "b");
  AutopilotState& ap = car->autopilot;
  ASSERT_TRUE(BindRoute(a, ap));
  ap.routeDistance = 990.0;
  ap.routePoint = Vector(0, 0, 990);
  ap.routeTangent = Vector(0, 0, 1);
  car->bodyMatrix = Matrix(Vector(0, 0, 990), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  car->velocity = Vec3(0, 0, 20);
  car->speed = 20.0;
  StepAutopilot(doc, BaseContainer(), *car);
  ASSERT_EQ(ap.routeSpline, b);
  EXPECT_NEAR(ap.routeDistance, 10.0, 1e-9);
  EXPECT_NEAR(ap.routePoint.z, 1010.0, 1e-9);
}

TEST_F(Autopilot, SteersTowardTheTarget) {
  // A car heading +z: its side axis is +x.
  const double s30 = std::sin(pi / 6);
  struct Case {
    Vector target;
    double steer;
  } cases[] = {
      {Vector(0, 0, 1), 0.0},                       // straight on
      {Vector(0, 5, 1), 0.0},                       // height does not count
      {Vector(std::sin(0.1), 0, std::cos(0.1)), -std::sin(0.1) / s30},
      {Vector(-std::sin(0.1), 0, std::cos(0.1)), std::sin(0.1) / s30},
      {Vector(1, 0, 0), -1.0},                      // beyond full lock
      {Vector(-1, 0, -1), 1.0},
      {Vector(), 0.0},                              // no direction
  };
  for (const Case& c : cases) EXPECT_NEAR(SteerToward(c.target, *car), c.steer, 1e-12) << c.target.x;
  car->autopilot.maxSteerAngle = 0.0;  // no steering: never a NaN
  EXPECT_EQ(SteerToward(Vector(1, 0, 0), *car), 0.0);
}

TEST_F(Autopilot, PruningKeepsOnlyUsableEntries) {
  AutopilotState& ap = car->autopilot;
  const SpeedTarget entries[] = {
      {2.0, 10.0, 0, 0.4},   // kept
      {2.0, 10.0, 1, 0.4},   // pending: dropped
      {2.0, 10.0, 2, 0.4},   // marked: kept only when learning
      {2.0, 10.0, 0, -0.6},  // speeds up with a braking gain: dropped
      {-2.0, 10.0, 0, 0.6},  // slows down with a throttle gain: dropped
      {-2.0, 10.0, 0, -0.6},
  };
  for (int learn : {1, 0}) {
    ap.learnMode = learn;
    ap.speedQueueCount = 6;
    for (int i = 0; i < 6; ++i) ap.speedQueue[i] = entries[i];
    PruneSpeedQueue(*car);
    ASSERT_EQ(ap.speedQueueCount, learn ? 3 : 2) << learn;
    EXPECT_EQ(ap.speedQueue[0].gain, 0.4);
    EXPECT_EQ(ap.speedQueue[ap.speedQueueCount - 1].gain, -0.6);
    if (learn) {
      EXPECT_EQ(ap.speedQueue[1].entryFlags, 0);
    }
  }
  ap.speedQueueCount = -5;
  PruneSpeedQueue(*car);
  EXPECT_EQ(ap.speedQueueCount, 0);
}

// A straight 100 m route with one point of 10 m/s at its end and the car at
// its start, rolling at `v`.
class SpeedProfile : public Autopilot {
 protected:
  void SetUp() override {
    Autopilot::SetUp();
    road = Spline(nullptr, {Vector(), Vector(0, 0, 10000)});
    Tag(road, {{36, 1.0}});
    ASSERT_TRUE(BindRoute(road, car->autopilot));
    car->autopilot.speedPointIndex = -1;
  }
  SplineObject* road = nullptr;
};

TEST_F(SpeedProfile, AnApproachStartsWithAQueueEntry) {
  car->speed = 4.0;
  EXPECT_EQ(ControlRouteSpeed(road, -0.5, *car), 0);
  const AutopilotState& ap = car->autopilot;
  EXPECT_EQ(ap.speedPointIndex, 0);
  ASSERT_EQ(ap.speedQueueCount, 1);
  EXPECT_NEAR(ap.speedQueue[0].deltaSpeed, 6.0, 1e-12);
  EXPECT_NEAR(ap.speedQueue[0].changeDistance, 50.0, 1e-6);
  EXPECT_EQ(ap.speedQueue[0].entryFlags, 3);
  EXPECT_EQ(ap.speedQueue[0].gain, 0.75);
  EXPECT_EQ(car->leadingWord, 0x12345678);
  EXPECT_EQ(car->ramps[kRampThrottle].target, 0.75);
  // Past the last point there is nothing to aim at.
  car->autopilot.speedQueue[0].entryFlags = 0;
  EXPECT_EQ(ControlRouteSpeed(road, -1.0, *car), 1);
}

// The profile corrections come once per break period: on the input tick in
// whose period the break test falls, also when the break period is not a
// whole number of input periods.
TEST_F(SpeedProfile, CorrectionsComeOncePerBreakPeriod) {
  car->speed = 4.0;
  ControlRouteSpeed(road, -0.5, *car);
  car->ramps[kRampThrottle] = ControlRamp{0.5, 0.5, 0.0, 0.0};
  car->pedalRampLevel = 0.0;
  car->speed = 4.5;  // behind the plan: more throttle
  car->settings.breakCountdown = 10;
  ControlRouteSpeed(road, -0.55, *car);
  EXPECT_EQ(car->ramps[kRampThrottle].target, 0.5);
  car->settings.breakCountdown = 7;
  ControlRouteSpeed(road, -0.55, *car);
  EXPECT_NEAR(car->ramps[kRampThrottle].target, 0.52, 1e-12);
}

// An approach that sped up and went past the point's speed brakes instead of
// keeping its throttle.
TEST_F(SpeedProfile, PastThePointsSpeedTheCarBrakes) {
  car->speed = 4.0;
  ControlRouteSpeed(road, -0.5, *car);
  car->ramps[kRampThrottle] = ControlRamp{0.7, 0.7, 0.0, 0.0};
  car->pedalRampLevel = 0.0;
  car->speed = 12.0;
  car->settings.breakCountdown = 0;
  ControlRouteSpeed(road, -0.6, *car);
  EXPECT_NEAR(car->ramps[kRampBrake].target, 0.04, 1e-12);
  EXPECT_EQ(car->ramps[kRampThrottle].target, 0.0);  // released
  // Someone with a higher level holds the pedals: nothing is asked.
  car->pedalRampLevel = 0.7;
  car->ramps[kRampBrake] = ControlRamp{};
  ControlRouteSpeed(road, -0.6, *car);
  EXPECT_EQ(car->ramps[kRampBrake].target, 0.0);
}

// Once the brake has brought the car below the point's speed it lets go at
// the next input tick, whether or not a correction is due.
TEST_F(SpeedProfile, BelowThePointsSpeedTheBrakeLetsGoAtOnce) {
  car->speed = 4.0;
  ControlRouteSpeed(road, -0.5, *car);
  car->pedalRampLevel = 0.0;
  for (int countdown : {0, 50}) {
    SCOPED_TRACE(countdown);
    car->ramps[kRampBrake] = ControlRamp{0.12, 0.12, 0.0, 0.16};
    car->speed = 9.5;
    car->settings.breakCountdown = countdown;
    ControlRouteSpeed(road, -0.6, *car);
    EXPECT_EQ(car->ramps[kRampBrake].current, 0.0);
    EXPECT_EQ(car->ramps[kRampBrake].target, 0.0);
  }
  // Above it the brake is kept.
  car->ramps[kRampBrake] = ControlRamp{0.12, 0.12, 0.0, 0.16};
  car->speed = 10.5;
  car->settings.breakCountdown = 50;
  ControlRouteSpeed(road, -0.6, *car);
  EXPECT_EQ(car->ramps[kRampBrake].current, 0.12);
}

TEST_F(SpeedProfile, ReachingThePointCorrectsTheGain) {
  car->speed = 4.0;
  ControlRouteSpeed(road, -0.5, *car);  // +6 m/s planned with gain 0.75
  car->autopilot.learnMode = 1;
  car->pedalRampLevel = 0.0;
  car->speed = 11.0;  // made 7: gain x 6 / 7
  car->bodyMatrix.off = car->autopilot.routePoint;
  EXPECT_EQ(ControlRouteSpeed(road, -1.0, *car), 1);
  EXPECT_NEAR(car->autopilot.speedQueue[0].gain, 0.75 * 6.0 / 7.0, 1e-12);
  EXPECT_EQ(car->autopilot.speedQueue[0].entryFlags, 2);
}

class GapKeeper : public Autopilot {
 protected:
  // The other car `ahead` scene units in front (front to rear) at `angle`
  // off the heading, rolling at `speed`.
  void Place(double ahead, double speed, double angle = 0.0) {
    other = std::make_unique<CarState>();
    other->bodySize = car->bodySize;
    other->speed = speed;
    const Vector front(0, 0, 225);
    other->bodyMatrix.off = front + Vector(std::sin(angle), 0, std::cos(angle)) * ahead + Vector(0, 0, 225);
    entries[0] = CarEntry{nullptr, car.get(), 1};
    entries[1] = CarEntry{reinterpret_cast<BaseObject*>(this), other.get(), 1};
    car->autopilot.gapDistance = 1000.0;
    car->autopilot.gapMargin = 0.25;
    car->autopilot.gapHalfAngle = pi / 12;
    car->ramps[kRampBrake] = ControlRamp{};
    car->ramps[kRampThrottle] = ControlRamp{0.5, 0.5, 0, 0};
    car->pedalRampLevel = 0.0;
  }
  std::unique_ptr<CarState> other;
  CarEntry entries[2];
};

TEST_F(GapKeeper, ZonesAndBrakes) {
  car->speed = 10.0;
  struct Case {
    double ahead, otherSpeed, angle;
    int zone;
    double brake;  // brake target, -1 for no brake ramp
  } cases[] = {
      {500.0, 0.0, 0.0, 3, 1.0},        // a standing car ahead: full brake
      {300.0, 10.0, 0.0, 3, 1.0},       // closer than half the inner range
      {600.0, 8.0, 0.0, 3, 0.5},        // k = (10/8 - 1) x 2
      {800.0, 8.0, 0.0, 2, 0.4},        // beyond G - M: x 0.8
      {1100.0, 8.0, 0.0, 1, 0.32},      // beyond G: x 0.8 again
      {1300.0, 0.0, 0.0, 0, -1.0},      // out of range
      {600.0, 0.0, 0.5, 0, -1.0},       // outside the cone
      {600.0, 20.0, 0.0, 3, -1.0},      // pulling away
  };
  for (const Case& c : cases) {
    Place(c.ahead, c.otherSpeed, c.angle);
    KeepGapToCars(*car, entries, 2);
    EXPECT_EQ(car->autopilot.gapZone, c.zone) << c.ahead;
    if (c.brake < 0) {
      EXPECT_EQ(car->ramps[kRampBrake].remaining, 0.0) << c.ahead;
    } else {
      EXPECT_NEAR(car->ramps[kRampBrake].target, c.brake, 1e-12) << c.ahead;
      EXPECT_EQ(car->pedalRampLevel, 0.7);
    }
  }
  // Gap keeping off.
  Place(500.0, 0.0);
  car->autopilot.gapDistance = 0.0;
  KeepGapToCars(*car, entries, 2);
  EXPECT_EQ(car->autopilot.gapZone, 0);
  EXPECT_EQ(car->ramps[kRampBrake].remaining, 0.0);
  // Only cars on the same route piece, when asked.
  Place(500.0, 0.0);
  car->autopilot.gapSameRoute = 1;
  KeepGapToCars(*car, entries, 2);
  EXPECT_EQ(car->autopilot.gapZone, 0);
}

// Two cars in the cone: a slow one near and a faster one farther on. The
// near one decides, in either list order.
TEST_F(GapKeeper, TheNearestCarAheadDecidesInEitherListOrder) {
  car->speed = 10.0;
  Place(1100.0, 10.2);  // far, a little faster: its answer lets go of the brake
  std::unique_ptr<CarState> far = std::move(other);
  Place(600.0, 8.0);  // near and slower: k = (10 / 8 - 1) x 2 = 0.5
  for (bool nearFirst : {true, false}) {
    SCOPED_TRACE(nearFirst ? "near car listed first" : "far car listed first");
    car->ramps[kRampBrake] = ControlRamp{};
    car->ramps[kRampThrottle] = ControlRamp{0.5, 0.5, 0, 0};
    car->pedalRampLevel = 0.0;
    CarEntry list[3] = {entries[0], entries[1], CarEntry{reinterpret_cast<BaseObject*>(this), far.get(), 1}};
    if (!nearFirst) std::swap(list[1], list[2]);
    KeepGapToCars(*car, list, 3);
    EXPECT_EQ(car->autopilot.gapZone, 3);
    EXPECT_NEAR(car->ramps[kRampBrake].target, 0.5, 1e-12);
    EXPECT_GT(car->ramps[kRampBrake].remaining, 0.0);
    EXPECT_EQ(car->ramps[kRampThrottle].target, 0.0);
  }
}

// Beyond the end of a sweep piece the next piece's road carries the wheels;
// beyond that, or without a next road, nothing does.
TEST_F(Autopilot, TheRouteGroundReachesIntoTheNextPiece) {
  BaseObject* group = Null(doc, nullptr, "routes", Vector());
  BaseObject* first = SweepRoute(group, {Vector(0, 0, 0), Vector(0, 0, 1000)}, 300.0);
  BaseObject* second = SweepRoute(group, {Vector(0, 20, 1000), Vector(0, 20, 2000)}, 300.0);
  AutopilotState& ap = car->autopilot;
  ap.routeGrip = 1.0;
  ASSERT_TRUE(BindRoute(first, ap));
  Vector p, t;
  SampleRouteSpline(ap.routeSpline, 900.0, p, t, 0.0);
  ap.routePoint = p;
  ap.routeFrame = Matrix(p, Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  SceneGroundHit hit;
  EXPECT_EQ(QueryRouteGround(Vector(0, 100, 950), hit, *car), 1);
  EXPECT_NEAR(hit.height, 0.0, 1e-9);
  EXPECT_EQ(QueryRouteGround(Vector(0, 100, 1050), hit, *car), 1);
  EXPECT_NEAR(hit.height, 20.0, 1e-9);  // the second road
  EXPECT_EQ(ap.routeObject, first);       // nothing rebound
  EXPECT_EQ(QueryRouteGround(Vector(0, 100, 2100), hit, *car), 0);
  BaseObject::Free(second);
  EXPECT_EQ(QueryRouteGround(Vector(0, 100, 1050), hit, *car), 0);
}

}  // namespace
