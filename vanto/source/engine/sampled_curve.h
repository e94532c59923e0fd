// A one-dimensional lookup table of up to 20 evenly spaced samples, read by
// linear or Catmull-Rom interpolation. A plain value type; owns no memory.
#pragma once

#include "vmath.h"

inline constexpr int32 kMaxCurveSamples = 20;

struct SampledCurve {
  int32 count = 0;                      // valid samples, 0..20
  double values[kMaxCurveSamples] = {};  // sample i at x = x0 + i / scale
  double x0 = 0.0;                      // start of the interval
  double xMax = 0.0;                    // last accepted x: interval end - 0.001f
  double scale = 0.0;                   // samples per unit of x
};

inline void ClearSampledCurve(SampledCurve& c) { c.count = 0; }
// Keeps the first min(n, 20) values over [x0, x1]; fewer than 3 samples or a
// non-rising interval are reported by SimulationAssert. Always returns 0.
int32 BuildSampledCurve(SampledCurve& c, int32 n, const double* values, double x0, double x1);
double EvaluateSampledCurveLinear(const SampledCurve& c, double x);
double EvaluateSampledCurve(const SampledCurve& c, double x);
// Catmull-Rom values of three curves at one x, sharing the segment lookup
// when the curves share their sampling (as a wheel's tyre profiles do).
void EvaluateSampledCurves3(const SampledCurve& a, const SampledCurve& b, const SampledCurve& c, double x,
                            double out[3]);
int32 CopySampledCurve(SampledCurve& dst, const SampledCurve& src);

// Dot product in the host ground plane (y, the height, left out).
inline double DotXZ(const Vec3& a, const Vec3& b) { return a.x * b.x + a.z * b.z; }
