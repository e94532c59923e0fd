// Cars driven by the autopilot in a running Sim: route speeds, steering
// along a bend, the end of the route and the gap to a car in front.
#include <algorithm>
#include <cmath>
#include <vector>

#include "route_fixture.h"
#include "sim/sim_run.h"

namespace {

using routetest::RouteTest;

class RouteRun : public RouteTest {
 protected:
  // A car under the Sim that starts on the first piece of `group`.
  BaseObject* RouteCar(BaseObject* sim, BaseObject* group) {
    BaseObject* car = AddCar(sim);
    BaseContainer* bc = car->GetDataInstance();
    bc->SetLink(CAR_ROUTE_GROUP, group);
    bc->SetLong(CAR_START_MODE, 1);
    return car;
  }
  void Play(LONG from, LONG to) {
    for (LONG f = from; f <= to; ++f) Frame(f);
  }
};

// 36 km/h on a straight route is 10 m/s: after a few speed points the car
// has learnt its pedal and holds that speed, on the route's line.
TEST_F(RouteRun, ACarOnAStraightRouteDrivesAtTheRoutesSpeed) {
  BaseObject* sim = AddSim();
  BaseObject* routes = Null(doc, nullptr, "routes", Vector());
  SplineObject* road = Spline(routes, {Vector(0, 0, 0), Vector(0, 0, 60000)});
  Tag(road, {{36, 0.3}, {36, 0.1}, {36, 0.2}, {36, 0.4}, {36, 0.5}, {36, 0.6}, {36, 0.7}, {36, 0.8}, {36, 1.0}});
  BaseObject* car = RouteCar(sim, routes);
  Frame(1);
  const CarState& s = State(car);
  ASSERT_EQ(s.autopilot.routeSpline, road);
  EXPECT_EQ(s.autopilot.speedPointCount, 9);
  EXPECT_NEAR(s.autopilot.speedPoints[0].speed, 10.0, 1e-12);
  EXPECT_NEAR(s.autopilot.speedPoints[0].parameter, 0.1, 1e-9);  // sorted by place
  EXPECT_EQ(s.autopilot.routeLabel, "ROU");
  Play(2, 30 * 35);
  double sum = 0.0;
  const LONG last = 30 * 45;
  for (LONG f = 30 * 35 + 1; f <= last; ++f) {
    Frame(f);
    sum += s.speed;
    EXPECT_NEAR(s.speed, 10.0, 1.0) << f;
  }
  EXPECT_NEAR(sum / (30 * 10), 10.0, 0.3);
  EXPECT_NEAR(s.bodyMatrix.off.x, 0.0, 5.0);
  EXPECT_GT(s.autopilot.speedQueueCount, 0);
  EXPECT_TRUE(hostlog::Dialogs().empty());
}

// A quarter circle to the right and one to the left: the car keeps to the
// route on both and ends up heading along the last tangent.
TEST_F(RouteRun, ACarFollowsBendsBothWays) {
  BaseObject* sim = AddSim();
  BaseObject* routes = Null(doc, nullptr, "routes", Vector());
  const double R = 3000.0;
  SplineObject* road = SplineObject::Alloc(0, SPLINETYPE_LINEAR);
  doc->InsertObject(road, routes, nullptr);
  // Straight 20 m, a bend towards +x, then one back towards +z.
  std::vector<Vector> pts = {Vector(0, 0, 0), Vector(0, 0, 2000)};
  for (int k = 1; k <= 18; ++k) {
    const double a = k * pi / 36.0;
    pts.push_back(Vector(R - R * std::cos(a), 0, 2000 + R * std::sin(a)));
  }
  for (int k = 1; k <= 18; ++k) {
    const double b = k * pi / 36.0;
    pts.push_back(Vector(R + R * std::sin(b), 0, 2000 + 2 * R - R * std::cos(b)));
  }
  pts.push_back(Vector(2 * R, 0, 2000 + 2 * R + 1000));
  road->ResizeObject(static_cast<LONG>(pts.size()), 1);
  for (size_t i = 0; i < pts.size(); ++i) road->GetPointW()[i] = pts[i];
  Tag(road, {{36, 0.1}, {36, 1.0}});
  BaseObject* car = RouteCar(sim, routes);
  Frame(1);
  const CarState& s = State(car);
  double worst = 0.0;
  for (LONG f = 2; f <= 30 * 20 && s.autopilot.routeSpline; ++f) {
    Frame(f);
    worst = std::max(worst, (Vector(s.bodyMatrix.off.x, 0, s.bodyMatrix.off.z) - HostOrderToVector(s.autopilot.routePoint)).GetLength());
  }
  EXPECT_LT(worst, 150.0);  // never more than 1.5 m off the line
  EXPECT_EQ(s.autopilot.routeSpline, nullptr);  // the whole route driven
  EXPECT_NEAR(s.bodyMatrix.off.x, 2 * R, 50.0);  // along the last straight
}

// Past the end of the last piece the car lets go of the route, brakes and
// straightens its wheels.
TEST_F(RouteRun, AtTheEndOfTheRouteTheCarStops) {
  BaseObject* sim = AddSim();
  BaseObject* routes = Null(doc, nullptr, "routes", Vector());
  Tag(Spline(routes, {Vector(0, 0, 0), Vector(0, 0, 2000)}), {{36, 1.0}});
  BaseObject* car = RouteCar(sim, routes);
  Frame(1);
  const CarState& s = State(car);
  LONG f = 2;
  for (; f <= 30 * 30 && s.autopilot.routeSpline; ++f) Frame(f);
  ASSERT_EQ(s.autopilot.routeSpline, nullptr);
  EXPECT_EQ(s.autopilot.routeObject, nullptr);
  EXPECT_NEAR(s.ramps[kRampBrake].target, 0.75, 1e-12);
  EXPECT_EQ(s.ramps[kRampSteer].target, 0.0);
  Play(f, f + 30 * 10);
  EXPECT_LT(s.speed, 0.1);
  EXPECT_GT(s.bodyMatrix.off.z, 2000.0);
}

// Two pieces in a row: the car moves on to the second and takes its table.
TEST_F(RouteRun, TheCarMovesOnToTheNextPiece) {
  BaseObject* sim = AddSim();
  BaseObject* routes = Null(doc, nullptr, "routes", Vector());
  Tag(Spline(routes, {Vector(0, 0, 0), Vector(0, 0, 1500)}, "a"), {{30, 1.0}});
  SplineObject* b = Spline(routes, {Vector(0, 0, 1500), Vector(0, 0, 30000)}, "b");
  Tag(b, {{18, 0.2}, {18, 1.0}});
  BaseObject* car = RouteCar(sim, routes);
  Frame(1);
  const CarState& s = State(car);
  Play(2, 30 * 25);
  ASSERT_EQ(s.autopilot.routeSpline, b);
  EXPECT_EQ(s.autopilot.routeName, "b");
  EXPECT_NEAR(s.autopilot.speedPoints[0].speed, 5.0, 1e-12);
  EXPECT_NEAR(s.speed, 5.0, 1.0);
}

// A car follows another that stands on the same route: it stops behind it
// and does not run into it.
TEST_F(RouteRun, AFollowerStopsBehindAStandingCar) {
  BaseObject* sim = AddSim();
  BaseObject* routes = Null(doc, nullptr, "routes", Vector());
  Tag(Spline(routes, {Vector(0, 0, 0), Vector(0, 0, 40000)}), {{18, 0.1}, {18, 1.0}});
  BaseObject* standing = AddCar(sim, 6000.0);
  BaseObject* follower = RouteCar(sim, routes);
  follower->GetDataInstance()->SetBool(CAR_GAP_SAME_ROUTE, false);
  Frame(1);
  const CarState& s = State(follower);
  const CarState& o = State(standing);
  Play(2, 30 * 25);
  const double gap = (o.bodyMatrix.off.z - 225.0) - (s.bodyMatrix.off.z + 225.0);
  EXPECT_GT(gap, 0.0);
  EXPECT_LT(s.speed, 0.5);
  EXPECT_NEAR(o.bodyMatrix.off.z, 6000.0, 5.0);
  EXPECT_EQ(s.autopilot.gapZone, 3);
}

// A crash reaction that holds the throttle at 0 for 1 s keeps the
// autopilot (a lower level) off the pedals for that second, step after step.
TEST_F(RouteRun, ACrashHoldOfTheThrottleLastsItsTime) {
  BaseObject* sim = AddSim();
  BaseObject* routes = Null(doc, nullptr, "routes", Vector());
  SplineObject* road = Spline(routes, {Vector(0, 0, 0), Vector(0, 0, 60000)});
  Tag(road, {{72, 0.2}, {72, 1.0}});
  BaseObject* car = RouteCar(sim, routes);
  Play(1, 60);
  CarState& s = car->GetNodeData<Car>()->State();
  ASSERT_GT(s.ramps[kRampThrottle].current, 0.1);
  s.crashReaction.mode[0] = 1;
  s.crashReaction.holdTime[0] = 1.0;
  s.sideImpulse[0] = Vector(1.0, 0.0, 0.0);
  ReactToCollision(s);
  for (LONG f = 61; f <= 87; ++f) {
    Frame(f);
    ASSERT_EQ(s.ramps[kRampThrottle].current, 0.0) << f;
    ASSERT_EQ(s.pedalRampLevel, 0.6) << f;
  }
  Play(88, 120);
  EXPECT_GT(s.ramps[kRampThrottle].current, 0.0) << "the autopilot drives again after the hold";
}

// A constant 40 km/h (11.1 m/s) along the whole route: once the car has
// come up to speed it stays within 10 % of it, on a long straight and on a
// circle. A brake that lingers below the target drags it far under.
TEST_F(RouteRun, SpeedSettlesAtAConstantTableValue) {
  const double target = 40.0 / 3.6;
  for (bool circle : {false, true}) {
    SCOPED_TRACE(circle ? "circle" : "straight");
    TearDown();
    SetUp();
    BaseObject* sim = AddSim();
    BaseObject* routes = Null(doc, nullptr, "routes", Vector());
    std::vector<Vector> pts;
    const double R = 6000.0;
    if (circle) {
      for (int k = 0; k <= 72; ++k) pts.push_back(Vector(R - R * std::cos(k * pi / 36), 0, R * std::sin(k * pi / 36)));
    } else {
      pts = {Vector(0, 0, 0), Vector(0, 0, 80000)};
    }
    SplineObject* road = SplineObject::Alloc(static_cast<LONG>(pts.size()), SPLINETYPE_LINEAR);
    for (size_t i = 0; i < pts.size(); ++i) road->GetPointW()[i] = pts[i];
    doc->InsertObject(road, routes, nullptr);
    std::initializer_list<std::pair<double, double>> table = {{40, 0.05}, {40, 0.15}, {40, 0.25}, {40, 0.35},
                                                              {40, 0.45}, {40, 0.55}, {40, 0.65}, {40, 0.75},
                                                              {40, 0.85}, {40, 0.95}};
    Tag(road, table);
    BaseObject* car = RouteCar(sim, routes);
    Play(1, 30 * 12);
    const CarState& s = State(car);
    double low = 1e9, high = 0.0;
    for (LONG f = 30 * 12 + 1; f <= 30 * 25; ++f) {
      Frame(f);
      low = std::min(low, s.speed);
      high = std::max(high, s.speed);
    }
    EXPECT_GT(low, 0.9 * target);
    EXPECT_LT(high, 1.1 * target);
  }
}

}  // namespace
