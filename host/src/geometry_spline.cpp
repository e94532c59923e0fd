#include <algorithm>
#include <cmath>

#include "geometry_internal.h"

// ---------------------------------------------------------------- spans

std::vector<geo::BezierSpan> geo::SegmentSpans(const SplineObject* op, LONG segment, const Vector* padr,
                                               bool* curved) {
  std::vector<BezierSpan> spans;
  LONG first = 0, n = 0;
  if (curved) *curved = false;
  if (!op || !op->GetSegmentRange(segment, &first, &n) || n <= 0) return spans;
  const Vector* pts = padr ? padr : op->GetPointR();
  if (!pts) return spans;
  const Vector* P = pts + first;
  if (n == 1) {
    spans.push_back({P[0], P[0], P[0], P[0]});
    return spans;
  }
  const bool closed = op->IsClosed();
  const LONG type = op->GetInterpolationType();
  if (curved) *curved = type != SPLINETYPE_LINEAR;
  const LONG ns = closed ? n : n - 1;
  auto at = [&](LONG i) -> Vector {
    if (closed) return P[((i % n) + n) % n];
    // Open ends continue straight (phantom points for the cubic).
    if (i < 0) return P[0] * 2.0 - P[1];
    if (i >= n) return P[n - 1] * 2.0 - P[n - 2];
    return P[i];
  };
  const Tangent* tan = op->GetTangentR();
  const bool have_tangents = tan && op->GetTangentCount() >= first + n;
  spans.reserve(static_cast<size_t>(ns));
  for (LONG k = 0; k < ns; ++k) {
    Vector p0 = at(k), p3 = at(k + 1);
    BezierSpan s{p0, p0, p3, p3};
    switch (type) {
      case SPLINETYPE_CUBIC:
        s.c1 = p0 + (p3 - at(k - 1)) / 6.0;
        s.c2 = p3 - (at(k + 2) - p0) / 6.0;
        break;
      case SPLINETYPE_BEZIER:
        if (have_tangents) {
          s.c1 = p0 + tan[first + k].vr;
          s.c2 = p3 + tan[first + (k + 1) % n].vl;
        }
        break;
      default:
        s.c1 = p0 + (p3 - p0) / 3.0;
        s.c2 = p0 + (p3 - p0) * (2.0 / 3.0);
        break;
    }
    spans.push_back(s);
  }
  return spans;
}

namespace {
// Span index and local parameter of natural parameter t.
void Locate(size_t spans, Real t, size_t* k, Real* s) {
  if (!(t > 0.0)) t = 0.0;  // NaN reads as the start
  if (t > 1.0) t = 1.0;
  Real x = t * static_cast<Real>(spans);
  size_t i = static_cast<size_t>(std::floor(x));
  if (i >= spans) i = spans - 1;
  *k = i;
  *s = x - static_cast<Real>(i);
}
}  // namespace

Vector SplineObject::GetSplinePoint(Real t, LONG segment, const Vector* padr) const {
  auto spans = geo::SegmentSpans(this, segment, padr, nullptr);
  if (spans.empty()) return Vector();
  size_t k;
  Real s;
  Locate(spans.size(), t, &k, &s);
  return spans[k].Point(s);
}

Vector SplineObject::GetSplineTangent(Real t, LONG segment, const Vector* padr) const {
  auto spans = geo::SegmentSpans(this, segment, padr, nullptr);
  if (spans.empty()) return Vector();
  size_t k;
  Real s;
  Locate(spans.size(), t, &k, &s);
  const geo::BezierSpan& b = spans[k];
  Vector d = b.Derivative(s);
  const Real scale = (b.p3 - b.p0).GetLength() + (b.c1 - b.p0).GetLength() + (b.c2 - b.p3).GetLength();
  if (d.GetLength() <= 1e-12 * scale) {
    // A zero handle stops the curve for an instant at its knot; the
    // direction it moves in is still defined by the next control points.
    d = (s < 0.5) ? (b.c2 - b.p0) : (b.p3 - b.c1);
    if (d.GetLength() <= 1e-12 * scale) d = b.p3 - b.p0;
  }
  return d.GetNormalized();
}

// ---------------------------------------------------------------- line object

LineObject* SplineObject::GetLineObject(BaseDocument*, Real lod, BaseThread*) const {
  const LONG nseg = GetSegmentCount();
  if (nseg <= 0) return nullptr;
  const LONG steps_curved = std::clamp<LONG>(std::isfinite(lod) ? static_cast<LONG>(std::lround(16.0 * lod)) : 16, 1, 256);
  std::vector<Vector> points;
  std::vector<Segment> segs;
  for (LONG sgi = 0; sgi < nseg; ++sgi) {
    bool curved = false;
    auto spans = geo::SegmentSpans(this, sgi, nullptr, &curved);
    LONG first = 0, n = 0;
    GetSegmentRange(sgi, &first, &n);
    const size_t before = points.size();
    if (n == 1) {
      points.push_back(spans[0].p0);
    } else if (n > 1) {
      const LONG steps = curved ? steps_curved : 1;
      for (const auto& sp : spans)
        for (LONG i = 0; i < steps; ++i) points.push_back(sp.Point(static_cast<Real>(i) / steps));
      if (!IsClosed()) points.push_back(spans.back().p3);
    }
    segs.push_back(Segment{static_cast<LONG>(points.size() - before), IsClosed() && n > 1});
  }
  LineObject* line = LineObject::Alloc(static_cast<LONG>(points.size()), static_cast<LONG>(segs.size()));
  if (!line) return nullptr;
  if (!points.empty()) std::copy(points.begin(), points.end(), line->GetPointW());
  std::copy(segs.begin(), segs.end(), line->GetSegmentW());
  line->SetMl(GetMl());
  return line;
}

namespace {
void SplineBox(const SplineObject* op, Vector* mp, Vector* rad) {
  bool any = false;
  Vector lo, hi;
  for (LONG sg = 0; sg < op->GetSegmentCount(); ++sg) {
    for (const auto& sp : geo::SegmentSpans(op, sg, nullptr, nullptr)) {
      for (int i = 0; i <= 16; ++i) {
        Vector p = sp.Point(i / 16.0);
        if (!any) {
          lo = hi = p;
          any = true;
        }
        lo = Vector(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = Vector(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
      }
    }
  }
  *mp = any ? (lo + hi) * 0.5 : Vector();
  *rad = any ? (hi - lo) * 0.5 : Vector();
}
}  // namespace

Vector SplineObject::GetMp() const {
  Vector mp, rad;
  SplineBox(this, &mp, &rad);
  return mp;
}

Vector SplineObject::GetRad() const {
  Vector mp, rad;
  SplineBox(this, &mp, &rad);
  return rad;
}

// ---------------------------------------------------------------- SplineLengthData

void* SplineLengthData::operator new(std::size_t size) noexcept { return GeAllocImpl(size, "spline length", 0); }
void SplineLengthData::operator delete(void* p) { GeFreeImpl(p); }

SplineLengthData* SplineLengthData::Alloc() { return new SplineLengthData(); }

void SplineLengthData::Free(SplineLengthData*& p) {
  delete p;
  p = nullptr;
}

namespace {
// 8-point Gauss-Legendre nodes and weights on [-1, 1].
constexpr Real kNodes[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267, 0.9602898564975363};
constexpr Real kWeights[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745, 0.1012285362903763};

Real Gauss(const geo::BezierSpan& s, Real a, Real b) {
  Real m = 0.5 * (a + b), h = 0.5 * (b - a), sum = 0.0;
  for (int i = 0; i < 4; ++i)
    sum += kWeights[i] * (s.Derivative(m - h * kNodes[i]).GetLength() + s.Derivative(m + h * kNodes[i]).GetLength());
  return sum * h;
}

Real Adaptive(const geo::BezierSpan& s, Real a, Real b, Real whole, int depth) {
  Real m = 0.5 * (a + b);
  Real left = Gauss(s, a, m), right = Gauss(s, m, b);
  Real halves = left + right;
  if (depth <= 0 || std::abs(halves - whole) <= 1e-12 * std::max(halves, 1e-300) + 1e-300) return halves;
  return Adaptive(s, a, m, left, depth - 1) + Adaptive(s, m, b, right, depth - 1);
}
}  // namespace

Real SplineLengthData::LengthOn(LONG span, Real a, Real b) const {
  if (b <= a) return 0.0;
  const auto& sp = spans_[static_cast<size_t>(span)];
  geo::BezierSpan s{sp.p0, sp.c1, sp.c2, sp.p3};
  return Adaptive(s, a, b, Gauss(s, a, b), 10);
}

Bool SplineLengthData::Init(const SplineObject* op, LONG segment, const Vector* padr) {
  spans_.clear();
  cumulative_.clear();
  total_ = 0.0;
  auto spans = geo::SegmentSpans(op, segment, padr, nullptr);
  if (spans.empty()) return false;
  for (const auto& s : spans) spans_.push_back({s.p0, s.c1, s.c2, s.p3});
  const LONG n = steps_per_span_;
  cumulative_.reserve(spans_.size() * static_cast<size_t>(n) + 1);
  cumulative_.push_back(0.0);
  for (LONG k = 0; k < static_cast<LONG>(spans_.size()); ++k)
    for (LONG i = 0; i < n; ++i)
      cumulative_.push_back(cumulative_.back() + LengthOn(k, static_cast<Real>(i) / n, static_cast<Real>(i + 1) / n));
  total_ = cumulative_.back();
  return true;
}

Real SplineLengthData::UniformToNatural(Real u) const {
  if (!(u > 0.0)) u = 0.0;
  if (u > 1.0) u = 1.0;
  if (spans_.empty() || !(total_ > 0.0)) return u;
  if (u >= 1.0) return 1.0;
  const Real target = u * total_;
  // Sample step j holds the target: cumulative_[j] <= target < cumulative_[j + 1].
  size_t j = static_cast<size_t>(std::upper_bound(cumulative_.begin(), cumulative_.end(), target) - cumulative_.begin());
  j = j == 0 ? 0 : j - 1;
  const size_t steps = cumulative_.size() - 1;
  if (j >= steps) j = steps - 1;
  const LONG n = steps_per_span_;
  const LONG k = static_cast<LONG>(j / static_cast<size_t>(n));
  const Real s0 = static_cast<Real>(j % static_cast<size_t>(n)) / n, s1 = s0 + 1.0 / n;
  const Real rem = target - cumulative_[j];
  const Real step_len = cumulative_[j + 1] - cumulative_[j];
  const auto& sp = spans_[static_cast<size_t>(k)];
  geo::BezierSpan b{sp.p0, sp.c1, sp.c2, sp.p3};
  Real lo = s0, hi = s1;
  Real s = step_len > 0.0 ? s0 + (s1 - s0) * std::clamp(rem / step_len, 0.0, 1.0) : s0;
  // Newton on the length from s0, kept inside a shrinking bracket.
  for (int it = 0; it < 60; ++it) {
    Real f = LengthOn(k, s0, s) - rem;
    if (std::abs(f) <= 1e-13 * total_) break;
    if (f > 0.0)
      hi = s;
    else
      lo = s;
    Real d = b.Derivative(s).GetLength();
    Real next = d > 0.0 ? s - f / d : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (hi - lo <= 1e-15) break;
    s = next;
  }
  return (static_cast<Real>(k) + s) / static_cast<Real>(spans_.size());
}

Real SplineLengthData::NaturalToUniform(Real t) const {
  if (!(t > 0.0)) t = 0.0;
  if (t > 1.0) t = 1.0;
  if (spans_.empty() || !(total_ > 0.0)) return t;
  size_t k;
  Real s;
  Locate(spans_.size(), t, &k, &s);
  const LONG n = steps_per_span_;
  LONG i = std::min<LONG>(static_cast<LONG>(std::floor(s * n)), n - 1);
  Real s0 = static_cast<Real>(i) / n;
  Real len = cumulative_[k * static_cast<size_t>(n) + static_cast<size_t>(i)] + LengthOn(static_cast<LONG>(k), s0, s);
  return std::min(1.0, len / total_);
}
