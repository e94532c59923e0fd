// scene/autopilot.cpp on hand-made routes and car states: the speed table,
// samples along a route, piece binding, the switch between pieces, the speed
// profile through a spline's arc length, the run's list for the gap keeper
// and the route's road surface.
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
  ap.routePoint = Vec3(0, 0, 990);
  ap.routeTangent = Vec3(0, 0, 1);
  car->bodyMatrix = Matrix(Vector(0, 0, 990), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  car->velocity = Vec3(0, 0, 20);
  car->speed = 20.0;
  StepAutopilot(doc, BaseContainer(), *car);
  ASSERT_EQ(ap.routeSpline, b);
  EXPECT_NEAR(ap.routeDistance, 10.0, 1e-9);
  EXPECT_NEAR(ap.routePoint.z, 1010.0, 1e-9);
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

// The run's car list reaches the gap keeper without the car itself, without
// cars the run has not set up and, when asked, without cars on other
// splines. (The zones and brakes are the engine's: engine/autopilot_test.)
TEST_F(GapKeeper, TheRunsCarListIsFiltered) {
  car->speed = 10.0;
  Place(500.0, 0.0);  // a standing car ahead: full brake whenever it counts
  entries[1].ready = 0;
  KeepGapToCars(*car, entries, 2);
  EXPECT_EQ(car->autopilot.gapZone, 0);
  entries[1].ready = 1;
  KeepGapToCars(*car, entries, 1);  // only the car itself
  EXPECT_EQ(car->autopilot.gapZone, 0);
  KeepGapToCars(*car, entries, 2);
  EXPECT_EQ(car->autopilot.gapZone, 3);
  EXPECT_EQ(car->ramps[kRampBrake].target, 1.0);

  car->autopilot.gapSameRoute = 1;
  KeepGapToCars(*car, entries, 2);
  EXPECT_EQ(car->autopilot.gapZone, 0);  // the car follows no route
  SplineObject* road = Spline(nullptr, {Vector(), Vector(0, 0, 10000)});
  SplineObject* otherRoad = Spline(nullptr, {Vector(), Vector(0, 0, 10000)});
  car->autopilot.routeSpline = road;
  other->autopilot.routeSpline = otherRoad;
  KeepGapToCars(*car, entries, 2);
  EXPECT_EQ(car->autopilot.gapZone, 0);
  other->autopilot.routeSpline = road;
  KeepGapToCars(*car, entries, 2);
  EXPECT_EQ(car->autopilot.gapZone, 3);
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
  ap.routePoint = VectorToHostOrder(p);
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
