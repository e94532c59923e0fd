// Helpers shared by the geometry sources (host-internal).
#pragma once

#include <cmath>

#include "host_geometry.h"
#include "host_services.h"

namespace geo {

// Asks the host allocator for a moment, so that geometry allocations fail
// where an injected allocation failure says so.
inline bool AllocationAllowed() {
  void* probe = GeAllocImpl(1, "geometry", 0);
  if (!probe) return false;
  GeFreeImpl(probe);
  return true;
}

// FFD objects made and not yet taken down by the node factory: while there
// are none the cache pass has nothing to keep in step. Deleted another way
// an FFD stays counted, which costs the pass a walk and nothing else.
inline long& LiveFfds() {
  static long count = 0;
  return count;
}

inline bool Finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// One span of a spline in cubic Bezier form.
struct BezierSpan {
  Vector p0, c1, c2, p3;
  Vector Point(Real s) const {
    Real u = 1.0 - s;
    return p0 * (u * u * u) + c1 * (3.0 * u * u * s) + c2 * (3.0 * u * s * s) + p3 * (s * s * s);
  }
  Vector Derivative(Real s) const {
    Real u = 1.0 - s;
    return (c1 - p0) * (3.0 * u * u) + (c2 - c1) * (6.0 * u * s) + (p3 - c2) * (3.0 * s * s);
  }
};

// The spans of one segment in Bezier form (every interpolation type maps
// onto it exactly). Empty for an unknown segment; a single point gives one
// degenerate span.
std::vector<BezierSpan> SegmentSpans(const SplineObject* op, LONG segment, const Vector* padr, bool* curved);

// The polygon geometry of an object in world space, for surface queries:
// point objects directly, primitives through their current state.
void CollectWorldTriangles(const BaseObject* op, std::vector<Vector>& tris);

void RegisterSceneIO();

}  // namespace geo
