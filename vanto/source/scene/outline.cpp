#include "scene/outline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "carsim/car_param_ids.h"
#include "carsim/polygon_geometry.h"
#include "host_geometry.h"
#include "host_services.h"

namespace {

constexpr int32 kForceCurveSamples = 100;

template <class T>
T* AllocArray(int64_t count) {
  if (count <= 0) return nullptr;
  return static_cast<T*>(GeAlloc(sizeof(T) * static_cast<std::size_t>(count)));
}

// Point count and array of any point-carrying object; 0 when it has none.
LONG PointsOf(const BaseObject* op, const Vector*& points) {
  points = nullptr;
  if (op == nullptr) return 0;
  const LONG count = op->GetTagDataCount(Tpoint);
  points = static_cast<const Vector*>(op->GetTagDataR(Tpoint));
  return points != nullptr && count > 0 ? count : 0;
}

// Outlines, deformers and meshes are laid flat under the car at their height.
void LayFlat(BaseObject* op) {
  const Vector p = op->GetRelPos();
  op->SetRelPos(Vector(0.0, p.y, 0.0));
  op->SetRelRot(Vector(0.0, 0.0, 0.0));
}

void ReadCrashReaction(const BaseContainer& bc, CrashReaction& r) {
  for (int32 k = 0; k < 3; ++k) {
    r.mode[k] = bc.GetLong(CAR_CRASH_FRONT_MODE + 3 * k, 0);
    r.holdTime[k] = bc.GetTime(CAR_CRASH_FRONT_MODE + 1 + 3 * k).Get();
    r.brakeStrength[k] = bc.GetReal(CAR_CRASH_FRONT_MODE + 2 + 3 * k);
  }
}

// The outline from a linked point object: its points flattened, stored
// clockwise. False when the buffer cannot be had.
bool OutlineFromObject(BaseObject* op, const Vector* src, LONG c, CollisionOutline& o, Real& halfX, Real& halfZ) {
  LayFlat(op);
  o.outlineHeight = op->GetRelPos().y;
  Vector* pts = AllocArray<Vector>(2 * static_cast<int64_t>(c));
  if (pts == nullptr) return false;
  halfX = halfZ = 0.0;
  for (LONG i = 0; i < c; ++i) {
    const Vector p(src[i].x, 0.0, src[i].z);
    pts[i] = pts[c + i] = p;
    if (std::fabs(p.x) > halfX) halfX = std::fabs(p.x);
    if (std::fabs(p.z) > halfZ) halfZ = std::fabs(p.z);
  }
  // The sense is judged by area, not by the winding about the car's origin,
  // so an outline drawn beside the origin still gets outward normals.
  if (SignedAreaXZ(pts, c) > 0.0) {
    std::reverse(pts, pts + c);
    std::copy(pts, pts + c, pts + c);
  }
  o.deformPoints = pts;
  o.deformPointCount = c;
  return true;
}

// The default outline: the body rectangle sampled at even spacing, starting
// at the front left and running clockwise. False for a body size that is
// negative or not finite, or when the buffer cannot be had.
bool OutlineFromBodySize(const Vector& size, CollisionOutline& o, Real& halfX, Real& halfZ) {
  const Real X = size.x;
  const Real Z = size.z;
  if (!(X >= 0.0 && Z >= 0.0 && std::isfinite(X) && std::isfinite(Z))) return false;
  Real step = std::max(X / 20.0, 10.0);
  // Keep a very long, narrow body to a bounded number of points.
  if (Z / step > kMaxOutlineSideSamples) step = Z / kMaxOutlineSideSamples;
  int32 nx = static_cast<int32>(X / step);
  int32 nz = static_cast<int32>(Z / step);
  if (nx == 0 && nz == 0) {
    // A body smaller than one step both ways still gets one point a side,
    // so every outline has points to link to.
    nx = nz = 1;
  }
  const Real dx = nx > 0 ? X / nx : 0.0;
  const Real dz = nz > 0 ? Z / nz : 0.0;
  const int32 n = 2 * (nx + nz);
  Vector* pts = AllocArray<Vector>(2 * static_cast<int64_t>(n));
  if (pts == nullptr) return false;
  int32 k = 0;
  for (int32 i = 0; i < nx; ++i) pts[k++] = Vector(-X / 2 + dx / 2 + i * dx, 0.0, Z / 2);
  for (int32 i = 0; i < nz; ++i) pts[k++] = Vector(X / 2, 0.0, Z / 2 - dz / 2 - i * dz);
  for (int32 i = 0; i < nx; ++i) pts[k++] = Vector(X / 2 - dx / 2 - i * dx, 0.0, -Z / 2);
  for (int32 i = 0; i < nz; ++i) pts[k++] = Vector(-X / 2, 0.0, -Z / 2 + dz / 2 + i * dz);
  std::copy(pts, pts + n, pts + n);
  o.deformPoints = pts;
  o.deformPointCount = n;
  halfX = X / 2;
  halfZ = Z / 2;
  return true;
}

// Grid counts of an FFD as the host lays it out (below 2 counts as 2); false
// when they do not describe its point array, so the rim walk below can
// never leave it.
bool FfdGridCounts(const BaseContainer& ffd, LONG pointCount, int64_t& a, int64_t& b, int64_t& c) {
  a = std::max<LONG>(ffd.GetLong(FFDOBJECT_SUBX), 2);
  b = std::max<LONG>(ffd.GetLong(FFDOBJECT_SUBY), 2);
  c = std::max<LONG>(ffd.GetLong(FFDOBJECT_SUBZ), 2);
  if (a > pointCount || b > pointCount || c > pointCount) return false;
  return a * b * c == pointCount;
}

// Links the rim of the FFD's bottom layer (x fastest, then y, then z) or the
// points of a mesh binder's original mesh to their nearest outline points. No
// deformer, another type or no points: no links, no failure. False only
// when the buffer cannot be had.
bool LinkDeformer(BaseDocument* doc, BaseObject* deformer, CollisionOutline& o) {
  if (deformer == nullptr) return true;
  if (deformer->GetType() == Offd) {
    const Vector* grid = nullptr;
    const LONG count = PointsOf(deformer, grid);
    if (count == 0) return true;
    LayFlat(deformer);
    int64_t a = 0, b = 0, c = 0;
    if (!FfdGridCounts(*deformer->GetDataInstance(), count, a, b, c)) return true;
    const int64_t rim = a + c - 2;
    const int64_t m = 2 * rim;
    int32* links = AllocArray<int32>(m);
    if (links == nullptr) return false;
    int64_t g = 0;
    for (int64_t k = 0; k < m; ++k) {
      links[k] = NearestOutlinePoint(o, grid[g]);
      if (k < c - 1)
        g += a * b;
      else if (k < rim)
        g += 1;
      else if (k < 2 * c + a - 3)
        g -= a * b;
      else
        g -= 1;
    }
    o.deformNeighbours = links;
    o.deformNeighbourCount = static_cast<int32>(m);
    return true;
  }
  if (deformer->GetType() == Omeshbinder) {
    BaseObject* mesh = deformer->GetDataInstance()->GetObjectLink(MESHBINDER_ORIGINAL, doc);
    const Vector* pts = nullptr;
    const LONG count = PointsOf(mesh, pts);
    if (count == 0) return true;
    LayFlat(mesh);
    int32* links = AllocArray<int32>(count);
    if (links == nullptr) return false;
    for (LONG i = 0; i < count; ++i) links[i] = NearestOutlinePoint(o, pts[i]);
    o.deformNeighbours = links;
    o.deformNeighbourCount = count;
  }
  return true;
}

// Attached parts follow the outline point nearest to them, more fully the
// nearer they sit to it relative to the size of its crumple zone.
bool LinkAttachedParts(BaseDocument* doc, const BaseContainer& bc, Real unitsPerMetre, CollisionOutline& o) {
  const BaseObject* group = bc.GetObjectLink(CAR_PARTS_LINK, doc);
  if (group == nullptr || group->GetDown() == nullptr) return true;
  int32 count = 0;
  for (BaseObject* c = group->GetDown(); c != nullptr && count < kMaxAttachedParts; c = c->GetNext()) ++count;
  AttachedPart* parts = AllocArray<AttachedPart>(count);
  if (parts == nullptr) return false;
  const int32 n = o.deformPointCount;
  int32 i = 0;
  for (BaseObject* child = group->GetDown(); child != nullptr && i < count; child = child->GetNext(), ++i) {
    AttachedPart& part = parts[i];
    part = AttachedPart();
    part.object = child;
    const Matrix ml = child->GetMl();
    Real d = 0.0;
    part.outlineIndex = NearestOutlinePoint(o, ml.off, &d);
    Vector disp;
    const int32 zone = ClassifyOutlinePoint(o, part.outlineIndex, disp);
    const Real sx = (zone & (kZoneMinusX | kZonePlusX)) ? o.zoneLength[1] : 0.0;
    const Real sz = (zone & kZoneFront) ? o.zoneLength[0] : ((zone & kZoneRear) ? o.zoneLength[2] : 0.0);
    const Real h = std::sqrt(sx * sx + sz * sz);
    part.weight = h < 0.0001 ? 0.0 : std::max(0.0, 1.0 - (d / unitsPerMetre) / h);
    Matrix frame;
    GetPolylineFrame(frame, o.deformPoints, n, part.outlineIndex, Vector(0.0, 1.0, 0.0));
    part.relativeMatrix = Invert(frame) * ml;
  }
  o.attachedParts = parts;
  o.attachedPartCount = count;
  return true;
}

}  // namespace

void FreeCollisionOutline(CollisionOutline& o) {
  if (o.deformPoints != nullptr) GeFree(o.deformPoints);
  o.deformPoints = nullptr;
  o.deformPointCount = 0;
  if (o.deformNeighbours != nullptr) GeFree(o.deformNeighbours);
  o.deformNeighbours = nullptr;
  o.deformNeighbourCount = 0;
  if (o.attachedParts != nullptr) GeFree(o.attachedParts);
  o.attachedParts = nullptr;
  o.attachedPartCount = 0;
}

int32 NearestOutlinePoint(const CollisionOutline& o, const Vector& q, Real* distance) {
  const int32 n = o.deformPointCount;
  if (o.deformPoints == nullptr || n < 1) {
    if (distance != nullptr) *distance = 0.0;
    return -1;
  }
  int32 best = 0;
  Real bestDist = 0.0;
  for (int32 i = 0; i < n; ++i) {
    const Vector& p = o.deformPoints[i];
    const Real dx = q.x - p.x, dy = 0.0 - p.y, dz = q.z - p.z;
    const Real dist = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (i == 0 || dist < bestDist) {
      best = i;
      bestDist = dist;
    }
  }
  if (distance != nullptr) *distance = bestDist;
  return best;
}

int32 ClassifyOutlinePoint(const CollisionOutline& o, int32 i, Vector& displacement) {
  const int32 n = o.deformPointCount;
  if (o.deformPoints == nullptr || i < 0 || i >= n) {
    displacement = Vector();
    return 0;
  }
  const Vector& p = o.deformPoints[i];
  displacement = p - o.deformPoints[n + i];
  const Real xmin = o.innerCorners[0].x, zmax = o.innerCorners[0].z;
  const Real xmax = o.innerCorners[2].x, zmin = o.innerCorners[2].z;
  int32 zone = 0;
  if (p.x < xmin)
    zone = kZoneMinusX;
  else if (p.x > xmax)
    zone = kZonePlusX;
  if (p.z > zmax)
    zone += kZoneFront;
  else if (p.z < zmin)
    zone += kZoneRear;
  if (zone == 0 && 0.75 * xmin < p.x && p.x < 0.75 * xmax && 0.8 * zmin < p.z && p.z < 0.8 * zmax) zone = kZoneCore;
  return zone;
}

void PlaceFootprintInWorld(CarState& car) {
  CollisionOutline& o = car.collisionOutline;
  for (int32 i = 0; i < 4; ++i) o.footprint[i] = car.bodyMatrix * o.localFootprint[i];
}

int32 BuildCollisionOutline(BaseDocument* doc, const BaseContainer& bc, CarState& car) {
  CollisionOutline& o = car.collisionOutline;
  ReadCrashReaction(bc, car.crashReaction);

  const CustomDataType* custom = bc.GetCustomDataType(CAR_FORCE_CURVE, CUSTOMDATATYPE_SPLINE);
  if (custom == nullptr) return 0;
  const SplineData& curve = static_cast<const SplineData&>(*custom);
  const Real u = car.settings.unitsPerMetre;
  // Every length below is converted with it; 0 or NaN would fill the zones
  // with infinities.
  if (!(u > 0.0 && std::isfinite(u))) return 0;

  o.counterForce[0] = 1000.0 * bc.GetReal(CAR_COUNTERFORCE_FRONT);
  o.counterForce[1] = 1000.0 * bc.GetReal(CAR_COUNTERFORCE_SIDE);
  o.counterForce[2] = 1000.0 * bc.GetReal(CAR_COUNTERFORCE_REAR);
  o.counterForce[3] = o.counterForce[1];
  o.zoneLength[0] = bc.GetReal(CAR_CRUMPLE_FRONT) / u;
  o.zoneLength[1] = bc.GetReal(CAR_CRUMPLE_SIDE) / u;
  o.zoneLength[2] = bc.GetReal(CAR_CRUMPLE_REAR) / u;
  o.zoneLength[3] = o.zoneLength[1];
  // The table holds the curve at compression fractions k/100 of its own x
  // range: the presets run x from 0 to 100, and reading them at x = k/100
  // would see only their first percent.
  {
    Real x0 = 0.0, x1 = 1.0, xstep = 0.0, y0 = 0.0, y1 = 0.0, ystep = 0.0;
    curve.GetRange(&x0, &x1, &xstep, &y0, &y1, &ystep);
    for (int32 k = 0; k < kForceCurveSamples; ++k)
      o.forceCurveTable[k] = 0.01 * curve.GetPoint(x0 + (x1 - x0) * (k / 100.0)).y;
  }

  const Vector& size = car.bodySize;
  const Real xmin = u * o.zoneLength[1] - size.x / 2;
  const Real xmax = -xmin;
  const Real zmax = size.z / 2 - u * o.zoneLength[0];
  const Real zmin = u * o.zoneLength[2] - size.z / 2;
  o.innerCorners[0] = Vector(xmin, 0.0, zmax);
  o.innerCorners[1] = Vector(xmax, 0.0, zmax);
  o.innerCorners[2] = Vector(xmax, 0.0, zmin);
  o.innerCorners[3] = Vector(xmin, 0.0, zmin);

  // Outer corners of the wheels: front outer-forward, rear outer-backward.
  const Vector F = bc.GetVector(RIG_REST_HUB);
  const Vector R = bc.GetVector(RIG_REST_HUB + 2);
  const Real fx = bc.GetReal(CAR_WHEEL_WIDTH_FRONT) / 2, fz = bc.GetReal(CAR_WHEEL_DIAMETER_FRONT) / 2;
  const Real rx = bc.GetReal(CAR_WHEEL_WIDTH_REAR) / 2, rz = bc.GetReal(CAR_WHEEL_DIAMETER_REAR) / 2;
  car.trackedPoints[0] = Vector(F.x + fx, 0.0, F.z + fz);
  car.trackedPoints[1] = Vector(-(F.x + fx), 0.0, F.z + fz);
  car.trackedPoints[2] = Vector(R.x + rx, 0.0, R.z - rz);
  car.trackedPoints[3] = Vector(-(R.x + rx), 0.0, R.z - rz);

  // Attached parts index the outline, so they go with it: a build that
  // fails below must not leave parts pointing into an outline that is gone.
  FreeCollisionOutline(o);
  o.outlineHeight = 0.0;

  Real halfX = 0.0, halfZ = 0.0;
  BaseObject* linked = bc.GetObjectLink(CAR_OUTLINE_LINK, doc);
  const Vector* src = nullptr;
  const LONG c = PointsOf(linked, src);
  const bool built = c > 0 ? OutlineFromObject(linked, src, c, o, halfX, halfZ)
                           : OutlineFromBodySize(size, o, halfX, halfZ);
  if (!built) return 0;

  const Vector corners[4] = {Vector(-halfX, 0.0, halfZ), Vector(halfX, 0.0, halfZ), Vector(halfX, 0.0, -halfZ),
                             Vector(-halfX, 0.0, -halfZ)};
  for (int32 i = 0; i < 4; ++i) o.footprint[i] = o.localFootprint[i] = corners[i];

  if (!LinkDeformer(doc, bc.GetObjectLink(CAR_DEFORMER_LINK, doc), o)) return 0;
  if (!LinkAttachedParts(doc, bc, u, o)) return 0;
  return 1;
}
