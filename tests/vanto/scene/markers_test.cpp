// Command markers as the run refreshes them: which marker applies and when,
// the phases of curve commands, aiming at a target, the switches and the
// output curve, priorities, and markers that change during a run.
#include <cmath>
#include <numbers>

#include "markers_fixture.h"
#include "sim/sim_run.h"

namespace markertest {
namespace {

class Markers : public MarkerTest {
 protected:
  static void SetSteering(BaseContainer& bc, Real lead, Real dur, Real ret,
                          std::initializer_list<std::pair<Real, Real>> knots) {
    bc.SetBool(CMD_STEER_ON, true);
    bc.SetReal(CMD_STEER_LEAD_IN, lead);
    bc.SetReal(CMD_STEER_DURATION, dur);
    bc.SetReal(CMD_STEER_RETURN, ret);
    SetCurve(bc, CMD_STEER_CURVE, dur, knots);
  }
  static void SetPedal(BaseContainer& bc, LONG channel, Real lead, Real dur, Real ret,
                       std::initializer_list<std::pair<Real, Real>> knots) {
    bc.SetBool(CMD_PEDAL_ON, true);
    bc.SetLong(CMD_PEDAL_CHANNEL, channel);
    bc.SetReal(CMD_PEDAL_LEAD_IN, lead);
    bc.SetReal(CMD_PEDAL_DURATION, dur);
    bc.SetReal(CMD_PEDAL_RETURN, ret);
    SetCurve(bc, CMD_PEDAL_CURVE, dur, knots);
  }
  void MoveCar(const Vector& p) { PlaceCar(p); }
};

// ---------------------------------------------------------------- which marker applies

TEST_F(Markers, AMarkerAppliesOnceWhileTheCarStaysAndAgainAfterItLeft) {
  BaseObject* m = NewMarker("Mk.turn", Vector(0.0, 500.0, 0.0), 100.0);
  SetPedal(Tag(m), 1, 0.5, 1.0, 0.5, {{0.0, 50.0}, {1.0, 50.0}});
  MoveCar(Vector(60.0, 0.0, 60.0));  // 84.9 away on the ground plane: inside
  Tick();
  EXPECT_EQ(car->commands.lastMarker, m);
  EXPECT_EQ(car->commands.markerName, String("Mk.turn"));
  EXPECT_EQ(car->commands.markerLabel, String("MKTURN"));
  const double started = Slot(kSlotPedal).curveStart;
  EXPECT_NEAR(started, 10.5, 1e-9);
  Tick(5);
  EXPECT_EQ(Slot(kSlotPedal).curveStart, started);  // not applied again

  MoveCar(Vector(80.0, 0.0, 80.0));  // 113 away: outside
  Tick();
  EXPECT_EQ(car->commands.lastMarker, nullptr);
  MoveCar(Vector(0.0, 0.0, 0.0));
  Tick();
  EXPECT_EQ(car->commands.lastMarker, m);
  EXPECT_GT(Slot(kSlotPedal).curveStart, started);
}

TEST_F(Markers, OverlappingMarkersTakeTurns) {
  BaseObject* a = NewMarker("A", Vector());
  BaseObject* b = NewMarker("B", Vector(20.0, 0.0, 0.0));
  MoveCar(Vector());
  const BaseObject* seen[4] = {};
  for (const BaseObject*& s : seen) {
    Tick();
    s = car->commands.lastMarker;
  }
  EXPECT_EQ(seen[0], a);
  EXPECT_EQ(seen[1], b);
  EXPECT_EQ(seen[2], a);
  EXPECT_EQ(seen[3], b);
}

TEST_F(Markers, SwitchedOffUntaggedAndFarMarkersArePassedOver) {
  BaseObject* off = NewMarker("Off", Vector());
  off->SetEditorMode(MODE_OFF);
  NewNull(group, Vector(), 100.0);  // in range but no commands tag
  NewMarker("Far", Vector(500.0, 0.0, 0.0));
  BaseObject* hit = NewMarker("Hit", Vector(10.0, 0.0, 0.0));
  MoveCar(Vector());
  Tick();
  EXPECT_EQ(car->commands.lastMarker, hit);
}

TEST_F(Markers, Conditions) {
  struct Case {
    LONG condition;
    double speed;
    int32 gear;
    bool applies;
  } cases[] = {
      {0, 30.0, -1, true},  {1, 0.2, 3, true},   {1, -0.3, 0, false}, {1, 0.25, 0, false},
      {2, 5.0, 0, true},    {2, 5.0, -1, false}, {3, 1.0, 0, true},   {3, 1.0, 1, false},
      {7, 9.0, 2, true},
  };
  BaseObject* m = NewMarker("A", Vector());
  MoveCar(Vector());
  for (const Case& c : cases) {
    Tag(m).SetLong(CMD_CONDITION, c.condition);
    car->speed = c.speed;
    car->engagedGear = c.gear;
    car->commands.lastMarker = nullptr;
    Tick();
    EXPECT_EQ(car->commands.lastMarker == m, c.applies) << c.condition << " " << c.speed << " " << c.gear;
  }
}

TEST_F(Markers, WithoutACommandGroupNothingHappensNotEvenRunningSlots) {
  BaseObject* m = NewMarker("A", Vector());
  SetPedal(Tag(m), 1, 0.0, 1.0, 0.0, {{0.0, 80.0}, {1.0, 80.0}});
  MoveCar(Vector());
  Tick();
  const CommandSlot before = Slot(kSlotPedal);
  carBc->RemoveData(CAR_COMMAND_GROUP);
  TickUntil(12.0);
  EXPECT_EQ(Slot(kSlotPedal).curveStart, before.curveStart);
  EXPECT_EQ(car->commands.lastMarker, m);
}

// ---------------------------------------------------------------- curve commands

// Ramp-in, curve and release of 1 s each applied at 10.00 s.
TEST_F(Markers, SteeringCurvePhases) {
  BaseObject* m = NewMarker("A", Vector());
  // Steering is -y / 100: 0.2 at the start of the curve, 0.6 at its end.
  SetSteering(Tag(m), 1.0, 1.0, 1.0, {{0.0, -20.0}, {1.0, -60.0}});
  car->ramps[kRampSteer].current = 0.1;
  MoveCar(Vector());
  Tick();
  EXPECT_DOUBLE_EQ(car->ramps[kRampSteer].target, 0.2);
  EXPECT_NEAR(car->ramps[kRampSteer].remaining, 1.0 - 0.01, 1e-9);
  TickUntil(11.0);
  EXPECT_NEAR(Ramp(kRampSteer), 0.2, 1e-3);
  TickUntil(11.5);
  EXPECT_NEAR(Ramp(kRampSteer), 0.2 + 0.4 * 0.49, 2e-3);
  TickUntil(12.01);
  EXPECT_NEAR(Ramp(kRampSteer), 0.6, 1e-3);
  // Back to the value at 10.00 s, reached at 13.00 s.
  TickUntil(12.5);
  EXPECT_NEAR(Ramp(kRampSteer), 0.35, 0.01);
  TickUntil(13.02);
  EXPECT_NEAR(Ramp(kRampSteer), 0.1, 1e-3);
  EXPECT_EQ(Slot(kSlotSteer).mode, kCommandIdle);
}

TEST_F(Markers, PedalCurvesAndTheirReturn) {
  BaseObject* m = NewMarker("A", Vector());
  // A lead-in of 0 still ramps over 0.01 s: after one refresh the throttle
  // stands at the curve's first value.
  SetPedal(Tag(m), 1, 0.0, 0.5, 0.2, {{0.0, 40.0}, {0.5, 90.0}});
  car->ramps[kRampThrottle].current = 0.3;
  MoveCar(Vector());
  Tick();
  EXPECT_NEAR(Ramp(kRampThrottle), 0.4, 1e-9);
  TickUntil(10.51);
  EXPECT_NEAR(Ramp(kRampThrottle), 0.9, 1e-3);
  // The return ramps the throttle back to where it stood when the marker
  // was reached, and the slot is free afterwards.
  TickUntil(10.8);
  EXPECT_NEAR(Ramp(kRampThrottle), 0.3, 1e-3);
  EXPECT_EQ(Slot(kSlotPedal).mode, kCommandIdle);
}

TEST_F(Markers, NegativePedalValues) {
  struct Case {
    LONG channel;
    int brakeChannel;  // the channel that moves, and its target
    double target;
  } cases[] = {{1, kRampBrake, 0.3}, {4, kRampBrake, 0.3}, {2, kRampBrake, -0.3}, {3, kRampHandbrake, -0.3}};
  BaseObject* m = NewMarker("A", Vector());
  MoveCar(Vector());
  for (const Case& c : cases) {
    SetPedal(Tag(m), c.channel, 0.0, 1.0, 0.0, {{0.0, -30.0}, {1.0, -30.0}});
    for (ControlRamp& r : car->ramps) r = ControlRamp();
    car->commands.lastMarker = nullptr;
    Tick();
    EXPECT_DOUBLE_EQ(car->ramps[c.brakeChannel].target, c.target) << c.channel;
    EXPECT_EQ(Ramp(kRampThrottle), 0.0);
    EXPECT_GE(Ramp(c.brakeChannel), 0.0);
  }
}

TEST_F(Markers, AnUnknownPedalChannelStartsNothing) {
  BaseObject* m = NewMarker("A", Vector());
  SetPedal(Tag(m), 7, 0.0, 1.0, 0.0, {{0.0, 50.0}, {1.0, 50.0}});
  MoveCar(Vector());
  TickUntil(11.5);
  EXPECT_EQ(Slot(kSlotPedal).mode, kCommandIdle);
  for (int ch = kRampThrottle; ch < kRampCount; ++ch) EXPECT_EQ(Ramp(ch), 0.0) << ch;
}

TEST_F(Markers, SwitchesAndOutputCurve) {
  BaseObject* m = NewMarker("A", Vector());
  BaseContainer& bc = Tag(m);
  bc.SetBool(CMD_TRACTION_ON, true);
  bc.SetBool(CMD_TRACTION_VALUE, true);
  bc.SetBool(CMD_ABS_ON, true);
  bc.SetBool(CMD_ABS_VALUE, false);
  car->dynamics.brakeSlipControl = 1;
  bc.SetBool(CMD_OUTPUT_ON, true);
  bc.SetReal(CMD_OUTPUT_DURATION, 0.5);
  SetCurve(bc, CMD_OUTPUT_CURVE, 0.5, {{0.0, 10.0}, {0.5, 30.0}}, 0.0, 100.0);
  MoveCar(Vector());
  Tick();
  EXPECT_EQ(car->dynamics.tractionControl, 1);
  EXPECT_EQ(car->dynamics.brakeSlipControl, 0);
  EXPECT_EQ(car->commandOutput, 10.0);  // unscaled, at once
  TickUntil(10.25);
  EXPECT_NEAR(car->commandOutput, 10.0 + 40.0 * 0.24, 0.05);
  TickUntil(10.51);
  EXPECT_NEAR(car->commandOutput, 30.0, 1e-6);
  // When the block ends the output is 0 again.
  Tick(2);
  EXPECT_EQ(car->commandOutput, 0.0);
  EXPECT_EQ(Slot(kSlotOutput).mode, kCommandIdle);
}

// ---------------------------------------------------------------- aiming

class Aiming : public Markers {
 protected:
  void SetUp() override {
    Markers::SetUp();
    marker = NewMarker("Aim", Vector());
    target = NewNull(nullptr, Vector(), 0.0);
    BaseContainer& bc = Tag(marker);
    bc.SetBool(CMD_AIM_ON, true);
    bc.SetLink(CMD_AIM_TARGET, target);
    car->autopilot.maxSteerAngle = std::numbers::pi / 2.0;  // steering = the sine of the heading error
    MoveCar(Vector(0.0, 50.0, 0.0));  // front axle at z = 130, rear at -125, wheel centres 32 up
  }
  BaseObject* marker = nullptr;
  BaseObject* target = nullptr;
};

TEST_F(Aiming, PedalsByDistance) {
  struct Case {
    double targetZ;
    bool proportional;
    double throttle, brake;
  } cases[] = {
      {-500.0, false, 0.0, 0.1},               // behind: brake with 1341
      {180.0, false, 0.0, 0.1},                // inside the stop distance
      {280.0, false, 0.0, 0.0},                // coasting
      {530.0, false, 0.1, 0.0},                // beyond: 1351
      {530.0, true, 0.1 * std::hypot(400.0, 32.0) / 200.0, 0.0},
      {5000.0, true, 1.0, 0.0},                // at most full throttle
  };
  for (const Case& c : cases) {
    Tag(marker).SetLong(CMD_AIM_PARTS, 1);
    Tag(marker).SetBool(CMD_AIM_PROPORTIONAL, c.proportional);
    target->SetRelPos(Vector(0.0, 0.0, c.targetZ));
    car->commands.lastMarker = nullptr;
    car->pedalRampLevel = 0.0;
    for (ControlRamp& r : car->ramps) r = ControlRamp();
    Tick(2);  // lead-in, then the first aimed value
    EXPECT_NEAR(Ramp(kRampThrottle), c.throttle, 1e-9) << c.targetZ;
    EXPECT_NEAR(Ramp(kRampBrake), c.brake, 1e-9) << c.targetZ;
  }
}

TEST_F(Aiming, SteeringTowardsTheTargetOrHeld) {
  Tag(marker).SetLong(CMD_AIM_PARTS, 2);
  // Ahead and to +x: the heading error's sine is 0.6.
  target->SetRelPos(Vector(300.0, 0.0, 530.0));
  Tick(2);
  EXPECT_EQ(Slot(kSlotSteer).mode, kCommandAimForward);
  EXPECT_NEAR(car->ramps[kRampSteer].target, -0.6, 1e-9);
  // Behind: the wheel stays where it is.
  target->SetRelPos(Vector(300.0, 0.0, -530.0));
  car->ramps[kRampSteer].current = 0.25;
  Tick();
  EXPECT_NEAR(Ramp(kRampSteer), 0.25, 1e-9);
}

TEST_F(Aiming, BackwardsFromTheRearAxle) {
  Tag(marker).SetLong(CMD_AIM_DIRECTION, 4);
  target->SetRelPos(Vector(0.0, 0.0, -600.0));
  Tick(2);
  EXPECT_EQ(Slot(kSlotPedal).mode, kCommandAimBackward);
  EXPECT_EQ(Slot(kSlotSteer).mode, kCommandAimBackward);
  EXPECT_NEAR(Ramp(kRampReverse), 0.1, 1e-9);
  EXPECT_EQ(Ramp(kRampThrottle), 0.0);

  // Steering alone follows the gear.
  for (int32 gear : {-1, 2}) {
    Tag(marker).SetLong(CMD_AIM_PARTS, 2);
    car->engagedGear = gear;
    car->commands.lastMarker = nullptr;
    Tick();
    EXPECT_EQ(Slot(kSlotSteer).mode, gear < 0 ? kCommandAimBackward : kCommandAimForward);
  }
}

TEST_F(Aiming, EndsWithoutReturnAndWaitsWithoutTarget) {
  Tag(marker).SetReal(CMD_AIM_DURATION, 0.05);
  target->SetRelPos(Vector(0.0, 0.0, 1000.0));
  TickUntil(10.1);
  const CommandSlot& s = Slot(kSlotPedal);
  EXPECT_EQ(s.mode, kCommandAimForward);  // inert, not idle
  car->ramps[kRampThrottle].current = 0.7;
  Tick();
  EXPECT_EQ(Ramp(kRampThrottle), 0.7);

  // With no target the slot waits as it is, past its end.
  Tag(marker).RemoveData(CMD_AIM_TARGET);
  car->commands.lastMarker = nullptr;
  Tick(2);
  const double curveStart = Slot(kSlotPedal).curveStart;
  TickUntil(10.5);
  EXPECT_EQ(Slot(kSlotPedal).curveStart, curveStart);
  EXPECT_EQ(Slot(kSlotPedal).mode, kCommandAimForward);
}

// ---------------------------------------------------------------- priority and start

TEST_F(Markers, AHigherLevelKeepsCommandsOut) {
  BaseObject* m = NewMarker("A", Vector());
  SetSteering(Tag(m), 0.0, 1.0, 0.0, {{0.0, -50.0}, {1.0, -50.0}});
  MoveCar(Vector());
  car->steerRampLevel = 1.0;  // direct input holds the wheel
  car->ramps[kRampSteer] = ControlRamp{0.1, 0.1, 0.0, 5.0};
  Tick();
  EXPECT_EQ(car->ramps[kRampSteer].target, 0.1);
  EXPECT_EQ(car->commands.commandLevel, 0.6);
}

// The default level 6 ties with the crash reaction's 0.6, so a crash still
// takes the pedals from a marker that holds them.
TEST_F(Markers, ACrashStillReactsWhileAMarkerHoldsThePedals) {
  BaseObject* m = NewMarker("A", Vector());
  SetPedal(Tag(m), 1, 0.0, 2.0, 0.5, {{0.0, 50.0}, {2.0, 50.0}});
  MoveCar(Vector());
  Tick(3);
  ASSERT_EQ(car->pedalRampLevel, 0.6);
  car->crashReaction.mode[0] = 1;
  car->crashReaction.holdTime[0] = 1.0;
  car->sideImpulse[0] = Vector(1.0, 0.0, 0.0);
  ReactToCollision(*car);
  EXPECT_EQ(car->ramps[kRampThrottle].current, 0.0);
  EXPECT_EQ(car->ramps[kRampThrottle].remaining, 1.0);
}

// A marker whose pedal block is on but has no curve cannot start it: the
// pedal command already running goes on as it was.
TEST_F(Markers, APedalBlockWithoutACurveLeavesTheRunningPedalsAlone) {
  BaseObject* a = NewMarker("A", Vector());
  SetPedal(Tag(a), 1, 0.0, 2.0, 0.5, {{0.0, 50.0}, {2.0, 50.0}});
  BaseObject* b = NewMarker("B", Vector(1000.0, 0.0, 0.0));
  SetPedal(Tag(b), 2, 0.0, 2.0, 0.5, {{0.0, 80.0}, {2.0, 80.0}});
  Tag(b).RemoveData(CMD_PEDAL_CURVE);
  MoveCar(Vector());
  Tick(3);
  const CommandSlot before = Slot(kSlotPedal);
  ASSERT_EQ(before.mode, kCommandThrottleCurve);
  MoveCar(Vector(1000.0, 0.0, 0.0));
  Tick(10);
  EXPECT_EQ(car->commands.lastMarker, b);
  EXPECT_EQ(Slot(kSlotPedal).mode, kCommandThrottleCurve);
  EXPECT_EQ(car->commands.slotSettings[kSlotPedal], &Tag(a));
  EXPECT_NEAR(Ramp(kRampThrottle), 0.5, 1e-9);
  EXPECT_EQ(Ramp(kRampBrake), 0.0);
}

TEST_F(Markers, ResetAtTheStartOfARun) {
  carBc->SetLong(CAR_COMMAND_LEVEL, 8);
  carBc->SetReal(CAR_OUTPUT_LAST, 12.0);
  car->commandOutput = 12.0;
  car->commands.lastMarker = group;
  car->commands.slots[1].mode = 4;
  EXPECT_TRUE(ResetCommandState(doc, *carBc, *car));
  EXPECT_EQ(car->commands.lastMarker, nullptr);
  for (const CommandSlot& s : car->commands.slots) EXPECT_EQ(s.mode, kCommandIdle);
  EXPECT_EQ(car->commands.commandLevel, 0.8);
  EXPECT_EQ(car->commandOutput, 0.0);
  EXPECT_EQ(carBc->GetReal(CAR_OUTPUT_LAST), 0.0);

  // Reset without the container: the level comes at the first refresh.
  carBc->SetLong(CAR_COMMAND_LEVEL, 3);
  ResetCommandState(*car);
  Tick();
  EXPECT_EQ(car->commands.commandLevel, 0.3);
}

// ---------------------------------------------------------------- markers that change

TEST_F(Markers, AMissingCurveEndsTheRefreshButTheMarkerCounts) {
  BaseObject* m = NewMarker("A", Vector());
  BaseContainer& bc = Tag(m);
  bc.SetBool(CMD_AIM_ON, true);
  bc.SetLong(CMD_AIM_PARTS, 2);
  bc.SetBool(CMD_STEER_ON, true);
  bc.RemoveData(CMD_STEER_CURVE);
  SetPedal(bc, 1, 0.0, 1.0, 0.0, {{0.0, 50.0}, {1.0, 50.0}});
  MoveCar(Vector());
  Tick();
  EXPECT_EQ(car->commands.lastMarker, m);
  EXPECT_EQ(Slot(kSlotSteer).mode, kCommandAimForward);  // started before the steering block
  EXPECT_EQ(Slot(kSlotSteer).startTime, 10.0);           // but not advanced
  EXPECT_EQ(Slot(kSlotPedal).mode, kCommandIdle);        // never started
  EXPECT_EQ(Ramp(kRampThrottle), 0.0);
}

TEST_F(Markers, ATagOrMarkerRemovedDuringARunStopsItsCommand) {
  BaseObject* a = NewMarker("A", Vector());
  SetSteering(Tag(a), 0.0, 2.0, 0.5, {{0.0, -50.0}, {2.0, -50.0}});
  BaseObject* b = NewMarker("B", Vector(1000.0, 0.0, 0.0));
  SetPedal(Tag(b), 1, 0.0, 2.0, 0.5, {{0.0, 50.0}, {2.0, 50.0}});
  MoveCar(Vector());
  Tick(3);
  MoveCar(Vector(1000.0, 0.0, 0.0));
  Tick(3);
  ASSERT_EQ(Slot(kSlotSteer).mode, kCommandSteerCurve);
  ASSERT_EQ(Slot(kSlotPedal).mode, kCommandThrottleCurve);

  a->KillTag(ID_VANTOCOMMANDS);
  b->Remove();
  BaseObject::Free(b);
  RefreshSceneLinks(doc, *carBc, *car);  // what every advance call does first
  Tick(3);
  EXPECT_EQ(Slot(kSlotSteer).mode, kCommandIdle);
  EXPECT_EQ(Slot(kSlotPedal).mode, kCommandIdle);
}

TEST_F(Markers, CommandsPlayInARunThatStartsBeforeTimeZero) {
  car->settings.simTime = -2.0;
  BaseObject* m = NewMarker("A", Vector());
  SetSteering(Tag(m), 0.5, 0.5, 0.5, {{0.0, -40.0}, {0.5, -40.0}});
  MoveCar(Vector());
  Tick();
  EXPECT_DOUBLE_EQ(car->ramps[kRampSteer].target, 0.4);  // the ramp-in began
  TickUntil(-1.0);
  EXPECT_NEAR(Ramp(kRampSteer), 0.4, 1e-3);
  TickUntil(-0.48);
  EXPECT_NEAR(Ramp(kRampSteer), 0.0, 1e-3);
  EXPECT_EQ(Slot(kSlotSteer).mode, kCommandIdle);
}

}  // namespace
}  // namespace markertest
