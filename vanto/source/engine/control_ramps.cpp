#include "engine/control_ramps.h"

#include <cmath>
#include <initializer_list>

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

void RampSteering(double target, double duration, double level, double dt, InputRamps& in) {
  if (in.steerRampLevel > level) return;
  ControlRamp& r = in.ramps[kRampSteer];
  double d = UsableDuration(duration, dt);
  double rate = (dt / d) * (target - r.current);
  // A steering rate of 0 (a zero rate parameter) or an infinite/NaN one (a
  // zero lock) would freeze the ramp for ever; it is taken as no limit. A
  // negative rate limits by its size.
  const double m = std::fabs(dt * in.maxSteerSpeed);
  if (m > 0.0 && std::isfinite(m) && std::fabs(rate) > m) {
    rate = rate > 0.0 ? m : -m;
    d = std::fabs((dt / m) * (target - r.current));
  }
  r.target = target;
  r.remaining = d;
  r.ratePerStep = rate;
  in.steerRampLevel = level;
}

void RampThrottle(double target, double duration, double level, double dt, InputRamps& in) {
  if (in.pedalRampLevel > level) return;
  SetChannel(in.ramps[kRampThrottle], target, duration, dt);
  in.ramps[kRampReverse].current = 0.0;
  Release(in.ramps[kRampBrake], dt);
  Release(in.ramps[kRampHandbrake], dt);
  in.pedalRampLevel = level;
}

void RampReverse(double target, double duration, double level, double dt, InputRamps& in) {
  if (in.pedalRampLevel > level) return;
  SetChannel(in.ramps[kRampReverse], target, duration, dt);
  in.ramps[kRampThrottle].current = 0.0;
  Release(in.ramps[kRampBrake], dt);
  Release(in.ramps[kRampHandbrake], dt);
  in.pedalRampLevel = level;
}

namespace {

void RampBrakeChannel(int32 channel, double target, double duration, double level, double dt, InputRamps& in) {
  if (in.pedalRampLevel > level) return;
  SetChannel(in.ramps[channel], target, duration, dt);
  Release(in.ramps[kRampThrottle], dt);
  Release(in.ramps[kRampReverse], dt);
  in.pedalRampLevel = level;
}

}  // namespace

void RampBrake(double target, double duration, double level, double dt, InputRamps& in) {
  RampBrakeChannel(kRampBrake, target, duration, level, dt, in);
}

void RampHandbrake(double target, double duration, double level, double dt, InputRamps& in) {
  RampBrakeChannel(kRampHandbrake, target, duration, level, dt, in);
}

void ReleaseThrottle(double duration, double level, double dt, InputRamps& in) {
  if (in.pedalRampLevel > level) return;
  SetChannel(in.ramps[kRampThrottle], 0.0, duration, dt);
  in.pedalRampLevel = level;
}

void AdvanceControlRamps(InputRamps& in, double dt, bool crashed) {
  if (crashed) {
    // The car holds itself after a crash; the inputs fade and the ramps
    // resume where they were once the flag is cleared.
    for (ControlRamp& r : in.ramps) r.current *= kCrashFade;
    return;
  }

  ControlRamp& steer = in.ramps[kRampSteer];
  if (steer.remaining > 0.0) {
    steer.remaining -= dt;
    steer.current = ClampInput(steer.current + steer.ratePerStep, -1.0, 1.0);
  } else {
    in.steerRampLevel = 0.0;
  }

  bool active = false;
  for (int32 c : {kRampThrottle, kRampBrake, kRampHandbrake, kRampReverse}) {
    ControlRamp& r = in.ramps[c];
    if (!(r.remaining > kPedalRemainingEpsilon)) continue;
    r.remaining -= dt;
    r.current = ClampInput(r.current + r.ratePerStep, 0.0, 1.0);
    if (r.current > 0.0 || r.target > 0.0) active = true;
  }
  // A pedal held at 0 (the crash reaction) keeps its level for the hold.
  if (in.pedalHoldRemaining > kPedalRemainingEpsilon) {
    in.pedalHoldRemaining -= dt;
    active = true;
  }
  if (!active) in.pedalRampLevel = 0.0;
}
