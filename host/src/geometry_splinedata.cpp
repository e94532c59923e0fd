#include <algorithm>
#include <cmath>

#include "geometry_internal.h"

SplineData* SplineData::Alloc() {
  if (!geo::AllocationAllowed()) return nullptr;
  return new SplineData();
}

void SplineData::Free(SplineData*& p) {
  delete p;
  p = nullptr;
}

void SplineData::SetRange(Real xmin, Real xmax, Real xstep, Real ymin, Real ymax, Real ystep) {
  xmin_ = xmin;
  xmax_ = xmax;
  xstep_ = xstep;
  ymin_ = ymin;
  ymax_ = ymax;
  ystep_ = ystep;
}

void SplineData::GetRange(Real* xmin, Real* xmax, Real* xstep, Real* ymin, Real* ymax, Real* ystep) const {
  if (xmin) *xmin = xmin_;
  if (xmax) *xmax = xmax_;
  if (xstep) *xstep = xstep_;
  if (ymin) *ymin = ymin_;
  if (ymax) *ymax = ymax_;
  if (ystep) *ystep = ystep_;
}

const SplineKnot* SplineData::GetKnot(LONG i) const {
  return i >= 0 && i < GetKnotCount() ? &knots_[static_cast<size_t>(i)] : nullptr;
}
SplineKnot* SplineData::GetKnot(LONG i) { return i >= 0 && i < GetKnotCount() ? &knots_[static_cast<size_t>(i)] : nullptr; }

void SplineData::Sort() {
  std::stable_sort(knots_.begin(), knots_.end(), [](const SplineKnot& a, const SplineKnot& b) { return a.pos.x < b.pos.x; });
}

Bool SplineData::SetKnot(LONG i, const SplineKnot& k) {
  SplineKnot* dst = GetKnot(i);
  if (!dst) return false;
  *dst = k;
  // A NaN x would leave the order undefined; it is kept as given but sorts nowhere.
  bool ordered = true;
  for (size_t j = 1; j < knots_.size(); ++j)
    if (knots_[j].pos.x < knots_[j - 1].pos.x) ordered = false;
  if (!ordered) Sort();
  return true;
}

LONG SplineData::InsertKnot(Real x, Real y, LONG flags) {
  if (!std::isfinite(x) || !std::isfinite(y)) return -1;
  SplineKnot k;
  k.pos = Vector(x, y, 0.0);
  k.flags = flags;
  auto it = std::upper_bound(knots_.begin(), knots_.end(), x, [](Real v, const SplineKnot& kn) { return v < kn.pos.x; });
  it = knots_.insert(it, k);
  return static_cast<LONG>(it - knots_.begin());
}

Bool SplineData::DeleteKnot(LONG i) {
  if (!GetKnot(i)) return false;
  knots_.erase(knots_.begin() + i);
  return true;
}

void SplineData::ResetKnots(LONG count) {
  knots_.clear();
  if (count < 1) return;
  for (LONG i = 0; i < count; ++i) {
    Real f = count == 1 ? 0.0 : static_cast<Real>(i) / (count - 1);
    InsertKnot(xmin_ + f * (xmax_ - xmin_), ymin_ + f * (ymax_ - ymin_), 0);
  }
}

void SplineData::SetKnotInterpolation(LONG i, LONG interpolation) {
  if (SplineKnot* k = GetKnot(i)) k->interpolation = interpolation;
}

void SplineData::SetAllInterpolation(LONG interpolation) {
  for (auto& k : knots_) k.interpolation = interpolation;
}

Vector SplineData::GetPoint(Real x) const {
  const size_t n = knots_.size();
  if (n == 0) return Vector(x, 0.0, 0.0);
  if (!(x > knots_.front().pos.x)) return Vector(x, knots_.front().pos.y, 0.0);
  if (!(x < knots_.back().pos.x)) return Vector(x, knots_.back().pos.y, 0.0);
  // The span [i, i + 1] holding x; among equal x the later knot wins.
  size_t i = static_cast<size_t>(std::upper_bound(knots_.begin(), knots_.end(), x,
                                                  [](Real v, const SplineKnot& k) { return v < k.pos.x; }) -
                                 knots_.begin()) -
             1;
  const SplineKnot& a = knots_[i];
  const SplineKnot& b = knots_[i + 1];
  const Real h = b.pos.x - a.pos.x;
  if (!(h > 0.0)) return Vector(x, b.pos.y, 0.0);
  const Real t = (x - a.pos.x) / h;
  switch (a.interpolation) {
    case SPLINEKNOT_LINEAR: return Vector(x, a.pos.y + t * (b.pos.y - a.pos.y), 0.0);
    case SPLINEKNOT_CUBIC: {
      auto slope = [&](size_t j) {
        size_t l = j == 0 ? 0 : j - 1, r = j + 1 < n ? j + 1 : j;
        Real dx = knots_[r].pos.x - knots_[l].pos.x;
        return dx > 0.0 ? (knots_[r].pos.y - knots_[l].pos.y) / dx : 0.0;
      };
      Real m0 = slope(i) * h, m1 = slope(i + 1) * h;
      Real t2 = t * t, t3 = t2 * t;
      Real y = (2 * t3 - 3 * t2 + 1) * a.pos.y + (t3 - 2 * t2 + t) * m0 + (-2 * t3 + 3 * t2) * b.pos.y + (t3 - t2) * m1;
      return Vector(x, y, 0.0);
    }
    default: {
      // Bezier: control x kept inside the span so that y stays a function of x.
      Real x0 = a.pos.x, x3 = b.pos.x;
      Real x1 = std::clamp(a.pos.x + a.tangent_right.x, x0, x3);
      Real x2 = std::clamp(b.pos.x + b.tangent_left.x, x0, x3);
      Real y0 = a.pos.y, y1 = a.pos.y + a.tangent_right.y, y2 = b.pos.y + b.tangent_left.y, y3 = b.pos.y;
      auto bez = [](Real p0, Real p1, Real p2, Real p3, Real s) {
        Real u = 1.0 - s;
        return u * u * u * p0 + 3 * u * u * s * p1 + 3 * u * s * s * p2 + s * s * s * p3;
      };
      Real lo = 0.0, hi = 1.0;
      for (int it = 0; it < 80; ++it) {
        Real m = 0.5 * (lo + hi);
        if (bez(x0, x1, x2, x3, m) < x)
          lo = m;
        else
          hi = m;
      }
      return Vector(x, bez(y0, y1, y2, y3, 0.5 * (lo + hi)), 0.0);
    }
  }
}
