// engine/autopilot.cpp on routes made of straight pieces, without any scene:
// steering toward the look-ahead point, piece changes and the route's end,
// the speed profile and its learnt gains, the queue pruning and the gap
// keeper.
#include "engine/autopilot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <utility>
#include <numbers>
#include <vector>

namespace {

constexpr double pi = std::numbers::pi;

// Pieces along +z, one after the other; piece i runs from (x, 0, z0) for
// `length` scene units. Parameters are fractions of the length.
class StraightRoute final : public RoutePath {
 public:
  struct Piece {
    double x, z0, length;
  };
  explicit StraightRoute(std::vector<Piece> pieces) : pieces_(std::move(pieces)) {}

  bool Bound() const override { return bound_; }
  double Length() const override { return pieces_[index_].length; }
  double ToUniform(double parameter) const override { return parameter; }
  double Sample(double d, double offset, Vec3& point, Vec3& tangent) const override {
    return SampleOn(pieces_[index_], d, offset, point, tangent);
  }
  double SampleNext(double d, double offset, Vec3& point, Vec3& tangent) const override {
    if (index_ + 1 >= pieces_.size()) return d;
    return SampleOn(pieces_[index_ + 1], d, offset, point, tangent);
  }
  bool AdvancePiece() override {
    if (index_ + 1 >= pieces_.size()) return false;
    ++index_;
    return true;
  }
  void Drop() override { bound_ = false; }
  void PlaceSurface(const Vec3& point, const Vec3&) override {
    ++surfaces;
    surfacePoint = point;
  }

  size_t Index() const { return index_; }
  int surfaces = 0;
  Vec3 surfacePoint;

 private:
  static double SampleOn(const Piece& p, double d, double offset, Vec3& point, Vec3& tangent) {
    if (d > p.length) return d - p.length;
    point = Vec3(p.x + offset, 0.0, p.z0 + d);  // offset to the right of +z is +x
    tangent = Vec3(0.0, 0.0, 1.0);
    return -d / p.length;
  }
  std::vector<Piece> pieces_;
  size_t index_ = 0;
  bool bound_ = true;
};

// A car at the origin heading +z (side axis +x), 180 x 450 scene units, at
// 100 units a metre with a 1 ms step and a 10 ms input period.
class AutopilotEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.unitsPerMetre = 100.0;
    settings.stepDt = 0.001;
    settings.inputPeriod = 0.01;
    ap.maxSteerAngle = pi / 6;
    ap.speedScale = 1.0;
  }
  AutopilotCar Car(double speed) {
    return AutopilotCar{.position = Vec3(),
                        .sideAxis = Vec3(1, 0, 0),
                        .forwardAxis = Vec3(0, 0, 1),
                        .velocity = Vec3(0, 0, speed),
                        .speed = speed,
                        .width = 180.0,
                        .length = 450.0,
                        .settings = settings,
                        .inputs = inputs,
                        .leadingWord = leadingWord};
  }
  SimSettings settings;
  InputRamps inputs;
  int32 leadingWord = 0;
  RouteFollowState ap;
};

// The car aims at the point lookAheadTime ahead along the route (plus the
// route's own direction): 10 m/s for 1 s is 1000 units ahead of the place
// the next tick reaches (10 units on).
TEST_F(AutopilotEngine, SteersTowardTheLookAheadPoint) {
  struct Case {
    double routeX, speed;
    double steer;  // expected ramp target
  } cases[] = {
      {0.0, 10.0, 0.0},
      {200.0, 10.0, 0.0},   // to the right: filled in below
      {-200.0, 10.0, 0.0},  // to the left
      {200.0, 0.3, 0.0},    // too slow to look ahead: along the route
  };
  for (Case& c : cases) {
    if (c.speed > 0.5 && c.routeX != 0.0) {
      // target = unit(lookahead - car) + tangent, steering = -target_x / |target| / sin(lock)
      const double r = std::hypot(c.routeX, 1010.0);
      const double tx = c.routeX / r, tz = 1010.0 / r + 1.0;
      c.steer = -(tx / std::hypot(tx, tz)) / std::sin(pi / 6);
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.routeX);
    SCOPED_TRACE(c.speed);
    StraightRoute route({{c.routeX, 0.0, 100000.0}});
    inputs = InputRamps();
    ap.lookAheadTime = 1.0;
    ap.routeDistance = 0.0;
    ap.routePoint = Vec3(c.routeX, 0, 0);
    ap.routeTangent = Vec3(0, 0, 1);
    AutopilotCar car = Car(c.speed);
    FollowRoute(route, ap, car);
    EXPECT_NEAR(ap.routeDistance, c.speed, 1e-9);  // speed x 0.01 s x 100 units
    EXPECT_NEAR(inputs.ramps[kRampSteer].target, c.steer, 1e-12);
    EXPECT_EQ(inputs.steerRampLevel, kAutopilotLevel);
    if (c.routeX > 0.0 && c.speed > 0.5) {
      EXPECT_LT(inputs.ramps[kRampSteer].target, 0.0);
    }
  }
}

// The tick that runs past the end of a piece binds the next one and stands
// the car on it at once; past the last one the car stops and straightens.
TEST_F(AutopilotEngine, PiecesFollowOneAnotherToTheEnd) {
  StraightRoute route({{0.0, 0.0, 1000.0}, {0.0, 1000.0, 1000.0}});
  ap.routeIsGround = 1;
  ap.routeDistance = 990.0;
  ap.routePoint = Vec3(0, 0, 990);
  ap.routeTangent = Vec3(0, 0, 1);
  AutopilotCar car = Car(20.0);
  car.position = Vec3(0, 0, 990);
  FollowRoute(route, ap, car);
  ASSERT_TRUE(route.Bound());
  EXPECT_EQ(route.Index(), 1u);
  EXPECT_NEAR(ap.routeDistance, 10.0, 1e-9);
  EXPECT_NEAR(ap.routePoint.z, 1010.0, 1e-9);
  EXPECT_EQ(route.surfaces, 1);  // a road piece moves its surface along
  EXPECT_EQ(route.surfacePoint, ap.routePoint);

  ap.routeDistance = 995.0;
  ap.routePoint = Vec3(0, 0, 1995);
  car.position = ap.routePoint;
  FollowRoute(route, ap, car);
  EXPECT_FALSE(route.Bound());
  EXPECT_EQ(inputs.ramps[kRampBrake].target, 0.75);
  EXPECT_EQ(inputs.ramps[kRampSteer].target, 0.0);
  EXPECT_EQ(inputs.pedalRampLevel, kAutopilotLevel);

  // Without a bound piece nothing is driven.
  inputs = InputRamps();
  FollowRoute(route, ap, car);
  EXPECT_EQ(inputs.ramps[kRampBrake].target, 0.0);
  EXPECT_EQ(inputs.steerRampLevel, 0.0);
}

TEST_F(AutopilotEngine, SteerTowardIsTheSineOfTheHeadingErrorOverTheLock) {
  const double s30 = std::sin(pi / 6);
  struct Case {
    Vec3 target;
    double steer;
  } cases[] = {
      {Vec3(0, 0, 1), 0.0},                       // straight on
      {Vec3(0, 5, 1), 0.0},                       // height does not count
      {Vec3(std::sin(0.1), 0, std::cos(0.1)), -std::sin(0.1) / s30},
      {Vec3(-std::sin(0.1), 0, std::cos(0.1)), std::sin(0.1) / s30},
      {Vec3(1, 0, 0), -1.0},                      // beyond full lock
      {Vec3(-1, 0, -1), 1.0},
      {Vec3(), 0.0},                              // no direction
  };
  const Vec3 side(1, 0, 0);
  for (const Case& c : cases) EXPECT_NEAR(SteerToward(c.target, side, pi / 6), c.steer, 1e-12) << c.target.x;
  EXPECT_EQ(SteerToward(Vec3(1, 0, 0), side, 0.0), 0.0);  // no steering: never a NaN
}

TEST_F(AutopilotEngine, PruningKeepsOnlyUsableEntries) {
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
    PruneSpeedQueue(ap);
    ASSERT_EQ(ap.speedQueueCount, learn ? 3 : 2) << learn;
    EXPECT_EQ(ap.speedQueue[0].gain, 0.4);
    EXPECT_EQ(ap.speedQueue[ap.speedQueueCount - 1].gain, -0.6);
    if (learn) {
      EXPECT_EQ(ap.speedQueue[1].entryFlags, 0);
    }
  }
  ap.speedQueueCount = -5;
  PruneSpeedQueue(ap);
  EXPECT_EQ(ap.speedQueueCount, 0);
}

// A straight 100 m piece with one point of 10 m/s at its end.
class SpeedProfileEngine : public AutopilotEngine {
 protected:
  void SetUp() override {
    AutopilotEngine::SetUp();
    ap.speedPoints[0] = RouteSpeedPoint{10.0, 1.0};
    ap.speedPointCount = 1;
    ap.speedPointIndex = -1;
  }
  int32 Control(double place, double speed) {
    AutopilotCar car = Car(speed);
    return ControlRouteSpeed(route, place, ap, car);
  }
  StraightRoute route{{{0.0, 0.0, 10000.0}}};
};

// Halfway along: 50 m to a point 6 m/s above the car's 4 m/s. Nothing learnt
// yet, so the pedal starts at 0.75.
TEST_F(SpeedProfileEngine, AnApproachStartsWithAQueueEntry) {
  EXPECT_EQ(Control(-0.5, 4.0), 0);
  EXPECT_EQ(ap.speedPointIndex, 0);
  ASSERT_EQ(ap.speedQueueCount, 1);
  EXPECT_NEAR(ap.speedQueue[0].deltaSpeed, 6.0, 1e-12);
  EXPECT_NEAR(ap.speedQueue[0].changeDistance, 50.0, 1e-12);
  EXPECT_EQ(ap.speedQueue[0].entryFlags, 3);
  EXPECT_EQ(ap.speedQueue[0].gain, 0.75);
  EXPECT_EQ(leadingWord, kSpeedTargetChangedWord);
  EXPECT_EQ(inputs.ramps[kRampThrottle].target, 0.75);
  // A learnt entry for the same change sets the pedal: its gain 0.4, learnt
  // over 100 m and asked for over 50 m, is pressed half as hard again.
  ap.speedQueue[0] = SpeedTarget{6.0, 100.0, 0, 0.4};
  inputs = InputRamps();
  Control(-0.5, 4.0);
  EXPECT_NEAR(inputs.ramps[kRampThrottle].target, 0.6, 1e-12);
  // Past the last point there is nothing to aim at.
  ap.speedQueue[0].entryFlags = 0;
  EXPECT_EQ(Control(-1.0, 4.0), 1);
}

// The profile corrections come once per break period: on the input tick in
// whose period the break test falls, also when the break period is not a
// whole number of input periods.
TEST_F(SpeedProfileEngine, CorrectionsComeOncePerBreakPeriod) {
  Control(-0.5, 4.0);
  inputs.ramps[kRampThrottle] = ControlRamp{0.5, 0.5, 0.0, 0.0};
  inputs.pedalRampLevel = 0.0;
  settings.breakCountdown = 10;
  Control(-0.55, 4.5);  // behind the plan: more throttle, but not yet
  EXPECT_EQ(inputs.ramps[kRampThrottle].target, 0.5);
  settings.breakCountdown = 7;
  Control(-0.55, 4.5);
  EXPECT_NEAR(inputs.ramps[kRampThrottle].target, 0.52, 1e-12);
}

// Above the point's speed the car brakes, whichever way the approach began;
// below it a brake lets go at once; a higher level holding the pedals stops
// the profile.
TEST_F(SpeedProfileEngine, TheBrakeServesOnlyAboveThePointsSpeed) {
  Control(-0.5, 4.0);
  inputs.ramps[kRampThrottle] = ControlRamp{0.7, 0.7, 0.0, 0.0};
  inputs.pedalRampLevel = 0.0;
  settings.breakCountdown = 0;
  Control(-0.6, 12.0);
  EXPECT_NEAR(inputs.ramps[kRampBrake].target, 0.04, 1e-12);
  EXPECT_EQ(inputs.ramps[kRampThrottle].target, 0.0);  // released

  for (int countdown : {0, 50}) {
    SCOPED_TRACE(countdown);
    inputs.ramps[kRampBrake] = ControlRamp{0.12, 0.12, 0.0, 0.16};
    settings.breakCountdown = countdown;
    Control(-0.6, 9.5);
    EXPECT_EQ(inputs.ramps[kRampBrake].current, 0.0);
    EXPECT_EQ(inputs.ramps[kRampBrake].target, 0.0);
  }
  inputs.ramps[kRampBrake] = ControlRamp{0.12, 0.12, 0.0, 0.16};
  settings.breakCountdown = 50;
  Control(-0.6, 10.5);
  EXPECT_EQ(inputs.ramps[kRampBrake].current, 0.12);

  inputs.pedalRampLevel = 0.7;
  inputs.ramps[kRampBrake] = ControlRamp{};
  settings.breakCountdown = 0;
  Control(-0.6, 12.0);
  EXPECT_EQ(inputs.ramps[kRampBrake].target, 0.0);
}

// Reaching the point with learning on: +6 m/s planned at gain 0.75, 7 made,
// so the gain becomes 0.75 x 6 / 7 and the entry is no longer pending. Far
// off the route the approach is dropped instead.
TEST_F(SpeedProfileEngine, ReachingThePointCorrectsTheGain) {
  for (double off : {0.0, 600.0}) {
    SCOPED_TRACE(off);
    ap = RouteFollowState();
    SetUp();
    ap.learnMode = 1;
    Control(-0.5, 4.0);
    inputs.pedalRampLevel = 0.0;
    AutopilotCar car = Car(11.0);
    car.position = Vec3(ap.routePoint.x + off, 0, ap.routePoint.z);
    EXPECT_EQ(ControlRouteSpeed(route, -1.0, ap, car), 1);
    if (off == 0.0) {
      ASSERT_EQ(ap.speedQueueCount, 1);
      EXPECT_NEAR(ap.speedQueue[0].gain, 0.75 * 6.0 / 7.0, 1e-12);
      EXPECT_EQ(ap.speedQueue[0].entryFlags, 2);
    } else {
      EXPECT_EQ(ap.speedQueueCount, 0);  // more than three widths off
    }
  }
}

// The gap keeper behind other cars at G = 10 m with a 25 % margin and a 30
// degree cone. `ahead` is front to rear in scene units.
class GapKeeperEngine : public AutopilotEngine {
 protected:
  void SetUp() override {
    AutopilotEngine::SetUp();
    ap.gapDistance = 1000.0;
    ap.gapMargin = 0.25;
    ap.gapHalfAngle = pi / 12;
  }
  static GapCar Other(double ahead, double speed, double angle = 0.0) {
    const Vec3 front(0, 0, 225);
    return GapCar{.position = Vec3(front.x + std::sin(angle) * ahead, 0, front.z + std::cos(angle) * ahead + 225),
                  .forwardAxis = Vec3(0, 0, 1),
                  .length = 450.0,
                  .speed = speed,
                  .sameRoute = 0};
  }
  void Keep(const std::vector<GapCar>& others) {
    inputs = InputRamps();
    inputs.ramps[kRampThrottle] = ControlRamp{0.5, 0.5, 0, 0};
    AutopilotCar car = Car(10.0);
    KeepGap(others.data(), static_cast<int32>(others.size()), ap, car);
  }
};

TEST_F(GapKeeperEngine, ZonesAndBrakes) {
  struct Case {
    double ahead, otherSpeed, angle;
    int zone;
    double brake;  // brake target, -1 for no brake ramp
  } cases[] = {
      {500.0, 0.0, 0.0, 3, 1.0},    // a standing car ahead: full brake
      {300.0, 10.0, 0.0, 3, 1.0},   // closer than half the inner range
      {600.0, 8.0, 0.0, 3, 0.5},    // k = (10/8 - 1) x 2
      {800.0, 8.0, 0.0, 2, 0.4},    // beyond G - M: x 0.8
      {1100.0, 8.0, 0.0, 1, 0.32},  // beyond G: x 0.8 again
      {1300.0, 0.0, 0.0, 0, -1.0},  // out of range
      {600.0, 0.0, 0.5, 0, -1.0},   // outside the cone
      {600.0, 20.0, 0.0, 3, -1.0},  // pulling away
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ahead);
    Keep({Other(c.ahead, c.otherSpeed, c.angle)});
    EXPECT_EQ(ap.gapZone, c.zone);
    if (c.brake < 0) {
      EXPECT_EQ(inputs.ramps[kRampBrake].remaining, 0.0);
    } else {
      EXPECT_NEAR(inputs.ramps[kRampBrake].target, c.brake, 1e-12);
      EXPECT_EQ(inputs.pedalRampLevel, kGapKeeperLevel);
    }
  }
  // Off, and only cars on the same route when asked.
  ap.gapDistance = 0.0;
  Keep({Other(500.0, 0.0)});
  EXPECT_EQ(ap.gapZone, 0);
  EXPECT_EQ(inputs.ramps[kRampBrake].remaining, 0.0);
  ap.gapDistance = 1000.0;
  ap.gapSameRoute = 1;
  Keep({Other(500.0, 0.0)});
  EXPECT_EQ(ap.gapZone, 0);
  GapCar same = Other(500.0, 0.0);
  same.sameRoute = 1;
  Keep({same});
  EXPECT_EQ(ap.gapZone, 3);
}

// Dropping the cars MayKeepGapTo rules out leaves KeepGap's answer bit for
// bit, on crowds near and far from the origin, cars right at the edge of the
// gap, and degenerate axes, lengths and gaps.
TEST_F(GapKeeperEngine, FarCarsDroppedFirstLeaveTheAnswer) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  struct Layout {
    double offset, spread, gap, margin;
    Vec3 ownAxis, oddAxis;  // the car's axis, and one other car's
    double oddLength;
  } layouts[] = {
      {0.0, 3000.0, 1000.0, 0.25, Vec3(0, 0, 1), Vec3(0, 0, 1), 450.0},
      {0.0, 20000.0, 1000.0, 0.25, Vec3(0.6, 0, 0.8), Vec3(0, 0, 1), 450.0},
      {1e7, 3000.0, 1000.0, 0.25, Vec3(0, 0, 1), Vec3(), 450.0},       // far out; a zero axis
      {-3e5, 5000.0, 2000.0, 0.5, Vec3(0, 0, -1), Vec3(nan, 0, 1), 450.0},
      {0.0, 3000.0, 1000.0, 0.25, Vec3(0, 0, 1e-160), Vec3(0, 1e-160, 1e-161), 450.0},  // tiny axes
      {0.0, 3000.0, 1000.0, 0.25, Vec3(0, 0, 1e200), Vec3(inf, 0, 0), nan},
      {0.0, 3000.0, -800.0, 0.25, Vec3(0, 0, 1), Vec3(0, 0, 1), 450.0},  // a negative gap
      {0.0, 3000.0, 1000.0, -1.5, Vec3(0, 0, 1), Vec3(0, 0, 1), -450.0},
      {0.0, 3000.0, 1e300, 0.25, Vec3(0, 0, 1), Vec3(0, 0, 1), 450.0},
  };
  int dropped = 0, kept = 0;
  for (size_t l = 0; l < std::size(layouts); ++l) {
    const Layout& lay = layouts[l];
    for (int round = 0; round < 20; ++round) {
      SCOPED_TRACE(testing::Message() << "layout " << l << " round " << round);
      const Vec3 at(lay.offset + u(rng) * 100.0, 0, lay.offset + u(rng) * 100.0);
      std::vector<GapCar> all;
      for (int i = 0; i < 60; ++i) {
        const double a = u(rng) * 0.3;
        all.push_back(GapCar{.position = Vec3(at.x + u(rng) * lay.spread, u(rng) * 20.0, at.z + u(rng) * lay.spread),
                             .forwardAxis = Vec3(std::sin(a), 0, std::cos(a)),
                             .length = 400.0 + 100.0 * u(rng),
                             .speed = 5.0 + 5.0 * u(rng),
                             .sameRoute = 0});
      }
      // Rears exactly at the edge of the gap, straight ahead along z.
      const double reach = lay.gap + lay.gap * lay.margin;
      for (double edge : {reach, std::nextafter(reach, 0.0), std::nextafter(reach, 1e301)})
        all.push_back(GapCar{.position = Vec3(at.x, 0, at.z + 225.0 + edge + 225.0),
                             .forwardAxis = Vec3(0, 0, 1),
                             .length = 450.0,
                             .speed = 6.0,
                             .sameRoute = 0});
      all[static_cast<size_t>(round) % all.size()].forwardAxis = lay.oddAxis;
      all[(static_cast<size_t>(round) + 7) % all.size()].length = lay.oddLength;
      ap.gapDistance = lay.gap;
      ap.gapMargin = lay.margin;
      auto run = [&](const std::vector<GapCar>& others) {
        inputs = InputRamps();
        inputs.ramps[kRampThrottle] = ControlRamp{0.5, 0.5, 0, 0};
        AutopilotCar car = Car(10.0);
        car.position = at;
        car.forwardAxis = lay.ownAxis;
        KeepGap(others.data(), static_cast<int32>(others.size()), ap, car);
        return std::make_pair(ap.gapZone, inputs);
      };
      std::vector<GapCar> some;
      const GapReach own = GapReachOf(ap, at, lay.ownAxis, 450.0);
      for (const GapCar& o : all)
        if (MayKeepGapTo(own, o.position, o.forwardAxis, o.length)) some.push_back(o);
      dropped += static_cast<int>(all.size() - some.size());
      kept += static_cast<int>(some.size());
      const auto [zoneAll, inputsAll] = run(all);
      const auto [zoneSome, inputsSome] = run(some);
      EXPECT_EQ(zoneSome, zoneAll);
      EXPECT_EQ(std::memcmp(&inputsSome, &inputsAll, sizeof(InputRamps)), 0);
    }
  }
  EXPECT_GT(dropped, 2000);  // the crowds are mostly far
  EXPECT_GT(kept, 200);
}

// The index by place gives, in ascending order, every car MayKeepGapTo keeps
// and no car left out, while the cars move, leave and come back: for cells
// wider and narrower than the reach, none at all, crowds near and far from
// the origin, cars far beyond the grid and degenerate places, axes and
// lengths.
TEST(GapIndexTest, NearHoldsEveryCarMayKeepGapToKeeps) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  struct Layout {
    double offset, spread, cell, gap;
    Vec3 oddPlace, oddAxis;  // one car's place (added to the crowd's centre) and another's axis
    double oddLength;
  } layouts[] = {
      {0.0, 5000.0, 2150.0, 1000.0, Vec3(0, 0, 0), Vec3(0, 0, 1), 450.0},
      {0.0, 5000.0, 300.0, 1000.0, Vec3(0, 1e6, 0), Vec3(0, 0, 1), 450.0},   // narrow cells; high up
      {0.0, 5000.0, 40.0, 1000.0, Vec3(0, 0, 0), Vec3(0, 0, 1), 450.0},      // too narrow: every car
      {0.0, 5000.0, 0.0, 1000.0, Vec3(0, 0, 0), Vec3(0, 0, 1), 450.0},       // no cells
      {1e7, 5000.0, 2150.0, 1000.0, Vec3(0, 0, 0), Vec3(), 450.0},           // far out; a zero axis
      {-3e5, 8000.0, 5000.0, 2000.0, Vec3(nan, 0, 0), Vec3(nan, 0, 1), 450.0},
      {0.0, 5000.0, 2150.0, 1000.0, Vec3(1e15, 0, -1e15), Vec3(0, 1e-160, 1e-161), 450.0},
      {0.0, 5000.0, 2150.0, 1000.0, Vec3(inf, 0, 0), Vec3(inf, 0, 0), nan},
      {0.0, 5000.0, 2150.0, 1000.0, Vec3(0, 0, 0), Vec3(0, 0, 1), inf},
      {0.0, 5000.0, 2150.0, 1e300, Vec3(0, 0, 0), Vec3(0, 0, 1), 450.0},     // a gap that reaches everywhere
      {0.0, 5000.0, 2150.0, -800.0, Vec3(0, 0, 0), Vec3(0, 0, 1), -450.0},
  };
  size_t listed = 0, everyCar = 0;
  for (size_t l = 0; l < std::size(layouts); ++l) {
    const Layout& lay = layouts[l];
    constexpr int32 kCars = 120;
    std::vector<Vec3> place(kCars), axis(kCars);
    std::vector<double> length(kCars);
    std::vector<char> present(kCars, 1);
    GapIndex index;
    index.Reset(kCars, lay.cell);
    auto set = [&](int32 i) { index.Set(i, present[i] ? &place[i] : nullptr, axis[i], length[i]); };
    for (int round = 0; round < 12; ++round) {
      SCOPED_TRACE(testing::Message() << "layout " << l << " round " << round);
      const Vec3 centre(lay.offset, 0, lay.offset);
      for (int32 i = 0; i < kCars; ++i) {
        // Cars move a little each round, a few far, a few drop out or return.
        if (round == 0 || i % 9 == round % 9) {
          place[i] = Vec3(centre.x + u(rng) * lay.spread, u(rng) * 20.0, centre.z + u(rng) * lay.spread);
        } else {
          place[i] = Vec3(place[i].x + u(rng) * 50.0, place[i].y, place[i].z + u(rng) * 50.0);
        }
        const double a = u(rng) * 3.0;
        axis[i] = Vec3(std::sin(a), 0, std::cos(a));
        length[i] = 400.0 + 100.0 * u(rng);
        present[i] = round == 0 || i % 13 != round % 13;
      }
      const size_t odd = static_cast<size_t>(round) % kCars;
      place[odd] = Vec3(centre.x + lay.oddPlace.x, lay.oddPlace.y, centre.z + lay.oddPlace.z);
      axis[(odd + 5) % kCars] = lay.oddAxis;
      length[(odd + 11) % kCars] = lay.oddLength;
      for (int32 i = 0; i < kCars; ++i) set(i);

      RouteFollowState ap;
      ap.gapDistance = lay.gap;
      ap.gapMargin = 0.25;
      std::vector<int32> near;
      for (int32 q = 0; q < kCars; q += 7) {
        const GapReach own = GapReachOf(ap, place[q], axis[q], length[q]);
        index.Near(own, near);
        EXPECT_TRUE(std::is_sorted(near.begin(), near.end())) << q;
        EXPECT_EQ(std::adjacent_find(near.begin(), near.end()), near.end()) << q;
        for (int32 i : near) EXPECT_TRUE(present[i]) << q << " gets absent car " << i;
        for (int32 i = 0; i < kCars; ++i) {
          if (present[i] && MayKeepGapTo(own, place[i], axis[i], length[i])) {
            EXPECT_TRUE(std::binary_search(near.begin(), near.end(), i)) << q << " misses " << i;
          }
        }
        listed += near.size();
        everyCar += static_cast<size_t>(std::count(present.begin(), present.end(), 1));
      }
    }
  }
  // In the crowds with cells the index leaves most cars out.
  EXPECT_LT(listed, everyCar * 3 / 4);
}

// A slow car near and a faster one farther on: the near one decides, in
// either order.
TEST_F(GapKeeperEngine, TheNearestCarAheadWins) {
  const GapCar nearCar = Other(600.0, 8.0), farCar = Other(1100.0, 10.2);
  for (const std::vector<GapCar>& list : {std::vector<GapCar>{nearCar, farCar}, std::vector<GapCar>{farCar, nearCar}}) {
    Keep(list);
    EXPECT_EQ(ap.gapZone, 3);
    EXPECT_NEAR(inputs.ramps[kRampBrake].target, 0.5, 1e-12);  // (10 / 8 - 1) x 2
    EXPECT_EQ(inputs.ramps[kRampThrottle].target, 0.0);
  }
}

}  // namespace
