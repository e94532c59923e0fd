#include "bake/car_bake.h"

#include <algorithm>
#include <cmath>

#include "bake/bake_keys.h"
#include "bake/bake_thin.h"
#include "car/car_publish.h"
#include "car/add_ons.h"
#include "scene_build/object_builders.h"
#include "car/rig.h"

namespace {

constexpr LONG kPositionAndRotation = 7;
constexpr LONG kSecondComponent = 2;
constexpr LONG kHeading = 0, kBank = 2;
constexpr LONG kThirdComponent = 4;
constexpr LONG kSkidBit = 0x10;

struct RigLinks {
  BaseDocument* doc;
  const BaseContainer* car;
  const BaseContainer* wheelRig;  // the car's first wheel-rig tag, or null

  BaseObject* Car(LONG id) const { return car->GetObjectLink(id, doc); }
  // Links of wheels 4 and up live on the wheel-rig tag; without it there are
  // none.
  BaseObject* PerWheel(LONG wheel, LONG carFirst, LONG rigFirst) const {
    if (wheel < 4) return car->GetObjectLink(carFirst + wheel, doc);
    return wheelRig ? wheelRig->GetObjectLink(rigFirst + wheel, doc) : nullptr;
  }
  BaseObject* Spring(LONG wheel) const {
    BaseObject* op = PerWheel(wheel, CAR_SPRING_LINKS, WHEELRIG_SPRINGS);
    return op && op->GetType() == Ohelix ? op : nullptr;
  }
  BaseObject* SkidMarks(LONG wheel) const { return PerWheel(wheel, CAR_SKID_LINKS, WHEELRIG_SKID_MARKS); }
  // The object whose points the deformation moves: the deformer itself, or
  // the mesh a mesh binder deforms; only point objects the run changes.
  BaseObject* DeformedPoints(BaseObject* deformer) const {
    BaseObject* target = deformer;
    if (deformer && deformer->GetType() == Omeshbinder)
      target = deformer->GetDataInstance()->GetObjectLink(MESHBINDER_DEFORMED, doc);
    if (!target) return nullptr;
    const LONG type = target->GetType();
    return type == Ospline || type == Offd || type == Opolygon ? target : nullptr;
  }
};

RigLinks LinksOf(BaseDocument* doc, BaseObject* car) {
  return RigLinks{doc, car->GetDataInstance(), GetTagContainer(car, ID_ROTELIX)};
}

LONG RunWheelCount(const CarState& state) { return std::clamp<LONG>(state.wheelCount, 0, kMaxWheels); }

Bool KeyTransform(BaseDocument* doc, BaseObject* op, const BaseTime& t, LONG posMask, LONG rotMask) {
  const Bool pos = KeyVectorComponents(doc, op, t, ID_BASEOBJECT_REL_POSITION, op->GetRelPos(), posMask);
  const Bool rot = KeyVectorComponents(doc, op, t, ID_BASEOBJECT_REL_ROTATION, op->GetRelRot(), rotMask);
  return pos && rot;
}

bool Gate(const BaseContainer* sim, LONG id) { return sim && sim->GetBool(id); }

// A spinner turns about its hub's x axis only. Its rotation angles flip past
// a quarter turn (heading and bank go to pi, pitch back toward 0), so its
// pitch key takes the whole turn angle instead, continued from the key
// before it so that the wheel also turns one way between frames; heading and
// bank are keyed at 0, so that the pitch alone makes the turn on playback
// whatever angles the object was left with (they are thinned to one key).
Bool KeySpin(BaseDocument* doc, BaseObject* spin, const BaseTime& t) {
  const Matrix m = spin->GetMl();
  Real angle = std::atan2(m.v3.y, m.v3.z);
  const DescID id = VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, 1);
  if (CTrack* track = spin->FindCTrack(id)) {
    const CCurve* curve = track->GetCurve();
    LONG before = curve->FindKeyBefore(t);
    if (before >= 0 && curve->GetKey(before)->GetTime() == t) --before;
    if (const CKey* prev = curve->GetKey(before)) {
      const Real turn = 2.0 * pi;
      angle += turn * std::round((prev->GetValue() - angle) / turn);
    }
  }
  return KeyVectorComponents(doc, spin, t, ID_BASEOBJECT_REL_ROTATION, Vector(0.0, angle, 0.0), kPositionAndRotation);
}

}  // namespace

Bool WriteBakeKeys(BaseDocument* doc, BaseObject* car, BaseObject* sim, CarState& state, LONG skidMask) {
  if (!doc || !car) return false;
  const RigLinks links = LinksOf(doc, car);
  const BaseContainer* gates = sim ? sim->GetDataInstance() : nullptr;
  const BaseTime t = doc->GetTime();
  Bool ok = true;
  auto track = [&ok](Bool result) {
    if (!result) ok = false;
  };

  BaseObject* body = links.Car(RIG_BODY);
  if (!body) return false;
  track(KeyTransform(doc, body, t, kPositionAndRotation, kPositionAndRotation));
  const LONG wheels = RunWheelCount(state);
  for (LONG i = 0; i < wheels; ++i) {
    BaseObject* hub = links.Car(RIG_HUB + i);
    if (!hub) return false;
    track(KeyTransform(doc, hub, t, kPositionAndRotation, kPositionAndRotation));
    if (BaseObject* spin = links.Car(RIG_SPINNER + i)) track(KeySpin(doc, spin, t));
    if (BaseObject* bottom = links.Car(RIG_SUSPENSION_BOTTOM + i))
      track(KeyTransform(doc, bottom, t, kPositionAndRotation, kPositionAndRotation));
    if (BaseObject* top = links.Car(RIG_SUSPENSION_TOP + i)) track(KeyTransform(doc, top, t, 0, kPositionAndRotation));
  }

  LONG outputs = 0;
  if (Gate(gates, SIM_RECORD_GAUGES)) {
    outputs |= 0x01;
    if (BaseObject* n = links.Car(CAR_NEEDLE_STEER_LINK)) track(KeyTransform(doc, n, t, 0, kThirdComponent));
    for (LONG id : {CAR_NEEDLE_THROTTLE_LINK, CAR_NEEDLE_BRAKE_LINK, CAR_NEEDLE_HANDBRAKE_LINK})
      if (BaseObject* n = links.Car(id)) track(KeyTransform(doc, n, t, 0, kSecondComponent));
    if (BaseObject* light = links.Car(CAR_BRAKE_LIGHT_LINK)) track(KeyVisibility(doc, light, t));
  }
  if (Gate(gates, SIM_RECORD_DRIVE)) outputs |= 0x02;
  if (Gate(gates, SIM_RECORD_WHEELS)) outputs |= 0x04;
  if (Gate(gates, SIM_RECORD_SPRINGS)) {
    outputs |= 0x08;
    for (LONG i = 0; i < wheels; ++i)
      if (BaseObject* spring = links.Spring(i)) track(KeyContainerValue(doc, spring, t, PRIM_HELIX_HEIGHT));
  }
  if (Gate(gates, SIM_RECORD_SKIDS)) {
    outputs |= 0x10;
    for (LONG i = 0; i < wheels; ++i) {
      if (!(skidMask & (kSkidBit << i))) continue;
      SplineObject* second = nullptr;
      if (SplineObject* rail = GetSweepRail(links.SkidMarks(i), &second)) {
        track(KeyPointPositions(doc, rail, t));
        if (second) track(KeyPointPositions(doc, second, t));
      }
    }
  }
  if (Gate(gates, SIM_RECORD_DEFORM)) {
    outputs |= 0x20;
    if (BaseObject* deformer = links.Car(CAR_DEFORMER_LINK)) {
      track(KeyParameter906(doc, deformer, t));
      if (BaseObject* points = links.DeformedPoints(deformer)) track(KeyPointPositions(doc, points, t));
    }
    if (BaseObject* parts = links.Car(CAR_PARTS_LINK))
      for (BaseObject* part = parts->GetDown(); part; part = part->GetNext())
        track(KeyTransform(doc, part, t, kPositionAndRotation, kPositionAndRotation));
  }
  if (Gate(gates, SIM_RECORD_COMMANDS)) outputs |= 0x40;

  if (BaseObject* out = links.Car(CAR_OUTPUT_OBJECT))
    track(KeyUserData(doc, out, t));
  else
    track(KeyOutputParameters(doc, car, t, outputs));
  return ok;
}

void ThinBakeKeys(BaseDocument* doc, BaseObject* car, CarState& state) {
  if (!doc || !car) return;
  const RigLinks links = LinksOf(doc, car);
  BaseObject* body = links.Car(RIG_BODY);
  if (!body) return;
  ThinTransformKeys(body);
  const LONG wheels = RunWheelCount(state);
  // Hubs, spinners and bottoms keep every key: they move on every frame. A
  // spinner's heading and bank only hold it straight.
  for (LONG i = 0; i < wheels; ++i) {
    if (BaseObject* top = links.Car(RIG_SUSPENSION_TOP + i)) ThinTransformKeys(top);
    if (BaseObject* spin = links.Car(RIG_SPINNER + i))
      for (LONG c : {kHeading, kBank}) ThinTrack(spin, VectorComponentTrackId(ID_BASEOBJECT_REL_ROTATION, c));
  }
  for (LONG id : {CAR_NEEDLE_STEER_LINK, CAR_NEEDLE_THROTTLE_LINK, CAR_NEEDLE_BRAKE_LINK, CAR_NEEDLE_HANDBRAKE_LINK})
    if (BaseObject* n = links.Car(id)) ThinTransformKeys(n);
  if (BaseObject* light = links.Car(CAR_BRAKE_LIGHT_LINK)) ThinVisibilityKeys(light);
  for (LONG i = 0; i < wheels; ++i)
    if (BaseObject* spring = links.Spring(i)) ThinParameterKeys(spring, PRIM_HELIX_HEIGHT);
  for (LONG i = 0; i < wheels; ++i) {
    SplineObject* second = nullptr;
    if (SplineObject* rail = GetSweepRail(links.SkidMarks(i), &second)) {
      RewriteSkidMarkKeys(doc, rail);
      if (second) RewriteSkidMarkKeys(doc, second);
    }
  }
  if (BaseObject* deformer = links.Car(CAR_DEFORMER_LINK)) {
    ThinParameter906Keys(deformer);
    if (BaseObject* points = links.DeformedPoints(deformer)) ThinPointKeys(points);
  }
  if (BaseObject* parts = links.Car(CAR_PARTS_LINK))
    for (BaseObject* part = parts->GetDown(); part; part = part->GetNext()) ThinTransformKeys(part);
  if (BaseObject* out = links.Car(CAR_OUTPUT_OBJECT))
    ThinUserDataKeys(out);
  else
    ThinOutputKeys(car);
}

void ClearRecordedAnimation(BaseDocument* doc, BaseObject* car, CarState& state) {
  if (!doc || !car) return;
  const RigLinks links = LinksOf(doc, car);
  // After a reload the run's wheel count is not known yet: the rig's counts.
  const LONG wheels = std::min<LONG>(kMaxWheels, std::max<LONG>(RunWheelCount(state), 4 + 2 * ExtraAxleCount(car)));
  DeleteTransformTracks(links.Car(RIG_BODY));
  for (LONG i = 0; i < wheels; ++i)
    for (LONG first : {RIG_HUB, RIG_SPINNER, RIG_SUSPENSION_BOTTOM, RIG_SUSPENSION_TOP})
      DeleteTransformTracks(links.Car(first + i));
  for (LONG id : {CAR_NEEDLE_STEER_LINK, CAR_NEEDLE_THROTTLE_LINK, CAR_NEEDLE_BRAKE_LINK, CAR_NEEDLE_HANDBRAKE_LINK})
    DeleteTransformTracks(links.Car(id));
  DeleteVisibilityTracks(links.Car(CAR_BRAKE_LIGHT_LINK));
  for (LONG i = 0; i < wheels; ++i) DeleteParameterTrack(links.Spring(i), PRIM_HELIX_HEIGHT);
  for (LONG i = 0; i < wheels; ++i) {
    SplineObject* second = nullptr;
    if (SplineObject* rail = GetSweepRail(links.SkidMarks(i), &second)) {
      DeletePointTrack(rail);
      DeletePointTrack(second);
    }
  }
  if (BaseObject* deformer = links.Car(CAR_DEFORMER_LINK)) {
    DeleteParameter906Track(deformer);
    DeletePointTrack(links.DeformedPoints(deformer));
  }
  if (BaseObject* parts = links.Car(CAR_PARTS_LINK))
    for (BaseObject* part = parts->GetDown(); part; part = part->GetNext()) DeleteTransformTracks(part);
  if (BaseObject* out = links.Car(CAR_OUTPUT_OBJECT))
    DeleteUserDataTracks(out);
  else
    DeleteOutputTracks(car);
}
