// The car's five input channels (steer, throttle, brake, handbrake, reverse
// throttle) as timed ramps: the record, the setters that start them and the
// per-step advance. Plain numbers only; where the targets come from (command
// markers, the autopilot, the crash reaction, direct input) is the caller's.
//
// Priority: a setter is ignored when the stored level of its group is above
// the level it is given, and wins at an equal level. The steer channel has
// its own level (`steerRampLevel`); the four pedal channels share
// `pedalRampLevel`. Levels drop to 0 only in the advance, once their ramps
// have ended. Times in s; `dt` is the model's step.
#pragma once

#include "engine/vmath.h"

// One input channel moving toward a target.
struct ControlRamp {
  double current = 0.0;      // the value handed to the vehicle model
  double target = 0.0;       // the value the ramp runs to
  double ratePerStep = 0.0;  // added to current each step while the ramp runs
  double remaining = 0.0;    // s left of the ramp
};

enum RampChannel : int32 { kRampSteer = 0, kRampThrottle, kRampBrake, kRampHandbrake, kRampReverse, kRampCount };

// Time over which a setter releases the opposing pedals, s.
inline constexpr double kPedalReleaseTime = 0.2;

// The channels and their priorities.
struct InputRamps {
  ControlRamp ramps[kRampCount];  // steer, throttle, brake, handbrake, reverse throttle
  double pedalRampLevel = 0.0;    // priority shared by channels 1..4
  double pedalHoldRemaining = 0.0;  // s the level stays although no pedal moves (crash hold at 0)
  double steerRampLevel = 0.0;    // priority of channel 0
  double maxSteerSpeed = 0.0;     // steer units per second
};

// Setters: target value, duration in s, priority level. A duration that is
// not a positive finite number is taken as one step. The steer ramp's rate is
// limited to maxSteerSpeed (steer units per second), stretching the
// duration; a limit that is 0 or not finite does not limit.
void RampSteering(double target, double duration, double level, double dt, InputRamps& in);
// Throttle: also drops the reverse channel's current value to 0 at once and
// releases brake and handbrake over 0.2 s.
void RampThrottle(double target, double duration, double level, double dt, InputRamps& in);
// Reverse throttle: also drops the throttle's current value to 0 at once
// and releases brake and handbrake over 0.2 s.
void RampReverse(double target, double duration, double level, double dt, InputRamps& in);
// Brake and handbrake: also release throttle and reverse over 0.2 s.
void RampBrake(double target, double duration, double level, double dt, InputRamps& in);
void RampHandbrake(double target, double duration, double level, double dt, InputRamps& in);
// Throttle towards 0 over the duration, nothing else.
void ReleaseThrottle(double duration, double level, double dt, InputRamps& in);

// One step of all five ramps (after the model's step). While `crashed` the
// channels only fade by 0.9 a step.
void AdvanceControlRamps(InputRamps& in, double dt, bool crashed);
