#include "engine/sampled_curve.h"

#include <algorithm>

#include "engine/engine_constants.h"
#include "engine/engine_globals.h"

int32 BuildSampledCurve(SampledCurve& c, int32 n, const double* values, double x0, double x1) {
  SimulationAssert(n >= 3);
  c.count = std::clamp<int32>(n, 0, kMaxCurveSamples);
  if (!values) c.count = 0;
  for (int32 i = 0; i < c.count; ++i) c.values[i] = values[i];
  SimulationAssert(x1 > x0);
  c.x0 = x0;
  c.xMax = x1 - vanto::kFloatMilli;
  c.scale = (c.count - 1) / (x1 - x0);
  return kStatusOk;
}

double EvaluateSampledCurveLinear(const SampledCurve& c, double x) {
  if (c.count < 2) return c.count == 1 ? c.values[0] : 0.0;
  int32 i;
  double f;
  sampled_curve_detail::LookUpSegment(c, x, i, f);
  SimulationAssert(f >= 0.0 && f < 1.0);
  return c.values[i] + (c.values[i + 1] - c.values[i]) * f;
}

int32 CopySampledCurve(SampledCurve& dst, const SampledCurve& src) {
  dst.count = src.count;
  dst.xMax = src.xMax;
  dst.x0 = src.x0;
  dst.scale = src.scale;
  for (int32 i = 0; i < src.count && i < kMaxCurveSamples; ++i) dst.values[i] = src.values[i];
  return kStatusOk;
}
