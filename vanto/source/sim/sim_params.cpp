#include "sim/sim_params.h"

#include <cmath>

BaseTime QuantizeToFrames(const BaseTime& t, Real fps) {
  const Real f = std::floor(fps) >= 1.0 ? std::floor(fps) : 1.0;
  const Real den = std::floor(t.GetDenominator());
  Real frames;
  if (den >= 1.0)
    frames = std::floor(std::floor(t.GetNumerator() * f) / den);
  else
    frames = std::floor(t.Get() * f);  // a zero denominator reads as 0 s
  return BaseTime(frames, f);
}
