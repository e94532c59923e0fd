// A polygon mesh laid out for the ground search: its points taken to world
// space once, a uniform grid over world XZ that lists for every cell the
// polygons that may hold a point of it, and for every point the polygons
// that use it.
//
// The grid only narrows the search; it never changes its answer. Candidates
// come in ascending polygon index, and every polygon that the plain scan
// could find holding a point (PointInPolygonXZ) is among them: a convex
// polygon without needle corners or stub edges sits in the cells of its box
// widened by far more than rounding can reach; any other polygon (and one
// with a corner that is not a number) is a candidate everywhere.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "host_geometry.h"
#include "engine/vmath.h"

// Coordinates beyond this are too large for the grid's reasoning (the side
// tests' products could overflow): such points and polygons are searched
// the plain way.
inline constexpr double kMeshGridRange = 1e150;

class MeshGrid {
 public:
  // Lays the mesh out; the points are taken to world space as mg * p.
  // Polygons with a corner index outside the points are never candidates.
  void Build(const Vector* points, int32 pointCount, const CPolygon* polygons, int32 polygonCount,
             const Matrix& mg);

  int32 PointCount() const { return static_cast<int32>(world_.size()); }
  int32 PolygonCount() const { return polygonCount_; }
  // The points in world space (mg * p, as the plain scan computes them).
  const Vector* World() const { return world_.data(); }

  // Calls visit(k) for the candidate polygons that may hold p on XZ, in
  // ascending k, until visit returns false.
  template <class Visit>
  void ForEachCandidate(const Vector& p, Visit visit) const;

  // The first polygon other than `excluded` (in index order) that has both
  // point indices among its corners, or -1: the answer of a scan of every
  // polygon, from the polygons around a.
  int32 PolygonWithEdge(LONG a, LONG b, int32 excluded) const;

 private:
  // The cell of a point, false outside the grid (or not a number).
  bool Cell(double x, double z, int32& ix, int32& iz) const;
  int32 CellX(double x) const;
  int32 CellZ(double z) const;

  const CPolygon* polygons_ = nullptr;
  int32 polygonCount_ = 0;
  std::vector<Vector> world_;
  double x0_ = 0.0, z0_ = 0.0, inverseX_ = 0.0, inverseZ_ = 0.0;
  int32 nx_ = 0, nz_ = 0;
  std::vector<int32> cellStart_, cellItems_;  // per cell, ascending
  std::vector<int32> everywhere_;             // candidates in every cell, ascending
  std::vector<int32> pointStart_, pointItems_;  // polygons using each point, ascending
};

template <class Visit>
void MeshGrid::ForEachCandidate(const Vector& p, Visit visit) const {
  int32 ix = 0, iz = 0;
  const int32* a = nullptr;
  const int32* aEnd = nullptr;
  if (Cell(p.x, p.z, ix, iz)) {
    const size_t cell = static_cast<size_t>(iz) * static_cast<size_t>(nx_) + static_cast<size_t>(ix);
    a = cellItems_.data() + cellStart_[cell];
    aEnd = cellItems_.data() + cellStart_[cell + 1];
  } else if (!(std::fabs(p.x) < kMeshGridRange && std::fabs(p.z) < kMeshGridRange)) {
    // A point too far out for exact sums (or not a number): no box can rule
    // a polygon out.
    for (int32 k = 0; k < polygonCount_; ++k)
      if (!visit(k)) return;
    return;
  }
  const int32* b = everywhere_.data();
  const int32* bEnd = b + everywhere_.size();
  while (a != aEnd || b != bEnd) {
    int32 k;
    if (b == bEnd || (a != aEnd && *a < *b)) {
      k = *a++;
    } else {
      k = *b++;
    }
    if (!visit(k)) return;
  }
}
