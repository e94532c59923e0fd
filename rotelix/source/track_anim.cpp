#include "track_anim.h"

#include <algorithm>
#include <cmath>

#include "rotelix_ids.h"
#include "scene_build/object_builders.h"
#include "track_rig.h"

namespace {

const Vector kSide1Turn{pi, 0.0, 0.0};

// Frees the arc-length data however the frame step ends.
struct LengthGuard {
  SplineLengthData* p;
  ~LengthGuard() { SplineLengthData::Free(p); }
};

Bool Measure(SplineLengthData& length, const SplineObject* track, Real& out) {
  if (!length.Init(track, 0)) return false;
  out = length.GetLength();
  return true;
}

// The end-pair object of a table entry on one side.
BaseObject* EndPairObject(const BaseContainer& tag, LONG key, LONG side, BaseDocument* doc) {
  return LinkedObject(doc, tag, (key == -1 ? ROTELIX_FRONT_LINK : ROTELIX_REAR_LINK) + side);
}

Bool ValidIndex(LONG i, LONG count) { return i >= 0 && i < count; }

}  // namespace

LONG TreadLinkCount(Real track_length, Real link_length) {
  if (!(link_length > 0.0) || !(track_length > 0.0)) return 0;
  const Real n = track_length / link_length;
  // A tiny link length must not flood the scene with instances.
  return n >= kMaxTreadLinks ? kMaxTreadLinks : static_cast<LONG>(n);
}

void PlaceTreadLink(BaseObject* link, const SplineObject* track, const SplineLengthData& length, Real t) {
  Real f = t - std::trunc(t);
  if (f < 0.0) f += 1.0;
  const Real u = length.UniformToNatural(f);
  const Vector pos = track->GetSplinePoint(u, 0);
  const Vector tv = track->GetSplineTangent(u, 0);
  link->SetRelPos(pos);
  Matrix m = link->GetMl();
  m.v1 = Vector(-1.0, 0.0, 0.0);
  m.v2 = Vector(0.0, -tv.z, tv.y).GetNormalized();
  m.v3 = tv;
  link->SetMl(m);
}

void ResetTrackRig(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state) {
  if (!car) return;
  const Real x = car->GetDataInstance()->GetVector(kRestReference).x;
  state.carReferenceX = x;
  // Editing at time 0 makes the side-1 objects' places the new rest pose;
  // coming back after playback restores the stored one.
  const Bool takeFromScene = state.isAnimated == 0 && state.isSetUp == 1;

  Bool frontPlaced = false;
  Vector front;
  BaseObject* a = LinkedObject(doc, tag, ROTELIX_FRONT_LINK + 1);
  BaseObject* b = LinkedObject(doc, tag, ROTELIX_FRONT_LINK);
  if (a && b) {
    if (takeFromScene) {
      front = a->GetRelPos();
      front.x = x;
      tag.SetVector(ROTELIX_FRONT_REST, front);
    } else {
      front = tag.GetVector(ROTELIX_FRONT_REST);
    }
    PlaceRigObject(a, front, kSide1Turn);
    PlaceRigObject(b, Vector(-front.x, front.y, front.z), Vector());
    frontPlaced = true;
  }

  Real zPrev = 0.0;
  a = LinkedObject(doc, tag, ROTELIX_REAR_LINK + 1);
  b = LinkedObject(doc, tag, ROTELIX_REAR_LINK);
  if (a && b) {
    Vector rear;
    if (takeFromScene) {
      rear = a->GetRelPos();
      rear.x = x;
      tag.SetVector(ROTELIX_REAR_REST, rear);
    } else {
      rear = tag.GetVector(ROTELIX_REAR_REST);
    }
    // Keep the rear pair clear of the front pair.
    if (frontPlaced && front.x > 0.0) {
      const Real limit = front.z - (tag.GetReal(ROTELIX_FRONT_RADIUS) + tag.GetReal(ROTELIX_REAR_RADIUS));
      if (rear.z > limit) rear.z = limit;
    }
    PlaceRigObject(a, rear, kSide1Turn);
    PlaceRigObject(b, Vector(-rear.x, rear.y, rear.z), Vector());
    zPrev = rear.z;
  }

  // Return rollers stay in order along z, at least one diameter apart.
  const Real r = tag.GetReal(ROTELIX_ROLLER_RADIUS);
  for (LONG k = 0; k < std::min(tag.GetLong(ROTELIX_ROLLER_COUNT), kMaxRollerPairs); ++k) {
    a = LinkedObject(doc, tag, ROTELIX_ROLLER_LINK + 2 * k + 1);
    b = LinkedObject(doc, tag, ROTELIX_ROLLER_LINK + 2 * k);
    if (!a || !b) continue;
    Vector p = a->GetRelPos();
    p.x = x;
    if (p.z - r < zPrev + r) p.z = zPrev + 2.0 * r;
    PlaceRigObject(a, p, kSide1Turn);
    PlaceRigObject(b, Vector(-x, p.y, p.z), Vector());
    zPrev = p.z;
  }

  a = LinkedObject(doc, tag, ROTELIX_TRACK_LINK + 1);
  b = LinkedObject(doc, tag, ROTELIX_TRACK_LINK);
  if (a && b) {
    PlaceRigObject(a, Vector(x, 0.0, 0.0), Vector());
    PlaceRigObject(b, Vector(-x, 0.0, 0.0), Vector());
  }

  state.isAnimated = 0;
  RebuildTrackSplines(doc, car, tag, state);
}

void AnimateTracks(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state) {
  if (!car) return;
  LengthGuard guard{SplineLengthData::Alloc()};
  if (!guard.p) return;
  SplineLengthData& length = *guard.p;
  const BaseContainer& cbc = *car->GetDataInstance();
  const Real inset = tag.GetReal(ROTELIX_TRACK_INSET);
  BaseObject* body = cbc.GetObjectLink(RIG_BODY, doc);
  if (!body) return;
  Matrix bodyRot = body->GetMg();
  bodyRot.off = Vector();
  const Matrix invRot = Invert(bodyRot);
  const LONG count = state.pointCount;

  for (LONG j = 0; j < 2; ++j) {
    SplineObject* track = GetTrackSpline(tag, ROTELIX_TRACK_LINK + j, doc);
    if (!track) return;
    Vector* points = track->GetPointW();
    Tangent* tangents = track->GetTangentW();
    if (!points || !tangents || track->GetPointCount() != count || track->GetTangentCount() != count) return;
    auto entry = [&](LONG g) -> TrackWheelEntry& { return state.wheels[2 * g + j]; };

    // Follow the road wheels.
    for (LONG g = 0; g < state.groupCount && (entry(g).flags & TRACKWHEEL_ROAD); ++g)
      if (BaseObject* wheel = cbc.GetObjectLink(RIG_HUB + 2 * entry(g).key + j, doc)) {
        const Vector p = wheel->GetRelPos();
        entry(g).currentPosition = Vector(0.0, p.y, p.z);
      }
    FillTrackSplinePoints(points, tangents, j, inset, TRACKFILL_FRAME, state);
    track->Message(MSG_UPDATE);
    Real len = 0.0;
    if (!Measure(length, track, len) || len < 1.0) return;

    // The tensioner takes up the difference to the rest length.
    if (len != state.restLength) {
      for (LONG g = 0; g < state.groupCount; ++g) {
        TrackWheelEntry& e = entry(g);
        const Real travel = e.tensionerTravel;
        if (e.key >= 0 || !(travel > 0.0)) continue;
        BaseObject* op = EndPairObject(tag, e.key, j, doc);
        if (!op) continue;
        const Vector p = op->GetRelPos();
        const Vector dir = e.tensionDirection;
        const Vector base = e.restPosition - dir * travel;
        const Real dy = p.y - base.y, dz = p.z - base.z;
        Real d = std::sqrt(dy * dy + dz * dz) + 0.4 * (state.restLength - len);
        d = std::clamp(d, 0.0, 2.0 * travel);
        const Vector moved(p.x + d * dir.x, base.y + d * dir.y, base.z + d * dir.z);
        op->SetRelPos(moved);
        op->Message(MSG_UPDATE);
        e.currentPosition = Vector(0.0, moved.y, moved.z);
        const Vector shift = dir * (d - travel);
        if (ValidIndex(e.departIndex, count)) points[e.departIndex] = e.departPoint + shift;
        if (ValidIndex(e.arriveIndex, count)) points[e.arriveIndex] = e.arrivePoint + shift;
        track->Message(MSG_UPDATE);
        if (!Measure(length, track, len)) return;
        break;
      }
    }

    // A track shorter than at rest sags on its free spans, down to the
    // road wheels below.
    if (len < state.restLength) {
      for (LONG g = 0; g + 1 < state.groupCount; ++g) {
        const LONG f = entry(g).flags, nf = entry(g + 1).flags;
        if (!((f & TRACKWHEEL_ROLLER) || (nf & TRACKWHEEL_ROLLER) || ((f & TRACKWHEEL_END) && (nf & TRACKWHEEL_END))))
          continue;
        const LONG k = entry(g).midIndex;
        if (k < 1 || k >= count || !(state.sagHalfLengthSum > 0.0)) continue;
        const Vector m = points[k];
        const Real s = (m - points[k - 1]).GetLength();
        const Real s2 = s / state.sagHalfLengthSum * (state.restLength - len) + s;
        if (!(s < s2)) continue;
        const Real depth = std::sqrt(s2 * s2 - s * s);
        Real floor = -1000.0, best = 1000.0;
        for (LONG w = 0; w < state.groupCount && (entry(w).flags & TRACKWHEEL_ROAD); ++w) {
          const Vector c = entry(w).currentPosition;
          const Real top = c.y + entry(w).radius - inset;
          if (std::fabs(m.z - c.z) < best && top < m.y) {
            best = std::fabs(m.z - c.z);
            floor = top;
          }
        }
        points[k] = Vector(m.x, std::max(m.y - 0.7 * depth, floor), m.z);
      }
      track->Message(MSG_UPDATE);
      if (!Measure(length, track, len)) return;
    }

    // Sprocket angle and the distance the track moved, as a fraction of it.
    const Real rs = 0.5 * cbc.GetReal(CAR_WHEEL_DIAMETER_REAR);
    BaseObject* sprocket = cbc.GetObjectLink(kSprocketHub + j, doc);
    if (!sprocket) return;
    const Vector s = sprocket->GetMg().off;
    const Vector delta = s - state.sprocketPosition[j];
    state.sprocketPosition[j] = s;
    Real travel = 0.0;
    Vector rot;
    if (tag.GetLong(ROTELIX_SPROCKET_MODE) == 1) {
      const Real dz = invRot.TransformDirection(delta).z;
      if (rs != 0.0) state.sprocketAngle[j] += dz / rs;
      travel = dz / len;
      rot = j == 0 ? Vector(0.0, -state.sprocketAngle[0], 0.0) : Vector(pi, state.sprocketAngle[1], 0.0);
    } else {
      rot = sprocket->GetRelRot();
      const Real angle = j == 0 ? -rot.y : rot.y;
      travel = rs * (angle - state.sprocketAngle[j]) / len;
      state.sprocketAngle[j] = angle;
    }

    // Every rig wheel turns with the sprocket, scaled by its radius. Outside
    // mode 1 the angle is read from the sprocket wheels themselves: written
    // back scaled, it would grow on every frame, so they are left alone.
    const Bool keepSprocketWheels = tag.GetLong(ROTELIX_SPROCKET_MODE) != 1;
    for (LONG g = 0; g < state.groupCount; ++g) {
      const TrackWheelEntry& e = entry(g);
      const Real inner = e.radius - inset;
      // No rolling radius, or the track runs outside the wheel (a radius
      // below the inset): turning it would spin it backwards or without end.
      if (!(inner > 0.0)) continue;
      const Vector wheelRot(rot.x, rs / inner * rot.y, rot.z);
      if (e.flags & TRACKWHEEL_END) {
        if (BaseObject* op = EndPairObject(tag, e.key, j, doc)) op->SetRelRot(wheelRot);
      } else if (e.flags & TRACKWHEEL_ROLLER) {
        if (BaseObject* op = LinkedObject(doc, tag, ROTELIX_ROLLER_LINK + 2 * e.key + j)) op->SetRelRot(wheelRot);
      } else if ((e.flags & TRACKWHEEL_ROAD) && !(keepSprocketWheels && e.key == 1)) {
        const LONG w = 2 * e.key + j;
        BaseObject* bottom = cbc.GetObjectLink(RIG_SUSPENSION_BOTTOM + w, doc);
        BaseObject* spinner = cbc.GetObjectLink(RIG_SPINNER + w, doc);
        const Matrix bottomMg = bottom ? bottom->GetMg() : Matrix();
        const Matrix spinnerMg = spinner ? spinner->GetMg() : Matrix();
        if (BaseObject* hub = cbc.GetObjectLink(RIG_HUB + w, doc)) hub->SetRelRot(wheelRot);
        if (bottom) bottom->SetMg(bottomMg);
        if (spinner) spinner->SetMg(spinnerMg);
      }
    }

    // Tread links advance by the distance the track moved.
    BaseObject* link = LinkedObject(doc, tag, ROTELIX_TREAD_LINK + j);
    if (!link) continue;
    const LONG n = state.treadLinkCount;
    state.treadOffset[j] += travel;
    Real t = state.treadOffset[j];
    for (LONG i = 0; i < n && link; ++i, link = link->GetNext()) {
      PlaceTreadLink(link, track, length, t);
      link->Message(MSG_UPDATE);
      t += 1.0 / n;
    }
  }
}

Bool PlaceTreadLinks(BaseDocument* doc, BaseObject* /*car*/, BaseContainer& tag, WheelRigState& state) {
  SplineObject* track0 = GetTrackSpline(tag, ROTELIX_TRACK_LINK, doc);
  SplineObject* track1 = GetTrackSpline(tag, ROTELIX_TRACK_LINK + 1, doc);
  if (!track0 || !track1) return false;
  LengthGuard guard{SplineLengthData::Alloc()};
  if (!guard.p) return false;
  SplineLengthData& length = *guard.p;
  Real len = 0.0;
  if (!Measure(length, track0, len) || len < 1.0) return false;

  state.restLength = len;
  const Real linkLength = tag.GetReal(ROTELIX_TREAD_LENGTH);
  const LONG n = TreadLinkCount(len, linkLength);
  const Real start = n > 0 ? tag.GetReal(ROTELIX_TREAD_OFFSET) * linkLength / len : 0.0;
  state.treadLinkCount = n;

  for (LONG j = 0; j < 2; ++j) {
    BaseObject* first = LinkedObject(doc, tag, ROTELIX_TREAD_LINK + j);
    if (!first) return false;
    // Keep the first n links; surplus instances right behind them go.
    LONG count = 1;
    BaseObject* last = first;
    while (count < n && last->GetNext()) {
      last = last->GetNext();
      ++count;
    }
    if (n >= 1 && count == n) {
      BaseObject* extra = last->GetNext();
      while (extra && extra->IsInstanceOf(Oinstance)) {
        BaseObject* next = extra->GetNext();
        BaseObject::Free(extra);
        extra = next;
      }
    }
    for (; count < n; ++count)
      if (!CreateInstanceOf(doc, first)) return false;

    state.treadOffset[j] = start;
    Real t = start;
    BaseObject* op = first;
    for (LONG i = 0; i < n && op; ++i, op = op->GetNext()) {
      PlaceTreadLink(op, track0, length, t);
      op->Message(MSG_UPDATE);
      t += 1.0 / n;
    }
    state.sprocketAngle[j] = 0.0;
  }
  return true;
}

Bool RebuildTrackSplines(BaseDocument* doc, BaseObject* car, BaseContainer& tag, WheelRigState& state) {
  if (!car) return false;
  state.carReferenceX = car->GetDataInstance()->GetVector(kRestReference).x;
  SplineObject* track0 = GetTrackSpline(tag, ROTELIX_TRACK_LINK, doc);
  SplineObject* track1 = GetTrackSpline(tag, ROTELIX_TRACK_LINK + 1, doc);
  state.isSetUp = 1;
  if (!track0 || !track1) return false;

  const Real inset = tag.GetReal(ROTELIX_TRACK_INSET);
  if (!BuildTrackWheelTable(doc, car, tag, state)) return false;

  const LONG n = CountTrackPoints(state);
  for (SplineObject* sp : {track0, track1}) {
    if (sp->GetPointCount() != n) {
      sp->ResizeObject(n, 1);
      if (Segment* seg = sp->GetSegmentW()) seg->cnt = n;
    }
    if (sp->GetTangentCount() != n) return false;
  }
  state.pointCount = n;

  Vector* p0 = track0->GetPointW();
  Tangent* t0 = track0->GetTangentW();
  if (!p0 || !t0) return false;
  FillTrackSplinePoints(p0, t0, 0, inset, TRACKFILL_REST, state);

  Vector* p1 = track1->GetPointW();
  Tangent* t1 = track1->GetTangentW();
  if (!p1 || !t1) return false;
  std::copy(p0, p0 + n, p1);
  std::copy(t0, t0 + n, t1);

  track0->Message(MSG_UPDATE);
  track1->Message(MSG_UPDATE);
  PlaceTreadLinks(doc, car, tag, state);
  state.isSetUp = 1;
  return true;
}
