// What the Car does for the host's notifications and the link messages:
// bringing scenes of older versions up to date, keeping front and rear
// parameters paired, holding parameters inside their limits, and the wheel-rig
// tag's requests. Car::Message dispatches here.
#pragma once

#include "scene/carstate.h"
#include "host_scene.h"
#include "carsim/link_message.h"

// Car parameters the messages read besides those of car_params.h.
enum : LONG {
  CAR_CLUTCH_WARNED = 5001,  // Bool: the clutch warning was shown once
};

// Texts of the string resource.
enum : LONG {
  IDS_RIG_SPRING = 10032,
  IDS_RIG_SKIDS_GROUP = 10033,
  IDS_CLUTCH_WARNING = 10098,
};

// The version number of a version text: the characters at 7, 9, 10 and 12
// of the text followed by "000", read as a decimal number up to the first
// character that is no digit. "VANTO! 1.70.4" gives 1704, "" gives 0.
LONG CarVersionNumber(const String& text);

// Scene loaded: old layouts and values brought up to the current version.
void MigrateCar(BaseDocument* doc, BaseObject* op, CarState& state);

// Parameter `id` changed: a torque range change rescales the torque curve;
// otherwise, with pairing on (Bool 1001, inverted while the qualifier is
// held), the front/rear partner takes the same value. False when id is not
// a paired parameter or the copy was off.
Bool CopyPairedParameter(BaseContainer& bc, LONG id);
// The partner of a paired front/rear parameter, or 0.
LONG PairedParameter(LONG id);

// Keeps sizes, shift speeds and gear ratios inside their limits and copies
// the ground and route switches into the state.
void ValidateCarParameters(BaseContainer& bc, CarState& state);
// value held in [lo, hi]; when the bounds cross, lo wins.
Real ClampLowerWins(Real value, Real lo, Real hi);

// A spring under a suspension bottom: a sweep (string 10032) lifted by
// 0.375 x the wheel diameter, its "Helix" path (coil radius Real 2065,
// height half the diameter, six turns) in *helix (null when it could not be
// made) and its "Circle" profile. Null when the sweep cannot be made.
BaseObject* BuildSpringSweep(BaseDocument* doc, BaseObject* bottom, const BaseContainer& bc, Real diameter,
                             BaseObject** helix);

// A request of the wheel-rig tag. Out-of-range axles and unknown kinds are
// refused without a change.
void HandleRigCommand(BaseDocument* doc, BaseObject* op, CarState& state, RigCommand& cmd);
