// engine/commands.cpp with a hand-made tag, without any scene: the reach and
// the conditions of a marker, the phases of a curve slot, the pedal
// channels, blocks that cannot start, and aiming at a target.
#include "engine/commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace {

// A tag with the given block, curves (absent when empty) and target.
class FakeTag final : public CommandTag {
 public:
  void Read(CommandBlock& b) const override { b = block; }
  bool CurveAt(CommandCurve curve, double x, double& y) const override {
    const std::function<double(double)>& f = curves[static_cast<int>(curve)];
    if (!f) return false;
    y = f(x);
    return true;
  }
  bool AimTarget(double time, Vec3& place) override {
    aimTimes.push_back(time);
    if (!hasTarget) return false;
    place = target;
    return true;
  }
  CommandBlock block;
  std::function<double(double)> curves[3];
  bool hasTarget = false;
  Vec3 target;
  std::vector<double> aimTimes;
};

// A car at the origin heading +z, wheels 100 units either side of the
// centre line, front axle at z = 150, rear axle at z = -150; command level
// 0.6, 1 ms step, 10 ms input period, car time 10 s.
class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.stepDt = 0.001;
    settings.inputPeriod = 0.01;
    settings.simTime = 10.0;
    cs.commandLevel = 0.6;
  }
  CommandCar Car() {
    return CommandCar{.wheels = {Vec3(-100, 30, 150), Vec3(100, 30, 150), Vec3(-100, 30, -150), Vec3(100, 30, -150)},
                      .sideAxis = Vec3(1, 0, 0),
                      .forwardAxis = Vec3(0, 0, 1),
                      .maxSteerAngle = std::numbers::pi / 2,  // steering = sine of the heading error
                      .speed = speed,
                      .engagedGear = gear,
                      .settings = settings,
                      .inputs = inputs,
                      .tractionControl = traction,
                      .brakeSlipControl = brakeSlip,
                      .output = output};
  }
  // Applies the tag's blocks at 10 s.
  bool Start() {
    settings.simTime = 10.0;
    CommandCar car = Car();
    for (int32& c : changes) c = kSlotKept;
    return StartCommands(tag.block, tag, cs, car, changes);
  }
  int32 Advance(int32 index, double now) {
    settings.simTime = now;
    CommandCar car = Car();
    return AdvanceCommandSlot(index, tag, cs, car);
  }

  SimSettings settings;
  InputRamps inputs;
  CommandTrackState cs;
  FakeTag tag;
  int32 changes[kCommandSlots] = {};
  double speed = 0.0;
  int32 gear = 1;
  int32 traction = 0, brakeSlip = 0;
  double output = 0.0;
};

TEST(CommandsReach, MarkersReachAcrossTheGroundAndConditionsHold) {
  EXPECT_TRUE(MarkerReaches(Vec3(0, 0, 0), 500.0, Vec3(300, 9999, 400)));  // 500 across, height ignored
  EXPECT_FALSE(MarkerReaches(Vec3(0, 0, 0), 499.0, Vec3(300, 0, 400)));
  EXPECT_FALSE(MarkerReaches(Vec3(0, 0, 0), -1.0, Vec3(0, 0, 0)));
  struct Case {
    int32 condition;
    double speed;
    int32 gear;
    bool met;
  } cases[] = {
      {0, 30.0, -1, true},   {1, 0.2, 1, true},  {1, -0.3, 0, false},  // standing below 0.25 m/s either way
      {2, 5.0, 0, true},     {2, 5.0, -1, false},                      // not reversing
      {3, 5.0, 0, true},     {3, 5.0, -1, true}, {3, 5.0, 1, false},   // not in a forward gear
  };
  for (const Case& c : cases)
    EXPECT_EQ(CommandConditionMet(c.condition, c.speed, c.gear), c.met) << c.condition << " " << c.speed;
}

// Lead-in 0.5 s to the curve's first value, the curve (y = 50 x percent,
// steering is -y / 100) for 1 s, then 0.5 s back to where the wheel was.
TEST_F(Commands, ASteeringCurvePlaysItsThreePhases) {
  tag.block.steerOn = 1;
  tag.block.steerLeadIn = 0.5;
  tag.block.steerDuration = 1.0;
  tag.block.steerReturn = 0.5;
  tag.curves[0] = [](double x) { return 10.0 + 50.0 * x; };
  inputs.ramps[kRampSteer].current = 0.2;
  ASSERT_TRUE(Start());
  EXPECT_EQ(changes[kSlotSteer], kSlotStarted);
  EXPECT_EQ(changes[kSlotPedal], kSlotKept);
  const CommandSlot& slot = cs.slots[kSlotSteer];
  EXPECT_EQ(slot.mode, kCommandSteerCurve);
  EXPECT_DOUBLE_EQ(slot.returnEnd, 12.0);

  struct Step {
    double now, target, remaining;
    int32 mode;
  } steps[] = {
      {10.0, -0.1, 0.5, kCommandSteerCurve},   // to the first value over the lead-in
      {10.6, -0.15, 0.01, kCommandSteerCurve},  // tau 0.1: 10 + 5 percent
      {11.6, -0.6, 0.01, kCommandSteerCurve},  // past the end: held at the last value
      {11.7, 0.2, 0.3, kCommandIdle},          // back to 0.2 until 12.0
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.now);
    EXPECT_EQ(Advance(kSlotSteer, s.now), kSlotKept);
    EXPECT_NEAR(inputs.ramps[kRampSteer].target, s.target, 1e-12);
    EXPECT_NEAR(inputs.ramps[kRampSteer].remaining, s.remaining, 1e-9);
    EXPECT_EQ(inputs.steerRampLevel, 0.6);
    EXPECT_EQ(slot.mode, s.mode);
  }
  inputs.ramps[kRampSteer] = ControlRamp{};
  Advance(kSlotSteer, 11.8);  // idle: nothing more
  EXPECT_EQ(inputs.ramps[kRampSteer].target, 0.0);
}

// Each pedal channel drives its own ramp; throttle and reverse curves below
// zero brake instead. An unknown channel stops what the pedal slot played.
TEST_F(Commands, PedalChannels) {
  struct Case {
    int32 channel;
    double percent;
    int32 ramp;
    double target;
  } cases[] = {
      {1, 40.0, kRampThrottle, 0.4}, {1, -40.0, kRampBrake, 0.4}, {2, 40.0, kRampBrake, 0.4},
      {3, 40.0, kRampHandbrake, 0.4}, {4, 40.0, kRampReverse, 0.4}, {4, -40.0, kRampBrake, 0.4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.channel);
    SCOPED_TRACE(c.percent);
    inputs = InputRamps();
    tag.block = CommandBlock();
    tag.block.pedalOn = 1;
    tag.block.pedalChannel = c.channel;
    tag.block.pedalDuration = 1.0;
    tag.curves[1] = [p = c.percent](double) { return p; };
    ASSERT_TRUE(Start());
    Advance(kSlotPedal, 10.0);  // no lead-in: straight to the first value
    Advance(kSlotPedal, 10.5);
    EXPECT_NEAR(inputs.ramps[c.ramp].target, c.target, 1e-12);
    EXPECT_EQ(inputs.pedalRampLevel, 0.6);
  }
  tag.block.pedalChannel = 7;
  ASSERT_TRUE(Start());
  EXPECT_EQ(changes[kSlotPedal], kSlotStopped);
  EXPECT_EQ(cs.slots[kSlotPedal].mode, kCommandIdle);
}

// A switched-on block without its curve ends the start there: the blocks
// before it play, the ones after it do not. A curve removed while it plays
// stops its slot for good.
TEST_F(Commands, MissingCurves) {
  tag.block.steerOn = tag.block.pedalOn = tag.block.outputOn = tag.block.tractionOn = 1;
  tag.block.tractionValue = 1;
  tag.block.pedalChannel = 1;
  tag.block.steerDuration = tag.block.outputDuration = 1.0;
  tag.curves[0] = [](double) { return 20.0; };
  tag.curves[2] = [](double) { return 3.0; };
  EXPECT_FALSE(Start());
  EXPECT_EQ(changes[kSlotSteer], kSlotStarted);
  EXPECT_EQ(cs.slots[kSlotPedal].mode, kCommandIdle);
  EXPECT_EQ(cs.slots[kSlotOutput].mode, kCommandIdle);
  EXPECT_EQ(traction, 0);  // after the pedal block: not reached

  tag.curves[1] = [](double) { return 50.0; };
  ASSERT_TRUE(Start());
  EXPECT_EQ(traction, 1);
  Advance(kSlotOutput, 10.0);
  Advance(kSlotOutput, 10.2);
  EXPECT_EQ(output, 3.0);
  tag.curves[0] = nullptr;
  Advance(kSlotSteer, 10.0);  // the lead-in needs no curve
  EXPECT_EQ(Advance(kSlotSteer, 10.2), kSlotStopped);
  EXPECT_EQ(cs.slots[kSlotSteer].mode, kCommandIdle);
}

// Aiming with both parts at a target straight ahead of the front axle
// (x = 0, z = 150 + r): the pedal by distance, then the brake once the car
// is within the stop distance.
TEST_F(Commands, AimingPedalsByDistance) {
  tag.block.aimOn = 1;
  tag.block.aimParts = 3;
  tag.block.aimDirection = 1;
  tag.block.aimDuration = 5.0;
  tag.block.aimStopDistance = 100.0;
  tag.block.aimStopBrake = 0.8;
  tag.block.aimCoastDistance = 1000.0;
  tag.block.aimPedal = 0.5;
  tag.hasTarget = true;
  struct Case {
    double r;
    int32 proportional;
    double throttle, brake;
  } cases[] = {
      {3000.0, 0, 0.5, 0.0},  // beyond the coasting distance: the pedal
      {1500.0, 1, 0.75, 0.0}, // proportional: 0.5 x 1500 / 1000
      {4000.0, 1, 1.0, 0.0},  // at most 1
      {500.0, 0, 0.0, 0.0},   // coasting
      {50.0, 0, 0.0, 0.8},    // arrived: the stop brake
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.r);
    inputs = InputRamps();
    tag.block.aimProportional = c.proportional;
    // Height of the target does not count; the axle is 30 units up.
    tag.target = Vec3(0, 500, 150 + std::sqrt(c.r * c.r - 30.0 * 30.0));
    ASSERT_TRUE(Start());
    EXPECT_EQ(cs.slots[kSlotSteer].mode, kCommandAimForward);
    EXPECT_EQ(cs.slots[kSlotPedal].mode, kCommandAimForward);
    Advance(kSlotPedal, 10.0);
    Advance(kSlotPedal, 10.5);
    EXPECT_NEAR(inputs.ramps[kRampThrottle].target, c.throttle, 1e-9);
    EXPECT_NEAR(inputs.ramps[kRampBrake].target, c.brake, 1e-9);
  }
  EXPECT_NEAR(tag.aimTimes.back(), 0.5, 1e-12);  // the target plays from the aim's start
}

// The steering part turns toward the target (from the front axle forward,
// from the rear axle backward) and holds the wheel once the target is
// passed; without a target the slot waits.
TEST_F(Commands, AimingSteers) {
  tag.block.aimOn = 1;
  tag.block.aimParts = 2;  // steering only: the gear picks the direction
  tag.block.aimDuration = 5.0;
  tag.hasTarget = true;
  struct Case {
    int32 gear;
    Vec3 target;
    double steer;
  } cases[] = {
      {1, Vec3(0, 30, 1150), 0.0},
      {1, Vec3(1000, 30, 1150), -std::sqrt(0.5)},   // 45 degrees right of the front axle
      {1, Vec3(-1000, 30, 1150), std::sqrt(0.5)},
      {1, Vec3(0, 30, -1000), 0.25},                // behind: the wheel is held
      {-1, Vec3(1000, 30, -1150), -std::sqrt(0.5)},  // backing 45 degrees right: the same lock
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target.x);
    SCOPED_TRACE(c.gear);
    inputs = InputRamps();
    inputs.ramps[kRampSteer].current = 0.25;
    gear = c.gear;
    tag.target = c.target;
    ASSERT_TRUE(Start());
    EXPECT_EQ(cs.slots[kSlotSteer].mode, c.gear < 0 ? kCommandAimBackward : kCommandAimForward);
    Advance(kSlotSteer, 10.0);
    Advance(kSlotSteer, 10.5);
    EXPECT_NEAR(inputs.ramps[kRampSteer].target, c.steer, 1e-12);
  }
  tag.hasTarget = false;
  inputs = InputRamps();
  const CommandSlot before = cs.slots[kSlotSteer];
  Advance(kSlotSteer, 11.0);
  EXPECT_EQ(cs.slots[kSlotSteer].curveStart, before.curveStart);
  EXPECT_EQ(inputs.steerRampLevel, 0.0);
}

}  // namespace
