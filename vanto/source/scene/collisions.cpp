#include "scene/collisions.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "carsim/polygon_geometry.h"
#include "engine/collision_response.h"
#include "host_services.h"
#include "scene/outline.h"
#include "scene/run_state.h"

namespace collision {

namespace {

inline bool Positive(double v) { return v > 0.0 && std::isfinite(v); }

// The working buffers of one tested car: its world outline with room for the
// vertex normals behind it, and an index list. Released on every return.
struct OutlineWork {
  Vector* points = nullptr;  // 2n
  int32* list = nullptr;     // n + 1
  OutlineWork() = default;
  OutlineWork(const OutlineWork&) = delete;
  OutlineWork& operator=(const OutlineWork&) = delete;
  ~OutlineWork() {
    if (points) GeFree(points);
    if (list) GeFree(list);
  }
  bool Allocate(int32 n) {
    points = static_cast<Vector*>(GeAlloc(sizeof(Vector) * 2 * static_cast<std::size_t>(n)));
    if (!points) return false;
    list = static_cast<int32*>(GeAlloc(sizeof(int32) * (static_cast<std::size_t>(n) + 1)));
    return list != nullptr;
  }
};

bool HasOutline(const CarState& car) {
  const CollisionOutline& o = car.collisionOutline;
  return o.deformPoints != nullptr && o.deformPointCount > 0;
}

// The car's current outline in world coordinates.
void WorldOutline(const CarState& car, Vector* out) {
  const CollisionOutline& o = car.collisionOutline;
  for (int32 i = 0; i < o.deformPointCount; ++i) out[i] = car.bodyMatrix * o.deformPoints[i];
}

// The first free slot takes the force (host axes, N) and its world point
// (scene units); with none free the force is dropped.
void QueueForce(CarState& car, const Vector& force, const Vector& worldPoint) {
  Vec3 f, p;
  HostToDynamicsAxes(force, f);
  HostToDynamicsAxes(worldPoint / car.settings.unitsPerMetre, p);
  QueueExternalForce(car.dynamics, f, p);
}

void RecordImpact(CarState& car, int32 side, const Vector& force, const Vector& point, double value) {
  if (side < 0 || side > 3) return;
  car.sideImpulse[side] += force;
  car.sideContactPoints[side] = point;
  car.impactValue = value;
  // The step itself, not rounded to whole milliseconds: at fine steps a
  // rounded step would leave the contact time at zero.
  car.impactTimeMs += car.settings.stepDt * 1000.0;
}

double SideResistance(const CollisionOutline& o, int32 side, double depth) {
  return ZoneResistance(o.forceCurveTable, o.zoneLength[side], o.counterForce[side], depth);
}

struct Resistance {
  double mean = 0.0;
  int32 side = -1;
};

// Mean resistance of the listed points: a zone point by its zone, any other
// by the stopping force. A last point pressed into the core crashes the car.
Resistance ResistancePass(CarState& car, const int32* list, int32 k, double stopping, const Vector& push) {
  const CollisionOutline& o = car.collisionOutline;
  const double u = car.settings.unitsPerMetre;
  Resistance r;
  double sum = 0.0;
  int32 lastClass = 0;
  for (int32 j = 0; j < k; ++j) {
    Vector d;
    const int32 c = ClassifyOutlinePoint(o, list[j], d);
    if ((c & 15) == 0) {
      sum += stopping;
    } else {
      int32 side = -1;
      sum += ImpactSideFactor(o, c, d / u, push, side);
      r.side = side;
    }
    lastClass = c;
  }
  if (lastClass & kZoneCore) car.dynamics.crashFlag = 1;
  r.mean = k > 0 ? sum / k : 0.0;
  return r;
}

bool Significant(const Vector& v) { return std::fabs(v.x) >= 0.01 || std::fabs(v.y) >= 0.01 || std::fabs(v.z) >= 0.01; }

}  // namespace

// ---------------------------------------------------------------- pieces

int32 PointsInsideOutline(const Vector* P, int32 m, const Vector* Q, int32 q, int32* list, Vector& mean) {
  int32 k = 0;
  Vector sum;
  for (int32 i = 0; i < m; ++i) {
    if (WindingNumberXZ(Q, q, P[i]) == 0) continue;
    list[k++] = i;
    sum += P[i];
  }
  mean = k > 0 ? sum / k : Vector();
  if (k > 0) list[k] = list[0];
  return k;
}

int32 FootprintsOverlap(const Vector a[4], const Vector b[4]) {
  for (int i = 0; i < 4; ++i)
    if (WindingNumberXZ(b, 4, a[i]) != 0) return 1;
  for (int i = 0; i < 4; ++i)
    if (WindingNumberXZ(a, 4, b[i]) != 0) return 1;
  return 0;
}

int32 FootprintEdgesCross(const Vector a[4], const Vector b[4]) {
  for (int i = 0; i < 4; ++i) {
    const Vector& p = a[i];
    const Vector u = a[(i + 1) % 4] - p;
    for (int j = 0; j < 4; ++j)
      if (SegmentCrossingXZ(p, u, b[j], b[(j + 1) % 4] - b[j]) > 0.0) return 1;
  }
  return 0;
}

int32 FootprintsMeet(const Vector a[4], const Vector b[4]) {
  return FootprintsOverlap(a, b) || FootprintEdgesCross(a, b) ? 1 : 0;
}

Vector OutlineCentroid(Vector& mean, const Vector* points, const int32* list, int32 count) {
  mean = Vector();
  if (count < 1) return mean;
  for (int32 j = 0; j < count; ++j) mean += points[list[j]];
  mean /= count;
  return mean;
}

void OutlineVertexNormals(Vector* buffer, const Matrix& body, int32 n, const int32* list, int32 k) {
  if (n < 1) return;
  int32 first = 0, last = n - 1;
  if (list && k > 0 && list[0] > 0 && list[k - 1] < n - 2) {
    first = list[0];
    last = list[k - 1];
  }
  const Vector& up = body.v2;
  for (int32 i = first; i <= last; ++i) {
    const Vector& prev = buffer[i > 0 ? i - 1 : n - 1];
    const Vector& next = buffer[i + 1 < n ? i + 1 : 0];
    buffer[n + i] = (Cross(buffer[i] - prev, up) + Cross(next - buffer[i], up)).GetNormalized();
  }
}

int32 FindObstacleEntryFace(const Vector* buffer, int32 n, const Vector corners[8], const Matrix& box, int32* list,
                            Vector& mean, Vector& normal) {
  const Vector axes[6] = {box.v3, box.v1, -box.v3, -box.v1, box.v2, -box.v2};
  int32 k = 0;
  Vector sum, g;
  for (int32 i = 0; i < n; ++i) {
    const LONG f = FindBoxEntryFace(corners, buffer[i], -buffer[n + i]);
    if (f < 0 || f > 5) continue;
    list[k++] = i;
    sum += buffer[i];
    g += axes[f];
  }
  mean = k > 0 ? sum / k : Vector();
  normal = k > 0 ? g.GetNormalized() : Vector();
  if (k > 0) list[k] = list[0];
  return k;
}

int32 PointsInsideCylinder(const Vector* buffer, int32 n, const Vector* cache, const Matrix& m, int32* list,
                           Vector& mean, Vector& normal) {
  const double r = cache[0].x;
  const Vector& o = m.off;
  int32 k = 0;
  Vector sum, g;
  for (int32 i = 0; i < n; ++i) {
    const Vector& p = buffer[i];
    const Vector out(p.x - o.x, 0.0, p.z - o.z);
    if (!(out.GetLength() < r)) continue;
    list[k++] = i;
    sum += p;
    g += out.GetNormalized();
  }
  mean = k > 0 ? sum / k : Vector();
  normal = k > 0 ? g.GetNormalized() : Vector();
  if (k > 0) list[k] = list[0];
  return k;
}

Vector CrossedEdgeNormal(const Vector* Q, int32 q, const Vector* W, const int32* list, int32 k, const Vector& ray) {
  if (q < 1) return Vector();
  // Edge normals (-e.z, 0, e.x) point outward on a clockwise outline; an
  // outline drawn the other way round has them turned outward here, or a car
  // would be pulled into it.
  const double outward = SignedAreaXZ(Q, q) > 0.0 ? -1.0 : 1.0;
  Vector g;
  for (int32 j = 0; j < k; ++j) {
    const Vector& p = W[list[j]];
    for (int32 e = 1; e <= q; ++e) {
      const Vector& a = Q[e - 1];
      const Vector edge = Q[e % q] - a;
      if (SegmentCrossingXZ(a, edge, p, ray) > 0.0) g += Vector(-edge.z, 0.0, edge.x).GetNormalized() * outward;
    }
  }
  return g.GetNormalized();
}

double ImpactSideFactor(const CollisionOutline& o, int32 c, const Vector& d, const Vector& push, int32& side) {
  side = -1;
  double r = 0.0;
  if (c & (kZoneMinusX | kZonePlusX)) {
    const int32 s = (c & kZoneMinusX) ? 3 : 1;
    side = s;
    r += SideResistance(o, s, std::fabs(d.x));
  }
  if (c & (kZoneRear | kZoneFront)) {
    const int32 s = (c & kZoneFront) ? 0 : 2;
    side = s;
    r += SideResistance(o, s, std::fabs(d.z));
  }
  const bool lateral = std::fabs(push.x) > std::fabs(push.z);
  if ((c & kZoneMinusX) && lateral)
    side = 3;
  else if ((c & kZonePlusX) && lateral)
    side = 1;
  return r;
}

void PressOutlineIn(CollisionOutline& o, const int32* idx, int32 k, const Vector& push) {
  Vector* p = o.deformPoints;
  const int32 n = o.deformPointCount;
  if (!p || n < 1 || k < 1) return;
  const Vector q(push.x, 0.0, push.z);
  // The run and the gaps inside it, tapered from both ends of each gap.
  for (int32 j = 0; j + 1 < k; ++j) {
    p[idx[j]] += q;
    int32 lo = idx[j] + 1, hi = idx[j + 1] - 1;
    for (double w = 0.75; lo <= hi && w > 0.0; w -= 0.25) {
      p[lo++] += q * w;
      if (lo <= hi) p[hi--] += q * w;
    }
  }
  p[idx[k - 1]] += q;
  // The rim: up to three neighbours past each end of the run.
  int32 lo = idx[k - 1] + 1, hi = idx[0];
  double w = 0.75;
  do {
    if (--hi < 0) hi = n - 1;
    if (lo > n - 1) lo = 0;
    if (lo <= hi) {
      p[lo] += q * w;
      break;
    }
    p[lo] += q * w;
    p[hi] += q * w;
    ++lo;
    w -= 0.25;
  } while (w > 0.0);
}

int32 SideFromContactPoint(const CarState& car, const Vector& worldPoint) {
  const Vector k = Invert(car.bodyMatrix) * worldPoint;
  const Vector* c = car.collisionOutline.innerCorners;
  const double xmin = c[0].x, zmax = c[0].z, xmax = c[2].x, zmin = c[2].z;
  int32 side = 0;
  double dist = std::fabs(k.z - zmax);
  if (std::fabs(k.x - xmax) < dist) {
    side = 1;
    dist = std::fabs(k.x - xmax);
  }
  if (std::fabs(k.z - zmin) < dist) {
    side = 2;
    dist = std::fabs(k.z - zmin);
  }
  if (std::fabs(k.x - xmin) < dist) side = 3;
  return side;
}

Vector VelocityAtPoint(const CarState& car, const Vector& worldPoint) {
  const Matrix& m = car.bodyMatrix;
  const Vector r = (worldPoint - m.off) / car.settings.unitsPerMetre;
  const Vec3& w = car.angularVelocity;
  const Vector omega = m.v1 * w.x + m.v2 * w.y + m.v3 * w.z;
  return Vector(car.velocity.x, car.velocity.y, car.velocity.z) + Cross(omega, r);
}

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
  const int32 na = outA.deformPointCount, nb = outB.deformPointCount;
  OutlineWork wa, wb;
  if (!wa.Allocate(na) || !wb.Allocate(nb)) return 0;
  WorldOutline(a, wa.points);
  WorldOutline(b, wb.points);

  Vector ka, kb;
  const int32 countA = PointsInsideOutline(wa.points, na, wb.points, nb, wa.list, ka);
  if (countA == 0) return 0;
  ka.y += outA.outlineHeight;
  const int32 countB = PointsInsideOutline(wb.points, nb, wa.points, na, wb.list, kb);
  if (countB == 0) return 0;
  kb.y += outB.outlineHeight;

  OutlineVertexNormals(wa.points, a.bodyMatrix, na, wa.list, countA);
  OutlineVertexNormals(wb.points, b.bodyMatrix, nb, wb.list, countB);
  Vector normalA, normalB;
  OutlineCentroid(normalA, wa.points + na, wa.list, countA);
  OutlineCentroid(normalB, wb.points + nb, wb.list, countB);

  const Vector va = VelocityAtPoint(a, ka), vb = VelocityAtPoint(b, kb);
  const Vector n = (normalA - normalB).GetNormalized();  // from a toward b
  ClosingContact closingContact;
  ClosingContactAlong(closingContact, VectorToHostOrder(n), VectorToHostOrder(va), VectorToHostOrder(vb), a.totalMass,
                      b.totalMass, dt);
  const double stopping = closingContact.stoppingForce;

  const Vector la = Invert(a.bodyMatrix).TransformDirection(-n);
  const Vector lb = Invert(b.bodyMatrix).TransformDirection(n);
  const Resistance ra = ResistancePass(a, wa.list, countA, stopping, la);
  const Resistance rb = ResistancePass(b, wb.list, countB, stopping, lb);
  const double total = ra.mean + rb.mean;
  const double share = total > 0.0 ? ra.mean / total : 0.5;

  const double closing = closingContact.closingSpeed * dt * u;
  PressOutlineIn(outA, wa.list, countA, la * (closing * (1.0 - share)));
  PressOutlineIn(outB, wb.list, countB, lb * (closing * share));

  const double force = std::min(total, closingContact.forceLimit);
  const Vector fa = a.bodyMatrix.TransformDirection(la * force);
  const Vector fb = b.bodyMatrix.TransformDirection(lb * force);
  QueueForce(a, fa, ka);
  QueueForce(b, fb, kb);
  RecordImpact(a, ra.side >= 0 ? ra.side : SideFromContactPoint(a, ka), fa, ka, 1.0 - share);
  RecordImpact(b, rb.side >= 0 ? rb.side : SideFromContactPoint(b, kb), fb, kb, share);
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
  if (!FootprintsMeet(outline.footprint, shape.middleRect)) return 0;

  const int32 n = outline.deformPointCount;
  OutlineWork work;
  if (!work.Allocate(n)) return 0;
  Vector* w = work.points;
  int32* list = work.list;
  WorldOutline(car, w);

  int32 k = 0;
  Vector contact, meanNormal, normal;
  if (type == kObstacleSpline) {
    k = PointsInsideOutline(w, n, cache, count, list, contact);
    if (k == 0) return 0;
    OutlineVertexNormals(w, car.bodyMatrix, n, list, k);
    OutlineCentroid(meanNormal, w + n, list, k);
    const Vector v = VelocityAtPoint(car, contact);
    const Vector crossed = CrossedEdgeNormal(cache, count, w, list, k, v * -100.0);
    normal = Significant(crossed) ? (meanNormal - crossed).GetNormalized() : meanNormal;
  } else if (type == kObstacleCube) {
    OutlineVertexNormals(w, car.bodyMatrix, n, nullptr, 0);
    Vector face;
    k = FindObstacleEntryFace(w, n, cache, shape.matrix, list, contact, face);
    if (k == 0) return 0;
    OutlineCentroid(meanNormal, w + n, list, k);
    normal = (meanNormal - face).GetNormalized();
  } else {
    Vector out;
    k = PointsInsideCylinder(w, n, cache, shape.matrix, list, contact, out);
    if (k == 0) return 0;
    OutlineVertexNormals(w, car.bodyMatrix, n, list, k);
    OutlineCentroid(meanNormal, w + n, list, k);
    normal = (meanNormal - out).GetNormalized();
  }
  contact.y += outline.outlineHeight;
  const Vector v = VelocityAtPoint(car, contact);

  const Vector approach = normal * std::max(0.0, Dot(v, normal));
  const double stopping = car.totalMass / dt * approach.GetLength();
  const Vector push = Invert(car.bodyMatrix).TransformDirection(-normal);
  const Resistance r = ResistancePass(car, list, k, stopping, push);
  PressOutlineIn(outline, list, k, push * (approach.GetLength() * dt * u));

  // As between cars: at most what stops the approach within the step; a
  // zone's full resistance would throw a slow car back off the wall.
  const double magnitude = std::min(r.mean, stopping);
  const Vector force = car.bodyMatrix.TransformDirection(push * magnitude);
  QueueForce(car, force, contact);
  RecordImpact(car, r.side >= 0 ? r.side : SideFromContactPoint(car, contact), force, contact, 1.0);
  shape.impactPoint = contact;
  shape.impactSum += normal * magnitude;
  return 1;
}

void ClipPointsToOutline(CarState& car) {
  const CollisionOutline& o = car.collisionOutline;
  const Vector* p = o.deformPoints;
  const int32 n = o.deformPointCount;
  if (!p || n < 1) return;
  const int32 wheels = std::min<int32>(car.wheelCount, kMaxWheels);
  const Vector& axis = car.bodyMatrix.v3;
  for (int32 w = 0; w < wheels; ++w) {
    const Vector& P = car.trackedPoints[w];
    if (WindingNumberXZ(p, n, P) != 0) continue;
    for (int32 i = 1; i <= n; ++i) {
      const Vector& a = p[i - 1];
      const double s = SegmentCrossingXZ(P, Vector(0.0, -P.y, -P.z), a, p[i % n] - a);
      if (!(s > 0.0)) continue;
      const Vector move = axis * (-P.z * s);
      car.wheelMatrices[w].off += move;
      car.wheelHubMatrices[w].off += move;
      car.wheelSteerFreeMatrices[w].off += move;
      car.dynamics.crashFlag = 1;
      break;
    }
  }
}

void ResolveBodyGroundContact(BaseDocument* doc, const BaseContainer& bc, CarState& car, GroundPointQuery query) {
  CarDynamics& d = car.dynamics;
  const int32 wheels = std::min<int32>(car.wheelCount, kMaxWheels);
  for (int32 w = 0; w < wheels; ++w)
    if (d.tyreOutput[w].contact) return;
  const double u = car.settings.unitsPerMetre;
  const double dt = car.settings.stepDt;
  if (!Positive(u) || !Positive(dt)) return;

  const Vector s = car.bodySize * 0.5;
  const Vector* roof = car.roofCorners;
  const Vector corners[12] = {Vector(-s.x, -s.y, s.z), Vector(-s.x, s.y, s.z),   roof[0],
                              Vector(s.x, -s.y, s.z),  Vector(s.x, s.y, s.z),    roof[1],
                              roof[2],                 Vector(-s.x, s.y, -s.z),  Vector(-s.x, -s.y, -s.z),
                              roof[3],                 Vector(s.x, s.y, -s.z),   Vector(s.x, -s.y, -s.z)};
  const Matrix& m = car.bodyMatrix;
  Vector forces[12], points[12];
  Vector normalSum;
  double depth = 0.0;
  int32 contacts = 0;
  for (const Vector& local : corners) {
    const Vector p = m * local;
    SceneGroundHit hit = car.defaultGround;
    if (query) query(doc, bc, p, hit, car);
    const Vector& g = hit.hostNormal;
    const double h = Dot(g, p / u) + hit.planeOffset;
    if (!(h <= 0.0)) continue;
    normalSum += g;
    depth = std::max(depth, -h);
    const Vector v = VelocityAtPoint(car, p);
    const double closing = std::max(0.0, -Dot(v, g));
    const double f = (-h >= 0.05 ? car.totalMass / dt * closing * 0.2 : 0.0) + car.totalWeight;
    forces[contacts] = g * (f * 10.0);
    points[contacts] = p;
    ++contacts;
  }
  if (contacts == 0) return;

  Vec3 shift;
  HostToDynamicsAxes(normalSum * (depth / contacts), shift);
  AddToVec3(d.body.position, shift);
  for (int32 j = 0; j < contacts; ++j) QueueForce(car, forces[j] / contacts, points[j]);
  // A drag against the sliding body, in the last slot whatever it held.
  const Vector velocity(car.velocity.x, car.velocity.y, car.velocity.z);
  HostToDynamicsAxes(-velocity.GetNormalized() * (car.totalWeight * 0.5), d.externalForces[kForceSlots - 1]);
  HostToDynamicsAxes(m.off / u, d.externalForcePoints[kForceSlots - 1]);
}

}  // namespace collision
