#include "track_wheels.h"

#include <algorithm>
#include <cmath>

#include "carsim/axle_word.h"
#include "rotelix_ids.h"
#include "scene_build/object_builders.h"
#include "scene_build/pair_sort.h"

namespace {

const Vector kMinusX{-1.0, 0.0, 0.0};

Vector InPlane(const Vector& v) { return Vector(0.0, v.y, v.z); }

// Handle length of a wrap arc of angle theta round a wheel of radius r: a
// quarter of the angle, at most 45 degrees.
Real ArcHandle(Real theta, Real r) {
  Real q = theta / 4.0;
  if (Deg(q) > 45.0) q = pi / 4.0;
  return r * std::tan(q);
}

}  // namespace

void InitWheelRigState(WheelRigState& state) { state = WheelRigState{}; }

Real ClampedAsin(Real x) {
  if (x >= 1.0) return pi / 2.0;
  if (x <= -1.0) return -pi / 2.0;
  return std::asin(x);
}

Real AngleBetween(const Vector& a, const Vector& b) {
  const Real d = std::sqrt(a.GetSquaredLength() * b.GetSquaredLength());
  if (d == 0.0) return 0.0;
  const Real c = Dot(a, b) / d;
  if (c >= 1.0) return 0.0;
  if (c <= -1.0) return pi;
  return std::acos(c);
}

Vector CommonTangentNormal(const Vector& c1, const Vector& c2, Real r1, Real r2) {
  const Vector d = c2 - c1;
  const Real len = d.GetLength();
  // Two wheels on one spot have no common tangent.
  if (!(len > 0.0)) return Vector();
  const Real tilt = ClampedAsin((r2 - r1) / len);
  const Real c = std::cos(tilt), s = std::sin(tilt);
  const Vector v(d.x, c * d.y + s * d.z, -s * d.y + c * d.z);
  return Vector(0.0, v.z, -v.y).GetNormalized();
}

SplineObject* GetTrackSpline(const BaseContainer& tag, LONG id, BaseDocument* doc) {
  BaseObject* op = tag.GetObjectLink(id, doc);
  return op && op->IsInstanceOf(Ospline) ? static_cast<SplineObject*>(op) : nullptr;
}

Bool BuildTrackWheelTable(BaseDocument* doc, BaseObject* car, const BaseContainer& tag, WheelRigState& state) {
  if (!car) return false;
  const BaseContainer& cbc = *car->GetDataInstance();

  // Road wheels: one record per selected car axle, keyed by its rest z.
  RealPair road[kMaxRoadGroups];
  LONG roadCount = 0;
  const LONG axles = std::clamp(tag.GetLong(ROTELIX_AXLE_COUNT), LONG(0), kMaxExtraAxles) + 2;
  for (LONG i = 0; i < axles; ++i)
    if (tag.GetBool(ROTELIX_TRACK_AXLE + i))
      road[roadCount++] = RealPair{static_cast<Real>(i), cbc.GetVector(RIG_REST_HUB + 2 * i).z};
  if (roadCount < 2) return false;
  SortRealPairs(road, roadCount);
  LONG roadPlaces = 0;
  for (LONG r = 0; r < roadCount; ++r)
    if (r == 0 || road[r].key != road[r - 1].key) ++roadPlaces;

  // End pairs and return rollers, keyed by the z of their side-1 object.
  RealPair others[kMaxOtherGroups];
  LONG otherCount = 0;
  BaseObject* front1 = LinkedObject(doc, tag, ROTELIX_FRONT_LINK + 1);
  BaseObject* rear1 = LinkedObject(doc, tag, ROTELIX_REAR_LINK + 1);
  const Bool hasRear = rear1 && LinkedObject(doc, tag, ROTELIX_REAR_LINK);
  const Bool hasFront = front1 && LinkedObject(doc, tag, ROTELIX_FRONT_LINK);
  if (hasRear) others[otherCount++] = RealPair{-2.0, rear1->GetRelPos().z};
  if (hasFront) others[otherCount++] = RealPair{-1.0, front1->GetRelPos().z};
  for (LONG k = 0; k < std::min(tag.GetLong(ROTELIX_ROLLER_COUNT), kMaxRollerPairs); ++k) {
    BaseObject* roller1 = LinkedObject(doc, tag, ROTELIX_ROLLER_LINK + 2 * k + 1);
    if (roller1 && LinkedObject(doc, tag, ROTELIX_ROLLER_LINK + 2 * k))
      others[otherCount++] = RealPair{static_cast<Real>(k), roller1->GetRelPos().z};
  }
  // Road wheels at one z with nothing else to run round would give a track
  // collapsed onto one wheel: no table at all.
  if (roadPlaces + otherCount < 2) return false;

  state.groupCount = 0;
  LONG firstRoad = -1, lastRoad = -1;
  for (LONG r = roadCount - 1; r >= 0; --r) {
    if (r < roadCount - 1 && road[r].key == road[r + 1].key) continue;
    const LONG g = state.groupCount++;
    const LONG a = static_cast<LONG>(road[r].value);
    const bool rear = DecodeAxleWord(cbc.GetLong(RIG_AXLE_TYPE + a)).Rear();
    const Real diameter = cbc.GetReal(rear ? CAR_WHEEL_DIAMETER_REAR : CAR_WHEEL_DIAMETER_FRONT);
    for (LONG s = 0; s < 2; ++s) {
      TrackWheelEntry& e = state.wheels[2 * g + s];
      e.key = a;
      e.restPosition = e.currentPosition = InPlane(cbc.GetVector(RIG_REST_HUB + 2 * a + s));
      e.radius = 0.5 * diameter;
      e.tensionerTravel = 0.0;
      e.flags = TRACKWHEEL_ROAD;
    }
    if (firstRoad < 0) firstRoad = g;
    lastRoad = g;
  }
  for (LONG g : {firstRoad, lastRoad})
    for (LONG s = 0; s < 2; ++s) state.wheels[2 * g + s].flags = TRACKWHEEL_ROAD | TRACKWHEEL_WRAP;

  // The tensioner moves away from the fixed end pair. With no fixed pair met
  // yet it moves away from the middle of the road wheels, level with itself:
  // the track's own shape, wherever the body's origin happens to be.
  Vector reference;
  Bool referenceFromRoad = true;
  if (hasRear && hasFront) {
    reference = InPlane(front1->GetRelPos());
    referenceFromRoad = false;
  }
  const Real roadMiddleZ =
      0.5 * (state.wheels[2 * firstRoad].restPosition.z + state.wheels[2 * lastRoad].restPosition.z);

  SortRealPairs(others, otherCount);
  for (LONG r = 0; r < otherCount; ++r) {
    const LONG g = state.groupCount++;
    const LONG key = static_cast<LONG>(others[r].value);
    if (key < 0) {
      const Bool front = key == -1;
      const Vector p = InPlane(tag.GetVector(front ? ROTELIX_FRONT_REST : ROTELIX_REAR_REST));
      const Bool tensioner = tag.GetBool(front ? ROTELIX_FRONT_TENSIONER : ROTELIX_REAR_TENSIONER);
      Vector direction;
      if (tensioner) {
        const Vector from = referenceFromRoad ? Vector(0.0, p.y, roadMiddleZ) : reference;
        direction = (p - from).GetNormalized();
      } else {
        reference = p;
        referenceFromRoad = false;
      }
      for (LONG s = 0; s < 2; ++s) {
        TrackWheelEntry& e = state.wheels[2 * g + s];
        e.key = key;
        e.tensionerTravel = 0.0;
        e.restPosition = e.currentPosition = p;
        e.radius = tag.GetReal(front ? ROTELIX_FRONT_RADIUS : ROTELIX_REAR_RADIUS);
        e.flags = TRACKWHEEL_END | TRACKWHEEL_WRAP;
        if (tensioner) {
          e.flags |= TRACKWHEEL_TENSIONER;
          e.tensionerTravel = tag.GetReal(front ? ROTELIX_FRONT_TRAVEL : ROTELIX_REAR_TRAVEL);
          e.tensionDirection = direction;
        }
      }
    } else {
      for (LONG s = 0; s < 2; ++s) {
        TrackWheelEntry& e = state.wheels[2 * g + s];
        BaseObject* roller = LinkedObject(doc, tag, ROTELIX_ROLLER_LINK + 2 * key + s);
        e.key = key;
        e.tensionerTravel = 0.0;
        e.restPosition = e.currentPosition = roller ? InPlane(roller->GetRelPos()) : Vector();
        e.radius = tag.GetReal(ROTELIX_ROLLER_RADIUS);
        e.flags = TRACKWHEEL_ROLLER;
      }
    }
  }

  for (LONG s = 0; s < 2; ++s)
    if (BaseObject* sprocket = cbc.GetObjectLink(kSprocketHub + s, doc))
      state.sprocketPosition[s] = sprocket->GetMg().off;
  return true;
}

LONG CountTrackPoints(const WheelRigState& state) {
  LONG n = 0;
  for (LONG g = 0; g < state.groupCount; ++g) {
    const LONG f = state.wheels[2 * g].flags;
    const Bool last = g == state.groupCount - 1;
    const LONG next = last ? 0 : state.wheels[2 * (g + 1)].flags;
    n += 1;
    if (f & TRACKWHEEL_WRAP) ++n;
    if ((f & TRACKWHEEL_ROLLER) || (next & TRACKWHEEL_ROLLER)) ++n;
    if ((f & TRACKWHEEL_END) && (next & TRACKWHEEL_END)) ++n;
  }
  return n;
}

void FillTrackSplinePoints(Vector* points, Tangent* tangents, LONG side, Real inset, LONG mode,
                           WheelRigState& state) {
  const LONG count = state.pointCount;
  if (!points || !tangents || count <= 0 || state.groupCount <= 0) return;
  const Bool rest = mode == TRACKFILL_REST;
  auto entry = [&](LONG g) -> TrackWheelEntry& { return state.wheels[2 * g + side]; };
  auto centre = [&](LONG g) { return rest ? entry(g).restPosition : entry(g).currentPosition; };
  auto inner = [&](LONG g) { return entry(g).radius - inset; };
  auto both = [&](LONG g, auto&& fn) {
    fn(state.wheels[2 * g]);
    fn(state.wheels[2 * g + 1]);
  };

  if (rest) state.sagHalfLengthSum = 0.0;
  LONG j = 0;
  Vector saved, nPrev;
  for (LONG g = 0; g < state.groupCount && j < count; ++g) {
    const LONG ng = g + 1 < state.groupCount ? g + 1 : 0;
    const LONG f = entry(g).flags, nf = entry(ng).flags;
    const Vector nrm = CommonTangentNormal(centre(g), centre(ng), inner(g), inner(ng));
    const Vector p1 = centre(g) + nrm * inner(g);
    const Vector p2 = centre(ng) + nrm * inner(ng);

    points[j] = p1;
    tangents[j].vr = saved = (p2 - p1) * 0.25;
    if (rest) both(g, [&](TrackWheelEntry& e) { e.departIndex = j; e.departPoint = p1; });

    if ((f & TRACKWHEEL_WRAP) && j > 0) {
      const Real h = ArcHandle(AngleBetween(nPrev, nrm), inner(g));
      tangents[j].vl = -h * Cross(nrm, kMinusX).GetNormalized();
      tangents[j - 1].vr = h * Cross(nPrev, kMinusX).GetNormalized();
    }

    if ((f & TRACKWHEEL_ROLLER) || (nf & TRACKWHEEL_ROLLER) || ((f & TRACKWHEEL_END) && (nf & TRACKWHEEL_END))) {
      const Vector mid = (p1 + p2) * 0.5;
      const Vector half = mid - p1;
      if (rest) {
        state.sagHalfLengthSum += half.GetLength();
        both(g, [&](TrackWheelEntry& e) { e.midIndex = j + 1; });
      }
      tangents[j].vr = half * 0.25;
      ++j;
      if (j < count) {
        points[j] = mid;
        tangents[j].vl = -half * 0.25;
        tangents[j].vr = half * 0.25;
      }
      saved = half * 0.25;
    }

    ++j;
    if (nf & TRACKWHEEL_WRAP) {
      if (j < count) {
        points[j] = p2;
        tangents[j].vl = -saved;
        if (rest) both(ng, [&](TrackWheelEntry& e) { e.arriveIndex = j; e.arrivePoint = p2; });
      }
      ++j;
    } else if (j < count) {
      tangents[j].vl = -saved;
    }
    nPrev = nrm;
  }

  // Closing arc round group 0: from the last span onto the lower run.
  const LONG last = count - 1;
  const Real h = ArcHandle(AngleBetween(nPrev, Vector(0.0, -1.0, 0.0)), inner(0));
  tangents[0].vl = Vector(0.0, 0.0, h);
  tangents[last].vr = h * Cross(nPrev, kMinusX).GetNormalized();
  if (rest) both(0, [&](TrackWheelEntry& e) { e.arriveIndex = last; e.arrivePoint = points[last]; });

  // A roller carries one point: symmetric handles of half its radius.
  for (LONG g = 0; g < state.groupCount; ++g) {
    const TrackWheelEntry& e = entry(g);
    if (!(e.flags & TRACKWHEEL_ROLLER) || e.departIndex < 0 || e.departIndex >= count) continue;
    Tangent& t = tangents[e.departIndex];
    const Vector d = (t.vr - t.vl).GetNormalized();
    t.vr = d * (0.5 * e.radius);
    t.vl = -d * (0.5 * e.radius);
  }
}
