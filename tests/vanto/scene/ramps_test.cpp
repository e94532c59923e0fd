#include "scene/ramps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "host_container.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class RampsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    car = std::make_unique<CarState>();
    car->settings.stepDt = 0.001;
    car->settings.inputPeriod = 0.01;
    car->maxSteerSpeed = 1000.0;  // no limit unless a test sets one
    car->directInputDirection = 1;
  }

  ControlRamp& Ramp(int32 c) { return car->ramps[c]; }
  void Steps(int n) {
    for (int i = 0; i < n; ++i) AdvanceControlRamps(*car);
  }
  // Byte image of everything the setters may touch.
  struct Snapshot {
    ControlRamp ramps[kRampCount];
    double pedal, steer;
  };
  Snapshot Take() const {
    Snapshot s;
    std::memcpy(s.ramps, car->ramps, sizeof s.ramps);
    s.pedal = car->pedalRampLevel;
    s.steer = car->steerRampLevel;
    return s;
  }
  static bool Same(const Snapshot& a, const Snapshot& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

  std::unique_ptr<CarState> car;
};

void ExpectRamp(const ControlRamp& r, double current, double target, double rate, double remaining) {
  EXPECT_DOUBLE_EQ(r.current, current);
  EXPECT_DOUBLE_EQ(r.target, target);
  EXPECT_DOUBLE_EQ(r.ratePerStep, rate);
  EXPECT_DOUBLE_EQ(r.remaining, remaining);
}

using Setter = void (*)(double, double, double, CarState&);
struct SetterCase {
  const char* name;
  Setter set;
  int32 channel;
  bool steer;  // tests steerRampLevel instead of pedalRampLevel
};
const SetterCase kSetters[] = {
    {"steer", &RampSteering, kRampSteer, true},
    {"throttle", &RampThrottle, kRampThrottle, false},
    {"reverse", &RampReverse, kRampReverse, false},
    {"brake", &RampBrake, kRampBrake, false},
    {"handbrake", &RampHandbrake, kRampHandbrake, false},
};

// ---------------------------------------------------------------- priority

TEST_F(RampsTest, LowerLevelChangesNothingEqualLevelOverrides) {
  for (const SetterCase& s : kSetters) {
    SCOPED_TRACE(s.name);
    SetUp();
    for (int32 c = 0; c < kRampCount; ++c) car->ramps[c] = {0.5, 0.4, 0.01, 0.3};
    double& stored = s.steer ? car->steerRampLevel : car->pedalRampLevel;
    stored = 0.6;

    const Snapshot before = Take();
    s.set(1.0, 0.01, 0.5, *car);
    EXPECT_TRUE(Same(before, Take())) << "a lower level must not touch any channel";

    s.set(1.0, 0.01, 0.6, *car);
    EXPECT_EQ(Ramp(s.channel).target, 1.0);
    EXPECT_EQ(stored, 0.6);

    s.set(0.2, 0.01, 0.9, *car);  // a higher level wins and is stored
    EXPECT_EQ(Ramp(s.channel).target, 0.2);
    EXPECT_EQ(stored, 0.9);
  }
}

TEST_F(RampsTest, SteerAndPedalLevelsAreIndependent) {
  car->pedalRampLevel = 5.0;
  RampSteering(0.5, 0.01, 1.0, *car);
  EXPECT_EQ(Ramp(kRampSteer).target, 0.5);
  EXPECT_EQ(car->pedalRampLevel, 5.0);

  car->steerRampLevel = 5.0;
  car->pedalRampLevel = 0.0;
  RampThrottle(0.5, 0.01, 1.0, *car);
  EXPECT_EQ(Ramp(kRampThrottle).target, 0.5);
  EXPECT_EQ(car->steerRampLevel, 5.0);
}

// ---------------------------------------------------------------- rates and durations

TEST_F(RampsTest, ThrottleReachesTargetAfterDurationOverDtSteps) {
  Ramp(kRampReverse) = {0.7, 0.8, 0.01, 0.05};  // still running
  RampThrottle(1.0, 0.01, 0.6, *car);
  ExpectRamp(Ramp(kRampThrottle), 0.0, 1.0, 0.1, 0.01);
  ExpectRamp(Ramp(kRampReverse), 0.0, 0.8, 0.01, 0.05);

  Steps(9);
  EXPECT_NEAR(Ramp(kRampThrottle).current, 0.9, 1e-12);
  Steps(1);
  EXPECT_NEAR(Ramp(kRampThrottle).current, 1.0, 1e-12);
  // The reverse ramp went on from 0 with its own rate.
  EXPECT_NEAR(Ramp(kRampReverse).current, 0.1, 1e-12);
  Steps(5);  // the throttle ramp has ended: no further change
  EXPECT_NEAR(Ramp(kRampThrottle).current, 1.0, 1e-12);
  EXPECT_LE(Ramp(kRampThrottle).remaining, 0.0001);
}

TEST_F(RampsTest, SteeringRateLimitStretchesTheDuration) {
  car->maxSteerSpeed = 2.0;
  RampSteering(1.0, 0.01, 1.0, *car);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).ratePerStep, 0.002);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).remaining, 0.5);
  EXPECT_EQ(Ramp(kRampSteer).target, 1.0);

  Ramp(kRampSteer).current = 0.5;
  RampSteering(-1.0, 0.01, 1.0, *car);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).ratePerStep, -0.002);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).remaining, 0.75);

  // Slow enough: the given duration and rate stand.
  Ramp(kRampSteer).current = 0.0;
  RampSteering(0.1, 0.1, 1.0, *car);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).ratePerStep, 0.001);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).remaining, 0.1);
}

TEST_F(RampsTest, SteerTargetIsNotClampedButCurrentIs) {
  RampSteering(3.0, 0.01, 1.0, *car);
  EXPECT_EQ(Ramp(kRampSteer).target, 3.0);
  Steps(10);
  EXPECT_EQ(Ramp(kRampSteer).current, 1.0);

  RampBrake(2.0, 0.01, 1.0, *car);
  Steps(10);
  EXPECT_EQ(Ramp(kRampBrake).current, 1.0);
  RampBrake(-1.0, 0.01, 1.0, *car);
  Steps(10);
  EXPECT_EQ(Ramp(kRampBrake).current, 0.0);
}

// A zero steering rate (Real 1822 = 0), an infinite or NaN one (steering
// lock 1820 = 0) and a zero, negative or NaN duration must still give a
// finite ramp that ends and lets its level go.
TEST_F(RampsTest, DegenerateSteerRateAndDurationStillEnd) {
  struct Case {
    double maxSteerSpeed, duration;
    int steps;  // steps to the target
  };
  const Case cases[] = {
      {0.0, 0.01, 10}, {kInf, 0.01, 10}, {kNaN, 0.01, 10}, {-kInf, 0.01, 10},
      {1000.0, 0.0, 1}, {1000.0, -1.0, 1}, {1000.0, kNaN, 1}, {1000.0, kInf, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.maxSteerSpeed << " " << c.duration);
    SetUp();
    car->maxSteerSpeed = c.maxSteerSpeed;
    RampSteering(0.5, c.duration, 1.0, *car);
    const ControlRamp& r = Ramp(kRampSteer);
    ASSERT_TRUE(std::isfinite(r.ratePerStep) && std::isfinite(r.remaining));
    Steps(c.steps);
    EXPECT_NEAR(r.current, 0.5, 1e-9);
    Steps(2);
    EXPECT_EQ(car->steerRampLevel, 0.0);
  }
}

TEST_F(RampsTest, NegativeSteerRateLimitsBySize) {
  car->maxSteerSpeed = -2.0;
  RampSteering(1.0, 0.01, 1.0, *car);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).ratePerStep, 0.002);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).remaining, 0.5);
}

TEST_F(RampsTest, ZeroPedalDurationTakesOneStep) {
  RampThrottle(0.8, 0.0, 1.0, *car);
  ASSERT_TRUE(std::isfinite(Ramp(kRampThrottle).ratePerStep));
  Steps(1);
  EXPECT_NEAR(Ramp(kRampThrottle).current, 0.8, 1e-12);
  EXPECT_EQ(car->pedalRampLevel, 1.0);
  Steps(1);
  EXPECT_EQ(car->pedalRampLevel, 0.0);  // ended, so the level goes
  EXPECT_NEAR(Ramp(kRampThrottle).current, 0.8, 1e-12);
}

TEST_F(RampsTest, NaNTargetNeverReachesTheModel) {
  RampThrottle(kNaN, 0.01, 1.0, *car);
  RampSteering(kNaN, 0.01, 1.0, *car);
  Steps(3);
  EXPECT_EQ(Ramp(kRampThrottle).current, 0.0);
  EXPECT_EQ(Ramp(kRampSteer).current, 0.0);
}

// ---------------------------------------------------------------- cross-effects

TEST_F(RampsTest, PedalCrossEffects) {
  struct Case {
    const char* name;
    Setter set;
    int32 channel;
    int32 zeroedAtOnce;  // -1 none
    int32 released[2];
  };
  const Case cases[] = {
      {"throttle", &RampThrottle, kRampThrottle, kRampReverse, {kRampBrake, kRampHandbrake}},
      {"reverse", &RampReverse, kRampReverse, kRampThrottle, {kRampBrake, kRampHandbrake}},
      {"brake", &RampBrake, kRampBrake, -1, {kRampThrottle, kRampReverse}},
      {"handbrake", &RampHandbrake, kRampHandbrake, -1, {kRampThrottle, kRampReverse}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (int32 k = 1; k < kRampCount; ++k) car->ramps[k] = {0.5, 0.6, 0.003, 0.04};
    car->ramps[kRampSteer] = {0.25, 0.3, 0.001, 0.02};
    c.set(0.9, 0.02, 0.7, *car);

    ExpectRamp(Ramp(c.channel), 0.5, 0.9, 0.4 * 0.05, 0.02);
    for (int32 k : c.released) ExpectRamp(Ramp(k), 0.5, 0.0, -0.0025, 0.2);
    if (c.zeroedAtOnce >= 0) ExpectRamp(Ramp(c.zeroedAtOnce), 0.0, 0.6, 0.003, 0.04);
    ExpectRamp(Ramp(kRampSteer), 0.25, 0.3, 0.001, 0.02);
    EXPECT_EQ(car->pedalRampLevel, 0.7);
    EXPECT_EQ(car->steerRampLevel, 0.0);
  }
}

TEST_F(RampsTest, ReleaseThrottleTouchesOnlyTheThrottle) {
  for (int32 k = 1; k < kRampCount; ++k) car->ramps[k] = {0.5, 0.6, 0.003, 0.04};
  ReleaseThrottle(0.05, 0.4, *car);
  ExpectRamp(Ramp(kRampThrottle), 0.5, 0.0, -0.01, 0.05);
  for (int32 k : {kRampBrake, kRampHandbrake, kRampReverse}) ExpectRamp(Ramp(k), 0.5, 0.6, 0.003, 0.04);
  EXPECT_EQ(car->pedalRampLevel, 0.4);

  car->pedalRampLevel = 0.5;
  ReleaseThrottle(0.05, 0.4, *car);
  EXPECT_EQ(Ramp(kRampThrottle).remaining, 0.05);  // unchanged
  EXPECT_EQ(car->pedalRampLevel, 0.5);
}

// ---------------------------------------------------------------- advance

TEST_F(RampsTest, CrashFadesInputsAndFreezesTheRamps) {
  RampThrottle(1.0, 0.01, 0.6, *car);
  RampSteering(-0.5, 0.01, 0.6, *car);
  Steps(10);
  RampThrottle(1.0, 0.05, 0.6, *car);  // held at 1 for a while
  ASSERT_NEAR(Ramp(kRampThrottle).current, 1.0, 1e-12);
  const double steer = Ramp(kRampSteer).current;

  car->dynamics.crashFlag = 1;
  Steps(1);
  EXPECT_NEAR(Ramp(kRampThrottle).current, 0.9, 1e-12);
  EXPECT_NEAR(Ramp(kRampSteer).current, 0.9 * steer, 1e-12);
  Steps(1);
  EXPECT_NEAR(Ramp(kRampThrottle).current, 0.81, 1e-12);
  EXPECT_EQ(Ramp(kRampThrottle).remaining, 0.05);
  Steps(100);
  EXPECT_EQ(car->pedalRampLevel, 0.6);  // no level is cleared while fading
  EXPECT_EQ(car->steerRampLevel, 0.6);

  car->dynamics.crashFlag = 0;
  const double faded = Ramp(kRampThrottle).current;
  Steps(1);
  EXPECT_NEAR(Ramp(kRampThrottle).current, faded, 1e-12);  // rate 0: held where it was
  EXPECT_NEAR(Ramp(kRampThrottle).remaining, 0.049, 1e-12);
}

TEST_F(RampsTest, PedalLevelHeldWhileRunningTowardsOrAtAPositiveValue) {
  RampBrake(0.5, 0.01, 0.6, *car);
  Steps(10);
  EXPECT_EQ(car->pedalRampLevel, 0.6);
  // The ramp has ended: nothing runs any more, the level drops.
  Steps(1);
  EXPECT_EQ(car->pedalRampLevel, 0.0);

  // A release to 0 counts as long as the value is above 0.
  car->pedalRampLevel = 0.6;
  ReleaseThrottle(0.01, 0.6, *car);  // throttle is 0 already: target 0, current 0
  Ramp(kRampBrake) = {0.5, 0.0, -0.125, 0.004};
  Steps(1);
  EXPECT_EQ(car->pedalRampLevel, 0.6);
  Steps(2);
  EXPECT_EQ(car->pedalRampLevel, 0.6);
  Steps(1);  // the brake reaches 0 in this step: no channel is active any more
  EXPECT_EQ(Ramp(kRampBrake).current, 0.0);
  EXPECT_EQ(car->pedalRampLevel, 0.0);
}

TEST_F(RampsTest, SteerLevelClearsTheStepAfterTheRampEnds) {
  RampSteering(0.5, 0.002, 0.8, *car);
  Steps(2);
  EXPECT_NEAR(Ramp(kRampSteer).current, 0.5, 1e-12);
  EXPECT_EQ(car->steerRampLevel, 0.8);
  Steps(1);
  EXPECT_EQ(car->steerRampLevel, 0.0);

  // A remaining time left just above 0 by rounding takes one more step.
  Ramp(kRampSteer) = {0.5, 0.5, 0.01, 1e-15};
  car->steerRampLevel = 0.8;
  Steps(1);
  EXPECT_DOUBLE_EQ(Ramp(kRampSteer).current, 0.51);
  EXPECT_EQ(car->steerRampLevel, 0.8);
  Steps(1);
  EXPECT_EQ(car->steerRampLevel, 0.0);
}

TEST_F(RampsTest, ResetRampsLetBothLevelsGoOnTheFirstAdvance) {
  car->steerRampLevel = 3.0;
  car->pedalRampLevel = 3.0;
  Steps(1);
  EXPECT_EQ(car->steerRampLevel, 0.0);
  EXPECT_EQ(car->pedalRampLevel, 0.0);
}

// ---------------------------------------------------------------- direct input

class DirectInputTest : public RampsTest {
 protected:
  BaseContainer bc;
  void Set(double steer, double throttle, double brake, double handbrake) {
    bc.SetReal(kParamDirectSteer, steer);
    bc.SetReal(kParamDirectThrottle, throttle);
    bc.SetReal(kParamDirectBrake, brake);
    bc.SetReal(kParamDirectHandbrake, handbrake);
  }
};

TEST_F(DirectInputTest, PedalChoice) {
  struct Case {
    double throttle, brake;
    int32 direction;
    int32 channel;  // the channel ramped
  };
  const Case cases[] = {
      {0.3, 0.3, 1, kRampThrottle},  // equal: throttle, not the brake
      {0.3, 0.31, 1, kRampBrake},
      {0.6, 0.2, 1, kRampThrottle},
      {0.6, 0.2, -1, kRampReverse},
      {0.3, 0.3, -2, kRampReverse},
      {0.3, 0.5, -1, kRampBrake},
  };
  for (const Case& c : cases) {
    for (int32 bits : {int32{kDirectThrottle}, int32{kDirectBrake}, kDirectThrottle | kDirectBrake}) {
      SCOPED_TRACE(testing::Message() << c.throttle << " " << c.brake << " " << c.direction << " bits " << bits);
      SetUp();
      car->directInputDirection = c.direction;
      Set(0.0, c.throttle, c.brake, 0.0);
      ApplyDirectInputs(bits, bc, *car);
      const double want = c.channel == kRampBrake ? c.brake : c.throttle;
      ExpectRamp(Ramp(c.channel), 0.0, want, want * 0.1, 0.01);
      EXPECT_EQ(car->pedalRampLevel, 1.0);
      EXPECT_EQ(Ramp(kRampSteer).remaining, 0.0);
    }
  }
}

TEST_F(DirectInputTest, DirectionAndSlipSwitchesComeFirst) {
  Set(0.0, 0.5, 0.0, 0.0);
  bc.SetLong(kParamDirectDirection, -1);
  bc.SetLong(kParamDirectSlip, 2);
  ApplyDirectInputs(kDirectDirection | kDirectSlipControl | kDirectThrottle, bc, *car);
  EXPECT_EQ(car->directInputDirection, -1);
  EXPECT_EQ(car->dynamics.tractionControl, 0);
  EXPECT_EQ(car->dynamics.brakeSlipControl, 1);
  EXPECT_EQ(Ramp(kRampReverse).target, 0.5);  // the new direction already counts
  EXPECT_EQ(Ramp(kRampThrottle).target, 0.0);

  // 0 leaves the direction alone; bit 32 with 1 switches only traction control.
  bc.SetLong(kParamDirectDirection, 0);
  bc.SetLong(kParamDirectSlip, 1);
  ApplyDirectInputs(kDirectDirection | kDirectSlipControl, bc, *car);
  EXPECT_EQ(car->directInputDirection, -1);
  EXPECT_EQ(car->dynamics.tractionControl, 1);
  EXPECT_EQ(car->dynamics.brakeSlipControl, 0);

  // Without their bits the parameters are not read.
  bc.SetLong(kParamDirectDirection, 5);
  bc.SetLong(kParamDirectSlip, 3);
  ApplyDirectInputs(kDirectSteer, bc, *car);
  EXPECT_EQ(car->directInputDirection, -1);
  EXPECT_EQ(car->dynamics.tractionControl, 1);
}

TEST_F(DirectInputTest, HandbrakeAboveThresholdReleasesTheThrottle) {
  Set(0.0, 0.0, 0.0, 0.1);
  Ramp(kRampHandbrake) = {0.4, 0.4, 0.0, 0.0};
  const Snapshot before = Take();
  ApplyDirectInputs(kDirectHandbrake, bc, *car);
  EXPECT_TRUE(Same(before, Take())) << "0.1 is not above the threshold";

  Set(0.0, 0.8, 0.0, 0.7);
  ApplyDirectInputs(kDirectThrottle | kDirectHandbrake, bc, *car);
  ExpectRamp(Ramp(kRampHandbrake), 0.4, 0.7, 0.03, 0.01);
  // Handled after the throttle, so the throttle ends up released.
  ExpectRamp(Ramp(kRampThrottle), 0.0, 0.0, -0.0, 0.2);
}

TEST_F(DirectInputTest, SteeringUsesTheInputPeriodAndLevelOne) {
  car->settings.inputPeriod = 0.02;
  car->steerRampLevel = 1.0;
  Set(-0.4, 0.0, 0.0, 0.0);
  ApplyDirectInputs(kDirectSteer, bc, *car);
  ExpectRamp(Ramp(kRampSteer), 0.0, -0.4, -0.02, 0.02);
  EXPECT_EQ(car->steerRampLevel, 1.0);
  EXPECT_EQ(car->pedalRampLevel, 0.0);

  // A source above level 1 keeps direct input out.
  car->steerRampLevel = 1.5;
  Set(0.9, 0.0, 0.0, 0.0);
  ApplyDirectInputs(kDirectSteer, bc, *car);
  EXPECT_EQ(Ramp(kRampSteer).target, -0.4);
}

}  // namespace
