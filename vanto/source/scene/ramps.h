// The car's five input channels (steer, throttle, brake, handbrake, reverse
// throttle) as timed ramps, the setters that start them, the per-step
// advance, and the direct-input path from the Car's parameters.
//
// Every source of input (command markers, the autopilot, the crash reaction,
// direct input) starts ramps through the setters below; the run hands the
// channels' `current` values to the vehicle model and advances the ramps
// once after every model step.
//
// Priority: a setter is ignored when the stored level of its group is above
// the level it is given, and wins at an equal level. The steer channel has
// its own level (`steerRampLevel`); the four pedal channels share
// `pedalRampLevel`. Levels drop to 0 only in the advance, once their ramps
// have ended.
#pragma once

#include "carstate.h"

class BaseContainer;

// Level of the direct-input parameters.
inline constexpr double kDirectInputLevel = 1.0;
// Time over which a setter releases the opposing pedals, s.
inline constexpr double kPedalReleaseTime = 0.2;

// Direct-input bits (Car LONG 9900), handled in the order 16, 32, 2|4, 8, 1.
enum DirectInputBit : int32 {
  kDirectSteer = 1,
  kDirectThrottle = 2,
  kDirectBrake = 4,
  kDirectHandbrake = 8,
  kDirectDirection = 16,
  kDirectSlipControl = 32,
};

// Direct-input parameters of the Car.
enum DirectInputParam : LONG {
  kParamDirectBits = 9900,
  kParamDirectSteer = 9901,      // Real, -1..1
  kParamDirectThrottle = 9902,   // Real, 0..1
  kParamDirectBrake = 9903,      // Real, 0..1
  kParamDirectHandbrake = 9904,  // Real, 0..1
  kParamDirectDirection = 9905,  // LONG, below 0 reverse; 0 keeps the direction
  kParamDirectSlip = 9906,       // LONG, bit 0 traction control, bit 1 brake-slip control
};

// Setters: target value, duration in s, priority level. A duration that is
// not a positive finite number is taken as one step. The steer ramp's rate is
// limited to maxSteerSpeed (steer units per second), stretching the
// duration; a limit that is 0 or not finite does not limit.
void RampSteering(double target, double duration, double level, CarState& car);
// Throttle: also drops the reverse channel's current value to 0 at once and
// releases brake and handbrake over 0.2 s.
void RampThrottle(double target, double duration, double level, CarState& car);
// Reverse throttle: also drops the throttle's current value to 0 at once
// and releases brake and handbrake over 0.2 s.
void RampReverse(double target, double duration, double level, CarState& car);
// Brake and handbrake: also release throttle and reverse over 0.2 s.
void RampBrake(double target, double duration, double level, CarState& car);
void RampHandbrake(double target, double duration, double level, CarState& car);
// Throttle towards 0 over the duration, nothing else.
void ReleaseThrottle(double duration, double level, CarState& car);

// One step of all five ramps (after the model's step). While the car's
// crash flag is set the channels only fade by 0.9 a step.
void AdvanceControlRamps(CarState& car);

// The direct-input parameters of the Car's container, as selected by bits,
// each set over the input period at level 1.0.
void ApplyDirectInputs(int32 bits, const BaseContainer& bc, CarState& car);
