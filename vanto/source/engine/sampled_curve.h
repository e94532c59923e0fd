// A one-dimensional lookup table of up to 20 evenly spaced samples, read by
// linear or Catmull-Rom interpolation. A plain value type; owns no memory.
#pragma once

#include "engine/elementary.h"
#include "engine/vmath.h"

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
int32 CopySampledCurve(SampledCurve& dst, const SampledCurve& src);

// The Catmull-Rom evaluation is inline: the tyre model reads three curves
// per wheel in every force pass.
namespace sampled_curve_detail {
// Segment index i and fraction f for x, given the curve's start x0, last
// accepted x xMax, scale and last segment index; T is double, or Double4
// for four curves at once (with Index4 indices).
template <class T, class Index>
VANTO_LANE_INLINE void LookUpSegmentOf(const T& x0, const T& xMax, const T& scale, const T& last, const T& x, Index& i,
                                       T& f) {
  using vanto::Select;
  const T xc = Select(x >= x0, Select(x > xMax, xMax, x), x0);  // NaN gets x0
  const T u = (xc - x0) * scale;
  // Clamped before the conversion so that a broken interval (NaN or
  // infinite scale) cannot make the truncation undefined.
  i = vanto::ToIndex(Select(u >= 0.0, Select(u >= last, last, u), vanto::Broadcast<T>(0.0)));
  f = u - vanto::FromIndex(i);
}

// The same for one curve; requires count >= 2.
inline void LookUpSegment(const SampledCurve& c, double x, int32& i, double& f) {
  LookUpSegmentOf(c.x0, c.xMax, c.scale, static_cast<double>(c.count - 2), x, i, f);
}

// The weights of the four segment points at fraction f; T is double, or a
// vector of doubles for several curves at once.
template <class T>
struct CatmullRomWeightsOf {
  T w0, w1, w2, w3;
  explicit CatmullRomWeightsOf(const T& f) {
    const T f2 = f * f, f3 = f2 * f;
    w0 = 2.0 * f2 - f3 - f;
    w1 = 3.0 * f3 - 5.0 * f2 + 2.0;
    w2 = 4.0 * f2 - 3.0 * f3 + f;
    w3 = f3 - f2;
  }
};
using CatmullRomWeights = CatmullRomWeightsOf<double>;

// The weighted sum of the four segment points p.
template <class T>
VANTO_LANE_INLINE T Weigh(const T (&p)[4], const CatmullRomWeightsOf<T>& w) {
  return (p[0] * w.w0 + p[1] * w.w1 + p[2] * w.w2 + p[3] * w.w3) * 0.5;
}

// The four points of segment i, the missing end neighbours extrapolated.
inline void SegmentPoints(const SampledCurve& c, int32 i, double& p0, double& p1, double& p2, double& p3) {
  p1 = c.values[i], p2 = c.values[i + 1];
  p0 = i == 0 ? 2.0 * p1 - p2 : c.values[i - 1];
  p3 = i == c.count - 2 ? 2.0 * p2 - p1 : c.values[i + 2];
}

inline double CatmullRom(const SampledCurve& c, int32 i, const CatmullRomWeights& w) {
  double p0, p1, p2, p3;
  SegmentPoints(c, i, p0, p1, p2, p3);
  return (p0 * w.w0 + p1 * w.w1 + p2 * w.w2 + p3 * w.w3) * 0.5;
}
}  // namespace sampled_curve_detail

inline double EvaluateSampledCurve(const SampledCurve& c, double x) {
  if (c.count < 2) return c.count == 1 ? c.values[0] : 0.0;
  int32 i;
  double f;
  sampled_curve_detail::LookUpSegment(c, x, i, f);
  return sampled_curve_detail::CatmullRom(c, i, sampled_curve_detail::CatmullRomWeights(f));
}

// True when three curves share their sampling, so that one segment lookup
// serves all three.
inline bool ShareSampling(const SampledCurve& a, const SampledCurve& b, const SampledCurve& c) {
  return a.count >= 2 && a.count <= kMaxCurveSamples && b.count == a.count && c.count == a.count && b.x0 == a.x0 && c.x0 == a.x0 &&
         b.xMax == a.xMax && c.xMax == a.xMax && b.scale == a.scale && c.scale == a.scale;
}

// Dot product in the host ground plane (y, the height, left out).
inline double DotXZ(const Vec3& a, const Vec3& b) { return a.x * b.x + a.z * b.z; }
