#include "engine/outline_shape.h"

#include <algorithm>

void CrumpleZoneTables(const double counterForceKN[3], const double zoneLengthScene[3], double u,
                       double counterForce[4], double zoneLength[4]) {
  for (int32 k = 0; k < 3; ++k) {
    counterForce[k] = 1000.0 * counterForceKN[k];
    zoneLength[k] = zoneLengthScene[k] / u;
  }
  counterForce[3] = counterForce[1];
  zoneLength[3] = zoneLength[1];
}

OutlineCore InnerOutlineRectangle(double sizeX, double sizeZ, double u, const double zoneLength[4]) {
  OutlineCore r;
  r.xmin = u * zoneLength[1] - sizeX / 2;
  r.xmax = -r.xmin;
  r.zmax = sizeZ / 2 - u * zoneLength[0];
  r.zmin = u * zoneLength[2] - sizeZ / 2;
  return r;
}

int32 OutlineZoneOf(double x, double z, const OutlineCore& r) {
  int32 zone = 0;
  if (x < r.xmin)
    zone = kZoneMinusX;
  else if (x > r.xmax)
    zone = kZonePlusX;
  if (z > r.zmax)
    zone += kZoneFront;
  else if (z < r.zmin)
    zone += kZoneRear;
  if (zone == 0 && 0.75 * r.xmin < x && x < 0.75 * r.xmax && 0.8 * r.zmin < z && z < 0.8 * r.zmax) zone = kZoneCore;
  return zone;
}

bool PlanBodyOutline(double X, double Z, BodyOutlinePlan& plan) {
  if (!(X >= 0.0 && Z >= 0.0 && std::isfinite(X) && std::isfinite(Z))) return false;
  double step = std::max(X / 20.0, 10.0);
  // Keep a very long, narrow body to a bounded number of points.
  if (Z / step > kMaxOutlineSideSamples) step = Z / kMaxOutlineSideSamples;
  int32 nx = static_cast<int32>(X / step);
  int32 nz = static_cast<int32>(Z / step);
  if (nx == 0 && nz == 0) nx = nz = 1;
  plan.sizeX = X;
  plan.sizeZ = Z;
  plan.nx = nx;
  plan.nz = nz;
  plan.dx = nx > 0 ? X / nx : 0.0;
  plan.dz = nz > 0 ? Z / nz : 0.0;
  return true;
}

Vec3 BodyOutlinePoint(const BodyOutlinePlan& s, int32 k) {
  const double X = s.sizeX, Z = s.sizeZ, dx = s.dx, dz = s.dz;
  if (k < s.nx) return Vec3(-X / 2 + dx / 2 + k * dx, 0.0, Z / 2);
  k -= s.nx;
  if (k < s.nz) return Vec3(X / 2, 0.0, Z / 2 - dz / 2 - k * dz);
  k -= s.nz;
  if (k < s.nx) return Vec3(X / 2 - dx / 2 - k * dx, 0.0, -Z / 2);
  k -= s.nx;
  return Vec3(-X / 2, 0.0, -Z / 2 + dz / 2 + k * dz);
}

bool FfdGridMatches(const FfdGrid& g, std::int64_t pointCount) {
  if (g.a > pointCount || g.b > pointCount || g.c > pointCount) return false;
  return g.a * g.b * g.c == pointCount;
}

std::int64_t FfdRimNext(const FfdGrid& grid, std::int64_t k, std::int64_t g) {
  const std::int64_t a = grid.a, b = grid.b, c = grid.c;
  if (k < c - 1) return g + a * b;
  if (k < a + c - 2) return g + 1;
  if (k < 2 * c + a - 3) return g - a * b;
  return g - 1;
}

double AttachedPartWeight(int32 zone, const double zoneLength[4], double d, double u) {
  const double sx = (zone & (kZoneMinusX | kZonePlusX)) ? zoneLength[1] : 0.0;
  const double sz = (zone & kZoneFront) ? zoneLength[0] : ((zone & kZoneRear) ? zoneLength[2] : 0.0);
  const double h = std::sqrt(sx * sx + sz * sz);
  return h < 0.0001 ? 0.0 : std::max(0.0, 1.0 - (d / u) / h);
}

void OuterWheelCorners(const Vec3& F, const Vec3& R, double fx, double fz, double rx, double rz, Vec3 corners[4]) {
  corners[0] = Vec3(F.x + fx, 0.0, F.z + fz);
  corners[1] = Vec3(-(F.x + fx), 0.0, F.z + fz);
  corners[2] = Vec3(R.x + rx, 0.0, R.z - rz);
  corners[3] = Vec3(-(R.x + rx), 0.0, R.z - rz);
}
