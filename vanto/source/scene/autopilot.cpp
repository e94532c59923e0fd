#include "scene/autopilot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "carsim/car_param_ids.h"
#include "host_container.h"
#include "host_geometry.h"
#include "scene_build/object_builders.h"
#include "scene/ramps.h"
#include "scene/carstate.h"
#include "scene_build/pair_sort.h"

namespace {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr int32 kProfileSamples = 200;
inline constexpr int32 kMinProfileSamples = 4;
inline constexpr LONG kSpeedTargetChangedWord = 0x12345678;

enum : int32 { kTargetPending = 1, kTargetMarked = 2 };

double UnitsPerMetre(const CarState& car) {
  const double u = car.settings.unitsPerMetre;
  return u > 0.0 && std::isfinite(u) ? u : 100.0;
}

double InputPeriod(const CarState& car) {
  const double p = car.settings.inputPeriod;
  return p > 0.0 && std::isfinite(p) ? p : 0.01;
}

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

Vector FlatXZ(const Vector& v) { return Vector(v.x, 0.0, v.z); }

double DotXZ(const Vector& a, const Vector& b) { return a.x * b.x + a.z * b.z; }

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

void DropFrontTarget(AutopilotState& ap) {
  const int32 n = std::clamp(ap.speedQueueCount, 0, kSpeedTargets);
  if (n <= 0) return;
  std::memmove(&ap.speedQueue[0], &ap.speedQueue[1], sizeof(SpeedTarget) * static_cast<size_t>(n - 1));
  ap.speedQueueCount = n - 1;
}

void PushFrontTarget(CarState& car, const SpeedTarget& t) {
  AutopilotState& ap = car.autopilot;
  const int32 n = std::clamp(ap.speedQueueCount, 0, kSpeedTargets);
  const int32 kept = std::min(n, kSpeedTargets - 1);
  std::memmove(&ap.speedQueue[1], &ap.speedQueue[0], sizeof(SpeedTarget) * static_cast<size_t>(kept));
  ap.speedQueue[0] = t;
  ap.speedQueueCount = kept + 1;
  car.leadingWord = kSpeedTargetChangedWord;
}

bool FrontPending(const AutopilotState& ap) {
  return ap.speedQueueCount > 0 && (ap.speedQueue[0].entryFlags & kTargetPending);
}

// The input tick in whose period the run makes its next break test. The
// profile corrections run once per break period on this tick; waiting for a
// tick on which both counters run out together would skip them for seconds
// when the break period is not a whole number of input periods.
bool ProfileTick(const CarState& car) {
  const double dt = car.settings.stepDt;
  const double steps = dt > 0.0 ? std::floor(InputPeriod(car) / dt + 0.5) : 1.0;
  return car.settings.breakCountdown < std::max(steps, 1.0);
}

// Learnt gain after reaching a point: scaled by the planned over the made
// change; doubled when that gives no usable gain.
double CorrectedGain(const SpeedTarget& t, double pointSpeed, double v) {
  const double made = t.deltaSpeed - (pointSpeed - v);
  const double g = made != 0.0 ? t.gain * t.deltaSpeed / made : 0.0;
  if (!std::isfinite(g) || g == 0.0 || (g > 0.0) != (t.gain > 0.0)) return t.gain * 2.0;
  return g;
}

}  // namespace

// ---------------------------------------------------------------- geometry

double AngleBetween(const Vector& a, const Vector& b) {
  const double n = std::sqrt(a.GetSquaredLength() * b.GetSquaredLength());
  if (n == 0.0) return 0.0;
  const double c = Dot(a, b) / n;
  if (c >= 1.0) return 0.0;
  if (c <= -1.0) return kPi;
  return std::acos(c);
}

namespace {

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

int32 ControlSpeedOn(const ArcLength& arc, double place, CarState& car);

}  // namespace

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
  Vector p = ap.routePoint, t = ap.routeTangent;
  SampleRouteSpline(ap.routeSpline, 0.0, p, t, ap.lateralOffset);
  ap.routePoint = p;
  ap.routeTangent = t;
  ap.routeDistance = 0.0;
  ap.speedPointIndex = -1;
  // The start pose stands on the route: its surface must be there already.
  if (ap.routeIsGround) ap.routeFrame = RouteFrameAt(p, t, ap.routeGuide);
  PruneSpeedQueue(car);
  return 1;
}

void StepAutopilot(BaseDocument*, const BaseContainer&, CarState& car) {
  AutopilotState& ap = car.autopilot;
  if (!ap.routeSpline) {
    DropRoute(ap);
    return;
  }
  const double upm = UnitsPerMetre(car);
  const double period = InputPeriod(car);
  const Vector Q = car.bodyMatrix.off;
  const Vector vel(car.velocity.x, car.velocity.y, car.velocity.z);
  const double speed = std::isfinite(car.speed) ? car.speed : 0.0;
  const Vector u = vel.GetNormalized();

  // Where the car will be at the next input tick, along the route.
  double s = ap.routeDistance + period * speed * upm * DotXZ(u, ap.routeTangent) -
             DotXZ(ap.routePoint - Q, ap.routeTangent);
  if (!(s > 0.0)) s = 0.0;

  // One arc length table per piece and input period serves every sample.
  const ArcLength firstArc(ap.routeSpline);
  std::optional<ArcLength> nextArc;
  const ArcLength* arc = &firstArc;
  Vector point = ap.routePoint, tangent = ap.routeTangent;
  double r = SampleOn(*arc, ap.routeSpline, s, point, tangent, ap.lateralOffset);
  if (r > 0.0) {
    s = r;
    if (NextRoutePiece(ap)) {
      arc = &nextArc.emplace(ap.routeSpline);
      r = SampleOn(*arc, ap.routeSpline, s, point, tangent, ap.lateralOffset);
    }
    if (r > 0.0 || !ap.routeSpline) {
      // End of the last piece: stop and straighten the wheels.
      DropRoute(ap);
      RampBrake(0.75, 1.0, kAutopilotLevel, car);
      RampSteering(0.0, 2.0, kAutopilotLevel, car);
      return;
    }
  }
  ap.routePoint = point;
  ap.routeTangent = tangent;
  ap.routeDistance = s;
  if (ap.routeIsGround) ap.routeFrame = RouteFrameAt(point, tangent, ap.routeGuide);

  Vector target = ap.routeTangent;
  if (speed > 0.5) {
    const double ahead = s + speed * upm * ap.lookAheadTime;
    Vector lp, lt;
    double lr = SampleOn(*arc, ap.routeSpline, ahead, lp, lt, ap.lateralOffset);
    if (lr > 0.0) {
      // Look into the next piece without binding it: the current piece's
      // speed table and aim stay as they are.
      RoutePiece piece;
      RouteSurface scratch;
      if (ResolvePiece(NeighbourPiece(ap, true), piece, scratch.section))
        lr = SampleRouteSpline(piece.spline, lr, lp, lt, ap.lateralOffset);
    }
    if (lr < 0.0001) target = (lp - Vector(Q.x, 0.0, Q.z)).GetNormalized() + ap.routeTangent;
  }
  RampSteering(SteerToward(target, car), period, kAutopilotLevel, car);
  ControlSpeedOn(*arc, r, car);
}

double SteerToward(const Vector& direction, const CarState& car) {
  const Vector h = FlatXZ(car.bodyMatrix.v1).GetNormalized();
  const Vector g = FlatXZ(direction).GetNormalized();
  const double reach = std::cos(kPi / 2.0 - car.autopilot.maxSteerAngle);
  // A car that cannot steer is not steered (and never given a NaN).
  if (!(reach > 1e-9)) return 0.0;
  const double steer = -Dot(g, h) / reach;
  if (!std::isfinite(steer)) return 0.0;
  return std::clamp(steer, -1.0, 1.0);
}

int32 ControlRouteSpeed(const BaseObject* spline, double place, CarState& car) {
  return ControlSpeedOn(ArcLength(spline), place, car);
}

namespace {

int32 ControlSpeedOn(const ArcLength& arc, double place, CarState& car) {
  AutopilotState& ap = car.autopilot;
  const int32 count = std::clamp(ap.speedPointCount, 0, kRouteSpeedPoints);
  if (count == 0) return 0;
  if (car.pedalRampLevel > kAutopilotLevel) {
    // Someone else holds the pedals: the approach under way is void.
    if (FrontPending(ap) && ap.speedQueueCount > 1) DropFrontTarget(ap);
    return 0;
  }
  const double L = arc.Length();
  if (!arc.Valid() || !(L > 0.0)) return 0;
  const double upm = UnitsPerMetre(car);
  const double here = std::clamp(-place, 0.0, 1.0);
  const double v = std::floor(car.speed * 100.0) / 100.0;
  auto metresTo = [&](int32 i) { return L * (arc.ToUniform(ap.speedPoints[i].parameter) - here) / upm; };
  const double throttle = car.ramps[kRampThrottle].current;
  const double brake = car.ramps[kRampBrake].current;

  if (ap.speedPointIndex >= 0 && ap.speedPointIndex < count && FrontPending(ap)) {
    const double pointSpeed = ap.speedPoints[ap.speedPointIndex].speed;
    const double D = metresTo(ap.speedPointIndex);
    SpeedTarget& front = ap.speedQueue[0];
    if (D > 0.0) {
      // The brake serves only above the point's speed: below it, it lets go
      // at once, not at the next correction while the car slows on.
      ControlRamp& b = car.ramps[kRampBrake];
      if (v < pointSpeed && (b.current > 0.0 || b.target > 0.0)) b = ControlRamp();
      if (!ProfileTick(car)) return 0;
      const double ratio = front.changeDistance > 0.0 ? std::min(D / front.changeDistance, 1.0) : 1.0;
      const double planned = front.deltaSpeed * (1.0 - std::sqrt(1.0 - ratio));
      const double needed = pointSpeed - v;
      // Above the point's speed the brake works whichever way the approach
      // started: an approach that sped up would otherwise keep its throttle
      // and race on past the speed it was after.
      if (v > pointSpeed) {
        if (planned > needed) {
          if (brake <= 0.96) RampBrake(brake + 0.04, 0.16, kAutopilotLevel, car);
        } else if (needed > planned && brake > 0.0) {
          RampBrake(0.0, 0.16, kAutopilotLevel, car);
        }
      } else if (pointSpeed > v) {
        if (needed <= planned && v >= 0.01 && pointSpeed <= 2.0 * v) {
          if (planned > needed && throttle >= 0.02) RampThrottle(throttle - 0.02, 0.16, kAutopilotLevel, car);
        } else if (throttle <= 0.98) {
          RampThrottle(throttle + 0.02, 0.16, kAutopilotLevel, car);
        }
      }
      return 0;
    }
    if (ap.learnMode == 1) {
      const Vector off = FlatXZ(car.bodyMatrix.off - ap.routePoint);
      if (off.GetLength() <= 3.0 * car.bodySize.x) {
        front.entryFlags &= ~kTargetPending;
        front.gain = CorrectedGain(front, pointSpeed, v);
      } else {
        DropFrontTarget(ap);
      }
    }
  }

  int32 next = -1;
  for (int32 i = 0; i < count; ++i)
    if (arc.ToUniform(ap.speedPoints[i].parameter) > here) {
      next = i;
      break;
    }
  if (next < 0) return 1;
  ap.speedPointIndex = next;
  const double D = metresTo(next);
  const double needed = ap.speedPoints[next].speed - v;

  const SpeedTarget* match = nullptr;
  double best = 10000.0, bestDistance = 0.0;
  const int32 queued = std::clamp(ap.speedQueueCount, 0, kSpeedTargets);
  for (int32 i = 0; i < queued; ++i) {
    const SpeedTarget& e = ap.speedQueue[i];
    if (!((needed > 0.0 && e.deltaSpeed > 0.0) || (needed < 0.0 && e.deltaSpeed < 0.0))) continue;
    if (!std::isfinite(e.gain) || !std::isfinite(e.changeDistance)) continue;
    const double diff = std::fabs(e.deltaSpeed - needed);
    const double distance = std::fabs(e.changeDistance - D);
    if (diff < best || (diff == best && match && distance < bestDistance)) {
      match = &e;
      best = diff;
      bestDistance = distance;
    }
  }
  double pedal = needed > 0.0 ? 0.75 : -0.75;
  if (match) pedal = needed / match->deltaSpeed * match->gain * ((match->changeDistance / D - 1.0) * 0.5 + 1.0);
  if (!std::isfinite(pedal)) pedal = needed > 0.0 ? 0.75 : -0.75;
  if (pedal >= 0.0) RampThrottle(std::clamp(pedal, 0.01, 1.0), 0.1, kAutopilotLevel, car);
  PushFrontTarget(car, SpeedTarget{needed, D, kTargetPending | kTargetMarked, pedal});
  return 0;
}

}  // namespace

void PruneSpeedQueue(CarState& car) {
  AutopilotState& ap = car.autopilot;
  const int32 n = std::clamp(ap.speedQueueCount, 0, kSpeedTargets);
  int32 kept = 0;
  for (int32 i = 0; i < n; ++i) {
    SpeedTarget e = ap.speedQueue[i];
    if (ap.learnMode == 1) e.entryFlags &= ~kTargetMarked;
    const bool contradicts = (e.deltaSpeed > 0.0 && e.gain < -0.5) || (e.deltaSpeed < 0.0 && e.gain > 0.5);
    if ((e.entryFlags & (kTargetPending | kTargetMarked)) || contradicts) continue;
    ap.speedQueue[kept++] = e;
  }
  ap.speedQueueCount = kept;
}

void KeepGapToCars(CarState& car, const CarEntry* cars, int32 count) {
  AutopilotState& ap = car.autopilot;
  ap.gapZone = 0;
  if (ap.gapDistance == 0.0 || !cars) return;
  const double G = ap.gapDistance, M = G * ap.gapMargin;
  const double period = InputPeriod(car);
  const Vector forward = car.bodyMatrix.v3.GetNormalized();
  const Vector front = car.bodyMatrix.off + forward * (car.bodySize.z * 0.5);
  // Only the nearest car ahead counts: a farther one's lighter answer must
  // not undo the brake the nearer one asks for.
  const CarState* nearest = nullptr;
  double dist = 0.0;
  for (int32 i = 0; i < count; ++i) {
    const CarEntry& e = cars[i];
    if (!e.ready || !e.object || !e.state || e.state == &car) continue;
    const CarState& other = *e.state;
    if (ap.gapSameRoute && (!ap.routeSpline || other.autopilot.routeSpline != ap.routeSpline)) continue;
    const Vector rear = other.bodyMatrix.off - other.bodyMatrix.v3.GetNormalized() * (other.bodySize.z * 0.5);
    const Vector d = rear - front;
    const double di = d.GetLength();
    if (AngleBetween(d, forward) > ap.gapHalfAngle || di > G + M) continue;
    if (!nearest || di < dist) {
      nearest = &other;
      dist = di;
    }
  }
  if (!nearest) return;
  const CarState& other = *nearest;
  ap.gapZone = 3;
  if (dist < (G - M) * 0.5 || other.speed < 0.01) {
    RampBrake(1.0, period, kGapKeeperLevel, car);
    return;
  }
  double k = (car.speed / other.speed - 1.0) * 2.0;
  if (dist > G - M) {
    k *= 0.8;
    ap.gapZone = 2;
  }
  if (dist > G) {
    k *= 0.8;
    ap.gapZone = 1;
  }
  if (k < -0.1) return;
  if (k <= 0.01) {
    if (car.speed > 2.0) RampThrottle(0.0, period, kGapKeeperLevel, car);
  } else if (k <= 1.0) {
    const ControlRamp& b = car.ramps[kRampBrake];
    if (k < 0.2 && b.current <= 0.0 && b.target <= 0.0)
      RampThrottle(0.0, period, kGapKeeperLevel, car);
    else
      RampBrake(k, period, kGapKeeperLevel, car);
  } else {
    RampBrake(1.0, period, kGapKeeperLevel, car);
  }
}
