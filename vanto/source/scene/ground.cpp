#include "scene/ground.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "scene/autopilot.h"
#include "engine/wheel_hub.h"
#include "carsim/car_param_ids.h"
#include "carsim/polygon_geometry.h"
#include "scene/mesh_grid.h"
#include "host_services.h"
#include "scene/run_state.h"
#include "carsim/link_message.h"

namespace {

inline constexpr double kPi = 3.14159265358979323846;

double UnitsPerMetre(const CarState& car) {
  const double u = car.settings.unitsPerMetre;
  return u > 0.0 && std::isfinite(u) ? u : 100.0;
}

void ReadGroundTag(const BaseObject* op, double& grip, int32& mode) {
  const BaseTag* tag = op ? op->GetTag(kGroundTagType) : nullptr;
  if (!tag) {
    grip = 1.0;
    mode = 1;
    return;
  }
  const BaseContainer* tc = tag->GetDataInstance();
  grip = tc->GetReal(GROUNDTAG_GRIP);
  mode = tc->GetLong(GROUNDTAG_CONTACT_MODE);
}

// What one query learns of the ground objects it meets, asked of the host
// once per object: the world matrix (which the host works out through the
// whole chain of parents every time), its inverse, the bounding box and the
// mesh arrays. A
// search asked for the matrix twice per object, and a query of all wheels
// meets the same objects once per wheel. Nothing moves or changes while a
// query runs. Past a few objects, the last slot is taken over by each
// further one.
class GroundObjects {
 public:
  // A polygon object's arrays as the host gives them.
  struct MeshArrays {
    bool polygonal;  // a polygon object; the rest is read only then
    const Vector* points;
    LONG pointCount;
    const CPolygon* polygons;
    LONG polygonCount;
  };

  GroundObjects() {}  // the slots stay unbuilt until used
  // Each valid until the next call.
  const Matrix& Mg(const BaseObject* op) { return Find(op).mg; }
  const Matrix& InverseMg(const BaseObject* op) {
    Entry& e = Find(op);
    if (!e.inverted) {
      std::construct_at(&e.inverse, Invert(e.mg));
      e.inverted = true;
    }
    return e.inverse;
  }
  // The bounding box's centre and half size, object axes.
  void Box(const BaseObject* op, Vector& mp, Vector& rad) {
    Entry& e = Find(op);
    if (!e.boxRead) {
      e.mp = op->GetMp();
      e.rad = op->GetRad();
      e.boxRead = true;
    }
    mp = e.mp;
    rad = e.rad;
  }
  const MeshArrays& Arrays(const BaseObject* op) {
    Entry& e = Find(op);
    if (!e.arraysRead) {
      MeshArrays& a = e.arrays;
      const auto* poly = op->GetType() == Opolygon ? dynamic_cast<const PolygonObject*>(op) : nullptr;
      a.polygonal = poly != nullptr;
      if (poly) {
        a.points = poly->GetPointR();
        a.pointCount = poly->GetPointCount();
        a.polygons = poly->GetPolygonR();
        a.polygonCount = poly->GetPolygonCount();
      }
      e.arraysRead = true;
    }
    return e.arrays;
  }

 private:
  struct Entry {
    explicit Entry(const BaseObject* o) : op(o), mg(o->GetMg()) {}
    const BaseObject* op;
    Matrix mg;
    bool inverted = false;
    bool boxRead = false;
    bool arraysRead = false;
    union {
      Matrix inverse;  // built on first use
    };
    Vector mp, rad;     // read on first use
    MeshArrays arrays;  // read on first use
  };
  union Slot {
    Slot() {}
    Entry entry;
  };
  Entry& Find(const BaseObject* op) {
    for (int i = 0; i < count_; ++i)
      if (slots_[i].entry.op == op) return slots_[i].entry;
    const int k = count_ < kSize ? count_++ : kSize - 1;
    return *std::construct_at(&slots_[k].entry, op);
  }
  static constexpr int kSize = 4;
  Slot slots_[kSize];
  int count_ = 0;
};

// A polygon object's mesh with its points taken to world space on demand,
// so that a step that stays on one polygon transforms four points, not the
// whole mesh.
struct Mesh {
  const Vector* points = nullptr;
  LONG pointCount = 0;
  const CPolygon* polygons = nullptr;
  LONG polygonCount = 0;
  Matrix mg;
  const MeshGrid* grid = nullptr;  // the cached layout, when there is one

  // A polygon object with at least 3 points and 1 polygon, else false.
  bool Bind(const BaseObject* op, GroundObjects& objects) {
    if (!op) return false;
    const GroundObjects::MeshArrays& a = objects.Arrays(op);
    if (!a.polygonal) return false;
    points = a.points;
    pointCount = a.pointCount;
    polygons = a.polygons;
    polygonCount = a.polygonCount;
    mg = objects.Mg(op);
    return points && polygons && pointCount >= 3 && polygonCount >= 1;
  }
  // Corner indices outside the point array would read foreign memory.
  bool Valid(LONG k) const {
    if (k < 0 || k >= polygonCount) return false;
    const CPolygon& q = polygons[k];
    return q.a >= 0 && q.a < pointCount && q.b >= 0 && q.b < pointCount && q.c >= 0 && q.c < pointCount &&
           q.d >= 0 && q.d < pointCount;
  }
  Vector At(LONG i) const { return mg * points[i]; }
  // World corners of a valid polygon; a triangle repeats its third corner.
  void Corners(LONG k, Vector out[4]) const {
    const CPolygon& q = polygons[k];
    out[0] = At(q.a);
    out[1] = At(q.b);
    out[2] = At(q.c);
    out[3] = q.c == q.d ? out[2] : At(q.d);
  }
  bool Triangle(LONG k) const { return polygons[k].c == polygons[k].d; }
  int32 PolygonWithEdge(LONG a, LONG b, int32 excluded) const {
    return grid ? grid->PolygonWithEdge(a, b, excluded) : FindPolygonWithEdge(a, b, polygons, polygonCount, excluded);
  }
};

bool gSearchGrid = true;

// The grids of the ground meshes searched lately, each valid while its
// object, points, polygons and matrix stay as they were when it was built.
struct CachedGrid {
  const BaseObject* object = nullptr;
  ULONG dirty = 0;
  const Vector* points = nullptr;
  const CPolygon* polygons = nullptr;
  LONG pointCount = 0, polygonCount = 0;
  Matrix mg;
  MeshGrid grid;

  bool Matches(const BaseObject* op, const Mesh& m) const {
    return op == object && op->GetDirty() == dirty && m.points == points && m.polygons == polygons &&
           m.pointCount == pointCount && m.polygonCount == polygonCount && m.mg.off == mg.off && m.mg.v1 == mg.v1 &&
           m.mg.v2 == mg.v2 && m.mg.v3 == mg.v3;
  }
};
// A small mesh is scanned as fast as its grid is searched.
constexpr LONG kMinGridPolygons = 64;
constexpr size_t kMaxCachedGrids = 64;
std::vector<std::unique_ptr<CachedGrid>> gGrids;  // the last used last

// Binds op's mesh with its grid, built on first use or after a change.
bool BindWithGrid(Mesh& mesh, const BaseObject* op, GroundObjects& objects) {
  if (!mesh.Bind(op, objects)) return false;
  if (!gSearchGrid || mesh.polygonCount < kMinGridPolygons) return true;
  auto it = std::find_if(gGrids.begin(), gGrids.end(), [&](const auto& c) { return c->object == op; });
  if (it == gGrids.end()) {
    if (gGrids.size() >= kMaxCachedGrids) gGrids.erase(gGrids.begin());
    gGrids.push_back(std::make_unique<CachedGrid>());
    it = gGrids.end() - 1;
  } else {
    std::rotate(it, it + 1, gGrids.end());
    it = gGrids.end() - 1;
  }
  CachedGrid& c = **it;
  if (c.object != op || !c.Matches(op, mesh)) {
    c.object = op;
    c.dirty = op->GetDirty();
    c.points = mesh.points;
    c.polygons = mesh.polygons;
    c.pointCount = mesh.pointCount;
    c.polygonCount = mesh.polygonCount;
    c.mg = mesh.mg;
    c.grid.Build(mesh.points, mesh.pointCount, mesh.polygons, mesh.polygonCount, mesh.mg);
  }
  mesh.grid = &c.grid;
  return true;
}

Bool ContainsXZ(const Vector corners[4], bool triangle, const Vector& p) {
  return PointInPolygonXZ(corners, 0, 1, 2, triangle ? 2 : 3, p);
}

// Height at p's x and z of the plane through a with normal n; false for a
// plane that stands upright (no height to give).
bool PlaneHeightAt(const Vector& a, const Vector& n, const Vector& p, double& h) {
  if (n.y == 0.0) return false;
  h = a.y - (n.x * (p.x - a.x) + n.z * (p.z - a.z)) / n.y;
  return std::isfinite(h);
}

Vector CornerNormal(const Vector corners[4]) {
  return Cross(corners[1] - corners[0], corners[2] - corners[0]).GetNormalized();
}

void SetPlane(SceneGroundHit& hit, const Vector& n, const Vector& planePoint, double upm) {
  hit.hostNormal = n;
  HostToDynamicsAxes(n, hit.normal);
  hit.planeOffset = -Dot(n, planePoint / upm);
}

// Makes polygon k of the wheel's object current: plane, height and the
// grip weighted by the vertex map.
void EnterPolygon(SceneGroundHit& hit, const BaseObject* op, const Mesh& mesh, LONG k, const Vector corners[4],
                  const Vector& p, double upm) {
  const Vector n = CornerNormal(corners);
  SetPlane(hit, n, corners[1], upm);
  double h;
  hit.height = PlaneHeightAt(corners[0], n, p, h) ? h : corners[0].y;
  hit.hitPoint = Vector(p.x, hit.height, p.z);
  hit.frictionWeight = VertexMapFriction(op, mesh.polygons, k, mesh.pointCount);
  hit.friction = hit.frictionWeight * hit.gripFactor;
}

void UpdateProfile(SceneGroundHit& hit, double radius, const Vector corners[4]) {
  const int32 n = ProfileRayCount(radius, (corners[1] - corners[0]).GetLength());
  if (n != hit.profileCount) {
    HalfCircleProfile(hit.profile, n);
    hit.profileCount = n;
  }
}

template <class PointAt, class ValidFn, class FindFn>
int32 WalkEdge(PointAt at, ValidFn valid, FindFn find, const CPolygon* polygons, int32 index, int32 count,
               const Vector& start, const Vector& dir, double& fraction) {
  if (!polygons || index < 0 || index >= count || !valid(index)) return -1;
  const CPolygon& q = polygons[index];
  const bool triangle = q.c == q.d;
  const LONG from[4] = {q.a, q.b, q.c, q.d};
  const LONG to[4] = {q.b, q.c, triangle ? q.a : q.d, q.a};
  const int edges = triangle ? 3 : 4;
  for (int e = 0; e < edges; ++e) {
    const Vector u = at(from[e]);
    const double s = SegmentCrossingXZ(start, dir, u, at(to[e]) - u);
    if (s > 0.0) {
      fraction = s;
      return find(from[e], to[e], index);
    }
  }
  return -1;
}

// ---------------------------------------------------------------- fast path

// Mode 1: the stored polygon, or the neighbour the wheel rolled onto.
bool FollowPolygonSinglePoint(SceneGroundHit& hit, const Mesh& mesh, const Vector& p, double r, double upm) {
  Vector corners[4];
  const LONG k = hit.polygonIndex;
  mesh.Corners(k, corners);
  if (ContainsXZ(corners, mesh.Triangle(k), p)) {
    hit.lastPoint = p;
    hit.friction = hit.gripFactor;
    double h;
    if (PlaneHeightAt(corners[0], hit.hostNormal, p, h)) hit.height = h;
    hit.hitPoint = Vector(p.x, hit.height, p.z);
    return true;
  }
  const Vector dir = Vector(p.x - hit.lastPoint.x, 0.0, p.z - hit.lastPoint.z).GetNormalized() * r;
  double fraction = 0.0;
  const int32 next = WalkEdge([&](LONG i) { return mesh.At(i); }, [&](LONG i) { return mesh.Valid(i); },
                              [&](LONG a, LONG b, int32 k) { return mesh.PolygonWithEdge(a, b, k); },
                              mesh.polygons, k, mesh.polygonCount, hit.lastPoint, dir, fraction);
  if (next < 0 || !mesh.Valid(next)) return false;
  mesh.Corners(next, corners);
  if (!ContainsXZ(corners, mesh.Triangle(next), p)) return false;
  hit.polygonIndex = next;
  EnterPolygon(hit, hit.groundObject, mesh, next, corners, p, upm);
  return true;
}

// Mode 2: the profile rays from the wheel centre against the polygons
// along the wheel's heading, forward and back from the last touch point;
// the nearest hit decides the polygon.
bool FollowPolygonProfile(SceneGroundHit& hit, const Mesh& mesh, const Vector& p, double r, double upm, int32 wheel,
                          const Matrix& wheelAxes) {
  Matrix axes = wheelAxes;
  if (wheel & 1) {
    axes.v1 = -axes.v1;
    axes.v3 = -axes.v3;
  }
  const int32 n = std::clamp<int32>(hit.profileCount, 0, kMaxGroundProfile);
  Vector rays[kMaxGroundProfile];
  for (int32 k = 0; k < n; ++k)
    rays[k] = axes.v1 * hit.profile[k][0] + axes.v2 * hit.profile[k][1] + axes.v3 * hit.profile[k][2];
  const Vector heading = Vector(axes.v3.x, 0.0, axes.v3.z).GetNormalized() * r;

  double best = 2.0 * r;
  LONG bestPolygon = -1;
  Vector bestPoint;
  Vector corners[4];
  for (double sense : {1.0, -1.0}) {
    Vector start = hit.lastPoint;
    Vector segment = heading * sense;
    LONG k = hit.polygonIndex;
    // A walk visits each polygon at most once on a sound mesh; the bound
    // keeps a broken one from looping.
    for (LONG visits = 0; k >= 0 && visits <= mesh.polygonCount; ++visits) {
      if (!mesh.Valid(k)) break;
      mesh.Corners(k, corners);
      const LONG last = mesh.Triangle(k) ? 2 : 3;
      for (int32 i = 0; i < n; ++i) {
        double t = 0.0;
        // A hit behind the hub (t < 0, a hub sunk below the surface) is not
        // under the tyre.
        if (IntersectRayPolygon(corners, 0, 1, 2, last, p, rays[i], t) && t >= 0.0 && t < best) {
          best = t;
          bestPolygon = k;
          bestPoint = p + rays[i] * t;
        }
      }
      double fraction = 0.0;
      const int32 next = WalkEdge([&](LONG i) { return mesh.At(i); }, [&](LONG i) { return mesh.Valid(i); },
                              [&](LONG a, LONG b, int32 k) { return mesh.PolygonWithEdge(a, b, k); },
                                  mesh.polygons, k, mesh.polygonCount, start, segment, fraction);
      if (next < 0) break;
      start += segment * fraction;
      segment *= 1.0 - fraction;
      k = next;
    }
  }
  if (bestPolygon < 0) return false;
  hit.lastPoint = bestPoint;
  hit.hitPoint = bestPoint;
  if (bestPolygon != hit.polygonIndex) {
    hit.polygonIndex = bestPolygon;
    mesh.Corners(bestPolygon, corners);
    UpdateProfile(hit, r, corners);
    EnterPolygon(hit, hit.groundObject, mesh, bestPolygon, corners, p, upm);
    hit.hitPoint = bestPoint;
  }
  return true;
}

int32 TagGrid(BaseObject* op, const Vector& local, const Vector& world, SceneGroundHit& hit, double upm,
              bool& accepted, GroundObjects& objects) {
  accepted = false;
  BaseTag* tag = op ? op->GetTag(kGroundTagType) : nullptr;
  if (!tag || !op->GetDeformMode()) return 0;
  double block[12] = {local.x, local.y, local.z};
  SimLinkMessage msg{SIMLINK_GROUND_QUERY, block};
  if (!tag->Message(MSG_SIMLINK, &msg)) return 0;
  const Matrix mg = objects.Mg(op);
  const Vector p0 = mg * Vector(block[0], block[1], block[2]);
  const Vector p1 = mg * Vector(block[3], block[4], block[5]);
  const Vector p2 = mg * Vector(block[6], block[7], block[8]);
  const Vector n = Cross(p1 - p0, p2 - p0).GetNormalized();
  double h;
  // Only a plane below the point that beats the best so far claims it: a
  // surface above the wheel never takes the wheel from the one under it.
  if (!PlaneHeightAt(p0, n, world, h) || !(h < world.y && h > hit.height)) return 1;
  hit.groundObject = op;
  hit.polygonIndex = 0;
  hit.lastPoint = world;
  hit.height = h;
  hit.hitPoint = Vector(world.x, h, world.z);
  SetPlane(hit, n, p1, upm);
  hit.frictionWeight = 1.0;
  hit.friction = hit.gripFactor;
  accepted = true;
  return 1;
}

// The search of the ground group. For a wheel (`wheel` set) an accepted
// polygon also sets the grip and, in profile mode, the profile; the grip
// and mode come from the tag of the object being tried, so a wheel that
// drives onto another object takes its grip at once. Stops at the first
// accepted plane less than stopFactor * r below the point. True when a
// plane was taken.
bool SearchGround(const BaseObject* group, const Vector& p, SceneGroundHit& hit, double r, double stopFactor, bool wheel,
                  double upm, GroundObjects& objects) {
  hit.height = kNoGroundHeight;
  hit.polygonIndex = -1;
  if (!group) return false;
  for (BaseObject* child = group->GetDown(); child; child = child->GetNext()) {
    if (child->GetEditorMode() == MODE_OFF) continue;
    const Vector local = objects.InverseMg(child) * p;
    Vector mp, rad;
    objects.Box(child, mp, rad);
    if (!(std::fabs(local.x - mp.x) < rad.x && std::fabs(local.z - mp.z) < rad.z)) continue;

    const double keptGrip = hit.gripFactor;
    const int32 keptMode = hit.contactMode;
    if (wheel) ReadGroundTag(child, hit.gripFactor, hit.contactMode);
    bool accepted = false;
    bool stop = false;
    Mesh mesh;
    if (BindWithGrid(mesh, child, objects)) {
      const Vector* world = mesh.grid ? mesh.grid->World() : nullptr;
      Vector* own = nullptr;
      if (!world) {
        own = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<size_t>(mesh.pointCount)));
        if (own)
          for (LONG i = 0; i < mesh.pointCount; ++i) own[i] = mesh.mg * mesh.points[i];
        world = own;
      }
      // Polygons in ascending order; the grid offers only those that may
      // hold p, the plain scan all of them.
      auto tryPolygon = [&](LONG k) {
        if (!mesh.Valid(k)) return true;
        const CPolygon& q = mesh.polygons[k];
        Vector corners[4] = {world[q.a], world[q.b], world[q.c], world[q.d]};
        if (!ContainsXZ(corners, q.c == q.d, p)) return true;
        const Vector n = CornerNormal(corners);
        double h;
        if (!PlaneHeightAt(corners[0], n, p, h) || !(h < p.y && h > hit.height)) return true;
        accepted = true;
        hit.groundObject = child;
        hit.polygonIndex = k;
        hit.lastPoint = wheel ? Vector(p.x, p.y - r, p.z) : p;
        if (wheel && hit.contactMode != 1) UpdateProfile(hit, r, corners);
        if (wheel) {
          EnterPolygon(hit, child, mesh, k, corners, p, upm);
        } else {
          SetPlane(hit, n, corners[1], upm);
        }
        hit.height = h;
        hit.hitPoint = Vector(p.x, h, p.z);
        stop = p.y - h < stopFactor * r;
        return !stop;
      };
      if (mesh.grid) {
        mesh.grid->ForEachCandidate(p, tryPolygon);
      } else if (world) {
        for (LONG k = 0; k < mesh.polygonCount && tryPolygon(k); ++k) {
        }
      }
      GeFree(own);
    } else if (child->GetType() != Opolygon) {
      TagGrid(child, local, p, hit, upm, accepted, objects);
    }
    if (wheel && !accepted) {
      hit.gripFactor = keptGrip;
      hit.contactMode = keptMode;
    }
    if (stop) break;
  }
  return hit.polygonIndex != -1;
}

// The default ground as it is put under a point. The wheels of one query
// share what differs from the car's default record (a wheel on a route takes
// the route's grip).
struct DefaultGroundPlane {
  const SceneGroundHit& g;
  double friction, gripFactor;
  double hitHeight;  // scene units, the same under every point

  DefaultGroundPlane(const CarState& car, bool wheel, double upm)
      : g(car.defaultGround), friction(g.friction), gripFactor(g.gripFactor), hitHeight(-g.planeOffset * upm) {
    if (wheel && car.autopilot.routeObject) friction = gripFactor = car.autopilot.routeGrip;
  }

  // The record keeps its own tyre profile; the default ground has none.
  void Put(SceneGroundHit& hit, const Vector& p) const {
    CopyGroundPlane(hit, g);
    hit.friction = friction;
    hit.gripFactor = gripFactor;
    hit.lastPoint = p;
    hit.hitPoint = Vector(p.x, hitHeight, p.z);
  }
};

// Nothing under the point: the route surface, else the default ground.
void FallBack(SceneGroundHit& hit, const Vector& p, const CarState& car, bool wheel, double upm) {
  if (car.autopilot.routeIsGround && QueryRouteGround(p, hit, car)) return;
  DefaultGroundPlane(car, wheel, upm).Put(hit, p);
}

}  // namespace

// ---------------------------------------------------------------- run start and advance

namespace groundcontact {

void PrepareGround(BaseDocument* doc, BaseContainer& bc, CarState& car, int32 skip) {
  const double upm = UnitsPerMetre(car);
  BaseObject* group = skip ? nullptr : bc.GetObjectLink(CAR_GROUND_GROUP, doc);
  double h = 0.0;
  if (group) {
    h = bc.GetReal(CAR_GROUND_HEIGHT);
    for (BaseObject* child = group->GetDown(); child; child = child->GetNext()) {
      const Vector low = child->GetMg() * (child->GetMp() - child->GetRad());
      h = std::min(h, low.y);
      if (BaseTag* tag = child->GetTag(kGroundTagType)) {
        SimLinkMessage msg{SIMLINK_FREE_CACHE, nullptr};
        tag->Message(MSG_SIMLINK, &msg);
      }
    }
    bc.SetReal(CAR_GROUND_HEIGHT, h);
  }
  SceneGroundHit& g = car.defaultGround;
  g.groundObject = nullptr;
  g.polygonIndex = 0;
  g.lastPoint = Vector();
  g.hitPoint = Vector();
  g.hostNormal = Vector(0.0, 1.0, 0.0);
  g.normal = Vec3(0.0, 0.0, 1.0);
  g.height = h;  // scene units, as in every ground record
  g.planeOffset = -h / upm;
  g.friction = g.gripFactor = bc.GetReal(CAR_GROUND_GRIP);
  g.frictionWeight = 1.0;
  g.contactMode = 1;
  for (SceneGroundHit& w : car.wheelGroundRecords) {
    w.groundObject = nullptr;
    HalfCircleProfile(w.profile, kMinProfileRays);
    // The count goes with the rays just built: a count left from the last
    // run would mix old rays into the new profile.
    w.profileCount = kMinProfileRays;
  }
}

void SetSearchGrid(bool on) {
  gSearchGrid = on;
  gGrids.clear();
}

void ReadWheelGroundTags(CarState& car, const BaseContainer& bc) {
  const double upm = UnitsPerMetre(car);
  car.defaultGround.height = bc.GetReal(CAR_GROUND_HEIGHT);
  car.defaultGround.planeOffset = -car.defaultGround.height / upm;
  car.defaultGround.friction = car.defaultGround.gripFactor = bc.GetReal(CAR_GROUND_GRIP);
  // The wheels' objects were checked against the ground group (RefreshSceneLinks).
  for (int32 i = 0; i < kMaxWheels; ++i) {
    SceneGroundHit& g = car.wheelGroundRecords[i];
    if (i > 0 && g.groundObject == car.wheelGroundRecords[i - 1].groundObject) {
      g.gripFactor = car.wheelGroundRecords[i - 1].gripFactor;
      g.contactMode = car.wheelGroundRecords[i - 1].contactMode;
    } else {
      ReadGroundTag(g.groundObject, g.gripFactor, g.contactMode);
    }
  }
}

}  // namespace groundcontact

// ---------------------------------------------------------------- queries

namespace {

void QueryGroundIn(const BaseObject* group, const Vector& point, int32 wheel, CarState& car, const Matrix* wheelAxes,
                   GroundObjects& objects) {
  if (wheel < 0 || wheel >= kMaxWheels) return;
  SceneGroundHit& hit = car.wheelGroundRecords[wheel];
  const double upm = UnitsPerMetre(car);
  const double r = car.dynamics.wheels[wheel].radius * upm;

  if (BaseObject* op = hit.groundObject) {
    Mesh mesh;
    if (op->GetType() != Opolygon) {
      const Vector local = objects.InverseMg(op) * point;
      Vector mp, rad;
      objects.Box(op, mp, rad);
      if (std::fabs(local.x - mp.x) < rad.x && std::fabs(local.z - mp.z) < rad.z) {
        hit.height = kNoGroundHeight;
        bool accepted = false;
        // An answer whose plane was not taken leaves the search to find one.
        if (TagGrid(op, local, point, hit, upm, accepted, objects) && accepted) return;
      }
    } else if (BindWithGrid(mesh, op, objects) && hit.polygonIndex >= 0 && hit.polygonIndex < mesh.polygonCount &&
               mesh.Valid(hit.polygonIndex)) {
      if (hit.contactMode == 1) {
        if (FollowPolygonSinglePoint(hit, mesh, point, r, upm)) return;
      } else {
        const Matrix& axes = wheelAxes ? *wheelAxes : car.wheelHubMatrices[wheel];
        if (FollowPolygonProfile(hit, mesh, point, r, upm, wheel, axes)) return;
      }
    }
  }
  if (SearchGround(group, point, hit, r, 3.0, true, upm, objects)) return;
  FallBack(hit, point, car, true, upm);
}

}  // namespace

void QueryGround(BaseDocument* doc, const BaseContainer& bc, const Vector& point, int32 wheel, CarState& car,
                 const Matrix* wheelAxes) {
  GroundObjects objects;
  QueryGroundIn(bc.GetObjectLink(CAR_GROUND_GROUP, doc), point, wheel, car, wheelAxes, objects);
}

void QueryGroundUnderWheels(BaseDocument* doc, const BaseContainer& bc, CarState& car) {
  QueryGroundUnderWheels(bc.GetObjectLink(CAR_GROUND_GROUP, doc), car);
}

void QueryGroundUnderWheels(const BaseObject* group, CarState& car) {
  CarDynamics& d = car.dynamics;
  const int32 n = std::clamp<int32>(d.wheelCount, 0, kMaxWheels);
  const double upm = car.settings.unitsPerMetre;
  const DefaultGroundPlane fallback(car, true, UnitsPerMetre(car));
  const bool routeGround = car.autopilot.routeIsGround;
  GroundObjects objects;
  for (int32 w = 0; w < n; ++w) {
    SceneGroundHit& hit = car.wheelGroundRecords[w];
    Vec3 hub;
    GetWheelHubPosition(d, w, hub);
    Vector p;
    DynamicsToHostAxes(p, hub);
    p = p * upm;
    if (!group && !hit.groundObject) {
      // No object to follow and no group to search: only the route or the
      // default ground can be under the wheel.
      if (!(routeGround && QueryRouteGround(p, hit, car))) fallback.Put(hit, p);
    } else if (hit.groundObject && hit.contactMode != 1) {
      // Only the tyre profile on a remembered object reads the wheel's axes.
      Mat3 frame;
      GetWheelHubFrame(d, w, frame);
      const Matrix axes = WheelFrameToHostAxes(frame);
      QueryGroundIn(group, p, w, car, &axes, objects);
    } else {
      QueryGroundIn(group, p, w, car, nullptr, objects);
    }
    d.wheelGround[w] = &hit;
  }
}

void QueryGroundPoint(BaseDocument* doc, const BaseContainer& bc, const Vector& point, SceneGroundHit& hit,
                      CarState& car) {
  QueryGroundPoint(bc.GetObjectLink(CAR_GROUND_GROUP, doc), point, hit, car);
}

void QueryGroundPoint(const BaseObject* group, const Vector& point, SceneGroundHit& hit, CarState& car) {
  const double upm = UnitsPerMetre(car);
  const double r = car.dynamics.wheels[0].radius * upm;
  GroundObjects objects;
  if (SearchGround(group, point, hit, r, 2.0, false, upm, objects)) return;
  FallBack(hit, point, car, false, upm);
}

double HighestGroundTop(BaseDocument* doc, const BaseContainer& bc) {
  double top = -std::numeric_limits<double>::infinity();
  const BaseObject* group = bc.GetObjectLink(CAR_GROUND_GROUP, doc);
  if (!group) return top;
  for (const BaseObject* child = group->GetDown(); child; child = child->GetNext()) {
    if (child->GetEditorMode() == MODE_OFF) continue;
    const Matrix mg = child->GetMg();
    const Vector mp = child->GetMp(), rad = child->GetRad();
    for (int corner = 0; corner < 8; ++corner) {
      const Vector c(mp.x + ((corner & 1) ? rad.x : -rad.x), mp.y + ((corner & 2) ? rad.y : -rad.y),
                     mp.z + ((corner & 4) ? rad.z : -rad.z));
      top = std::max(top, (mg * c).y);
    }
  }
  return top;
}

int32 QueryGroundTagGrid(BaseDocument*, BaseObject* op, const Vector& localPoint, const Vector& worldPoint,
                         SceneGroundHit& hit, const CarState& car) {
  bool accepted = false;
  GroundObjects objects;
  return TagGrid(op, localPoint, worldPoint, hit, UnitsPerMetre(car), accepted, objects);
}

// ---------------------------------------------------------------- polygon walking

int32 WalkPolygonEdge(const Vector* points, const CPolygon* polygons, int32 index, int32 count, const Vector& start,
                      const Vector& dir, double& fraction) {
  if (!points) return -1;
  return WalkEdge([&](LONG i) { return points[i]; }, [](LONG) { return true; },
                  [&](LONG a, LONG b, int32 k) { return FindPolygonWithEdge(a, b, polygons, count, k); }, polygons,
                  index, count, start, dir, fraction);
}

int32 FindPolygonWithEdge(LONG a, LONG b, const CPolygon* polygons, int32 count, int32 excluded) {
  if (!polygons) return -1;
  for (int32 k = 0; k < count; ++k) {
    if (k == excluded) continue;
    const CPolygon& q = polygons[k];
    const bool hasA = q.a == a || q.b == a || q.c == a || q.d == a;
    const bool hasB = q.a == b || q.b == b || q.c == b || q.d == b;
    if (hasA && hasB) return k;
  }
  return -1;
}

// ---------------------------------------------------------------- grip and profile

double VertexMapFriction(const BaseObject* op, const CPolygon* polygons, int32 index, int32 pointCount) {
  if (!op || !polygons || index < 0) return 1.0;
  const auto* v = static_cast<const Real*>(op->GetTagDataR(Tvertexmap));
  const LONG count = op->GetTagDataCount(Tvertexmap);
  if (!v || count != pointCount) return 1.0;
  const CPolygon& q = polygons[index];
  for (LONG i : {q.a, q.b, q.c, q.d})
    if (i < 0 || i >= count) return 1.0;
  if (q.c == q.d) return (v[q.a] + v[q.b] + v[q.d]) * 0.3333;
  return (v[q.a] + v[q.b] + v[q.c] + v[q.d]) * 0.25;
}

void HalfCircleProfile(double (*points)[3], int32 n) {
  if (!points || n < 1) return;
  n = std::min<int32>(n, kMaxGroundProfile);
  for (int32 k = 0; k + 1 < n; ++k) {
    const double angle = kPi / 2.0 + k * kPi / (n - 1);
    points[k][0] = 0.0;
    points[k][1] = std::cos(angle);
    points[k][2] = std::sin(angle);
  }
  points[n - 1][0] = 0.0;
  points[n - 1][1] = 0.0;
  points[n - 1][2] = -1.0;
}

int32 ProfileRayCount(double radius, double edgeLength) {
  const double rays = kPi * radius / (0.25 * edgeLength);
  // A zero-length edge (or a huge wheel) asks for the finest profile.
  if (!(rays < 2.0 * kMaxGroundProfile)) return kMaxGroundProfile;
  const int32 count = ((static_cast<int32>(rays) + 1) & ~1) + 1;
  return std::clamp<int32>(count, kMinProfileRays, kMaxGroundProfile);
}

// ---------------------------------------------------------------- route surface

int32 QueryRouteGround(const Vector& point, SceneGroundHit& hit, const CarState& car) {
  const AutopilotState& ap = car.autopilot;
  if (!ap.routeSpline || !ap.routeProfile) return 0;
  // Beyond the end of the bound piece the next piece carries the point.
  RouteSurface next;
  const int32 piece = RoutePieceUnder(ap, point, next);
  if (piece < 0) return 0;
  const Matrix& frame = piece == 0 ? ap.routeFrame : next.frame;
  const auto& section = piece == 0 ? ap.routeSection : next.section;
  Vector local = Invert(frame) * point;
  local.x += ap.lateralOffset;
  const int32 last = kRouteSectionSamples - 1;
  if (!(local.x >= section[0][0].x && local.x <= section[last][0].x)) {
    hit.groundObject = nullptr;
    hit.polygonIndex = 0;
    hit.lastPoint = point;
    return 0;
  }
  int32 k = 0;
  while (k + 1 < last && section[k + 1][0].x < local.x) ++k;
  const double width = section[k + 1][0].x - section[k][0].x;
  const double t = width > 0.0 ? (local.x - section[k][0].x) / width : 0.0;
  const Vector p = section[k][0] + (section[k + 1][0] - section[k][0]) * t;
  const Vector n = (section[k][1] + (section[k + 1][1] - section[k][1]) * t).GetNormalized();
  // The frame stands at the car's lateral offset from the rail; the section
  // is drawn about the rail.
  const Vector worldPoint = frame * Vector(p.x - ap.lateralOffset, p.y, p.z);
  const Vector worldNormal = frame.TransformDirection(n).GetNormalized();
  const double upm = UnitsPerMetre(car);
  hit.groundObject = nullptr;
  hit.polygonIndex = 0;
  hit.lastPoint = point;
  hit.height = worldPoint.y;
  hit.hitPoint = worldPoint;
  SetPlane(hit, worldNormal, worldPoint, upm);
  hit.frictionWeight = 1.0;
  hit.friction = hit.gripFactor = ap.routeGrip;
  return 1;
}
