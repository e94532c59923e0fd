#include "scene/markers.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scene/autopilot.h"
#include "carsim/car_param_ids.h"
#include "host_animation.h"
#include "host_container.h"
#include "host_geometry.h"
#include "host_scene.h"
#include "carsim/plugin_ids.h"
#include "scene_build/object_builders.h"
#include "scene/ramps.h"

namespace {

// No command ramp is shorter than this (s).
constexpr double kMinCommandDuration = 0.01;
// A target with a tag of this type is animated through that tag.
constexpr LONG kTargetMotionTagType = 5699;

// Marks a slot time as used. Car time can be negative (a run that starts
// before the document's zero), so no finite value can serve.
constexpr double kTimeUsed = -std::numeric_limits<double>::infinity();
// The command level is taken from the Car at the first refresh.
constexpr double kLevelUnread = std::numeric_limits<double>::quiet_NaN();

bool Due(double t, double now) { return t != kTimeUsed && t <= now; }

double AtLeastMinDuration(double d) { return d > kMinCommandDuration ? d : kMinCommandDuration; }

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

const SplineData* CurveOf(const BaseContainer& s, LONG id) {
  return static_cast<const SplineData*>(s.GetCustomDataType(id, CUSTOMDATATYPE_SPLINE));
}

double CurveAt(const SplineData& curve, double x) { return curve.GetPoint(x).y; }

// The settings of the object's first commands tag, or null.
const BaseContainer* CommandsOf(const BaseObject* op) {
  const BaseTag* tag = op->GetTag(ID_VANTOCOMMANDS);
  return tag ? tag->GetDataInstance() : nullptr;
}

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
int32 AimModeOf(LONG direction) {
  if (direction == 1) return kCommandAimForward;
  if (direction == 4) return kCommandAimBackward;
  return kCommandIdle;
}

bool IsAimMode(int32 mode) { return mode == kCommandAimForward || mode == kCommandAimBackward; }

bool ConditionMet(const BaseContainer& s, const CarState& car) {
  switch (s.GetLong(CMD_CONDITION)) {
    case 1: return std::fabs(car.speed) < kStandingSpeed;
    case 2: return car.engagedGear >= 0;
    case 3: return car.engagedGear < 1;
    default: return true;
  }
}

bool InRange(const BaseObject* marker, const Vector& car) {
  const Vector m = marker->GetMg().off;
  const double dx = car.x - m.x, dz = car.z - m.z;
  return std::sqrt(dx * dx + dz * dz) <= marker->GetDataInstance()->GetReal(kMarkerRadiusParam);
}

void StopSlot(CommandSlot& slot) {
  slot.mode = kCommandIdle;
  slot.tagSettings = nullptr;
}

// Starts a slot whose phases run from now: lead-in until curveStart, the
// curve until curveEnd, the return until returnEnd.
void StartSlot(CommandSlot& slot, const BaseContainer& s, int32 mode, double now, double leadIn, double duration,
               double ret) {
  slot.tagSettings = &s;
  slot.mode = mode;
  slot.startTime = now;
  slot.curveStart = now + leadIn;
  slot.curveEnd = slot.curveStart + duration;
  slot.returnEnd = slot.curveEnd + ret;
}

// False when a switched-on block finds no curve: the blocks before it stay
// started, the later ones do not start, and the refresh ends.
bool ApplyMarker(BaseObject* marker, const BaseContainer& s, CarState& car) {
  CommandState& cs = car.commands;
  const double now = car.settings.simTime;
  cs.lastMarker = marker;
  cs.markerName = marker->GetName();
  cs.markerLabel = MakePanelLabel(cs.markerName);

  // Aiming first, so that a steering or pedal block of the same marker takes
  // its channel over.
  if (s.GetBool(CMD_AIM_ON)) {
    const LONG parts = s.GetLong(CMD_AIM_PARTS);
    const int32 directed = AimModeOf(s.GetLong(CMD_AIM_DIRECTION));
    const double duration = s.GetReal(CMD_AIM_DURATION);
    if (parts & 2) {
      CommandSlot& slot = cs.slots[kSlotSteer];
      // Without the pedal part the car aims the way its gear drives it.
      const int32 mode =
          (parts & 1) ? directed : (car.engagedGear < 0 ? kCommandAimBackward : kCommandAimForward);
      StartSlot(slot, s, mode, now, 0.0, duration, 0.0);
      slot.startValue = slot.firstValue = car.ramps[kRampSteer].current;
      if (mode == kCommandIdle) StopSlot(slot);
    }
    if (parts & 1) {
      CommandSlot& slot = cs.slots[kSlotPedal];
      StartSlot(slot, s, directed, now, 0.0, duration, 0.0);
      slot.startValue = slot.firstValue =
          car.ramps[car.engagedGear < 0 ? kRampReverse : kRampThrottle].current;
      if (directed == kCommandIdle) StopSlot(slot);
    }
  }

  if (s.GetBool(CMD_STEER_ON)) {
    const SplineData* curve = CurveOf(s, CMD_STEER_CURVE);
    if (!curve) return false;
    CommandSlot& slot = cs.slots[kSlotSteer];
    slot.startValue = car.ramps[kRampSteer].current;
    slot.firstValue = CurveAt(*curve, 0.0) * -0.01;
    StartSlot(slot, s, kCommandSteerCurve, now, s.GetReal(CMD_STEER_LEAD_IN), s.GetReal(CMD_STEER_DURATION),
              s.GetReal(CMD_STEER_RETURN));
  }

  if (s.GetBool(CMD_PEDAL_ON)) {
    // The slot is left as it is when the block cannot start.
    const SplineData* curve = CurveOf(s, CMD_PEDAL_CURVE);
    if (!curve) return false;
    CommandSlot& slot = cs.slots[kSlotPedal];
    const int32 mode = s.GetLong(CMD_PEDAL_CHANNEL);
    const int32 channel = PedalChannel(mode);
    if (channel < 0) {
      // A channel the car does not have: the block replaces the pedal command
      // with nothing.
      StopSlot(slot);
    } else {
      slot.startValue = car.ramps[channel].current;
      slot.firstValue = CurveAt(*curve, 0.0) * 0.01;
      StartSlot(slot, s, mode, now, s.GetReal(CMD_PEDAL_LEAD_IN), s.GetReal(CMD_PEDAL_DURATION),
                s.GetReal(CMD_PEDAL_RETURN));
    }
  }

  if (s.GetBool(CMD_TRACTION_ON)) car.dynamics.tractionControl = s.GetBool(CMD_TRACTION_VALUE) ? 1 : 0;
  if (s.GetBool(CMD_ABS_ON)) car.dynamics.brakeSlipControl = s.GetBool(CMD_ABS_VALUE) ? 1 : 0;

  if (s.GetBool(CMD_OUTPUT_ON)) {
    const SplineData* curve = CurveOf(s, CMD_OUTPUT_CURVE);
    if (!curve) return false;
    CommandSlot& slot = cs.slots[kSlotOutput];
    const double duration = s.GetReal(CMD_OUTPUT_DURATION);
    StartSlot(slot, s, kCommandOutputCurve, now, 0.0, duration, 0.0);
    slot.startValue = 0.0;
    slot.firstValue = CurveAt(*curve, 0.0);
  }
  return true;
}

// False when the refresh must end without advancing the slots.
bool SearchMarkers(BaseObject* group, CarState& car) {
  CommandState& cs = car.commands;
  const Vector pos = car.bodyMatrix.off;
  bool matched = false;
  for (BaseObject* child = group->GetDown(); child; child = child->GetNext()) {
    if (child->GetEditorMode() == MODE_OFF) continue;
    if (!InRange(child, pos)) continue;
    const BaseContainer* s = CommandsOf(child);
    if (!s || !ConditionMet(*s, car)) continue;
    matched = true;
    // Overlapping markers take turns: the one applied last yields.
    if (child == cs.lastMarker) continue;
    return ApplyMarker(child, *s, car);
  }
  if (!matched) cs.lastMarker = nullptr;
  return true;
}

// The curve or aim phase of an aim slot. False when there is no target to
// aim at: the slot then waits unchanged.
bool Aim(BaseDocument* doc, int32 index, CommandSlot& slot, double now, CarState& car, double& v) {
  const BaseContainer& s = *slot.tagSettings;
  BaseObject* target = s.GetObjectLink(CMD_AIM_TARGET, doc);
  if (!target) return false;
  if (s.GetBool(CMD_AIM_ANIMATE_TARGET)) {
    BaseList2D* animated = target->GetTag(kTargetMotionTagType);
    if (!animated) animated = target;
    hostanim::AnimateNode(animated, BaseTime(now - slot.curveStart));
  }

  const bool backward = slot.mode == kCommandAimBackward;
  const int32 w = backward ? 2 : 0;
  const Vector anchor = (car.wheelMatrices[w].off + car.wheelMatrices[w + 1].off) * 0.5;
  const Vector goal = target->GetMg().off;
  // The target is taken at height 0.
  Vector d(goal.x - anchor.x, -anchor.y, goal.z - anchor.z);
  if (backward) d = -d;
  const double r = d.GetLength();
  const Vector u = r != 0.0 ? d / r : Vector();
  const Vector& heading = car.bodyMatrix.v3;
  const bool ahead = heading.x * u.x + heading.z * u.z > 0.0 && r > s.GetReal(CMD_AIM_STOP_DISTANCE);

  if (index == kSlotSteer) {
    // Arrived or passed: the wheel is held.
    if (!ahead) {
      v = car.ramps[kRampSteer].current;
    } else {
      v = SteerToward(d, car);
      if (backward) v = -v;
    }
    return true;
  }

  if (!ahead) {
    const double brake = s.GetReal(CMD_AIM_STOP_BRAKE);
    car.ramps[kRampBrake].current = brake;
    v = -brake;
    return true;
  }
  const double coast = s.GetReal(CMD_AIM_COAST_DISTANCE);
  const double pedal = s.GetReal(CMD_AIM_PEDAL);
  if (r <= coast) {
    v = 0.0;
  } else if (s.GetBool(CMD_AIM_PROPORTIONAL)) {
    // A coasting distance at or below 0 leaves nothing to be proportional to.
    v = coast > 0.0 ? std::min(1.0, pedal * r / coast) : pedal;
  } else {
    v = pedal;
  }
  car.ramps[backward ? kRampReverse : kRampThrottle].current = v;
  return true;
}

// Hands one slot value to the car at the command level.
void ApplySlotValue(int32 index, int32 mode, double v, double duration, CarState& car) {
  const double level = car.commands.commandLevel;
  switch (index) {
    case kSlotSteer: RampSteering(Clamp(v, -1.0, 1.0), duration, level, car); break;
    case kSlotPedal:
      switch (mode % 16) {
        case 1:
          if (v >= 0.0)
            RampThrottle(v, duration, level, car);
          else
            RampBrake(-v, duration, level, car);
          break;
        case 2: RampBrake(v, duration, level, car); break;
        case 3: RampHandbrake(v, duration, level, car); break;
        case 4:
          if (v >= 0.0)
            RampReverse(v, duration, level, car);
          else
            RampBrake(-v, duration, level, car);
          break;
        default: break;
      }
      break;
    default:
      if (mode == kCommandOutputCurve) car.commandOutput = v;
      break;
  }
}

LONG CurveParamOf(int32 mode) {
  if (mode == kCommandSteerCurve) return CMD_STEER_CURVE;
  if (PedalChannel(mode) >= 0) return CMD_PEDAL_CURVE;
  if (mode == kCommandOutputCurve) return CMD_OUTPUT_CURVE;
  return 0;
}

double CurveScaleOf(int32 mode) {
  if (mode == kCommandSteerCurve) return -0.01;
  if (mode == kCommandOutputCurve) return 1.0;
  return 0.01;
}

void AdvanceSlot(BaseDocument* doc, int32 index, CarState& car) {
  CommandSlot& slot = car.commands.slots[index];
  if (slot.mode < 0) return;
  // Slots whose tag left the group were stopped at the start of the advance call.
  if (!slot.tagSettings) {
    StopSlot(slot);
    return;
  }
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
      if (!Aim(doc, index, slot, now, car, v)) return;
      if (now >= slot.curveEnd) slot.curveStart = slot.curveEnd = kTimeUsed;
    } else {
      const LONG id = CurveParamOf(mode);
      const SplineData* curve = id ? CurveOf(*slot.tagSettings, id) : nullptr;
      // The curve was removed from a running command: it ends where it is.
      if (!curve) {
        StopSlot(slot);
        return;
      }
      const double length = slot.curveEnd - slot.curveStart;
      double tau = now - slot.curveStart;
      if (tau >= length) {
        tau = length;
        slot.curveStart = kTimeUsed;
      }
      v = CurveAt(*curve, tau) * CurveScaleOf(mode);
    }
    duration = car.settings.inputPeriod;
  } else if (Due(slot.curveEnd, now)) {
    v = slot.startValue;
    duration = slot.returnEnd - now;
    slot.mode = kCommandIdle;
    slot.curveEnd = kTimeUsed;
  } else {
    return;
  }
  ApplySlotValue(index, mode, v, AtLeastMinDuration(duration), car);
}

// LONG 1922 in tenths. Divided, not multiplied by 0.1: 6 x 0.1 is
// 0.6000000000000001, which outranks the crash reaction's 0.6.
double CommandLevelOf(const BaseContainer& bc) { return bc.GetLong(CAR_COMMAND_LEVEL) / 10.0; }

}  // namespace

Bool ResetCommandState(BaseDocument*, BaseContainer& bc, CarState& car) {
  ResetCommandState(car);
  car.commands.commandLevel = CommandLevelOf(bc);
  bc.SetReal(CAR_OUTPUT_LAST, 0.0);
  return true;
}

void ResetCommandState(CarState& car) {
  CommandState& cs = car.commands;
  cs.lastMarker = nullptr;
  for (CommandSlot& slot : cs.slots) StopSlot(slot);
  cs.commandLevel = kLevelUnread;
  car.commandOutput = 0.0;
}

void EvaluateCommandTag(BaseDocument* doc, const BaseContainer& bc, CarState& car) {
  BaseObject* group = bc.GetObjectLink(CAR_COMMAND_GROUP, doc);
  if (!group) return;
  if (std::isnan(car.commands.commandLevel)) car.commands.commandLevel = CommandLevelOf(bc);
  if (!SearchMarkers(group, car)) return;
  for (int32 index = kSlotSteer; index <= kSlotOutput; ++index) AdvanceSlot(doc, index, car);
}
