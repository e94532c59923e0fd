// Command blocks as the engine plays them: the settings of one marker's
// blocks (steering curve, pedal curve, aiming at a target, the two
// wheel-slip switches, an output curve), the three slots a car plays them
// in, and the interface through which a playing slot asks its marker for
// curves and for the aim target. The scene reads the markers and answers;
// the engine never learns what a marker is. Times in s; places in host order
// (x, y, z with y up), scene units.
#pragma once

#include "engine/vmath.h"

// Slot modes.
enum CommandMode : int32 {
  kCommandIdle = -1,
  kCommandSteerCurve = 0,
  kCommandThrottleCurve = 1,
  kCommandBrakeCurve = 2,
  kCommandHandbrakeCurve = 3,
  kCommandReverseCurve = 4,
  kCommandAimForward = 17,
  kCommandAimBackward = 20,
  kCommandOutputCurve = 256,
};

enum CommandSlotIndex : int32 { kSlotSteer = 0, kSlotPedal = 1, kSlotOutput = 2 };
inline constexpr int32 kCommandSlots = 3;

// Below this speed (m/s) a car counts as standing (condition 1).
inline constexpr double kStandingSpeed = 0.25;

// The settings of one marker's blocks, as its tag holds them at the moment
// they are read.
struct CommandBlock {
  int32 condition = 0;  // 0 always, 1 standing, 2 not reversing, 3 not in a forward gear

  int32 aimOn = 0;
  int32 aimParts = 0;      // bits: 2 steering, 1 pedals
  int32 aimDirection = 0;  // 1 forward, 4 backward
  double aimDuration = 0.0;
  double aimStopDistance = 0.0;   // scene units
  double aimStopBrake = 0.0;      // fraction of full brake
  double aimCoastDistance = 0.0;  // scene units
  double aimPedal = 0.0;          // fraction
  int32 aimProportional = 0;

  int32 steerOn = 0;
  double steerLeadIn = 0.0;
  double steerDuration = 0.0;  // x range of the steering curve
  double steerReturn = 0.0;

  int32 pedalOn = 0;
  int32 pedalChannel = 0;  // 1 throttle, 2 brake, 3 handbrake, 4 reverse
  double pedalLeadIn = 0.0;
  double pedalDuration = 0.0;  // x range of the pedal curve
  double pedalReturn = 0.0;

  int32 tractionOn = 0;
  int32 tractionValue = 0;
  int32 brakeSlipOn = 0;
  int32 brakeSlipValue = 0;

  int32 outputOn = 0;
  double outputDuration = 0.0;  // x range of the output curve
};

// One slot: a lead-in ramp from startTime to curveStart, the curve (or aim)
// until curveEnd, and a return ramp to startValue until returnEnd. A time
// that has been used is minus infinity.
struct CommandSlot {
  int32 mode = kCommandIdle;  // CommandMode
  double startValue = 0.0;    // channel value when applied; returned to at the end
  double firstValue = 0.0;    // the value the command ramps to first
  double startTime = 0.0;     // s
  double curveStart = 0.0;    // s
  double curveEnd = 0.0;      // s
  double returnEnd = 0.0;     // s
};

// The commands a car is playing.
struct CommandTrackState {
  double commandLevel = 0.0;  // priority of all command ramps; NaN until read
  CommandSlot slots[kCommandSlots];  // steering, pedals, output
};

// The curves of a block: y in percent for steering and pedals, unscaled for
// the output.
enum class CommandCurve : int32 { kSteer, kPedal, kOutput };

// A marker's tag as the slots it started ask it while they play.
class CommandTag {
 public:
  virtual ~CommandTag() = default;
  // The block's settings as they are now.
  virtual void Read(CommandBlock& block) const = 0;
  // The curve's y at x; false when the tag holds no such curve.
  virtual bool CurveAt(CommandCurve curve, double x, double& y) const = 0;
  // The aim target's place once its animation has played to `time` (s since
  // the aim began); false when there is no target.
  virtual bool AimTarget(double time, Vec3& place) = 0;
};
