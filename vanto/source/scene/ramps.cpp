#include "ramps.h"

#include <cmath>

#include "host_container.h"

namespace {

// Pedal ramps whose time left is at or below this count as ended, so that
// rounding in the countdown cannot add a step.
constexpr double kPedalRemainingEpsilon = 0.0001;
constexpr double kCrashFade = 0.9;

// A zero, negative or non-finite duration would give an infinite or NaN rate
// (or a ramp that never ends); such a ramp takes one step instead.
double UsableDuration(double duration, double dt) {
  return duration > 0.0 && std::isfinite(duration) ? duration : dt;
}

// Both channel ranges contain 0, which is also what a NaN becomes: the model
// must never see a NaN input.
double ClampInput(double v, double lo, double hi) {
  if (std::isnan(v)) return 0.0;
  return v < lo ? lo : (v > hi ? hi : v);
}

void SetChannel(ControlRamp& r, double target, double duration, double dt) {
  const double d = UsableDuration(duration, dt);
  r.target = target;
  r.remaining = d;
  r.ratePerStep = (target - r.current) * (dt / d);
}

void Release(ControlRamp& r, double dt) {
  r.target = 0.0;
  r.remaining = kPedalReleaseTime;
  r.ratePerStep = -(dt / kPedalReleaseTime) * r.current;
}

}  // namespace

void RampSteering(double target, double duration, double level, CarState& car) {
  if (car.steerRampLevel > level) return;
  const double dt = car.settings.stepDt;
  ControlRamp& r = car.ramps[kRampSteer];
  double d = UsableDuration(duration, dt);
  double rate = (dt / d) * (target - r.current);
  // A steering rate of 0 (a zero rate parameter) or an infinite/NaN one (a
  // zero lock) would freeze the ramp for ever; it is taken as no limit. A
  // negative rate limits by its size.
  const double m = std::fabs(dt * car.maxSteerSpeed);
  if (m > 0.0 && std::isfinite(m) && std::fabs(rate) > m) {
    rate = rate > 0.0 ? m : -m;
    d = std::fabs((dt / m) * (target - r.current));
  }
  r.target = target;
  r.remaining = d;
  r.ratePerStep = rate;
  car.steerRampLevel = level;
}

void RampThrottle(double target, double duration, double level, CarState& car) {
  if (car.pedalRampLevel > level) return;
  const double dt = car.settings.stepDt;
  SetChannel(car.ramps[kRampThrottle], target, duration, dt);
  car.ramps[kRampReverse].current = 0.0;
  Release(car.ramps[kRampBrake], dt);
  Release(car.ramps[kRampHandbrake], dt);
  car.pedalRampLevel = level;
}

void RampReverse(double target, double duration, double level, CarState& car) {
  if (car.pedalRampLevel > level) return;
  const double dt = car.settings.stepDt;
  SetChannel(car.ramps[kRampReverse], target, duration, dt);
  car.ramps[kRampThrottle].current = 0.0;
  Release(car.ramps[kRampBrake], dt);
  Release(car.ramps[kRampHandbrake], dt);
  car.pedalRampLevel = level;
}

namespace {

void RampBrakeChannel(int32 channel, double target, double duration, double level, CarState& car) {
  if (car.pedalRampLevel > level) return;
  const double dt = car.settings.stepDt;
  SetChannel(car.ramps[channel], target, duration, dt);
  Release(car.ramps[kRampThrottle], dt);
  Release(car.ramps[kRampReverse], dt);
  car.pedalRampLevel = level;
}

}  // namespace

void RampBrake(double target, double duration, double level, CarState& car) {
  RampBrakeChannel(kRampBrake, target, duration, level, car);
}

void RampHandbrake(double target, double duration, double level, CarState& car) {
  RampBrakeChannel(kRampHandbrake, target, duration, level, car);
}

void ReleaseThrottle(double duration, double level, CarState& car) {
  if (car.pedalRampLevel > level) return;
  SetChannel(car.ramps[kRampThrottle], 0.0, duration, car.settings.stepDt);
  car.pedalRampLevel = level;
}

void AdvanceControlRamps(CarState& car) {
  if (car.dynamics.crashFlag != 0) {
    // The car holds itself after a crash; the inputs fade and the ramps
    // resume where they were once the flag is cleared.
    for (ControlRamp& r : car.ramps) r.current *= kCrashFade;
    return;
  }
  const double dt = car.settings.stepDt;

  ControlRamp& steer = car.ramps[kRampSteer];
  if (steer.remaining > 0.0) {
    steer.remaining -= dt;
    steer.current = ClampInput(steer.current + steer.ratePerStep, -1.0, 1.0);
  } else {
    car.steerRampLevel = 0.0;
  }

  bool active = false;
  for (int32 c : {kRampThrottle, kRampBrake, kRampHandbrake, kRampReverse}) {
    ControlRamp& r = car.ramps[c];
    if (!(r.remaining > kPedalRemainingEpsilon)) continue;
    r.remaining -= dt;
    r.current = ClampInput(r.current + r.ratePerStep, 0.0, 1.0);
    if (r.current > 0.0 || r.target > 0.0) active = true;
  }
  // A pedal held at 0 (the crash reaction) keeps its level for the hold.
  if (car.pedalHoldRemaining > kPedalRemainingEpsilon) {
    car.pedalHoldRemaining -= dt;
    active = true;
  }
  if (!active) car.pedalRampLevel = 0.0;
}

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
