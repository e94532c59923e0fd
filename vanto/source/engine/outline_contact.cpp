#include "engine/outline_contact.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "carsim/polygon_geometry.h"

using namespace axes;

namespace {
// The outline's extent on XZ, when all its coordinates are finite.
struct OutlineBox {
  bool usable = false;
  double minX = 0.0, maxX = 0.0, minZ = 0.0, maxZ = 0.0, reach = 0.0;
  // How far off the outline's edges p must stand for rounding to leave the
  // sign of their side values alone.
  static double Off(const OutlineBox& box, const Vec3& p) { return 1e-12 * (std::fabs(p.x) + box.reach); }
};

OutlineBox BoxOf(const Vec3* Q, int32 q) {
  OutlineBox box;
  if (!Q || q < 1) return box;
  box.minX = box.maxX = Q[0].x;
  box.minZ = box.maxZ = Q[0].z;
  for (int32 j = 0; j < q; ++j) {
    if (!std::isfinite(Q[j].x) || !std::isfinite(Q[j].z)) return box;
    box.minX = std::min(box.minX, Q[j].x), box.maxX = std::max(box.maxX, Q[j].x);
    box.minZ = std::min(box.minZ, Q[j].z), box.maxZ = std::max(box.maxZ, Q[j].z);
  }
  box.reach = 3.0 * std::max(std::fabs(box.minX), std::fabs(box.maxX));
  box.usable = true;
  return box;
}

// True when the winding number of the outline around p is 0 without
// counting it. Above or below the outline no edge crosses p's line. Beside
// it every crossing edge's side value has the sign of the side p lies on,
// as long as p stands off by more than the rounding of that value can
// reach (a few units in the last place of |p.x| + 3 max |x|; 1e-12 of it is
// far more): then upward and downward crossings cancel, as they do in the
// full count.
inline bool SurelyOutside(const OutlineBox& box, const Vec3& p) {
  if (p.z > box.maxZ || p.z <= box.minZ) return true;
  const double off = OutlineBox::Off(box, p);
  return p.x > box.maxX + off || p.x < box.minX - off;
}

// Up to this many points are counted over the whole outline; more pay for
// sorting its edges into bands first.
constexpr int32 kMostCountedInFull = 3;

// The edges of a finite outline that may cross the lines of constant z from
// zmin to zmax, sorted into bands of z: each band holds every such edge whose
// z range meets it, so that the winding number about a point between zmin
// and zmax needs only the edges of the point's band. Only an edge with one
// end at or above the point's z and the other below adds to the count; the
// band of a z is a non-decreasing function of z, so such an edge lies in the
// point's band whatever the rounding, and the bands give the full count's
// answer exactly. Level edges never add and are left out.
class EdgeBands {
 public:
  // Sorts out the edges and each band's extent in x. False when the
  // outline winds up and down in z too often for bands to help.
  bool Build(const Vec3* Q, int32 q, double zmin, double zmax) {
    found_.clear();
    for (int32 j = 0, prev = q - 1; j < q; prev = j++) {
      const Vec3& a = Q[prev];
      const Vec3& b = Q[j];
      if (a.z == b.z || std::max(a.z, b.z) < zmin || std::min(a.z, b.z) > zmax) continue;
      found_.push_back({{a.x, a.z, b.z, b.x - a.x, b.z - a.z}, std::min(a.x, b.x), std::max(a.x, b.x), 0, 0});
    }
    const int32 f = static_cast<int32>(found_.size());
    count_ = std::clamp<int32>(f / 2, 1, kMaxBands);
    minZ_ = zmin;
    const double range = zmax - zmin;
    scale_ = count_ / range;
    if (!(range > 0.0 && std::isfinite(range) && std::isfinite(scale_) && scale_ > 0.0)) count_ = 1, scale_ = 0.0;
    start_.assign(static_cast<size_t>(count_) + 1, 0);
    minX_.assign(static_cast<size_t>(count_), INFINITY);
    maxX_.assign(static_cast<size_t>(count_), -INFINITY);
    int64_t total = 0;
    for (Found& e : found_) {
      e.lo = Band(std::min(e.edge.az, e.edge.bz));
      e.hi = Band(std::max(e.edge.az, e.edge.bz));
      total += e.hi - e.lo + 1;
      if (total > kMaxBandedEdgesPerPoint * static_cast<int64_t>(q) + count_) return false;
      for (int32 band = e.lo; band <= e.hi; ++band) {
        ++start_[band + 1];
        minX_[band] = std::min(minX_[band], e.minX);
        maxX_[band] = std::max(maxX_[band], e.maxX);
      }
    }
    for (int32 band = 0; band < count_; ++band) start_[band + 1] += start_[band];
    filled_ = false;
    return true;
  }

  // True when p lies beside every edge of its band, off it by more than
  // off: then no edge that crosses its line is near enough for rounding to
  // turn its side value, and as beside the whole outline, the crossings
  // cancel.
  bool Beside(const Vec3& p, double off) const {
    const int32 band = Band(p.z);
    return p.x > maxX_[band] + off || p.x < minX_[band] - off;
  }

  // The winding number about p (zmin <= p.z <= zmax) as WindingNumberXZ
  // counts it, with the same side values: an upward edge to the right of p
  // or through it adds one, a downward edge to its left takes one away.
  int32 Winding(const Vec3& p) {
    if (!filled_) Fill();
    const int32 band = Band(p.z);
    int32 w = 0;
    for (int32 k = start_[band]; k < start_[band + 1]; ++k) {
      const Edge& e = edges_[k];
      const bool aAbove = e.az >= p.z;
      const bool bAbove = e.bz >= p.z;
      const double side = (e.ax - p.x) * e.dz - (e.az - p.z) * e.dx;
      w += static_cast<int32>(!aAbove & bAbove & (side >= 0.0)) - static_cast<int32>(aAbove & !bAbove & (side < 0.0));
    }
    return w;
  }

 private:
  static constexpr int32 kMaxBands = 512;
  // Beyond this many band entries per outline point the outline winds up
  // and down in z too often; it is counted in full instead.
  static constexpr int64_t kMaxBandedEdgesPerPoint = 8;

  struct Edge {
    double ax, az, bz, dx, dz;  // the edge's start, its end's z, end - start
  };
  struct Found {
    Edge edge;
    double minX, maxX;
    int32 lo, hi;  // its first and last band
  };

  // The edges into their bands; only needed once a point lies among them.
  void Fill() {
    edges_.resize(static_cast<size_t>(start_[count_]));
    fill_.assign(start_.begin(), start_.end() - 1);
    for (const Found& e : found_)
      for (int32 band = e.lo; band <= e.hi; ++band) edges_[fill_[band]++] = e.edge;
    filled_ = true;
  }

  // Non-decreasing in z: a difference and a product with a positive factor
  // never turn round under rounding, nor do the cuts to the first and last
  // band.
  int32 Band(double z) const {
    const double t = (z - minZ_) * scale_;
    if (t >= count_ - 1) return count_ - 1;
    return t > 0.0 ? static_cast<int32>(t) : 0;
  }

  int32 count_ = 1;
  double minZ_ = 0.0, scale_ = 0.0;
  bool filled_ = false;
  std::vector<Found> found_;
  std::vector<int32> start_, fill_;
  std::vector<double> minX_, maxX_;
  std::vector<Edge> edges_;
};
// This thread's bands, kept for their storage. Out of line, so that the
// caller holds the address: in a plug-in every use of a thread_local goes
// through the runtime's lookup, and the compiler would look it up again at
// each use rather than keep it.
[[gnu::noinline]] EdgeBands& ThreadBands() {
  thread_local EdgeBands bands;
  return bands;
}
}  // namespace

int32 PointsInsideOutline(const Vec3* P, int32 m, const Vec3* Q, int32 q, int32* list, Vec3& mean) {
  const OutlineBox box = BoxOf(Q, q);
  int32 k = 0;
  Vec3 sum;
  auto take = [&](int32 i) {
    list[k++] = i;
    sum = Add(sum, P[i]);
  };
  if (!box.usable) {
    for (int32 i = 0; i < m; ++i)
      if (WindingNumberXZ(Q, q, P[i]) != 0) take(i);
  } else {
    // Two cars side by side hold most of each other's points outside their
    // extent: those are let through without walking the outline. The others
    // are gathered into the front of the list (the answer, written behind
    // them, never overtakes them), and when there are more than a few, the
    // outline's edges that may cross their lines are banded by z once: a
    // point beside its band's edges is outside as one beside the extent,
    // the rest count over their band's edges.
    int32 c = 0;
    double zmin = 0.0, zmax = 0.0;
    for (int32 i = 0; i < m; ++i) {
      if (SurelyOutside(box, P[i])) continue;
      zmin = c == 0 ? P[i].z : std::min(zmin, P[i].z);
      zmax = c == 0 ? P[i].z : std::max(zmax, P[i].z);
      list[c++] = i;
    }
    EdgeBands& bands = ThreadBands();
    const bool banded = c > kMostCountedInFull && bands.Build(Q, q, zmin, zmax);
    for (int32 j = 0; j < c; ++j) {
      const int32 i = list[j];
      if (banded) {
        if (bands.Beside(P[i], OutlineBox::Off(box, P[i])) || bands.Winding(P[i]) == 0) continue;
      } else if (WindingNumberXZ(Q, q, P[i]) == 0) {
        continue;
      }
      take(i);
    }
  }
  mean = k > 0 ? Div(sum, k) : Vec3();
  if (k > 0) list[k] = list[0];
  return k;
}

int32 FootprintsOverlap(const Vec3 a[4], const Vec3 b[4]) {
  // Neighbours side by side hold each other's corners beside their extent:
  // those are outside without counting, as in PointsInsideOutline.
  const OutlineBox boxA = BoxOf(a, 4), boxB = BoxOf(b, 4);
  for (int i = 0; i < 4; ++i)
    if (!(boxB.usable && SurelyOutside(boxB, a[i])) && WindingNumberXZ(b, 4, a[i]) != 0) return 1;
  for (int i = 0; i < 4; ++i)
    if (!(boxA.usable && SurelyOutside(boxA, b[i])) && WindingNumberXZ(a, 4, b[i]) != 0) return 1;
  return 0;
}

int32 FootprintEdgesCross(const Vec3 a[4], const Vec3 b[4]) {
  for (int i = 0; i < 4; ++i) {
    const Vec3& p = a[i];
    const Vec3 u = Sub(a[(i + 1) % 4], p);
    for (int j = 0; j < 4; ++j)
      if (SegmentCrossingXZ(p, u, b[j], Sub(b[(j + 1) % 4], b[j])) > 0.0) return 1;
  }
  return 0;
}

int32 FootprintsMeet(const Vec3 a[4], const Vec3 b[4]) {
  return FootprintsOverlap(a, b) || FootprintEdgesCross(a, b) ? 1 : 0;
}

Vec3 OutlineCentroid(Vec3& mean, const Vec3* points, const int32* list, int32 count) {
  mean = Vec3();
  if (count < 1) return mean;
  for (int32 j = 0; j < count; ++j) mean = Add(mean, points[list[j]]);
  mean = Div(mean, count);
  return mean;
}

void OutlineVertexNormals(Vec3* buffer, const Vec3& up, int32 n, const int32* list, int32 k) {
  if (n < 1) return;
  int32 first = 0, last = n - 1;
  if (list && k > 0 && list[0] > 0 && list[k - 1] < n - 2) {
    first = list[0];
    last = list[k - 1];
  }
  for (int32 i = first; i <= last; ++i) {
    const Vec3& prev = buffer[i > 0 ? i - 1 : n - 1];
    const Vec3& next = buffer[i + 1 < n ? i + 1 : 0];
    buffer[n + i] = Normalized(Add(Cross(Sub(buffer[i], prev), up), Cross(Sub(next, buffer[i]), up)));
  }
}

int32 FindObstacleEntryFace(const Vec3* buffer, int32 n, const Vec3 corners[8], const AxisFrame& box, int32* list,
                            Vec3& mean, Vec3& normal) {
  const Vec3 faceAxes[6] = {box.v3, box.v1, Neg(box.v3), Neg(box.v1), box.v2, Neg(box.v2)};
  int32 k = 0;
  Vec3 sum, g;
  for (int32 i = 0; i < n; ++i) {
    const int32 f = FindBoxEntryFace(corners, buffer[i], Neg(buffer[n + i]));
    if (f < 0 || f > 5) continue;
    list[k++] = i;
    sum = Add(sum, buffer[i]);
    g = Add(g, faceAxes[f]);
  }
  mean = k > 0 ? Div(sum, k) : Vec3();
  normal = k > 0 ? Normalized(g) : Vec3();
  if (k > 0) list[k] = list[0];
  return k;
}

int32 PointsInsideCylinder(const Vec3* buffer, int32 n, double r, const Vec3& o, int32* list, Vec3& mean,
                           Vec3& normal) {
  int32 k = 0;
  Vec3 sum, g;
  for (int32 i = 0; i < n; ++i) {
    const Vec3& p = buffer[i];
    const Vec3 out(p.x - o.x, 0.0, p.z - o.z);
    if (!(Length(out) < r)) continue;
    list[k++] = i;
    sum = Add(sum, p);
    g = Add(g, Normalized(out));
  }
  mean = k > 0 ? Div(sum, k) : Vec3();
  normal = k > 0 ? Normalized(g) : Vec3();
  if (k > 0) list[k] = list[0];
  return k;
}

Vec3 CrossedEdgeNormal(const Vec3* Q, int32 q, const Vec3* W, const int32* list, int32 k, const Vec3& ray) {
  if (q < 1) return Vec3();
  // Edge normals (-e.z, 0, e.x) point outward on a clockwise outline; an
  // outline drawn the other way round has them turned outward here, or a car
  // would be pulled into it.
  const double outward = SignedAreaXZ(Q, q) > 0.0 ? -1.0 : 1.0;
  Vec3 g;
  for (int32 j = 0; j < k; ++j) {
    const Vec3& p = W[list[j]];
    for (int32 e = 1; e <= q; ++e) {
      const Vec3& a = Q[e - 1];
      const Vec3 edge = Sub(Q[e % q], a);
      if (SegmentCrossingXZ(a, edge, p, ray) > 0.0) g = Add(g, Mul(Normalized(Vec3(-edge.z, 0.0, edge.x)), outward));
    }
  }
  return Normalized(g);
}

void PressOutlineIn(CollisionOutline& o, const int32* idx, int32 k, const Vec3& push) {
  Vec3* p = o.deformPoints;
  const int32 n = o.deformPointCount;
  if (!p || n < 1 || k < 1) return;
  const Vec3 q(push.x, 0.0, push.z);
  // The run and the gaps inside it, tapered from both ends of each gap.
  for (int32 j = 0; j + 1 < k; ++j) {
    p[idx[j]] = Add(p[idx[j]], q);
    int32 lo = idx[j] + 1, hi = idx[j + 1] - 1;
    for (double w = 0.75; lo <= hi && w > 0.0; w -= 0.25) {
      p[lo] = Add(p[lo], Mul(q, w));
      ++lo;
      if (lo <= hi) {
        p[hi] = Add(p[hi], Mul(q, w));
        --hi;
      }
    }
  }
  p[idx[k - 1]] = Add(p[idx[k - 1]], q);
  // The rim: up to three neighbours past each end of the run.
  int32 lo = idx[k - 1] + 1, hi = idx[0];
  double w = 0.75;
  do {
    if (--hi < 0) hi = n - 1;
    if (lo > n - 1) lo = 0;
    if (lo <= hi) {
      p[lo] = Add(p[lo], Mul(q, w));
      break;
    }
    p[lo] = Add(p[lo], Mul(q, w));
    p[hi] = Add(p[hi], Mul(q, w));
    ++lo;
    w -= 0.25;
  } while (w > 0.0);
}

bool WheelCornerOntoOutline(const CollisionOutline& o, const Vec3& P, const Vec3& axis, Vec3& move) {
  const Vec3* p = o.deformPoints;
  const int32 n = o.deformPointCount;
  if (!p || n < 1) return false;
  if (WindingNumberXZ(p, n, P) != 0) return false;
  for (int32 i = 1; i <= n; ++i) {
    const Vec3& a = p[i - 1];
    const double s = SegmentCrossingXZ(P, Vec3(0.0, -P.y, -P.z), a, Sub(p[i % n], a));
    if (!(s > 0.0)) continue;
    move = Mul(axis, -P.z * s);
    return true;
  }
  return false;
}
