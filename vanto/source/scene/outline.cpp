#include "scene/outline.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "carsim/car_param_ids.h"
#include "scene/frames.h"
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
  Vec3* pts = AllocArray<Vec3>(2 * static_cast<int64_t>(c));
  if (pts == nullptr) return false;
  std::vector<Vec3> drawn(static_cast<std::size_t>(c));
  for (LONG i = 0; i < c; ++i) drawn[static_cast<std::size_t>(i)] = VectorToHostOrder(src[i]);
  FlatClockwiseOutline(drawn.data(), c, pts, halfX, halfZ);
  o.deformPoints = pts;
  o.deformPointCount = c;
  return true;
}

// The default outline: the body rectangle sampled at even spacing, starting
// at the front left and running clockwise. False for a body size that is
// negative or not finite, or when the buffer cannot be had.
bool OutlineFromBodySize(const Vector& size, CollisionOutline& o, Real& halfX, Real& halfZ) {
  BodyOutlinePlan plan;
  if (!PlanBodyOutline(size.x, size.z, plan)) return false;
  const int32 n = plan.Count();
  Vec3* pts = AllocArray<Vec3>(2 * static_cast<int64_t>(n));
  if (pts == nullptr) return false;
  for (int32 k = 0; k < n; ++k) pts[k] = pts[n + k] = BodyOutlinePoint(plan, k);
  o.deformPoints = pts;
  o.deformPointCount = n;
  halfX = size.x / 2;
  halfZ = size.z / 2;
  return true;
}

// Grid counts of an FFD as the host lays it out (below 2 counts as 2); false
// when they do not describe its point array, so the rim walk below can
// never leave it.
bool FfdGridCounts(const BaseContainer& ffd, LONG pointCount, FfdGrid& grid) {
  grid.a = std::max<LONG>(ffd.GetLong(FFDOBJECT_SUBX), 2);
  grid.b = std::max<LONG>(ffd.GetLong(FFDOBJECT_SUBY), 2);
  grid.c = std::max<LONG>(ffd.GetLong(FFDOBJECT_SUBZ), 2);
  return FfdGridMatches(grid, pointCount);
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
    FfdGrid counts;
    if (!FfdGridCounts(*deformer->GetDataInstance(), count, counts)) return true;
    const int64_t m = counts.RimCount();
    int32* links = AllocArray<int32>(m);
    if (links == nullptr) return false;
    int64_t g = 0;
    for (int64_t k = 0; k < m; ++k) {
      links[k] = NearestOutlinePoint(o, VectorToHostOrder(grid[g]));
      g = FfdRimNext(counts, k, g);
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
    for (LONG i = 0; i < count; ++i) links[i] = NearestOutlinePoint(o, VectorToHostOrder(pts[i]));
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
    part.outlineIndex = NearestOutlinePoint(o, VectorToHostOrder(ml.off), &d);
    Vec3 disp;
    const int32 zone = ClassifyOutlinePoint(o, part.outlineIndex, disp);
    part.weight = AttachedPartWeight(zone, o.zoneLength, d, unitsPerMetre);
    AxisFrame frame;
    GetPolylineFrame(frame, o.deformPoints, n, part.outlineIndex, Vec3(0.0, 1.0, 0.0));
    part.relativeMatrix = MatrixToAxisFrame(Invert(AxisFrameToMatrix(frame)) * ml);
  }
  o.attachedParts = parts;
  o.attachedPartCount = count;
  return true;
}

void ReleaseOutlineWork(CollisionOutline& o) {
  if (o.workPoints != nullptr) GeFree(o.workPoints);
  if (o.workList != nullptr) GeFree(o.workList);
  o.workPoints = nullptr;
  o.workList = nullptr;
  o.workCapacity = 0;
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
  ReleaseOutlineWork(o);
}

bool ReserveOutlineWork(CollisionOutline& o, int32 n) {
  if (n < 1) return false;
  if (o.workCapacity >= n && o.workPoints != nullptr && o.workList != nullptr) return true;
  ReleaseOutlineWork(o);
  o.workPoints = AllocArray<Vec3>(2 * static_cast<int64_t>(n));
  o.workList = o.workPoints != nullptr ? AllocArray<int32>(static_cast<int64_t>(n) + 1) : nullptr;
  if (o.workList == nullptr) {
    ReleaseOutlineWork(o);
    return false;
  }
  o.workCapacity = n;
  return true;
}

void PlaceFootprintInWorld(CarState& car) {
  CollisionOutline& o = car.collisionOutline;
  const AxisFrame body = MatrixToAxisFrame(car.bodyMatrix);
  for (int32 i = 0; i < 4; ++i) o.footprint[i] = FramePoint(body, o.localFootprint[i]);
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

  {
    const double counterForceKN[3] = {bc.GetReal(CAR_COUNTERFORCE_FRONT), bc.GetReal(CAR_COUNTERFORCE_SIDE),
                                      bc.GetReal(CAR_COUNTERFORCE_REAR)};
    const double zoneLengthScene[3] = {bc.GetReal(CAR_CRUMPLE_FRONT), bc.GetReal(CAR_CRUMPLE_SIDE),
                                       bc.GetReal(CAR_CRUMPLE_REAR)};
    CrumpleZoneTables(counterForceKN, zoneLengthScene, u, o.counterForce, o.zoneLength);
  }
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
  const OutlineCore core = InnerOutlineRectangle(size.x, size.z, u, o.zoneLength);
  o.innerCorners[0] = Vec3(core.xmin, 0.0, core.zmax);
  o.innerCorners[1] = Vec3(core.xmax, 0.0, core.zmax);
  o.innerCorners[2] = Vec3(core.xmax, 0.0, core.zmin);
  o.innerCorners[3] = Vec3(core.xmin, 0.0, core.zmin);

  {
    Vec3 corners[4];
    OuterWheelCorners(VectorToHostOrder(bc.GetVector(RIG_REST_HUB)), VectorToHostOrder(bc.GetVector(RIG_REST_HUB + 2)),
                      bc.GetReal(CAR_WHEEL_WIDTH_FRONT) / 2, bc.GetReal(CAR_WHEEL_DIAMETER_FRONT) / 2,
                      bc.GetReal(CAR_WHEEL_WIDTH_REAR) / 2, bc.GetReal(CAR_WHEEL_DIAMETER_REAR) / 2, corners);
    for (int32 w = 0; w < 4; ++w) car.trackedPoints[w] = HostOrderToVector(corners[w]);
  }

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

  const Vec3 corners[4] = {Vec3(-halfX, 0.0, halfZ), Vec3(halfX, 0.0, halfZ), Vec3(halfX, 0.0, -halfZ),
                           Vec3(-halfX, 0.0, -halfZ)};
  for (int32 i = 0; i < 4; ++i) o.footprint[i] = o.localFootprint[i] = corners[i];

  if (!LinkDeformer(doc, bc.GetObjectLink(CAR_DEFORMER_LINK, doc), o)) return 0;
  if (!LinkAttachedParts(doc, bc, u, o)) return 0;
  return 1;
}
