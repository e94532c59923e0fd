#include "scene/ramps.h"

#include "host_container.h"

DirectInputValues ReadDirectInputs(int32 bits, const BaseContainer& bc) {
  DirectInputValues v;
  if (bits & kDirectDirection) v.direction = bc.GetLong(kParamDirectDirection);
  if (bits & kDirectSlipControl) v.slip = bc.GetLong(kParamDirectSlip);
  if (bits & (kDirectThrottle | kDirectBrake)) {
    v.throttle = bc.GetReal(kParamDirectThrottle);
    v.brake = bc.GetReal(kParamDirectBrake);
  }
  if (bits & kDirectHandbrake) v.handbrake = bc.GetReal(kParamDirectHandbrake);
  if (bits & kDirectSteer) v.steer = bc.GetReal(kParamDirectSteer);
  return v;
}

void ApplyDirectInputs(int32 bits, const DirectInputValues& v, CarState& car) {
  const double period = car.settings.inputPeriod;
  const double level = kDirectInputLevel;

  if (bits & kDirectDirection) {
    if (v.direction != 0) car.directInputDirection = v.direction;
  }
  if (bits & kDirectSlipControl) {
    car.dynamics.tractionControl = v.slip & 1;
    car.dynamics.brakeSlipControl = (v.slip >> 1) & 1;
  }
  if (bits & (kDirectThrottle | kDirectBrake)) {
    if (v.brake > v.throttle)
      RampBrake(v.brake, period, level, car);
    else if (car.directInputDirection < 0)
      RampReverse(v.throttle, period, level, car);
    else
      RampThrottle(v.throttle, period, level, car);
  }
  if (bits & kDirectHandbrake) {
    if (v.handbrake > 0.1) RampHandbrake(v.handbrake, period, level, car);
  }
  if (bits & kDirectSteer) RampSteering(v.steer, period, level, car);
}

void ApplyDirectInputs(int32 bits, const BaseContainer& bc, CarState& car) {
  ApplyDirectInputs(bits, ReadDirectInputs(bits, bc), car);
}
