#include "engine/autopilot.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>

// Places and directions here are in host order and go through the same
// operations, in the same order, as the scene's vector type would apply:
// normalising divides by the length, so the route a car drives does not
// depend on which side computes it.

namespace {

inline constexpr double kPi = 3.14159265358979323846;

enum : int32 { kTargetPending = 1, kTargetMarked = 2 };

double UnitsPerMetre(const SimSettings& s) {
  const double u = s.unitsPerMetre;
  return u > 0.0 && std::isfinite(u) ? u : 100.0;
}

double InputPeriod(const SimSettings& s) {
  const double p = s.inputPeriod;
  return p > 0.0 && std::isfinite(p) ? p : 0.01;
}

Vec3 Plus(const Vec3& a, const Vec3& b) { return Vec3(a.x + b.x, a.y + b.y, a.z + b.z); }
Vec3 Minus(const Vec3& a, const Vec3& b) { return Vec3(a.x - b.x, a.y - b.y, a.z - b.z); }
Vec3 Times(const Vec3& a, double s) { return Vec3(a.x * s, a.y * s, a.z * s); }

// The unit vector along v (v over its length); zero stays zero.
Vec3 Normalised(const Vec3& v) {
  const double l = LengthVec3(v);
  return l > 0.0 ? Vec3(v.x / l, v.y / l, v.z / l) : Vec3();
}

Vec3 FlatXZ(const Vec3& v) { return Vec3(v.x, 0.0, v.z); }

double DotXZ(const Vec3& a, const Vec3& b) { return a.x * b.x + a.z * b.z; }

void DropFrontTarget(RouteFollowState& ap) {
  const int32 n = std::clamp(ap.speedQueueCount, 0, kSpeedTargets);
  if (n <= 0) return;
  std::memmove(&ap.speedQueue[0], &ap.speedQueue[1], sizeof(SpeedTarget) * static_cast<size_t>(n - 1));
  ap.speedQueueCount = n - 1;
}

void PushFrontTarget(RouteFollowState& ap, AutopilotCar& car, const SpeedTarget& t) {
  const int32 n = std::clamp(ap.speedQueueCount, 0, kSpeedTargets);
  const int32 kept = std::min(n, kSpeedTargets - 1);
  std::memmove(&ap.speedQueue[1], &ap.speedQueue[0], sizeof(SpeedTarget) * static_cast<size_t>(kept));
  ap.speedQueue[0] = t;
  ap.speedQueueCount = kept + 1;
  car.leadingWord = kSpeedTargetChangedWord;
}

bool FrontPending(const RouteFollowState& ap) {
  return ap.speedQueueCount > 0 && (ap.speedQueue[0].entryFlags & kTargetPending);
}

// The input tick in whose period the run makes its next break test. The
// profile corrections run once per break period on this tick; waiting for a
// tick on which both counters run out together would skip them for seconds
// when the break period is not a whole number of input periods.
bool ProfileTick(const SimSettings& s) {
  const double dt = s.stepDt;
  const double steps = dt > 0.0 ? std::floor(InputPeriod(s) / dt + 0.5) : 1.0;
  return s.breakCountdown < std::max(steps, 1.0);
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

double AngleBetween(const Vec3& a, const Vec3& b) {
  const double n = std::sqrt(LengthSquaredVec3(a) * LengthSquaredVec3(b));
  if (n == 0.0) return 0.0;
  const double c = DotVec3(a, b) / n;
  if (c >= 1.0) return 0.0;
  if (c <= -1.0) return kPi;
  return std::acos(c);
}

double SteerToward(const Vec3& direction, const Vec3& sideAxis, double maxSteerAngle) {
  const Vec3 h = Normalised(FlatXZ(sideAxis));
  const Vec3 g = Normalised(FlatXZ(direction));
  const double reach = std::cos(kPi / 2.0 - maxSteerAngle);
  // A car that cannot steer is not steered (and never given a NaN).
  if (!(reach > 1e-9)) return 0.0;
  const double steer = -DotVec3(g, h) / reach;
  if (!std::isfinite(steer)) return 0.0;
  return std::clamp(steer, -1.0, 1.0);
}

void FollowRoute(RoutePath& route, RouteFollowState& ap, AutopilotCar& car) {
  if (!route.Bound()) {
    route.Drop();
    return;
  }
  const SimSettings& set = car.settings;
  const double dt = set.stepDt;
  const double upm = UnitsPerMetre(set);
  const double period = InputPeriod(set);
  const Vec3 Q = car.position;
  const double speed = std::isfinite(car.speed) ? car.speed : 0.0;
  const Vec3 u = Normalised(car.velocity);

  // Where the car will be at the next input tick, along the route.
  double s = ap.routeDistance + period * speed * upm * DotXZ(u, ap.routeTangent) -
             DotXZ(Minus(ap.routePoint, Q), ap.routeTangent);
  if (!(s > 0.0)) s = 0.0;

  Vec3 point = ap.routePoint, tangent = ap.routeTangent;
  double r = route.Sample(s, ap.lateralOffset, point, tangent);
  if (r > 0.0) {
    s = r;
    if (route.AdvancePiece()) r = route.Sample(s, ap.lateralOffset, point, tangent);
    if (r > 0.0 || !route.Bound()) {
      // End of the last piece: stop and straighten the wheels.
      route.Drop();
      RampBrake(0.75, 1.0, kAutopilotLevel, dt, car.inputs);
      RampSteering(0.0, 2.0, kAutopilotLevel, dt, car.inputs);
      return;
    }
  }
  ap.routePoint = point;
  ap.routeTangent = tangent;
  ap.routeDistance = s;
  if (ap.routeIsGround) route.PlaceSurface(point, tangent);

  Vec3 target = ap.routeTangent;
  if (speed > 0.5) {
    const double ahead = s + speed * upm * ap.lookAheadTime;
    Vec3 lp, lt;
    double lr = route.Sample(ahead, ap.lateralOffset, lp, lt);
    // Look into the next piece without binding it: the current piece's
    // speed table and aim stay as they are.
    if (lr > 0.0) lr = route.SampleNext(lr, ap.lateralOffset, lp, lt);
    if (lr < 0.0001) target = Plus(Normalised(Minus(lp, Vec3(Q.x, 0.0, Q.z))), ap.routeTangent);
  }
  RampSteering(SteerToward(target, car.sideAxis, ap.maxSteerAngle), period, kAutopilotLevel, dt, car.inputs);
  ControlRouteSpeed(route, r, ap, car);
}

int32 ControlRouteSpeed(const RoutePath& route, double place, RouteFollowState& ap, AutopilotCar& car) {
  const int32 count = std::clamp(ap.speedPointCount, 0, kRouteSpeedPoints);
  if (count == 0) return 0;
  InputRamps& in = car.inputs;
  if (in.pedalRampLevel > kAutopilotLevel) {
    // Someone else holds the pedals: the approach under way is void.
    if (FrontPending(ap) && ap.speedQueueCount > 1) DropFrontTarget(ap);
    return 0;
  }
  const double L = route.Length();
  if (!(L > 0.0)) return 0;
  const SimSettings& set = car.settings;
  const double dt = set.stepDt;
  const double upm = UnitsPerMetre(set);
  const double here = std::clamp(-place, 0.0, 1.0);
  const double v = std::floor(car.speed * 100.0) / 100.0;
  auto metresTo = [&](int32 i) { return L * (route.ToUniform(ap.speedPoints[i].parameter) - here) / upm; };
  const double throttle = in.ramps[kRampThrottle].current;
  const double brake = in.ramps[kRampBrake].current;

  if (ap.speedPointIndex >= 0 && ap.speedPointIndex < count && FrontPending(ap)) {
    const double pointSpeed = ap.speedPoints[ap.speedPointIndex].speed;
    const double D = metresTo(ap.speedPointIndex);
    SpeedTarget& front = ap.speedQueue[0];
    if (D > 0.0) {
      // The brake serves only above the point's speed: below it, it lets go
      // at once, not at the next correction while the car slows on.
      ControlRamp& b = in.ramps[kRampBrake];
      if (v < pointSpeed && (b.current > 0.0 || b.target > 0.0)) b = ControlRamp();
      if (!ProfileTick(set)) return 0;
      const double ratio = front.changeDistance > 0.0 ? std::min(D / front.changeDistance, 1.0) : 1.0;
      const double planned = front.deltaSpeed * (1.0 - std::sqrt(1.0 - ratio));
      const double needed = pointSpeed - v;
      // Above the point's speed the brake works whichever way the approach
      // started: an approach that sped up would otherwise keep its throttle
      // and race on past the speed it was after.
      if (v > pointSpeed) {
        if (planned > needed) {
          if (brake <= 0.96) RampBrake(brake + 0.04, 0.16, kAutopilotLevel, dt, in);
        } else if (needed > planned && brake > 0.0) {
          RampBrake(0.0, 0.16, kAutopilotLevel, dt, in);
        }
      } else if (pointSpeed > v) {
        if (needed <= planned && v >= 0.01 && pointSpeed <= 2.0 * v) {
          if (planned > needed && throttle >= 0.02) RampThrottle(throttle - 0.02, 0.16, kAutopilotLevel, dt, in);
        } else if (throttle <= 0.98) {
          RampThrottle(throttle + 0.02, 0.16, kAutopilotLevel, dt, in);
        }
      }
      return 0;
    }
    if (ap.learnMode == 1) {
      const Vec3 off = FlatXZ(Minus(car.position, ap.routePoint));
      if (LengthVec3(off) <= 3.0 * car.width) {
        front.entryFlags &= ~kTargetPending;
        front.gain = CorrectedGain(front, pointSpeed, v);
      } else {
        DropFrontTarget(ap);
      }
    }
  }

  int32 next = -1;
  for (int32 i = 0; i < count; ++i)
    if (route.ToUniform(ap.speedPoints[i].parameter) > here) {
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
  if (pedal >= 0.0) RampThrottle(std::clamp(pedal, 0.01, 1.0), 0.1, kAutopilotLevel, dt, in);
  PushFrontTarget(ap, car, SpeedTarget{needed, D, kTargetPending | kTargetMarked, pedal});
  return 0;
}

void PruneSpeedQueue(RouteFollowState& ap) {
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

GapReach GapReachOf(const RouteFollowState& ap, const Vec3& position, const Vec3& forwardAxis, double length) {
  GapReach r;
  r.position = position;
  r.reach = ap.gapDistance + ap.gapDistance * ap.gapMargin;
  r.length = std::fabs(length);
  r.dropsNone = !std::isfinite(r.reach) || !std::isfinite(r.length) || !GapAxisUnitOrZero(forwardAxis);
  return r;
}

namespace {

// Cell numbers beyond this are not kept in the grid: rounding would eat the
// margin the queries leave.
constexpr double kMaxGapCell = 1e9;

}  // namespace

void GapIndex::Reset(int32 n, double cell) {
  n = std::max<int32>(n, 0);
  cell_ = cell > 0.0 && std::isfinite(cell) ? cell : 0.0;
  longest_ = 0.0;
  places_.assign(static_cast<size_t>(n), Place{});
  cells_.clear();
  everywhere_.clear();
  marks_.assign((static_cast<size_t>(n) + 63) / 64, 0);
}

void GapIndex::Leave(int32 i) {
  Place& p = places_[static_cast<size_t>(i)];
  std::vector<int32>* list = &everywhere_;
  if (p.where == kInCell) list = &cells_[Key(p.cx, p.cz)];
  if (p.where != kAbsent) {
    auto at = std::find(list->begin(), list->end(), i);
    if (at != list->end()) {
      *at = list->back();
      list->pop_back();
    }
  }
  p.where = kAbsent;
}

void GapIndex::Set(int32 i, const Vec3* position, const Vec3& forwardAxis, double length) {
  if (i < 0 || static_cast<size_t>(i) >= places_.size()) return;
  Place next;
  if (position) {
    next.where = kEverywhere;
    const double fx = cell_ > 0.0 ? std::floor(position->x / cell_) : HUGE_VAL;
    const double fz = cell_ > 0.0 ? std::floor(position->z / cell_) : HUGE_VAL;
    // MayKeepGapTo keeps a car with such a length or axis at any distance.
    const bool anywhere = !std::isfinite(length) || !GapAxisUnitOrZero(forwardAxis);
    if (!anywhere && std::fabs(fx) < kMaxGapCell && std::fabs(fz) < kMaxGapCell && std::isfinite(position->y)) {
      next.where = kInCell;
      next.cx = static_cast<int64_t>(fx);
      next.cz = static_cast<int64_t>(fz);
      longest_ = std::max(longest_, std::fabs(length));
    }
  }
  const Place& now = places_[static_cast<size_t>(i)];
  if (now.where == next.where && now.cx == next.cx && now.cz == next.cz) return;
  Leave(i);
  places_[static_cast<size_t>(i)] = next;
  if (next.where == kInCell)
    cells_[Key(next.cx, next.cz)].push_back(i);
  else if (next.where == kEverywhere)
    everywhere_.push_back(i);
}

void GapIndex::Near(const GapReach& car, std::vector<int32>& out) {
  out.clear();
  auto mark = [&](int32 i) { marks_[static_cast<size_t>(i) >> 6] |= uint64_t{1} << (i & 63); };
  // The widest bound MayKeepGapTo can work out for a placed car, widened far
  // beyond its rounding margin, and one more cell each way for the rounding
  // of the cell numbers.
  const double bound = car.reach + car.length + longest_;
  auto reach = [&](double a) { return bound + 1e-6 * (std::fabs(bound) + std::fabs(a)); };
  const double wx = reach(car.position.x), wz = reach(car.position.z);
  const double x0 = std::floor((car.position.x - wx) / cell_) - 1.0, x1 = std::floor((car.position.x + wx) / cell_) + 1.0;
  const double z0 = std::floor((car.position.z - wz) / cell_) - 1.0, z1 = std::floor((car.position.z + wz) / cell_) + 1.0;
  // A reach of many cells (or none worked out) gives every car.
  const bool all = car.dropsNone || !(cell_ > 0.0) || !(x1 - x0 <= 64.0 && z1 - z0 <= 64.0) ||
                   !(std::fabs(x0) < 2.0 * kMaxGapCell && std::fabs(x1) < 2.0 * kMaxGapCell &&
                     std::fabs(z0) < 2.0 * kMaxGapCell && std::fabs(z1) < 2.0 * kMaxGapCell);
  if (all) {
    for (size_t i = 0; i < places_.size(); ++i)
      if (places_[i].where != kAbsent) mark(static_cast<int32>(i));
  } else {
    for (int64_t cx = static_cast<int64_t>(x0); cx <= static_cast<int64_t>(x1); ++cx)
      for (int64_t cz = static_cast<int64_t>(z0); cz <= static_cast<int64_t>(z1); ++cz) {
        auto found = cells_.find(Key(cx, cz));
        if (found == cells_.end()) continue;
        for (int32 i : found->second) mark(i);
      }
    for (int32 i : everywhere_) mark(i);
  }
  for (size_t w = 0; w < marks_.size(); ++w) {
    for (uint64_t bits = marks_[w]; bits; bits &= bits - 1)
      out.push_back(static_cast<int32>(w * 64 + static_cast<size_t>(std::countr_zero(bits))));
    marks_[w] = 0;
  }
}

void KeepGap(const GapCar* others, int32 count, RouteFollowState& ap, AutopilotCar& car) {
  ap.gapZone = 0;
  if (ap.gapDistance == 0.0 || !others) return;
  const double G = ap.gapDistance, M = G * ap.gapMargin;
  const double dt = car.settings.stepDt;
  const double period = InputPeriod(car.settings);
  InputRamps& in = car.inputs;
  const Vec3 forward = Normalised(car.forwardAxis);
  const Vec3 front = Plus(car.position, Times(forward, car.length * 0.5));
  // Only the nearest car ahead counts: a farther one's lighter answer must
  // not undo the brake the nearer one asks for.
  const GapCar* nearest = nullptr;
  double dist = 0.0;
  for (int32 i = 0; i < count; ++i) {
    const GapCar& other = others[i];
    if (ap.gapSameRoute && !other.sameRoute) continue;
    const Vec3 rear = Minus(other.position, Times(Normalised(other.forwardAxis), other.length * 0.5));
    const Vec3 d = Minus(rear, front);
    const double di = LengthVec3(d);
    if (AngleBetween(d, forward) > ap.gapHalfAngle || di > G + M) continue;
    if (!nearest || di < dist) {
      nearest = &other;
      dist = di;
    }
  }
  if (!nearest) return;
  const GapCar& other = *nearest;
  ap.gapZone = 3;
  if (dist < (G - M) * 0.5 || other.speed < 0.01) {
    RampBrake(1.0, period, kGapKeeperLevel, dt, in);
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
    if (car.speed > 2.0) RampThrottle(0.0, period, kGapKeeperLevel, dt, in);
  } else if (k <= 1.0) {
    const ControlRamp& b = in.ramps[kRampBrake];
    if (k < 0.2 && b.current <= 0.0 && b.target <= 0.0)
      RampThrottle(0.0, period, kGapKeeperLevel, dt, in);
    else
      RampBrake(k, period, kGapKeeperLevel, dt, in);
  } else {
    RampBrake(1.0, period, kGapKeeperLevel, dt, in);
  }
}
