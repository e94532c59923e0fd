// The geometry of the car's collision outline that needs no scene: the
// default outline sampled from the body size, a drawn outline laid flat and
// turned clockwise, the inner rectangle and the
// zone class of a point on it, the nearest outline point, the rim walk of a
// deformer grid, the pull of an attached part and the wheels' outer corners.
//
// Everything is in the car's own coordinates as the outline keeps them:
// x to the side, y up (0 on the outline), z forward, scene units; crumple
// lengths are in metres.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "carsim/polygon_geometry.h"
#include "engine/vmath.h"

// Most outline points along one side of the default (body-size) outline.
inline constexpr int32 kMaxOutlineSideSamples = 1000;

// Zone classes of an outline point (OutlineZoneOf).
enum OutlineZone : int32 {
  kZoneMinusX = 1,  // beyond the inner rectangle on the -x side
  kZonePlusX = 2,
  kZoneRear = 4,
  kZoneFront = 8,
  kZoneCore = 128,  // deep inside: pressed past the crumple zones
};

// Crumple settings as entered (counter-forces in kN, zone lengths in scene
// units; front, side, rear) into the outline's per-side tables (N and
// metres; front, +x, rear, -x).
void CrumpleZoneTables(const double counterForceKN[3], const double zoneLengthScene[3], double unitsPerMetre,
                       double counterForce[4], double zoneLength[4]);

// The rectangle inside the crumple zones of a body sizeX wide and sizeZ long.
struct OutlineCore {
  double xmin = 0.0, xmax = 0.0, zmin = 0.0, zmax = 0.0;
};
OutlineCore InnerOutlineRectangle(double sizeX, double sizeZ, double unitsPerMetre, const double zoneLength[4]);

// Zone class (bits of OutlineZone) of an outline point at (x, z): the sides
// beyond the inner rectangle, else the core when it lies well inside it,
// else 0.
int32 OutlineZoneOf(double x, double z, const OutlineCore& core);

// The default outline: the body rectangle sampled at even spacing, nx points
// along each end and nz along each side.
struct BodyOutlinePlan {
  double sizeX = 0.0, sizeZ = 0.0;
  int32 nx = 0, nz = 0;
  double dx = 0.0, dz = 0.0;
  int32 Count() const { return 2 * (nx + nz); }
};
// False for a size that is negative or not finite. A body smaller than one
// step both ways still gets one point a side, so there is always a point to
// link to.
bool PlanBodyOutline(double sizeX, double sizeZ, BodyOutlinePlan& plan);
// Point k (0 <= k < Count()) of the plan, starting at the front left and
// running clockwise seen from above.
Vec3 BodyOutlinePoint(const BodyOutlinePlan& plan, int32 k);

// A drawn outline src[0..n) laid flat (y = 0) into dst[0..n), with the rest
// copy in dst[n..2n), running clockwise seen from above so its normals point
// outward; halfX and halfZ get its largest |x| and |z|. The sense is judged
// by area, not by the winding about the car's origin, so an outline drawn
// beside the origin turns the right way too. Any point type with double
// members x, y, z and a constructor from them.
template <class V>
void FlatClockwiseOutline(const V* src, int32 n, V* dst, double& halfX, double& halfZ) {
  halfX = halfZ = 0.0;
  for (int32 i = 0; i < n; ++i) {
    const V p(src[i].x, 0.0, src[i].z);
    dst[i] = dst[n + i] = p;
    if (std::fabs(p.x) > halfX) halfX = std::fabs(p.x);
    if (std::fabs(p.z) > halfZ) halfZ = std::fabs(p.z);
  }
  if (SignedAreaXZ(dst, n) > 0.0) {
    std::reverse(dst, dst + n);
    std::copy(dst, dst + n, dst + n);
  }
}

// Index of the point of points[0..n) nearest to (qx, 0, qz); ties go to the
// lowest index. -1 (and a zero distance) when there are no points. Works on
// any point type with double members x, y, z, so the outline's own buffers
// need no copy.
template <class V>
int32 NearestOutlinePointXZ(const V* points, int32 n, double qx, double qz, double* distance) {
  if (points == nullptr || n < 1) {
    if (distance != nullptr) *distance = 0.0;
    return -1;
  }
  int32 best = 0;
  double bestDist = 0.0;
  for (int32 i = 0; i < n; ++i) {
    const V& p = points[i];
    const double dx = qx - p.x, dy = 0.0 - p.y, dz = qz - p.z;
    const double dist = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (i == 0 || dist < bestDist) {
      best = i;
      bestDist = dist;
    }
  }
  if (distance != nullptr) *distance = bestDist;
  return best;
}

// An FFD grid of a x b x c points (x fastest, then y, then z; each count at
// least 2). Its bottom layer's rim is walked from the first point up z, along
// x, back down z and back along x: 2 (a + c - 2) steps.
struct FfdGrid {
  std::int64_t a = 2, b = 2, c = 2;
  std::int64_t RimCount() const { return 2 * (a + c - 2); }
};
// True when the counts describe exactly pointCount points, so the rim walk
// never leaves the point array.
bool FfdGridMatches(const FfdGrid& grid, std::int64_t pointCount);
// The grid index after rim step k, from index g.
std::int64_t FfdRimNext(const FfdGrid& grid, std::int64_t k, std::int64_t g);

// How fully an attached part follows its outline point: 1 on the point,
// falling to 0 at the size of the point's crumple zone (distance in scene
// units, the zone diagonal in metres). 0 for a point with no zone.
double AttachedPartWeight(int32 zone, const double zoneLength[4], double distance, double unitsPerMetre);

// Outer corners of the wheels on the ground plane: front outer-forward
// (+x, then -x), then rear outer-backward, from the +x hubs at rest and the
// wheels' half widths and radii.
void OuterWheelCorners(const Vec3& frontHub, const Vec3& rearHub, double frontHalfWidth, double frontRadius,
                       double rearHalfWidth, double rearRadius, Vec3 corners[4]);
