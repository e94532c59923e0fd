#include "sampled_curve.h"

#include <algorithm>

#include "engine_constants.h"
#include "engine_globals.h"

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

namespace {
// Segment index i and fraction f for x; requires count >= 2.
inline void LookUpSegment(const SampledCurve& c, double x, int32& i, double& f) {
  double xc = x;
  if (!(x >= c.x0)) xc = c.x0;  // NaN lands here too
  else if (x > c.xMax) xc = c.xMax;
  const double u = (xc - c.x0) * c.scale;
  const int32 last = c.count - 2;
  // Range-checked before the conversion so that a broken interval (NaN or
  // infinite scale) cannot make the truncation undefined.
  if (!(u >= 0.0)) i = 0;
  else if (u >= static_cast<double>(last)) i = last;
  else i = static_cast<int32>(u);
  f = u - i;
}
}  // namespace

double EvaluateSampledCurveLinear(const SampledCurve& c, double x) {
  if (c.count < 2) return c.count == 1 ? c.values[0] : 0.0;
  int32 i;
  double f;
  LookUpSegment(c, x, i, f);
  SimulationAssert(f >= 0.0 && f < 1.0);
  return c.values[i] + (c.values[i + 1] - c.values[i]) * f;
}

namespace {
struct CatmullRomWeights {
  double w0, w1, w2, w3;
  explicit CatmullRomWeights(double f) {
    const double f2 = f * f, f3 = f2 * f;
    w0 = 2.0 * f2 - f3 - f;
    w1 = 3.0 * f3 - 5.0 * f2 + 2.0;
    w2 = 4.0 * f2 - 3.0 * f3 + f;
    w3 = f3 - f2;
  }
};

// Segment i of the curve with the missing end neighbours extrapolated.
inline double CatmullRom(const SampledCurve& c, int32 i, const CatmullRomWeights& w) {
  const double p1 = c.values[i], p2 = c.values[i + 1];
  const double p0 = i == 0 ? 2.0 * p1 - p2 : c.values[i - 1];
  const double p3 = i == c.count - 2 ? 2.0 * p2 - p1 : c.values[i + 2];
  return (p0 * w.w0 + p1 * w.w1 + p2 * w.w2 + p3 * w.w3) * 0.5;
}
}  // namespace

double EvaluateSampledCurve(const SampledCurve& c, double x) {
  if (c.count < 2) return c.count == 1 ? c.values[0] : 0.0;
  int32 i;
  double f;
  LookUpSegment(c, x, i, f);
  return CatmullRom(c, i, CatmullRomWeights(f));
}

void EvaluateSampledCurves3(const SampledCurve& a, const SampledCurve& b, const SampledCurve& c, double x,
                            double out[3]) {
  const bool shared = a.count >= 2 && b.count == a.count && c.count == a.count && b.x0 == a.x0 &&
                      c.x0 == a.x0 && b.xMax == a.xMax && c.xMax == a.xMax && b.scale == a.scale &&
                      c.scale == a.scale;
  if (!shared) {
    out[0] = EvaluateSampledCurve(a, x);
    out[1] = EvaluateSampledCurve(b, x);
    out[2] = EvaluateSampledCurve(c, x);
    return;
  }
  int32 i;
  double f;
  LookUpSegment(a, x, i, f);
  const CatmullRomWeights w(f);
  out[0] = CatmullRom(a, i, w);
  out[1] = CatmullRom(b, i, w);
  out[2] = CatmullRom(c, i, w);
}

int32 CopySampledCurve(SampledCurve& dst, const SampledCurve& src) {
  dst.count = src.count;
  dst.xMax = src.xMax;
  dst.x0 = src.x0;
  dst.scale = src.scale;
  for (int32 i = 0; i < src.count && i < kMaxCurveSamples; ++i) dst.values[i] = src.values[i];
  return kStatusOk;
}
