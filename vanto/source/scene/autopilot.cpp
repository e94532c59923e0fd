#include "scene/autopilot.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "carsim/car_param_ids.h"
#include "host_container.h"
#include "host_geometry.h"
#include "scene_build/object_builders.h"
#include "scene/carstate.h"
#include "scene/frames.h"
#include "scene_build/pair_sort.h"

namespace {

inline constexpr int32 kProfileSamples = 200;
inline constexpr int32 kMinProfileSamples = 4;

const SplineObject* AsSpline(const BaseObject* op) {
  return op && op->GetType() == Ospline ? dynamic_cast<const SplineObject*>(op) : nullptr;
}

// Arc length data of a spline's first segment, released on leaving scope.
class ArcLength {
 public:
  explicit ArcLength(const BaseObject* spline) {
    const SplineObject* s = AsSpline(spline);
    if (!s) return;
    data_ = SplineLengthData::Alloc();
    if (data_ && !data_->Init(s, 0)) SplineLengthData::Free(data_);
  }
  ~ArcLength() {
    if (data_) SplineLengthData::Free(data_);
  }
  ArcLength(const ArcLength&) = delete;
  ArcLength& operator=(const ArcLength&) = delete;

  bool Valid() const { return data_ != nullptr; }
  double Length() const { return data_ ? data_->GetLength() : 0.0; }
  double ToNatural(double u) const { return data_ ? data_->UniformToNatural(u) : u; }
  double ToUniform(double t) const { return data_ ? data_->NaturalToUniform(t) : t; }

 private:
  SplineLengthData* data_ = nullptr;
};

bool Finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Frame of the road at `point`: x across, y up, z along the tangent. The
// guide's first point, turned by its global matrix, gives the up direction
// (a banked road); without one the world's up axis does.
Matrix RouteFrameAt(const Vector& point, const Vector& tangent, const BaseObject* guide) {
  Vector up(0.0, 1.0, 0.0);
  if (const SplineObject* g = AsSpline(guide)) {
    const Vector* p = g->GetPointR();
    if (p && g->GetPointCount() > 0) {
      const Vector u = g->GetMg().TransformDirection(p[0]).GetNormalized();
      if (u.GetSquaredLength() > 0.0 && Finite(u)) up = u;
    }
  }
  const Vector along = tangent.GetNormalized();
  Vector across = Cross(up, along).GetNormalized();
  // A tangent along the up direction leaves no plane: fall back to world up.
  if (across.GetSquaredLength() == 0.0) across = Cross(Vector(0.0, 1.0, 0.0), along).GetNormalized();
  if (across.GetSquaredLength() == 0.0) across = Vector(1.0, 0.0, 0.0);
  return Matrix(point, across, Cross(along, across), along);
}

// The route-relevant parts of a piece, resolved without touching a binding.
struct RoutePiece {
  BaseObject* spline = nullptr;
  BaseObject* profile = nullptr;
  BaseObject* guide = nullptr;
  int32 isGround = 0;
};

// 50 evenly spaced usable samples of the profile, ordered by increasing x,
// with their normals in the profile's plane. False with fewer than 4 usable.
bool SampleProfile(const SplineObject* profile, Vector (*section)[2]) {
  Vector usable[kProfileSamples];
  int32 m = 0;
  for (int32 k = 0; k < kProfileSamples; ++k) {
    const Vector p = profile->GetSplinePoint(static_cast<double>(k) / (kProfileSamples - 1), 0);
    if (Finite(p)) usable[m++] = Vector(p.x, p.y, 0.0);
  }
  if (m < kMinProfileSamples) return false;
  for (int32 k = 0; k < kRouteSectionSamples; ++k) {
    const int32 i = static_cast<int32>(std::lround(static_cast<double>(k) * (m - 1) / (kRouteSectionSamples - 1)));
    section[k][0] = usable[i];
  }
  if (section[0][0].x > section[kRouteSectionSamples - 1][0].x)
    std::reverse(&section[0], &section[kRouteSectionSamples]);
  for (int32 k = 0; k < kRouteSectionSamples; ++k) {
    const Vector& a = section[std::max(k - 1, 0)][0];
    const Vector& b = section[std::min(k + 1, kRouteSectionSamples - 1)][0];
    Vector n = Vector(-(b.y - a.y), b.x - a.x, 0.0).GetNormalized();
    if (n.y < 0.0) n = -n;
    if (n.GetSquaredLength() == 0.0) n = Vector(0.0, 1.0, 0.0);
    section[k][1] = n;
  }
  return true;
}

// A spline, or a sweep with a profile spline and a rail spline (and a guide
// spline as third child, if any). `section` receives a sweep's cross-section.
bool ResolvePiece(BaseObject* route, RoutePiece& piece, Vector (*section)[2]) {
  piece = RoutePiece();
  if (!route) return false;
  if (route->GetType() == Ospline) {
    piece.spline = route;
    return true;
  }
  if (route->GetType() != Osweep) return false;
  BaseObject* profile = route->GetDown();
  const SplineObject* p = AsSpline(profile);
  if (!p || !SampleProfile(p, section)) return false;
  BaseObject* rail = profile->GetNext();
  if (!AsSpline(rail)) return false;
  piece.spline = rail;
  piece.profile = profile;
  BaseObject* third = rail->GetNext();
  piece.guide = AsSpline(third) ? third : nullptr;
  piece.isGround = 1;
  return true;
}

BaseObject* NeighbourPiece(const AutopilotState& ap, bool forward) {
  const BaseObject* op = ap.routeObject;
  if (!op) return nullptr;
  BaseObject* n = forward ? op->GetNext() : op->GetPred();
  if (n) return n;
  if (!ap.wrapRoute) return nullptr;
  const BaseObject* up = op->GetUp();
  if (!up) return nullptr;
  return forward ? up->GetDown() : up->GetDownLast();
}

void DropRoute(AutopilotState& ap) {
  ap.routeObject = nullptr;
  ap.routeSpline = nullptr;
  ap.routeIsGround = 0;
}

double SampleOn(const ArcLength& arc, const BaseObject* spline, double d, Vector& point, Vector& tangent,
                double offset) {
  if (!arc.Valid()) return 0.0;
  const double L = arc.Length();
  if (d > L) return d - L;
  const SplineObject* s = AsSpline(spline);
  // A spline of no length has all its places at its start.
  const double u = L > 0.0 ? d / L : 0.0;
  const double t = arc.ToNatural(u);
  Vector p = s->GetSplinePoint(t, 0);
  const Vector tn = s->GetSplineTangent(t, 0);
  if (offset != 0.0) p += Vector(tn.z, 0.0, -tn.x).GetNormalized() * offset;
  const Matrix mg = s->GetMg();
  point = mg * p;
  tangent = mg.TransformDirection(tn).GetNormalized();
  return -u;
}

}  // namespace

// ---------------------------------------------------------------- geometry

double SampleRouteSpline(const BaseObject* spline, double d, Vector& point, Vector& tangent, double offset) {
  return SampleOn(ArcLength(spline), spline, d, point, tangent, offset);
}

double RouteSplineDistance(const BaseObject* spline, double a, double b) {
  const ArcLength arc(spline);
  return arc.Valid() ? arc.Length() * (b - a) : 0.0;
}

// ---------------------------------------------------------------- binding

void LoadRouteSpeedTable(AutopilotState& ap, int32 load) {
  const BaseTag* tag = ap.routeObject ? ap.routeObject->GetTag(kRouteTagType) : nullptr;
  if (!tag) {
    ap.routeGrip = 1.0;
    if (load) ap.speedPointCount = 0;
    return;
  }
  const BaseContainer& tc = *tag->GetDataInstance();
  ap.routeGrip = tc.GetReal(ROUTETAG_GRIP);
  if (!load) return;
  const int32 n = std::clamp<LONG>(tc.GetLong(ROUTETAG_COUNT), 0, kRouteSpeedPoints);
  ap.speedPointCount = 0;
  ap.speedPointIndex = 0;
  if (!ap.routeSpline) return;
  const ArcLength arc(ap.routeSpline);
  RealPair pairs[kRouteSpeedPoints];
  for (int32 i = 0; i < n; ++i) {
    pairs[i].value = tc.GetReal(ROUTETAG_SPEED + 2 * i) / 3.6 * ap.speedScale;
    pairs[i].key = arc.ToNatural(tc.GetReal(ROUTETAG_POSITION + 2 * i));
  }
  SortRealPairs(pairs, n);
  for (int32 i = 0; i < n; ++i) ap.speedPoints[i] = RouteSpeedPoint{pairs[i].value, pairs[i].key};
  ap.speedPointCount = n;
}

Bool BindRoute(BaseObject* route, AutopilotState& ap) {
  ap.routeObject = route;
  ap.routeName = route ? route->GetName() : String();
  ap.routeLabel = MakePanelLabel(ap.routeName);
  ap.routeSpline = ap.routeProfile = ap.routeGuide = nullptr;
  ap.routeIsGround = 0;
  ap.sweepRoute = 0;
  RoutePiece piece;
  if (!ResolvePiece(route, piece, ap.routeSection)) return false;
  ap.routeSpline = piece.spline;
  ap.routeProfile = piece.profile;
  ap.routeGuide = piece.guide;
  ap.routeIsGround = piece.isGround;
  ap.sweepRoute = piece.profile ? 1 : 0;
  LoadRouteSpeedTable(ap, 1);
  return true;
}

Bool NextRoutePiece(AutopilotState& ap) {
  BaseObject* next = NeighbourPiece(ap, true);
  return next && BindRoute(next, ap);
}

Bool PreviousRoutePiece(AutopilotState& ap) {
  BaseObject* prev = NeighbourPiece(ap, false);
  return prev && BindRoute(prev, ap);
}

int32 RoutePieceUnder(const AutopilotState& ap, const Vector& point, RouteSurface& next) {
  const SplineObject* rail = AsSpline(ap.routeSpline);
  // A rail that cannot tell where it ends carries every point.
  if (!rail) return 0;
  const Matrix mg = rail->GetMg();
  const Vector end = mg * rail->GetSplinePoint(1.0, 0);
  const Vector endTangent = mg.TransformDirection(rail->GetSplineTangent(1.0, 0));
  if (Dot(point - end, endTangent) <= 0.0) return 0;

  RoutePiece piece;
  if (!ResolvePiece(NeighbourPiece(ap, true), piece, next.section) || !piece.isGround) return -1;
  const SplineObject* s = AsSpline(piece.spline);
  const Matrix nmg = s->GetMg();
  const Vector nEnd = nmg * s->GetSplinePoint(1.0, 0);
  if (Dot(point - nEnd, nmg.TransformDirection(s->GetSplineTangent(1.0, 0))) > 0.0) return -1;
  // The next piece's start frame, offset sideways as the car drives.
  Vector p, t;
  if (SampleRouteSpline(s, 0.0, p, t, ap.lateralOffset) > 0.0) return -1;
  next.frame = RouteFrameAt(p, t, piece.guide);
  return 1;
}

// ---------------------------------------------------------------- run

void ReadAutopilotSettings(const BaseContainer& bc, AutopilotState& ap) {
  ap.wrapRoute = bc.GetBool(CAR_ROUTE_WRAP) ? 1 : 0;
  ap.lookAheadTime = (1.0 - bc.GetReal(CAR_ANTICIPATION)) * 2.0;
  ap.gapDistance = bc.GetReal(CAR_GAP_DISTANCE);
  ap.lateralOffset = bc.GetReal(CAR_LATERAL_OFFSET);
  ap.speedScale = bc.GetReal(CAR_SPEED_SCALE);
  ap.gapMargin = bc.GetReal(CAR_GAP_MARGIN);
  ap.gapHalfAngle = bc.GetReal(CAR_GAP_ANGLE) * 0.5;
  ap.gapSameRoute = bc.GetBool(CAR_GAP_SAME_ROUTE) ? 1 : 0;
}

int32 InitAutopilot(BaseDocument* doc, const BaseContainer& bc, CarState& car) {
  AutopilotState& ap = car.autopilot;
  ap.routeObject = nullptr;
  ap.routeName = String();
  ap.routeLabel = String();
  ap.routeSpline = ap.routeProfile = ap.routeGuide = nullptr;
  ap.routeIsGround = 0;
  ap.sweepRoute = 0;
  ap.routeGrip = 1.0;
  ap.gapZone = 0;

  const double lock = bc.GetReal(CAR_STEERING_LOCK);
  ap.maxSteerAngle = lock;
  ap.cosMaxSteer = std::cos(lock);
  ap.tanMaxSteer = std::tan(lock);
  // Steering rate in full-lock units per second; no lock means no limit.
  car.maxSteerSpeed = lock != 0.0 ? bc.GetReal(CAR_STEERING_RATE) / lock : 0.0;
  const double wheelbase = (car.wheelMatrices[0].off - car.wheelMatrices[2].off).GetLength();
  ap.turnRadius = std::sin(lock) != 0.0 ? wheelbase / std::sin(lock) : 0.0;
  ap.learnMode = bc.GetLong(CAR_SPEED_LEARNING);
  ReadAutopilotSettings(bc, ap);

  const BaseObject* group = bc.GetObjectLink(CAR_ROUTE_GROUP, doc);
  if (!group || !BindRoute(group->GetDown(), ap)) {
    DropRoute(ap);
    ap.routeName = String();
    ap.routeLabel = String();
    return 0;
  }
  Vector p = HostOrderToVector(ap.routePoint), t = HostOrderToVector(ap.routeTangent);
  SampleRouteSpline(ap.routeSpline, 0.0, p, t, ap.lateralOffset);
  ap.routePoint = VectorToHostOrder(p);
  ap.routeTangent = VectorToHostOrder(t);
  ap.routeDistance = 0.0;
  ap.speedPointIndex = -1;
  // The start pose stands on the route: its surface must be there already.
  if (ap.routeIsGround) ap.routeFrame = RouteFrameAt(p, t, ap.routeGuide);
  PruneSpeedQueue(ap);
  return 1;
}

namespace {

// The bound piece of a car's route as the engine asks for it. One arc length
// table per piece serves every sample of an input period.
class SceneRoute final : public RoutePath {
 public:
  SceneRoute(AutopilotState& ap, const BaseObject* spline) : ap_(ap), spline_(spline) { arc_.emplace(spline); }

  bool Bound() const override { return ap_.routeSpline != nullptr; }
  double Length() const override { return arc_->Length(); }
  double ToUniform(double parameter) const override { return arc_->ToUniform(parameter); }

  double Sample(double d, double offset, Vec3& point, Vec3& tangent) const override {
    Vector p = HostOrderToVector(point), t = HostOrderToVector(tangent);
    const double r = SampleOn(*arc_, spline_, d, p, t, offset);
    point = VectorToHostOrder(p);
    tangent = VectorToHostOrder(t);
    return r;
  }

  double SampleNext(double d, double offset, Vec3& point, Vec3& tangent) const override {
    RoutePiece piece;
    RouteSurface scratch;
    if (!ResolvePiece(NeighbourPiece(ap_, true), piece, scratch.section)) return d;
    Vector p = HostOrderToVector(point), t = HostOrderToVector(tangent);
    const double r = SampleRouteSpline(piece.spline, d, p, t, offset);
    point = VectorToHostOrder(p);
    tangent = VectorToHostOrder(t);
    return r;
  }

  bool AdvancePiece() override {
    if (!NextRoutePiece(ap_)) return false;
    spline_ = ap_.routeSpline;
    arc_.emplace(spline_);
    return true;
  }

  void Drop() override { DropRoute(ap_); }

  void PlaceSurface(const Vec3& point, const Vec3& tangent) override {
    ap_.routeFrame = RouteFrameAt(HostOrderToVector(point), HostOrderToVector(tangent), ap_.routeGuide);
  }

 private:
  AutopilotState& ap_;
  const BaseObject* spline_;  // the piece arc_ measures
  std::optional<ArcLength> arc_;
};

AutopilotCar ViewOf(CarState& car) {
  return AutopilotCar{.position = VectorToHostOrder(car.bodyMatrix.off),
                      .sideAxis = VectorToHostOrder(car.bodyMatrix.v1),
                      .forwardAxis = VectorToHostOrder(car.bodyMatrix.v3),
                      .velocity = car.velocity,
                      .speed = car.speed,
                      .width = car.bodySize.x,
                      .length = car.bodySize.z,
                      .settings = car.settings,
                      .inputs = car,
                      .leadingWord = car.leadingWord};
}

}  // namespace

void StepAutopilot(BaseDocument*, const BaseContainer&, CarState& car) {
  SceneRoute route(car.autopilot, car.autopilot.routeSpline);
  AutopilotCar view = ViewOf(car);
  FollowRoute(route, car.autopilot, view);
}

int32 ControlRouteSpeed(const BaseObject* spline, double place, CarState& car) {
  const SceneRoute route(car.autopilot, spline);
  AutopilotCar view = ViewOf(car);
  return ControlRouteSpeed(route, place, car.autopilot, view);
}

double AngleBetween(const Vector& a, const Vector& b) { return AngleBetween(VectorToHostOrder(a), VectorToHostOrder(b)); }

namespace {

GapSight SightOf(const CarEntry& e) {
  if (!e.ready || !e.object || !e.state) return GapSight{};
  const CarState& o = *e.state;
  return GapSight{.position = VectorToHostOrder(o.bodyMatrix.off),
                  .forwardAxis = VectorToHostOrder(o.bodyMatrix.v3),
                  .length = o.bodySize.z,
                  .state = &o};
}

GapReach ReachOf(const CarState& car) {
  return GapReachOf(car.autopilot, VectorToHostOrder(car.bodyMatrix.off), VectorToHostOrder(car.bodyMatrix.v3),
                    car.bodySize.z);
}

}  // namespace

void GapSights::Reset(const CarEntry* cars, int32 count) {
  count = cars ? std::max<int32>(count, 0) : 0;
  sights_.resize(static_cast<size_t>(count));
  // Cells as wide as the widest reach a car keeping its gap asks for: a
  // query then looks at a few cells around the car.
  double reach = 0.0, longest = 0.0;
  for (int32 i = 0; i < count; ++i) {
    sights_[i] = SightOf(cars[i]);
    if (!sights_[i].state) continue;
    const CarState& car = *cars[i].state;
    if (std::isfinite(car.bodySize.z)) longest = std::max(longest, std::fabs(car.bodySize.z));
    if (car.autopilot.gapDistance == 0.0) continue;
    const GapReach r = ReachOf(car);
    if (!r.dropsNone) reach = std::max(reach, r.reach + r.length);
  }
  index_.Reset(count, reach > 0.0 ? reach + longest : 0.0);
  for (int32 i = 0; i < count; ++i) {
    const GapSight& s = sights_[i];
    index_.Set(i, s.state ? &s.position : nullptr, s.forwardAxis, s.length);
  }
}

void GapSights::Update(const CarEntry* cars, int32 i) {
  if (!cars || i < 0 || static_cast<size_t>(i) >= sights_.size()) return;
  GapSight& s = sights_[i];
  s = SightOf(cars[i]);
  index_.Set(i, s.state ? &s.position : nullptr, s.forwardAxis, s.length);
}

void KeepGapToCars(CarState& car, GapSights& sights) {
  AutopilotState& ap = car.autopilot;
  std::vector<GapCar>& others = sights.others_;
  others.clear();
  // Keeping the gap to cars on the same route alone, a car that follows none
  // keeps it to no car.
  const bool none = ap.gapSameRoute && !ap.routeSpline;
  if (ap.gapDistance != 0.0 && !none) {
    const GapReach reach = ReachOf(car);
    sights.index_.Near(reach, sights.near_);
    for (int32 i : sights.near_) {
      const GapSight& s = sights.sights_[i];
      if (!s.state || s.state == &car) continue;
      // In a crowd most cars are far off: dropping them leaves the answer.
      if (!MayKeepGapTo(reach, s.position, s.forwardAxis, s.length)) continue;
      others.push_back(GapCar{.position = s.position,
                              .forwardAxis = s.forwardAxis,
                              .length = s.length,
                              .speed = s.state->speed,
                              .sameRoute = ap.routeSpline && s.state->autopilot.routeSpline == ap.routeSpline ? 1 : 0});
    }
  }
  AutopilotCar view = ViewOf(car);
  KeepGap(others.empty() ? nullptr : others.data(), static_cast<int32>(others.size()), ap, view);
}

void KeepGapToCars(CarState& car, const CarEntry* cars, int32 count) {
  GapSights sights;
  sights.Reset(cars, count);
  KeepGapToCars(car, sights);
}
