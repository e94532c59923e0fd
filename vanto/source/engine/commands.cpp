#include "engine/commands.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/autopilot.h"

// Places here go through the same operations, in the same order, as the
// scene's vector type would apply, so a command drives the same way
// whichever side computes it.

namespace {

// No command ramp is shorter than this (s).
constexpr double kMinCommandDuration = 0.01;

// Marks a slot time as used. Car time can be negative (a run that starts
// before the document's zero), so no finite value can serve.
constexpr double kTimeUsed = -std::numeric_limits<double>::infinity();

bool Due(double t, double now) { return t != kTimeUsed && t <= now; }

double AtLeastMinDuration(double d) { return d > kMinCommandDuration ? d : kMinCommandDuration; }

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The ramp channel of a pedal-curve mode (1 .. 4), or -1.
int32 PedalChannel(int32 mode) {
  switch (mode) {
    case kCommandThrottleCurve: return kRampThrottle;
    case kCommandBrakeCurve: return kRampBrake;
    case kCommandHandbrakeCurve: return kRampHandbrake;
    case kCommandReverseCurve: return kRampReverse;
    default: return -1;
  }
}

// The aim mode of a direction setting; a direction that is neither forward
// nor backward aims nowhere.
int32 AimModeOf(int32 direction) {
  if (direction == 1) return kCommandAimForward;
  if (direction == 4) return kCommandAimBackward;
  return kCommandIdle;
}

bool IsAimMode(int32 mode) { return mode == kCommandAimForward || mode == kCommandAimBackward; }

// Starts a slot whose phases run from now: lead-in until curveStart, the
// curve until curveEnd, the return until returnEnd.
void StartSlot(CommandSlot& slot, int32 mode, double now, double leadIn, double duration, double ret) {
  slot.mode = mode;
  slot.startTime = now;
  slot.curveStart = now + leadIn;
  slot.curveEnd = slot.curveStart + duration;
  slot.returnEnd = slot.curveEnd + ret;
}

// The curve of a curve mode, or false for a mode without one.
bool CurveOf(int32 mode, CommandCurve& curve) {
  if (mode == kCommandSteerCurve) {
    curve = CommandCurve::kSteer;
  } else if (PedalChannel(mode) >= 0) {
    curve = CommandCurve::kPedal;
  } else if (mode == kCommandOutputCurve) {
    curve = CommandCurve::kOutput;
  } else {
    return false;
  }
  return true;
}

double CurveScaleOf(int32 mode) {
  if (mode == kCommandSteerCurve) return -0.01;
  if (mode == kCommandOutputCurve) return 1.0;
  return 0.01;
}

// The curve or aim phase of an aim slot. False when there is no target to
// aim at: the slot then waits unchanged.
bool Aim(int32 index, CommandSlot& slot, double now, CommandTag& tag, CommandCar& car, double& v) {
  Vec3 goal;
  if (!tag.AimTarget(now - slot.curveStart, goal)) return false;
  CommandBlock s;
  tag.Read(s);

  const bool backward = slot.mode == kCommandAimBackward;
  const int32 w = backward ? 2 : 0;
  const Vec3& a = car.wheels[w];
  const Vec3& b = car.wheels[w + 1];
  const Vec3 anchor((a.x + b.x) * 0.5, (a.y + b.y) * 0.5, (a.z + b.z) * 0.5);
  // The target is taken at height 0.
  Vec3 d(goal.x - anchor.x, -anchor.y, goal.z - anchor.z);
  if (backward) d = Vec3(-d.x, -d.y, -d.z);
  const double r = LengthVec3(d);
  const Vec3 u = r != 0.0 ? Vec3(d.x / r, d.y / r, d.z / r) : Vec3();
  const Vec3& heading = car.forwardAxis;
  const bool ahead = heading.x * u.x + heading.z * u.z > 0.0 && r > s.aimStopDistance;
  InputRamps& in = car.inputs;

  if (index == kSlotSteer) {
    // Arrived or passed: the wheel is held.
    if (!ahead) {
      v = in.ramps[kRampSteer].current;
    } else {
      v = SteerToward(d, car.sideAxis, car.maxSteerAngle);
      if (backward) v = -v;
    }
    return true;
  }

  if (!ahead) {
    const double brake = s.aimStopBrake;
    in.ramps[kRampBrake].current = brake;
    v = -brake;
    return true;
  }
  const double coast = s.aimCoastDistance;
  const double pedal = s.aimPedal;
  if (r <= coast) {
    v = 0.0;
  } else if (s.aimProportional) {
    // A coasting distance at or below 0 leaves nothing to be proportional to.
    v = coast > 0.0 ? std::min(1.0, pedal * r / coast) : pedal;
  } else {
    v = pedal;
  }
  in.ramps[backward ? kRampReverse : kRampThrottle].current = v;
  return true;
}

// Hands one slot value to the car at the command level.
void ApplySlotValue(int32 index, int32 mode, double v, double duration, double level, CommandCar& car) {
  const double dt = car.settings.stepDt;
  InputRamps& in = car.inputs;
  switch (index) {
    case kSlotSteer: RampSteering(Clamp(v, -1.0, 1.0), duration, level, dt, in); break;
    case kSlotPedal:
      switch (mode % 16) {
        case 1:
          if (v >= 0.0)
            RampThrottle(v, duration, level, dt, in);
          else
            RampBrake(-v, duration, level, dt, in);
          break;
        case 2: RampBrake(v, duration, level, dt, in); break;
        case 3: RampHandbrake(v, duration, level, dt, in); break;
        case 4:
          if (v >= 0.0)
            RampReverse(v, duration, level, dt, in);
          else
            RampBrake(-v, duration, level, dt, in);
          break;
        default: break;
      }
      break;
    default:
      if (mode == kCommandOutputCurve) car.output = v;
      break;
  }
}

}  // namespace

bool MarkerReaches(const Vec3& marker, double radius, const Vec3& car) {
  const double dx = car.x - marker.x, dz = car.z - marker.z;
  return std::sqrt(dx * dx + dz * dz) <= radius;
}

bool CommandConditionMet(int32 condition, double speed, int32 engagedGear) {
  switch (condition) {
    case 1: return std::fabs(speed) < kStandingSpeed;
    case 2: return engagedGear >= 0;
    case 3: return engagedGear < 1;
    default: return true;
  }
}

bool StartCommands(const CommandBlock& s, const CommandTag& tag, CommandTrackState& cs, CommandCar& car,
                   int32 changes[kCommandSlots]) {
  const double now = car.settings.simTime;
  const ControlRamp* ramps = car.inputs.ramps;
  auto stop = [&](int32 index) {
    StopCommandSlot(cs.slots[index]);
    changes[index] = kSlotStopped;
  };
  auto start = [&](int32 index, int32 mode, double leadIn, double duration, double ret) {
    StartSlot(cs.slots[index], mode, now, leadIn, duration, ret);
    changes[index] = kSlotStarted;
  };

  // Aiming first, so that a steering or pedal block of the same marker takes
  // its channel over.
  if (s.aimOn) {
    const int32 parts = s.aimParts;
    const int32 directed = AimModeOf(s.aimDirection);
    const double duration = s.aimDuration;
    if (parts & 2) {
      CommandSlot& slot = cs.slots[kSlotSteer];
      // Without the pedal part the car aims the way its gear drives it.
      const int32 mode =
          (parts & 1) ? directed : (car.engagedGear < 0 ? kCommandAimBackward : kCommandAimForward);
      start(kSlotSteer, mode, 0.0, duration, 0.0);
      slot.startValue = slot.firstValue = ramps[kRampSteer].current;
      if (mode == kCommandIdle) stop(kSlotSteer);
    }
    if (parts & 1) {
      CommandSlot& slot = cs.slots[kSlotPedal];
      start(kSlotPedal, directed, 0.0, duration, 0.0);
      slot.startValue = slot.firstValue = ramps[car.engagedGear < 0 ? kRampReverse : kRampThrottle].current;
      if (directed == kCommandIdle) stop(kSlotPedal);
    }
  }

  double y = 0.0;
  if (s.steerOn) {
    if (!tag.CurveAt(CommandCurve::kSteer, 0.0, y)) return false;
    CommandSlot& slot = cs.slots[kSlotSteer];
    slot.startValue = ramps[kRampSteer].current;
    slot.firstValue = y * -0.01;
    start(kSlotSteer, kCommandSteerCurve, s.steerLeadIn, s.steerDuration, s.steerReturn);
  }

  if (s.pedalOn) {
    // The slot is left as it is when the block cannot start.
    if (!tag.CurveAt(CommandCurve::kPedal, 0.0, y)) return false;
    CommandSlot& slot = cs.slots[kSlotPedal];
    const int32 mode = s.pedalChannel;
    const int32 channel = PedalChannel(mode);
    if (channel < 0) {
      // A channel the car does not have: the block replaces the pedal command
      // with nothing.
      stop(kSlotPedal);
    } else {
      slot.startValue = ramps[channel].current;
      slot.firstValue = y * 0.01;
      start(kSlotPedal, mode, s.pedalLeadIn, s.pedalDuration, s.pedalReturn);
    }
  }

  if (s.tractionOn) car.tractionControl = s.tractionValue ? 1 : 0;
  if (s.brakeSlipOn) car.brakeSlipControl = s.brakeSlipValue ? 1 : 0;

  if (s.outputOn) {
    if (!tag.CurveAt(CommandCurve::kOutput, 0.0, y)) return false;
    CommandSlot& slot = cs.slots[kSlotOutput];
    start(kSlotOutput, kCommandOutputCurve, 0.0, s.outputDuration, 0.0);
    slot.startValue = 0.0;
    slot.firstValue = y;
  }
  return true;
}

int32 AdvanceCommandSlot(int32 index, CommandTag& tag, CommandTrackState& cs, CommandCar& car) {
  CommandSlot& slot = cs.slots[index];
  if (slot.mode < 0) return kSlotKept;
  const double now = car.settings.simTime;
  // The value is applied as the mode was when the phase began: the return
  // phase ends the slot but still ramps its channel back.
  const int32 mode = slot.mode;
  double v = 0.0, duration = 0.0;

  if (Due(slot.startTime, now)) {
    v = slot.firstValue;
    duration = slot.curveStart - now;
    slot.startTime = kTimeUsed;
  } else if (Due(slot.curveStart, now)) {
    if (IsAimMode(mode)) {
      if (!Aim(index, slot, now, tag, car, v)) return kSlotKept;
      if (now >= slot.curveEnd) slot.curveStart = slot.curveEnd = kTimeUsed;
    } else {
      const double length = slot.curveEnd - slot.curveStart;
      double tau = now - slot.curveStart;
      const bool last = tau >= length;
      if (last) tau = length;
      CommandCurve curve;
      double y = 0.0;
      // The curve was removed from a running command: it ends where it is.
      if (!CurveOf(mode, curve) || !tag.CurveAt(curve, tau, y)) {
        StopCommandSlot(slot);
        return kSlotStopped;
      }
      if (last) slot.curveStart = kTimeUsed;
      v = y * CurveScaleOf(mode);
    }
    duration = car.settings.inputPeriod;
  } else if (Due(slot.curveEnd, now)) {
    v = slot.startValue;
    duration = slot.returnEnd - now;
    slot.mode = kCommandIdle;
    slot.curveEnd = kTimeUsed;
  } else {
    return kSlotKept;
  }
  ApplySlotValue(index, mode, v, AtLeastMinDuration(duration), cs.commandLevel, car);
  return kSlotKept;
}
