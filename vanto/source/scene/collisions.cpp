#include "scene/collisions.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "carsim/car_param_ids.h"
#include "engine/body_ground_contact.h"
#include "engine/collision_response.h"
#include "engine/outline_contact.h"
#include "engine/outline_response.h"
#include "host_services.h"
#include "scene/ground.h"
#include "scene/outline.h"
#include "scene/run_state.h"

namespace collision {

namespace {

using namespace axes;

inline bool Positive(double v) { return v > 0.0 && std::isfinite(v); }

// A tested car's scratch: its world outline with its vertex normals behind
// it, and an index list (the outline's own, see ReserveOutlineWork).
struct Work {
  Vec3* points;
  int32* list;
};

bool HasOutline(const CarState& car) {
  const CollisionOutline& o = car.collisionOutline;
  return o.deformPoints != nullptr && o.deformPointCount > 0;
}

// The car's current outline in world coordinates.
void WorldOutline(const CollisionOutline& o, const AxisFrame& body, Vec3* out) {
  FramePoints(body, o.deformPoints, o.deformPointCount, out);
}

// The first free slot takes the force (host order, N) and its world point
// (scene units); with none free the force is dropped.
void QueueForce(CarState& car, const Vec3& force, const Vec3& worldPoint) {
  QueueExternalForce(car.dynamics, HostOrderToDynamicsAxes(force),
                     HostPointToDynamics(HostOrderToVector(worldPoint), car.settings.unitsPerMetre));
}

void RecordImpact(CarState& car, int32 side, const Vec3& force, const Vec3& point, double value) {
  if (side < 0 || side > 3) return;
  car.sideImpulse[side] += HostOrderToVector(force);
  car.sideContactPoints[side] = HostOrderToVector(point);
  car.impactValue = value;
  // The step itself, not rounded to whole milliseconds: at fine steps a
  // rounded step would leave the contact time at zero.
  car.impactTimeMs += car.settings.stepDt * 1000.0;
}

// The resistance of the listed points of the car's outline; a last point
// pressed into the core crashes the car.
OutlineResistance Resist(CarState& car, const int32* list, int32 k, double stopping, const Vec3& push) {
  const OutlineResistance r =
      ResistancePass(car.collisionOutline, car.settings.unitsPerMetre, list, k, stopping, push);
  if (r.core) car.dynamics.crashFlag = 1;
  return r;
}

Vec3 VelocityOf(const CarState& car, const AxisFrame& body, const Vec3& worldPoint) {
  return VelocityAtPoint(body, car.velocity, car.angularVelocity, car.settings.unitsPerMetre, worldPoint);
}

bool Significant(const Vec3& v) { return std::fabs(v.x) >= 0.01 || std::fabs(v.y) >= 0.01 || std::fabs(v.z) >= 0.01; }

}  // namespace

// ---------------------------------------------------------------- the tests

int32 CollideCars(CarState& a, CarState& b) {
  if (!HasOutline(a) || !HasOutline(b)) return 0;
  const double u = a.settings.unitsPerMetre;
  const double dt = a.settings.stepDt;
  if (!Positive(u) || !Positive(dt)) return 0;
  const Vector oa = a.bodyMatrix.off, ob = b.bodyMatrix.off;
  if ((oa - ob).GetLength() > a.boundingRadius + b.boundingRadius) return 0;
  if (std::fabs(oa.y - ob.y) > (a.bodySize.y + b.bodySize.y) / 2.0) return 0;
  if (!FootprintsMeet(a.collisionOutline.footprint, b.collisionOutline.footprint)) return 0;

  CollisionOutline& outA = a.collisionOutline;
  CollisionOutline& outB = b.collisionOutline;
  const AxisFrame frameA = MatrixToAxisFrame(a.bodyMatrix), frameB = MatrixToAxisFrame(b.bodyMatrix);
  const int32 na = outA.deformPointCount, nb = outB.deformPointCount;
  if (!ReserveOutlineWork(outA, na) || !ReserveOutlineWork(outB, nb)) return 0;
  const Work wa{outA.workPoints, outA.workList}, wb{outB.workPoints, outB.workList};
  WorldOutline(outA, frameA, wa.points);
  WorldOutline(outB, frameB, wb.points);

  Vec3 ka, kb;
  const int32 countA = PointsInsideOutline(wa.points, na, wb.points, nb, wa.list, ka);
  if (countA == 0) return 0;
  ka.y += outA.outlineHeight;
  const int32 countB = PointsInsideOutline(wb.points, nb, wa.points, na, wb.list, kb);
  if (countB == 0) return 0;
  kb.y += outB.outlineHeight;

  OutlineVertexNormals(wa.points, frameA.v2, na, wa.list, countA);
  OutlineVertexNormals(wb.points, frameB.v2, nb, wb.list, countB);
  Vec3 normalA, normalB;
  OutlineCentroid(normalA, wa.points + na, wa.list, countA);
  OutlineCentroid(normalB, wb.points + nb, wb.list, countB);

  const Vec3 va = VelocityOf(a, frameA, ka), vb = VelocityOf(b, frameB, kb);
  const Vec3 n = Normalized(Sub(normalA, normalB));  // from a toward b
  ClosingContact closingContact;
  ClosingContactAlong(closingContact, n, va, vb, a.totalMass, b.totalMass, dt);
  const double stopping = closingContact.stoppingForce;

  const Vec3 la = FrameDirection(InvertFrame(frameA), Neg(n));
  const Vec3 lb = FrameDirection(InvertFrame(frameB), n);
  const OutlineResistance ra = Resist(a, wa.list, countA, stopping, la);
  const OutlineResistance rb = Resist(b, wb.list, countB, stopping, lb);
  const double total = ra.mean + rb.mean;
  const double share = total > 0.0 ? ra.mean / total : 0.5;

  const double closing = closingContact.closingSpeed * dt * u;
  PressOutlineIn(outA, wa.list, countA, Mul(la, closing * (1.0 - share)));
  PressOutlineIn(outB, wb.list, countB, Mul(lb, closing * share));

  const double force = std::min(total, closingContact.forceLimit);
  const Vec3 fa = FrameDirection(frameA, Mul(la, force));
  const Vec3 fb = FrameDirection(frameB, Mul(lb, force));
  QueueForce(a, fa, ka);
  QueueForce(b, fb, kb);
  RecordImpact(a, ra.side >= 0 ? ra.side : SideFromContactPoint(outA, frameA, ka), fa, ka, 1.0 - share);
  RecordImpact(b, rb.side >= 0 ? rb.side : SideFromContactPoint(outB, frameB, kb), fb, kb, share);
  return 1;
}

int32 CollideCarWithObstacle(CarState& car, CollisionShape& shape) {
  const LONG type = shape.objectType;
  const Vector* cache = shape.points;
  const int32 count = shape.pointCount;
  if (type == kObstacleCube) {
    if (!cache || count < 8) return 0;
  } else if (type == kObstacleCylinder || type == kObstacleSpline) {
    if (!cache || count < 1) return 0;
  } else {
    return 0;
  }
  if (!HasOutline(car)) return 0;
  const double u = car.settings.unitsPerMetre;
  const double dt = car.settings.stepDt;
  if (!Positive(u) || !Positive(dt)) return 0;
  if ((car.bodyMatrix.off - shape.centre).GetLength() > car.boundingRadius + shape.radius) return 0;
  CollisionOutline& outline = car.collisionOutline;
  Vec3 middle[4];
  for (int32 i = 0; i < 4; ++i) middle[i] = VectorToHostOrder(shape.middleRect[i]);
  if (!FootprintsMeet(outline.footprint, middle)) return 0;

  const AxisFrame body = MatrixToAxisFrame(car.bodyMatrix);
  const int32 n = outline.deformPointCount;
  if (!ReserveOutlineWork(outline, n)) return 0;
  Vec3* w = outline.workPoints;
  int32* list = outline.workList;
  WorldOutline(outline, body, w);

  int32 k = 0;
  Vec3 contact, meanNormal, normal;
  if (type == kObstacleSpline) {
    std::vector<Vec3> q(static_cast<std::size_t>(count));
    for (int32 i = 0; i < count; ++i) q[static_cast<std::size_t>(i)] = VectorToHostOrder(cache[i]);
    k = PointsInsideOutline(w, n, q.data(), count, list, contact);
    if (k == 0) return 0;
    OutlineVertexNormals(w, body.v2, n, list, k);
    OutlineCentroid(meanNormal, w + n, list, k);
    const Vec3 v = VelocityOf(car, body, contact);
    const Vec3 crossed = CrossedEdgeNormal(q.data(), count, w, list, k, Mul(v, -100.0));
    normal = Significant(crossed) ? Normalized(Sub(meanNormal, crossed)) : meanNormal;
  } else if (type == kObstacleCube) {
    OutlineVertexNormals(w, body.v2, n, nullptr, 0);
    Vec3 corners[8], face;
    for (int32 i = 0; i < 8; ++i) corners[i] = VectorToHostOrder(cache[i]);
    k = FindObstacleEntryFace(w, n, corners, MatrixToAxisFrame(shape.matrix), list, contact, face);
    if (k == 0) return 0;
    OutlineCentroid(meanNormal, w + n, list, k);
    normal = Normalized(Sub(meanNormal, face));
  } else {
    // The cylinder's radius is the x of its first cached point.
    Vec3 out;
    k = PointsInsideCylinder(w, n, cache[0].x, VectorToHostOrder(shape.matrix.off), list, contact, out);
    if (k == 0) return 0;
    OutlineVertexNormals(w, body.v2, n, list, k);
    OutlineCentroid(meanNormal, w + n, list, k);
    normal = Normalized(Sub(meanNormal, out));
  }
  contact.y += outline.outlineHeight;
  const Vec3 v = VelocityOf(car, body, contact);

  const ObstacleApproach approach = ApproachAlong(normal, v, car.totalMass, dt);
  const double stopping = approach.stoppingForce;
  const Vec3 push = FrameDirection(InvertFrame(body), Neg(normal));
  const OutlineResistance r = Resist(car, list, k, stopping, push);
  PressOutlineIn(outline, list, k, Mul(push, approach.speed * dt * u));

  // As between cars: at most what stops the approach within the step; a
  // zone's full resistance would throw a slow car back off the wall.
  const double magnitude = std::min(r.mean, stopping);
  const Vec3 force = FrameDirection(body, Mul(push, magnitude));
  QueueForce(car, force, contact);
  RecordImpact(car, r.side >= 0 ? r.side : SideFromContactPoint(outline, body, contact), force, contact, 1.0);
  shape.impactPoint = HostOrderToVector(contact);
  shape.impactSum += HostOrderToVector(Mul(normal, magnitude));
  return 1;
}

void ClipPointsToOutline(CarState& car) {
  const int32 wheels = std::min<int32>(car.wheelCount, kMaxWheels);
  const Vec3 axis = VectorToHostOrder(car.bodyMatrix.v3);
  for (int32 w = 0; w < wheels; ++w) {
    Vec3 move;
    if (!WheelCornerOntoOutline(car.collisionOutline, VectorToHostOrder(car.trackedPoints[w]), axis, move)) continue;
    const Vector m = HostOrderToVector(move);
    car.wheelMatrices[w].off += m;
    car.wheelHubMatrices[w].off += m;
    car.wheelSteerFreeMatrices[w].off += m;
    car.dynamics.crashFlag = 1;
  }
}

BodyPointGround::BodyPointGround(BaseDocument* doc, const BaseContainer& bc, CarState& car)
    : BodyPointGround(bc.GetObjectLink(CAR_GROUND_GROUP, doc), car) {}

void BodyPointGround::GroundAt(const Vec3& point, GroundHit& hit) const {
  // Without a group to search or a route that acts as ground, the answer is
  // the default ground's plane wherever the point is.
  if (const GroundHit* uniform = UniformGround()) {
    CopyGroundPlane(hit, *uniform);
    return;
  }
  // Every query starts from the default ground, as a wheel's first does.
  if (search_) CopyGroundPlane(*search_, car_.defaultGround);
  else search_.emplace(car_.defaultGround);
  QueryGroundPoint(group_, DynamicsPointToHost(point, car_.settings.unitsPerMetre), *search_, car_);
  CopyGroundPlane(hit, *search_);
}

namespace {

// The body's corners held out of the ground; `planes(corners, normals,
// offsets)` gives the ground's plane under each corner (host order, plane
// offset in metres).
template <class Planes>
void HoldBodyOutOfGround(CarState& car, Planes planes) {
  CarDynamics& d = car.dynamics;
  const int32 wheels = std::min<int32>(car.wheelCount, kMaxWheels);
  for (int32 w = 0; w < wheels; ++w)
    if (d.tyreOutput[w].contact) return;
  const double u = car.settings.unitsPerMetre;
  const double dt = car.settings.stepDt;
  if (!Positive(u) || !Positive(dt)) return;

  BodyMotion body;
  body.frame = MatrixToAxisFrame(car.bodyMatrix);
  body.velocity = car.velocity;
  body.angularVelocity = car.angularVelocity;
  body.mass = car.totalMass;
  body.weight = car.totalWeight;
  body.unitsPerMetre = u;
  body.dt = dt;
  Vec3 roof[4];
  for (int32 i = 0; i < 4; ++i) roof[i] = VectorToHostOrder(car.roofCorners[i]);
  Vec3 corners[kBodyCorners], normals[kBodyCorners];
  double offsets[kBodyCorners];
  BodyCornerPoints(body.frame, VectorToHostOrder(car.bodySize), roof, corners);
  planes(corners, normals, offsets);
  const BodyGroundPush push = BodyGroundResponse(body, corners, normals, offsets);
  if (push.contacts == 0) return;

  AddToVec3(d.body.position, HostOrderToDynamicsAxes(push.shift));
  for (int32 j = 0; j < push.contacts; ++j) QueueForce(car, push.forces[j], push.points[j]);
  // A drag against the sliding body, in the last slot whatever it held.
  d.externalForces[kForceSlots - 1] = HostOrderToDynamicsAxes(push.drag);
  d.externalForcePoints[kForceSlots - 1] = HostPointToDynamics(car.bodyMatrix.off, u);
}

}  // namespace

void ResolveBodyGroundContact(CarState& car, const GroundSource* ground) {
  HoldBodyOutOfGround(car, [&](const Vec3* corners, Vec3* normals, double* offsets) {
    const double u = car.settings.unitsPerMetre;
    // Each answer gives the plane whole; only the plane is read.
    GroundHit hit;
    if (ground) CopyGroundPlane(hit, car.defaultGround);
    for (int32 i = 0; i < kBodyCorners; ++i) {
      if (ground) {
        ground->GroundAt(HostPointToDynamics(HostOrderToVector(corners[i]), u), hit);
        normals[i] = DynamicsToHostOrder(hit.normal);
        offsets[i] = hit.planeOffset;
      } else {
        normals[i] = VectorToHostOrder(car.defaultGround.hostNormal);
        offsets[i] = car.defaultGround.planeOffset;
      }
    }
  });
}

void ResolveBodyGroundContact(CarState& car, const BodyPointGround* ground) {
  const GroundHit* uniform = ground ? ground->UniformGround() : nullptr;
  if (!uniform) {
    ResolveBodyGroundContact(car, static_cast<const GroundSource*>(ground));
    return;
  }
  // What every corner's query would copy from the record.
  HoldBodyOutOfGround(car, [&](const Vec3*, Vec3* normals, double* offsets) {
    const Vec3 normal = DynamicsToHostOrder(uniform->normal);
    for (int32 i = 0; i < kBodyCorners; ++i) {
      normals[i] = normal;
      offsets[i] = uniform->planeOffset;
    }
  });
}

}  // namespace collision
