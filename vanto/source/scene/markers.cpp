#include "scene/markers.h"

#include <cmath>
#include <limits>

#include "carsim/car_param_ids.h"
#include "carsim/plugin_ids.h"
#include "engine/commands.h"
#include "host_animation.h"
#include "host_container.h"
#include "host_geometry.h"
#include "host_scene.h"
#include "scene/frames.h"
#include "scene_build/object_builders.h"

namespace {

// A target with a tag of this type is animated through that tag.
constexpr LONG kTargetMotionTagType = 5699;

// The command level is taken from the Car at the first refresh.
constexpr double kLevelUnread = std::numeric_limits<double>::quiet_NaN();

const SplineData* CurveOf(const BaseContainer& s, LONG id) {
  return static_cast<const SplineData*>(s.GetCustomDataType(id, CUSTOMDATATYPE_SPLINE));
}

LONG CurveParamOf(CommandCurve curve) {
  switch (curve) {
    case CommandCurve::kSteer: return CMD_STEER_CURVE;
    case CommandCurve::kPedal: return CMD_PEDAL_CURVE;
    case CommandCurve::kOutput: return CMD_OUTPUT_CURVE;
  }
  return 0;
}

// The settings of the object's first commands tag, or null.
const BaseContainer* CommandsOf(const BaseObject* op) {
  const BaseTag* tag = op->GetTag(ID_VANTOCOMMANDS);
  return tag ? tag->GetDataInstance() : nullptr;
}

void ReadBlock(const BaseContainer& s, CommandBlock& b) {
  b.condition = s.GetLong(CMD_CONDITION);
  b.aimOn = s.GetBool(CMD_AIM_ON) ? 1 : 0;
  b.aimParts = s.GetLong(CMD_AIM_PARTS);
  b.aimDirection = s.GetLong(CMD_AIM_DIRECTION);
  b.aimDuration = s.GetReal(CMD_AIM_DURATION);
  b.aimStopDistance = s.GetReal(CMD_AIM_STOP_DISTANCE);
  b.aimStopBrake = s.GetReal(CMD_AIM_STOP_BRAKE);
  b.aimCoastDistance = s.GetReal(CMD_AIM_COAST_DISTANCE);
  b.aimPedal = s.GetReal(CMD_AIM_PEDAL);
  b.aimProportional = s.GetBool(CMD_AIM_PROPORTIONAL) ? 1 : 0;
  b.steerOn = s.GetBool(CMD_STEER_ON) ? 1 : 0;
  b.steerLeadIn = s.GetReal(CMD_STEER_LEAD_IN);
  b.steerDuration = s.GetReal(CMD_STEER_DURATION);
  b.steerReturn = s.GetReal(CMD_STEER_RETURN);
  b.pedalOn = s.GetBool(CMD_PEDAL_ON) ? 1 : 0;
  b.pedalChannel = s.GetLong(CMD_PEDAL_CHANNEL);
  b.pedalLeadIn = s.GetReal(CMD_PEDAL_LEAD_IN);
  b.pedalDuration = s.GetReal(CMD_PEDAL_DURATION);
  b.pedalReturn = s.GetReal(CMD_PEDAL_RETURN);
  b.tractionOn = s.GetBool(CMD_TRACTION_ON) ? 1 : 0;
  b.tractionValue = s.GetBool(CMD_TRACTION_VALUE) ? 1 : 0;
  b.brakeSlipOn = s.GetBool(CMD_ABS_ON) ? 1 : 0;
  b.brakeSlipValue = s.GetBool(CMD_ABS_VALUE) ? 1 : 0;
  b.outputOn = s.GetBool(CMD_OUTPUT_ON) ? 1 : 0;
  b.outputDuration = s.GetReal(CMD_OUTPUT_DURATION);
}

// A commands tag's settings, answering the engine's slots.
class SceneCommandTag final : public CommandTag {
 public:
  SceneCommandTag(BaseDocument* doc, const BaseContainer& settings) : doc_(doc), s_(settings) {}

  void Read(CommandBlock& block) const override { ReadBlock(s_, block); }

  bool CurveAt(CommandCurve curve, double x, double& y) const override {
    const SplineData* c = CurveOf(s_, CurveParamOf(curve));
    if (!c) return false;
    y = c->GetPoint(x).y;
    return true;
  }

  bool AimTarget(double time, Vec3& place) override {
    BaseObject* target = s_.GetObjectLink(CMD_AIM_TARGET, doc_);
    if (!target) return false;
    if (s_.GetBool(CMD_AIM_ANIMATE_TARGET)) {
      BaseList2D* animated = target->GetTag(kTargetMotionTagType);
      if (!animated) animated = target;
      hostanim::AnimateNode(animated, BaseTime(time));
    }
    place = VectorToHostOrder(target->GetMg().off);
    return true;
  }

 private:
  BaseDocument* doc_;
  const BaseContainer& s_;
};

CommandCar ViewOf(CarState& car) {
  return CommandCar{.wheels = {VectorToHostOrder(car.wheelMatrices[0].off), VectorToHostOrder(car.wheelMatrices[1].off),
                               VectorToHostOrder(car.wheelMatrices[2].off), VectorToHostOrder(car.wheelMatrices[3].off)},
                    .sideAxis = VectorToHostOrder(car.bodyMatrix.v1),
                    .forwardAxis = VectorToHostOrder(car.bodyMatrix.v3),
                    .maxSteerAngle = car.autopilot.maxSteerAngle,
                    .speed = car.speed,
                    .engagedGear = car.engagedGear,
                    .settings = car.settings,
                    .inputs = car,
                    .tractionControl = car.dynamics.tractionControl,
                    .brakeSlipControl = car.dynamics.brakeSlipControl,
                    .output = car.commandOutput};
}

void StopSlot(CommandState& cs, int32 index) {
  StopCommandSlot(cs.slots[index]);
  cs.slotSettings[index] = nullptr;
}

// False when a switched-on block finds no curve: the blocks before it stay
// started, the later ones do not start, and the refresh ends.
bool ApplyMarker(BaseObject* marker, const BaseContainer& s, const CommandBlock& block, CarState& car) {
  CommandState& cs = car.commands;
  cs.lastMarker = marker;
  cs.markerName = marker->GetName();
  cs.markerLabel = MakePanelLabel(cs.markerName);
  const SceneCommandTag tag(nullptr, s);
  CommandCar view = ViewOf(car);
  int32 changes[kCommandSlots] = {};
  const bool started = StartCommands(block, tag, cs, view, changes);
  for (int32 i = 0; i < kCommandSlots; ++i) {
    if (changes[i] == kSlotStarted) cs.slotSettings[i] = &s;
    if (changes[i] == kSlotStopped) cs.slotSettings[i] = nullptr;
  }
  return started;
}

// False when the refresh must end without advancing the slots.
bool SearchMarkers(BaseObject* group, CarState& car) {
  CommandState& cs = car.commands;
  const Vec3 pos = VectorToHostOrder(car.bodyMatrix.off);
  bool matched = false;
  for (BaseObject* child = group->GetDown(); child; child = child->GetNext()) {
    if (child->GetEditorMode() == MODE_OFF) continue;
    const double radius = child->GetDataInstance()->GetReal(kMarkerRadiusParam);
    if (!MarkerReaches(VectorToHostOrder(child->GetMg().off), radius, pos)) continue;
    const BaseContainer* s = CommandsOf(child);
    if (!s) continue;
    CommandBlock block;
    ReadBlock(*s, block);
    if (!CommandConditionMet(block.condition, car.speed, car.engagedGear)) continue;
    matched = true;
    // Overlapping markers take turns: the one applied last yields.
    if (child == cs.lastMarker) continue;
    return ApplyMarker(child, *s, block, car);
  }
  if (!matched) cs.lastMarker = nullptr;
  return true;
}

void AdvanceSlot(BaseDocument* doc, int32 index, CarState& car) {
  CommandState& cs = car.commands;
  if (cs.slots[index].mode < 0) return;
  // Slots whose tag left the group were stopped at the start of the advance call.
  if (!cs.slotSettings[index]) {
    StopSlot(cs, index);
    return;
  }
  SceneCommandTag tag(doc, *cs.slotSettings[index]);
  CommandCar view = ViewOf(car);
  if (AdvanceCommandSlot(index, tag, cs, view) == kSlotStopped) cs.slotSettings[index] = nullptr;
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
  for (int32 i = 0; i < kCommandSlots; ++i) StopSlot(cs, i);
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
