#include "scene/mesh_grid.h"

#include <algorithm>
#include <cmath>

namespace {

// A polygon's box is widened by this share of its coordinates' size: the
// side tests of a well-shaped polygon misjudge a point by far less.
constexpr double kBoxMargin = 1e-6;
// Well-shaped: convex, no corner sharper than this sine, no edge shorter
// than this share of the box.
constexpr double kMinCornerSine = 1e-3;
constexpr double kMinEdgeShare = 1e-3;
// A polygon over more cells than this is a candidate everywhere instead.
constexpr int64_t kMaxCellsPerPolygon = 256;
constexpr int32 kMaxCellsPerAxis = 4096;

double CrossXZ(const Vector& u, const Vector& v) { return u.x * v.z - u.z * v.x; }

// The corners of polygon q in order, a triangle's last one dropped.
int32 Corners(const CPolygon& q, const Vector* w, Vector out[4]) {
  out[0] = w[q.a];
  out[1] = w[q.b];
  out[2] = w[q.c];
  if (q.c == q.d) return 3;
  out[3] = w[q.d];
  return 4;
}

bool WellShaped(const Vector* c, int32 n, double extent) {
  double sign = 0.0;
  for (int32 i = 0; i < n; ++i) {
    const Vector& prev = c[(i + n - 1) % n];
    const Vector& cur = c[i];
    const Vector& next = c[(i + 1) % n];
    const Vector e1(next.x - cur.x, 0.0, next.z - cur.z), e2(prev.x - cur.x, 0.0, prev.z - cur.z);
    const double l1 = std::sqrt(e1.x * e1.x + e1.z * e1.z), l2 = std::sqrt(e2.x * e2.x + e2.z * e2.z);
    if (!(l1 >= kMinEdgeShare * extent && l2 >= kMinEdgeShare * extent)) return false;
    const double cross = CrossXZ(e1, e2);
    if (!(std::fabs(cross) >= kMinCornerSine * l1 * l2)) return false;
    if (sign == 0.0) sign = cross;
    if ((cross > 0.0) != (sign > 0.0)) return false;
  }
  return true;
}

// Lists in compressed rows: each(add) calls add(row, item) for every entry,
// items in ascending order; it runs twice, to count and to fill.
template <class Each>
void BuildRows(size_t rows, std::vector<int32>& start, std::vector<int32>& items, Each each) {
  start.assign(rows + 1, 0);
  each([&](size_t row, int32) { ++start[row + 1]; });
  for (size_t r = 0; r < rows; ++r) start[r + 1] += start[r];
  items.resize(static_cast<size_t>(start[rows]));
  std::vector<int32> next(start.begin(), start.end() - 1);
  each([&](size_t row, int32 item) { items[static_cast<size_t>(next[row]++)] = item; });
}

}  // namespace

void MeshGrid::Build(const Vector* points, int32 pointCount, const CPolygon* polygons, int32 polygonCount,
                       const Matrix& mg) {
  polygons_ = polygons;
  polygonCount_ = polygons ? std::max<int32>(polygonCount, 0) : 0;
  const int32 np = points ? std::max<int32>(pointCount, 0) : 0;
  world_.assign(static_cast<size_t>(np), Vector());
  for (int32 i = 0; i < np; ++i) world_[i] = mg * points[i];
  cellStart_.clear();
  cellItems_.clear();
  everywhere_.clear();
  nx_ = nz_ = 0;

  auto valid = [&](const CPolygon& q) {
    return q.a >= 0 && q.a < np && q.b >= 0 && q.b < np && q.c >= 0 && q.c < np && q.d >= 0 && q.d < np;
  };

  // Boxes of the well-shaped polygons; the others are candidates everywhere.
  struct Box {
    double x0, z0, x1, z1;
  };
  std::vector<Box> boxes(static_cast<size_t>(polygonCount_));
  std::vector<char> gridded(static_cast<size_t>(polygonCount_), 0);
  double gx0 = 0.0, gz0 = 0.0, gx1 = 0.0, gz1 = 0.0;
  bool any = false;
  for (int32 k = 0; k < polygonCount_; ++k) {
    const CPolygon& q = polygons_[k];
    if (!valid(q)) continue;
    Vector c[4];
    const int32 n = Corners(q, world_.data(), c);
    double x0 = c[0].x, x1 = c[0].x, z0 = c[0].z, z1 = c[0].z, size = 0.0;
    for (int32 i = 0; i < n; ++i) {
      x0 = std::min(x0, c[i].x);
      x1 = std::max(x1, c[i].x);
      z0 = std::min(z0, c[i].z);
      z1 = std::max(z1, c[i].z);
      size = std::max({size, std::fabs(c[i].x), std::fabs(c[i].z)});
    }
    const double extent = std::max(x1 - x0, z1 - z0);
    if (!(size < kMeshGridRange) || !WellShaped(c, n, extent)) {
      everywhere_.push_back(k);
      continue;
    }
    const double margin = kBoxMargin * (size + extent);
    boxes[k] = {x0 - margin, z0 - margin, x1 + margin, z1 + margin};
    gridded[k] = 1;
    if (!any) {
      gx0 = boxes[k].x0, gz0 = boxes[k].z0, gx1 = boxes[k].x1, gz1 = boxes[k].z1;
      any = true;
    } else {
      gx0 = std::min(gx0, boxes[k].x0), gz0 = std::min(gz0, boxes[k].z0);
      gx1 = std::max(gx1, boxes[k].x1), gz1 = std::max(gz1, boxes[k].z1);
    }
  }

  if (any) {
    // About one cell a polygon, the cells about square.
    const double wx = std::max(gx1 - gx0, 1e-300), wz = std::max(gz1 - gz0, 1e-300);
    const double cells = std::max(1.0, static_cast<double>(polygonCount_ - everywhere_.size()));
    const double side = std::sqrt(wx * wz / cells);
    nx_ = static_cast<int32>(std::clamp(std::ceil(wx / side), 1.0, static_cast<double>(kMaxCellsPerAxis)));
    nz_ = static_cast<int32>(std::clamp(std::ceil(wz / side), 1.0, static_cast<double>(kMaxCellsPerAxis)));
    x0_ = gx0;
    z0_ = gz0;
    inverseX_ = nx_ / wx;
    inverseZ_ = nz_ / wz;
    if (!std::isfinite(inverseX_) || !std::isfinite(inverseZ_)) nx_ = nz_ = 1, inverseX_ = inverseZ_ = 0.0;

    const size_t cellCount = static_cast<size_t>(nx_) * static_cast<size_t>(nz_);
    std::vector<int32> spread;  // polygons too large for the grid
    for (int32 k = 0; k < polygonCount_; ++k) {
      if (!gridded[k]) continue;
      const Box& b = boxes[k];
      if (static_cast<int64_t>(CellX(b.x1) - CellX(b.x0) + 1) * (CellZ(b.z1) - CellZ(b.z0) + 1) > kMaxCellsPerPolygon) {
        gridded[k] = 0;
        spread.push_back(k);
      }
    }
    BuildRows(cellCount, cellStart_, cellItems_, [&](auto add) {
      for (int32 k = 0; k < polygonCount_; ++k) {
        if (!gridded[k]) continue;
        const Box& b = boxes[k];
        for (int32 iz = CellZ(b.z0); iz <= CellZ(b.z1); ++iz)
          for (int32 ix = CellX(b.x0); ix <= CellX(b.x1); ++ix) add(static_cast<size_t>(iz) * nx_ + ix, k);
      }
    });
    if (!spread.empty()) {
      std::vector<int32> merged(everywhere_.size() + spread.size());
      std::merge(everywhere_.begin(), everywhere_.end(), spread.begin(), spread.end(), merged.begin());
      everywhere_.swap(merged);
    }
  }

  // Polygons around each point, each once, in ascending order.
  BuildRows(static_cast<size_t>(np), pointStart_, pointItems_, [&](auto add) {
    for (int32 k = 0; k < polygonCount_; ++k) {
      const CPolygon& q = polygons_[k];
      const LONG corners[4] = {q.a, q.b, q.c, q.d};
      for (int i = 0; i < 4; ++i) {
        const LONG v = corners[i];
        if (v >= 0 && v < np && std::find(corners, corners + i, v) == corners + i) add(static_cast<size_t>(v), k);
      }
    }
  });
}

int32 MeshGrid::CellX(double x) const {
  const double f = std::floor((x - x0_) * inverseX_);
  return static_cast<int32>(std::clamp(f, 0.0, static_cast<double>(nx_ - 1)));
}

int32 MeshGrid::CellZ(double z) const {
  const double f = std::floor((z - z0_) * inverseZ_);
  return static_cast<int32>(std::clamp(f, 0.0, static_cast<double>(nz_ - 1)));
}

bool MeshGrid::Cell(double x, double z, int32& ix, int32& iz) const {
  if (nx_ == 0 || !(std::fabs(x) < kMeshGridRange && std::fabs(z) < kMeshGridRange)) return false;
  const double fx = std::floor((x - x0_) * inverseX_), fz = std::floor((z - z0_) * inverseZ_);
  // A point on the grid's rim counts to the edge cell: more candidates never
  // change the answer, too few would.
  if (!(fx >= -1.0 && fx <= nx_ && fz >= -1.0 && fz <= nz_)) return false;
  ix = static_cast<int32>(std::clamp(fx, 0.0, static_cast<double>(nx_ - 1)));
  iz = static_cast<int32>(std::clamp(fz, 0.0, static_cast<double>(nz_ - 1)));
  return true;
}

int32 MeshGrid::PolygonWithEdge(LONG a, LONG b, int32 excluded) const {
  if (!polygons_) return -1;
  if (a < 0 || a >= PointCount()) {
    // Not a point of the mesh: only a polygon with a broken corner can
    // name it, and only a scan finds that.
    for (int32 k = 0; k < polygonCount_; ++k) {
      if (k == excluded) continue;
      const CPolygon& q = polygons_[k];
      if ((q.a == a || q.b == a || q.c == a || q.d == a) && (q.a == b || q.b == b || q.c == b || q.d == b)) return k;
    }
    return -1;
  }
  for (int32 i = pointStart_[a]; i < pointStart_[a + 1]; ++i) {
    const int32 k = pointItems_[i];
    if (k == excluded) continue;
    const CPolygon& q = polygons_[k];
    if (q.a == b || q.b == b || q.c == b || q.d == b) return k;
  }
  return -1;
}
