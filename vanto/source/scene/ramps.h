// The car's input ramps (engine/control_ramps.h) driven with the car's own
// step, and the direct-input path from the Car's parameters.
//
// Every source of input (command markers, the autopilot, the crash reaction,
// direct input) starts ramps through the setters below; the run hands the
// channels' `current` values to the vehicle model and advances the ramps
// once after every model step.
#pragma once

#include "scene/carstate.h"
#include "engine/control_ramps.h"

class BaseContainer;

// Level of the direct-input parameters.
inline constexpr double kDirectInputLevel = 1.0;

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

// The setters and the advance of control_ramps.h at the car's step.
inline void RampSteering(double target, double duration, double level, CarState& car) {
  RampSteering(target, duration, level, car.settings.stepDt, car);
}
inline void RampThrottle(double target, double duration, double level, CarState& car) {
  RampThrottle(target, duration, level, car.settings.stepDt, car);
}
inline void RampReverse(double target, double duration, double level, CarState& car) {
  RampReverse(target, duration, level, car.settings.stepDt, car);
}
inline void RampBrake(double target, double duration, double level, CarState& car) {
  RampBrake(target, duration, level, car.settings.stepDt, car);
}
inline void RampHandbrake(double target, double duration, double level, CarState& car) {
  RampHandbrake(target, duration, level, car.settings.stepDt, car);
}
inline void ReleaseThrottle(double duration, double level, CarState& car) {
  ReleaseThrottle(duration, level, car.settings.stepDt, car);
}
// While the car's crash flag is set the channels only fade.
inline void AdvanceControlRamps(CarState& car) {
  AdvanceControlRamps(car, car.settings.stepDt, car.dynamics.crashFlag != 0);
}

// The direct-input parameters of the Car's container, as selected by bits,
// each set over the input period at level 1.0.
void ApplyDirectInputs(int32 bits, const BaseContainer& bc, CarState& car);

// The direct-input parameters as read from the container. The run reads
// them once per advance call, as nothing edits the scene while the cars
// step, rather than from the container at every input refresh.
struct DirectInputValues {
  LONG direction = 0, slip = 0;
  double throttle = 0.0, brake = 0.0, handbrake = 0.0, steer = 0.0;
};
// Reads what `bits` selects; the rest stays 0.
DirectInputValues ReadDirectInputs(int32 bits, const BaseContainer& bc);
// ApplyDirectInputs on values read before.
void ApplyDirectInputs(int32 bits, const DirectInputValues& v, CarState& car);
