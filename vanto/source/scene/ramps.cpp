#include "scene/ramps.h"

#include "host_container.h"

void ApplyDirectInputs(int32 bits, const BaseContainer& bc, CarState& car) {
  const double period = car.settings.inputPeriod;
  const double level = kDirectInputLevel;

  if (bits & kDirectDirection) {
    const LONG direction = bc.GetLong(kParamDirectDirection);
    if (direction != 0) car.directInputDirection = direction;
  }
  if (bits & kDirectSlipControl) {
    const LONG slip = bc.GetLong(kParamDirectSlip);
    car.dynamics.tractionControl = slip & 1;
    car.dynamics.brakeSlipControl = (slip >> 1) & 1;
  }
  if (bits & (kDirectThrottle | kDirectBrake)) {
    const double throttle = bc.GetReal(kParamDirectThrottle);
    const double brake = bc.GetReal(kParamDirectBrake);
    if (brake > throttle)
      RampBrake(brake, period, level, car);
    else if (car.directInputDirection < 0)
      RampReverse(throttle, period, level, car);
    else
      RampThrottle(throttle, period, level, car);
  }
  if (bits & kDirectHandbrake) {
    const double handbrake = bc.GetReal(kParamDirectHandbrake);
    if (handbrake > 0.1) RampHandbrake(handbrake, period, level, car);
  }
  if (bits & kDirectSteer) RampSteering(bc.GetReal(kParamDirectSteer), period, level, car);
}
